#include <windows.h>
#include <winspool.h>

#include <algorithm>

#include "../core/devices.h"
#include "../core/packer.h"
#include "../core/text.h"
#include "spooler.h"

namespace {

using winsim::Json;

bool Failing(const char* function) {
    uint32_t fault;
    if (!winsim::TakeFault(function, &fault)) return false;
    SetLastError(fault);
    return true;
}

bool LocalServer(LPCWSTR name) { return !name || !*name; }

std::wstring W(const Json& object, const char* key) { return winsim::FromUtf8(winsim::StringAt(object, key, "")); }

bool PortKnown(const Json& machine, const std::string& port) {
    for (const Json* p : winsim::spooler::ListedPorts(machine)) {
        if (winsim::devices::SameText(winsim::StringAt(*p, "name", ""), port)) return true;
    }
    return false;
}

bool DriverInstalled(const Json& machine, const std::string& driver) {
    const Json& spooler = winsim::spooler::Section(machine);
    std::string environment = winsim::spooler::NativeEnvironment(machine);
    if (!spooler.has_field("drivers") || !spooler.at("drivers").has_field(environment)) return false;
    for (const Json& d : spooler.at("drivers").at(environment).as_array()) {
        if (winsim::StringAt(d, "name", "") == driver) return true;
    }
    return false;
}

}  // namespace

// Simplified: access rights are granted as asked (the programs run elevated); the defaults' data type
// and DEVMODE are not kept.
extern "C" BOOL WINAPI OpenPrinterW(LPWSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSW pDefault) {
    if (Failing("OpenPrinterW")) return FALSE;
    if (!phPrinter) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto view = winsim::Machine::Instance().Snapshot();
    const Json& machine = *view;
    if (!winsim::spooler::Reachable(machine)) return FALSE;
    auto* handle = new winsim::spooler::PrinterHandle;
    if (pPrinterName && *pPrinterName) {
        const Json* printer = winsim::spooler::FindPrinter(machine, winsim::ToUtf8(pPrinterName));
        if (!printer) {
            delete handle;
            *phPrinter = nullptr;
            SetLastError(ERROR_INVALID_PRINTER_NAME);
            return FALSE;
        }
        handle->name = winsim::StringAt(*printer, "name", "");
    }
    handle->access = pDefault ? pDefault->DesiredAccess : PRINTER_ACCESS_USE;
    *phPrinter = winsim::NewHandle(handle);
    return TRUE;
}

extern "C" BOOL WINAPI ClosePrinter(HANDLE hPrinter) {
    if (!winsim::spooler::HandleOf(hPrinter)) return FALSE;
    winsim::Release(hPrinter);
    return TRUE;
}

// Simplified: only level 2 and the local server; a port must be listed by the spooler and the driver
// installed for the machine's own environment.
extern "C" HANDLE WINAPI AddPrinterW(LPWSTR pName, DWORD Level, LPBYTE pPrinter) {
    if (Failing("AddPrinterW")) return nullptr;
    if (!LocalServer(pName)) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    if (Level != 2) {
        SetLastError(ERROR_INVALID_LEVEL);
        return nullptr;
    }
    auto* info = reinterpret_cast<PRINTER_INFO_2W*>(pPrinter);
    if (!info || !info->pPrinterName || !*info->pPrinterName || !info->pPortName || !info->pDriverName ||
        !info->pPrintProcessor) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    winsim::Machine& m = winsim::Machine::Instance();
    std::string name = winsim::ToUtf8(info->pPrinterName);
    std::string port = winsim::ToUtf8(info->pPortName);
    std::string driver = winsim::ToUtf8(info->pDriverName);
    DWORD error = 0;
    m.Modify([&](Json& machine) {
        if (!winsim::spooler::Reachable(machine)) error = RPC_S_SERVER_UNAVAILABLE;
        else if (winsim::spooler::FindPrinter(machine, name)) error = ERROR_PRINTER_ALREADY_EXISTS;
        else if (!PortKnown(machine, port)) error = ERROR_UNKNOWN_PORT;
        else if (!DriverInstalled(machine, driver)) error = ERROR_UNKNOWN_PRINTER_DRIVER;
        else if (!winsim::devices::SameText(winsim::ToUtf8(info->pPrintProcessor), "winprint")) error = ERROR_UNKNOWN_PRINTPROCESSOR;
        if (error) return;
        winsim::spooler::AddPrinterQueue(machine, name, driver, port);
        Json& printers = machine["spooler"]["printers"];
        Json& added = printers[printers.size() - 1];
        added["printProcessor"] = Json::string(winsim::ToUtf8(info->pPrintProcessor));
        added["datatype"] = Json::string(info->pDatatype ? winsim::ToUtf8(info->pDatatype) : "RAW");
        added["attributes"] = Json::number(static_cast<int64_t>(info->Attributes));
    });
    if (error) {
        SetLastError(error);
        return nullptr;
    }
    auto* handle = new winsim::spooler::PrinterHandle;
    handle->name = name;
    handle->access = PRINTER_ALL_ACCESS;
    return winsim::NewHandle(handle);
}

// Simplified: local printers only (PRINTER_ENUM_LOCAL, with or without other flags); levels 2 and 4.
extern "C" BOOL WINAPI EnumPrintersW(DWORD Flags, LPWSTR Name, DWORD Level, LPBYTE pPrinterEnum, DWORD cbBuf,
                                     LPDWORD pcbNeeded, LPDWORD pcReturned) {
    if (Failing("EnumPrintersW")) return FALSE;
    if (!pcbNeeded || !pcReturned) {
        SetLastError(RPC_X_NULL_REF_POINTER);
        return FALSE;
    }
    if (!LocalServer(Name)) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    const auto view = winsim::Machine::Instance().Snapshot();
    const Json& machine = *view;
    if (!winsim::spooler::Reachable(machine)) return FALSE;
    std::vector<const Json*> printers;
    const Json& spooler = winsim::spooler::Section(machine);
    if ((Flags & PRINTER_ENUM_LOCAL) && spooler.has_field("printers")) {
        for (const Json& p : spooler.at("printers").as_array()) printers.push_back(&p);
    }
    if (Level == 4) {
        winsim::RecordPacker<PRINTER_INFO_4W> packer(printers.size());
        for (size_t i = 0; i < printers.size(); ++i) {
            packer.Records()[i].Attributes = static_cast<DWORD>(winsim::IntAt(*printers[i], "attributes", 0));
            packer.Text(i, &PRINTER_INFO_4W::pPrinterName, W(*printers[i], "name"));
        }
        return packer.Answer(pPrinterEnum, cbBuf, pcbNeeded, pcReturned);
    }
    if (Level != 2) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    winsim::RecordPacker<PRINTER_INFO_2W> packer(printers.size());
    for (size_t i = 0; i < printers.size(); ++i) {
        PRINTER_INFO_2W& r = packer.Records()[i];
        r.Attributes = static_cast<DWORD>(winsim::IntAt(*printers[i], "attributes", 0));
        r.Priority = 1;
        r.DefaultPriority = 1;
        packer.Text(i, &PRINTER_INFO_2W::pPrinterName, W(*printers[i], "name"));
        packer.Text(i, &PRINTER_INFO_2W::pShareName, L"");
        packer.Text(i, &PRINTER_INFO_2W::pPortName, W(*printers[i], "port"));
        packer.Text(i, &PRINTER_INFO_2W::pDriverName, W(*printers[i], "driver"));
        packer.Text(i, &PRINTER_INFO_2W::pComment, L"");
        packer.Text(i, &PRINTER_INFO_2W::pLocation, L"");
        packer.Text(i, &PRINTER_INFO_2W::pSepFile, L"");
        packer.Text(i, &PRINTER_INFO_2W::pPrintProcessor, W(*printers[i], "printProcessor"));
        packer.Text(i, &PRINTER_INFO_2W::pDatatype, W(*printers[i], "datatype"));
        packer.Text(i, &PRINTER_INFO_2W::pParameters, L"");
    }
    return packer.Answer(pPrinterEnum, cbBuf, pcbNeeded, pcReturned);
}

// Simplified: the queue goes at once, with any jobs it holds; the handle stays open for ClosePrinter.
extern "C" BOOL WINAPI DeletePrinter(HANDLE hPrinter) {
    if (Failing("DeletePrinter")) return FALSE;
    winsim::spooler::PrinterHandle* handle = winsim::spooler::HandleOf(hPrinter);
    if (!handle) return FALSE;
    if (handle->name.empty()) {  // the local server's handle names no queue
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    constexpr DWORD kDeleteRight = 0x00010000;  // DELETE, part of PRINTER_ALL_ACCESS
    if (!(handle->access & kDeleteRight)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    DWORD error = 0;
    winsim::Machine::Instance().Modify([&](Json& machine) {
        if (!winsim::spooler::Reachable(machine)) {
            error = RPC_S_SERVER_UNAVAILABLE;
            return;
        }
        if (!winsim::spooler::FindPrinter(machine, handle->name)) {
            error = ERROR_INVALID_PRINTER_NAME;  // deleted through another handle meanwhile
            return;
        }
        Json& printers = machine["spooler"]["printers"];
        Json kept = Json::array();
        size_t k = 0;
        for (size_t i = 0; i < printers.size(); ++i) {
            if (!winsim::devices::SameText(winsim::StringAt(printers.at(i), "name", ""), handle->name)) kept[k++] = printers.at(i);
        }
        printers = kept;
    });
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}
