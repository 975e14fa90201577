// Trust of the package's code-signing certificate through certutil, started hidden and not waited for.
#include <windows.h>
#include <shellapi.h>
#include <strsafe.h>

#include <cstring>

#include "Installer.h"
#include "Logger.h"

namespace {
// Serial number of the certificate in ZLCertificate.cer.
const wchar_t kRemoveParameters[] = L"/c certutil -delstore \"TrustedPublisher\" 7c31e9a04b58d26f0e1a93b5";

int Started(HINSTANCE h) { return static_cast<int>(reinterpret_cast<INT_PTR>(h)); }
}  // namespace

int InstallCertificate() {
    WCHAR parameters[256];
    std::memset(parameters, 0, sizeof parameters);
    // A cut path would name another file: such a command is not run at all.
    if (StringCchPrintfW(parameters, 256, L"/c certutil -f -addstore \"TrustedPublisher\" \"%s\"", gszCertPath) != S_OK) {
        LOG_ERR(L"InstallCertificate: Fail hIns={0:d}", 0);
        return 0;
    }
    HINSTANCE h = ShellExecuteW(nullptr, L"open", L"cmd", parameters, nullptr, SW_HIDE);
    if (Started(h) > 32) return 1;
    LOG_ERR(L"InstallCertificate: Fail hIns={0:d}", Started(h));
    return 0;
}

int UninstallCertificate() {
    HINSTANCE h = ShellExecuteW(nullptr, L"open", L"cmd", kRemoveParameters, nullptr, SW_HIDE);
    if (Started(h) > 32) return 1;
    LOG_ERR(L"UinstallCertificate: Fail hIns={0:d}", Started(h));
    return 0;
}
