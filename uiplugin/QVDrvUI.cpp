#include "QVDrvUI.h"

#include <commctrl.h>
#include <compstui.h>
#include <winspool.h>

#include <initializer_list>
#include <new>

#include "AboutPage.h"
#include "DocLayoutPage.h"
#include "DocPaperSizeManagePage.h"
#include "KnownRecords.h"
#include "Module.h"
#include "PrinterSettings.h"

namespace {

SheetKind Normalised(SheetKind kind) { return kind == kDeviceSheet ? kDeviceSheet : kDocumentSheet; }

// A page goes with its sheet. A dialog the host has not destroyed yet gets it back unhooked, so that its
// apply no longer reaches the sheet; a page never shown is one the dialog procedure no longer takes.
template <class Page>
void EndPage(Page*& page, const QVSheet* sheet) {
    if (!page) return;
    if (page->m_hDialog && IsWindow(page->m_hDialog) &&
        GetWindowLongPtrW(page->m_hDialog, DWLP_USER) == reinterpret_cast<LONG_PTR>(sheet)) {
        SetWindowLongPtrW(page->m_hDialog, DWLP_USER, 0);
    }
    delete page;
    page = nullptr;
}

}  // namespace

QVSheet::~QVSheet() { End(); }

void QVSheet::End() {
    EndPage(layoutPage, this);
    EndPage(paperPage, this);
    EndPage(aboutPage, this);
    if (ownsPrinter) {
        ClosePrinter(context.hPrinter);
        context.hPrinter = nullptr;
    }
    ownsPrinter = FALSE;
}

// What a store took is the base of the page's next changes. The result does not stop the sheet.
void QVSheet::ApplySettingsPage() {
    if (layoutPage && layoutPage->Apply()) shown = record;
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
        return InitSheet(pPSUIInfo, object, Normalised(kind));
    case PROPSHEETUI_REASON_DESTROY:
        // Let go outside the lock; the caller's own hold keeps this controller for the rest of the call.
        if (DestroySheet(pPSUIInfo, Normalised(kind)) && m_pHolder) m_pHolder->Release();
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
// show until then. A second INIT of a sheet that is still open makes none.
HRESULT QVDrvUI::InitSheet(PPROPSHEETUI_INFO pPSUIInfo, SheetContext* object, SheetKind kind) {
    AutoLock guard(&m_lock);
    auto* param = reinterpret_cast<POEMUIPSPARAM>(pPSUIInfo->lParamInit);
    if (!param || !object) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return E_FAIL;
    }
    for (const QVSheet* open = m_pSheets; open; open = open->next) {
        if (open->kind == kind && open->id == pPSUIInfo->UserData) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return E_FAIL;
        }
    }
    auto* sheet = new (std::nothrow) QVSheet(kind);
    if (!sheet) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return E_FAIL;
    }
    // The next INIT takes the place of a handle a device sheet left open.
    if (m_keptPrinter) ClosePrinter(m_keptPrinter);
    m_keptPrinter = nullptr;

    sheet->context = *object;
    sheet->context.hPrinter = param->hPrinter;
    sheet->context.pOemDevMode = static_cast<QVOemDevMode*>(param->pOEMDM);
    sheet->context.pPublicDM = param->pPublicDM;
    sheet->context.settingsRead =
        object->records && object->records->ForSheet(sheet->context.pOemDevMode, &sheet->record);
    sheet->context.pSettings = &sheet->record;
    sheet->shown = sheet->record;
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ACCESS_ADMINISTER};
    HANDLE own = nullptr;
    if (OpenPrinterW(param->pPrinterName, &own, &defaults)) {
        sheet->context.hPrinter = own;
        sheet->ownsPrinter = TRUE;
    }
    sheet->initParam = pPSUIInfo->lParamInit;
    sheet->id = ++m_lastId;
    sheet->next = m_pSheets;
    m_pSheets = sheet;
    pPSUIInfo->UserData = sheet->id;
    // Held before any page is added: the page-add function may end this sheet, and others, at once.
    if (m_pHolder) m_pHolder->AddRef();

    sheet->initing = true;
    HRESULT hr = AddPages(pPSUIInfo, sheet);
    sheet->initing = false;
    if (sheet->ended) {
        // Its DESTROY came from the page-add function: it was ended then, and goes now.
        delete sheet;
        return E_FAIL;
    }
    if (SUCCEEDED(hr)) pPSUIInfo->Result = 1;
    return hr;
}

// A sheet ended by a DESTROY called back from the page-add function gets no more pages.
HRESULT QVDrvUI::AddPages(PPROPSHEETUI_INFO pPSUIInfo, QVSheet* sheet) {
    if (sheet->kind == kDeviceSheet) return MakePage(pPSUIInfo, sheet, &sheet->aboutPage, false);
    HRESULT hr = MakePage(pPSUIInfo, sheet, &sheet->layoutPage, true);
    if (FAILED(hr) || sheet->ended) return hr;
    hr = MakePage(pPSUIInfo, sheet, &sheet->paperPage, true);
    if (FAILED(hr) || sheet->ended) return hr;
    return MakePage(pPSUIInfo, sheet, &sheet->aboutPage, false);
}

// The sheet the host means: the one its UserData names, as the common property sheet UI hands it back, or
// for a host that does not (UserData holding no id of ours), the one made from the same OEMUIPSPARAM.
// Nothing else: a DESTROY naming a sheet already ended, or no open sheet, ends none.
QVSheet* QVDrvUI::FindSheet(PPROPSHEETUI_INFO pPSUIInfo, SheetKind kind) const {
    const ULONG_PTR named = pPSUIInfo->UserData;
    const bool ours = named != 0 && named <= m_lastId;
    for (QVSheet* sheet = m_pSheets; sheet; sheet = sheet->next) {
        if (sheet->kind != kind) continue;
        if (ours ? sheet->id == named : pPSUIInfo->lParamInit && sheet->initParam == pPSUIInfo->lParamInit) {
            return sheet;
        }
    }
    return nullptr;
}

// The device sheet's handle stays open, as the controller's context did, until the next INIT or the
// controller goes. The host's UserData keeps naming the ended sheet: the same DESTROY again ends nothing.
bool QVDrvUI::DestroySheet(PPROPSHEETUI_INFO pPSUIInfo, SheetKind kind) {
    AutoLock guard(&m_lock);
    QVSheet* sheet = FindSheet(pPSUIInfo, kind);
    if (!sheet) return false;
    for (QVSheet** link = &m_pSheets; *link; link = &(*link)->next) {
        if (*link == sheet) {
            *link = sheet->next;
            break;
        }
    }
    sheet->ended = true;
    if (kind == kDeviceSheet) {
        HANDLE own = sheet->TakeOwnPrinter();
        if (own) {
            if (m_keptPrinter) ClosePrinter(m_keptPrinter);
            m_keptPrinter = own;
        }
    }
    sheet->End();
    if (!sheet->initing) delete sheet;  // else its INIT deletes it once it is done with it
    return true;
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
    psp.lParam = static_cast<LPARAM>(page->Ticket());
    LONG_PTR added = pPSUIInfo->pfnComPropSheet(pPSUIInfo->hComPropSheet, CPSFUNC_ADD_PROPSHEETPAGEW,
                                                reinterpret_cast<LPARAM>(&psp), 0);
    return added > 0 ? S_OK : E_FAIL;
}

namespace {
LONG gPageDialogs = 0;
// Marks a dialog counted in gPageDialogs: one destroyed before its WM_INITDIALOG was never counted.
constexpr wchar_t kCountedProperty[] = L"Velumor.PageDialog";
}  // namespace

LONG PageDialogsAlive() { return gPageDialogs; }

// The page takes over its dialog at WM_INITDIALOG, so its own message map sees every later message
// first; what it leaves comes here through the dialog manager.
INT_PTR CALLBACK PageDlgProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
    case WM_NCDESTROY:
        if (RemovePropW(hwnd, kCountedProperty)) InterlockedDecrement(&gPageDialogs);
        return FALSE;
    case WM_INITDIALOG: {
        // Unmarked, it stays counted for good: the module then stays loaded, which is the safe side.
        if (!GetPropW(hwnd, kCountedProperty)) {
            InterlockedIncrement(&gPageDialogs);
            SetPropW(hwnd, kCountedProperty, reinterpret_cast<HANDLE>(1));
        }
        auto* psp = reinterpret_cast<LPPROPSHEETPAGEW>(lParam);
        // A host may show a page after its sheet's DESTROY: it then shows nothing and stores nothing. A page
        // takes one dialog: another made from the same description gets nothing of it either.
        VPage* page = psp ? VPage::Find(static_cast<ULONG_PTR>(psp->lParam)) : nullptr;
        if (!page || (page->m_hDialog && IsWindow(page->m_hDialog))) return FALSE;
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
