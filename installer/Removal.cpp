// Removal of the models' printers and drivers.
#include <windows.h>
#include <strsafe.h>
#include <winspool.h>

#include "Installer.h"
#include "Logger.h"
#include "PrinterDeviceObject.h"
#include "PrinterModel.h"
#include "SpoolerList.h"

namespace {

constexpr size_t kNameChars = 260;
constexpr DWORD kPackageDelayMs = 1000;

bool IsModelDriver(const wchar_t* driverName) {
    for (const PrinterModelInfo& row : gPrinterModelTable) {
        if (lstrcmpW(driverName, row.driverName) == 0) return true;
    }
    return false;
}

// The environment a NULL one stands for: the machine's own, the one the install added its driver to.
// None for an architecture the spooler has no environment for.
const wchar_t* OwnEnvironment() {
    SYSTEM_INFO info;
    GetNativeSystemInfo(&info);
    switch (info.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_INTEL: return L"Windows NT x86";
    case PROCESSOR_ARCHITECTURE_AMD64: return L"Windows x64";
    case PROCESSOR_ARCHITECTURE_IA64: return L"Windows IA64";
    case PROCESSOR_ARCHITECTURE_ARM64: return L"Windows ARM64";
    case PROCESSOR_ARCHITECTURE_ARM: return L"Windows ARM";
    default: return nullptr;
    }
}

BOOL EnumDrivers(LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
    WCHAR all[] = L"all";
    return EnumPrinterDriversW(nullptr, all, 8, buffer, size, needed, returned);
}

// Whether the driver list is there to walk; if not, *result is the operation's answer. Only a list that
// was read says no driver is installed: one that could not be had (a stopped Spooler, say) says nothing
// of the drivers still there.
bool DriverListRead(const SpoolerList<DRIVER_INFO_8W>& drivers, const wchar_t* operation, int* result) {
    switch (drivers.status()) {
    case SpoolerList<DRIVER_INFO_8W>::READ: return true;
    case SpoolerList<DRIVER_INFO_8W>::EMPTY:
        LOG_TRACE(L"{0}: Not found printer driver", operation);
        *result = INSTALL_OK;
        return false;
    case SpoolerList<DRIVER_INFO_8W>::NO_SIZE:
    case SpoolerList<DRIVER_INFO_8W>::FAILED: LOG_WARN(L"{0}: Failed to EnumPrinterDrivers 8", operation); break;
    case SpoolerList<DRIVER_INFO_8W>::NO_MEMORY: break;
    }
    *result = INSTALL_ERR_SPOOLER_LIST;
    return false;
}

}  // namespace

int CPrinterDeviceObject::RemovePrinter() {
    SpoolerList<PRINTER_INFO_2W> printers([](LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
        return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer, size, needed, returned);
    });
    if (printers.status() == SpoolerList<PRINTER_INFO_2W>::FAILED) LOG_WARN(L"RemovePrinter: Failed to EnumPrinters 2");
    if (printers.status() != SpoolerList<PRINTER_INFO_2W>::READ) return INSTALL_ERR_SPOOLER_LIST;
    for (const PRINTER_INFO_2W& info : printers) {
        LOG_TRACE(L"RemovePrinter: DeletePrt pPortName={0}, pPrinterName={1}, pDriverName={2}", info.pPortName,
                  info.pPrinterName, info.pDriverName);
        if (IsModelDriver(info.pDriverName)) DeletePrt(info.pPrinterName);
    }
    return INSTALL_OK;
}

int CPrinterDeviceObject::DeletePrt(const wchar_t* printerName) {
    WCHAR name[kNameChars] = {0};
    HANDLE printer = nullptr;
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    // A name that does not fit is refused rather than cut, which could name another queue.
    BOOL opened = FALSE;
    if (StringCchCopyW(name, kNameChars, printerName) == S_OK) opened = OpenPrinterW(name, &printer, &defaults);
    else SetLastError(ERROR_INVALID_PRINTER_NAME);
    if (!opened) {
        LOG_ERR(L"DeletePrt:OpenPrinter failed ! (GetLastError = 0x{0:x})", GetLastError());
        return INSTALL_ERR_OPEN_PRINTER;
    }
    WCHAR value[] = L"OEM_ZL_PRINTER_VALUE";
    DWORD code = DeletePrinterDataW(printer, value);
    if (code != ERROR_SUCCESS) LOG_ERR(L"DeletePrt:DeletePrinterData failed ! (GetLastError = 0x{0:x})", code);
    if (!DeletePrinter(printer)) {
        LOG_ERR(L"DeletePrt:DeletePrinter failed ! (GetLastError = 0x{0:x})", GetLastError());
        ClosePrinter(printer);
        return INSTALL_ERR_DELETE_PRINTER;
    }
    ClosePrinter(printer);
    return INSTALL_OK;
}

int CPrinterDeviceObject::DeleteDrv(const wchar_t* driverName, const wchar_t* environment) {
    WCHAR name[kNameChars] = {0};
    WCHAR env[kNameChars] = {0};
    BOOL deleted = FALSE;
    if (StringCchCopyW(name, kNameChars, driverName) != S_OK) {
        SetLastError(ERROR_UNKNOWN_PRINTER_DRIVER);  // no installed driver has a name this long
    } else if (environment && StringCchCopyW(env, kNameChars, environment) != S_OK) {
        SetLastError(ERROR_INVALID_ENVIRONMENT);
    } else {
        deleted = DeletePrinterDriverW(nullptr, environment ? env : nullptr, name);
    }
    if (!deleted) {
        LOG_ERR(L"DeleteDrv:DeletePrinterDriver failed ! (GetLastError = 0x{0:x})", GetLastError());
        return INSTALL_ERR_DELETE_DRIVER;
    }
    return INSTALL_OK;
}

int CPrinterDeviceObject::RemoveDriver() {
    SpoolerList<DRIVER_INFO_8W> drivers(EnumDrivers);
    int unread = INSTALL_OK;
    if (!DriverListRead(drivers, L"RemoveDriver", &unread)) return unread;
    for (const DRIVER_INFO_8W& info : drivers) {
        LOG_TRACE(L"RemoveDriver: DeleteDrv pDriverName={0}", info.pName);
        // Each entry is its own environment's driver: without it only the machine's own would go.
        if (IsModelDriver(info.pName)) DeleteDrv(info.pName, info.pEnvironment);
    }
    Sleep(kPackageDelayMs);
    for (const DRIVER_INFO_8W& info : drivers) {
        LOG_TRACE(L"RemoveDriver: DeleteDriverPackage pDriverName={0}", info.pName);
        if (!IsModelDriver(info.pName)) continue;
        HRESULT hr = DeletePrinterDriverPackageW(nullptr, info.pszInfPath, info.pEnvironment);
        if (hr != S_OK) LOG_ERR(L"RemoveDriver: DeletePrinterDriverPackage=0x{0:x}", static_cast<DWORD>(hr));
    }
    return INSTALL_OK;
}

int CPrinterDeviceObject::RemoveDriverFromDriverName() {
    SpoolerList<DRIVER_INFO_8W> drivers(EnumDrivers);
    int unread = INSTALL_OK;
    if (!DriverListRead(drivers, L"RemoveDriverFromDriverName", &unread)) return unread;
    // Only what the install added goes: a same-named driver of another environment, and its package,
    // were there before it.
    const wchar_t* own = OwnEnvironment();
    auto added = [own](const DRIVER_INFO_8W& info) {
        return own && info.pEnvironment && lstrcmpiW(info.pEnvironment, own) == 0 &&
               lstrcmpW(gszDriverName, info.pName) == 0;
    };
    for (const DRIVER_INFO_8W& info : drivers) {
        LOG_TRACE(L"RemoveDriverFromDriverName: DeleteDrv pDriverName={0}", info.pName);
        if (added(info)) {
            DeleteDrv(info.pName, info.pEnvironment);
            break;
        }
    }
    Sleep(kPackageDelayMs);
    for (const DRIVER_INFO_8W& info : drivers) {
        LOG_TRACE(L"RemoveDriverFromDriverName: DeleteDriverPackage pDriverName={0}", info.pName);
        if (!added(info)) continue;
        HRESULT hr = DeletePrinterDriverPackageW(nullptr, info.pszInfPath, info.pEnvironment);
        if (hr != S_OK) LOG_ERR(L"RemoveDriverFromDriverName: DeletePrinterDriverPackage=0x{0:x}", static_cast<DWORD>(hr));
        break;
    }
    return INSTALL_OK;
}
