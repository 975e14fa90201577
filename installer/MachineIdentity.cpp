// The machine's identity (MachineGuid), sent with every install report. The registry value is read as
// narrow text and turned back into wide text, both under the "chs" locale, restored after each use.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ChsLocale.h"
#include "Installer.h"
#include "Logger.h"
#include "PrinterDeviceObject.h"

std::wstring StringToWString(const std::string& text) {
    ChsLocale locale;
    std::vector<wchar_t> buffer(text.size() + 1, L'\0');
    size_t converted = 0;
    mbstowcs_s(&converted, buffer.data(), buffer.size(), text.c_str(), _TRUNCATE);
    return std::wstring(buffer.data());
}

std::string CPrinterDeviceObject::GetRegStringValue(std::string subKey, std::string valueName) {
    std::string result;
    std::wstring wideKey = StringToWString(subKey);
    std::wstring wideName = StringToWString(valueName);
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, wideKey.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) {
        return result;
    }
    DWORD type = 0;
    DWORD size = 0;
    RegQueryValueExW(key, wideName.c_str(), nullptr, &type, nullptr, &size);
    // Less than one character is an empty value.
    if (type == REG_SZ && size >= sizeof(WCHAR)) {
        // size characters for size bytes: the text is terminated even when the stored value is not.
        std::vector<wchar_t> buffer(size + 1, L'\0');
        DWORD bytes = size;
        if (RegQueryValueExW(key, wideName.c_str(), nullptr, &type, reinterpret_cast<LPBYTE>(buffer.data()), &bytes) ==
            ERROR_SUCCESS) {
            // Only whole characters: an odd last byte is no text.
            buffer[std::min<size_t>(bytes, size) / sizeof(WCHAR)] = L'\0';
            std::wstring wide(buffer.data());
            ChsLocale locale;
            std::vector<char> out(2 * wide.size() + 1, '\0');
            size_t converted = 0;
            if (wcstombs_s(&converted, out.data(), out.size(), wide.c_str(), _TRUNCATE) == 0) result = out.data();
        }
    }
    RegCloseKey(key);
    return result;
}

bool InitMachineId() {
    std::memset(machineId, 0, sizeof machineId);
    std::string value = CPrinterDeviceObject::GetInstance().GetRegStringValue("SOFTWARE\\Microsoft\\Cryptography",
                                                                              "MachineGuid");
    if (value.empty()) {
        LOG_ERR(L"InitMachineId:machineId is empty");
        return false;
    }
    std::wstring wide = StringToWString(value);
    // Longer than the global holds: cut to what fits rather than write beyond it.
    wcsncpy_s(machineId, kPathChars, wide.c_str(), _TRUNCATE);
    return true;
}
