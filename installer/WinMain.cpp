// Corvane's entry: start-up, then the mode dispatcher in its retry loop.
#include <windows.h>

#include <cstring>

#include "Installer.h"
#include "Logger.h"
#include "resource.h"

namespace {

// OK/Cancel prompt of the retry loop: true when the user asks for another attempt.
bool AskRetry(UINT textId) {
    WCHAR caption[128] = {0};
    WCHAR text[256] = {0};
    LoadStringW(ghInstance, IDS_INFO_CAPTION, caption, 128);
    LoadStringW(ghInstance, textId, text, 256);
    return MessageBoxW(nullptr, text, caption, MB_OKCANCEL | MB_SYSTEMMODAL) == IDOK;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR lpCmdLine, int) {
    ghInstance = hInstance;
    std::memset(gszLogPath, 0, sizeof gszLogPath);
    DWORD n = GetTempPathW(kPathChars, gszLogPath);
    if (n == 0 || (n == 260 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) || n > kPathChars) return -1;
    ReplaceFileName(gszLogPath, L"ZL\\logs\\ZLPrtDrvCtrl.log");

    giLogRole = LOGGER_ROLE_DRVCTRL;
    giLogLevel = spdlog::level::trace;
    giLogSink = LOG_SINK_ROTATING_FILE;
    gstrLogFile = gszLogPath;

    InitMachineId();
    SYSTEM_INFO info;
    GetNativeSystemInfo(&info);
    LogProcessorArchitecture(info);

    const wchar_t* cmdLine = lpCmdLine ? lpCmdLine : L"";
    int iRet;
    for (;;) {
        iRet = PrinterDrvCtrl(cmdLine);
        UINT prompt;
        if (iRet == INSTALL_ERR_NO_PRINTER) prompt = IDS_PLUG_PRINTER;
        else if (iRet == INSTALL_ERR_NO_PORT) prompt = IDS_PORT_NOT_FOUND;
        else break;
        if (!AskRetry(prompt)) {
            iRet = INSTALL_ERR_GENERAL;
            break;
        }
    }
    LOG_TRACE(L"WinMain:iRet={0:d}", iRet);
    return iRet;
}
