// The installer's own road when Prunavel fails: the driver from the driver store and the printer queue
// on the port the device is bound to, or on the first free listed USB port.
#include <windows.h>
#include <setupapi.h>
#include <shellapi.h>
#include <strsafe.h>
#include <winspool.h>

#include <cstring>

#include "Installer.h"
#include "Logger.h"
#include "PrinterDeviceObject.h"
#include "PrinterModel.h"
#include "SpoolerList.h"

namespace {

constexpr int kPortCandidates = 998;  // USB001 ... USB998
constexpr int kDriverWaitPasses = 3;
constexpr DWORD kDriverWaitMs = 1000;
constexpr DWORD kAfterUploadMs = 1000;
constexpr int kAddPrinterAttempts = 30;
constexpr DWORD kAddPrinterRetryMs = 2000;

// A port is in use only when a listed local printer names it; an unreadable list counts as no printer.
bool PortInUse(const wchar_t* candidate) {
    SpoolerList<PRINTER_INFO_2W> printers([](LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
        return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer, size, needed, returned);
    });
    for (const PRINTER_INFO_2W& printer : printers) {
        LOG_TRACE(L"pPortName={0}, pPrinterName={1}", printer.pPortName, printer.pPrinterName);
        if (lstrcmpW(candidate, printer.pPortName) == 0) return true;
    }
    return false;
}

bool FindPrinterDriverFromName(const wchar_t* driverName) {
    SpoolerList<DRIVER_INFO_1W> drivers([](LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
        return EnumPrinterDriversW(nullptr, nullptr, 1, buffer, size, needed, returned);
    });
    for (const DRIVER_INFO_1W& driver : drivers) {
        LOG_TRACE(L"FindPrinterDriverFromName:pName={0}", driver.pName);
        if (lstrcmpW(driverName, driver.pName) == 0) return true;
    }
    return false;
}

}  // namespace

int CPrinterDeviceObject::InstallDrv(const wchar_t* insPathModelName, const wchar_t* printerName,
                                     const wchar_t* driverName) {
    WCHAR port[64];
    std::memset(port, 0, sizeof port);
    if (!GetPrinterDeviceBindPort(insPathModelName, port)) {
        bool chosen = false;
        for (int n = 1; n <= kPortCandidates && !chosen; ++n) {
            WCHAR candidate[64];
            StringCchPrintfW(candidate, 64, L"USB%03d", n);
            if (PortInUse(candidate)) continue;
            if (FindPortFromName(candidate)) {
                wcscpy_s(port, 64, candidate);
                chosen = true;
            }
        }
        if (!chosen) return INSTALL_ERR_NO_PORT;
    }
    LOG_TRACE(L"InstallDrv:Port={0}", port);
    if (!GetUsbDeviceInstanceId(driverName)) LOG_TRACE(L"InstallDrv:GetUsbDeviceInstanceId Fail");
    if (!AddPrinterDriverToDriveStore(driverName)) return INSTALL_ERR_DRIVER_STORE;
    for (int pass = 0; pass < kDriverWaitPasses; ++pass) {
        if (FindPrinterDriverFromName(driverName)) break;
        Sleep(kDriverWaitMs);
    }
    if (AddPrinterToControlPanel(printerName, port, driverName)) return INSTALL_OK;
    PNPCtrl(usbInstanceId);
    return INSTALL_ERR_ADD_PRINTER;
}

BOOL CPrinterDeviceObject::GetUsbDeviceInstanceId(const wchar_t* driverName) {
    const PrinterModelInfo* row = nullptr;
    for (const PrinterModelInfo& candidate : gPrinterModelTable) {
        if (lstrcmpW(driverName, candidate.driverName) == 0) {
            row = &candidate;
            break;
        }
    }
    if (!row) return FALSE;
    HDEVINFO set = SetupDiGetClassDevsW(nullptr, L"USB", nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE) return FALSE;
    BOOL found = FALSE;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    for (DWORD index = 0; !found && SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        WCHAR id[512];
        id[0] = 0;
        DWORD required = 0;
        if (!SetupDiGetDeviceInstanceIdW(set, &device, id, 512, &required)) continue;
        LOG_TRACE(L"GetUsbDeviceInstanceId:{}", id);
        // An id too long for the member is passed over rather than cut.
        if (std::wcsstr(id, row->usbVid) && std::wcsstr(id, row->usbPid) && std::wcslen(id) < 260) {
            wcscpy_s(usbInstanceId, 260, id);
            found = TRUE;
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return found;
}

BOOL CPrinterDeviceObject::AddPrinterDriverToDriveStore(const wchar_t* driverName) {
    WCHAR dest[512];
    std::memset(dest, 0, sizeof dest);
    ULONG size = 512;
    HRESULT hr = UploadPrinterDriverPackageW(nullptr, gszInfPath, nullptr, UPDP_UPLOAD_ALWAYS, nullptr, dest, &size);
    if (hr != S_OK) {
        LOG_ERR(L"AddPrinterDriverToDriveStore:UploadPrinterDriverPackage failed ! (hr = 0x{0:x})", static_cast<DWORD>(hr));
        lastError = hr;
        return FALSE;
    }
    Sleep(kAfterUploadMs);
    hr = InstallPrinterDriverFromPackageW(nullptr, dest, driverName, nullptr, IPDFP_COPY_ALL_FILES);
    if (hr != S_OK) {
        LOG_ERR(L"AddPrinterDriverToDriveStore:InstallPrinterDriverFromPackage failed ! (hr = 0x{0:x})",
                static_cast<DWORD>(hr));
        lastError = hr;
        return FALSE;
    }
    return TRUE;
}

BOOL CPrinterDeviceObject::AddPrinterToControlPanel(const wchar_t* printerName, const wchar_t* portName,
                                                    const wchar_t* driverName) {
    WCHAR name[260], port[260], driver[260];
    wcscpy_s(name, 260, printerName);
    wcscpy_s(port, 260, portName);
    wcscpy_s(driver, 260, driverName);
    WCHAR printProcessor[] = L"WinPrint";
    WCHAR datatype[] = L"RAW";
    PRINTER_INFO_2W info;
    std::memset(&info, 0, sizeof info);
    info.pPrinterName = name;
    info.pPortName = port;
    info.pDriverName = driver;
    info.pPrintProcessor = printProcessor;
    info.pDatatype = datatype;
    info.Attributes = PRINTER_ATTRIBUTE_ENABLE_BIDI | PRINTER_ATTRIBUTE_DO_COMPLETE_FIRST | PRINTER_ATTRIBUTE_LOCAL;
    for (int attempt = 0; attempt < kAddPrinterAttempts; ++attempt) {
        HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
        if (printer) {
            ClosePrinter(printer);
            return TRUE;
        }
        DWORD error = GetLastError();
        lastError = static_cast<int32_t>(error);
        LOG_ERR(L"AddPrinterToControlPanel:AddPrinter failed ! (GetLastError = 0x{0:x})", error);
        if (error == ERROR_PRINTER_ALREADY_EXISTS) return TRUE;
        if (error != ERROR_UNKNOWN_PORT) return FALSE;
        Sleep(kAddPrinterRetryMs);
    }
    return FALSE;
}

BOOL CPrinterDeviceObject::PNPCtrl(const wchar_t* instanceId) {
    if (!instanceId || !*instanceId) return FALSE;
    WCHAR parameters[256];
    std::memset(parameters, 0, sizeof parameters);
    // Never run with a cut id: it would restart another device, or none.
    if (StringCchPrintfW(parameters, 256, L"/c pnputil %s \"%s\"", L"/restart-device", instanceId) != S_OK) return FALSE;
    HINSTANCE h = ShellExecuteW(nullptr, L"open", L"cmd", parameters, nullptr, SW_HIDE);
    int result = static_cast<int>(reinterpret_cast<INT_PTR>(h));
    if (result > 32) return TRUE;
    LOG_ERR(L"PNPCtrl: cmd:{0} Fail, hIns={1:d}", parameters, result);
    return FALSE;
}
