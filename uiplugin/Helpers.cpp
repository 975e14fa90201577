#include "Helpers.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>

namespace {
constexpr int kResStringChars = 260;
constexpr size_t kDebugTextChars = 1024;
constexpr int kDebugAttempts = 10;
constexpr size_t kDebugWideChars = 260;
}  // namespace

LPWSTR LoadResString(HANDLE hHeap, HINSTANCE hModule, UINT id) {
    auto* text = static_cast<LPWSTR>(HeapAlloc(hHeap, HEAP_ZERO_MEMORY, kResStringChars * sizeof(WCHAR)));
    if (!text) return nullptr;
    int length = LoadStringW(hModule, id, text, kResStringChars);
    if (length <= 0) {
        HeapFree(hHeap, 0, text);
        return nullptr;
    }
    // The core's heap lives as long as the sheet: keep only what the string needs.
    auto* shrunk = static_cast<LPWSTR>(HeapReAlloc(hHeap, HEAP_ZERO_MEMORY, text, (length + 1) * sizeof(WCHAR)));
    return shrunk ? shrunk : text;
}

LPCSTR PathFileName(LPCSTR path) {
    if (!path) return nullptr;
    LPCSTR name = path;
    for (LPCSTR p = path; *p; ++p) {
        if (*p == '\\') name = p + 1;
    }
    return name;
}

BOOL DebugPrintA(LPCSTR format, ...) {
    if (!format) return FALSE;
    HANDLE heap = GetProcessHeap();
    size_t size = kDebugTextChars;
    auto* text = static_cast<char*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, size));
    if (!text) return FALSE;
    BOOL whole = FALSE;
    for (int attempt = 1; attempt <= kDebugAttempts; ++attempt) {
        va_list args;
        va_start(args, format);
        int length = std::vsnprintf(text, size, format, args);
        va_end(args);
        if (length < 0) break;
        if (static_cast<size_t>(length) < size) {
            whole = TRUE;
            break;
        }
        if (attempt == kDebugAttempts) break;
        auto* bigger = static_cast<char*>(HeapReAlloc(heap, HEAP_ZERO_MEMORY, text, size * 2));
        if (!bigger) break;
        text = bigger;
        size *= 2;
    }
    OutputDebugStringA(text);
    HeapFree(heap, 0, text);
    return whole;
}

BOOL DebugPrintW(LPCWSTR format, ...) {
    if (!format) return FALSE;
    HANDLE heap = GetProcessHeap();
    auto* text = static_cast<LPWSTR>(HeapAlloc(heap, HEAP_ZERO_MEMORY, kDebugWideChars * sizeof(WCHAR)));
    if (!text) return FALSE;
    va_list args;
    va_start(args, format);
    int length = std::vswprintf(text, kDebugWideChars, format, args);
    va_end(args);
    // A text that did not fit is cut, not dropped.
    text[kDebugWideChars - 1] = 0;
    OutputDebugStringW(text);
    HeapFree(heap, 0, text);
    return length >= 0 && static_cast<size_t>(length) < kDebugWideChars;
}
