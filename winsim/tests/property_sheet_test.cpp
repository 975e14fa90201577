// The test-side property sheet (control/property_sheet.cpp) and the page copies it is built on
// (comctl32/property_page.cpp). Source of truth: the property sheet documentation — a page's dialog is
// created the first time the page is shown, with the sheet's copy of its PROPSHEETPAGE in WM_INITDIALOG;
// switching pages sends PSN_KILLACTIVE to the old page (TRUE keeps it) and PSN_SETACTIVE to the new one;
// OK and Apply send PSN_KILLACTIVE to the active page and PSN_APPLY to every page that has been created
// (lParam TRUE for OK), PSNRET_INVALID stops them; Cancel sends PSN_QUERYCANCEL (TRUE keeps the sheet)
// and PSN_RESET; PSM_CHANGED enables Apply; CreatePropertySheetPage copies dwSize bytes.
#include <windows.h>
#include <commctrl.h>
#include <property_sheet.h>

#include <string>
#include <vector>

#include "TestMachine.h"
#include "resource_test.h"

namespace {

using winsim::control::PropertySheet;

struct PageState {
    std::vector<std::pair<UINT, LPARAM>> notes;
    int inits = 0;
    LPARAM initParam = 0;
    int destroys = 0;
    LRESULT killActive = FALSE;
    LRESULT apply = PSNRET_NOERROR;
    LRESULT queryCancel = FALSE;
};

INT_PTR CALLBACK PageProc(HWND hwnd, UINT msg, WPARAM, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        auto* state = reinterpret_cast<PageState*>(reinterpret_cast<PROPSHEETPAGEW*>(lParam)->lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(state));
        ++state->inits;
        state->initParam = lParam;
        return TRUE;
    }
    auto* state = reinterpret_cast<PageState*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!state) return FALSE;
    if (msg == WM_DESTROY) ++state->destroys;
    if (msg != WM_NOTIFY) return FALSE;
    auto* n = reinterpret_cast<PSHNOTIFY*>(lParam);
    state->notes.emplace_back(n->hdr.code, n->lParam);
    LRESULT answer = n->hdr.code == PSN_KILLACTIVE    ? state->killActive
                     : n->hdr.code == PSN_APPLY       ? state->apply
                     : n->hdr.code == PSN_QUERYCANCEL ? state->queryCancel
                                                      : 0;
    SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, answer);
    return TRUE;
}

std::vector<UINT> Codes(const PageState& s) {
    std::vector<UINT> codes;
    for (const auto& n : s.notes) codes.push_back(n.first);
    return codes;
}

HWND gKillFocusTo = nullptr;
WNDPROC gButtonProc = nullptr;
LRESULT CALLBACK WatchFocus(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_KILLFOCUS) gKillFocusTo = reinterpret_cast<HWND>(wParam);
    return CallWindowProcW(gButtonProc, hwnd, msg, wParam, lParam);
}

class PropertySheetTest : public testsupport::MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        for (int id : {IDD_PAGE_ONE, IDD_PAGE_TWO, IDD_PAGE_ONE}) {
            PROPSHEETPAGEW psp{};
            psp.dwSize = sizeof psp;
            psp.hInstance = GetModuleHandleW(nullptr);
            psp.pszTemplate = MAKEINTRESOURCEW(id);
            psp.pfnDlgProc = PageProc;
            psp.lParam = reinterpret_cast<LPARAM>(&state[sheet.PageCount()]);
            ASSERT_NE(sheet.AddPage(psp), nullptr);
        }
        sheet.onClosed = [this](bool ok) {
            closes.push_back(ok);
            for (size_t i = 0; i < 3; ++i) {
                EXPECT_EQ(sheet.PageWindow(i), nullptr);
                if (state[i].inits) {
                    EXPECT_EQ(state[i].destroys, 1) << "page " << i << " outlived the sheet";
                }
            }
        };
    }
    void TearDown() override {
        sheet.Close();
        SetFocus(nullptr);
        MachineTest::TearDown();
    }

    PageState state[3];
    PropertySheet sheet;
    std::vector<bool> closes;
};

TEST_F(PropertySheetTest, PagesAreMadeWhenFirstShownAndSwitchedWithKillAndSetActive) {
    ASSERT_TRUE(sheet.Show());
    HWND one = sheet.PageWindow(0);
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(state[0].inits, 1);
    EXPECT_EQ(state[0].initParam, reinterpret_cast<LPARAM>(&sheet.Page(0))) << "not the sheet's copy";
    EXPECT_EQ(sheet.PageWindow(1), nullptr);
    EXPECT_EQ(state[1].inits, 0);
    EXPECT_EQ(GetParent(one), sheet.Window());
    EXPECT_TRUE(IsWindowVisible(one));
    EXPECT_TRUE(IsWindowEnabled(one)) << "the template's WS_DISABLED stays on a page";
    EXPECT_EQ(Codes(state[0]), std::vector<UINT>{PSN_SETACTIVE});

    ASSERT_TRUE(sheet.SelectPage(1));
    HWND two = sheet.PageWindow(1);
    ASSERT_NE(two, nullptr);
    DWORD style = static_cast<DWORD>(GetWindowLongPtrW(two, GWL_STYLE));
    EXPECT_TRUE(style & WS_CHILD) << "a popup template was not made a child";
    EXPECT_FALSE(style & (WS_POPUP | WS_CAPTION | WS_DISABLED));
    EXPECT_EQ(GetParent(two), sheet.Window());
    EXPECT_FALSE(IsWindowVisible(one));
    EXPECT_TRUE(IsWindowVisible(two));
    EXPECT_EQ(Codes(state[0]), (std::vector<UINT>{PSN_SETACTIVE, PSN_KILLACTIVE}));
    EXPECT_EQ(Codes(state[1]), std::vector<UINT>{PSN_SETACTIVE});

    ASSERT_TRUE(sheet.SelectPage(0));
    EXPECT_EQ(state[0].inits, 1) << "made twice";
    EXPECT_EQ(sheet.PageWindow(0), one);
    EXPECT_EQ(Codes(state[0]), (std::vector<UINT>{PSN_SETACTIVE, PSN_KILLACTIVE, PSN_SETACTIVE}));
    EXPECT_EQ(Codes(state[1]), (std::vector<UINT>{PSN_SETACTIVE, PSN_KILLACTIVE}));
}

TEST_F(PropertySheetTest, PageThatRefusesToBeLeftKeepsTheUserThere) {
    ASSERT_TRUE(sheet.Show());
    state[0].killActive = TRUE;
    EXPECT_FALSE(sheet.SelectPage(1));
    EXPECT_EQ(sheet.ActivePage(), 0u);
    EXPECT_EQ(sheet.PageWindow(1), nullptr);
    sheet.PressOK();
    EXPECT_TRUE(sheet.IsOpen());
    EXPECT_EQ(Codes(state[0]), (std::vector<UINT>{PSN_SETACTIVE, PSN_KILLACTIVE, PSN_KILLACTIVE}));
    EXPECT_TRUE(closes.empty());
}

TEST_F(PropertySheetTest, OkAppliesEveryPageThatWasMadeThenClosesTheSheet) {
    ASSERT_TRUE(sheet.Show());
    ASSERT_TRUE(sheet.SelectPage(1));
    state[0].notes.clear();
    state[1].notes.clear();
    sheet.PressOK();
    EXPECT_EQ(state[0].notes, (std::vector<std::pair<UINT, LPARAM>>{{PSN_APPLY, TRUE}}));
    EXPECT_EQ(state[1].notes, (std::vector<std::pair<UINT, LPARAM>>{{PSN_KILLACTIVE, 0}, {PSN_APPLY, TRUE}}));
    EXPECT_TRUE(state[2].notes.empty()) << "a page never shown has no window to tell";
    EXPECT_EQ(closes, std::vector<bool>{true});
    EXPECT_EQ(sheet.Result(), IDOK);
    EXPECT_FALSE(sheet.IsOpen());
}

TEST_F(PropertySheetTest, InvalidPageStopsTheApplyAndIsShown) {
    ASSERT_TRUE(sheet.Show());
    ASSERT_TRUE(sheet.SelectPage(1));
    state[0].apply = PSNRET_INVALID;
    sheet.PressOK();
    EXPECT_TRUE(sheet.IsOpen());
    EXPECT_EQ(sheet.ActivePage(), 0u);
    EXPECT_TRUE(closes.empty());
    EXPECT_EQ(Codes(state[1]).back(), static_cast<UINT>(PSN_KILLACTIVE)) << "applied after the invalid page";
}

TEST_F(PropertySheetTest, ApplyWaitsForAChangeAndKeepsTheSheetOpen) {
    ASSERT_TRUE(sheet.Show());
    HWND apply = sheet.Button(PropertySheet::kApplyId);
    EXPECT_FALSE(IsWindowEnabled(apply));
    sheet.PressApply();
    EXPECT_EQ(Codes(state[0]), std::vector<UINT>{PSN_SETACTIVE});

    HWND one = sheet.PageWindow(0);
    SendMessageW(GetParent(one), PSM_CHANGED, reinterpret_cast<WPARAM>(one), 0);
    EXPECT_EQ(sheet.Changes(), std::vector<WPARAM>{reinterpret_cast<WPARAM>(one)});
    EXPECT_TRUE(IsWindowEnabled(apply));
    sheet.PressApply();
    EXPECT_EQ(state[0].notes.back(), (std::pair<UINT, LPARAM>{PSN_APPLY, FALSE}));
    EXPECT_FALSE(IsWindowEnabled(apply));
    EXPECT_TRUE(sheet.IsOpen());
    EXPECT_TRUE(closes.empty());
}

TEST_F(PropertySheetTest, CancelAsksTheActivePageThenResetsEveryPageThatWasMade) {
    ASSERT_TRUE(sheet.Show());
    ASSERT_TRUE(sheet.SelectPage(1));
    state[1].queryCancel = TRUE;
    sheet.PressCancel();
    EXPECT_TRUE(sheet.IsOpen());
    state[1].queryCancel = FALSE;
    state[0].notes.clear();
    state[1].notes.clear();
    sheet.PressCancel();
    EXPECT_EQ(state[0].notes, (std::vector<std::pair<UINT, LPARAM>>{{PSN_RESET, FALSE}}));
    EXPECT_EQ(state[1].notes, (std::vector<std::pair<UINT, LPARAM>>{{PSN_QUERYCANCEL, 0}, {PSN_RESET, FALSE}}));
    EXPECT_EQ(closes, std::vector<bool>{false});
    EXPECT_EQ(sheet.Result(), IDCANCEL);
}

TEST_F(PropertySheetTest, TypingIntoAFieldAndLeavingItMovesTheFocusLikeTheUser) {
    ASSERT_TRUE(sheet.Show());
    HWND page = sheet.PageWindow(0);
    HWND first = GetDlgItem(page, IDC_FIRST);
    HWND second = GetDlgItem(page, IDC_SECOND);
    gButtonProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(first, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatchFocus)));
    gKillFocusTo = nullptr;

    ASSERT_TRUE(sheet.Type(IDC_FIRST, L"abc"));
    EXPECT_EQ(GetFocus(), first);
    WCHAR text[8];
    GetWindowTextW(first, text, 8);
    EXPECT_EQ(std::wstring(text), L"abc");
    sheet.Leave();
    EXPECT_EQ(GetFocus(), second);
    EXPECT_EQ(gKillFocusTo, second);
    sheet.Leave();  // past the page's last tab stop
    EXPECT_EQ(GetFocus(), sheet.Button(IDOK));

    EXPECT_FALSE(sheet.Click(999));
    EXPECT_FALSE(sheet.Type(999, L"x"));
}

TEST_F(PropertySheetTest, PageDescriptionsAreCopiedWithWhatFollowsThem) {
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(CreatePropertySheetPageW(nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    struct Extended {
        PROPSHEETPAGEW page;
        int extra;
    } described{};
    described.page.dwSize = static_cast<DWORD>(PROPSHEETPAGEW_V1_SIZE) - 1;
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(CreatePropertySheetPageW(&described.page), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    described.page.dwSize = sizeof described;
    described.page.lParam = 5;
    described.extra = 99;
    HPROPSHEETPAGE copy = CreatePropertySheetPageW(&described.page);
    ASSERT_NE(copy, nullptr);
    described.page.lParam = 6;
    described.extra = 0;
    const auto* kept = reinterpret_cast<const Extended*>(copy);
    EXPECT_EQ(kept->page.lParam, 5);
    EXPECT_EQ(kept->extra, 99);
    EXPECT_TRUE(DestroyPropertySheetPage(copy));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(DestroyPropertySheetPage(copy));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    described.page.dwSize = static_cast<DWORD>(PROPSHEETPAGEW_V1_SIZE);
    described.page.hActCtx = reinterpret_cast<HANDLE>(1);
    copy = CreatePropertySheetPageW(&described.page);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(reinterpret_cast<const PROPSHEETPAGEW*>(copy)->hActCtx, nullptr) << "beyond dwSize is not copied";
    DestroyPropertySheetPage(copy);
}

}  // namespace
