#include "AboutPage.h"

namespace {
// The same line in every language; the templates' own text is a placeholder.
constexpr wchar_t kProductLine[] = L" Thermal Printer V1.1.0";
}  // namespace

LRESULT CAboutPage::InitPage(UINT, WPARAM, LPARAM, BOOL&) {
    SetWindowTextW(GetDlgItem(m_hWnd, IDC_ABOUT_TEXT), kProductLine);
    CenterWindow(GetParent(m_hWnd));
    return TRUE;  // the dialog manager sets the default focus
}
