// The first way to install a detected printer: Prunavel, started hidden, judged by its exit code.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "Installer.h"
#include "Logger.h"
#include "PrinterDeviceObject.h"

int InstallFromPrunavel(int modelId, const wchar_t* printerName) {
    char cmdLine[128];
    std::memset(cmdLine, 0, sizeof cmdLine);
    if (giProcessorArch == PROCESSOR_ARCHITECTURE_INTEL) {
        std::snprintf(cmdLine, sizeof cmdLine, "x86\\Prunavel.exe %d", modelId);
    } else if (giProcessorArch == PROCESSOR_ARCHITECTURE_AMD64) {
        std::snprintf(cmdLine, sizeof cmdLine, "amd64\\Prunavel.exe %d", modelId);
    }
    CPrinterDeviceObject& device = CPrinterDeviceObject::GetInstance();
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    std::memset(&process, 0, sizeof process);
    if (!CreateProcessA(nullptr, cmdLine, nullptr, nullptr, FALSE, CREATE_NO_WINDOW | NORMAL_PRIORITY_CLASS, nullptr,
                        nullptr, &startup, &process)) {
        device.lastError = static_cast<int32_t>(GetLastError());
        LOG_TRACE(L"Prunavel:erro={0:x}", static_cast<DWORD>(device.lastError));
        return INSTALL_ERR_PRUNAVEL;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    bool succeeded = false;
    BOOL read = GetExitCodeProcess(process.hProcess, &exitCode);
    DWORD readError = read ? 0 : GetLastError();
    LOG_TRACE(L"Prunavel:dwExitCode={0:x}", exitCode);
    if (!read) {
        device.lastError = static_cast<int32_t>(readError);
    } else if (exitCode != 0) {
        device.lastError = static_cast<int32_t>(exitCode);
    } else {
        succeeded = true;
    }
    CloseHandle(process.hProcess);
    if (process.hThread) CloseHandle(process.hThread);
    if (!succeeded) {
        LOG_TRACE(L"Prunavel:erro={0:x}", static_cast<DWORD>(device.lastError));
        return INSTALL_ERR_PRUNAVEL;
    }
    device.InitForms(printerName);
    return INSTALL_OK;
}
