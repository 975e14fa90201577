#include <sys/stat.h>

#include <windows.h>
#include <winspool.h>

#include "../core/inf.h"
#include "../core/packer.h"
#include "../core/text.h"
#include "spooler.h"

namespace {

using winsim::Json;

struct ListedDriver {
    std::string environment;
    Json driver;
};

}  // namespace

// Simplified: levels 1 and 8; the file and date fields of level 8 are empty, its INF path is the
// driver-store path the driver was installed from.
extern "C" BOOL WINAPI EnumPrinterDriversW(LPWSTR pName, LPWSTR pEnvironment, DWORD Level, LPBYTE pDriverInfo,
                                           DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned) {
    uint32_t fault;
    if (winsim::TakeFault("EnumPrinterDriversW", &fault)) {
        SetLastError(fault);
        return FALSE;
    }
    if (!pcbNeeded || !pcReturned) {
        SetLastError(RPC_X_NULL_REF_POINTER);
        return FALSE;
    }
    if (pName && *pName) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    const auto view = winsim::Machine::Instance().Snapshot();
    const Json& machine = *view;
    if (!winsim::spooler::Reachable(machine)) return FALSE;
    std::string wanted = pEnvironment && *pEnvironment ? winsim::ToUtf8(pEnvironment)
                                                       : winsim::spooler::NativeEnvironment(machine);
    bool all = wanted == "all" || wanted == "All";
    if (!all && !winsim::spooler::KnownEnvironment(wanted)) {
        SetLastError(ERROR_INVALID_ENVIRONMENT);
        return FALSE;
    }
    std::vector<ListedDriver> drivers;
    const Json& spooler = winsim::spooler::Section(machine);
    if (spooler.has_field("drivers")) {
        for (const auto& env : spooler.at("drivers").as_object()) {
            if (!all && env.first != wanted) continue;
            for (const Json& d : env.second.as_array()) drivers.push_back({env.first, d});
        }
    }
    if (Level == 1) {
        winsim::RecordPacker<DRIVER_INFO_1W> packer(drivers.size());
        for (size_t i = 0; i < drivers.size(); ++i) {
            packer.Text(i, &DRIVER_INFO_1W::pName, winsim::FromUtf8(winsim::StringAt(drivers[i].driver, "name", "")));
        }
        return packer.Answer(pDriverInfo, cbBuf, pcbNeeded, pcReturned);
    }
    if (Level != 8) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    winsim::RecordPacker<DRIVER_INFO_8W> packer(drivers.size());
    for (size_t i = 0; i < drivers.size(); ++i) {
        packer.Records()[i].cVersion = static_cast<DWORD>(winsim::IntAt(drivers[i].driver, "version", 3));
        packer.Text(i, &DRIVER_INFO_8W::pName, winsim::FromUtf8(winsim::StringAt(drivers[i].driver, "name", "")));
        packer.Text(i, &DRIVER_INFO_8W::pEnvironment, winsim::FromUtf8(drivers[i].environment));
        packer.Text(i, &DRIVER_INFO_8W::pszPrintProcessor, L"winprint");
        packer.Text(i, &DRIVER_INFO_8W::pszInfPath, winsim::FromUtf8(winsim::StringAt(drivers[i].driver, "infPath", "")));
    }
    return packer.Answer(pDriverInfo, cbBuf, pcbNeeded, pcReturned);
}

// Simplified: the package must have been staged by UploadPrinterDriverPackageW; the driver is found by
// name among the models of the package's INF.
extern "C" HRESULT WINAPI InstallPrinterDriverFromPackageW(LPCWSTR pszServer, LPCWSTR pszInfPath,
                                                           LPCWSTR pszDriverName, LPCWSTR pszEnvironment, DWORD) {
    uint32_t fault;
    if (winsim::TakeFault("InstallPrinterDriverFromPackageW", &fault)) return static_cast<HRESULT>(fault);
    if (!pszDriverName || !*pszDriverName) return E_INVALIDARG;
    if (pszServer && *pszServer) return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
    winsim::Machine& m = winsim::Machine::Instance();
    const auto view = m.Snapshot();
    const Json& machine = *view;
    if (!winsim::spooler::Reachable(machine)) return HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE);
    std::string environment = pszEnvironment && *pszEnvironment ? winsim::ToUtf8(pszEnvironment)
                                                                : winsim::spooler::NativeEnvironment(machine);
    std::string stored = pszInfPath ? winsim::ToUtf8(pszInfPath) : std::string();
    std::string source;
    const Json& spooler = winsim::spooler::Section(machine);
    if (spooler.has_field("driverStore")) {
        for (const Json& p : spooler.at("driverStore").as_array()) {
            if (winsim::StringAt(p, "storedInf", "") == stored) source = winsim::StringAt(p, "sourceInf", "");
        }
    }
    std::vector<winsim::InfModel> models;
    if (source.empty() || !winsim::ReadInfModels(winsim::HostPath(winsim::FromUtf8(source)), &models)) {
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    std::string driver = winsim::ToUtf8(pszDriverName);
    bool declared = false;
    for (const winsim::InfModel& model : models) declared = declared || model.driverName == driver;
    if (!declared) return HRESULT_FROM_WIN32(ERROR_UNKNOWN_PRINTER_DRIVER);
    m.Modify([&](Json& next) { winsim::spooler::AddDriver(next, driver, environment, stored); });
    return S_OK;
}

// Simplified: the driver's files are not tracked, so nothing but the spooler's entry goes; only printers
// on the machine's own environment count as users of a driver.
extern "C" BOOL WINAPI DeletePrinterDriverW(LPWSTR pName, LPWSTR pEnvironment, LPWSTR pDriverName) {
    uint32_t fault;
    if (winsim::TakeFault("DeletePrinterDriverW", &fault)) {
        SetLastError(fault);
        return FALSE;
    }
    if (pName && *pName) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    if (!pDriverName || !*pDriverName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    winsim::Machine& m = winsim::Machine::Instance();
    std::string environment = pEnvironment && *pEnvironment ? winsim::ToUtf8(pEnvironment)
                                                            : winsim::spooler::NativeEnvironment(*m.Snapshot());
    if (!winsim::spooler::KnownEnvironment(environment)) {
        SetLastError(ERROR_INVALID_ENVIRONMENT);
        return FALSE;
    }
    std::string driver = winsim::ToUtf8(pDriverName);
    DWORD error = 0;
    m.Modify([&](Json& machine) {
        if (!winsim::spooler::Reachable(machine)) {
            error = RPC_S_SERVER_UNAVAILABLE;
            return;
        }
        Json& spooler = winsim::ChildObject(machine, "spooler");
        Json& list = winsim::ChildArray(winsim::ChildObject(spooler, "drivers"), environment.c_str());
        Json kept = Json::array();
        size_t k = 0;
        for (size_t i = 0; i < list.size(); ++i) {
            if (winsim::StringAt(list.at(i), "name", "") != driver) kept[k++] = list.at(i);
        }
        if (k == list.size()) {
            error = ERROR_UNKNOWN_PRINTER_DRIVER;
            return;
        }
        if (environment == winsim::spooler::NativeEnvironment(machine)) {
            for (const Json& p : winsim::ChildArray(spooler, "printers").as_array()) {
                if (winsim::StringAt(p, "driver", "") == driver) error = ERROR_PRINTER_DRIVER_IN_USE;
            }
            if (error) return;
        }
        list = kept;
    });
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

// Simplified: level 1 only; the environment must be a known one, but the printer's driver is answered
// without checking that it is installed for that environment.
extern "C" BOOL WINAPI GetPrinterDriverW(HANDLE hPrinter, LPWSTR pEnvironment, DWORD Level, LPBYTE pDriverInfo,
                                         DWORD cbBuf, LPDWORD pcbNeeded) {
    uint32_t fault;
    if (winsim::TakeFault("GetPrinterDriverW", &fault)) {
        SetLastError(fault);
        return FALSE;
    }
    winsim::spooler::PrinterHandle* handle = winsim::spooler::HandleOf(hPrinter);
    if (!handle) return FALSE;
    if (handle->name.empty()) {  // the local server's handle names no printer
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!pcbNeeded) {
        SetLastError(RPC_X_NULL_REF_POINTER);
        return FALSE;
    }
    const auto view = winsim::Machine::Instance().Snapshot();
    const Json& machine = *view;
    if (!winsim::spooler::Reachable(machine)) return FALSE;
    if (pEnvironment && *pEnvironment) {
        std::string wanted = winsim::ToUtf8(pEnvironment);
        if (!winsim::spooler::KnownEnvironment(wanted)) {
            SetLastError(ERROR_INVALID_ENVIRONMENT);
            return FALSE;
        }
    }
    if (Level != 1) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    const Json* printer = winsim::spooler::FindPrinter(machine, handle->name);
    if (!printer) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);  // deleted through another handle meanwhile
        return FALSE;
    }
    winsim::RecordPacker<DRIVER_INFO_1W> packer(1);
    packer.Text(0, &DRIVER_INFO_1W::pName, winsim::FromUtf8(winsim::StringAt(*printer, "driver", "")));
    return packer.Answer(pDriverInfo, cbBuf, pcbNeeded, nullptr);
}
