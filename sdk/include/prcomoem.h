// The COM interfaces between the printer-driver UI core and an OEM UI plug-in, written from Microsoft's
// public documentation: neither mingw-w64 nor winsim ships them, so both builds use this one copy.
// Methods keep their documented order: it is the vtable's. On Windows the interface ids are defined
// once, in winbuild/velumor_guids.cpp (INITGUID).
#pragma once
#include <windows.h>
#include <objbase.h>
#include <compstui.h>
#include <winddiui.h>

#include "printoem.h"

// mingw-w64's winddiui.h lacks it; the plug-in only passes it on.
typedef struct _DEVQUERYPRINT_INFO DEVQUERYPRINT_INFO, *PDEVQUERYPRINT_INFO;

DEFINE_GUID(IID_IPrintOemCommon, 0x7F42285E, 0x91D5, 0x11D1, 0x88, 0x20, 0x00, 0xC0, 0x4F, 0xB9, 0x61, 0xEC);
DEFINE_GUID(IID_IPrintOemUI, 0xC6A7A9D0, 0x774C, 0x11D1, 0x94, 0x7F, 0x00, 0xA0, 0xC9, 0x06, 0x40, 0xB8);
DEFINE_GUID(IID_IPrintOemUI2, 0x292515F9, 0xB54B, 0x489B, 0x92, 0x75, 0xBA, 0xB5, 0x68, 0x21, 0x39, 0x5E);
DEFINE_GUID(IID_IPrintCoreHelper, 0xA89EC53E, 0x3905, 0x49C6, 0x9C, 0x1A, 0xC0, 0xA8, 0x81, 0x17, 0xFD, 0xB6);

#ifdef __cplusplus
struct IPrintOemCommon : public IUnknown {
    STDMETHOD(GetInfo)(DWORD dwMode, PVOID pBuffer, DWORD cbSize, PDWORD pcbNeeded) PURE;
    STDMETHOD(DevMode)(DWORD dwMode, POEMDMPARAM pOemDMParam) PURE;
};

struct IPrintOemUI : public IPrintOemCommon {
    STDMETHOD(PublishDriverInterface)(IUnknown* pIUnknown) PURE;
    STDMETHOD(CommonUIProp)(DWORD dwMode, POEMCUIPPARAM pOemCUIPParam) PURE;
    STDMETHOD(DocumentPropertySheets)(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) PURE;
    STDMETHOD(DevicePropertySheets)(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) PURE;
    STDMETHOD(DevQueryPrintEx)(POEMUIOBJ poemuiobj, PDEVQUERYPRINT_INFO pDQPInfo, PDEVMODE pPublicDM,
                               PVOID pOEMDM) PURE;
    STDMETHOD(DeviceCapabilities)(POEMUIOBJ poemuiobj, HANDLE hPrinter, PWSTR pDeviceName, WORD wCapability,
                                  PVOID pOutput, PDEVMODE pPublicDM, PVOID pOEMDM, DWORD dwOld,
                                  DWORD* dwResult) PURE;
    STDMETHOD(UpgradePrinter)(DWORD dwLevel, PBYTE pDriverUpgradeInfo) PURE;
    STDMETHOD(PrinterEvent)(PWSTR pPrinterName, INT iDriverEvent, DWORD dwFlags, LPARAM lParam) PURE;
    STDMETHOD(DriverEvent)(DWORD dwDriverEvent, DWORD dwLevel, LPBYTE pDriverInfo, LPARAM lParam) PURE;
    STDMETHOD(QueryColorProfile)(HANDLE hPrinter, POEMUIOBJ poemuiobj, PDEVMODE pPublicDM, PVOID pOEMDM,
                                 ULONG ulQueryMode, VOID* pvProfileData, ULONG* pcbProfileData,
                                 FLONG* pflProfileData) PURE;
    STDMETHOD(FontInstallerDlgProc)(HWND hWnd, UINT usMsg, WPARAM wParam, LPARAM lParam) PURE;
    STDMETHOD(UpdateExternalFonts)(HANDLE hPrinter, HANDLE hHeap, PWSTR pwstrCartridges) PURE;
};

struct IPrintOemUI2 : public IPrintOemUI {
    STDMETHOD(QueryJobAttributes)(HANDLE hPrinter, PDEVMODE pDevmode, DWORD dwLevel, LPBYTE lpAttributeInfo) PURE;
    STDMETHOD(HideStandardUI)(DWORD dwMode) PURE;
    STDMETHOD(DocumentEvent)(HANDLE hPrinter, HDC hdc, INT iEsc, ULONG cbIn, PVOID pvIn, ULONG cbOut, PVOID pvOut,
                             INT* piResult) PURE;
};

typedef struct _PRINT_FEATURE_OPTION {
    PCSTR pszFeature;
    PCSTR pszOption;
} PRINT_FEATURE_OPTION, *PPRINT_FEATURE_OPTION;

struct IPrintCoreHelper : public IUnknown {
    STDMETHOD(GetOption)(const DEVMODE* pDevmode, DWORD cbSize, PCSTR pszFeatureRequested, PCSTR* ppszOption) PURE;
    STDMETHOD(SetOptions)(DEVMODE* pDevmode, DWORD cbSize, BOOL bResolveConflicts,
                          const PRINT_FEATURE_OPTION* pFOPairs, DWORD cPairs, DWORD* pcPairsWritten,
                          DWORD* pdwResult) PURE;
    STDMETHOD(EnumConstrainedOptions)(const DEVMODE* pDevmode, DWORD cbSize, PCSTR pszFeatureKeyword,
                                      PCSTR** pConstrainedOptionList, DWORD* pdwNumOptions) PURE;
    STDMETHOD(WhyConstrained)(const DEVMODE* pDevmode, DWORD cbSize, PCSTR pszFeatureKeyword, PCSTR pszOptionKeyword,
                              const PRINT_FEATURE_OPTION** ppFOConstraints, DWORD* pdwNumOptions) PURE;
    STDMETHOD(EnumFeatures)(PCSTR** pFeatureList, DWORD* pdwNumFeatures) PURE;
    STDMETHOD(EnumOptions)(PCSTR pszFeatureKeyword, PCSTR** pOptionList, DWORD* pdwNumOptions) PURE;
    STDMETHOD(GetFontSubstitution)(PCWSTR pszTrueTypeFontName, PCWSTR* ppszDevFontName) PURE;
    STDMETHOD(SetFontSubstitution)(PCWSTR pszTrueTypeFontName, PCWSTR pszDevFontName) PURE;
    STDMETHOD(CreateInstanceOfMSXMLObject)(REFCLSID rclsid, IUnknown* punkOuter, DWORD dwClsContext, REFIID riid,
                                           LPVOID* ppv) PURE;
};
#endif
