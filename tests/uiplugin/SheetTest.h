// Velumor's property sheets opened the way the printer-driver UI core opens them, over the PluginTest
// machine and its printer.
#pragma once
#include <compstui_host.h>

#include <memory>
#include <string>

#include "PluginTest.h"

namespace uiplugin_test {

using winsim::control::CompstuiHost;
using winsim::control::DevModeBuffer;
using winsim::control::PropertySheet;
using winsim::control::SheetKind;

// Counts a function's calls from now on, through a scripted failure that keeps waiting for its turn.
class CallCounter {
public:
    explicit CallCounter(const std::string& function);
    int Calls() const;

private:
    static constexpr int kWait = 1000000;
    std::string function_;
};

class SheetTest : public PluginObjectFixture {
protected:
    void TearDown() override;

    // A new sheet of the plug-in on the test's printer; the previous one is destroyed first.
    CompstuiHost& NewSheet(SheetKind kind, DevModeBuffer* devMode = nullptr);
    // Handles on the test's printer opened with exactly that access (the controller's: administer only).
    static size_t OpenHandles(DWORD access);
    static std::wstring Text(HWND window);
    // Template ids of the pages the plug-in added, in order.
    std::vector<int> Templates() const;

    std::unique_ptr<CompstuiHost> sheet;
};

}  // namespace uiplugin_test
