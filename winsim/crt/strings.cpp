#include <windows.h>
#include <strsafe.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <cwchar>
#include <string>

#include "format.h"
#include "invalid_parameter.h"

namespace {

size_t Length(const char* s, size_t most) { return strnlen(s, most); }
size_t Length(const wchar_t* s, size_t most) { return wcsnlen(s, most); }

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
    // The copy stops at the destination's end: no more of the source is read.
    size_t len = Length(src, size);
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
int StoreFormatted(const char* function, C* buffer, size_t size, const winsim::Formatted<C>& made) {
    if (made.length >= size) {
        buffer[0] = 0;
        winsim::InvalidParameter(function, TooSmall(size, made.length));
    }
    std::char_traits<C>::copy(buffer, made.text.c_str(), made.text.size() + 1);
    return static_cast<int>(made.text.size());
}

// A string argument with a character the result's width cannot hold is an encoding error: the runtime's
// printf then stores no text and returns -1.
template <class C>
bool EncodingError(const winsim::Formatted<C>& made, C* buffer) {
    if (made.failed) buffer[0] = 0;
    return made.failed;
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
    // No more of the source than count characters, nor than the destination holds with one more to
    // tell whether the source ends there.
    size_t len = wcsnlen(src, count < destsz ? count : destsz);
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
    size_t len = wcsnlen(src, destsz - have);
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
    winsim::Formatted<wchar_t> made = (winsim::FormatWide("swprintf_s", sizeOfBuffer - 1, format, args));
    va_end(args);
    if (EncodingError(made, buffer)) return -1;
    return StoreFormatted("swprintf_s", buffer, sizeOfBuffer, made);
}

extern "C" int _snwprintf_s(wchar_t* buffer, size_t sizeOfBuffer, size_t count, const wchar_t* format, ...) {
    if (!buffer && sizeOfBuffer == 0 && count == 0) return 0;
    CheckFormat("_snwprintf_s", buffer, sizeOfBuffer, format);
    if (count == 0) {
        buffer[0] = 0;
        return -1;
    }
    // count cuts without an error below the size; _TRUNCATE cuts at the size.
    bool cuts = count < sizeOfBuffer || count == _TRUNCATE;
    size_t limit = count < sizeOfBuffer ? count : sizeOfBuffer - 1;
    va_list args;
    va_start(args, format);
    winsim::Formatted<wchar_t> made = (winsim::FormatWide("_snwprintf_s", limit, format, args));
    va_end(args);
    if (EncodingError(made, buffer)) return -1;
    if (cuts) {
        std::wmemcpy(buffer, made.text.c_str(), made.text.size());
        buffer[made.text.size()] = 0;
        return made.length > limit ? -1 : static_cast<int>(made.length);
    }
    return StoreFormatted("_snwprintf_s", buffer, sizeOfBuffer, made);
}

extern "C" int sprintf_s(char* buffer, size_t sizeOfBuffer, const char* format, ...) {
    CheckFormat("sprintf_s", buffer, sizeOfBuffer, format);
    va_list args;
    va_start(args, format);
    winsim::Formatted<char> made = (winsim::FormatNarrow("sprintf_s", sizeOfBuffer - 1, format, args));
    va_end(args);
    if (EncodingError(made, buffer)) return -1;
    return StoreFormatted("sprintf_s", buffer, sizeOfBuffer, made);
}

// strsafe copies until the destination is full: no more of the source is read.
extern "C" HRESULT StringCchCopyW(LPWSTR pszDest, size_t cchDest, LPCWSTR pszSrc) {
    return CopyCch(pszDest, cchDest, pszSrc ? pszSrc : L"", pszSrc ? wcsnlen(pszSrc, cchDest) : 0);
}

extern "C" HRESULT StringCchCatW(LPWSTR pszDest, size_t cchDest, LPCWSTR pszSrc) {
    if (!pszDest || cchDest == 0 || cchDest > STRSAFE_MAX_CCH) return STRSAFE_E_INVALID_PARAMETER;
    size_t have = wcsnlen(pszDest, cchDest);
    if (have == cchDest) return STRSAFE_E_INVALID_PARAMETER;
    return CopyCch(pszDest + have, cchDest - have, pszSrc ? pszSrc : L"", pszSrc ? wcsnlen(pszSrc, cchDest - have) : 0);
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

// strsafe formats with the runtime's printf, so a format the runtime refuses calls its handler here too.
extern "C" HRESULT StringCchPrintfW(LPWSTR pszDest, size_t cchDest, LPCWSTR pszFormat, ...) {
    if (!pszDest || cchDest == 0 || cchDest > STRSAFE_MAX_CCH) return STRSAFE_E_INVALID_PARAMETER;
    va_list args;
    va_start(args, pszFormat);
    winsim::Formatted<wchar_t> made = (winsim::FormatWide("StringCchPrintfW", cchDest - 1, pszFormat, args));
    va_end(args);
    if (EncodingError(made, pszDest)) return STRSAFE_E_INSUFFICIENT_BUFFER;  // how strsafe reads printf's -1
    return CopyCch(pszDest, cchDest, made.text.c_str(), made.length);
}

extern "C" HRESULT StringCchPrintfA(LPSTR pszDest, size_t cchDest, LPCSTR pszFormat, ...) {
    if (!pszDest || cchDest == 0 || cchDest > STRSAFE_MAX_CCH) return STRSAFE_E_INVALID_PARAMETER;
    va_list args;
    va_start(args, pszFormat);
    winsim::Formatted<char> made = (winsim::FormatNarrow("StringCchPrintfA", cchDest - 1, pszFormat, args));
    va_end(args);
    if (EncodingError(made, pszDest)) return STRSAFE_E_INSUFFICIENT_BUFFER;  // how strsafe reads printf's -1
    return CopyCch(pszDest, cchDest, made.text.c_str(), made.length);
}
