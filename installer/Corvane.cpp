// Corvane's command-line mode dispatcher and its process-wide state.
#include <windows.h>
#include <strsafe.h>
#include <winspool.h>

#include <cstring>

#include "Installer.h"
#include "Logger.h"
#include "PrinterDeviceObject.h"


HINSTANCE ghInstance;
WCHAR gszLogPath[kPathChars];
WCHAR gszInfPath[kPathChars];
WCHAR gszCertPath[kPathChars];
WORD giProcessorArch;
DWORD gdwLastError;
WCHAR gszDriverName[kPathChars];
WCHAR machineId[kPathChars];

// Writes name behind the last backslash of path; the result is cut to 259 characters at most.
void ReplaceFileName(WCHAR* path, const WCHAR* name) {
    int i = lstrlenW(path) - 1;
    while (i >= 0 && path[i] != L'\\') --i;
    StringCchCopyW(path + i + 1, static_cast<size_t>(259 - i), name);
}

namespace {

// The program's own path with its file name replaced; false when the path cannot be had whole.
bool BuildPackagePath(WCHAR* path, const WCHAR* name) {
    std::memset(path, 0, kPathChars * sizeof(WCHAR));
    DWORD n = GetModuleFileNameW(nullptr, path, 260);
    if (n == 0 || (n == 260 && GetLastError() == ERROR_INSUFFICIENT_BUFFER)) return false;
    ReplaceFileName(path, name);
    return true;
}

int PrinterDrvUninstall() {
    CPrinterDeviceObject& device = CPrinterDeviceObject::GetInstance();
    device.RemoveForms();
    int r = device.RemovePrinter();
    if (r == INSTALL_OK) {
        device.DoStopSvc();
        device.DoStartSvc();
    }
    int d = device.RemoveDriver();
    UninstallCertificate();
    LOG_TRACE(L"PrinterDrvUninstall:iRet={0:d}", d);
    return INSTALL_OK;
}

int PrinterDrvInstallMode() {
    InstallCertificate();
    int iRet = PrinterDrvInstall();
    LOG_TRACE(L"PrinterDrvInstall:iRet={0:d}", iRet);
    if (iRet == INSTALL_OK) {
        CInstallReporter::GetInstance().sendInstallInfo(gszDriverName, machineId, L"");
        return INSTALL_OK;
    }
    if (iRet == INSTALL_ERR_NO_PRINTER || iRet == INSTALL_ERR_NO_PORT) return iRet;
    gdwLastError = static_cast<DWORD>(CPrinterDeviceObject::GetInstance().lastError);
    CPrinterDeviceObject::GetInstance().RemoveDriverFromDriverName();
    ShowInstallError(iRet);
    WCHAR code[256] = {0};
    StringCchPrintfW(code, 256, L"%d,0x%08x", iRet, gdwLastError);
    CInstallReporter::GetInstance().sendInstallInfo(gszDriverName, machineId, code);
    return iRet;
}

int SilentlyInstallDriver() {
    InstallCertificate();
    WCHAR dest[512] = {0};
    ULONG size = 512;
    HRESULT hr = UploadPrinterDriverPackageW(nullptr, gszInfPath, nullptr, UPDP_UPLOAD_ALWAYS, nullptr, dest, &size);
    if (hr != S_OK) LOG_ERR(L"SilentlyInstall:UploadPrinterDriverPackage failed ! (hr = 0x{0:x})", static_cast<DWORD>(hr));
    LOG_TRACE(L"PrinterDrvInstall:finish");
    return INSTALL_OK;
}

int SilentlyInstallPrinter() {
    InstallCertificate();
    int iRet = PrinterDrvInstall();
    LOG_TRACE(L"PrinterDrvInstall:iRet={0:d}", iRet);
    if (iRet != INSTALL_ERR_NO_PRINTER && iRet != INSTALL_ERR_NO_PORT) {
        gdwLastError = static_cast<DWORD>(CPrinterDeviceObject::GetInstance().lastError);
        ShowInstallError(iRet);
    }
    return iRet;
}

}  // namespace

void LogProcessorArchitecture(const SYSTEM_INFO& info) {
    giProcessorArch = info.wProcessorArchitecture;
    switch (info.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_INTEL: LOG_TRACE(L"Processor Architecture: Intel x86"); break;
    case PROCESSOR_ARCHITECTURE_IA64: LOG_TRACE(L"Processor Architecture: Intel x64"); break;
    case PROCESSOR_ARCHITECTURE_AMD64: LOG_TRACE(L"Processor Architecture: AMD 64"); break;
    default:
        LOG_TRACE(L"Unknown processor architecture:{0:d}", static_cast<unsigned>(info.wProcessorArchitecture));
        break;
    }
}

int PrinterDrvCtrl(const wchar_t* cmdLine) {
    if (!BuildPackagePath(gszInfPath, L"ZLPrtDrv.inf")) return INSTALL_ERR_GENERAL;
    if (!BuildPackagePath(gszCertPath, L"ZLCertificate.cer")) return INSTALL_ERR_GENERAL;
    LOG_TRACE(L"PrinterDrvCtrl:mode={0}", cmdLine);
    if (lstrcmpW(cmdLine, L"/Uninstall") == 0) return PrinterDrvUninstall();
    if (lstrcmpW(cmdLine, L"/Install") == 0) return PrinterDrvInstallMode();
    if (lstrcmpW(cmdLine, L"/SInstallDrv") == 0) return SilentlyInstallDriver();
    if (lstrcmpW(cmdLine, L"/SInstallPrt") == 0) return SilentlyInstallPrinter();
    return INSTALL_ERR_GENERAL;
}

