// Buttons: push buttons, check boxes, radio buttons and group boxes. A click (BM_CLICK, or the mouse
// messages it stands for) on an enabled button takes the focus, moves an automatic box or radio button's
// check (an automatic radio button clears the other radio buttons of its group, the siblings between two
// WS_GROUP controls) and tells the parent BN_CLICKED. Simplified: BS_NOTIFY's notifications are not sent.
#include <vector>

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

LONG Type(HWND hwnd) {
    auto w = Peek(hwnd);
    return w ? static_cast<LONG>(w->style & BS_TYPEMASK) : -1;
}

bool IsGroupBox(HWND hwnd) { return Type(hwnd) == BS_GROUPBOX; }

bool IsRadio(HWND hwnd) { return Type(hwnd) == BS_RADIOBUTTON || Type(hwnd) == BS_AUTORADIOBUTTON; }

bool Checkable(HWND hwnd) {
    LONG type = Type(hwnd);
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE ||
           type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

constexpr LONG_PTR kCheckBits = BST_CHECKED | BST_INDETERMINATE;

void SetCheck(HWND hwnd, WPARAM check) {
    LONG type = Type(hwnd);
    if (!Checkable(hwnd)) return;
    LONG_PTR bits = static_cast<LONG_PTR>(check) & kCheckBits;
    // Only three-state boxes take the indeterminate state; the others take it as checked.
    if (bits == BST_INDETERMINATE && type != BS_3STATE && type != BS_AUTO3STATE) bits = BST_CHECKED;
    if (bits == kCheckBits) bits = BST_CHECKED;
    SetState(hwnd, (State(hwnd) & ~kCheckBits) | bits);
}

// The siblings of the radio button's group: back to the nearest WS_GROUP control, forward up to the next.
void ClearGroup(HWND hwnd) {
    auto w = Peek(hwnd);
    if (!w || !(w->style & WS_CHILD)) return;
    auto parent = Peek(w->parent);
    if (!parent) return;
    const std::vector<HWND> siblings = parent->children;
    size_t at = 0;
    while (at < siblings.size() && siblings[at] != hwnd) ++at;
    if (at == siblings.size()) return;
    size_t first = at;
    while (first > 0) {
        auto s = Peek(siblings[first]);
        if (s && (s->style & WS_GROUP)) break;
        --first;
    }
    for (size_t i = first; i < siblings.size(); ++i) {
        auto s = Peek(siblings[i]);
        if (!s) continue;
        if (i > at && (s->style & WS_GROUP)) break;
        if (siblings[i] != hwnd && IsRadio(siblings[i])) SendMessageW(siblings[i], BM_SETCHECK, BST_UNCHECKED, 0);
    }
}

// What a click does to an automatic button's check before the parent hears of it.
void Toggle(HWND hwnd) {
    LONG_PTR check = State(hwnd) & kCheckBits;
    switch (Type(hwnd)) {
    case BS_AUTOCHECKBOX:
        SendMessageW(hwnd, BM_SETCHECK, check ? BST_UNCHECKED : BST_CHECKED, 0);
        break;
    case BS_AUTO3STATE:
        SendMessageW(hwnd, BM_SETCHECK,
                     check == BST_UNCHECKED ? BST_CHECKED : check == BST_CHECKED ? BST_INDETERMINATE : BST_UNCHECKED, 0);
        break;
    case BS_AUTORADIOBUTTON:
        SendMessageW(hwnd, BM_SETCHECK, BST_CHECKED, 0);
        ClearGroup(hwnd);
        break;
    default:
        break;
    }
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
        Toggle(hwnd);
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
    case BM_GETCHECK:
        return Checkable(hwnd) ? (State(hwnd) & kCheckBits) : 0;
    case BM_SETCHECK:
        SetCheck(hwnd, wParam);
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

}  // namespace

const winsim::user32::SystemClass winsim::user32::kButtonClass = {L"Button", 0, ButtonProc, sizeof(LONG_PTR)};
