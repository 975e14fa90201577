#include "compstui_host.h"

namespace winsim {
namespace control {

CompstuiHost::CompstuiHost(IPrintOemUI2* plugin, SheetKind kind, HMODULE pluginModule, HANDLE printer,
                           const std::wstring& printerName, DevModeBuffer* devMode)
    : plugin_(plugin), kind_(kind), printerName_(printerName), heap_(HeapCreate(0, 0, 0)) {
    param_.cbSize = sizeof param_;
    param_.poemuiobj = &uiObject_;
    param_.hPrinter = printer;
    param_.pPrinterName = printerName_.data();
    param_.hModule = pluginModule;
    param_.hOEMHeap = heap_;
    param_.pPublicDM = devMode ? devMode->Public() : nullptr;
    param_.pOEMDM = devMode ? devMode->Oem() : nullptr;
    info_.cbSize = sizeof info_;
    info_.Version = PROPSHEETUI_INFO_VERSION;
    info_.hComPropSheet = static_cast<HANDLE>(this);
    info_.pfnComPropSheet = ComPropSheet;
    info_.lParamInit = reinterpret_cast<LPARAM>(&param_);
    sheet_.onClosed = [this](bool ok) { Closed(ok); };
}

CompstuiHost::~CompstuiHost() {
    Destroy();
    if (heap_) HeapDestroy(heap_);
}

// Pages come as CreatePropertySheetPageW makes them; a page it refuses gets ERR_CPSUI_GETLASTERROR.
// Simplified: every other function answers 0.
LONG_PTR CALLBACK CompstuiHost::ComPropSheet(HANDLE hComPropSheet, UINT function, LPARAM lParam1, LPARAM) {
    auto* self = static_cast<CompstuiHost*>(hComPropSheet);
    if (!self || function != CPSFUNC_ADD_PROPSHEETPAGEW || !lParam1) return 0;
    HPROPSHEETPAGE page = self->sheet_.AddPage(*reinterpret_cast<const PROPSHEETPAGEW*>(lParam1));
    return page ? reinterpret_cast<LONG_PTR>(page) : ERR_CPSUI_GETLASTERROR;
}

HRESULT CompstuiHost::Send(WORD reason, LPARAM lParam) {
    info_.Reason = reason;
    HRESULT hr = kind_ == SheetKind::Document ? plugin_->DocumentPropertySheets(&info_, lParam)
                                              : plugin_->DevicePropertySheets(&info_, lParam);
    calls_.push_back({reason, hr, info_.Result});
    return hr;
}

HRESULT CompstuiHost::Open(size_t startPage) {
    if (initialised_) return E_UNEXPECTED;
    initialised_ = true;
    HRESULT hr = Send(PROPSHEETUI_REASON_INIT, 0);
    if (FAILED(hr)) return hr;
    PROPSHEETUI_INFO_HEADER header{};
    header.cbSize = sizeof header;
    Send(PROPSHEETUI_REASON_GET_INFO_HEADER, reinterpret_cast<LPARAM>(&header));
    Send(PROPSHEETUI_REASON_BEFORE_INIT, 0);
    if (sheet_.PageCount() > 0) sheet_.Show(startPage);
    return hr;
}

void CompstuiHost::Closed(bool ok) {
    SETRESULT_INFO result{};
    result.cbSize = sizeof result;
    result.hSetResult = static_cast<HANDLE>(this);
    result.Result = ok ? CPSUI_OK : CPSUI_CANCEL;
    Send(PROPSHEETUI_REASON_SET_RESULT, reinterpret_cast<LPARAM>(&result));
    Destroy();
}

HRESULT CompstuiHost::Destroy() {
    if (!initialised_ || destroyed_) return S_FALSE;
    destroyed_ = true;
    sheet_.Close();
    return Send(PROPSHEETUI_REASON_DESTROY, 0);
}

}  // namespace control
}  // namespace winsim
