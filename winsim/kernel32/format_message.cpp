#include <windows.h>

#include <cstring>
#include <map>
#include <string>

namespace {

// The system's message texts for the errors the programs meet. Like Windows' own, each ends in CR LF.
const std::map<DWORD, const wchar_t*>& SystemMessages() {
    static const std::map<DWORD, const wchar_t*> messages = {
        {0, L"The operation completed successfully.\r\n"},
        {2, L"The system cannot find the file specified.\r\n"},
        {3, L"The system cannot find the path specified.\r\n"},
        {5, L"Access is denied.\r\n"},
        {6, L"The handle is invalid.\r\n"},
        {8, L"Not enough memory resources are available to process this command.\r\n"},
        {31, L"A device attached to the system is not functioning.\r\n"},
        {87, L"The parameter is incorrect.\r\n"},
        {122, L"The data area passed to a system call is too small.\r\n"},
        {1459, L"This operation requires an interactive window station.\r\n"},
        {1722, L"The RPC server is unavailable.\r\n"},
        {1753, L"There are no more endpoints available from the endpoint mapper.\r\n"},
        {1796, L"The specified port is unknown.\r\n"},
        {1797, L"The printer driver is unknown.\r\n"},
        {1798, L"The print processor is unknown.\r\n"},
        {1801, L"The printer name is invalid.\r\n"},
        {1802, L"The printer already exists.\r\n"},
        {1805, L"The environment specified is invalid.\r\n"},
        {3001, L"The specified printer driver is currently in use.\r\n"},
        {0xE0000203, L"There is no driver selected for the device information set or element.\r\n"},
        {0xE000020B, L"The device instance does not exist in the hardware tree.\r\n"},
        {0xE0000242, L"The publisher of an Authenticode(tm) signed catalog has not yet been established as trusted.\r\n"},
        {0xE0000243, L"The publisher of an Authenticode(tm) signed catalog was not established as trusted.\r\n"},
        {0xE0000246, L"The device installer is not ready to install a device.\r\n"},
        {0x80004001, L"Not implemented\r\n"},
        {0x80004005, L"Unspecified error\r\n"},
    };
    return messages;
}

// HRESULTs of Win32 and SetupAPI errors share their codes' texts.
const wchar_t* Lookup(DWORD id) {
    const auto& messages = SystemMessages();
    auto it = messages.find(id);
    if (it != messages.end()) return it->second;
    if ((id & 0xFFFF0000) == 0x80070000) it = messages.find(id & 0xFFFF);
    else if ((id & 0xFFFF0000) == 0x800F0000) it = messages.find(0xE0000000 | (id & 0xFFFF));
    return it != messages.end() ? it->second : nullptr;
}

}  // namespace

// Simplified: system texts only, in English whatever the language asked; inserts are never expanded.
extern "C" DWORD WINAPI FormatMessageW(DWORD dwFlags, LPCVOID, DWORD dwMessageId, DWORD, LPWSTR lpBuffer, DWORD nSize,
                                       void*) {
    if (!(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) || !lpBuffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const wchar_t* text = Lookup(dwMessageId);
    if (!text) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    size_t length = std::wcslen(text);
    if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        size_t chars = length + 1 > nSize ? length + 1 : nSize;
        auto* buffer = static_cast<LPWSTR>(LocalAlloc(LMEM_FIXED, chars * sizeof(WCHAR)));
        if (!buffer) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        std::wmemcpy(buffer, text, length + 1);
        *reinterpret_cast<LPWSTR*>(lpBuffer) = buffer;
        return static_cast<DWORD>(length);
    }
    if (length + 1 > nSize) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::wmemcpy(lpBuffer, text, length + 1);
    return static_cast<DWORD>(length);
}
