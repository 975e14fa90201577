#include <windows.h>
#include <shellapi.h>

#include "../core/devices.h"
#include "../core/machine.h"
#include "../core/text.h"

namespace {

// What the system tools named through "cmd /c" do to the machine.
void CarryOut(winsim::Json& machine, const std::string& file, const std::string& parameters) {
    if (!winsim::devices::SameText(file, "cmd")) return;
    const std::string restart = "/c pnputil /restart-device ";
    if (parameters.compare(0, restart.size(), restart) == 0) {
        std::string id = parameters.substr(restart.size());
        if (id.size() >= 2 && id.front() == '"' && id.back() == '"') id = id.substr(1, id.size() - 2);
        winsim::Json& devices = winsim::ChildArray(machine, "devices");
        for (size_t i = 0; i < devices.size(); ++i) {
            if (winsim::devices::SameText(winsim::StringAt(devices.at(i), "instanceId", ""), id)) {
                devices[i]["restarts"] = winsim::Json::number(winsim::IntAt(devices.at(i), "restarts", 0) + 1);
            }
        }
    }
}

}  // namespace

// Simplified: nothing is started. The command is recorded in the machine ("shell.commands"), where the
// machine carries out what the named system tool would do; like the real call it is not waited for.
extern "C" HINSTANCE WINAPI ShellExecuteW(HWND, LPCWSTR lpOperation, LPCWSTR lpFile, LPCWSTR lpParameters,
                                          LPCWSTR lpDirectory, INT nShowCmd) {
    uint32_t fault;
    if (winsim::TakeFault("ShellExecuteW", &fault)) {
        SetLastError(fault);
        return reinterpret_cast<HINSTANCE>(static_cast<intptr_t>(fault <= 32 ? fault : SE_ERR_FNF));
    }
    if (!lpFile || !*lpFile) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return reinterpret_cast<HINSTANCE>(static_cast<intptr_t>(SE_ERR_FNF));
    }
    winsim::Machine::Instance().Modify([&](winsim::Json& machine) {
        winsim::Json& commands = winsim::ChildArray(winsim::ChildObject(machine, "shell"), "commands");
        winsim::Json c = winsim::Json::object();
        c["verb"] = winsim::Json::string(winsim::ToUtf8(lpOperation ? lpOperation : L""));
        c["file"] = winsim::Json::string(winsim::ToUtf8(lpFile));
        c["parameters"] = winsim::Json::string(winsim::ToUtf8(lpParameters ? lpParameters : L""));
        c["directory"] = winsim::Json::string(winsim::ToUtf8(lpDirectory ? lpDirectory : L""));
        c["show"] = winsim::Json::number(nShowCmd);
        commands[commands.size()] = c;
        CarryOut(machine, winsim::ToUtf8(lpFile), winsim::ToUtf8(lpParameters ? lpParameters : L""));
    });
    return reinterpret_cast<HINSTANCE>(static_cast<intptr_t>(42));
}
