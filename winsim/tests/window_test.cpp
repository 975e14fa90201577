// Windows (user32/window.cpp, class.cpp). Source of truth: the documentation of CreateWindowExW
// (WM_NCCREATE then WM_CREATE; FALSE or -1 fail the creation; a child needs a parent), DestroyWindow
// (WM_DESTROY to the window before its children, WM_NCDESTROY after theirs), SetWindowLongPtrW (the
// previous value back; success leaves the last error alone), CallWindowProcW, Get/SetWindowTextW,
// EnableWindow and ShowWindow (the previous state back; WM_ENABLE and WM_SHOWWINDOW on a change), SetFocus
// (WM_KILLFOCUS to the old window with the new one, WM_SETFOCUS to the new one with the old one),
// GetWindowRect (screen), GetClientRect, MapWindowPoints (the shift in the answer's two words) and the
// window property functions.
#include <windows.h>

#include <string>
#include <vector>

#include "TestMachine.h"

namespace {

struct Logged {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
};
std::vector<Logged> gLog;
LRESULT gCreateAnswer = 0;
BOOL gNcCreateAnswer = TRUE;

bool Watched(UINT msg) {
    switch (msg) {
    case WM_NCCREATE: case WM_CREATE: case WM_DESTROY: case WM_NCDESTROY: case WM_SETFOCUS: case WM_KILLFOCUS:
    case WM_ENABLE: case WM_SHOWWINDOW: case WM_USER:
        return true;
    default:
        return false;
    }
}

LRESULT CALLBACK LoggingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (Watched(msg)) gLog.push_back({hwnd, msg, wParam});
    if (msg == WM_NCCREATE && !gNcCreateAnswer) return FALSE;
    if (msg == WM_CREATE) return gCreateAnswer;
    if (msg == WM_USER) return 100;
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

WNDPROC gPrevious = nullptr;
LRESULT CALLBACK Subclass(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_USER) return 1 + CallWindowProcW(gPrevious, hwnd, msg, wParam, lParam);
    return CallWindowProcW(gPrevious, hwnd, msg, wParam, lParam);
}

class WindowTest : public testsupport::MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        ASSERT_NE(testsupport::TestWindowClass(L"LoggingWindow", LoggingProc, 2 * sizeof(LONG_PTR)), 0);
        gLog.clear();
        gCreateAnswer = 0;
        gNcCreateAnswer = TRUE;
    }
    void TearDown() override {
        for (HWND w : made_) {
            if (IsWindow(w)) DestroyWindow(w);
        }
        SetFocus(nullptr);
        MachineTest::TearDown();
    }
    HWND Make(HWND parent, DWORD style, int x, int y, int cx, int cy, int id = 0, LPCWSTR text = L"") {
        HWND w = CreateWindowExW(0, L"LoggingWindow", text, style, x, y, cx, cy, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
        if (!parent) made_.push_back(w);
        return w;
    }
    std::vector<Logged> Log(UINT msg) const {
        std::vector<Logged> out;
        for (const Logged& l : gLog) {
            if (l.msg == msg) out.push_back(l);
        }
        return out;
    }

private:
    std::vector<HWND> made_;
};

TEST_F(WindowTest, CreationAndDestructionSendTheirMessagesInOrder) {
    HWND top = Make(nullptr, WS_POPUP, 0, 0, 100, 100);
    HWND first = Make(top, WS_CHILD, 0, 0, 10, 10, 1);
    HWND grandchild = Make(first, WS_CHILD, 0, 0, 5, 5, 3);
    HWND second = Make(top, WS_CHILD, 0, 0, 10, 10, 2);
    ASSERT_TRUE(top && first && grandchild && second);
    ASSERT_EQ(gLog.size(), 8u);
    for (size_t i = 0; i < gLog.size(); i += 2) {
        EXPECT_EQ(gLog[i].msg, static_cast<UINT>(WM_NCCREATE));
        EXPECT_EQ(gLog[i + 1].msg, static_cast<UINT>(WM_CREATE));
    }

    gLog.clear();
    EXPECT_TRUE(DestroyWindow(top));
    const std::vector<std::pair<HWND, UINT>> expected = {
        {top, WM_DESTROY},         {first, WM_DESTROY},   {grandchild, WM_DESTROY}, {grandchild, WM_NCDESTROY},
        {first, WM_NCDESTROY},     {second, WM_DESTROY},  {second, WM_NCDESTROY},   {top, WM_NCDESTROY},
    };
    ASSERT_EQ(gLog.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(gLog[i].hwnd, expected[i].first) << i;
        EXPECT_EQ(gLog[i].msg, expected[i].second) << i;
    }
    for (HWND w : {top, first, grandchild, second}) EXPECT_FALSE(IsWindow(w));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(SendMessageW(first, WM_USER, 0, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_FALSE(DestroyWindow(top));
}

TEST_F(WindowTest, CreationFailsWhenTheWindowRefusesOrTheArgumentsAreWrong) {
    gNcCreateAnswer = FALSE;
    EXPECT_EQ(Make(nullptr, WS_POPUP, 0, 0, 1, 1), nullptr);
    gNcCreateAnswer = TRUE;
    gCreateAnswer = -1;
    gLog.clear();
    EXPECT_EQ(Make(nullptr, WS_POPUP, 0, 0, 1, 1), nullptr);
    EXPECT_EQ(Log(WM_NCDESTROY).size(), 1u) << "the refused window was not taken down";
    gCreateAnswer = 0;

    SetLastError(0xDEADBEEF);
    EXPECT_EQ(CreateWindowExW(0, L"NoSuchClass", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(Make(nullptr, WS_CHILD, 0, 0, 1, 1), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TLW_WITH_WSCHILD));

    WNDCLASSW again{};
    again.lpfnWndProc = LoggingProc;
    again.lpszClassName = L"loggingwindow";  // class names ignore case
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(RegisterClassW(&again), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
}

TEST_F(WindowTest, SubclassingPutsANewProcedureInFrontOfTheOldOne) {
    HWND w = Make(nullptr, WS_POPUP, 0, 0, 10, 10);
    EXPECT_EQ(SendMessageW(w, WM_USER, 0, 0), 100);
    SetLastError(0xDEADBEEF);
    gPrevious = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Subclass)));
    EXPECT_EQ(gPrevious, LoggingProc);
    EXPECT_EQ(GetLastError(), 0xDEADBEEFu);
    EXPECT_EQ(SendMessageW(w, WM_USER, 0, 0), 101);
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(w, GWLP_WNDPROC)), Subclass);
    SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(gPrevious));
    EXPECT_EQ(SendMessageW(w, WM_USER, 0, 0), 100);

    // The other values, and the class's extra bytes.
    EXPECT_EQ(SetWindowLongPtrW(w, GWLP_USERDATA, 7), 0);
    EXPECT_EQ(SetWindowLongPtrW(w, GWLP_USERDATA, 8), 7);
    EXPECT_EQ(GetWindowLongPtrW(w, GWLP_USERDATA), 8);
    EXPECT_EQ(SetWindowLongPtrW(w, static_cast<int>(sizeof(LONG_PTR)), -5), 0);
    EXPECT_EQ(GetWindowLongPtrW(w, static_cast<int>(sizeof(LONG_PTR))), -5);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GetWindowLongPtrW(w, static_cast<int>(2 * sizeof(LONG_PTR))), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(SetWindowLongPtrW(w, static_cast<int>(sizeof(LONG_PTR)) + 1, 1), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
}

TEST_F(WindowTest, TextIsSetAtCreationAndCutToTheBuffer) {
    HWND w = Make(nullptr, WS_POPUP, 0, 0, 10, 10, 0, L"Hello");
    WCHAR text[16];
    EXPECT_EQ(GetWindowTextW(w, text, 16), 5);
    EXPECT_EQ(std::wstring(text), L"Hello");
    EXPECT_EQ(GetWindowTextW(w, text, 4), 3);
    EXPECT_EQ(std::wstring(text), L"Hel");
    EXPECT_TRUE(SetWindowTextW(w, L"Longer text"));
    EXPECT_EQ(GetWindowTextLengthW(w), 11);
    EXPECT_TRUE(SetWindowTextW(w, nullptr));
    EXPECT_EQ(GetWindowTextLengthW(w), 0);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GetWindowTextW(nullptr, text, 16), 0);
    EXPECT_EQ(text[0], L'\0');
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(WindowTest, EnablingAndShowingAnswerThePreviousStateAndTellTheWindowOnAChange) {
    HWND top = Make(nullptr, WS_POPUP | WS_VISIBLE, 0, 0, 10, 10);
    HWND child = Make(top, WS_CHILD | WS_VISIBLE | WS_DISABLED, 0, 0, 5, 5);
    gLog.clear();
    EXPECT_FALSE(IsWindowEnabled(child));
    EXPECT_TRUE(EnableWindow(child, TRUE)) << "was disabled";
    EXPECT_TRUE(IsWindowEnabled(child));
    EXPECT_FALSE(EnableWindow(child, TRUE));
    EXPECT_FALSE(EnableWindow(child, FALSE));
    auto enables = Log(WM_ENABLE);
    ASSERT_EQ(enables.size(), 2u);
    EXPECT_EQ(enables[0].wParam, static_cast<WPARAM>(TRUE));
    EXPECT_EQ(enables[1].wParam, static_cast<WPARAM>(FALSE));

    EXPECT_TRUE(IsWindowVisible(child));
    EXPECT_TRUE(ShowWindow(top, SW_HIDE)) << "was visible";
    EXPECT_FALSE(IsWindowVisible(child)) << "its parent is hidden";
    EXPECT_FALSE(ShowWindow(top, SW_HIDE));
    EXPECT_FALSE(ShowWindow(top, SW_SHOW));
    EXPECT_TRUE(IsWindowVisible(child));
    EXPECT_EQ(Log(WM_SHOWWINDOW).size(), 2u);
}

TEST_F(WindowTest, FocusMovesWithKillAndSetFocusMessages) {
    HWND top = Make(nullptr, WS_POPUP, 0, 0, 100, 100);
    HWND a = Make(top, WS_CHILD, 0, 0, 10, 10, 1);
    HWND b = Make(top, WS_CHILD, 0, 20, 10, 10, 2);
    gLog.clear();
    EXPECT_EQ(SetFocus(a), nullptr);
    EXPECT_EQ(SetFocus(b), a);
    EXPECT_EQ(GetFocus(), b);
    EXPECT_EQ(SetFocus(b), b);  // already there: no messages
    ASSERT_EQ(gLog.size(), 3u);
    EXPECT_EQ(gLog[0].hwnd, a);
    EXPECT_EQ(gLog[0].msg, static_cast<UINT>(WM_SETFOCUS));
    EXPECT_EQ(gLog[0].wParam, 0u);
    EXPECT_EQ(gLog[1].hwnd, a);
    EXPECT_EQ(gLog[1].msg, static_cast<UINT>(WM_KILLFOCUS));
    EXPECT_EQ(gLog[1].wParam, reinterpret_cast<WPARAM>(b));
    EXPECT_EQ(gLog[2].hwnd, b);
    EXPECT_EQ(gLog[2].msg, static_cast<UINT>(WM_SETFOCUS));
    EXPECT_EQ(gLog[2].wParam, reinterpret_cast<WPARAM>(a));

    // A window that goes away with the focus loses it first.
    gLog.clear();
    DestroyWindow(b);
    ASSERT_GE(gLog.size(), 2u);
    EXPECT_EQ(gLog[0].msg, static_cast<UINT>(WM_KILLFOCUS));
    EXPECT_EQ(gLog[1].msg, static_cast<UINT>(WM_DESTROY));
    EXPECT_EQ(GetFocus(), nullptr);
}

TEST_F(WindowTest, RectanglesAreOnTheScreenOrInTheClientArea) {
    HWND top = Make(nullptr, WS_POPUP, 100, 50, 300, 200);
    HWND child = Make(top, WS_CHILD, 10, 20, 50, 40);
    HWND grandchild = Make(child, WS_CHILD, 5, 5, 10, 10);
    RECT r;
    ASSERT_TRUE(GetWindowRect(grandchild, &r));
    EXPECT_EQ(r.left, 115);
    EXPECT_EQ(r.top, 75);
    EXPECT_EQ(r.right, 125);
    EXPECT_EQ(r.bottom, 85);
    ASSERT_TRUE(GetClientRect(child, &r));
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, 50);
    EXPECT_EQ(r.bottom, 40);

    POINT p{0, 0};
    EXPECT_EQ(MapWindowPoints(grandchild, top, &p, 1), MAKELONG(15, 25));
    EXPECT_EQ(p.x, 15);
    EXPECT_EQ(p.y, 25);
    POINT s{120, 80};
    MapWindowPoints(HWND_DESKTOP, child, &s, 1);
    EXPECT_EQ(s.x, 10);
    EXPECT_EQ(s.y, 10);

    EXPECT_TRUE(SetWindowPos(child, nullptr, 30, 40, -1, -1, SWP_NOSIZE | SWP_NOZORDER));
    GetWindowRect(child, &r);
    EXPECT_EQ(r.left, 130);
    EXPECT_EQ(r.top, 90);
    EXPECT_EQ(r.right, 180);
    EXPECT_EQ(r.bottom, 130);
    EXPECT_TRUE(SetWindowPos(child, nullptr, 0, 0, 70, 80, SWP_NOMOVE | SWP_NOZORDER));
    GetWindowRect(child, &r);
    EXPECT_EQ(r.left, 130);
    EXPECT_EQ(r.right, 200);
    EXPECT_EQ(r.bottom, 170);
}

TEST_F(WindowTest, RelativesAndIdsFollowCreation) {
    HWND owner = Make(nullptr, WS_POPUP, 0, 0, 10, 10);
    HWND popup = Make(owner, WS_POPUP, 0, 0, 10, 10);
    HWND a = Make(owner, WS_CHILD, 0, 0, 1, 1, 11);
    HWND b = Make(owner, WS_CHILD, 0, 0, 1, 1, 12);
    EXPECT_EQ(GetParent(a), owner);
    EXPECT_EQ(GetParent(popup), owner) << "a popup's parent is its owner";
    EXPECT_EQ(GetWindow(owner, GW_CHILD), a);
    EXPECT_EQ(GetWindow(a, GW_HWNDNEXT), b);
    EXPECT_EQ(GetWindow(b, GW_HWNDPREV), a);
    EXPECT_EQ(GetWindow(b, GW_HWNDNEXT), nullptr);
    EXPECT_EQ(GetDlgItem(owner, 12), b);
    EXPECT_EQ(GetDlgCtrlID(a), 11);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GetDlgItem(owner, 13), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CONTROL_ID_NOT_FOUND));
    DestroyWindow(popup);
}

TEST_F(WindowTest, PropertiesAreKeptByNameUntilRemovedOrTheWindowGoes) {
    HWND w = Make(nullptr, WS_POPUP, 0, 0, 10, 10);
    int a = 0;
    int b = 0;
    EXPECT_TRUE(SetPropW(w, L"Owner", &a));
    EXPECT_EQ(GetPropW(w, L"OWNER"), &a) << "names ignore case";
    EXPECT_TRUE(SetPropW(w, L"owner", &b));
    EXPECT_EQ(GetPropW(w, L"Owner"), &b);
    EXPECT_TRUE(SetPropW(w, MAKEINTATOM(0xC123), &a));
    EXPECT_EQ(GetPropW(w, MAKEINTATOM(0xC123)), &a);
    EXPECT_EQ(RemovePropW(w, L"Owner"), &b);
    EXPECT_EQ(GetPropW(w, L"Owner"), nullptr);
    EXPECT_EQ(RemovePropW(w, L"Owner"), nullptr);
    DestroyWindow(w);
    EXPECT_EQ(GetPropW(w, MAKEINTATOM(0xC123)), nullptr);
}

}  // namespace
