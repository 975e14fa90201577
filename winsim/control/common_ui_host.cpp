#include "common_ui_host.h"

#include <cstring>

namespace winsim {
namespace control {

CommonUIHost::CommonUIHost(IPrintOemUI2* plugin, HMODULE pluginModule, HANDLE printer,
                           const std::wstring& printerName, DevModeBuffer* devMode)
    : plugin_(plugin), printerName_(printerName), heap_(HeapCreate(0, 0, 0)) {
    param_.cbSize = sizeof param_;
    param_.poemuiobj = &uiObject_;
    param_.hPrinter = printer;
    param_.pPrinterName = printerName_.data();
    param_.hModule = pluginModule;
    param_.hOEMHeap = heap_;
    param_.pPublicDM = devMode ? devMode->Public() : nullptr;
    param_.pOEMDM = devMode ? devMode->Oem() : nullptr;
}

CommonUIHost::~CommonUIHost() {
    if (heap_) HeapDestroy(heap_);
}

HRESULT CommonUIHost::Query(DWORD mode) {
    items_.clear();
    param_.pOEMOptItems = nullptr;
    return plugin_->CommonUIProp(mode, &param_);
}

HRESULT CommonUIHost::Fill(DWORD mode, DWORD count) {
    items_.assign(count + kGuardItems, OPTITEM{});
    std::memset(static_cast<void*>(items_.data()), kGuardByte, items_.size() * sizeof(OPTITEM));
    param_.pOEMOptItems = items_.data();
    param_.cOEMOptItems = count;
    return plugin_->CommonUIProp(mode, &param_);
}

HRESULT CommonUIHost::Describe(DWORD mode) {
    HRESULT hr = Query(mode);
    if (FAILED(hr) || param_.cOEMOptItems == 0) return hr;
    return Fill(mode, param_.cOEMOptItems);
}

bool CommonUIHost::GuardIntact() const {
    if (items_.empty()) return true;
    const auto* guard = reinterpret_cast<const BYTE*>(items_.data() + ItemCount());
    for (size_t i = 0; i < kGuardItems * sizeof(OPTITEM); ++i) {
        if (guard[i] != kGuardByte) return false;
    }
    return true;
}

LONG CommonUIHost::Select(size_t item, LONG sel) {
    if (item >= ItemCount()) return -1;
    LONG old = items_[item].Sel;
    items_[item].Sel = sel;
    if (!(items_[item].Flags & OPTIF_CALLBACK)) return CPSUICB_ACTION_NONE;
    CPSUICBPARAM cb{};
    cb.cbSize = sizeof cb;
    cb.Reason = CPSUICB_REASON_SEL_CHANGED;
    cb.pOptItem = items_.data();
    cb.cOptItem = static_cast<WORD>(ItemCount());
    cb.pCurItem = &items_[item];
    cb.OldSel = old;
    return param_.OEMCUIPCallback ? param_.OEMCUIPCallback(&cb, &param_) : -1;
}

LONG CommonUIHost::Apply() { return Callback(CPSUICB_REASON_APPLYNOW, 0); }

// Simplified: the core's own items are not part of the tree; the callback sees the plug-in's alone.
LONG CommonUIHost::Callback(WORD reason, size_t current) {
    if (!param_.OEMCUIPCallback) return -1;
    CPSUICBPARAM cb{};
    cb.cbSize = sizeof cb;
    cb.Reason = reason;
    cb.pOptItem = Items();
    cb.cOptItem = static_cast<WORD>(ItemCount());
    cb.pCurItem = current < ItemCount() ? &items_[current] : nullptr;
    return param_.OEMCUIPCallback(&cb, &param_);
}

}  // namespace control
}  // namespace winsim
