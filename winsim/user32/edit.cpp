// Edit controls, single-line: their text, the selection the user types over, the limit on what the user
// may type (EM_LIMITTEXT; 32767 characters until set), and the notifications EN_SETFOCUS, EN_KILLFOCUS,
// EN_CHANGE and EN_MAXTEXT. Simplified: no caret movement keys, clipboard, undo or EN_UPDATE; a character
// typed goes at the end of the selection; ES_* styles change nothing but ES_READONLY.
#include <utility>

#include "window.h"

namespace {

using winsim::user32::Peek;

constexpr size_t kDefaultLimit = 32767;
constexpr size_t kLargestLimit = 0x7FFFFFFE;

struct EditState {
    size_t limit = kDefaultLimit;
    size_t selStart = 0;
    size_t selEnd = 0;
};

EditState* StateOf(HWND hwnd) { return winsim::user32::ControlState<EditState>(hwnd); }

void Clamp(EditState* s, size_t length) {
    if (s->selStart > length) s->selStart = length;
    if (s->selEnd > length) s->selEnd = length;
    if (s->selStart > s->selEnd) std::swap(s->selStart, s->selEnd);
}

// The user types one character over the selection.
void Type(HWND hwnd, wchar_t c) {
    auto w = Peek(hwnd);
    EditState* s = StateOf(hwnd);
    if (!w || !s || (w->style & ES_READONLY)) return;
    Clamp(s, w->text.size());
    std::wstring text = w->text;
    if (c == L'\b') {
        if (s->selStart == s->selEnd) {
            if (s->selStart == 0) return;
            --s->selStart;
        }
        text.erase(s->selStart, s->selEnd - s->selStart);
    } else if (c < L' ') {
        return;
    } else {
        if (text.size() - (s->selEnd - s->selStart) + 1 > s->limit) {
            winsim::user32::NotifyParent(hwnd, EN_MAXTEXT);
            return;
        }
        text.replace(s->selStart, s->selEnd - s->selStart, 1, c);
        ++s->selStart;
    }
    s->selEnd = s->selStart;
    w->text = text;
    winsim::user32::NotifyParent(hwnd, EN_CHANGE);
}

LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT lifetime = 0;
    if (winsim::user32::ControlStateLifetime<EditState>(hwnd, msg, wParam, lParam, &lifetime)) return lifetime;
    switch (msg) {
    case WM_SETTEXT: {
        LRESULT result = DefWindowProcW(hwnd, msg, wParam, lParam);
        if (EditState* s = StateOf(hwnd)) s->selStart = s->selEnd = 0;
        winsim::user32::NotifyParent(hwnd, EN_CHANGE);
        return result;
    }
    case WM_SETFOCUS:
        winsim::user32::NotifyParent(hwnd, EN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        winsim::user32::NotifyParent(hwnd, EN_KILLFOCUS);
        return 0;
    case WM_CHAR:
        Type(hwnd, static_cast<wchar_t>(wParam));
        return 0;
    case EM_SETSEL: {
        EditState* s = StateOf(hwnd);
        auto w = Peek(hwnd);
        if (!s || !w) return 0;
        int start = static_cast<int>(wParam);
        int end = static_cast<int>(lParam);
        size_t length = w->text.size();
        if (start < 0) {  // no selection: the caret stays at the selection's end
            s->selStart = s->selEnd;
        } else {
            s->selStart = static_cast<size_t>(start);
            s->selEnd = end < 0 ? length : static_cast<size_t>(end);
        }
        Clamp(s, length);
        return 0;
    }
    case EM_LIMITTEXT:
        if (EditState* s = StateOf(hwnd)) s->limit = wParam == 0 || wParam > kLargestLimit ? kLargestLimit : wParam;
        return 0;
    case EM_GETLIMITTEXT: {
        EditState* s = StateOf(hwnd);
        return s ? static_cast<LRESULT>(s->limit) : 0;
    }
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

}  // namespace

const winsim::user32::SystemClass winsim::user32::kEditClass = {L"Edit", 0, EditProc, sizeof(LONG_PTR)};
