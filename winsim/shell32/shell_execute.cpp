#include <windows.h>
#include <shellapi.h>

#include "../core/machine.h"
#include "../core/text.h"

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
    });
    return reinterpret_cast<HINSTANCE>(static_cast<intptr_t>(42));
}
