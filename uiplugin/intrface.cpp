#include "intrface.h"

#include <cstring>
#include <new>

#include "PrinterSettings.h"
#include "QVDrvUI.h"
#include "QVPrinterConfig.h"
#include "resource.h"

// The reference-count checks stay in every build: they are the only report of a host that releases
// more often than it holds.
#undef NDEBUG
#include <assert.h>

LONG glLiveObjects = 0;
LONG glServerLocks = 0;

namespace {

constexpr int kPaperNameChars = 64;
constexpr WORD kCustomPaper = DMPAPER_USER;
constexpr POINT kCustomPaperSize = {210, 297};  // tenths of a millimetre

HRESULT InvalidParameter() {
    SetLastError(ERROR_INVALID_PARAMETER);
    return E_FAIL;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID) {
    if (fdwReason == DLL_PROCESS_ATTACH) ghModule = hinstDLL;
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (rclsid != CLSID_OEMUI) return CLASS_E_CLASSNOTAVAILABLE;
    COemCF* factory = new (std::nothrow) COemCF;
    if (!factory) return E_OUTOFMEMORY;
    HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

// A live factory does not hold the DLL: the host holds it through LockServer if it wants to. A page dialog
// still up does, even after its object went: its dialog procedure is here.
STDAPI DllCanUnloadNow(void) {
    return glLiveObjects == 0 && glServerLocks == 0 && PageDialogsAlive() == 0 ? S_OK : S_FALSE;
}

STDMETHODIMP COemCF::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) COemCF::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_cRef)); }

STDMETHODIMP_(ULONG) COemCF::Release() {
    assert(0 != m_cRef);
    LONG left = InterlockedDecrement(&m_cRef);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

STDMETHODIMP COemCF::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    // Checked before anything is made; the base interfaces are refused as well.
    if (riid != IID_IUnknown && riid != IID_IPrintOemUI2) return E_NOINTERFACE;
    COemUI2* object = new (std::nothrow) COemUI2;
    if (!object) return E_OUTOFMEMORY;
    HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

// No floor at 0: an unbalanced unlock is the host's error, and the DLL then stays loaded.
STDMETHODIMP COemCF::LockServer(BOOL fLock) {
    if (fLock) {
        InterlockedIncrement(&glServerLocks);
    } else {
        InterlockedDecrement(&glServerLocks);
    }
    return S_OK;
}

COemUI2::COemUI2() : m_cRef(1), m_pOwner(nullptr), m_context{}, m_pConfig(nullptr) {
    InterlockedIncrement(&glLiveObjects);
    m_context.pCoreHelper = nullptr;
    m_context.pSettings = new (std::nothrow) QVPrinterSettings();
    m_context.records = &m_records;
    m_pConfig = new (std::nothrow) QVPrinterConfig;
    m_pOwner = new (std::nothrow) QVDrvUI(&m_context, static_cast<IPrintOemUI2*>(this));
}

COemUI2::~COemUI2() {
    if (m_context.pCoreHelper) {
        m_context.pCoreHelper->Release();
        m_context.pCoreHelper = nullptr;
    }
    if (m_pOwner) {
        delete m_pOwner;
        m_pOwner = nullptr;
    }
    if (m_context.pSettings) {
        delete m_context.pSettings;
        m_context.pSettings = nullptr;
    }
    if (m_pConfig) {
        delete m_pConfig;
        m_pConfig = nullptr;
    }
    assert(0 == m_cRef);
    InterlockedDecrement(&glLiveObjects);
}

// Only the interface the core asks for: the base interfaces are not handed out.
STDMETHODIMP COemUI2::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IPrintOemUI2) {
        *ppv = static_cast<IPrintOemUI2*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) COemUI2::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_cRef)); }

STDMETHODIMP_(ULONG) COemUI2::Release() {
    assert(0 != m_cRef);
    LONG left = InterlockedDecrement(&m_cRef);
    if (left == 0) {
        delete this;
        return 0;
    }
    return static_cast<ULONG>(left);
}

STDMETHODIMP COemUI2::GetInfo(DWORD dwMode, PVOID pBuffer, DWORD cbSize, PDWORD pcbNeeded) {
    DWORD answer;
    switch (dwMode) {
    case OEMGI_GETSIGNATURE:
        answer = kOemSignature;
        break;
    case OEMGI_GETVERSION:
        answer = kOemVersion;
        break;
    case OEMGI_GETREQUESTEDHELPERINTERFACES:
        answer = OEMPUBLISH_IPRINTCOREHELPER;
        break;
    default:
        return InvalidParameter();
    }
    if (!pcbNeeded) return InvalidParameter();
    *pcbNeeded = sizeof(DWORD);
    if (cbSize < sizeof(DWORD) || !pBuffer) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return E_FAIL;
    }
    std::memcpy(pBuffer, &answer, sizeof answer);
    return S_OK;
}

STDMETHODIMP COemUI2::DevMode(DWORD dwMode, POEMDMPARAM pOemDMParam) {
    // The MERGE fills the object's one buffer: a MERGE on another thread waits for it.
    AutoLock guard(&m_mergeLock);
    bool read = false;
    HRESULT hr = OemDevMode(dwMode, pOemDMParam, m_context.pSettings, &read);
    if (dwMode == OEMDM_MERGE && SUCCEEDED(hr)) m_records.Merged(static_cast<QVOemDevMode*>(pOemDMParam->pOEMDMOut), read);
    return hr;
}

// The first helper stays: the core publishes once per object, and a second one is not asked for.
STDMETHODIMP COemUI2::PublishDriverInterface(IUnknown* pIUnknown) {
    if (m_context.pCoreHelper) return S_OK;
    if (!pIUnknown) return E_FAIL;
    IPrintCoreHelper* helper = nullptr;
    HRESULT hr = pIUnknown->QueryInterface(IID_IPrintCoreHelper, reinterpret_cast<void**>(&helper));
    if (FAILED(hr) || !helper) return E_FAIL;
    m_context.pCoreHelper = helper;
    return hr;
}

STDMETHODIMP COemUI2::CommonUIProp(DWORD dwMode, POEMCUIPPARAM pOemCUIPParam) {
    return m_pOwner ? m_pOwner->CommonUIProp(dwMode, pOemCUIPParam) : E_FAIL;
}

// An open sheet holds the object (the controller takes that reference as it makes the sheet): its pages
// call into it until its DESTROY, whatever order the host releases in. The call holds it too, so that a
// DESTROY dropping the last other reference (this one's, or a sheet's from a page-add function called back
// meanwhile) lets it go only once the call is done.
HRESULT COemUI2::PropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam, SheetKind kind) {
    if (!m_pOwner) return E_FAIL;
    AddRef();
    HRESULT hr = m_pOwner->PropertySheets(pPSUIInfo, lParam, &m_context, kind);
    Release();
    return hr;
}

STDMETHODIMP COemUI2::DocumentPropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) {
    return PropertySheets(pPSUIInfo, lParam, kDocumentSheet);
}

STDMETHODIMP COemUI2::DevicePropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) {
    return PropertySheets(pPSUIInfo, lParam, kDeviceSheet);
}

STDMETHODIMP COemUI2::DevQueryPrintEx(POEMUIOBJ, PDEVQUERYPRINT_INFO, PDEVMODE, PVOID) { return E_NOTIMPL; }

// Adds one paper to the driver's own answer; dwOld is how many entries the driver wrote.
STDMETHODIMP COemUI2::DeviceCapabilities(POEMUIOBJ, HANDLE, PWSTR, WORD wCapability, PVOID pOutput, PDEVMODE,
                                         PVOID, DWORD dwOld, DWORD* dwResult) {
    if (wCapability != DC_PAPERS && wCapability != DC_PAPERSIZE && wCapability != DC_PAPERNAMES) return E_NOTIMPL;
    if (!dwResult) return InvalidParameter();
    if (dwOld == static_cast<DWORD>(-1)) {
        *dwResult = static_cast<DWORD>(-1);
        return S_OK;
    }
    *dwResult = dwOld + 1;
    if (!pOutput) return S_OK;
    switch (wCapability) {
    case DC_PAPERS:
        static_cast<WORD*>(pOutput)[dwOld] = kCustomPaper;
        break;
    case DC_PAPERSIZE:
        static_cast<POINT*>(pOutput)[dwOld] = kCustomPaperSize;
        break;
    default:
        LoadStringW(ghModule, IDS_CUSTOM_SIZE, static_cast<WCHAR*>(pOutput) + dwOld * kPaperNameChars,
                    kPaperNameChars);
        break;
    }
    return S_OK;
}

STDMETHODIMP COemUI2::UpgradePrinter(DWORD, PBYTE) { return E_NOTIMPL; }

STDMETHODIMP COemUI2::PrinterEvent(PWSTR, INT, DWORD, LPARAM) { return E_NOTIMPL; }

STDMETHODIMP COemUI2::DriverEvent(DWORD, DWORD, LPBYTE, LPARAM) { return E_NOTIMPL; }

STDMETHODIMP COemUI2::QueryColorProfile(HANDLE, POEMUIOBJ, PDEVMODE, PVOID, ULONG, VOID*, ULONG*, FLONG*) {
    return E_NOTIMPL;
}

STDMETHODIMP COemUI2::FontInstallerDlgProc(HWND, UINT, WPARAM, LPARAM) { return E_NOTIMPL; }

STDMETHODIMP COemUI2::UpdateExternalFonts(HANDLE, HANDLE, PWSTR) { return E_NOTIMPL; }

STDMETHODIMP COemUI2::QueryJobAttributes(HANDLE, PDEVMODE, DWORD, LPBYTE) { return E_NOTIMPL; }

// E_NOTIMPL keeps the core's standard pages.
STDMETHODIMP COemUI2::HideStandardUI(DWORD) { return E_NOTIMPL; }

STDMETHODIMP COemUI2::DocumentEvent(HANDLE, HDC, INT, ULONG, PVOID, ULONG, PVOID, INT*) { return E_NOTIMPL; }
