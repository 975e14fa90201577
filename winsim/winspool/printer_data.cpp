// A printer's data values: the machine's "data" object of the queue, one field per value name.
#include <windows.h>
#include <winspool.h>

#include <cstring>
#include <vector>

#include "../core/devices.h"
#include "../core/text.h"
#include "spooler.h"

// Simplified: printer handles only (not the server's); value names compare without case, as the
// registry's do.
extern "C" DWORD WINAPI DeletePrinterDataW(HANDLE hPrinter, LPWSTR pValueName) {
    using winsim::Json;
    uint32_t fault;
    if (winsim::TakeFault("DeletePrinterDataW", &fault)) return fault;
    winsim::spooler::PrinterHandle* handle = winsim::spooler::HandleOf(hPrinter);
    if (!handle || handle->name.empty()) return ERROR_INVALID_HANDLE;
    if (!pValueName) return ERROR_INVALID_PARAMETER;
    if (!(handle->access & PRINTER_ACCESS_ADMINISTER)) return ERROR_ACCESS_DENIED;
    std::string value = winsim::ToUtf8(pValueName);
    DWORD error = ERROR_SUCCESS;
    winsim::Machine::Instance().Modify([&](Json& machine) {
        if (!winsim::spooler::Reachable(machine)) {
            error = RPC_S_SERVER_UNAVAILABLE;
            return;
        }
        Json& printers = winsim::ChildArray(winsim::ChildObject(machine, "spooler"), "printers");
        for (size_t i = 0; i < printers.size(); ++i) {
            Json& printer = printers[i];
            if (!winsim::devices::SameText(winsim::StringAt(printer, "name", ""), handle->name)) continue;
            Json& data = winsim::ChildObject(printer, "data");
            for (const auto& field : data.as_object()) {
                if (!winsim::devices::SameText(field.first, value)) continue;
                std::string key = field.first;
                data.erase(key);
                return;
            }
            error = ERROR_FILE_NOT_FOUND;
            return;
        }
        error = ERROR_INVALID_PRINTER_NAME;
    });
    return error;
}

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A hand-edited machine file may hold anything: an odd length or a stray character ends the bytes there.
std::vector<BYTE> FromHex(const std::string& hex) {
    std::vector<BYTE> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        int high = HexDigit(hex[i]);
        int low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0) break;
        bytes.push_back(static_cast<BYTE>(high << 4 | low));
    }
    return bytes;
}

}  // namespace

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
    Json machine = winsim::Machine::Instance().Snapshot();
    if (!winsim::spooler::Reachable(machine)) return RPC_S_SERVER_UNAVAILABLE;
    const Json* printer = winsim::spooler::FindPrinter(machine, handle->name);
    if (!printer) return ERROR_INVALID_PRINTER_NAME;
    if (!printer->has_field("data") || !printer->at("data").is_object()) return ERROR_FILE_NOT_FOUND;
    std::string value = winsim::ToUtf8(pValueName);
    for (const auto& field : printer->at("data").as_object()) {
        if (!winsim::devices::SameText(field.first, value)) continue;
        std::vector<BYTE> bytes = FromHex(winsim::StringAt(field.second, "data", ""));
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
    stored["data"] = Json::string(winsim::spooler::ToHex(pData, cbData));
    DWORD error = ERROR_SUCCESS;
    winsim::Machine::Instance().Modify([&](Json& machine) {
        if (!winsim::spooler::Reachable(machine)) {
            error = RPC_S_SERVER_UNAVAILABLE;
            return;
        }
        Json& printers = winsim::ChildArray(winsim::ChildObject(machine, "spooler"), "printers");
        for (size_t i = 0; i < printers.size(); ++i) {
            Json& printer = printers[i];
            if (!winsim::devices::SameText(winsim::StringAt(printer, "name", ""), handle->name)) continue;
            Json& data = winsim::ChildObject(printer, "data");
            std::string key = value;
            for (const auto& field : data.as_object()) {
                if (winsim::devices::SameText(field.first, value)) key = field.first;
            }
            data[key] = stored;
            return;
        }
        error = ERROR_INVALID_PRINTER_NAME;
    });
    return error;
}
