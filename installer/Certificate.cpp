// Trust of the package's code-signing certificate through certutil, started hidden and not waited for.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "Installer.h"
#include "Logger.h"

namespace {
// Serial number of the certificate in ZLCertificate.cer.
const wchar_t kRemoveParameters[] = L"/c certutil -delstore \"TrustedPublisher\" 7c31e9a04b58d26f0e1a93b5";

int Started(HINSTANCE h) { return static_cast<int>(reinterpret_cast<INT_PTR>(h)); }
}  // namespace

int InstallCertificate() {
    // Built to the path's full length: a cut path would name another file.
    std::wstring parameters = L"/c certutil -f -addstore \"TrustedPublisher\" \"";
    parameters += gszCertPath;
    parameters += L"\"";
    HINSTANCE h = ShellExecuteW(nullptr, L"open", L"cmd", parameters.c_str(), nullptr, SW_HIDE);
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
