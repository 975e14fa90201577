// The page framework in-process: the pages' shared dialog procedure, a page taking over its dialog so
// that its own message map comes first, the page outliving its window, and centring. Source of truth:
// the property sheet documentation (WM_INITDIALOG of a page carries its PROPSHEETPAGE; PSM_CHANGED's
// wParam is the page) and the dialog manager's (a procedure's TRUE from WM_INITDIALOG asks for the
// default focus, which goes to the first control with WS_TABSTOP).
#include <commctrl.h>
#include <property_sheet.h>

#include "QVDrvUI.h"
#include "TestMachine.h"
#include "VPage.h"
#include "page_test.h"

#include <vector>

namespace {

using winsim::control::PropertySheet;

class TestPage : public VPage {
public:
    int GetTemplateId() override { return IDD_TEST_PAGE; }
    LRESULT InitPage(UINT uMsg, WPARAM, LPARAM, BOOL&) override {
        ++inits;
        initMessage = uMsg;
        return TRUE;
    }
    void OnFinalMessage(HWND hwnd) override {
        ++finals;
        finalWindow = hwnd;
    }
    LRESULT OnMapped(WORD, WORD, HWND, BOOL&) {
        ++mapped;
        return 0;
    }

    V_BEGIN_MSG_MAP()
        V_MESSAGE_HANDLER(WM_INITDIALOG, InitPage)
        V_COMMAND_HANDLER(IDC_MAPPED, BN_CLICKED, OnMapped)
    V_END_MSG_MAP()

    int inits = 0;
    int finals = 0;
    int mapped = 0;
    UINT initMessage = 0;
    HWND finalWindow = nullptr;
};

class PageFrameworkTest : public testsupport::MachineTest {
protected:
    void TearDown() override {
        sheet.Close();
        MachineTest::TearDown();
    }

    PROPSHEETPAGEW Describe(VPage* object) {
        PROPSHEETPAGEW psp{};
        psp.dwSize = sizeof psp;
        psp.hInstance = GetModuleHandleW(nullptr);
        psp.pszTemplate = MAKEINTRESOURCEW(IDD_TEST_PAGE);
        psp.pfnDlgProc = PageDlgProc;
        psp.lParam = object ? static_cast<LPARAM>(object->Ticket()) : 0;
        return psp;
    }

    HWND OpenOn(VPage* object) {
        object->SetOwner(&controller);
        EXPECT_NE(sheet.AddPage(Describe(object)), nullptr);
        EXPECT_TRUE(sheet.Show());
        return sheet.PageWindow(0);
    }

    QVSheet controller;  // the sheet the pages name as their owner
    TestPage page;  // outlives the sheet, as the controller's pages do
    PropertySheet sheet;
};

TEST_F(PageFrameworkTest, ButtonClicksThePageLeavesMarkTheSheetChanged) {
    HWND dlg = OpenOn(&page);
    ASSERT_NE(dlg, nullptr);
    EXPECT_FALSE(IsWindowEnabled(sheet.Button(PropertySheet::kApplyId)));

    ASSERT_TRUE(sheet.Click(IDC_GO));
    EXPECT_EQ(sheet.Changes(), std::vector<WPARAM>{reinterpret_cast<WPARAM>(dlg)});
    EXPECT_TRUE(IsWindowEnabled(sheet.Button(PropertySheet::kApplyId)));

    // The page's own map takes this one; the dialog procedure never sees it.
    ASSERT_TRUE(sheet.Click(IDC_MAPPED));
    EXPECT_EQ(page.mapped, 1);
    EXPECT_EQ(sheet.Changes().size(), 1u);

    // A combo box's selection change (notification 1) is not a click.
    EXPECT_EQ(SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDC_GO, 1), reinterpret_cast<LPARAM>(GetDlgItem(dlg, IDC_GO))),
              0);
    EXPECT_EQ(sheet.Changes().size(), 1u);

    // Apply: the page accepts leaving and applying, answering through the dialog manager.
    sheet.PressApply();
    ASSERT_GE(sheet.Notifications().size(), 3u);
    for (const auto& n : sheet.Notifications()) EXPECT_EQ(n.answer, 0) << "notification " << static_cast<int>(n.code);
    EXPECT_EQ(sheet.Notifications().back().code, static_cast<UINT>(PSN_APPLY));
    EXPECT_EQ(sheet.Notifications().back().lParam, FALSE);
    EXPECT_FALSE(IsWindowEnabled(sheet.Button(PropertySheet::kApplyId)));
    EXPECT_TRUE(sheet.IsOpen());
}

TEST_F(PageFrameworkTest, PageTakesOverItsDialogAndOutlivesIt) {
    HWND dlg = OpenOn(&page);
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(page.m_hWnd, dlg);
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(dlg, GWLP_WNDPROC)), VWindow::GetWindowProc());
    EXPECT_EQ(page.SuperWindowProc(), DefDlgProcW) << "the dialog manager comes after the page's map";
    EXPECT_EQ(GetWindowLongPtrW(dlg, DWLP_USER), reinterpret_cast<LONG_PTR>(&controller));
    EXPECT_EQ(page.inits, 1);
    EXPECT_EQ(page.initMessage, static_cast<UINT>(WM_INITDIALOG));
    EXPECT_EQ(GetFocus(), GetDlgItem(dlg, IDC_GO)) << "InitPage's TRUE gives the default focus";

    sheet.PressCancel();
    EXPECT_FALSE(IsWindow(dlg));
    EXPECT_EQ(page.m_hWnd, nullptr);
    EXPECT_EQ(page.finals, 1);
    EXPECT_EQ(page.finalWindow, dlg);
    EXPECT_EQ(page.inits, 1);
}

TEST_F(PageFrameworkTest, DialogWithoutAPageObjectIsLeftToTheDialogManager) {
    PROPSHEETPAGEW psp = Describe(nullptr);
    ASSERT_NE(sheet.AddPage(psp), nullptr);
    ASSERT_TRUE(sheet.Show());
    HWND dlg = sheet.PageWindow(0);
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(dlg, GWLP_WNDPROC)), DefDlgProcW);
    EXPECT_EQ(GetWindowLongPtrW(dlg, DWLP_USER), 0);
    EXPECT_EQ(GetFocus(), nullptr) << "WM_INITDIALOG was answered FALSE";

    ASSERT_TRUE(sheet.Click(IDC_GO));
    EXPECT_EQ(sheet.Changes(), std::vector<WPARAM>{reinterpret_cast<WPARAM>(dlg)});
    sheet.PressOK();  // PSN_APPLY with no owner applies nothing and is still accepted
    EXPECT_EQ(sheet.Result(), IDOK);
}

// The pages' parent in place of a sheet: keeps the pages PSM_CHANGED named.
std::vector<WPARAM> gChangedPages;
LRESULT CALLBACK RecordingParentProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == PSM_CHANGED) {
        gChangedPages.push_back(wParam);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

TEST_F(PageFrameworkTest, PageDeletedBeforeItsWindowHandsTheWindowBack) {
    ASSERT_NE(testsupport::TestWindowClass(L"TestSheetParent", RecordingParentProc), 0);
    gChangedPages.clear();
    HWND parent = CreateWindowExW(0, L"TestSheetParent", L"", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr, nullptr,
                                  nullptr);
    auto* doomed = new TestPage;
    doomed->SetOwner(&controller);
    PROPSHEETPAGEW psp = Describe(doomed);
    HWND dlg = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_TEST_PAGE), parent, PageDlgProc,
                                  reinterpret_cast<LPARAM>(&psp));
    ASSERT_NE(dlg, nullptr);
    ASSERT_EQ(doomed->m_hWnd, dlg);
    delete doomed;
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(dlg, GWLP_WNDPROC)), DefDlgProcW);
    EXPECT_EQ(GetPropW(dlg, L"Velumor.VWindow"), nullptr);
    // A click now reaches the dialog procedure only, and nothing of the deleted page.
    SendMessageW(GetDlgItem(dlg, IDC_MAPPED), BM_CLICK, 0, 0);
    EXPECT_EQ(gChangedPages, std::vector<WPARAM>{reinterpret_cast<WPARAM>(dlg)}) << "the dialog procedure's answer to a click";
    EXPECT_TRUE(DestroyWindow(parent));
    EXPECT_FALSE(IsWindow(dlg));
}

class Centred : public VWindow {
public:
    BOOL ProcessWindowMessage(HWND, UINT, WPARAM, LPARAM, LRESULT&, DWORD) override { return FALSE; }
};

// Where a child of that size ends up in a 301 × 201 client area at (100, 80) on the screen.
RECT CentreIn301By201(int width, int height) {
    HWND parent = CreateWindowExW(0, L"Static", L"", WS_POPUP, 100, 80, 301, 201, nullptr, nullptr, nullptr, nullptr);
    HWND child = CreateWindowExW(0, L"Static", L"", WS_CHILD, 3, 4, width, height, parent, nullptr, nullptr, nullptr);
    Centred window;
    RECT rect{-1, -1, -1, -1};
    if (window.SubclassWindow(child) && window.CenterWindow(parent)) {
        GetWindowRect(child, &rect);
        MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
    }
    DestroyWindow(parent);
    return rect;
}

TEST_F(PageFrameworkTest, CentringKeepsAChildInsideItsParentsClientArea) {
    struct Case {
        int width, height;
        RECT expected;
    };
    const Case cases[] = {
        {101, 51, {100, 75, 201, 126}},   // 150 - 50, 100 - 25
        {400, 51, {0, 75, 400, 126}},     // sticks out on both sides: the left edge wins
        {101, 300, {100, 0, 201, 300}},   // the top edge wins
        {301, 201, {0, 0, 301, 201}},     // fills the area
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        RECT r = CentreIn301By201(c.width, c.height);
        EXPECT_EQ(r.left, c.expected.left);
        EXPECT_EQ(r.top, c.expected.top);
        EXPECT_EQ(r.right, c.expected.right);
        EXPECT_EQ(r.bottom, c.expected.bottom);
    }
    Centred unattached;
    EXPECT_FALSE(unattached.CenterWindow(nullptr));
}

}  // namespace
