// The common property sheet UI as the printer-driver UI core drives it for an OEM UI plug-in, for tests:
// the PROPSHEETUI_INFO with its page-add function, the reasons in the order the core sends them (INIT,
// GET_INFO_HEADER and BEFORE_INIT on opening; SET_RESULT and DESTROY once the sheet has closed and its
// pages' windows are gone), and the sheet the added pages are shown in.
#pragma once
#include <windows.h>
#include <compstui.h>
#include <prcomoem.h>

#include <string>
#include <vector>

#include "plugin_host.h"
#include "property_sheet.h"

namespace winsim {
namespace control {

enum class SheetKind { Document, Device };

class CompstuiHost {
public:
    struct Call {
        WORD reason;
        HRESULT result;
        ULONG_PTR infoResult;  // PROPSHEETUI_INFO::Result after the call
    };

    // The core's printer handle and its DEVMODE (document properties only; null for the device sheet)
    // go to the plug-in in the OEMUIPSPARAM.
    CompstuiHost(IPrintOemUI2* plugin, SheetKind kind, HMODULE pluginModule, HANDLE printer,
                 const std::wstring& printerName, DevModeBuffer* devMode = nullptr);
    // Closes an open sheet and sends DESTROY when INIT was sent, as the core always pairs them.
    ~CompstuiHost();
    CompstuiHost(const CompstuiHost&) = delete;
    CompstuiHost& operator=(const CompstuiHost&) = delete;

    // INIT; when it succeeds, GET_INFO_HEADER and BEFORE_INIT, and the sheet opens on startPage. Answers
    // INIT's result.
    HRESULT Open(size_t startPage = 0);
    // DESTROY now (the sheet's windows go first); S_FALSE when there is nothing to destroy.
    HRESULT Destroy();

    PropertySheet& Sheet() { return sheet_; }
    const std::vector<Call>& Calls() const { return calls_; }
    const PROPSHEETUI_INFO& Info() const { return info_; }
    const OEMUIPSPARAM& Param() const { return param_; }

private:
    static LONG_PTR CALLBACK ComPropSheet(HANDLE hComPropSheet, UINT function, LPARAM lParam1, LPARAM lParam2);
    HRESULT Send(WORD reason, LPARAM lParam);
    void Closed(bool ok);

    IPrintOemUI2* plugin_;
    SheetKind kind_;
    std::wstring printerName_;
    HANDLE heap_;
    OEMUIOBJ uiObject_{sizeof(OEMUIOBJ), nullptr};
    OEMUIPSPARAM param_{};
    PROPSHEETUI_INFO info_{};
    PropertySheet sheet_;
    std::vector<Call> calls_;
    bool initialised_ = false;
    bool destroyed_ = false;
};

}  // namespace control
}  // namespace winsim
