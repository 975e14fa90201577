#include "property_sheet.h"

#include <cstring>

namespace winsim {
namespace control {
namespace {

constexpr wchar_t kSheetClass[] = L"WinsimPropertySheet";
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 24;
constexpr int kButtonGap = 8;

// A page sits in the sheet as a child control: no caption, frame or popup style of its own.
constexpr DWORD kNotForPages = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_DISABLED | WS_VISIBLE |
                               DS_MODALFRAME;

}  // namespace

PropertySheet::~PropertySheet() {
    Close();
    for (HPROPSHEETPAGE page : pages_) DestroyPropertySheetPage(page);
}

HPROPSHEETPAGE PropertySheet::AddPage(const PROPSHEETPAGEW& page) {
    HPROPSHEETPAGE handle = CreatePropertySheetPageW(&page);
    if (!handle) return nullptr;
    pages_.push_back(handle);
    windows_.push_back(nullptr);
    return handle;
}

LRESULT CALLBACK PropertySheet::SheetProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<PropertySheet*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && msg == PSM_CHANGED) {
        self->changes_.push_back(wParam);
        EnableWindow(GetDlgItem(hwnd, kApplyId), TRUE);
        return 0;
    }
    if (self && msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        switch (LOWORD(wParam)) {
        case IDOK: self->OnOk(); return 0;
        case IDCANCEL: self->OnCancel(); return 0;
        case kApplyId: self->OnApply(); return 0;
        default: break;
        }
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

bool PropertySheet::Show(size_t startPage) {
    if (window_ || startPage >= pages_.size()) return false;
    static const ATOM atom = [] {  // once per process
        WNDCLASSW wc{};
        wc.lpfnWndProc = SheetProc;
        wc.lpszClassName = kSheetClass;
        wc.hInstance = GetModuleHandleW(nullptr);
        return RegisterClassW(&wc);
    }();
    if (!atom) return false;
    window_ = CreateWindowExW(0, kSheetClass, L"Properties", WS_POPUP | WS_CAPTION | WS_VISIBLE, kLeft, kTop,
                              kClientWidth, kClientHeight, nullptr, nullptr, GetModuleHandleW(nullptr), this);
    if (!window_) return false;
    struct ButtonSpec {
        int id;
        const wchar_t* text;
        DWORD style;
    };
    const ButtonSpec buttons[] = {{IDOK, L"OK", BS_DEFPUSHBUTTON},
                                  {IDCANCEL, L"Cancel", BS_PUSHBUTTON},
                                  {kApplyId, L"Apply", BS_PUSHBUTTON | WS_DISABLED}};
    int x = kClientWidth - 3 * (kButtonWidth + kButtonGap);
    for (const ButtonSpec& b : buttons) {
        CreateWindowExW(0, L"Button", b.text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | b.style, x,
                        kClientHeight - kButtonHeight - kButtonGap, kButtonWidth, kButtonHeight, window_,
                        reinterpret_cast<HMENU>(static_cast<UINT_PTR>(b.id)), GetModuleHandleW(nullptr), nullptr);
        x += kButtonWidth + kButtonGap;
    }
    if (!SelectPage(startPage)) {
        Close();
        return false;
    }
    return true;
}

LRESULT PropertySheet::Notify(size_t page, UINT code, LPARAM lParam) {
    PSHNOTIFY n{};
    n.hdr.hwndFrom = window_;
    n.hdr.idFrom = 0;
    n.hdr.code = code;
    n.lParam = lParam;
    LRESULT answer = SendMessageW(windows_.at(page), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&n));
    notifications_.push_back({page, code, lParam, answer});
    return answer;
}

// As comctl32 does: the template is copied and made a child's, and the dialog gets the sheet's copy of
// the page's description as its WM_INITDIALOG parameter.
bool PropertySheet::MakePageWindow(size_t i) {
    const PROPSHEETPAGEW& page = Page(i);
    if (page.dwFlags & PSP_DLGINDIRECT) return false;  // Simplified: templates from resources only
    HRSRC found = FindResourceW(page.hInstance, page.pszTemplate, RT_DIALOG);
    if (!found) return false;
    DWORD size = SizeofResource(page.hInstance, found);
    const void* data = LockResource(LoadResource(page.hInstance, found));
    if (!data || size < 16) return false;
    std::vector<unsigned char> copy(static_cast<const unsigned char*>(data),
                                    static_cast<const unsigned char*>(data) + size);
    bool extended = copy[0] == 1 && copy[1] == 0 && copy[2] == 0xFF && copy[3] == 0xFF;
    size_t styleAt = extended ? 12 : 0;
    DWORD style;
    std::memcpy(&style, copy.data() + styleAt, sizeof style);
    style = (style & ~kNotForPages) | WS_CHILD | DS_CONTROL;
    std::memcpy(copy.data() + styleAt, &style, sizeof style);
    HWND hwnd = CreateDialogIndirectParamW(page.hInstance, reinterpret_cast<LPCDLGTEMPLATEW>(copy.data()), window_,
                                           page.pfnDlgProc, reinterpret_cast<LPARAM>(&page));
    windows_[i] = hwnd;
    return hwnd != nullptr;
}

bool PropertySheet::SelectPage(size_t i) {
    if (!window_ || i >= pages_.size()) return false;
    if (i == active_) return true;
    if (active_ != kNoPage) {
        if (Notify(active_, PSN_KILLACTIVE, 0)) return false;
        ShowWindow(windows_[active_], SW_HIDE);
    }
    if (!windows_[i] && !MakePageWindow(i)) return false;
    active_ = i;
    Notify(i, PSN_SETACTIVE, 0);
    ShowWindow(windows_[i], SW_SHOW);
    return true;
}

bool PropertySheet::Click(int controlId) {
    if (active_ == kNoPage || !windows_[active_]) return false;
    HWND control = GetDlgItem(windows_[active_], controlId);
    if (!control) return false;
    SendMessageW(control, BM_CLICK, 0, 0);
    AfterUserAction();
    return true;
}

bool PropertySheet::Type(int controlId, const std::wstring& text) {
    if (active_ == kNoPage || !windows_[active_]) return false;
    HWND control = GetDlgItem(windows_[active_], controlId);
    if (!control) return false;
    SetFocus(control);
    WCHAR cls[16] = {};
    GetClassNameW(control, cls, 16);
    if (std::wstring(cls) != L"Edit") {
        SetWindowTextW(control, text.c_str());
        return true;
    }
    // Keystrokes over the whole text, so the edit's limit holds as it does for a user.
    SendMessageW(control, EM_SETSEL, 0, -1);
    SendMessageW(control, WM_CHAR, L'\b', 0);
    for (wchar_t c : text) SendMessageW(control, WM_CHAR, static_cast<WPARAM>(c), 0);
    return true;
}

bool PropertySheet::Select(int controlId, int index) {
    if (active_ == kNoPage || !windows_[active_]) return false;
    HWND combo = GetDlgItem(windows_[active_], controlId);
    if (!combo || index < 0 || index >= static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0))) return false;
    if (!IsWindowEnabled(combo)) return false;
    if (!SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0)) SendMessageW(combo, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    int field = static_cast<int>(SendMessageW(combo, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
    int item = static_cast<int>(SendMessageW(combo, CB_GETITEMHEIGHT, 0, 0));
    LPARAM point = MAKELPARAM(4, field + index * item + item / 2);
    SendMessageW(combo, WM_LBUTTONDOWN, MK_LBUTTON, point);
    SendMessageW(combo, WM_LBUTTONUP, 0, point);
    AfterUserAction();
    return true;
}

bool PropertySheet::Spin(int controlId, int clicks) {
    if (active_ == kNoPage || !windows_[active_]) return false;
    HWND upDown = GetDlgItem(windows_[active_], controlId);
    if (!upDown) return false;
    RECT rect;
    GetClientRect(upDown, &rect);
    bool horizontal = (GetWindowLongPtrW(upDown, GWL_STYLE) & UDS_HORZ) != 0;
    LONG x = horizontal ? (clicks > 0 ? rect.right - 1 : 0) : rect.right / 2;
    LONG y = horizontal ? rect.bottom / 2 : (clicks > 0 ? 0 : rect.bottom - 1);
    for (int i = 0; i < (clicks > 0 ? clicks : -clicks); ++i) {
        SendMessageW(upDown, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        SendMessageW(upDown, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    }
    AfterUserAction();
    return true;
}

bool PropertySheet::SelectRow(int controlId, int row) {
    if (active_ == kNoPage || !windows_[active_]) return false;
    HWND list = GetDlgItem(windows_[active_], controlId);
    if (!list) return false;
    int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    if (row < -1 || row >= count) return false;
    SetFocus(list);
    LVITEMW clear{};
    clear.stateMask = LVIS_SELECTED;
    for (int i = 0; i < count; ++i) {
        if (i != row && SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(i), LVIS_SELECTED)) {
            SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&clear));
        }
    }
    if (row >= 0) {
        LVITEMW select{};
        select.state = select.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&select));
    }
    AfterUserAction();
    return true;
}

void PropertySheet::Leave() {
    if (active_ == kNoPage || !windows_[active_]) return;
    HWND page = windows_[active_];
    HWND focus = GetFocus();
    bool afterFocus = !focus || GetParent(focus) != page;
    for (HWND c = GetWindow(page, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (c == focus) {
            afterFocus = true;
            continue;
        }
        bool tabStop = (GetWindowLongPtrW(c, GWL_STYLE) & WS_TABSTOP) && IsWindowVisible(c) && IsWindowEnabled(c);
        if (afterFocus && tabStop) {
            SetFocus(c);
            return;
        }
    }
    SetFocus(Button(IDOK));
}

void PropertySheet::PressOK() {
    if (!window_) return;
    SendMessageW(Button(IDOK), BM_CLICK, 0, 0);
    AfterUserAction();
}

void PropertySheet::PressApply() {
    if (!window_) return;
    SendMessageW(Button(kApplyId), BM_CLICK, 0, 0);
    AfterUserAction();
}

void PropertySheet::PressCancel() {
    if (!window_) return;
    SendMessageW(Button(IDCANCEL), BM_CLICK, 0, 0);
    AfterUserAction();
}

// PSN_KILLACTIVE lets the active page refuse; then every page that has a window gets PSN_APPLY (lParam
// TRUE when the sheet closes), and one that answers PSNRET_INVALID* stops it.
bool PropertySheet::ApplyAll(bool closing) {
    if (active_ != kNoPage && Notify(active_, PSN_KILLACTIVE, 0)) return false;
    for (size_t i = 0; i < windows_.size(); ++i) {
        if (!windows_[i]) continue;
        LRESULT answer = Notify(i, PSN_APPLY, closing ? TRUE : FALSE);
        if (answer == PSNRET_INVALID || answer == PSNRET_INVALID_NOCHANGEPAGE) {
            if (answer == PSNRET_INVALID) SelectPage(i);
            return false;
        }
    }
    return true;
}

void PropertySheet::OnOk() {
    if (ApplyAll(true)) Finish(IDOK);
}

void PropertySheet::OnApply() {
    if (ApplyAll(false)) EnableWindow(Button(kApplyId), FALSE);
}

// PSN_QUERYCANCEL lets the active page refuse; then every page that has a window gets PSN_RESET.
void PropertySheet::OnCancel() {
    if (active_ != kNoPage && Notify(active_, PSN_QUERYCANCEL, 0)) return;
    for (size_t i = 0; i < windows_.size(); ++i) {
        if (windows_[i]) Notify(i, PSN_RESET, FALSE);
    }
    Finish(IDCANCEL);
}

void PropertySheet::DestroyWindows() {
    for (HWND& page : windows_) {
        if (page) DestroyWindow(page);
        page = nullptr;
    }
    if (window_) DestroyWindow(window_);
    window_ = nullptr;
    active_ = kNoPage;
}

void PropertySheet::Finish(int result) {
    DestroyWindows();
    result_ = result;
    closedPending_ = true;
}

// The owner hears of the end once the user's action is over, as PropertySheet returns after its loop.
void PropertySheet::AfterUserAction() {
    if (!closedPending_) return;
    closedPending_ = false;
    if (onClosed) onClosed(result_ == IDOK);
}

void PropertySheet::Close() {
    DestroyWindows();
    closedPending_ = false;
}

}  // namespace control
}  // namespace winsim
