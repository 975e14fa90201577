// List view controls in report view: columns, items with one text each, and the item states a user's
// selection changes. Every state change is announced to the parent as LVN_ITEMCHANGING (a non-zero
// answer keeps the old state) and LVN_ITEMCHANGED with an NMLISTVIEW, as comctl32 does.
// Simplified: no drawing, images, subitem texts, sorting styles or label editing; every view style behaves
// as report view; LVM_GETNEXTITEM knows LVNI_ALL, LVNI_FOCUSED and LVNI_SELECTED only.
#include <commctrl.h>

#include <string>
#include <vector>

#include "../user32/window.h"

namespace {

using winsim::user32::Peek;

struct Column {
    int fmt = LVCFMT_LEFT;
    int cx = 0;
    std::wstring text;
};

struct Item {
    std::wstring text;
    UINT state = 0;
    LPARAM lParam = 0;
};

struct ListState {
    std::vector<Column> columns;
    std::vector<Item> items;
};

constexpr UINT kStateBits = LVIS_FOCUSED | LVIS_SELECTED;

ListState* State(HWND hwnd) { return winsim::user32::ControlState<ListState>(hwnd); }

bool Has(HWND hwnd, DWORD style) { return (GetWindowLongPtrW(hwnd, GWL_STYLE) & style) != 0; }

LRESULT Notify(HWND hwnd, NMLISTVIEW& nm, UINT code) {
    nm.hdr.hwndFrom = hwnd;
    nm.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(hwnd));
    nm.hdr.code = code;
    HWND parent = GetParent(hwnd);
    return parent ? SendMessageW(parent, WM_NOTIFY, nm.hdr.idFrom, reinterpret_cast<LPARAM>(&nm)) : 0;
}

// The parent hears of the change before and after; a refusal leaves the item as it was.
bool ChangeState(HWND hwnd, int index, UINT state, UINT mask) {
    ListState* s = State(hwnd);
    if (!s || index < 0 || static_cast<size_t>(index) >= s->items.size()) return false;
    UINT oldState = s->items[static_cast<size_t>(index)].state;
    UINT newState = (oldState & ~mask) | (state & mask);
    if (newState == oldState) return true;
    NMLISTVIEW nm{};
    nm.iItem = index;
    nm.uChanged = LVIF_STATE;
    nm.uOldState = oldState;
    nm.uNewState = newState;
    nm.lParam = s->items[static_cast<size_t>(index)].lParam;
    if (Notify(hwnd, nm, LVN_ITEMCHANGING)) return false;
    s = State(hwnd);  // the parent may have changed the list meanwhile
    if (!s || static_cast<size_t>(index) >= s->items.size()) return false;
    s->items[static_cast<size_t>(index)].state = newState;
    Notify(hwnd, nm, LVN_ITEMCHANGED);
    return true;
}

// One selected item in a single-selection list, and one focused item in any list: the others let go
// first.
BOOL SetItemState(HWND hwnd, int index, const LVITEMW& item) {
    ListState* s = State(hwnd);
    if (!s) return FALSE;
    UINT mask = item.stateMask & kStateBits;
    UINT state = item.state & mask;
    if (index == -1) {
        for (size_t i = 0; i < s->items.size(); ++i) {
            ChangeState(hwnd, static_cast<int>(i), state, mask);
            s = State(hwnd);
            if (!s) return FALSE;
        }
        return TRUE;
    }
    if (index < 0 || static_cast<size_t>(index) >= s->items.size()) return FALSE;
    UINT exclusive = (state & LVIS_FOCUSED) | (Has(hwnd, LVS_SINGLESEL) ? (state & LVIS_SELECTED) : 0);
    if (exclusive) {
        for (size_t i = 0; s && i < s->items.size(); ++i) {
            if (static_cast<int>(i) != index && (s->items[i].state & exclusive)) {
                ChangeState(hwnd, static_cast<int>(i), 0, exclusive);
                s = State(hwnd);
            }
        }
    }
    return ChangeState(hwnd, index, state, mask) ? TRUE : FALSE;
}

int CopyText(const std::wstring& text, LPWSTR buffer, int count) {
    if (!buffer || count <= 0) return 0;
    size_t n = text.size() < static_cast<size_t>(count) ? text.size() : static_cast<size_t>(count) - 1;
    text.copy(buffer, n);
    buffer[n] = 0;
    return static_cast<int>(n);
}

int InsertColumn(ListState& s, WPARAM at, const LVCOLUMNW* column) {
    if (!column) return -1;
    Column c;
    if (column->mask & LVCF_FMT) c.fmt = column->fmt;
    if (column->mask & LVCF_WIDTH) c.cx = column->cx;
    if ((column->mask & LVCF_TEXT) && column->pszText) c.text = column->pszText;
    size_t index = at < s.columns.size() ? at : s.columns.size();
    s.columns.insert(s.columns.begin() + static_cast<std::ptrdiff_t>(index), c);
    return static_cast<int>(index);
}

BOOL GetColumn(const ListState& s, WPARAM at, LVCOLUMNW* column) {
    if (!column || at >= s.columns.size()) return FALSE;
    const Column& c = s.columns[at];
    if (column->mask & LVCF_FMT) column->fmt = c.fmt;
    if (column->mask & LVCF_WIDTH) column->cx = c.cx;
    if (column->mask & LVCF_TEXT) CopyText(c.text, column->pszText, column->cchTextMax);
    if (column->mask & LVCF_SUBITEM) column->iSubItem = static_cast<int>(at);
    return TRUE;
}

// Items keep the order they were inserted in; an index past the end appends.
int InsertItem(ListState& s, const LVITEMW* item) {
    if (!item || item->iItem < 0 || item->iSubItem != 0) return -1;
    Item it;
    if ((item->mask & LVIF_TEXT) && item->pszText) it.text = item->pszText;
    if (item->mask & LVIF_STATE) it.state = item->state & item->stateMask & kStateBits;
    if (item->mask & LVIF_PARAM) it.lParam = item->lParam;
    size_t index = static_cast<size_t>(item->iItem) < s.items.size() ? static_cast<size_t>(item->iItem) : s.items.size();
    s.items.insert(s.items.begin() + static_cast<std::ptrdiff_t>(index), it);
    return static_cast<int>(index);
}

BOOL GetItem(const ListState& s, LVITEMW* item) {
    if (!item || item->iItem < 0 || static_cast<size_t>(item->iItem) >= s.items.size()) return FALSE;
    const Item& it = s.items[static_cast<size_t>(item->iItem)];
    if (item->mask & LVIF_TEXT) CopyText(item->iSubItem == 0 ? it.text : std::wstring(), item->pszText, item->cchTextMax);
    if (item->mask & LVIF_STATE) item->state = it.state & item->stateMask;
    if (item->mask & LVIF_PARAM) item->lParam = it.lParam;
    return TRUE;
}

// The search starts after `start` (-1: from the first item).
int NextItem(const ListState& s, int start, UINT flags) {
    UINT wanted = flags & (LVNI_FOCUSED | LVNI_SELECTED);
    for (size_t i = start < 0 ? 0 : static_cast<size_t>(start) + 1; i < s.items.size(); ++i) {
        if ((s.items[i].state & wanted) == wanted) return static_cast<int>(i);
    }
    return -1;
}

BOOL DeleteItem(HWND hwnd, WPARAM index) {
    ListState* s = State(hwnd);
    if (!s || index >= s->items.size()) return FALSE;
    NMLISTVIEW nm{};
    nm.iItem = static_cast<int>(index);
    nm.lParam = s->items[index].lParam;
    Notify(hwnd, nm, LVN_DELETEITEM);
    s = State(hwnd);
    if (!s || index >= s->items.size()) return FALSE;
    s->items.erase(s->items.begin() + static_cast<std::ptrdiff_t>(index));
    return TRUE;
}

LRESULT CALLBACK ListViewProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT lifetime = 0;
    if (winsim::user32::ControlStateLifetime<ListState>(hwnd, msg, wParam, lParam, &lifetime)) return lifetime;
    ListState* s = State(hwnd);
    if (!s) return DefWindowProcW(hwnd, msg, wParam, lParam);
    switch (msg) {
    case LVM_INSERTCOLUMNW: return InsertColumn(*s, wParam, reinterpret_cast<const LVCOLUMNW*>(lParam));
    case LVM_GETCOLUMNW: return GetColumn(*s, wParam, reinterpret_cast<LVCOLUMNW*>(lParam));
    case LVM_GETCOLUMNWIDTH: return wParam < s->columns.size() ? s->columns[wParam].cx : 0;
    case LVM_INSERTITEMW: return InsertItem(*s, reinterpret_cast<const LVITEMW*>(lParam));
    case LVM_GETITEMCOUNT: return static_cast<LRESULT>(s->items.size());
    case LVM_GETITEMW: return GetItem(*s, reinterpret_cast<LVITEMW*>(lParam));
    case LVM_GETITEMTEXTW: {
        auto* item = reinterpret_cast<LVITEMW*>(lParam);
        if (!item || wParam >= s->items.size()) return 0;
        return CopyText(item->iSubItem == 0 ? s->items[wParam].text : std::wstring(), item->pszText, item->cchTextMax);
    }
    case LVM_GETITEMSTATE: return wParam < s->items.size() ? (s->items[wParam].state & static_cast<UINT>(lParam)) : 0;
    case LVM_SETITEMSTATE: {
        auto* item = reinterpret_cast<const LVITEMW*>(lParam);
        return item ? SetItemState(hwnd, static_cast<int>(wParam), *item) : FALSE;
    }
    case LVM_GETNEXTITEM: return NextItem(*s, static_cast<int>(wParam), static_cast<UINT>(lParam));
    case LVM_DELETEITEM: return DeleteItem(hwnd, wParam);
    case LVM_DELETEALLITEMS:
        while (State(hwnd) && !State(hwnd)->items.empty()) DeleteItem(hwnd, 0);
        return TRUE;
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

}  // namespace

const winsim::user32::SystemClass winsim::user32::kListViewClass = {WC_LISTVIEWW, 0, ListViewProc, sizeof(LONG_PTR)};
