// Prunavel: waits until the plugged printer's USB port is listed by the spooler, then installs its driver
// through plug-and-play. Started by Corvane with the model id; the result is the exit code.
#include <windows.h>
#include <newdev.h>
#include <setupapi.h>
#include <strsafe.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "Logger.h"
#include "PrinterDeviceObject.h"
#include "PrinterModel.h"

enum PreInstallExitCode {
    PREINSTALL_OK = 0,
    PREINSTALL_ERR_GENERAL = -1,
    PREINSTALL_ERR_NO_PORT = -1001,
    // The install failed without leaving an error code: 0 would say the driver was installed.
    PREINSTALL_ERR_NO_ERROR_CODE = -1002,
};

WCHAR gszLogFilePath[261];
WCHAR gszInfFilePath[261];

namespace {

constexpr int kPortChecks = 180;
constexpr DWORD kPortCheckIntervalMs = 1000;
constexpr int kInstallTries = 15;
constexpr DWORD kInstallRetryIntervalMs = 2000;

// Writes name behind the last backslash among the first n characters, keeping the path within 260.
void ReplaceFileName(WCHAR* path, DWORD n, const WCHAR* name) {
    int i = static_cast<int>(n) - 1;
    while (i >= 0 && path[i] != L'\\') --i;
    StringCchCopyW(path + i + 1, static_cast<size_t>(260 - (i + 1)), name);
}

bool PathFailed(DWORD n) { return n == 0 || (n == 260 && GetLastError() == ERROR_INSUFFICIENT_BUFFER); }

// atoi's reading: leading blanks and a sign, digits up to the first other character, none gives 0;
// out-of-range numbers are clamped instead of overflowing.
int ReadModelId(const char* text) {
    errno = 0;
    long value = std::strtol(text, nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

bool WaitSystemCreateUsbPortFinished(const wchar_t* port) {
    CPrinterDeviceObject& device = CPrinterDeviceObject::GetInstance();
    for (int check = 0; check < kPortChecks; ++check) {
        if (device.FindPortFromName(port)) return true;
        Sleep(kPortCheckIntervalMs);
    }
    return false;
}

}  // namespace

int PNPInstallDev(const PrinterModelInfo& row) {
    LOG_TRACE(L"WaitSystemCreateUsbPortFinished  insPathModelName={0}", row.insPathModelName);
    WCHAR port[64] = {0};
    if (CPrinterDeviceObject::GetInstance().GetPrinterDeviceBindPort(row.insPathModelName, port) &&
        WaitSystemCreateUsbPortFinished(port)) {
        DWORD error = 0;
        for (int attempt = 0; attempt < kInstallTries; ++attempt) {
            if (UpdateDriverForPlugAndPlayDevicesW(nullptr, row.hardwareId, gszInfFilePath, INSTALLFLAG_FORCE, nullptr)) {
                LOG_INFO(L"PNPInstallDev:Install success \xFF01");
                return PREINSTALL_OK;
            }
            error = GetLastError();
            LOG_ERR(L"PNPInstallDev::UpdateDriverForPlugAndPlayDevices failed ! hardwareId={0}, (GetLastError = 0x{1:x})",
                    row.hardwareId, error);
            if (error == ERROR_SUCCESS) return PREINSTALL_ERR_NO_ERROR_CODE;
            if (error != ERROR_NO_SUCH_DEVINST && error != ERROR_DEVICE_INSTALLER_NOT_READY) return static_cast<int>(error);
            Sleep(kInstallRetryIntervalMs);
        }
        return static_cast<int>(error);
    }
    LOG_ERR(L"PNPInstallDev::WaitSystemCreateUsbPortFinished failed \xFF01");
    return PREINSTALL_ERR_NO_PORT;
}

int main(int argc, char* argv[]) {
    std::memset(gszLogFilePath, 0, sizeof gszLogFilePath);
    DWORD n = GetTempPathW(261, gszLogFilePath);
    if (PathFailed(n) || n > 261) return PREINSTALL_ERR_GENERAL;
    ReplaceFileName(gszLogFilePath, n, L"ZL\\logs\\Prunavel.log");

    std::memset(gszInfFilePath, 0, sizeof gszInfFilePath);
    n = GetModuleFileNameW(nullptr, gszInfFilePath, 260);
    if (PathFailed(n)) return PREINSTALL_ERR_GENERAL;
    ReplaceFileName(gszInfFilePath, n, L"..\\ZLPrtDrv.inf");

    gstrLogFile = gszLogFilePath;
    giLogRole = LOGGER_ROLE_PRUNAVEL;
    giLogLevel = spdlog::level::trace;
    giLogSink = LOG_SINK_ROTATING_FILE;

    LOG_TRACE(L"Prunavel:gszLogFilePath={0}!", gszLogFilePath);
    if (argc < 2) {
        LOG_ERR(L"Prunavel: Invalid param!");
        return PREINSTALL_ERR_GENERAL;
    }
    int model = ReadModelId(argv[1]);
    LOG_TRACE(L"Prunavel:model={0}, gszInfFilePath={1}!", model, gszInfFilePath);
    const PrinterModelInfo* row = nullptr;
    for (const PrinterModelInfo& candidate : gPrinterModelTable) {
        if (candidate.modelId == model) {
            row = &candidate;
            break;
        }
    }
    if (!row) return PREINSTALL_ERR_GENERAL;
    int iRet = PNPInstallDev(*row);
    LOG_ERR(L"Prunavel: PNPInstallDev iRet={0}!", iRet);
    return iRet;
}
