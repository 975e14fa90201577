// A printer's data values: the machine's "data" object of the queue, one field per value name.
#include <windows.h>
#include <winspool.h>

#include <cstring>
#include <functional>
#include <vector>

#include "../core/devices.h"
#include "../core/text.h"
#include "spooler.h"

namespace {

// Runs change on the data object of the handle's printer, within one change of the machine; its answer,
// or the spooler's own failure, is the result. The caller has checked the handle's access.
DWORD ChangePrinterData(const winsim::spooler::PrinterHandle& handle, const std::function<DWORD(winsim::Json&)>& change) {
    using winsim::Json;
    DWORD error = ERROR_SUCCESS;
    winsim::Machine::Instance().Modify([&](Json& machine) {
        if (!winsim::spooler::Reachable(machine)) {
            error = RPC_S_SERVER_UNAVAILABLE;
            return;
        }
        Json& printers = winsim::ChildArray(winsim::ChildObject(machine, "spooler"), "printers");
        for (size_t i = 0; i < printers.size(); ++i) {
            if (!winsim::devices::SameText(winsim::StringAt(printers[i], "name", ""), handle.name)) continue;
            error = change(winsim::ChildObject(printers[i], "data"));
            return;
        }
        error = ERROR_INVALID_PRINTER_NAME;
    });
    return error;
}

}  // namespace

// Simplified: printer handles only (not the server's); value names compare without case, as the
// registry's do.
extern "C" DWORD WINAPI DeletePrinterDataW(HANDLE hPrinter, LPWSTR pValueName) {
    uint32_t fault;
    if (winsim::TakeFault("DeletePrinterDataW", &fault)) return fault;
    winsim::spooler::PrinterHandle* handle = winsim::spooler::HandleOf(hPrinter);
    if (!handle || handle->name.empty()) return ERROR_INVALID_HANDLE;
    if (!pValueName) return ERROR_INVALID_PARAMETER;
    if (!(handle->access & PRINTER_ACCESS_ADMINISTER)) return ERROR_ACCESS_DENIED;
    std::string value = winsim::ToUtf8(pValueName);
    return ChangePrinterData(*handle, [&](winsim::Json& data) -> DWORD {
        for (const auto& field : data.as_object()) {
            if (!winsim::devices::SameText(field.first, value)) continue;
            std::string key = field.first;
            data.erase(key);
            return ERROR_SUCCESS;
        }
        return ERROR_FILE_NOT_FOUND;
    });
}

// Simplified: printer handles only (not the server's), so none of the server's predefined values;
// value names compare without case. Answers as Windows does for a short buffer: ERROR_MORE_DATA with
// the type and the needed size, nothing copied.
extern "C" DWORD WINAPI GetPrinterDataW(HANDLE hPrinter, LPWSTR pValueName, LPDWORD pType, LPBYTE pData, DWORD nSize,
                                        LPDWORD pcbNeeded) {
    using winsim::Json;
    uint32_t fault;
    if (winsim::TakeFault("GetPrinterDataW", &fault)) return fault;
    winsim::spooler::PrinterHandle* handle = winsim::spooler::HandleOf(hPrinter);
    if (!handle || handle->name.empty()) return ERROR_INVALID_HANDLE;
    if (!pcbNeeded) return RPC_X_NULL_REF_POINTER;
    if (!pValueName) return ERROR_INVALID_PARAMETER;
    const auto view = winsim::Machine::Instance().Snapshot();
    const Json& machine = *view;
    if (!winsim::spooler::Reachable(machine)) return RPC_S_SERVER_UNAVAILABLE;
    const Json* printer = winsim::spooler::FindPrinter(machine, handle->name);
    if (!printer) return ERROR_INVALID_PRINTER_NAME;
    if (!printer->has_field("data") || !printer->at("data").is_object()) return ERROR_FILE_NOT_FOUND;
    std::string value = winsim::ToUtf8(pValueName);
    for (const auto& field : printer->at("data").as_object()) {
        if (!winsim::devices::SameText(field.first, value)) continue;
        std::vector<BYTE> bytes = winsim::FromHex(winsim::StringAt(field.second, "data", ""));
        DWORD size = static_cast<DWORD>(bytes.size());
        if (pType) *pType = static_cast<DWORD>(winsim::IntAt(field.second, "type", REG_BINARY));
        *pcbNeeded = size;
        if (size > nSize || (!pData && size > 0)) return ERROR_MORE_DATA;
        if (size > 0) std::memcpy(pData, bytes.data(), size);
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
}

// Simplified: printer handles only; the type is kept as given, not checked against the data. A value
// that exists under another letter case keeps its first spelling, as the registry's do.
extern "C" DWORD WINAPI SetPrinterDataW(HANDLE hPrinter, LPWSTR pValueName, DWORD Type, LPBYTE pData, DWORD cbData) {
    using winsim::Json;
    uint32_t fault;
    if (winsim::TakeFault("SetPrinterDataW", &fault)) return fault;
    winsim::spooler::PrinterHandle* handle = winsim::spooler::HandleOf(hPrinter);
    if (!handle || handle->name.empty()) return ERROR_INVALID_HANDLE;
    if (!pValueName || (!pData && cbData > 0)) return ERROR_INVALID_PARAMETER;
    if (!(handle->access & PRINTER_ACCESS_ADMINISTER)) return ERROR_ACCESS_DENIED;
    std::string value = winsim::ToUtf8(pValueName);
    Json stored = Json::object();
    stored["type"] = Json::number(static_cast<int64_t>(Type));
    stored["data"] = Json::string(winsim::ToHex(pData, cbData));
    return ChangePrinterData(*handle, [&](Json& data) -> DWORD {
        std::string key = value;
        for (const auto& field : data.as_object()) {
            if (winsim::devices::SameText(field.first, value)) key = field.first;
        }
        data[key] = stored;
        return ERROR_SUCCESS;
    });
}
