// Windows: handles, creation and destruction, window procedures and subclassing, messages, text, state,
// focus, properties and geometry. Headless: nothing is drawn and no input arrives but what a test sends.
// Simplified: one user-interface thread; messages are sent, never posted; a window has no non-client
// area (its client area is the whole window).
#include <cstring>
#include <cwctype>
#include <map>
#include <mutex>

#include "window.h"

namespace winsim {
namespace user32 {
namespace {

struct Table {
    std::mutex mutex;
    std::map<HWND, std::shared_ptr<Window>> windows;
    uintptr_t next = 0x10020;
    HWND focus = nullptr;
};

Table& Windows() {
    static auto* table = new Table;
    return *table;
}

bool IsChild(const Window& w) { return (w.style & WS_CHILD) != 0; }

// Screen position of a window's client origin.
POINT ClientOrigin(HWND hwnd) {
    POINT origin{0, 0};
    for (auto w = Peek(hwnd); w; w = IsChild(*w) ? Peek(w->parent) : nullptr) {
        origin.x += w->rect.left;
        origin.y += w->rect.top;
    }
    return origin;
}

bool SameProp(const std::wstring& a, LPCWSTR b) {
    std::wstring key = IS_INTRESOURCE(b) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(b)) : std::wstring(b);
    if (a.size() != key.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(key[i]))) return false;
    }
    return true;
}

// Whether maybeInside is hwnd or one of its descendants.
bool Within(HWND maybeInside, HWND hwnd) {
    for (auto w = Peek(maybeInside); w; w = IsChild(*w) ? Peek(w->parent) : nullptr) {
        if (w->handle == hwnd) return true;
    }
    return false;
}

void Forget(const std::shared_ptr<Window>& w) {
    if (auto parent = Peek(w->parent)) {
        auto& siblings = parent->children;
        for (auto it = siblings.begin(); it != siblings.end(); ++it) {
            if (*it == w->handle) {
                siblings.erase(it);
                break;
            }
        }
    }
    Table& t = Windows();
    std::lock_guard<std::mutex> lock(t.mutex);
    t.windows.erase(w->handle);
    if (t.focus == w->handle) t.focus = nullptr;
}

// WM_DESTROY goes to a window before its children, WM_NCDESTROY after theirs.
void DestroyTree(const std::shared_ptr<Window>& w) {
    SendMessageW(w->handle, WM_DESTROY, 0, 0);
    std::vector<HWND> children = w->children;
    for (HWND child : children) {
        if (auto c = Peek(child)) {
            c->destroying = true;
            DestroyTree(c);
        }
    }
    SendMessageW(w->handle, WM_NCDESTROY, 0, 0);
    Forget(w);
}

void MarkDestroying(const std::shared_ptr<Window>& w) {
    w->destroying = true;
    for (HWND child : w->children) {
        if (auto c = Peek(child)) MarkDestroying(c);
    }
}

}  // namespace

std::shared_ptr<Window> Peek(HWND hwnd) {
    Table& t = Windows();
    std::lock_guard<std::mutex> lock(t.mutex);
    auto it = t.windows.find(hwnd);
    return it == t.windows.end() ? nullptr : it->second;
}

std::shared_ptr<Window> Find(HWND hwnd) {
    auto w = Peek(hwnd);
    if (!w) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return w;
}

bool ReadExtra(const Window& w, int index, LONG_PTR* value) {
    if (index < 0 || static_cast<size_t>(index) + sizeof(LONG_PTR) > w.extra.size()) return false;
    std::memcpy(value, w.extra.data() + index, sizeof(LONG_PTR));
    return true;
}

bool WriteExtra(Window& w, int index, LONG_PTR value) {
    if (index < 0 || static_cast<size_t>(index) + sizeof(LONG_PTR) > w.extra.size()) return false;
    std::memcpy(w.extra.data() + index, &value, sizeof(LONG_PTR));
    return true;
}

void NotifyParent(HWND control, WORD code) {
    auto w = Peek(control);
    if (!w || !IsChild(*w)) return;
    SendMessageW(w->parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(w->id), code), reinterpret_cast<LPARAM>(control));
}

}  // namespace user32
}  // namespace winsim

using winsim::user32::Find;
using winsim::user32::Peek;
using winsim::user32::Window;

// Simplified: CW_USEDEFAULT places and sizes at 0; no WM_GETMINMAXINFO, WM_NCCALCSIZE, WM_SIZE, WM_MOVE
// or WM_PARENTNOTIFY; the menu of a top-level window is not kept.
extern "C" HWND WINAPI CreateWindowExW(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName, DWORD dwStyle,
                                       int X, int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                                       HINSTANCE hInstance, LPVOID lpParam) {
    auto cls = winsim::user32::FindClass(lpClassName);
    if (!cls) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    if ((dwStyle & WS_CHILD) && !hWndParent) {
        SetLastError(ERROR_TLW_WITH_WSCHILD);
        return nullptr;
    }
    std::shared_ptr<Window> parent;
    if (hWndParent && !(parent = Find(hWndParent))) return nullptr;

    auto w = std::make_shared<Window>();
    w->cls = cls;
    w->proc = cls->proc;
    w->style = dwStyle;
    w->exStyle = dwExStyle;
    w->instance = hInstance;
    w->extra.assign(static_cast<size_t>(cls->windowExtra), 0);
    if (X == CW_USEDEFAULT) X = Y = 0;
    if (nWidth == CW_USEDEFAULT) nWidth = nHeight = 0;
    w->rect = RECT{X, Y, X + (nWidth > 0 ? nWidth : 0), Y + (nHeight > 0 ? nHeight : 0)};
    if (dwStyle & WS_CHILD) {
        w->parent = hWndParent;
        w->id = reinterpret_cast<UINT_PTR>(hMenu);
    } else {
        w->owner = hWndParent;
    }
    {
        auto& t = winsim::user32::Windows();
        std::lock_guard<std::mutex> lock(t.mutex);
        w->handle = reinterpret_cast<HWND>(t.next);
        t.next += 4;
        t.windows[w->handle] = w;
    }
    if (parent && (dwStyle & WS_CHILD)) parent->children.push_back(w->handle);

    CREATESTRUCTW cs{lpParam, hInstance, hMenu, hWndParent, nHeight, nWidth, Y, X,
                     static_cast<LONG>(dwStyle), lpWindowName, lpClassName, dwExStyle};
    if (!SendMessageW(w->handle, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
        if (Peek(w->handle)) DestroyWindow(w->handle);
        return nullptr;
    }
    if (SendMessageW(w->handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        if (Peek(w->handle)) DestroyWindow(w->handle);
        return nullptr;
    }
    return Peek(w->handle) ? w->handle : nullptr;
}

// Simplified: owned windows are not destroyed with their owner.
extern "C" BOOL WINAPI DestroyWindow(HWND hWnd) {
    auto w = Find(hWnd);
    if (!w) return FALSE;
    if (w->destroying) return FALSE;  // already on its way
    HWND focus = GetFocus();
    if (focus && winsim::user32::Within(focus, hWnd)) SetFocus(nullptr);
    winsim::user32::MarkDestroying(w);
    winsim::user32::DestroyTree(w);
    return TRUE;
}

extern "C" BOOL WINAPI IsWindow(HWND hWnd) { return Peek(hWnd) ? TRUE : FALSE; }

extern "C" LRESULT WINAPI DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    auto w = Peek(hWnd);
    if (!w) return 0;
    switch (Msg) {
    case WM_NCCREATE: {
        auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        if (cs && cs->lpszName && !IS_INTRESOURCE(cs->lpszName)) w->text = cs->lpszName;
        return TRUE;
    }
    case WM_SETTEXT:
        w->text = lParam ? reinterpret_cast<LPCWSTR>(lParam) : L"";
        return TRUE;
    case WM_GETTEXT: {
        auto* buffer = reinterpret_cast<LPWSTR>(lParam);
        if (!buffer || wParam == 0) return 0;
        size_t n = w->text.size() < wParam ? w->text.size() : wParam - 1;
        w->text.copy(buffer, n);
        buffer[n] = 0;
        return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(w->text.size());
    case WM_CLOSE:
        DestroyWindow(hWnd);
        return 0;
    default:
        return 0;
    }
}

extern "C" LRESULT WINAPI CallWindowProcW(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    return lpPrevWndFunc ? lpPrevWndFunc(hWnd, Msg, wParam, lParam) : 0;
}

// The window stays alive until its procedure returns, even when the procedure destroys it.
extern "C" LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    auto w = Find(hWnd);
    if (!w) return 0;
    return w->proc ? w->proc(hWnd, Msg, wParam, lParam) : 0;
}

extern "C" LONG_PTR WINAPI GetWindowLongPtrW(HWND hWnd, int nIndex) {
    auto w = Find(hWnd);
    if (!w) return 0;
    switch (nIndex) {
    case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE: return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT: return reinterpret_cast<LONG_PTR>(w->parent ? w->parent : w->owner);
    case GWLP_ID: return static_cast<LONG_PTR>(w->id);
    case GWL_STYLE: return static_cast<LONG_PTR>(static_cast<LONG>(w->style));
    case GWL_EXSTYLE: return static_cast<LONG_PTR>(static_cast<LONG>(w->exStyle));
    case GWLP_USERDATA: return w->userData;
    default: {
        LONG_PTR value = 0;
        if (!winsim::user32::ReadExtra(*w, nIndex, &value)) SetLastError(ERROR_INVALID_INDEX);
        return value;
    }
    }
}

// A success leaves the last error alone, so a caller tells a previous value of 0 from a failure by
// clearing it first. Simplified: GWLP_HWNDPARENT changes only the owner of a top-level window.
extern "C" LONG_PTR WINAPI SetWindowLongPtrW(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
    auto w = Find(hWnd);
    if (!w) return 0;
    LONG_PTR old = 0;
    switch (nIndex) {
    case GWLP_WNDPROC:
        if (!dwNewLong) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        old = reinterpret_cast<LONG_PTR>(w->proc);
        w->proc = reinterpret_cast<WNDPROC>(dwNewLong);
        return old;
    case GWLP_HINSTANCE:
        old = reinterpret_cast<LONG_PTR>(w->instance);
        w->instance = reinterpret_cast<HINSTANCE>(dwNewLong);
        return old;
    case GWLP_HWNDPARENT:
        old = reinterpret_cast<LONG_PTR>(w->parent ? w->parent : w->owner);
        if (!w->parent) w->owner = reinterpret_cast<HWND>(dwNewLong);
        return old;
    case GWLP_ID:
        old = static_cast<LONG_PTR>(w->id);
        w->id = static_cast<UINT_PTR>(dwNewLong);
        return old;
    case GWL_STYLE:
        old = static_cast<LONG>(w->style);
        w->style = static_cast<DWORD>(dwNewLong);
        return old;
    case GWL_EXSTYLE:
        old = static_cast<LONG>(w->exStyle);
        w->exStyle = static_cast<DWORD>(dwNewLong);
        return old;
    case GWLP_USERDATA:
        old = w->userData;
        w->userData = dwNewLong;
        return old;
    default:
        if (!winsim::user32::ReadExtra(*w, nIndex, &old)) {
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
        }
        winsim::user32::WriteExtra(*w, nIndex, dwNewLong);
        return old;
    }
}

extern "C" HWND WINAPI GetParent(HWND hWnd) {
    auto w = Find(hWnd);
    if (!w) return nullptr;
    return (w->style & WS_CHILD) ? w->parent : w->owner;
}

extern "C" HWND WINAPI GetWindow(HWND hWnd, UINT uCmd) {
    auto w = Find(hWnd);
    if (!w) return nullptr;
    if (uCmd == GW_CHILD) return w->children.empty() ? nullptr : w->children.front();
    if (uCmd == GW_OWNER) return w->owner;
    auto parent = Peek(w->parent);
    if (!parent || !(w->style & WS_CHILD)) return nullptr;  // Simplified: top-level windows have no siblings
    const auto& siblings = parent->children;
    size_t at = 0;
    while (at < siblings.size() && siblings[at] != hWnd) ++at;
    switch (uCmd) {
    case GW_HWNDFIRST: return siblings.front();
    case GW_HWNDLAST: return siblings.back();
    case GW_HWNDNEXT: return at + 1 < siblings.size() ? siblings[at + 1] : nullptr;
    case GW_HWNDPREV: return at > 0 ? siblings[at - 1] : nullptr;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
}

extern "C" HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) {
    auto w = Find(hDlg);
    if (!w) return nullptr;
    for (HWND child : w->children) {
        auto c = Peek(child);
        if (c && static_cast<int>(c->id) == nIDDlgItem) return child;
    }
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
}

extern "C" int WINAPI GetDlgCtrlID(HWND hWnd) {
    auto w = Find(hWnd);
    return w && (w->style & WS_CHILD) ? static_cast<int>(w->id) : 0;
}

extern "C" int WINAPI GetWindowTextW(HWND hWnd, LPWSTR lpString, int nMaxCount) {
    if (lpString && nMaxCount > 0) lpString[0] = 0;
    if (!Find(hWnd) || !lpString || nMaxCount <= 0) return 0;
    return static_cast<int>(SendMessageW(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount),
                                         reinterpret_cast<LPARAM>(lpString)));
}

extern "C" int WINAPI GetWindowTextLengthW(HWND hWnd) {
    if (!Find(hWnd)) return 0;
    return static_cast<int>(SendMessageW(hWnd, WM_GETTEXTLENGTH, 0, 0));
}

extern "C" BOOL WINAPI SetWindowTextW(HWND hWnd, LPCWSTR lpString) {
    if (!Find(hWnd)) return FALSE;
    return SendMessageW(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) ? TRUE : FALSE;
}

// Answers whether the window was disabled before. Simplified: no WM_CANCELMODE.
extern "C" BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable) {
    auto w = Find(hWnd);
    if (!w) return FALSE;
    BOOL wasDisabled = (w->style & WS_DISABLED) ? TRUE : FALSE;
    if (bEnable) w->style &= ~static_cast<DWORD>(WS_DISABLED);
    else w->style |= WS_DISABLED;
    if (wasDisabled == (bEnable ? TRUE : FALSE)) SendMessageW(hWnd, WM_ENABLE, bEnable ? TRUE : FALSE, 0);
    return wasDisabled;
}

extern "C" BOOL WINAPI IsWindowEnabled(HWND hWnd) {
    auto w = Find(hWnd);
    return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

// Answers whether the window was visible before. Simplified: every show command shows (no minimised or
// maximised state), and hiding a window does not move the focus.
extern "C" BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
    auto w = Find(hWnd);
    if (!w) return FALSE;
    BOOL wasVisible = (w->style & WS_VISIBLE) ? TRUE : FALSE;
    BOOL show = nCmdShow != SW_HIDE;
    if (wasVisible == show) return wasVisible;
    SendMessageW(hWnd, WM_SHOWWINDOW, show, 0);
    if (show) w->style |= WS_VISIBLE;
    else w->style &= ~static_cast<DWORD>(WS_VISIBLE);
    return wasVisible;
}

// Visible: the window and every ancestor have WS_VISIBLE.
extern "C" BOOL WINAPI IsWindowVisible(HWND hWnd) {
    for (auto w = Peek(hWnd); w; w = (w->style & WS_CHILD) ? Peek(w->parent) : nullptr) {
        if (!(w->style & WS_VISIBLE)) return FALSE;
    }
    return Peek(hWnd) ? TRUE : FALSE;
}

// WM_KILLFOCUS goes to the window that loses the focus (wParam: the one that gets it), then WM_SETFOCUS
// to the new one (wParam: the old one). Simplified: no window activation.
extern "C" HWND WINAPI SetFocus(HWND hWnd) {
    if (hWnd && !Find(hWnd)) return nullptr;
    auto& t = winsim::user32::Windows();
    HWND old;
    {
        std::lock_guard<std::mutex> lock(t.mutex);
        old = t.focus;
        if (old == hWnd) return old;
        t.focus = hWnd;
    }
    if (old && Peek(old)) SendMessageW(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hWnd), 0);
    if (hWnd && Peek(hWnd)) SendMessageW(hWnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    return old;
}

extern "C" HWND WINAPI GetFocus(void) {
    auto& t = winsim::user32::Windows();
    std::lock_guard<std::mutex> lock(t.mutex);
    return t.focus;
}

// Simplified: no z-order and no WM_WINDOWPOSCHANGING/CHANGED, WM_MOVE or WM_SIZE.
extern "C" BOOL WINAPI SetWindowPos(HWND hWnd, HWND, int X, int Y, int cx, int cy, UINT uFlags) {
    auto w = Find(hWnd);
    if (!w) return FALSE;
    LONG width = w->rect.right - w->rect.left;
    LONG height = w->rect.bottom - w->rect.top;
    if (!(uFlags & SWP_NOSIZE)) {
        width = cx > 0 ? cx : 0;
        height = cy > 0 ? cy : 0;
    }
    if (!(uFlags & SWP_NOMOVE)) {
        w->rect.left = X;
        w->rect.top = Y;
    }
    w->rect.right = w->rect.left + width;
    w->rect.bottom = w->rect.top + height;
    if (uFlags & SWP_SHOWWINDOW) w->style |= WS_VISIBLE;
    if (uFlags & SWP_HIDEWINDOW) w->style &= ~static_cast<DWORD>(WS_VISIBLE);
    return TRUE;
}

extern "C" BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) {
    auto w = Find(hWnd);
    if (!w || !lpRect) return FALSE;
    POINT origin = winsim::user32::ClientOrigin(hWnd);
    *lpRect = RECT{origin.x, origin.y, origin.x + (w->rect.right - w->rect.left),
                   origin.y + (w->rect.bottom - w->rect.top)};
    return TRUE;
}

extern "C" BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
    auto w = Find(hWnd);
    if (!w || !lpRect) return FALSE;
    *lpRect = RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
    return TRUE;
}

// Points in the client coordinates of one window (null: the screen) to those of another; the answer
// carries the horizontal shift in its low word and the vertical one in its high word.
extern "C" int WINAPI MapWindowPoints(HWND hWndFrom, HWND hWndTo, LPPOINT lpPoints, UINT cPoints) {
    if ((hWndFrom && !Find(hWndFrom)) || (hWndTo && !Find(hWndTo))) return 0;
    POINT from = hWndFrom ? winsim::user32::ClientOrigin(hWndFrom) : POINT{0, 0};
    POINT to = hWndTo ? winsim::user32::ClientOrigin(hWndTo) : POINT{0, 0};
    LONG dx = from.x - to.x;
    LONG dy = from.y - to.y;
    for (UINT i = 0; lpPoints && i < cPoints; ++i) {
        lpPoints[i].x += dx;
        lpPoints[i].y += dy;
    }
    return MAKELONG(static_cast<WORD>(dx), static_cast<WORD>(dy));
}

extern "C" BOOL WINAPI SetPropW(HWND hWnd, LPCWSTR lpString, HANDLE hData) {
    auto w = Find(hWnd);
    if (!w) return FALSE;
    if (!lpString) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    for (auto& p : w->props) {
        if (winsim::user32::SameProp(p.first, lpString)) {
            p.second = hData;
            return TRUE;
        }
    }
    std::wstring key = IS_INTRESOURCE(lpString) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(lpString))
                                                : std::wstring(lpString);
    w->props.emplace_back(key, hData);
    return TRUE;
}

extern "C" HANDLE WINAPI GetPropW(HWND hWnd, LPCWSTR lpString) {
    auto w = Peek(hWnd);
    if (!w || !lpString) return nullptr;
    for (const auto& p : w->props) {
        if (winsim::user32::SameProp(p.first, lpString)) return p.second;
    }
    return nullptr;
}

extern "C" HANDLE WINAPI RemovePropW(HWND hWnd, LPCWSTR lpString) {
    auto w = Peek(hWnd);
    if (!w || !lpString) return nullptr;
    for (auto it = w->props.begin(); it != w->props.end(); ++it) {
        if (winsim::user32::SameProp(it->first, lpString)) {
            HANDLE data = it->second;
            w->props.erase(it);
            return data;
        }
    }
    return nullptr;
}
