// Up-down controls: a position kept inside a range (UDM_SETRANGE32; 100 to 0 until set), a buddy window
// and a base. A click on an arrow of an enabled up-down first gives the focus to its buddy when that is
// an edit, as Windows' does, then asks the parent (WM_NOTIFY UDN_DELTAPOS
// with an NMUPDOWN holding the position and the step); a non-zero answer cancels the step, a zero answer
// lets it go: the step as the parent left it in iDelta is added to the position the control then has,
// wrapping under UDS_WRAP and stopping at the ends otherwise. The up arrow (right under UDS_HORZ) steps
// toward the range's upper end.
// Simplified: no WM_VSCROLL/WM_HSCROLL to the parent, no auto-repeat or acceleration, no keyboard; the
// control does not move itself beside its buddy (UDS_ALIGNLEFT/RIGHT); UDS_SETBUDDYINT writes the buddy's
// text but never reads it back.
#include <commctrl.h>

#include <cwchar>

#include "../user32/window.h"

namespace {

using winsim::user32::Peek;


struct UpDownState {
    int low = 100;
    int high = 0;
    int position = 0;
    int base = 10;
    HWND buddy = nullptr;
};

UpDownState* StateOf(HWND hwnd) { return winsim::user32::ControlState<UpDownState>(hwnd); }

int Smallest(const UpDownState& s) { return s.low < s.high ? s.low : s.high; }
int Largest(const UpDownState& s) { return s.low < s.high ? s.high : s.low; }

int Clamped(const UpDownState& s, long long value) {
    if (value < Smallest(s)) return Smallest(s);
    if (value > Largest(s)) return Largest(s);
    return static_cast<int>(value);
}

void ShowInBuddy(HWND hwnd, const UpDownState& s) {
    auto w = Peek(hwnd);
    if (!w || !(w->style & UDS_SETBUDDYINT) || !s.buddy) return;
    wchar_t text[16];
    if (s.base == 16) std::swprintf(text, 16, L"0x%04X", static_cast<unsigned>(s.position));
    else std::swprintf(text, 16, L"%d", s.position);
    SetWindowTextW(s.buddy, text);
}

bool IsEditBuddy(HWND buddy) {
    WCHAR name[16] = {};
    return buddy && GetClassNameW(buddy, name, 16) && std::wcscmp(name, L"Edit") == 0;
}

void Step(HWND hwnd, bool towardUpper) {
    auto w = Peek(hwnd);
    UpDownState* s = StateOf(hwnd);
    if (!w || !s || !IsWindowEnabled(hwnd) || !(w->style & WS_CHILD)) return;
    int delta = (towardUpper == (s->high >= s->low)) ? 1 : -1;
    NMUPDOWN nm{};
    nm.hdr.hwndFrom = hwnd;
    nm.hdr.idFrom = w->id;
    nm.hdr.code = UDN_DELTAPOS;
    nm.iPos = s->position;
    nm.iDelta = delta;
    if (SendMessageW(w->parent, WM_NOTIFY, static_cast<WPARAM>(w->id), reinterpret_cast<LPARAM>(&nm))) return;
    if (StateOf(hwnd) != s) return;  // destroyed meanwhile
    long long wanted = static_cast<long long>(s->position) + nm.iDelta;
    if ((w->style & UDS_WRAP) && (wanted < Smallest(*s) || wanted > Largest(*s))) {
        s->position = wanted < Smallest(*s) ? Largest(*s) : Smallest(*s);
    } else {
        s->position = Clamped(*s, wanted);
    }
    ShowInBuddy(hwnd, *s);
}

LRESULT CALLBACK UpDownProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT lifetime = 0;
    if (winsim::user32::ControlStateLifetime<UpDownState>(hwnd, msg, wParam, lParam, &lifetime)) return lifetime;
    UpDownState* s = StateOf(hwnd);
    if (!s) return DefWindowProcW(hwnd, msg, wParam, lParam);
    switch (msg) {
    case UDM_SETRANGE32:
        s->low = static_cast<int>(wParam);
        s->high = static_cast<int>(lParam);
        return 0;
    case UDM_GETRANGE32:
        if (wParam) *reinterpret_cast<int*>(wParam) = s->low;
        if (lParam) *reinterpret_cast<int*>(lParam) = s->high;
        return 0;
    case UDM_SETPOS32: {
        int old = s->position;
        s->position = Clamped(*s, static_cast<int>(lParam));
        ShowInBuddy(hwnd, *s);
        return old;
    }
    case UDM_GETPOS32:
        if (lParam) *reinterpret_cast<BOOL*>(lParam) = FALSE;
        return s->position;
    case UDM_SETBUDDY: {
        HWND old = s->buddy;
        s->buddy = reinterpret_cast<HWND>(wParam);
        return reinterpret_cast<LRESULT>(old);
    }
    case UDM_GETBUDDY:
        return reinterpret_cast<LRESULT>(s->buddy);
    case UDM_SETBASE: {
        if (wParam != 10 && wParam != 16) return 0;
        int old = s->base;
        s->base = static_cast<int>(wParam);
        return old;
    }
    case UDM_GETBASE:
        return s->base;
    case WM_LBUTTONDOWN: {
        auto w = Peek(hwnd);
        if (!w) return 0;
        int x = static_cast<short>(LOWORD(lParam));
        int y = static_cast<short>(HIWORD(lParam));
        int width = w->rect.right - w->rect.left;
        int height = w->rect.bottom - w->rect.top;
        bool upper = (w->style & UDS_HORZ) ? x >= width / 2 : y < height / 2;
        if (IsWindowEnabled(hwnd) && IsEditBuddy(s->buddy)) SetFocus(s->buddy);
        Step(hwnd, upper);
        return 0;
    }
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

}  // namespace

const winsim::user32::SystemClass winsim::user32::kUpDownClass = {UPDOWN_CLASSW, 0, UpDownProc, sizeof(LONG_PTR)};
