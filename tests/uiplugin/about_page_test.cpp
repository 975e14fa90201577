// The About page: the product line it shows whatever the user-interface language, and its place in the
// sheet. Source of truth: the page's templates (107 in English, Japanese and Chinese, sizes in dialog units)
// and ATL's CenterWindow for a child window: centred in the parent's client area in integer arithmetic.
// The sheet's client area is 640 × 560 pixels; dialog units become pixels with base units 6 × 13.
#include "SheetTest.h"

namespace uiplugin_test {
namespace {

constexpr int kText = 1123;
constexpr wchar_t kProductLine[] = L" Thermal Printer V1.1.0";

void SetUiLanguage(int language) {
    winsim::control::Change([language](web::json::value& machine) {
        machine["system"]["uiLanguage"] = web::json::value::number(language);
    });
}

struct Expected {
    int language;
    const wchar_t* caption;
    RECT place;  // in the sheet's client area
};

using AboutPageTest = SheetTest;

TEST_F(AboutPageTest, ShowsTheProductLineCentredInEveryLanguage) {
    const Expected cases[] = {
        // 340 × 216 units: 510 × 351 pixels; left 320 - 255, top 280 - 175.
        {1033, L"About", {65, 105, 575, 456}},
        // 314 × 204 units: 471 × 332 pixels (331.5 rounds up); left 320 - 235, top 280 - 166.
        {1041, L"About", {85, 114, 556, 446}},
        // 310 × 260 units: 465 × 423 pixels; left 320 - 232, top 280 - 211.
        {2052, L"\x5173\x4E8E", {88, 69, 553, 492}},
    };
    for (const Expected& c : cases) {
        SCOPED_TRACE("UI language " + std::to_string(c.language));
        SetUiLanguage(c.language);
        CompstuiHost& host = NewSheet(SheetKind::Device);
        ASSERT_EQ(host.Open(), S_OK);
        HWND page = host.Sheet().PageWindow(0);
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(Text(page), c.caption);
        EXPECT_EQ(Text(GetDlgItem(page, kText)), kProductLine);

        RECT rect;
        ASSERT_TRUE(GetWindowRect(page, &rect));
        MapWindowPoints(HWND_DESKTOP, host.Sheet().Window(), reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_EQ(rect.left, c.place.left);
        EXPECT_EQ(rect.top, c.place.top);
        EXPECT_EQ(rect.right, c.place.right);
        EXPECT_EQ(rect.bottom, c.place.bottom);
        host.Sheet().PressOK();
    }
}

TEST_F(AboutPageTest, DocumentSheetShowsItAsItsThirdPage) {
    SetUiLanguage(2052);
    CompstuiHost& host = NewSheet(SheetKind::Document);
    ASSERT_EQ(host.Open(), S_OK);
    ASSERT_TRUE(host.Sheet().SelectPage(2));
    EXPECT_EQ(Text(GetDlgItem(host.Sheet().PageWindow(2), kText)), kProductLine);
    EXPECT_TRUE(IsWindowVisible(host.Sheet().PageWindow(2)));
    EXPECT_FALSE(IsWindowVisible(host.Sheet().PageWindow(0)));
}

}  // namespace
}  // namespace uiplugin_test
