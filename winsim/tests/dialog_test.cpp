// Dialogs (user32/dialog.cpp, button.cpp, static.cpp) and dialog resources (kernel32/resource.cpp), from
// the templates of resource_test.rc as the resource compiler writes them. Source of truth: the
// documentation of DLGTEMPLATEEX and DLGITEMTEMPLATEEX (layout, DWORD-aligned items, 0xFFFF 0x0080..0x0085
// for the predefined classes), of the resource script statements (every control gets WS_CHILD |
// WS_VISIBLE; LTEXT adds SS_LEFT | WS_GROUP, PUSHBUTTON WS_TABSTOP; NOT clears a default; CAPTION adds
// WS_CAPTION and FONT DS_SETFONT), of CreateDialogIndirectParamW (WM_INITDIALOG's wParam is the first
// control with WS_TABSTOP, its lParam the init parameter, TRUE gives that control the focus; a control
// that cannot be made fails the dialog), of DefDlgProc (DWLP_MSGRESULT is the answer of a handled
// message) and of BM_CLICK (focus, then BN_CLICKED to the parent). Dialog units become pixels with the
// fixed base units 6 × 13: MulDiv(x, 6, 4) and MulDiv(y, 13, 8).
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "TestMachine.h"
#include "resource_test.h"

namespace {

struct Seen {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Seen> gSeen;
INT_PTR gInitAnswer = TRUE;

INT_PTR CALLBACK RecordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    gSeen.push_back({msg, wParam, lParam});
    if (msg == WM_INITDIALOG) {
        EXPECT_FALSE(IsWindowVisible(hwnd)) << "shown before WM_INITDIALOG";
        return gInitAnswer;
    }
    if (msg == WM_USER + 1) {
        SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, 42);
        return TRUE;
    }
    if (msg == WM_USER + 2) return TRUE;  // handled without an answer
    return FALSE;
}

std::wstring Text(HWND hwnd) {
    WCHAR text[64] = {};
    GetWindowTextW(hwnd, text, 64);
    return text;
}

std::wstring ClassOf(HWND hwnd) {
    WCHAR name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

RECT InParent(HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

class DialogTest : public testsupport::MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        gSeen.clear();
        gInitAnswer = TRUE;
    }
    void TearDown() override {
        if (dlg) DestroyWindow(dlg);
        SetFocus(nullptr);
        MachineTest::TearDown();
    }
    HWND Create(int id, LPARAM init = 0) {
        dlg = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), nullptr, RecordingProc, init);
        return dlg;
    }
    HWND dlg = nullptr;
};

TEST_F(DialogTest, TemplateIsWindowsExtendedDialogTemplate) {
    HRSRC found = FindResourceW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_TINY), RT_DIALOG);
    ASSERT_NE(found, nullptr);
    const unsigned char expected[] = {
        0x01, 0x00, 0xFF, 0xFF,                          // version 1, extended
        0x00, 0x00, 0x00, 0x00,                          // help id
        0x00, 0x00, 0x00, 0x00,                          // extended style
        0x40, 0x00, 0xC0, 0x40,                          // WS_CHILD | WS_CAPTION | DS_SETFONT
        0x01, 0x00,                                      // one item
        0x01, 0x00, 0x02, 0x00, 0x1E, 0x00, 0x28, 0x00,  // 1, 2, 30, 40
        0x00, 0x00,                                      // no menu
        0x00, 0x00,                                      // the dialog class
        0x41, 0x00, 0x00, 0x00,                          // "A"
        0x09, 0x00, 0xBC, 0x02, 0x01, 0x02,              // 9 pt, weight 700, italic, character set 2
        0x42, 0x00, 0x00, 0x00,                          // "B"; 44 bytes, on a DWORD boundary
        0x00, 0x00, 0x00, 0x00,                          // item: help id
        0x00, 0x00, 0x00, 0x00,                          // extended style
        0x00, 0x00, 0x02, 0x50,                          // WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT
        0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04, 0x00,  // 1, 2, 3, 4
        0x07, 0x00, 0x00, 0x00,                          // id 7
        0xFF, 0xFF, 0x82, 0x00,                          // the static class by number
        0x78, 0x00, 0x00, 0x00,                          // "x"
        0x00, 0x00,                                      // no creation data
    };
    ASSERT_EQ(SizeofResource(GetModuleHandleW(nullptr), found), sizeof expected);
    const void* data = LockResource(LoadResource(GetModuleHandleW(nullptr), found));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::vector<unsigned char>(static_cast<const unsigned char*>(data),
                                         static_cast<const unsigned char*>(data) + sizeof expected),
              std::vector<unsigned char>(expected, expected + sizeof expected));
}

TEST_F(DialogTest, FindResourceTellsAMissingNameFromAMissingType) {
    HMODULE self = GetModuleHandleW(nullptr);
    EXPECT_NE(FindResourceW(self, L"#301", RT_DIALOG), nullptr);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(FindResourceW(self, MAKEINTRESOURCEW(399), RT_DIALOG), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(FindResourceW(self, L"TINY", RT_DIALOG), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(FindResourceW(self, MAKEINTRESOURCEW(IDD_TINY), MAKEINTRESOURCEW(99)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
}

TEST_F(DialogTest, ControlsComeFromTheTemplateWithTheirClassesStylesAndPlaces) {
    ASSERT_NE(Create(IDD_CONTROLS, 0x1234), nullptr);
    EXPECT_EQ(ClassOf(dlg), L"#32770");
    EXPECT_EQ(Text(dlg), L"Controls");
    RECT r;
    GetWindowRect(dlg, &r);
    EXPECT_EQ(r.left, 15);    // 10 units
    EXPECT_EQ(r.top, 33);     // 20 units: 32.5 rounds up
    EXPECT_EQ(r.right, 315);  // 200 units wide
    EXPECT_EQ(r.bottom, 228); // 120 units high
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(dlg, GWL_STYLE)),
              static_cast<DWORD>(DS_SETFONT | DS_FIXEDSYS | WS_POPUP | WS_CAPTION | WS_SYSMENU));

    struct Control {
        int id;
        const wchar_t* cls;
        const wchar_t* text;
        DWORD style;
        DWORD exStyle;
        RECT place;
    };
    const Control controls[] = {
        {IDC_NAME, L"Static", L"Name:", WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT, 0, {6, 10, 66, 23}},
        {IDC_GO, L"Button", L"Go", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, {75, 7, 135, 30}},
        {IDOK, L"Button", L"OK", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 0, {150, 7, 210, 30}},
        {IDC_GROUP, L"Button", L"Group", WS_CHILD | WS_VISIBLE | BS_GROUPBOX, 0, {6, 49, 156, 130}},
        {IDC_CUSTOM, L"Button", L"Custom", WS_CHILD | WS_VISIBLE | WS_DISABLED | WS_TABSTOP | BS_PUSHBUTTON,
         WS_EX_CLIENTEDGE, {6, 146, 66, 169}},
    };
    HWND previous = nullptr;
    for (const Control& c : controls) {
        SCOPED_TRACE("control " + std::to_string(c.id));
        HWND control = GetDlgItem(dlg, c.id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(GetParent(control), dlg);
        EXPECT_EQ(GetDlgCtrlID(control), c.id);
        EXPECT_EQ(ClassOf(control), c.cls);
        EXPECT_EQ(Text(control), c.text);
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(control, GWL_STYLE)), c.style);
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(control, GWL_EXSTYLE)), c.exStyle);
        RECT p = InParent(control);
        EXPECT_EQ(p.left, c.place.left);
        EXPECT_EQ(p.top, c.place.top);
        EXPECT_EQ(p.right, c.place.right);
        EXPECT_EQ(p.bottom, c.place.bottom);
        // Template order is the windows' order.
        EXPECT_EQ(previous ? GetWindow(previous, GW_HWNDNEXT) : GetWindow(dlg, GW_CHILD), control);
        previous = control;
    }

    // The procedure sees WM_INITDIALOG first (not the window's creation), with the first tab stop and
    // the init parameter, and its TRUE gives that control the focus.
    ASSERT_FALSE(gSeen.empty());
    EXPECT_EQ(gSeen[0].msg, static_cast<UINT>(WM_INITDIALOG));
    EXPECT_EQ(gSeen[0].wParam, reinterpret_cast<WPARAM>(GetDlgItem(dlg, IDC_GO)));
    EXPECT_EQ(gSeen[0].lParam, 0x1234);
    EXPECT_EQ(GetFocus(), GetDlgItem(dlg, IDC_GO));
    EXPECT_FALSE(IsWindowVisible(dlg)) << "the template has no WS_VISIBLE";
}

TEST_F(DialogTest, FalseFromWmInitDialogLeavesTheFocusAlone) {
    gInitAnswer = FALSE;
    ASSERT_NE(Create(IDD_CONTROLS), nullptr);
    EXPECT_EQ(GetFocus(), nullptr);
}

TEST_F(DialogTest, TemplateFollowsTheUiLanguage) {
    winsim::control::Change([](winsim::control::Json& m) { m["system"]["uiLanguage"] = winsim::control::Json::number(1041); });
    ASSERT_NE(Create(IDD_CONTROLS), nullptr);
    EXPECT_EQ(Text(dlg), L"コントロール");
    EXPECT_EQ(Text(GetDlgItem(dlg, IDC_GO)), L"実行");
    EXPECT_EQ(GetDlgItem(dlg, IDC_NAME), nullptr);
}

TEST_F(DialogTest, HandledMessagesAnswerWithTheMessageResult) {
    ASSERT_NE(Create(IDD_CONTROLS), nullptr);
    EXPECT_EQ(SendMessageW(dlg, WM_USER + 1, 0, 0), 42);
    EXPECT_EQ(SendMessageW(dlg, WM_USER + 2, 0, 0), 0) << "an earlier answer leaked";
    // Not handled: the default processing answers.
    EXPECT_EQ(SendMessageW(dlg, WM_GETTEXTLENGTH, 0, 0), 8);
    EXPECT_EQ(SendMessageW(dlg, WM_CLOSE, 0, 0), 0);
    EXPECT_TRUE(IsWindow(dlg)) << "closing a dialog is its procedure's business";
}

TEST_F(DialogTest, ControlThatCannotBeMadeFailsTheDialog) {
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(Create(IDD_UNKNOWN_CLASS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
    bool destroyed = false;
    for (const Seen& s : gSeen) {
        EXPECT_NE(s.msg, static_cast<UINT>(WM_INITDIALOG));
        destroyed = destroyed || s.msg == WM_NCDESTROY;
    }
    EXPECT_TRUE(destroyed) << "the half-made dialog was left behind";
}

TEST_F(DialogTest, ClickOnAnEnabledPushButtonFocusesItAndTellsTheDialog) {
    gInitAnswer = FALSE;
    ASSERT_NE(Create(IDD_CONTROLS), nullptr);
    HWND go = GetDlgItem(dlg, IDC_GO);
    gSeen.clear();
    EXPECT_EQ(SendMessageW(go, BM_CLICK, 0, 0), 0);
    ASSERT_EQ(gSeen.size(), 1u);
    EXPECT_EQ(gSeen[0].msg, static_cast<UINT>(WM_COMMAND));
    EXPECT_EQ(gSeen[0].wParam, MAKEWPARAM(IDC_GO, BN_CLICKED));
    EXPECT_EQ(gSeen[0].lParam, reinterpret_cast<LPARAM>(go));
    EXPECT_EQ(GetFocus(), go);
    EXPECT_EQ(SendMessageW(go, BM_GETSTATE, 0, 0), BST_FOCUS);

    gSeen.clear();
    SendMessageW(GetDlgItem(dlg, IDC_CUSTOM), BM_CLICK, 0, 0);  // disabled
    SendMessageW(GetDlgItem(dlg, IDC_GROUP), BM_CLICK, 0, 0);   // a group box is no button to click
    EXPECT_TRUE(gSeen.empty());
    EXPECT_EQ(GetFocus(), go);
}

TEST_F(DialogTest, MapDialogRectUsesTheBaseUnits) {
    ASSERT_NE(Create(IDD_CONTROLS), nullptr);
    RECT r{1, 2, 3, 4};
    EXPECT_TRUE(MapDialogRect(dlg, &r));
    EXPECT_EQ(r.left, 2);    // 1.5
    EXPECT_EQ(r.top, 3);     // 3.25
    EXPECT_EQ(r.right, 5);   // 4.5
    EXPECT_EQ(r.bottom, 7);  // 6.5
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(MapDialogRect(nullptr, &r));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

}  // namespace
