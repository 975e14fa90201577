#include "VWindow.h"

namespace {
// The window property that leads from a window to its object, in place of ATL's code thunk.
constexpr wchar_t kObjectProperty[] = L"Velumor.VWindow";
}  // namespace

// The object can go before its window only by mistake; the window then gets its own procedure back rather
// than one that leads to a deleted object.
VWindow::~VWindow() { Release(); }

BOOL VWindow::SubclassWindow(HWND hWnd) {
    if (m_hWnd || !hWnd) return FALSE;
    if (!::SetPropW(hWnd, kObjectProperty, this)) return FALSE;
    auto previous = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GetWindowProc())));
    if (!previous) {
        ::RemovePropW(hWnd, kObjectProperty);
        return FALSE;
    }
    m_pfnSuperWindowProc = previous;
    m_hWnd = hWnd;
    return TRUE;
}

LRESULT VWindow::CallSuper(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    return ::CallWindowProcW(m_pfnSuperWindowProc, m_hWnd, uMsg, wParam, lParam);
}

void VWindow::Release() {
    if (!m_hWnd) return;
    if (reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(m_hWnd, GWLP_WNDPROC)) == GetWindowProc()) {
        ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuperWindowProc));
    }
    ::RemovePropW(m_hWnd, kObjectProperty);
    m_hWnd = nullptr;
}

LRESULT CALLBACK VWindow::WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<VWindow*>(::GetPropW(hWnd, kObjectProperty));
    if (!self) return ::DefWindowProcW(hWnd, uMsg, wParam, lParam);
    LRESULT result = 0;
    WNDPROC super = self->m_pfnSuperWindowProc;
    if (!self->ProcessWindowMessage(hWnd, uMsg, wParam, lParam, result, 0)) {
        result = ::CallWindowProcW(super, hWnd, uMsg, wParam, lParam);
    }
    if (uMsg == WM_NCDESTROY) {
        self->Release();
        self->OnFinalMessage(hWnd);
    }
    return result;
}

BOOL VWindow::CenterWindow(HWND hWndCenter) {
    if (!m_hWnd || !hWndCenter) return FALSE;
    RECT area;
    RECT page;
    if (!::GetClientRect(hWndCenter, &area) || !::GetWindowRect(m_hWnd, &page)) return FALSE;
    ::MapWindowPoints(HWND_DESKTOP, hWndCenter, reinterpret_cast<POINT*>(&page), 2);
    int width = page.right - page.left;
    int height = page.bottom - page.top;
    int left = (area.left + area.right) / 2 - width / 2;
    int top = (area.top + area.bottom) / 2 - height / 2;
    if (left + width > area.right) left = area.right - width;
    if (left < area.left) left = area.left;
    if (top + height > area.bottom) top = area.bottom - height;
    if (top < area.top) top = area.top;
    return ::SetWindowPos(m_hWnd, nullptr, left, top, -1, -1, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
