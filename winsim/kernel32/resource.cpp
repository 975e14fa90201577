// A module's resources other than strings: found by type and number in the thread's UI language.
#include <windows.h>
#include <winsim_resources.h>

#include <cwchar>

#include "../user32/resource.h"

namespace {

// A resource named by number, directly or as "#123".
bool NumberOf(LPCWSTR name, unsigned* number) {
    if (!name) return false;
    if (IS_INTRESOURCE(name)) {
        *number = static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(name));
        return true;
    }
    if (name[0] != L'#' || !name[1]) return false;
    unsigned value = 0;
    for (const wchar_t* p = name + 1; *p; ++p) {
        if (*p < L'0' || *p > L'9' || value > 0xFFFF) return false;
        value = value * 10 + static_cast<unsigned>(*p - L'0');
    }
    *number = value;
    return value <= 0xFFFF;
}

}  // namespace

// Simplified: resources are named by number only (a string name is never found).
extern "C" HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType) {
    unsigned type = 0;
    unsigned id = 0;
    if (!NumberOf(lpType, &type)) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    if (!NumberOf(lpName, &id)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    bool typeKnown = false;
    const WinsimResource* found = winsim::FindResource(hModule, type, id, winsim::UiLanguage(), &typeKnown);
    if (!found) {
        SetLastError(typeKnown ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HRSRC>(const_cast<WinsimResource*>(found));
}

// The resource's bytes stay where the module keeps them, as on Windows.
extern "C" HGLOBAL WINAPI LoadResource(HMODULE, HRSRC hResInfo) {
    if (!hResInfo) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return const_cast<unsigned char*>(reinterpret_cast<const WinsimResource*>(hResInfo)->data);
}

extern "C" LPVOID WINAPI LockResource(HGLOBAL hResData) { return hResData; }

extern "C" DWORD WINAPI SizeofResource(HMODULE, HRSRC hResInfo) {
    if (!hResInfo) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return static_cast<DWORD>(reinterpret_cast<const WinsimResource*>(hResInfo)->size);
}
