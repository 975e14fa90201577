#include <windows.h>

#include <cstring>
#include <cwchar>
#include <cwctype>

// Simplified: lstrcmpW compares code points, not by the user's locale's word sort; equality, the
// only thing the system asks of it, is the same.
extern "C" int WINAPI lstrcmpW(LPCWSTR a, LPCWSTR b) {
    if (!a) a = L"";
    if (!b) b = L"";
    int r = std::wcscmp(a, b);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

extern "C" int WINAPI lstrcmpiW(LPCWSTR a, LPCWSTR b) {
    if (!a) a = L"";
    if (!b) b = L"";
    for (;; ++a, ++b) {
        wint_t ca = std::towlower(static_cast<wint_t>(*a));
        wint_t cb = std::towlower(static_cast<wint_t>(*b));
        if (ca != cb) return ca < cb ? -1 : 1;
        if (ca == 0) return 0;
    }
}

extern "C" int WINAPI lstrlenW(LPCWSTR s) { return s ? static_cast<int>(std::wcslen(s)) : 0; }
extern "C" int WINAPI lstrlenA(LPCSTR s) { return s ? static_cast<int>(std::strlen(s)) : 0; }
