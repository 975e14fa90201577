#include "QVDrvUI.h"

#include <commctrl.h>
#include <compstui.h>
#include <winspool.h>

#include <new>

#include "AboutPage.h"
#include "DocLayoutPage.h"
#include "DocPaperSizeManagePage.h"
#include "Module.h"
#include "PrinterSettings.h"

// Whatever sheet is still open goes with the controller, the device sheet's printer handle too.
QVDrvUI::~QVDrvUI() {
    DestroySheet(kDeviceSheet);
    DestroySheet(kDocumentSheet);
}

HRESULT QVDrvUI::PropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam, SheetContext* context, SheetKind kind) {
    if (!pPSUIInfo || pPSUIInfo->Version != PROPSHEETUI_INFO_VERSION) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return E_FAIL;
    }
    switch (pPSUIInfo->Reason) {
    case PROPSHEETUI_REASON_INIT:
        return InitSheet(pPSUIInfo, context, kind);
    case PROPSHEETUI_REASON_DESTROY:
        DestroySheet(kind);
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

void QVDrvUI::CloseOwnPrinter() {
    if (m_pContext && m_ownsPrinter) ClosePrinter(m_pContext->hPrinter);
    m_ownsPrinter = FALSE;
}

template <class Page>
HRESULT QVDrvUI::MakePage(PPROPSHEETUI_INFO pPSUIInfo, Page** member, bool withContext) {
    Page* page = new (std::nothrow) Page;
    *member = page;
    if (page) {
        page->SetOwner(this);
        if (withContext) page->SetContext(m_pContext);
    }
    return AddPropPage(pPSUIInfo, page);
}

// The lock is held throughout; the core's page-add function may call back on this thread.
HRESULT QVDrvUI::InitSheet(PPROPSHEETUI_INFO pPSUIInfo, SheetContext* context, SheetKind kind) {
    AutoLock guard(&m_lock);
    auto* param = reinterpret_cast<POEMUIPSPARAM>(pPSUIInfo->lParamInit);
    if (!param || !context) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return E_FAIL;
    }
    // A handle that an earlier device sheet left open would otherwise be lost.
    CloseOwnPrinter();
    // The sheet shows and stores the record as the object holds it now, with what is known of where it
    // came from: a MERGE while the sheet is up (the core may make the job's DEVMODE anew) changes neither.
    m_sheet = *context;
    m_sheet.object = context;
    if (context->pSettings) {
        m_sheetSettings = *context->pSettings;
        m_sheet.pSettings = &m_sheetSettings;
    }
    m_sheet.hPrinter = param->hPrinter;
    m_sheet.pOemDevMode = static_cast<QVOemDevMode*>(param->pOEMDM);
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ACCESS_ADMINISTER};
    HANDLE own = nullptr;
    if (OpenPrinterW(param->pPrinterName, &own, &defaults)) {
        m_sheet.hPrinter = own;
        m_ownsPrinter = TRUE;
    }
    m_pContext = &m_sheet;

    HRESULT hr;
    if (kind == kDeviceSheet) {
        hr = MakePage(pPSUIInfo, &m_pDevAboutPage, false);
        if (FAILED(hr)) return hr;
    } else {
        hr = MakePage(pPSUIInfo, &m_pLayoutPage, true);
        if (FAILED(hr)) return hr;
        hr = MakePage(pPSUIInfo, &m_pPaperPage, true);
        if (FAILED(hr)) return hr;
        hr = MakePage(pPSUIInfo, &m_pDocAboutPage, false);
        if (FAILED(hr)) return hr;
    }
    pPSUIInfo->Result = 1;
    return S_OK;
}

// The sheet has destroyed the pages' windows by now. The device sheet's printer handle stays open until
// the controller goes.
void QVDrvUI::DestroySheet(SheetKind kind) {
    AutoLock guard(&m_lock);
    if (kind == kDeviceSheet) {
        delete m_pDevAboutPage;
        m_pDevAboutPage = nullptr;
        return;
    }
    delete m_pLayoutPage;
    m_pLayoutPage = nullptr;
    delete m_pPaperPage;
    m_pPaperPage = nullptr;
    delete m_pDocAboutPage;
    m_pDocAboutPage = nullptr;
    if (m_pContext) {
        CloseOwnPrinter();
        m_pContext = nullptr;
    }
}

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

void QVDrvUI::ApplySettingsPage() {
    if (m_pLayoutPage) m_pLayoutPage->Apply();  // its result does not stop the sheet
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
        page->SubclassWindow(hwnd);
        BOOL handled = FALSE;
        return page->InitPage(WM_INITDIALOG, wParam, lParam, handled);
    }
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<LPNMHDR>(lParam);
        if (!header) return FALSE;
        if (header->code == PSN_APPLY) {
            LONG_PTR owner = GetWindowLongPtrW(hwnd, DWLP_USER);
            if (owner != 0 && owner != -1) reinterpret_cast<QVDrvUI*>(owner)->ApplySettingsPage();
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
