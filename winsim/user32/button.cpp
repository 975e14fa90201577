// Buttons: push buttons and group boxes. A click (BM_CLICK, or the mouse messages it stands for) on an
// enabled push button takes the focus and tells the parent BN_CLICKED. Simplified: check boxes and radio
// buttons click like push buttons and keep no check state; BS_NOTIFY's notifications are not sent.
#include "window.h"

namespace {

using winsim::user32::Peek;

constexpr int kStateIndex = 0;  // BST_* bits, in the window's extra bytes

LONG_PTR State(HWND hwnd) {
    auto w = Peek(hwnd);
    LONG_PTR state = 0;
    if (w) winsim::user32::ReadExtra(*w, kStateIndex, &state);
    return state;
}

void SetState(HWND hwnd, LONG_PTR state) {
    if (auto w = Peek(hwnd)) winsim::user32::WriteExtra(*w, kStateIndex, state);
}

bool IsGroupBox(HWND hwnd) {
    auto w = Peek(hwnd);
    return w && (w->style & BS_TYPEMASK) == BS_GROUPBOX;
}

LRESULT CALLBACK ButtonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case BM_CLICK:
        if (!IsWindowEnabled(hwnd) || IsGroupBox(hwnd)) return 0;
        SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, 0);
        SendMessageW(hwnd, WM_LBUTTONUP, 0, 0);
        return 0;
    case WM_LBUTTONDOWN:
        if (IsGroupBox(hwnd)) return 0;
        SetFocus(hwnd);
        SetState(hwnd, State(hwnd) | BST_PUSHED);
        return 0;
    case WM_LBUTTONUP:
        if (!(State(hwnd) & BST_PUSHED)) return 0;
        SetState(hwnd, State(hwnd) & ~static_cast<LONG_PTR>(BST_PUSHED));
        winsim::user32::NotifyParent(hwnd, BN_CLICKED);
        return 0;
    case WM_SETFOCUS:
        SetState(hwnd, State(hwnd) | BST_FOCUS);
        return 0;
    case WM_KILLFOCUS:
        SetState(hwnd, State(hwnd) & ~static_cast<LONG_PTR>(BST_FOCUS));
        return 0;
    case BM_GETSTATE:
        return State(hwnd);
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

}  // namespace

const winsim::user32::SystemClass winsim::user32::kButtonClass = {L"Button", 0, ButtonProc, sizeof(LONG_PTR)};
