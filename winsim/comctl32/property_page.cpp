// Property sheet pages: a sheet keeps its own copy of each page's description. The handle is the address
// of that copy, which is also what the page's dialog receives in WM_INITDIALOG.
// Simplified: page callbacks (PSP_USECALLBACK) are not called.
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

#include "../core/machine.h"

namespace {

std::mutex gMutex;
std::set<void*>& Pages() {
    static auto* pages = new std::set<void*>;
    return *pages;
}

}  // namespace

// The whole description is copied, dwSize bytes, so data a caller appends after it travels with the page.
extern "C" HPROPSHEETPAGE WINAPI CreatePropertySheetPageW(LPCPROPSHEETPAGEW constPropSheetPagePointer) {
    uint32_t fault;
    if (winsim::TakeFault("CreatePropertySheetPageW", &fault)) {
        SetLastError(fault);
        return nullptr;
    }
    if (!constPropSheetPagePointer || constPropSheetPagePointer->dwSize < PROPSHEETPAGEW_V1_SIZE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    size_t size = constPropSheetPagePointer->dwSize;
    void* copy = std::calloc(1, size > sizeof(PROPSHEETPAGEW) ? size : sizeof(PROPSHEETPAGEW));
    if (!copy) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::memcpy(copy, constPropSheetPagePointer, size);
    std::lock_guard<std::mutex> lock(gMutex);
    Pages().insert(copy);
    return static_cast<HPROPSHEETPAGE>(copy);
}

extern "C" BOOL WINAPI DestroyPropertySheetPage(HPROPSHEETPAGE hPSPage) {
    std::lock_guard<std::mutex> lock(gMutex);
    if (!Pages().erase(hPSPage)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::free(hPSPage);
    return TRUE;
}
