// The printer-driver UI core's side of an OEM UI plug-in, for tests: loads the plug-in's DLL from its
// file with LoadLibraryW, makes its object through the exported class factory, publishes a core helper
// and calls the plug-in's methods with the arguments and buffers the core passes.
#pragma once
#include <windows.h>
#include <prcomoem.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace winsim {
namespace control {

// A core helper owned by the test: it counts references (starting with the test's own) and answers
// E_NOTIMPL to every feature query, which the plug-ins under test never make.
class CoreHelper final : public IPrintCoreHelper {
public:
    // Whether QueryInterface hands out IPrintCoreHelper (a core without the helper says no).
    bool answersHelper = true;
    // Runs when the count drops to 0.
    std::function<void()> onLastRelease;
    LONG References() const { return refs_; }
    int HelperQueries() const { return helperQueries_; }

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;

    STDMETHOD(GetOption)(const DEVMODE*, DWORD, PCSTR, PCSTR*) override { return E_NOTIMPL; }
    STDMETHOD(SetOptions)(DEVMODE*, DWORD, BOOL, const PRINT_FEATURE_OPTION*, DWORD, DWORD*, DWORD*) override {
        return E_NOTIMPL;
    }
    STDMETHOD(EnumConstrainedOptions)(const DEVMODE*, DWORD, PCSTR, PCSTR**, DWORD*) override { return E_NOTIMPL; }
    STDMETHOD(WhyConstrained)(const DEVMODE*, DWORD, PCSTR, PCSTR, const PRINT_FEATURE_OPTION**, DWORD*) override {
        return E_NOTIMPL;
    }
    STDMETHOD(EnumFeatures)(PCSTR**, DWORD*) override { return E_NOTIMPL; }
    STDMETHOD(EnumOptions)(PCSTR, PCSTR**, DWORD*) override { return E_NOTIMPL; }
    STDMETHOD(GetFontSubstitution)(PCWSTR, PCWSTR*) override { return E_NOTIMPL; }
    STDMETHOD(SetFontSubstitution)(PCWSTR, PCWSTR) override { return E_NOTIMPL; }
    STDMETHOD(CreateInstanceOfMSXMLObject)(REFCLSID, IUnknown*, DWORD, REFIID, LPVOID*) override {
        return E_NOTIMPL;
    }

private:
    LONG refs_ = 1;
    int helperQueries_ = 0;
};

// One DEVMODE as the core keeps it in a single block: the public part, the driver's own private part
// (filled with kDriverPartByte, which plug-ins must leave alone), then one plug-in's private part.
class DevModeBuffer {
public:
    static constexpr BYTE kDriverPartByte = 0xD5;
    static constexpr WORD kDriverPartSize = 32;

    explicit DevModeBuffer(DWORD oemSize);
    DEVMODEW* Public() { return reinterpret_cast<DEVMODEW*>(bytes_.data()); }
    BYTE* DriverPart() { return bytes_.data() + sizeof(DEVMODEW); }
    BYTE* Oem() { return DriverPart() + kDriverPartSize; }
    DWORD OemSize() const { return oemSize_; }

private:
    DWORD oemSize_;
    std::vector<BYTE> bytes_;
};

class PluginHost {
public:
    // Loads the plug-in (a Win32 path, as the driver's INF names it) and looks up its two exports.
    explicit PluginHost(const std::wstring& dllPath);
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    HMODULE Module() const { return module_; }
    // True when the library and both exports were found; otherwise LoadError() tells why.
    bool Loaded() const { return getClassObject_ && canUnloadNow_; }
    DWORD LoadError() const { return error_; }

    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) const;
    HRESULT CanUnloadNow() const;
    // FreeLibrary, as the core does once DllCanUnloadNow said S_OK.
    BOOL Unload();

    // As the core opens its UI: the class factory of the class, CreateInstance for IPrintOemUI2 with no
    // outer object, the factory released.
    HRESULT CreatePlugin(REFCLSID clsid, IPrintOemUI2** out) const;
    // Asks which helper interfaces the plug-in wants and publishes the helper when it wants the core
    // helper; S_FALSE when it wants none.
    HRESULT Publish(IPrintOemUI2* plugin, IUnknown* helper) const;

    // IPrintOemCommon::DevMode with the OEMDMPARAM the core builds: parts of null buffers are null;
    // cbBufSize is the output part's size, and receives the plug-in's answer for OEMDM_SIZE.
    HRESULT DevMode(IPrintOemUI2* plugin, DWORD mode, HANDLE printer, DevModeBuffer* in, DevModeBuffer* out,
                    DWORD* bufSize = nullptr) const;
    // The core's way to a new job DEVMODE: OEMDM_SIZE, a buffer of that size, OEMDM_DEFAULT, the public
    // paper size (tenths of a millimetre), then OEMDM_MERGE of that DEVMODE into a second one.
    HRESULT NewDevMode(IPrintOemUI2* plugin, HANDLE printer, short paperWidth, short paperLength,
                       std::unique_ptr<DevModeBuffer>* out) const;
    HRESULT DeviceCapabilities(IPrintOemUI2* plugin, HANDLE printer, WORD capability, void* output, DWORD previous,
                               DWORD* result) const;

private:
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, LPVOID*);
    using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

    HMODULE module_ = nullptr;
    DWORD error_ = 0;
    GetClassObjectFn getClassObject_ = nullptr;
    CanUnloadNowFn canUnloadNow_ = nullptr;
    mutable OEMUIOBJ uiObject_{sizeof(OEMUIOBJ), nullptr};
};

}  // namespace control
}  // namespace winsim
