// The plug-in's small window layer, in place of ATL and WTL: an object that takes over an existing window
// (a page's dialog) so that its own message map sees every message first, a message map in the ATL
// shape, and thin wrappers over control handles. Plain Win32.
#pragma once
#include <windows.h>

// An object that takes over a window. Its message map (ProcessWindowMessage) sees every message first;
// what it does not handle goes on to the window procedure it replaced. At WM_NCDESTROY it lets go of the
// window and the object lives on without one.
class VWindow {
public:
    VWindow() = default;
    virtual ~VWindow();
    VWindow(const VWindow&) = delete;
    VWindow& operator=(const VWindow&) = delete;

    // TRUE when the message was handled, lResult then being its answer.
    virtual BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult,
                                      DWORD dwMsgMapID) = 0;
    virtual void OnFinalMessage(HWND) {}

    // Puts this object's window procedure in place of the window's; FALSE, with nothing changed, when
    // that cannot be done.
    BOOL SubclassWindow(HWND hWnd);
    // The procedure SubclassWindow installs.
    static WNDPROC GetWindowProc() { return WindowProc; }
    // The procedure that was replaced (DefWindowProcW before any).
    WNDPROC SuperWindowProc() const { return m_pfnSuperWindowProc; }
    LRESULT CallSuper(UINT uMsg, WPARAM wParam, LPARAM lParam);

    // Centres this child window in the client area of hWndCenter (its parent) and keeps it inside it, as
    // ATL's CWindow::CenterWindow does for a child window.
    BOOL CenterWindow(HWND hWndCenter);

    HWND m_hWnd = nullptr;

private:
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    void Release();

    WNDPROC m_pfnSuperWindowProc = DefWindowProcW;
};

// Message map entries, tested in the order written. A handler may clear bHandled to pass the message on.
#define V_BEGIN_MSG_MAP()                                                                                     \
    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult,          \
                              DWORD dwMsgMapID) override {                                                   \
        (void)hWnd;                                                                                           \
        (void)lParam;                                                                                         \
        (void)lResult;                                                                                        \
        BOOL bHandled = TRUE;                                                                                 \
        (void)bHandled;                                                                                       \
        if (dwMsgMapID != 0) return FALSE;

#define V_MESSAGE_HANDLER(msg, func)                                                                          \
    if (uMsg == (msg)) {                                                                                      \
        bHandled = TRUE;                                                                                      \
        lResult = func(uMsg, wParam, lParam, bHandled);                                                       \
        if (bHandled) return TRUE;                                                                            \
    }

#define V_COMMAND_HANDLER(id, code, func)                                                                     \
    if (uMsg == WM_COMMAND && LOWORD(wParam) == static_cast<WORD>(id) && HIWORD(wParam) == static_cast<WORD>(code)) { \
        bHandled = TRUE;                                                                                      \
        lResult = func(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), bHandled);             \
        if (bHandled) return TRUE;                                                                            \
    }

#define V_NOTIFY_HANDLER(id, cd, func)                                                                        \
    if (uMsg == WM_NOTIFY && lParam && reinterpret_cast<LPNMHDR>(lParam)->idFrom == static_cast<UINT_PTR>(id) && \
        reinterpret_cast<LPNMHDR>(lParam)->code == static_cast<UINT>(cd)) {                                   \
        bHandled = TRUE;                                                                                      \
        lResult = func(static_cast<int>(wParam), reinterpret_cast<LPNMHDR>(lParam), bHandled);                \
        if (bHandled) return TRUE;                                                                            \
    }

#define V_END_MSG_MAP()                                                                                       \
    return FALSE;                                                                                             \
    }

// A control's handle with the operations the pages use; it owns nothing and is made per use.
class VControl {
public:
    explicit VControl(HWND hWnd = nullptr) : m_hWnd(hWnd) {}
    operator HWND() const { return m_hWnd; }
    int GetText(LPWSTR buffer, int count) const { return ::GetWindowTextW(m_hWnd, buffer, count); }
    BOOL SetText(LPCWSTR text) const { return ::SetWindowTextW(m_hWnd, text); }
    LRESULT Send(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageW(m_hWnd, uMsg, wParam, lParam);
    }

    HWND m_hWnd;
};

// An edit control.
class VEdit : public VControl {
public:
    using VControl::VControl;
};
