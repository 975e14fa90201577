// The option tree of the common property sheet UI as the printer-driver UI core builds it from an OEM
// UI plug-in, for tests: CommonUIProp asked for the count, asked again with an array of that size in an
// OEMCUIPPARAM whose strings go to the core's heap, and the plug-in's callback run as the user changes
// an item or applies the sheet.
#pragma once
#include <windows.h>
#include <prcomoem.h>

#include <string>
#include <vector>

#include "plugin_host.h"

namespace winsim {
namespace control {

class CommonUIHost {
public:
    // OPTITEMs past the array the plug-in is given, filled with kGuardByte, to catch writes beyond it.
    static constexpr size_t kGuardItems = 2;
    static constexpr BYTE kGuardByte = 0xA5;

    CommonUIHost(IPrintOemUI2* plugin, HMODULE pluginModule, HANDLE printer, const std::wstring& printerName,
                 DevModeBuffer* devMode = nullptr);
    ~CommonUIHost();
    CommonUIHost(const CommonUIHost&) = delete;
    CommonUIHost& operator=(const CommonUIHost&) = delete;

    // The count query: no array. The count is in Param().cOEMOptItems afterwards.
    HRESULT Query(DWORD mode);
    // The call with an array of `count` items.
    HRESULT Fill(DWORD mode, DWORD count);
    // Both calls, the second with the count the first answered, as the core does.
    HRESULT Describe(DWORD mode);

    // The array the plug-in filled (without the guard).
    OPTITEM* Items() { return items_.empty() ? nullptr : items_.data(); }
    size_t ItemCount() const { return items_.empty() ? 0 : items_.size() - kGuardItems; }
    bool GuardIntact() const;
    OEMCUIPPARAM& Param() { return param_; }

    // The user sets an item's value (CPSUICB_REASON_SEL_CHANGED when the item asks for callbacks).
    LONG Select(size_t item, LONG sel);
    // The user applies the sheet: CPSUICB_REASON_APPLYNOW. Answers the callback's action.
    LONG Apply();
    // The callback with any reason; -1 when the plug-in installed none.
    LONG Callback(WORD reason, size_t current);

private:
    IPrintOemUI2* plugin_;
    std::wstring printerName_;
    HANDLE heap_;
    OEMUIOBJ uiObject_{sizeof(OEMUIOBJ), nullptr};
    OEMCUIPPARAM param_{};
    std::vector<OPTITEM> items_;
};

}  // namespace control
}  // namespace winsim
