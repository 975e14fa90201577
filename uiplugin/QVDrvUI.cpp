#include "QVDrvUI.h"

#include <commctrl.h>
#include <compstui.h>
#include <winspool.h>

#include <new>

#include "AboutPage.h"
#include "DocLayoutPage.h"
#include "DocPaperSizeManagePage.h"
#include "KnownRecords.h"
#include "Module.h"
#include "PrinterSettings.h"

namespace {

// A host that ends a sheet before its windows: their apply must no longer reach the sheet.
void Unhook(VPage* page, const QVSheet* sheet) {
    if (!page || !page->m_hDialog || !IsWindow(page->m_hDialog)) return;
    if (GetWindowLongPtrW(page->m_hDialog, DWLP_USER) == reinterpret_cast<LONG_PTR>(sheet)) {
        SetWindowLongPtrW(page->m_hDialog, DWLP_USER, 0);
    }
}

}  // namespace

// The host destroys the sheet's windows before DESTROY; one that does not keeps windows that reach
// neither the sheet nor its pages.
QVSheet::~QVSheet() {
    Unhook(layoutPage, this);
    Unhook(paperPage, this);
    Unhook(aboutPage, this);
    delete layoutPage;
    layoutPage = nullptr;
    delete paperPage;
    paperPage = nullptr;
    delete aboutPage;
    aboutPage = nullptr;
    if (ownsPrinter) ClosePrinter(context.hPrinter);
    ownsPrinter = FALSE;
}

void QVSheet::ApplySettingsPage() {
    if (layoutPage) layoutPage->Apply();  // its result does not stop the sheet
}

HANDLE QVSheet::TakeOwnPrinter() {
    HANDLE own = ownsPrinter ? context.hPrinter : nullptr;
    ownsPrinter = FALSE;
    return own;
}

// Whatever sheet is still open goes with the controller, and so does a device sheet's handle.
QVDrvUI::~QVDrvUI() {
    AutoLock guard(&m_lock);
    while (QVSheet* sheet = m_pSheets) {
        m_pSheets = sheet->next;
        delete sheet;
    }
    if (m_keptPrinter) ClosePrinter(m_keptPrinter);
    m_keptPrinter = nullptr;
}

HRESULT QVDrvUI::PropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam, SheetContext* object, SheetKind kind) {
    if (!pPSUIInfo || pPSUIInfo->Version != PROPSHEETUI_INFO_VERSION) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return E_FAIL;
    }
    switch (pPSUIInfo->Reason) {
    case PROPSHEETUI_REASON_INIT:
        return InitSheet(pPSUIInfo, object, kind);
    case PROPSHEETUI_REASON_DESTROY:
        DestroySheet(pPSUIInfo, kind);
        pPSUIInfo->Result = 1;
        return S_OK;
    case PROPSHEETUI_REASON_SET_RESULT: {
        auto* result = reinterpret_cast<PSETRESULT_INFO>(lParam);
        if (!result) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return E_FAIL;
        }
        pPSUIInfo->Result = static_cast<ULONG_PTR>(result->Result);
        return S_OK;
    }
    default:  // no header or icon of our own
        pPSUIInfo->Result = 1;
        return S_OK;
    }
}

size_t QVDrvUI::OpenSheets() const {
    AutoLock guard(&m_lock);
    size_t count = 0;
    for (const QVSheet* sheet = m_pSheets; sheet; sheet = sheet->next) ++count;
    return count;
}

template <class Page>
HRESULT QVDrvUI::MakePage(PPROPSHEETUI_INFO pPSUIInfo, QVSheet* sheet, Page** member, bool withContext) {
    Page* page = new (std::nothrow) Page;
    *member = page;
    if (page) {
        page->SetOwner(sheet);
        if (withContext) page->SetContext(&sheet->context);
    }
    return AddPropPage(pPSUIInfo, page);
}

// The lock is held throughout; the core's page-add function may call back on this thread. A sheet made
// here lives until its DESTROY even when a page cannot be added: pages already added are the host's to
// show until then.
HRESULT QVDrvUI::InitSheet(PPROPSHEETUI_INFO pPSUIInfo, SheetContext* object, SheetKind kind) {
    AutoLock guard(&m_lock);
    auto* param = reinterpret_cast<POEMUIPSPARAM>(pPSUIInfo->lParamInit);
    if (!param || !object) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return E_FAIL;
    }
    m_pObject = object;
    auto* sheet = new (std::nothrow) QVSheet(kind == kDeviceSheet ? kDeviceSheet : kDocumentSheet);
    if (!sheet) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return E_FAIL;
    }
    // The next INIT takes the place of a handle a device sheet left open.
    if (m_keptPrinter) ClosePrinter(m_keptPrinter);
    m_keptPrinter = nullptr;

    // The sheet shows and stores the record the object knows now: the last one read or stored.
    sheet->context = *object;
    sheet->context.settingsRead = object->records && object->records->Latest(&sheet->record);
    sheet->context.pSettings = &sheet->record;
    sheet->context.hPrinter = param->hPrinter;
    sheet->context.pOemDevMode = static_cast<QVOemDevMode*>(param->pOEMDM);
    sheet->context.pPublicDM = param->pPublicDM;
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ACCESS_ADMINISTER};
    HANDLE own = nullptr;
    if (OpenPrinterW(param->pPrinterName, &own, &defaults)) {
        sheet->context.hPrinter = own;
        sheet->ownsPrinter = TRUE;
    }
    sheet->initParam = pPSUIInfo->lParamInit;
    sheet->next = m_pSheets;
    m_pSheets = sheet;
    sheet->id = ++m_lastId;
    pPSUIInfo->UserData = sheet->id;

    HRESULT hr;
    if (sheet->kind == kDeviceSheet) {
        hr = MakePage(pPSUIInfo, sheet, &sheet->aboutPage, false);
        if (FAILED(hr)) return hr;
    } else {
        hr = MakePage(pPSUIInfo, sheet, &sheet->layoutPage, true);
        if (FAILED(hr)) return hr;
        hr = MakePage(pPSUIInfo, sheet, &sheet->paperPage, true);
        if (FAILED(hr)) return hr;
        hr = MakePage(pPSUIInfo, sheet, &sheet->aboutPage, false);
        if (FAILED(hr)) return hr;
    }
    pPSUIInfo->Result = 1;
    return S_OK;
}

// The sheet the host means: the one its UserData names, as the common property sheet UI hands it back;
// for a host that does not, the one made from the same OEMUIPSPARAM; for one that names neither, the only
// open sheet of the kind. A DESTROY repeated with the same PROPSHEETUI_INFO finds nothing.
QVSheet* QVDrvUI::FindSheet(PPROPSHEETUI_INFO pPSUIInfo, SheetKind kind) const {
    SheetKind wanted = kind == kDeviceSheet ? kDeviceSheet : kDocumentSheet;
    QVSheet* sameParam = nullptr;
    QVSheet* ofKind = nullptr;
    size_t count = 0;
    for (QVSheet* sheet = m_pSheets; sheet; sheet = sheet->next) {
        if (sheet->kind != wanted) continue;
        if (sheet->id == pPSUIInfo->UserData) return sheet;
        if (!sameParam && pPSUIInfo->lParamInit && sheet->initParam == pPSUIInfo->lParamInit) sameParam = sheet;
        ofKind = sheet;
        ++count;
    }
    if (sameParam) return sameParam;
    bool unnamed = pPSUIInfo->UserData == 0 && pPSUIInfo->lParamInit == 0;
    return unnamed && count == 1 ? ofKind : nullptr;
}

// The device sheet's handle stays open, as the controller's context did, until the next INIT or the
// controller goes.
void QVDrvUI::DestroySheet(PPROPSHEETUI_INFO pPSUIInfo, SheetKind kind) {
    AutoLock guard(&m_lock);
    QVSheet* sheet = FindSheet(pPSUIInfo, kind);
    if (!sheet) return;
    for (QVSheet** link = &m_pSheets; *link; link = &(*link)->next) {
        if (*link == sheet) {
            *link = sheet->next;
            break;
        }
    }
    if (pPSUIInfo->UserData == sheet->id) pPSUIInfo->UserData = 0;
    if (sheet->kind == kDeviceSheet) {
        HANDLE own = sheet->TakeOwnPrinter();
        if (own) {
            if (m_keptPrinter) ClosePrinter(m_keptPrinter);
            m_keptPrinter = own;
        }
    }
    delete sheet;
}

QVSheet* QVDrvUI::DocumentSheetOn(const QVOemDevMode* part) const {
    if (!part) return nullptr;
    for (QVSheet* sheet = m_pSheets; sheet; sheet = sheet->next) {
        if (sheet->kind == kDocumentSheet && sheet->context.pOemDevMode == part) return sheet;
    }
    return nullptr;
}

HANDLE QVDrvUI::ContextPrinter() const { return m_pSheets ? m_pSheets->context.hPrinter : m_keptPrinter; }

// A negative answer of the page-add function is one of its error codes, not a page.
HRESULT QVDrvUI::AddPropPage(PPROPSHEETUI_INFO pPSUIInfo, VPage* page) {
    if (!pPSUIInfo || !pPSUIInfo->pfnComPropSheet || !page) return E_FAIL;
    PROPSHEETPAGEW_V4 psp{};  // the whole structure, header bitmap included
    psp.dwSize = sizeof psp;
    psp.dwFlags = PSP_DEFAULT;
    psp.hInstance = ghModule;
    psp.pszTemplate = MAKEINTRESOURCEW(LOWORD(page->GetTemplateId()));
    psp.pfnDlgProc = PageDlgProc;
    psp.lParam = reinterpret_cast<LPARAM>(page);
    LONG_PTR added = pPSUIInfo->pfnComPropSheet(pPSUIInfo->hComPropSheet, CPSFUNC_ADD_PROPSHEETPAGEW,
                                                reinterpret_cast<LPARAM>(&psp), 0);
    return added > 0 ? S_OK : E_FAIL;
}

// The page takes over its dialog at WM_INITDIALOG, so its own message map sees every later message
// first; what it leaves comes here through the dialog manager.
INT_PTR CALLBACK PageDlgProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
    case WM_INITDIALOG: {
        auto* psp = reinterpret_cast<LPPROPSHEETPAGEW>(lParam);
        VPage* page = psp ? reinterpret_cast<VPage*>(psp->lParam) : nullptr;
        if (!page) return FALSE;
        SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(page->GetOwner()));
        page->m_hDialog = hwnd;
        page->SubclassWindow(hwnd);
        BOOL handled = FALSE;
        return page->InitPage(WM_INITDIALOG, wParam, lParam, handled);
    }
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<LPNMHDR>(lParam);
        if (!header) return FALSE;
        if (header->code == PSN_APPLY) {
            LONG_PTR owner = GetWindowLongPtrW(hwnd, DWLP_USER);
            if (owner != 0 && owner != -1) reinterpret_cast<QVSheet*>(owner)->ApplySettingsPage();
            return TRUE;
        }
        return header->code == PSN_KILLACTIVE || header->code == PSN_SETACTIVE;
    }
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED) return FALSE;
        SendMessageW(GetParent(hwnd), PSM_CHANGED, reinterpret_cast<WPARAM>(hwnd), 0);
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL SetUILanguage() {
    LANGID system = GetSystemDefaultLangID();
    LANGID chosen = SetThreadUILanguage(PRIMARYLANGID(system) == LANG_ENGLISH ? MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)
                                                                              : MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
    return SetThreadLocale(MAKELCID(chosen, SORT_DEFAULT));
}
