// The driver UI controller: the plug-in's pages on the printer's document and device property sheets, the
// dialog procedure they share, and the option items.
#pragma once
#include <windows.h>
#include <prcomoem.h>

#include <cstddef>

#include "LiveObject.h"
#include "PrinterSettings.h"
#include "QVLock.h"
#include "SheetContext.h"

class CAboutPage;
class CDocLayoutPage;
class CDocPaperSizeManagePage;
class VPage;

enum SheetKind { kDocumentSheet = 1, kDeviceSheet = 2 };

// One open property sheet, made at its INIT and gone at its DESTROY: its pages, its printer handle and its
// own record, so that nothing another sheet, a MERGE or a closed sheet does changes what it shows, stores
// or sends. It owns its pages; they name it as their owner.
class QVSheet {
public:
    explicit QVSheet(SheetKind kind = kDocumentSheet) : kind(kind) {}
    // Deletes its pages and closes the printer handle it opened.
    virtual ~QVSheet();
    QVSheet(const QVSheet&) = delete;
    QVSheet& operator=(const QVSheet&) = delete;

    // The sheet's apply reached one of its pages: its printer settings page commits, if it has one.
    void ApplySettingsPage();
    // The printer handle it opened, which it then no longer closes; null when it works on the core's.
    HANDLE TakeOwnPrinter();
    // What its DESTROY ends: its pages, and its own printer handle.
    void End();

    const SheetKind kind;
    SheetContext context{};
    QVPrinterSettings record{};
    QVPrinterSettings shown{};  // the record as its INIT found it, so that what its page changed can be told
    CDocLayoutPage* layoutPage = nullptr;
    CDocPaperSizeManagePage* paperPage = nullptr;
    CAboutPage* aboutPage = nullptr;
    // Whether context.hPrinter is the handle this sheet opened; the core's own is never closed here.
    BOOL ownsPrinter = FALSE;
    LPARAM initParam = 0;  // the core's OEMUIPSPARAM of its INIT
    ULONG_PTR id = 0;      // what the host's UserData holds for it: never given to another of its sheets
    bool initing = false;  // its INIT is adding pages: a DESTROY called back meanwhile must not delete it
    bool ended = false;
    QVSheet* next = nullptr;
};

class QVDrvUI : public LiveObject<QVDrvUI> {
public:
    // object: the plug-in object's own context, whose records tell what each private part holds. holder,
    // when given, is held once for each open sheet, from the moment the sheet is made until its DESTROY.
    explicit QVDrvUI(SheetContext* object = nullptr, IUnknown* holder = nullptr)
        : m_pObject(object), m_pHolder(holder) {}
    virtual ~QVDrvUI();
    QVDrvUI(const QVDrvUI&) = delete;
    QVDrvUI& operator=(const QVDrvUI&) = delete;

    HRESULT CommonUIProp(DWORD dwMode, POEMCUIPPARAM pOemCUIPParam);
    // The count query without an item array; otherwise fills the five items of the "Other Option"
    // group, E_FAIL with ERROR_INSUFFICIENT_BUFFER when the array is shorter.
    HRESULT BuildOptItems(POEMCUIPPARAM pOemCUIPParam);
    // The user applied the option items: their values are stored when what they go into was read.
    void StoreOptItems(POEMCUIPPARAM pOemCUIPParam);
    // Any kind other than kDeviceSheet is the document sheet. INIT makes a sheet and DESTROY ends it; the
    // PROPSHEETUI_INFO's UserData names the sheet between the two.
    HRESULT PropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam, SheetContext* object, SheetKind kind);
    // Hands the page to the sheet through the core's page-add function; E_FAIL when it was not added.
    HRESULT AddPropPage(PPROPSHEETUI_INFO pPSUIInfo, VPage* page);

private:
    HRESULT InitSheet(PPROPSHEETUI_INFO pPSUIInfo, SheetContext* object, SheetKind kind);
    HRESULT AddPages(PPROPSHEETUI_INFO pPSUIInfo, QVSheet* sheet);
    // True when it ended a sheet, whose hold on the holder the caller then lets go.
    bool DestroySheet(PPROPSHEETUI_INFO pPSUIInfo, SheetKind kind);
    QVSheet* FindSheet(PPROPSHEETUI_INFO pPSUIInfo, SheetKind kind) const;
    QVSheet* DocumentSheetOn(const QVOemDevMode* part) const;
    // The handle of the newest open sheet, else the one a device sheet left open; null without either.
    HANDLE ContextPrinter() const;
    template <class Page>
    HRESULT MakePage(PPROPSHEETUI_INFO pPSUIInfo, QVSheet* sheet, Page** member, bool withContext);

    QVSheet* m_pSheets = nullptr;  // open, newest first
    ULONG_PTR m_lastId = 0;
    // A device sheet's handle stays open after its DESTROY until the next INIT or the controller goes.
    HANDLE m_keptPrinter = nullptr;
    SheetContext* m_pObject;
    IUnknown* m_pHolder;
    mutable QVLock m_lock;
};

// Stores the option items' values when the user applies the sheet; always CPSUICB_ACTION_NONE.
LONG APIENTRY OptItemCallback(PCPSUICBPARAM pCallbackParam, POEMCUIPPARAM pOemCUIPParam);
LONG APIENTRY NullOptItemCallback(PCPSUICBPARAM pCallbackParam, POEMCUIPPARAM pOemCUIPParam);
// Kept for a caller that wants the printer sheet's callback alone; nothing here calls it.
HRESULT SetNullOptItemCallback(POEMCUIPPARAM pOemCUIPParam);

// The dialog procedure of every plug-in page.
INT_PTR CALLBACK PageDlgProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
// How many dialogs still run on PageDlgProc: the module must stay loaded while any does, whatever became
// of the objects.
LONG PageDialogsAlive();

// The calling thread's UI language and locale: English on an English system, Chinese otherwise. Nothing
// calls it in this build: pages and strings come in the language the resource loader picks.
BOOL SetUILanguage();
