#include "plugin_host.h"

#include <cstring>

namespace winsim {
namespace control {

STDMETHODIMP CoreHelper::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IPrintCoreHelper) ++helperQueries_;
    if (riid == IID_IUnknown || (answersHelper && riid == IID_IPrintCoreHelper)) {
        *ppv = static_cast<IPrintCoreHelper*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CoreHelper::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

STDMETHODIMP_(ULONG) CoreHelper::Release() {
    LONG left = InterlockedDecrement(&refs_);
    if (left == 0 && onLastRelease) onLastRelease();
    return static_cast<ULONG>(left);
}

DevModeBuffer::DevModeBuffer(DWORD oemSize)
    : oemSize_(oemSize), bytes_(sizeof(DEVMODEW) + kDriverPartSize + oemSize) {
    DEVMODEW* dm = Public();
    const char16_t name[] = u"Printer";
    std::memcpy(dm->dmDeviceName, name, sizeof name);
    dm->dmSpecVersion = DM_SPECVERSION;
    dm->dmSize = sizeof(DEVMODEW);
    dm->dmDriverExtra = static_cast<WORD>(kDriverPartSize + oemSize);
    dm->dmFields = DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH;
    dm->dmPaperSize = DMPAPER_USER;
    std::memset(DriverPart(), kDriverPartByte, kDriverPartSize);
}

PluginHost::PluginHost(const std::wstring& dllPath) {
    module_ = LoadLibraryW(dllPath.c_str());
    if (!module_) {
        error_ = GetLastError();
        return;
    }
    // Through void(*)(), the one function type every other converts from without complaint.
    using AnyFunction = void (*)();
    getClassObject_ = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<AnyFunction>(GetProcAddress(module_, "DllGetClassObject")));
    if (!getClassObject_) error_ = GetLastError();
    canUnloadNow_ = reinterpret_cast<CanUnloadNowFn>(
        reinterpret_cast<AnyFunction>(GetProcAddress(module_, "DllCanUnloadNow")));
    if (!canUnloadNow_) error_ = GetLastError();
}

PluginHost::~PluginHost() {
    if (module_) FreeLibrary(module_);
}

HRESULT PluginHost::GetClassObject(REFCLSID clsid, REFIID iid, void** out) const {
    return getClassObject_ ? getClassObject_(clsid, iid, out) : E_FAIL;
}

HRESULT PluginHost::CanUnloadNow() const { return canUnloadNow_ ? canUnloadNow_() : E_FAIL; }

BOOL PluginHost::Unload() {
    if (!module_) return FALSE;
    BOOL freed = FreeLibrary(module_);
    module_ = nullptr;
    getClassObject_ = nullptr;
    canUnloadNow_ = nullptr;
    return freed;
}

HRESULT PluginHost::CreatePlugin(REFCLSID clsid, IPrintOemUI2** out) const {
    *out = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT hr = GetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(nullptr, IID_IPrintOemUI2, reinterpret_cast<void**>(out));
    factory->Release();
    return hr;
}

HRESULT PluginHost::Publish(IPrintOemUI2* plugin, IUnknown* helper) const {
    DWORD wanted = 0;
    DWORD needed = 0;
    HRESULT hr = plugin->GetInfo(OEMGI_GETREQUESTEDHELPERINTERFACES, &wanted, sizeof wanted, &needed);
    if (FAILED(hr)) return hr;
    if (!(wanted & OEMPUBLISH_IPRINTCOREHELPER)) return S_FALSE;
    return plugin->PublishDriverInterface(helper);
}

HRESULT PluginHost::DevMode(IPrintOemUI2* plugin, DWORD mode, HANDLE printer, DevModeBuffer* in, DevModeBuffer* out,
                            DWORD* bufSize) const {
    OEMDMPARAM param{};
    param.cbSize = sizeof param;
    param.pdriverobj = &uiObject_;
    param.hPrinter = printer;
    param.hModule = module_;
    param.pPublicDMIn = in ? in->Public() : nullptr;
    param.pPublicDMOut = out ? out->Public() : nullptr;
    param.pOEMDMIn = in ? in->Oem() : nullptr;
    param.pOEMDMOut = out ? out->Oem() : nullptr;
    param.cbBufSize = out ? out->OemSize() : 0;
    HRESULT hr = plugin->DevMode(mode, &param);
    if (bufSize) *bufSize = param.cbBufSize;
    return hr;
}

HRESULT PluginHost::NewDevMode(IPrintOemUI2* plugin, HANDLE printer, short paperWidth, short paperLength,
                               std::unique_ptr<DevModeBuffer>* out) const {
    DWORD size = 0;
    HRESULT hr = DevMode(plugin, OEMDM_SIZE, printer, nullptr, nullptr, &size);
    if (FAILED(hr)) return hr;
    DevModeBuffer defaults(size);
    hr = DevMode(plugin, OEMDM_DEFAULT, printer, nullptr, &defaults);
    if (FAILED(hr)) return hr;
    defaults.Public()->dmPaperWidth = paperWidth;
    defaults.Public()->dmPaperLength = paperLength;
    auto merged = std::make_unique<DevModeBuffer>(size);
    std::memcpy(merged->Public(), defaults.Public(), sizeof(DEVMODEW) + DevModeBuffer::kDriverPartSize + size);
    hr = DevMode(plugin, OEMDM_MERGE, printer, &defaults, merged.get());
    if (SUCCEEDED(hr)) *out = std::move(merged);
    return hr;
}

HRESULT PluginHost::DeviceCapabilities(IPrintOemUI2* plugin, HANDLE printer, WORD capability, void* output,
                                       DWORD previous, DWORD* result) const {
    WCHAR device[] = L"Printer";
    return plugin->DeviceCapabilities(&uiObject_, printer, device, capability, output, nullptr, nullptr, previous,
                                      result);
}

}  // namespace control
}  // namespace winsim
