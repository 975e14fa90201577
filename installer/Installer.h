// Corvane's process-wide state and the operations its mode dispatcher runs.
#pragma once
#include <windows.h>

#include <string>

// Results of the installer's operations (0 success, negative failure). There is no -1008.
enum InstallError {
    INSTALL_OK = 0,
    INSTALL_ERR_GENERAL = -1,            // no temp or program path, no mode, Cancel, no interface list
    INSTALL_ERR_INTERFACE_DETAIL = -2,
    INSTALL_ERR_NO_MEMORY = -3,
    INSTALL_ERR_HARDWARE_ID = -6,
    INSTALL_ERR_1284_ID = -12,
    INSTALL_ERR_CLOSE_DEVICE = -97,
    INSTALL_ERR_NO_PRINTER = -99,        // retry prompt, string 114
    INSTALL_ERR_SPOOLER_LIST = -1001,
    INSTALL_ERR_NO_PORT = -1002,         // retry prompt, string 115
    INSTALL_ERR_DRIVER_STORE = -1003,    // lastError holds the HRESULT
    INSTALL_ERR_ADD_PRINTER = -1004,     // lastError holds the Win32 error
    INSTALL_ERR_OPEN_PRINTER = -1005,
    INSTALL_ERR_DELETE_PRINTER = -1006,
    INSTALL_ERR_DELETE_DRIVER = -1007,
    INSTALL_ERR_PRUNAVEL = -1009,
};

constexpr size_t kPathChars = 261;

extern HINSTANCE ghInstance;
extern WCHAR gszLogPath[kPathChars];
extern WCHAR gszInfPath[kPathChars];
extern WCHAR gszCertPath[kPathChars];
extern WORD giProcessorArch;
extern DWORD gdwLastError;
extern WCHAR gszDriverName[kPathChars];
extern WCHAR machineId[kPathChars];

int PrinterDrvCtrl(const wchar_t* cmdLine);
// Writes name behind the last backslash of path; the result is cut to 259 characters at most.
void ReplaceFileName(WCHAR* path, const WCHAR* name);
void LogProcessorArchitecture(const SYSTEM_INFO& info);

// Machine identity
bool InitMachineId();
// Narrow text to wide under the "chs" locale, which is restored afterwards.
std::wstring StringToWString(const std::string& text);

// Certificate trust
int InstallCertificate();
int UninstallCertificate();

// USB printer discovery and install
int PrinterDrvInstall();

// Pre-install launcher: runs Prunavel for the model; 0, or -1009 with the cause in lastError.
int InstallFromPrunavel(int modelId, const wchar_t* printerName);

// Install error box
void ShowInstallError(int code);

// Install statistics report
class CInstallReporter {
public:
    static CInstallReporter& GetInstance();
    ~CInstallReporter();
    bool sendInstallInfo(std::wstring model, std::wstring onlyCode, std::wstring code);
};
