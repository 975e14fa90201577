#include "faults.h"

#include <algorithm>

namespace winsim {

const std::vector<std::string>& FaultableFunctions() {
    // Sorted, so that a look-up is a binary search and a reader finds a name at once.
    static const std::vector<std::string> functions = {
        "AbortPrinter",
        "AddFormW",
        "AddPrinterW",
        "CloseHandle",
        "ControlService",
        "CreateFileW",
        "CreateProcessA",
        "CreatePropertySheetPageW",
        "DeleteFormW",
        "DeletePrinter",
        "DeletePrinterDataW",
        "DeletePrinterDriverPackageW",
        "DeletePrinterDriverW",
        "DeviceIoControl",
        "EndDocPrinter",
        "EndPagePrinter",
        "EnumDependentServicesW",
        "EnumFormsW",
        "EnumPortsW",
        "EnumPrinterDriversW",
        "EnumPrintersW",
        "GetExitCodeProcess",
        "GetFormW",
        "GetModuleFileNameW",
        "GetPrinterDataW",
        "GetPrinterDriverW",
        "GetTempPathW",
        "GlobalAlloc",
        "InstallPrinterDriverFromPackageW",
        "LoadLibraryW",
        "MessageBoxW",
        "OpenPrinterW",
        "OpenSCManagerW",
        "OpenServiceW",
        "QueryServiceStatusEx",
        "RegOpenKeyExW",
        "RegQueryValueExW",
        "SetPrinterDataW",
        "SetupDiGetClassDevsW",
        "SetupDiGetDeviceInstanceIdW",
        "SetupDiGetDeviceInterfaceDetailW",
        "SetupDiGetDeviceRegistryPropertyW",
        "ShellExecuteW",
        "StartDocPrinterW",
        "StartPagePrinter",
        "StartServiceW",
        "UpdateDriverForPlugAndPlayDevicesW",
        "UploadPrinterDriverPackageW",
        "WritePrinter",
    };
    return functions;
}

bool Faultable(const std::string& function) {
    const std::vector<std::string>& functions = FaultableFunctions();
    return std::binary_search(functions.begin(), functions.end(), function);
}

std::string NotFaultable(const std::string& function) {
    if (Faultable(function)) return std::string();
    std::string known;
    for (const std::string& name : FaultableFunctions()) known += (known.empty() ? "" : ", ") + name;
    return "no call of '" + function + "' looks for faults; those of " + known + " do";
}

}  // namespace winsim
