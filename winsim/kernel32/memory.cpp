#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "../core/machine.h"

// Real allocations. Simplified: every handle is a fixed pointer (GMEM_MOVEABLE is not modelled) and
// heaps are the C allocator behind a small header that remembers the size for HeapReAlloc.
namespace {

struct Block {
    size_t size;
    size_t pad;  // keeps the payload 16-byte aligned
};

void* Allocate(size_t bytes, bool zero) {
    Block* b = static_cast<Block*>(zero ? std::calloc(1, sizeof(Block) + bytes) : std::malloc(sizeof(Block) + bytes));
    if (!b) return nullptr;
    b->size = bytes;
    return b + 1;
}

Block* HeaderOf(void* p) { return static_cast<Block*>(p) - 1; }

int gProcessHeap;

}  // namespace

extern "C" HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
    uint32_t fault;
    if (winsim::TakeFault("GlobalAlloc", &fault)) {
        SetLastError(fault);
        return nullptr;
    }
    void* p = Allocate(dwBytes, (uFlags & GMEM_ZEROINIT) != 0);
    if (!p) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return p;
}

extern "C" HGLOBAL WINAPI GlobalFree(HGLOBAL hMem) {
    if (hMem) std::free(HeaderOf(hMem));
    return nullptr;
}

extern "C" HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
    void* p = Allocate(uBytes, (uFlags & LMEM_ZEROINIT) != 0);
    if (!p) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return p;
}

extern "C" HLOCAL WINAPI LocalFree(HLOCAL hMem) {
    if (hMem) std::free(HeaderOf(hMem));
    return nullptr;
}

extern "C" HANDLE WINAPI GetProcessHeap(void) { return &gProcessHeap; }

extern "C" HANDLE WINAPI HeapCreate(DWORD, SIZE_T, SIZE_T) { return new (std::nothrow) int(0); }

extern "C" BOOL WINAPI HeapDestroy(HANDLE hHeap) {
    if (!hHeap || hHeap == &gProcessHeap) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    delete static_cast<int*>(hHeap);  // Simplified: blocks still allocated from it are not freed
    return TRUE;
}

extern "C" LPVOID WINAPI HeapAlloc(HANDLE hHeap, DWORD dwFlags, SIZE_T dwBytes) {
    if (!hHeap) return nullptr;
    void* p = Allocate(dwBytes, (dwFlags & HEAP_ZERO_MEMORY) != 0);
    if (!p) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return p;
}

extern "C" LPVOID WINAPI HeapReAlloc(HANDLE hHeap, DWORD dwFlags, LPVOID lpMem, SIZE_T dwBytes) {
    if (!hHeap || !lpMem) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    size_t old = HeaderOf(lpMem)->size;
    Block* b = static_cast<Block*>(std::realloc(HeaderOf(lpMem), sizeof(Block) + dwBytes));
    if (!b) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    b->size = dwBytes;
    if ((dwFlags & HEAP_ZERO_MEMORY) && dwBytes > old) std::memset(reinterpret_cast<char*>(b + 1) + old, 0, dwBytes - old);
    return b + 1;
}

extern "C" BOOL WINAPI HeapFree(HANDLE, DWORD, LPVOID lpMem) {
    if (lpMem) std::free(HeaderOf(lpMem));
    return TRUE;
}
