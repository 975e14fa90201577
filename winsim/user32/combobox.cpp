// Combo boxes: a list of strings with one current selection, whose text the selection field shows. The
// program fills and reads the list (CB_ADDSTRING, sorted under CBS_SORT; CB_INSERTSTRING, at the place it
// names; CB_SETCURSEL, CB_GETCURSEL, ...) without a word to the parent; only the user's pick in the
// dropped-down list tells the parent CBN_SELCHANGE, then CBN_SELENDOK and CBN_CLOSEUP.
// Simplified: the drop-down list lies below the selection field inside the combo's own window (field
// kFieldHeight pixels, items kItemHeight pixels each), and only the mouse picks from it; the field's text
// is not edited by the user; no owner-draw, no CBN_EDITCHANGE or CBN_SELENDCANCEL.
#include <cwctype>
#include <string>
#include <vector>

#include "window.h"

namespace {

using winsim::user32::Peek;

constexpr int kFieldHeight = 22;
constexpr int kItemHeight = winsim::user32::kBaseUnitY;

struct ComboState {
    std::vector<std::wstring> items;
    int selection = CB_ERR;
    bool dropped = false;
    int pressed = CB_ERR;  // the list item the mouse went down on
};

ComboState* StateOf(HWND hwnd) { return winsim::user32::ControlState<ComboState>(hwnd); }

int Count(const ComboState& s) { return static_cast<int>(s.items.size()); }

bool LessIgnoringCase(const std::wstring& a, const std::wstring& b) {
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        wint_t x = std::towlower(static_cast<wint_t>(a[i]));
        wint_t y = std::towlower(static_cast<wint_t>(b[i]));
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

void ShowSelection(HWND hwnd, const ComboState& s) {
    auto w = Peek(hwnd);
    if (!w) return;
    w->text = s.selection >= 0 ? s.items[static_cast<size_t>(s.selection)] : std::wstring();
}

LRESULT Insert(HWND hwnd, ComboState& s, int at, LPCWSTR text) {
    s.items.insert(s.items.begin() + at, text ? std::wstring(text) : std::wstring());
    // The selection stays on its item.
    if (s.selection >= at) ++s.selection;
    ShowSelection(hwnd, s);
    return at;
}

void Drop(HWND hwnd, ComboState& s, bool dropped) {
    if (s.dropped == dropped) return;
    s.dropped = dropped;
    winsim::user32::NotifyParent(hwnd, dropped ? CBN_DROPDOWN : CBN_CLOSEUP);
}

// The list item under a point of the combo's client area while the list is down; CB_ERR when none.
int ItemAt(const ComboState& s, LPARAM point) {
    int y = static_cast<short>(HIWORD(point));
    if (!s.dropped || y < kFieldHeight) return CB_ERR;
    int index = (y - kFieldHeight) / kItemHeight;
    return index < Count(s) ? index : CB_ERR;
}

LRESULT CALLBACK ComboProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT lifetime = 0;
    if (winsim::user32::ControlStateLifetime<ComboState>(hwnd, msg, wParam, lParam, &lifetime)) return lifetime;
    ComboState* s = StateOf(hwnd);
    if (!s) return DefWindowProcW(hwnd, msg, wParam, lParam);
    switch (msg) {
    case CB_ADDSTRING: {
        auto w = Peek(hwnd);
        int at = Count(*s);
        if (w && (w->style & CBS_SORT)) {
            std::wstring text = lParam ? reinterpret_cast<LPCWSTR>(lParam) : L"";
            at = 0;
            while (at < Count(*s) && !LessIgnoringCase(text, s->items[static_cast<size_t>(at)])) ++at;
        }
        return Insert(hwnd, *s, at, reinterpret_cast<LPCWSTR>(lParam));
    }
    case CB_INSERTSTRING: {
        int at = static_cast<int>(wParam);
        if (at == -1) at = Count(*s);
        if (at < 0 || at > Count(*s)) return CB_ERR;
        return Insert(hwnd, *s, at, reinterpret_cast<LPCWSTR>(lParam));
    }
    case CB_RESETCONTENT:
        s->items.clear();
        s->selection = CB_ERR;
        ShowSelection(hwnd, *s);
        return TRUE;
    case CB_GETCOUNT:
        return Count(*s);
    case CB_SETCURSEL: {
        int index = static_cast<int>(wParam);
        s->selection = index >= 0 && index < Count(*s) ? index : CB_ERR;
        ShowSelection(hwnd, *s);
        return s->selection;
    }
    case CB_GETCURSEL:
        return s->selection;
    case CB_GETLBTEXTLEN: {
        int index = static_cast<int>(wParam);
        if (index < 0 || index >= Count(*s)) return CB_ERR;
        return static_cast<LRESULT>(s->items[static_cast<size_t>(index)].size());
    }
    case CB_GETLBTEXT: {
        int index = static_cast<int>(wParam);
        auto* buffer = reinterpret_cast<LPWSTR>(lParam);
        if (index < 0 || index >= Count(*s) || !buffer) return CB_ERR;
        const std::wstring& item = s->items[static_cast<size_t>(index)];
        item.copy(buffer, item.size());
        buffer[item.size()] = 0;
        return static_cast<LRESULT>(item.size());
    }
    case CB_SHOWDROPDOWN:
        Drop(hwnd, *s, wParam != 0);
        return TRUE;
    case CB_GETDROPPEDSTATE:
        return s->dropped ? TRUE : FALSE;
    case CB_GETITEMHEIGHT:
        return static_cast<int>(wParam) == -1 ? kFieldHeight : kItemHeight;
    case WM_LBUTTONDOWN:
        if (!IsWindowEnabled(hwnd)) return 0;
        SetFocus(hwnd);
        s->pressed = ItemAt(*s, lParam);
        if (s->pressed == CB_ERR) Drop(hwnd, *s, !s->dropped);
        return 0;
    case WM_LBUTTONUP: {
        int index = ItemAt(*s, lParam);
        bool picked = index != CB_ERR && index == s->pressed;
        s->pressed = CB_ERR;
        if (!picked) return 0;
        s->selection = index;
        ShowSelection(hwnd, *s);
        // The parent may destroy the combo while it hears of the pick.
        winsim::user32::NotifyParent(hwnd, CBN_SELCHANGE);
        if (StateOf(hwnd) != s) return 0;
        winsim::user32::NotifyParent(hwnd, CBN_SELENDOK);
        if (StateOf(hwnd) == s) Drop(hwnd, *s, false);
        return 0;
    }
    case WM_KILLFOCUS:
        Drop(hwnd, *s, false);
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

}  // namespace

const winsim::user32::SystemClass winsim::user32::kComboBoxClass = {L"ComboBox", 0, ComboProc, sizeof(LONG_PTR)};
