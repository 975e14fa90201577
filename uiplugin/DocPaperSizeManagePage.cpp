#include "DocPaperSizeManagePage.h"

#include <prsht.h>
#include <winspool.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cwchar>

#include "SheetContext.h"

namespace {

constexpr int kNameChars = 260;
constexpr int kItemChars = 1024;
constexpr int kTextChars = 64;
constexpr float kTenthsPerMillimetre = 10.0f;
constexpr int kWidthMax = 10000;
constexpr int kLengthMax = 50000;
constexpr int kMarginMax = 1000;

// Owns a GlobalAlloc buffer, so that every way out of a spooler read frees it.
class GlobalBuffer {
public:
    explicit GlobalBuffer(SIZE_T size) : m_p(static_cast<LPBYTE>(GlobalAlloc(GPTR, size))) {}
    ~GlobalBuffer() {
        if (m_p) GlobalFree(m_p);
    }
    GlobalBuffer(const GlobalBuffer&) = delete;
    GlobalBuffer& operator=(const GlobalBuffer&) = delete;
    LPBYTE get() const { return m_p; }

private:
    LPBYTE m_p;
};

// Saturated where a plain conversion of a value outside int would be undefined; a NaN gives 0.
int TruncateToInt(float value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483648.0f) return INT_MAX;
    if (value < -2147483648.0f) return INT_MIN;
    return static_cast<int>(value);
}

// Within the field's up-down range even when the edit was never put in step with it.
int ToTenths(const VEdit& edit, HWND upDown) {
    float millimetres = VPage::ReadEditInRange(edit, upDown, kTenthsPerMillimetre);
    float product = static_cast<float>(static_cast<double>(millimetres) * kTenthsPerMillimetre);
    return TruncateToInt(product);
}

// Tenths to thousandths; huge typed values saturate instead of overflowing, and the spooler judges them.
LONG ToThousandths(long long tenths) {
    long long value = tenths * 100;
    if (value > INT_MAX) return INT_MAX;  // LONG is 32 bits on Windows
    if (value < INT_MIN) return INT_MIN;
    return static_cast<LONG>(value);
}

int ThousandthsToTenths(long long thousandths) { return static_cast<int>(thousandths / 100); }

void ShowTenths(HWND edit, int tenths) {
    WCHAR text[kTextChars] = {};
    swprintf_s(text, kTextChars, L"%.1f", static_cast<double>(static_cast<float>(tenths) / kTenthsPerMillimetre));
    SetWindowTextW(edit, text);
}

BOOL ItemText(HWND list, int index, LPWSTR text, int count) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.iSubItem = 0;
    item.pszText = text;
    item.cchTextMax = count;
    return SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) != 0;
}

void InsertItem(HWND list, int index, LPCWSTR text) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.iSubItem = 0;
    item.pszText = const_cast<LPWSTR>(text);
    SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

}  // namespace

BOOL AddUserForm(HANDLE hPrinter, LPCWSTR name, int width, int length, int left, int top, int right, int bottom) {
    if (!hPrinter) return FALSE;
    FORM_INFO_1W form{};
    form.Flags = FORM_USER;
    form.pName = const_cast<LPWSTR>(name);
    form.Size.cx = ToThousandths(width);
    form.Size.cy = ToThousandths(length);
    form.ImageableArea.left = ToThousandths(left);
    form.ImageableArea.top = ToThousandths(top);
    form.ImageableArea.right = ToThousandths(static_cast<long long>(width) - right);
    form.ImageableArea.bottom = ToThousandths(static_cast<long long>(length) - bottom);
    return AddFormW(hPrinter, 1, reinterpret_cast<LPBYTE>(&form));
}

BOOL GetFormInfo(HANDLE hPrinter, LPCWSTR name, int size[2], int margins[4]) {
    LPWSTR formName = const_cast<LPWSTR>(name);
    DWORD needed = 0;
    GetFormW(hPrinter, formName, 1, nullptr, 0, &needed);
    if (needed == 0) return FALSE;
    GlobalBuffer buffer(needed);
    if (!buffer.get()) return FALSE;
    if (!GetFormW(hPrinter, formName, 1, buffer.get(), needed, &needed)) return FALSE;
    const FORM_INFO_1W& form = *reinterpret_cast<const FORM_INFO_1W*>(buffer.get());
    size[0] = ThousandthsToTenths(form.Size.cx);
    size[1] = ThousandthsToTenths(form.Size.cy);
    margins[0] = ThousandthsToTenths(form.ImageableArea.left);
    margins[1] = ThousandthsToTenths(form.ImageableArea.top);
    margins[2] = ThousandthsToTenths(static_cast<long long>(form.Size.cx) - form.ImageableArea.right);
    margins[3] = ThousandthsToTenths(static_cast<long long>(form.Size.cy) - form.ImageableArea.bottom);
    return TRUE;
}

LRESULT CDocPaperSizeManagePage::InitPage(UINT, WPARAM, LPARAM, BOOL& bHandled) {
    FillFormList();
    InitSizeSpins();
    InitMarginSpins();
    CenterWindow(GetParent(m_hWnd));
    bHandled = TRUE;
    return TRUE;  // the dialog manager sets the default focus
}

HANDLE CDocPaperSizeManagePage::Printer() const { return m_pContext ? m_pContext->hPrinter : nullptr; }

// Only user forms can be deleted here, so built-in and printer forms stay out of the list.
void CDocPaperSizeManagePage::FillFormList() {
    HANDLE printer = Printer();
    DWORD needed = 0;
    DWORD returned = 0;
    EnumFormsW(printer, 1, nullptr, 0, &needed, &returned);
    if (needed == 0) return;
    GlobalBuffer buffer(needed);
    if (!buffer.get()) return;
    if (!EnumFormsW(printer, 1, buffer.get(), needed, &needed, &returned)) return;

    HWND list = Item(IDC_FORM_LIST);
    RECT client{};
    GetClientRect(list, &client);
    WCHAR title[] = L"Name";
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH;
    column.fmt = LVCFMT_LEFT;
    column.pszText = title;
    column.cx = client.right - client.left;
    SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));

    const FORM_INFO_1W* forms = reinterpret_cast<const FORM_INFO_1W*>(buffer.get());
    int added = 0;
    for (DWORD i = 0; i < returned; ++i) {
        if (forms[i].Flags != FORM_USER) continue;
        InsertItem(list, added++, forms[i].pName);
    }
}

void CDocPaperSizeManagePage::InitSpin(int upDownId, int editId, int maximum) {
    HWND upDown = Item(upDownId);
    HWND edit = Item(editId);
    SendMessageW(upDown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(edit), 0);
    SendMessageW(upDown, UDM_SETRANGE32, 0, maximum);
    SendMessageW(upDown, UDM_SETBASE, 10, 0);
    SendMessageW(upDown, UDM_SETPOS32, 0, 0);
    ShowTenths(edit, 0);
}

void CDocPaperSizeManagePage::InitSizeSpins() {
    InitSpin(IDC_FORM_WIDTH_SPIN, IDC_FORM_WIDTH, kWidthMax);
    InitSpin(IDC_FORM_LENGTH_SPIN, IDC_FORM_LENGTH, kLengthMax);
}

void CDocPaperSizeManagePage::InitMarginSpins() {
    InitSpin(IDC_FORM_LEFT_SPIN, IDC_FORM_LEFT, kMarginMax);
    InitSpin(IDC_FORM_RIGHT_SPIN, IDC_FORM_RIGHT, kMarginMax);
    InitSpin(IDC_FORM_TOP_SPIN, IDC_FORM_TOP, kMarginMax);
    InitSpin(IDC_FORM_BOTTOM_SPIN, IDC_FORM_BOTTOM, kMarginMax);
}

// A form made elsewhere may be larger than the fields take: each shows the nearest length it can hold,
// which is what a Save would store.
void CDocPaperSizeManagePage::ShowForm(int width, int length, int left, int top, int right, int bottom) {
    ShowTenths(Item(IDC_FORM_WIDTH), std::clamp(width, 0, kWidthMax));
    ShowTenths(Item(IDC_FORM_LENGTH), std::clamp(length, 0, kLengthMax));
    ShowTenths(Item(IDC_FORM_LEFT), std::clamp(left, 0, kMarginMax));
    ShowTenths(Item(IDC_FORM_TOP), std::clamp(top, 0, kMarginMax));
    ShowTenths(Item(IDC_FORM_RIGHT), std::clamp(right, 0, kMarginMax));
    ShowTenths(Item(IDC_FORM_BOTTOM), std::clamp(bottom, 0, kMarginMax));
}

// The up-downs are left where they are: they catch up when an arrow is used or an edit loses the focus.
LRESULT CDocPaperSizeManagePage::OnFormSelected(int, LPNMHDR pnmh, BOOL& bHandled) {
    bHandled = TRUE;
    const NMLISTVIEW* change = reinterpret_cast<const NMLISTVIEW*>(pnmh);
    if (!change->uChanged || !(change->uNewState & LVIS_SELECTED)) return 0;
    WCHAR name[kItemChars] = {};
    ItemText(Item(IDC_FORM_LIST), change->iItem, name, kItemChars);
    int size[2];
    int margins[4];
    if (!GetFormInfo(Printer(), name, size, margins)) return 0;
    SetWindowTextW(Item(IDC_FORM_NAME), name);
    ShowForm(size[0], size[1], margins[0], margins[1], margins[2], margins[3]);
    return 0;
}

// The spooler is the only judge of a form: it refuses a name in use and sizes it cannot take.
LRESULT CDocPaperSizeManagePage::OnSave(WORD, WORD, HWND, BOOL& bHandled) {
    bHandled = TRUE;
    WCHAR name[kNameChars] = {};
    GetWindowTextW(Item(IDC_FORM_NAME), name, kNameChars);
    if (name[0] == L'\0') return 0;
    int width = ToTenths(VEdit(Item(IDC_FORM_WIDTH)), Item(IDC_FORM_WIDTH_SPIN));
    int length = ToTenths(VEdit(Item(IDC_FORM_LENGTH)), Item(IDC_FORM_LENGTH_SPIN));
    int left = ToTenths(VEdit(Item(IDC_FORM_LEFT)), Item(IDC_FORM_LEFT_SPIN));
    int right = ToTenths(VEdit(Item(IDC_FORM_RIGHT)), Item(IDC_FORM_RIGHT_SPIN));
    int top = ToTenths(VEdit(Item(IDC_FORM_TOP)), Item(IDC_FORM_TOP_SPIN));
    int bottom = ToTenths(VEdit(Item(IDC_FORM_BOTTOM)), Item(IDC_FORM_BOTTOM_SPIN));
    if (AddUserForm(Printer(), name, width, length, left, top, right, bottom)) {
        HWND list = Item(IDC_FORM_LIST);
        InsertItem(list, static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)), name);
    }
    MarkChanged();
    return 0;
}

LRESULT CDocPaperSizeManagePage::OnDelete(WORD, WORD, HWND, BOOL& bHandled) {
    bHandled = TRUE;
    HWND list = Item(IDC_FORM_LIST);
    int selected = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (selected < 0) return 0;
    WCHAR name[kItemChars] = {};
    ItemText(list, selected, name, kItemChars);
    if (DeleteFormW(Printer(), name)) SendMessageW(list, LVM_DELETEITEM, static_cast<WPARAM>(selected), 0);
    MarkChanged();
    return 0;
}

void CDocPaperSizeManagePage::MarkChanged() {
    SendMessageW(GetParent(m_hWnd), PSM_CHANGED, reinterpret_cast<WPARAM>(m_hWnd), 0);
}

// The step always goes on: the page never cancels an arrow.
LRESULT CDocPaperSizeManagePage::OnSpin(int editId, int upDownId, LPNMHDR pnmh) {
    const NMUPDOWN* step = reinterpret_cast<const NMUPDOWN*>(pnmh);
    SyncSpinFloat(VEdit(Item(editId)), Item(upDownId), kTenthsPerMillimetre, step->iDelta);
    return 0;
}

LRESULT CDocPaperSizeManagePage::OnEditKillFocus(int editId, int upDownId) {
    SyncSpinFloat(VEdit(Item(editId)), Item(upDownId), kTenthsPerMillimetre, 0);
    return 0;
}
