#include <windows.h>
#include <strsafe.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "invalid_parameter.h"

namespace {

// Rewrites a Microsoft wide format for glibc: there %s and %c of a wide function are wide and
// %S and %C narrow; glibc reads them the other way round.
std::wstring MicrosoftWideFormat(const wchar_t* format) {
    std::wstring out;
    for (const wchar_t* p = format; *p; ++p) {
        out += *p;
        if (*p != L'%') continue;
        ++p;
        if (*p == L'%') {
            out += *p;
            continue;
        }
        bool sized = false;
        while (*p && std::wcschr(L"-+ #0123456789.*hlwLIjzt", *p)) {
            if (*p == L'h' || *p == L'l' || *p == L'w') sized = true;
            if (*p == L'w') {
                out += L'l';
            } else if (*p == L'I' && p[1] == L'6' && p[2] == L'4') {
                out += L"ll";
                p += 2;
            } else {
                out += *p;
            }
            ++p;
        }
        if (!*p) break;
        if (!sized && (*p == L's' || *p == L'c')) {
            out += L'l';
            out += *p;
        } else if (!sized && (*p == L'S' || *p == L'C')) {
            out += static_cast<wchar_t>(*p == L'S' ? L's' : L'c');
        } else {
            out += *p;
        }
    }
    return out;
}

// The whole formatted text, however long.
std::wstring FormatWide(const wchar_t* format, va_list args) {
    std::wstring fmt = MicrosoftWideFormat(format);
    std::vector<wchar_t> buf(256);
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        errno = 0;
        int n = std::vswprintf(buf.data(), buf.size(), fmt.c_str(), copy);
        va_end(copy);
        if (n >= 0) return std::wstring(buf.data(), static_cast<size_t>(n));
        if (errno == EILSEQ) return std::wstring();  // a narrow argument that does not convert: no bigger buffer helps
        if (buf.size() > (1u << 24)) return std::wstring();
        buf.resize(buf.size() * 4);
    }
}

std::string FormatNarrow(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n < 0) return std::string();
    std::string out(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(out.data(), out.size(), format, args);
    out.resize(static_cast<size_t>(n));
    return out;
}

template <class C>
HRESULT CopyCch(C* dest, size_t cchDest, const C* src, size_t srcLen) {
    if (!dest || cchDest == 0 || cchDest > STRSAFE_MAX_CCH) return STRSAFE_E_INVALID_PARAMETER;
    size_t n = srcLen < cchDest ? srcLen : cchDest - 1;
    std::memcpy(dest, src, n * sizeof(C));
    dest[n] = 0;
    return n < srcLen ? STRSAFE_E_INSUFFICIENT_BUFFER : S_OK;
}

std::string TooSmall(size_t size, size_t needed) {
    return "the destination of " + std::to_string(size) + " characters is too small for " + std::to_string(needed) +
           " characters and the terminating zero";
}

template <class C>
void CheckDestination(const char* function, C* dest, size_t size) {
    if (!dest) winsim::InvalidParameter(function, "the destination is a null pointer");
    if (size == 0) winsim::InvalidParameter(function, "the destination's size is 0");
}

template <class C>
errno_t CopyS(const char* function, C* dest, size_t size, const C* src) {
    CheckDestination(function, dest, size);
    if (!src) {
        dest[0] = 0;
        winsim::InvalidParameter(function, "the source is a null pointer");
    }
    size_t len = std::char_traits<C>::length(src);
    if (len >= size) {
        dest[0] = 0;
        winsim::InvalidParameter(function, TooSmall(size, len));
    }
    std::char_traits<C>::copy(dest, src, len + 1);
    return 0;
}

template <class C>
void CheckFormat(const char* function, C* buffer, size_t size, const C* format) {
    if (!format) winsim::InvalidParameter(function, "the format is a null pointer");
    CheckDestination(function, buffer, size);
}

// The whole text or the handler: the formatting _s functions never cut.
template <class C>
int StoreFormatted(const char* function, C* buffer, size_t size, const std::basic_string<C>& text) {
    if (text.size() >= size) {
        buffer[0] = 0;
        winsim::InvalidParameter(function, TooSmall(size, text.size()));
    }
    std::char_traits<C>::copy(buffer, text.c_str(), text.size() + 1);
    return static_cast<int>(text.size());
}

}  // namespace

// The _s functions follow the runtime's default: a null pointer, a size of zero or a destination too
// small calls the invalid-parameter handler, which ends the program; where the documentation says so,
// the destination is emptied first.
extern "C" errno_t wcscpy_s(wchar_t* dest, size_t destsz, const wchar_t* src) {
    return CopyS("wcscpy_s", dest, destsz, src);
}

extern "C" errno_t strcpy_s(char* dest, size_t destsz, const char* src) { return CopyS("strcpy_s", dest, destsz, src); }

extern "C" errno_t wcsncpy_s(wchar_t* dest, size_t destsz, const wchar_t* src, size_t count) {
    if (count == 0 && !dest && destsz == 0) return 0;
    CheckDestination("wcsncpy_s", dest, destsz);
    if (count == 0) {
        dest[0] = 0;
        return 0;
    }
    if (!src) {
        dest[0] = 0;
        winsim::InvalidParameter("wcsncpy_s", "the source is a null pointer");
    }
    // Never reads more of the source than count characters.
    size_t len = count == _TRUNCATE ? std::wcslen(src) : wcsnlen(src, count);
    if (len >= destsz) {
        if (count == _TRUNCATE) {
            std::wmemcpy(dest, src, destsz - 1);
            dest[destsz - 1] = 0;
            return STRUNCATE;
        }
        dest[0] = 0;
        winsim::InvalidParameter("wcsncpy_s", TooSmall(destsz, len));
    }
    std::wmemcpy(dest, src, len);
    dest[len] = 0;
    return 0;
}

extern "C" errno_t wcscat_s(wchar_t* dest, size_t destsz, const wchar_t* src) {
    CheckDestination("wcscat_s", dest, destsz);
    if (!src) {
        dest[0] = 0;
        winsim::InvalidParameter("wcscat_s", "the source is a null pointer");
    }
    size_t have = wcsnlen(dest, destsz);
    if (have == destsz) {
        dest[0] = 0;
        winsim::InvalidParameter("wcscat_s", "the destination holds no terminating zero within its " +
                                                 std::to_string(destsz) + " characters");
    }
    size_t len = std::wcslen(src);
    if (have + len >= destsz) {
        dest[0] = 0;
        winsim::InvalidParameter("wcscat_s", TooSmall(destsz, have + len));
    }
    std::wmemcpy(dest + have, src, len + 1);
    return 0;
}

extern "C" int swprintf_s(wchar_t* buffer, size_t sizeOfBuffer, const wchar_t* format, ...) {
    CheckFormat("swprintf_s", buffer, sizeOfBuffer, format);
    va_list args;
    va_start(args, format);
    std::wstring text = FormatWide(format, args);
    va_end(args);
    return StoreFormatted("swprintf_s", buffer, sizeOfBuffer, text);
}

extern "C" int _snwprintf_s(wchar_t* buffer, size_t sizeOfBuffer, size_t count, const wchar_t* format, ...) {
    if (!buffer && sizeOfBuffer == 0 && count == 0) return 0;
    CheckFormat("_snwprintf_s", buffer, sizeOfBuffer, format);
    if (count == 0) {
        buffer[0] = 0;
        return -1;
    }
    va_list args;
    va_start(args, format);
    std::wstring text = FormatWide(format, args);
    va_end(args);
    if (count < sizeOfBuffer) {  // cut at count characters, no error
        size_t n = text.size() < count ? text.size() : count;
        std::wmemcpy(buffer, text.c_str(), n);
        buffer[n] = 0;
        return n < text.size() ? -1 : static_cast<int>(n);
    }
    if (text.size() >= sizeOfBuffer && count == _TRUNCATE) {
        std::wmemcpy(buffer, text.c_str(), sizeOfBuffer - 1);
        buffer[sizeOfBuffer - 1] = 0;
        return -1;
    }
    return StoreFormatted("_snwprintf_s", buffer, sizeOfBuffer, text);
}

extern "C" int sprintf_s(char* buffer, size_t sizeOfBuffer, const char* format, ...) {
    CheckFormat("sprintf_s", buffer, sizeOfBuffer, format);
    va_list args;
    va_start(args, format);
    std::string text = FormatNarrow(format, args);
    va_end(args);
    return StoreFormatted("sprintf_s", buffer, sizeOfBuffer, text);
}

extern "C" HRESULT StringCchCopyW(LPWSTR pszDest, size_t cchDest, LPCWSTR pszSrc) {
    return CopyCch(pszDest, cchDest, pszSrc ? pszSrc : L"", pszSrc ? std::wcslen(pszSrc) : 0);
}

extern "C" HRESULT StringCchCatW(LPWSTR pszDest, size_t cchDest, LPCWSTR pszSrc) {
    if (!pszDest || cchDest == 0 || cchDest > STRSAFE_MAX_CCH) return STRSAFE_E_INVALID_PARAMETER;
    size_t have = wcsnlen(pszDest, cchDest);
    if (have == cchDest) return STRSAFE_E_INVALID_PARAMETER;
    return CopyCch(pszDest + have, cchDest - have, pszSrc ? pszSrc : L"", pszSrc ? std::wcslen(pszSrc) : 0);
}

extern "C" HRESULT StringCchLengthW(LPCWSTR psz, size_t cchMax, size_t* pcchLength) {
    if (!psz || cchMax > STRSAFE_MAX_CCH) {
        if (pcchLength) *pcchLength = 0;
        return STRSAFE_E_INVALID_PARAMETER;
    }
    size_t n = wcsnlen(psz, cchMax);
    if (pcchLength) *pcchLength = n == cchMax ? 0 : n;
    return n == cchMax ? STRSAFE_E_INVALID_PARAMETER : S_OK;
}

extern "C" HRESULT StringCchPrintfW(LPWSTR pszDest, size_t cchDest, LPCWSTR pszFormat, ...) {
    if (!pszDest || cchDest == 0 || cchDest > STRSAFE_MAX_CCH) return STRSAFE_E_INVALID_PARAMETER;
    va_list args;
    va_start(args, pszFormat);
    std::wstring text = FormatWide(pszFormat, args);
    va_end(args);
    return CopyCch(pszDest, cchDest, text.c_str(), text.size());
}

extern "C" HRESULT StringCchPrintfA(LPSTR pszDest, size_t cchDest, LPCSTR pszFormat, ...) {
    if (!pszDest || cchDest == 0 || cchDest > STRSAFE_MAX_CCH) return STRSAFE_E_INVALID_PARAMETER;
    va_list args;
    va_start(args, pszFormat);
    std::string text = FormatNarrow(pszFormat, args);
    va_end(args);
    return CopyCch(pszDest, cchDest, text.c_str(), text.size());
}
