// The driver UI controller: the plug-in's pages on the printer's document and device property sheets, the
// dialog procedure they share, and the option items.
#pragma once
#include <windows.h>
#include <prcomoem.h>

#include "PrinterSettings.h"
#include "QVLock.h"
#include "SheetContext.h"

class CAboutPage;
class CDocLayoutPage;
class CDocPaperSizeManagePage;
class VPage;

enum SheetKind { kDocumentSheet = 1, kDeviceSheet = 2 };

class QVDrvUI {
public:
    QVDrvUI() = default;
    virtual ~QVDrvUI();
    QVDrvUI(const QVDrvUI&) = delete;
    QVDrvUI& operator=(const QVDrvUI&) = delete;

    // partRead: the private part the items are built from (the last MERGE's) holds the printer's record.
    HRESULT CommonUIProp(DWORD dwMode, POEMCUIPPARAM pOemCUIPParam, bool partRead);
    // The count query without an item array; otherwise fills the five items of the "Other Option"
    // group, E_FAIL with ERROR_INSUFFICIENT_BUFFER when the array is shorter.
    HRESULT BuildOptItems(POEMCUIPPARAM pOemCUIPParam, bool partRead);
    // The items were filled from the printer's record: only then may their Apply store it.
    bool ItemsRead() const { return m_itemsRead; }
    // Null outside the document sheet's life.
    SheetContext* GetContext() const { return m_pContext; }
    // Any kind other than kDeviceSheet is the document sheet.
    HRESULT PropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam, SheetContext* context, SheetKind kind);
    // Hands the page to the sheet through the core's page-add function; E_FAIL when it was not added.
    HRESULT AddPropPage(PPROPSHEETUI_INFO pPSUIInfo, VPage* page);
    // The sheet's apply reached one of the plug-in's pages: the printer settings page commits, if the
    // sheet has one.
    void ApplySettingsPage();

private:
    HRESULT InitSheet(PPROPSHEETUI_INFO pPSUIInfo, SheetContext* context, SheetKind kind);
    void DestroySheet(SheetKind kind);
    template <class Page>
    HRESULT MakePage(PPROPSHEETUI_INFO pPSUIInfo, Page** member, bool withContext);
    void CloseOwnPrinter();

    CDocLayoutPage* m_pLayoutPage = nullptr;
    CAboutPage* m_pDocAboutPage = nullptr;
    CAboutPage* m_pDevAboutPage = nullptr;
    CDocPaperSizeManagePage* m_pPaperPage = nullptr;
    SheetContext* m_pContext = nullptr;  // &m_sheet while a sheet is open
    SheetContext m_sheet{};
    QVPrinterSettings m_sheetSettings{};
    QVLock m_lock;
    // Whether the context's printer handle is the one this controller opened; the core's own is never
    // closed here.
    BOOL m_ownsPrinter = FALSE;
    bool m_itemsRead = false;
};

// Stores the option items' values when the user applies the sheet; always CPSUICB_ACTION_NONE.
LONG APIENTRY OptItemCallback(PCPSUICBPARAM pCallbackParam, POEMCUIPPARAM pOemCUIPParam);
LONG APIENTRY NullOptItemCallback(PCPSUICBPARAM pCallbackParam, POEMCUIPPARAM pOemCUIPParam);
// Kept for a caller that wants the printer sheet's callback alone; nothing here calls it.
HRESULT SetNullOptItemCallback(POEMCUIPPARAM pOemCUIPParam);

// The dialog procedure of every plug-in page.
INT_PTR CALLBACK PageDlgProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

// The calling thread's UI language and locale: English on an English system, Chinese otherwise. Nothing
// calls it in this build: pages and strings come in the language the resource loader picks.
BOOL SetUILanguage();
