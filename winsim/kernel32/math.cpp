#include <windows.h>

// (nNumber × nNumerator) / nDenominator with a 64-bit product, rounded half away from zero; -1 for a
// zero denominator or a result that does not fit.
extern "C" int WINAPI MulDiv(int nNumber, int nNumerator, int nDenominator) {
    if (nDenominator == 0) return -1;
    int64_t product = static_cast<int64_t>(nNumber) * nNumerator;
    int64_t denominator = nDenominator;
    if (denominator < 0) {
        product = -product;
        denominator = -denominator;
    }
    int64_t half = denominator / 2;
    int64_t result = product >= 0 ? (product + half) / denominator : (product - half) / denominator;
    if (result > INT32_MAX || result < INT32_MIN) return -1;
    return static_cast<int>(result);
}
