// MulDiv (kernel32/math.cpp). Source of truth: its documentation — a 64-bit intermediate product, the
// result rounded to the nearest integer (halves away from zero), -1 on a zero denominator or overflow.
#include <windows.h>

#include <climits>

#include <gtest/gtest.h>

namespace {

TEST(MulDivTest, RoundsHalvesAwayFromZeroAndReportsOverflow) {
    EXPECT_EQ(MulDiv(3, 1, 2), 2);
    EXPECT_EQ(MulDiv(-3, 1, 2), -2);
    EXPECT_EQ(MulDiv(3, -1, 2), -2);
    EXPECT_EQ(MulDiv(5, 1, -2), -3);
    EXPECT_EQ(MulDiv(14, 13, 8), 23);   // 22.75
    EXPECT_EQ(MulDiv(204, 13, 8), 332); // 331.5
    EXPECT_EQ(MulDiv(INT_MAX, INT_MAX, INT_MAX), INT_MAX);  // the product does not overflow
    EXPECT_EQ(MulDiv(INT_MAX, 2, 1), -1);
    EXPECT_EQ(MulDiv(7, 3, 0), -1);
}

}  // namespace
