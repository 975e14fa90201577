// Dialogs: windows made from extended dialog templates (DLGTEMPLATEEX, as the resource compiler writes
// them), their dialog procedures and the dialog manager's default processing.
// Simplified: fixed dialog base units whatever the template's font (no WM_SETFONT, no fonts at all);
// DS_CENTER, menus and a template's creation data are ignored; no keyboard navigation.
#include <cstring>

#include "window.h"

namespace winsim {
namespace user32 {
namespace {

struct Item {
    DWORD exStyle = 0;
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;
    std::wstring className;  // empty: classAtom names a predefined class
    WORD classOrdinal = 0;
    std::wstring title;
};

struct Template {
    DWORD exStyle = 0;
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::wstring className;
    WORD classOrdinal = 0;
    std::wstring title;
    std::vector<Item> items;
};

// Reads the little-endian words of a template; the text in it is UTF-16.
class Reader {
public:
    explicit Reader(const BYTE* p) : base_(p), p_(p) {}
    WORD Word() {
        WORD v = static_cast<WORD>(p_[0] | p_[1] << 8);
        p_ += 2;
        return v;
    }
    DWORD Dword() {
        DWORD lo = Word();
        return lo | static_cast<DWORD>(Word()) << 16;
    }
    short Short() { return static_cast<short>(Word()); }
    BYTE Byte() { return *p_++; }
    std::wstring Text() {
        std::wstring s;
        for (WORD c = Word(); c; c = Word()) {
            if (c >= 0xD800 && c <= 0xDBFF) {
                WORD low = Word();
                s += static_cast<wchar_t>(0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
            } else {
                s += static_cast<wchar_t>(c);
            }
        }
        return s;
    }
    // A name or a number: 0x0000 for none, 0xFFFF and a number, or text.
    void NameOrNumber(std::wstring* name, WORD* number) {
        WORD first = Word();
        if (first == 0xFFFF) {
            *number = Word();
            return;
        }
        if (first == 0) return;
        p_ -= 2;
        *name = Text();
    }
    void AlignDword() {
        while ((p_ - base_) % 4) ++p_;
    }
    void Skip(size_t bytes) { p_ += bytes; }

private:
    const BYTE* base_;
    const BYTE* p_;
};

bool ParseTemplate(const BYTE* data, Template* t) {
    Reader r(data);
    if (r.Word() != 1 || r.Word() != 0xFFFF) return false;  // extended templates only
    r.Dword();                                              // help id
    t->exStyle = r.Dword();
    t->style = r.Dword();
    WORD count = r.Word();
    t->x = r.Short();
    t->y = r.Short();
    t->cx = r.Short();
    t->cy = r.Short();
    std::wstring menu;
    WORD menuNumber = 0;
    r.NameOrNumber(&menu, &menuNumber);
    r.NameOrNumber(&t->className, &t->classOrdinal);
    t->title = r.Text();
    if (t->style & DS_SETFONT) {
        r.Word();  // point size
        r.Word();  // weight
        r.Byte();  // italic
        r.Byte();  // character set
        r.Text();  // typeface
    }
    for (WORD i = 0; i < count; ++i) {
        r.AlignDword();
        Item item;
        r.Dword();  // help id
        item.exStyle = r.Dword();
        item.style = r.Dword();
        item.x = r.Short();
        item.y = r.Short();
        item.cx = r.Short();
        item.cy = r.Short();
        item.id = r.Dword();
        r.NameOrNumber(&item.className, &item.classOrdinal);
        WORD titleNumber = 0;
        r.NameOrNumber(&item.title, &titleNumber);
        r.Skip(r.Word());  // creation data
        t->items.push_back(item);
    }
    return true;
}

// The predefined control classes a template names by number.
const wchar_t* PredefinedClass(WORD ordinal) {
    switch (ordinal) {
    case 0x0080: return L"Button";
    case 0x0081: return L"Edit";
    case 0x0082: return L"Static";
    case 0x0083: return L"ListBox";
    case 0x0084: return L"ScrollBar";
    case 0x0085: return L"ComboBox";
    default: return nullptr;
    }
}

RECT ToPixels(short x, short y, short cx, short cy) {
    return RECT{MulDiv(x, kBaseUnitX, 4), MulDiv(y, kBaseUnitY, 8), MulDiv(cx, kBaseUnitX, 4),
                MulDiv(cy, kBaseUnitY, 8)};
}

// Messages whose dialog-procedure answer is the message's answer itself, not DWLP_MSGRESULT.
bool AnswersDirectly(UINT msg) {
    switch (msg) {
    case WM_INITDIALOG:
    case 0x0019:  // WM_CTLCOLOR family
    case 0x0039:  // WM_COMPAREITEM
    case 0x002E:  // WM_VKEYTOITEM
    case 0x002F:  // WM_CHARTOITEM
    case 0x0037:  // WM_QUERYDRAGICON
    case 0x0132:  // WM_CTLCOLORMSGBOX ... WM_CTLCOLORSTATIC
    case 0x0133:
    case 0x0134:
    case 0x0135:
    case 0x0136:
    case 0x0137:
    case 0x0138:
        return true;
    default:
        return false;
    }
}

}  // namespace
}  // namespace user32
}  // namespace winsim

using winsim::user32::Peek;

// The dialog manager: the dialog procedure sees every message first; what it does not take (FALSE) gets
// the default processing. DWLP_MSGRESULT is cleared before each call, so a procedure that takes a
// message without setting it answers 0.
extern "C" LRESULT WINAPI DefDlgProcW(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam) {
    auto w = Peek(hDlg);
    if (!w) return 0;
    LONG_PTR procValue = 0;
    winsim::user32::ReadExtra(*w, static_cast<int>(DWLP_DLGPROC), &procValue);
    auto proc = reinterpret_cast<DLGPROC>(procValue);
    if (proc) {
        winsim::user32::WriteExtra(*w, DWLP_MSGRESULT, 0);
        INT_PTR handled = proc(hDlg, Msg, wParam, lParam);
        if (handled) {
            if (winsim::user32::AnswersDirectly(Msg)) return handled;
            LONG_PTR answer = 0;
            winsim::user32::ReadExtra(*w, DWLP_MSGRESULT, &answer);
            return answer;
        }
    }
    switch (Msg) {
    case WM_INITDIALOG:
    case WM_CLOSE:  // a dialog is not destroyed by closing it: its procedure decides
        return 0;
    default:
        return DefWindowProcW(hDlg, Msg, wParam, lParam);
    }
}

const winsim::user32::SystemClass winsim::user32::kDialogClass = {L"#32770", 0x8002, DefDlgProcW, DLGWINDOWEXTRA};

// Simplified: extended templates only.
extern "C" HWND WINAPI CreateDialogIndirectParamW(HINSTANCE hInstance, LPCDLGTEMPLATEW lpTemplate, HWND hWndParent,
                                                  DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    winsim::user32::Template t;
    if (!lpTemplate || !winsim::user32::ParseTemplate(reinterpret_cast<const BYTE*>(lpTemplate), &t)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    LPCWSTR dialogClass = !t.className.empty() ? t.className.c_str()
                          : t.classOrdinal    ? MAKEINTATOM(t.classOrdinal)
                                              : WC_DIALOG;
    RECT box = winsim::user32::ToPixels(t.x, t.y, t.cx, t.cy);
    HWND dlg = CreateWindowExW(t.exStyle, dialogClass, t.title.c_str(), t.style & ~static_cast<DWORD>(WS_VISIBLE),
                               box.left, box.top, box.right, box.bottom, hWndParent, nullptr, hInstance, nullptr);
    if (!dlg) return nullptr;
    if (auto w = Peek(dlg)) winsim::user32::WriteExtra(*w, static_cast<int>(DWLP_DLGPROC),
                                                       reinterpret_cast<LONG_PTR>(lpDialogFunc));

    HWND focus = nullptr;
    for (const winsim::user32::Item& item : t.items) {
        LPCWSTR itemClass = !item.className.empty() ? item.className.c_str()
                                                    : winsim::user32::PredefinedClass(item.classOrdinal);
        RECT r = winsim::user32::ToPixels(item.x, item.y, item.cx, item.cy);
        HWND control = CreateWindowExW(item.exStyle, itemClass ? itemClass : L"", item.title.c_str(),
                                       item.style | WS_CHILD, r.left, r.top, r.right, r.bottom, dlg,
                                       reinterpret_cast<HMENU>(static_cast<UINT_PTR>(item.id)), hInstance, nullptr);
        if (!control) {
            if (t.style & DS_NOFAILCREATE) continue;
            DWORD error = GetLastError();
            DestroyWindow(dlg);
            SetLastError(error);
            return nullptr;
        }
        if (!focus && (item.style & WS_TABSTOP) && (item.style & WS_VISIBLE) && !(item.style & WS_DISABLED)) {
            focus = control;
        }
    }
    // The procedure's TRUE asks for the default focus: the first visible, enabled control with WS_TABSTOP.
    if (SendMessageW(dlg, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), dwInitParam) && focus && Peek(focus)) {
        SetFocus(focus);
    }
    if (!Peek(dlg)) return nullptr;
    if (t.style & WS_VISIBLE) ShowWindow(dlg, SW_SHOWNORMAL);
    return dlg;
}

extern "C" HWND WINAPI CreateDialogParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent,
                                          DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    HRSRC found = FindResourceW(hInstance, lpTemplateName, RT_DIALOG);
    if (!found) return nullptr;
    auto* data = static_cast<LPCDLGTEMPLATEW>(LockResource(LoadResource(hInstance, found)));
    return CreateDialogIndirectParamW(hInstance, data, hWndParent, lpDialogFunc, dwInitParam);
}

// Simplified: the same base units for every dialog (see kBaseUnitX and kBaseUnitY).
extern "C" BOOL WINAPI MapDialogRect(HWND hDlg, LPRECT lpRect) {
    if (!winsim::user32::Find(hDlg) || !lpRect) return FALSE;
    lpRect->left = MulDiv(lpRect->left, winsim::user32::kBaseUnitX, 4);
    lpRect->right = MulDiv(lpRect->right, winsim::user32::kBaseUnitX, 4);
    lpRect->top = MulDiv(lpRect->top, winsim::user32::kBaseUnitY, 8);
    lpRect->bottom = MulDiv(lpRect->bottom, winsim::user32::kBaseUnitY, 8);
    return TRUE;
}
