// The Microsoft C runtime's secure string functions that glibc lacks.
#pragma once
#include "windef.h"

#ifdef __cplusplus
extern "C" {
#endif

errno_t wcscpy_s(wchar_t* dest, size_t destsz, const wchar_t* src);
errno_t wcsncpy_s(wchar_t* dest, size_t destsz, const wchar_t* src, size_t count);
errno_t wcscat_s(wchar_t* dest, size_t destsz, const wchar_t* src);
errno_t strcpy_s(char* dest, size_t destsz, const char* src);
// Microsoft's wide printf: %s and %c take wide arguments, %S and %C narrow ones.
int swprintf_s(wchar_t* buffer, size_t sizeOfBuffer, const wchar_t* format, ...);
int _snwprintf_s(wchar_t* buffer, size_t sizeOfBuffer, size_t count, const wchar_t* format, ...);
int sprintf_s(char* buffer, size_t sizeOfBuffer, const char* format, ...);

#ifdef __cplusplus
}
#endif

// The runtime's locale is the Microsoft runtime's, kept apart from glibc's own process locale: glibc's
// declaration comes first, then every later setlocale of the system code reaches ours.
#include <clocale>
#include <cstdlib>

#ifdef __cplusplus
extern "C" {
#endif
char* winsim_setlocale(int category, const char* locale);
// Multibyte conversions under that locale ("C" unless the program set another).
errno_t mbstowcs_s(size_t* pReturnValue, wchar_t* wcstr, size_t sizeInWords, const char* mbstr, size_t count);
errno_t wcstombs_s(size_t* pReturnValue, char* mbstr, size_t sizeInBytes, const wchar_t* wcstr, size_t count);
#ifdef __cplusplus
}
#endif
#define setlocale winsim_setlocale
