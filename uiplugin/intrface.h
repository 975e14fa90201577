// Velumor's COM face: the class factory, the OEM UI plug-in object and the module's counters.
#pragma once
#include <windows.h>
#include <prcomoem.h>

#include "KnownRecords.h"
#include "Module.h"
#include "QVDrvUI.h"
#include "SheetContext.h"

class QVPrinterConfig;

DEFINE_GUID(CLSID_OEMUI, 0xABCE80D7, 0x9F46, 0x11D1, 0x88, 0x2A, 0x00, 0xC0, 0x4F, 0xB9, 0x61, 0xEC);

extern LONG glLiveObjects;
extern LONG glServerLocks;

class COemCF final : public IClassFactory {
public:
    COemCF() = default;

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;
    STDMETHOD(CreateInstance)(IUnknown* pUnkOuter, REFIID riid, void** ppv) override;
    STDMETHOD(LockServer)(BOOL fLock) override;

private:
    LONG m_cRef = 1;
};

class COemUI2 : public IPrintOemUI2 {
public:
    COemUI2();
    COemUI2(const COemUI2&) = delete;
    COemUI2& operator=(const COemUI2&) = delete;

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;

    STDMETHOD(GetInfo)(DWORD dwMode, PVOID pBuffer, DWORD cbSize, PDWORD pcbNeeded) override;
    STDMETHOD(DevMode)(DWORD dwMode, POEMDMPARAM pOemDMParam) override;

    STDMETHOD(PublishDriverInterface)(IUnknown* pIUnknown) override;
    STDMETHOD(CommonUIProp)(DWORD dwMode, POEMCUIPPARAM pOemCUIPParam) override;
    STDMETHOD(DocumentPropertySheets)(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) override;
    STDMETHOD(DevicePropertySheets)(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) override;
    STDMETHOD(DevQueryPrintEx)(POEMUIOBJ poemuiobj, PDEVQUERYPRINT_INFO pDQPInfo, PDEVMODE pPublicDM,
                               PVOID pOEMDM) override;
    STDMETHOD(DeviceCapabilities)(POEMUIOBJ poemuiobj, HANDLE hPrinter, PWSTR pDeviceName, WORD wCapability,
                                  PVOID pOutput, PDEVMODE pPublicDM, PVOID pOEMDM, DWORD dwOld,
                                  DWORD* dwResult) override;
    STDMETHOD(UpgradePrinter)(DWORD dwLevel, PBYTE pDriverUpgradeInfo) override;
    STDMETHOD(PrinterEvent)(PWSTR pPrinterName, INT iDriverEvent, DWORD dwFlags, LPARAM lParam) override;
    STDMETHOD(DriverEvent)(DWORD dwDriverEvent, DWORD dwLevel, LPBYTE pDriverInfo, LPARAM lParam) override;
    STDMETHOD(QueryColorProfile)(HANDLE hPrinter, POEMUIOBJ poemuiobj, PDEVMODE pPublicDM, PVOID pOEMDM,
                                 ULONG ulQueryMode, VOID* pvProfileData, ULONG* pcbProfileData,
                                 FLONG* pflProfileData) override;
    STDMETHOD(FontInstallerDlgProc)(HWND hWnd, UINT usMsg, WPARAM wParam, LPARAM lParam) override;
    STDMETHOD(UpdateExternalFonts)(HANDLE hPrinter, HANDLE hHeap, PWSTR pwstrCartridges) override;

    STDMETHOD(QueryJobAttributes)(HANDLE hPrinter, PDEVMODE pDevmode, DWORD dwLevel, LPBYTE lpAttributeInfo) override;
    STDMETHOD(HideStandardUI)(DWORD dwMode) override;
    STDMETHOD(DocumentEvent)(HANDLE hPrinter, HDC hdc, INT iEsc, ULONG cbIn, PVOID pvIn, ULONG cbOut, PVOID pvOut,
                             INT* piResult) override;

    virtual ~COemUI2();

private:
    HRESULT PropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam, SheetKind kind);

    LONG m_cRef;
    QVDrvUI* m_pOwner;
    SheetContext m_context;
    QVPrinterConfig* m_pConfig;
    KnownRecords m_records;
    QVLock m_mergeLock;
};
