#include <windows.h>

#include <cstring>
#include <string>

#include "../core/text.h"

// Simplified: every code page converts as UTF-8 (CP_ACP included); flags are ignored.
extern "C" int WINAPI MultiByteToWideChar(UINT, DWORD, LPCSTR src, int srcLen, LPWSTR dst, int dstLen) {
    if (!src || srcLen == 0 || dstLen < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string in = srcLen < 0 ? std::string(src, std::strlen(src) + 1) : std::string(src, static_cast<size_t>(srcLen));
    std::wstring out = winsim::FromUtf8(in);
    if (dstLen == 0) return static_cast<int>(out.size());
    if (out.size() > static_cast<size_t>(dstLen)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::wmemcpy(dst, out.data(), out.size());
    return static_cast<int>(out.size());
}

extern "C" int WINAPI WideCharToMultiByte(UINT, DWORD, LPCWSTR src, int srcLen, LPSTR dst, int dstLen, LPCSTR,
                                          LPBOOL usedDefault) {
    if (!src || srcLen == 0 || dstLen < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (usedDefault) *usedDefault = FALSE;
    std::wstring in = srcLen < 0 ? std::wstring(src, std::wcslen(src) + 1) : std::wstring(src, static_cast<size_t>(srcLen));
    std::string out = winsim::ToUtf8(in);
    if (dstLen == 0) return static_cast<int>(out.size());
    if (out.size() > static_cast<size_t>(dstLen)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(dst, out.data(), out.size());
    return static_cast<int>(out.size());
}
