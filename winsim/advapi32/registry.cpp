#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "../core/devices.h"
#include "../core/handles.h"
#include "../core/text.h"

namespace {

using winsim::Json;

class RegKey : public winsim::Object {
public:
    std::string root;
    std::string path;
};

const char* RootName(HKEY key) {
    if (key == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
    if (key == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
    if (key == HKEY_CLASSES_ROOT) return "HKEY_CLASSES_ROOT";
    if (key == HKEY_USERS) return "HKEY_USERS";
    return nullptr;
}

// The key's values in the machine ("registry" > root > key path, compared without case), or null.
const Json* FindKey(const Json& machine, const std::string& root, const std::string& path) {
    if (!machine.has_field("registry") || !machine.at("registry").has_field(root)) return nullptr;
    for (const auto& key : machine.at("registry").at(root).as_object()) {
        if (winsim::devices::SameText(key.first, path)) return &key.second;
    }
    return nullptr;
}

// The bytes a value holds as RegQueryValueExW hands them out. "bytes" (hexadecimal text) stores any
// bytes under any type, as the registry itself allows: an odd-sized REG_SZ, say.
std::vector<BYTE> ValueBytes(const Json& value, DWORD type) {
    if (value.has_field("bytes") && value.at("bytes").is_string()) return winsim::FromHex(value.at("bytes").as_string());
    std::vector<BYTE> bytes;
    auto appendWide = [&](const std::wstring& text, bool terminate) {
        const BYTE* p = reinterpret_cast<const BYTE*>(text.c_str());
        bytes.insert(bytes.end(), p, p + (text.size() + (terminate ? 1 : 0)) * sizeof(WCHAR));
    };
    const Json data = value.has_field("data") ? value.at("data") : Json::null();
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        appendWide(winsim::FromUtf8(data.is_string() ? data.as_string() : ""), !winsim::BoolAt(value, "noTerminator", false));
        break;
    case REG_MULTI_SZ:
        if (data.is_array()) {
            for (const Json& s : data.as_array()) appendWide(winsim::FromUtf8(s.as_string()), true);
        }
        appendWide(L"", true);
        break;
    case REG_DWORD: {
        uint32_t v = data.is_number() ? static_cast<uint32_t>(data.as_number().to_int64()) : 0;
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<BYTE>(v >> (8 * i)));
        break;
    }
    default:  // hexadecimal text
        bytes = winsim::FromHex(data.is_string() ? data.as_string() : "");
    }
    return bytes;
}

}  // namespace

// Simplified: keys are opened for reading only, whatever access is asked; a 32-bit program on a 64-bit
// machine ("system.wow64") sees HKLM\SOFTWARE through WOW6432Node unless it asks for the 64-bit view.
extern "C" LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
    uint32_t fault;
    if (winsim::TakeFault("RegOpenKeyExW", &fault)) return static_cast<LSTATUS>(fault);
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    const char* root = RootName(hKey);
    auto* parent = root ? nullptr : winsim::LookupAs<RegKey>(hKey);
    if (!root && !parent) return ERROR_INVALID_HANDLE;
    std::string rootName = root ? root : parent->root;
    std::string path = parent ? parent->path : std::string();
    std::string sub = lpSubKey ? winsim::ToUtf8(lpSubKey) : std::string();
    if (!sub.empty()) path = path.empty() ? sub : path + "\\" + sub;
    const auto view = winsim::Machine::Instance().Snapshot();
    const Json& machine = *view;
    bool wow64 = machine.has_field("system") && winsim::BoolAt(machine.at("system"), "wow64", false);
    const std::string software = "SOFTWARE\\";
    if (wow64 && rootName == "HKEY_LOCAL_MACHINE" && !(samDesired & KEY_WOW64_64KEY) &&
        winsim::devices::SameText(path.substr(0, software.size()), software)) {
        path = "SOFTWARE\\WOW6432Node\\" + path.substr(software.size());
    }
    if (!FindKey(machine, rootName, path)) return ERROR_FILE_NOT_FOUND;
    auto* key = new RegKey;
    key->root = rootName;
    key->path = path;
    *phkResult = static_cast<HKEY>(winsim::NewHandle(key));
    return ERROR_SUCCESS;
}

extern "C" LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                           LPBYTE lpData, LPDWORD lpcbData) {
    uint32_t fault;
    if (winsim::TakeFault("RegQueryValueExW", &fault)) return static_cast<LSTATUS>(fault);
    auto* key = winsim::LookupAs<RegKey>(hKey);
    if (!key) return ERROR_INVALID_HANDLE;
    if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    const auto view = winsim::Machine::Instance().Snapshot();
    const Json& machine = *view;  // FindKey points into it
    const Json* values = FindKey(machine, key->root, key->path);
    std::string name = lpValueName ? winsim::ToUtf8(lpValueName) : std::string();
    const Json* value = nullptr;
    if (values) {
        for (const auto& v : values->as_object()) {
            if (winsim::devices::SameText(v.first, name)) value = &v.second;
        }
    }
    if (!value) return ERROR_FILE_NOT_FOUND;
    DWORD type = static_cast<DWORD>(winsim::IntAt(*value, "type", REG_SZ));
    std::vector<BYTE> bytes = ValueBytes(*value, type);
    if (lpType) *lpType = type;
    if (!lpcbData) return ERROR_SUCCESS;
    DWORD available = *lpcbData;
    *lpcbData = static_cast<DWORD>(bytes.size());
    if (!lpData) return ERROR_SUCCESS;
    if (available < bytes.size()) return ERROR_MORE_DATA;
    if (!bytes.empty()) std::memcpy(lpData, bytes.data(), bytes.size());
    return ERROR_SUCCESS;
}

extern "C" LSTATUS WINAPI RegCloseKey(HKEY hKey) {
    if (!winsim::LookupAs<RegKey>(hKey)) return ERROR_INVALID_HANDLE;
    winsim::Release(hKey);
    return ERROR_SUCCESS;
}
