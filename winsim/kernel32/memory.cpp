#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>

#include "../core/machine.h"

// Real allocations. Simplified: every handle is a fixed pointer (GMEM_MOVEABLE is not modelled) and
// heaps are the C allocator behind a small header that remembers the size for HeapReAlloc and the heap
// the block belongs to, so that a destroyed heap frees what is still allocated from it.
namespace {

struct Heap {
    std::mutex mutex;
    std::unordered_set<void*> blocks;  // payloads still allocated
};

struct Block {
    size_t size;
    Heap* heap;  // null for global and local memory; also keeps the payload 16-byte aligned
};

void* Allocate(size_t bytes, bool zero, Heap* heap = nullptr) {
    Block* b = static_cast<Block*>(zero ? std::calloc(1, sizeof(Block) + bytes) : std::malloc(sizeof(Block) + bytes));
    if (!b) return nullptr;
    b->size = bytes;
    b->heap = heap;
    if (heap) {
        std::lock_guard<std::mutex> lock(heap->mutex);
        heap->blocks.insert(b + 1);
    }
    return b + 1;
}

Block* HeaderOf(void* p) { return static_cast<Block*>(p) - 1; }

void Release(void* p) {
    Block* b = HeaderOf(p);
    if (b->heap) {
        std::lock_guard<std::mutex> lock(b->heap->mutex);
        b->heap->blocks.erase(p);
    }
    std::free(b);
}

// Never destroyed, so its blocks need no tracking (and none can outlive a tracked set at exit).
int gProcessHeap;

Heap* Tracked(HANDLE heap) { return heap == &gProcessHeap ? nullptr : static_cast<Heap*>(heap); }

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
    if (hMem) Release(hMem);
    return nullptr;
}

extern "C" HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
    void* p = Allocate(uBytes, (uFlags & LMEM_ZEROINIT) != 0);
    if (!p) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return p;
}

extern "C" HLOCAL WINAPI LocalFree(HLOCAL hMem) {
    if (hMem) Release(hMem);
    return nullptr;
}

extern "C" HANDLE WINAPI GetProcessHeap(void) { return &gProcessHeap; }

extern "C" HANDLE WINAPI HeapCreate(DWORD, SIZE_T, SIZE_T) { return new (std::nothrow) Heap; }

extern "C" BOOL WINAPI HeapDestroy(HANDLE hHeap) {
    if (!hHeap || hHeap == &gProcessHeap) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    auto* heap = static_cast<Heap*>(hHeap);
    for (void* p : heap->blocks) std::free(HeaderOf(p));
    delete heap;
    return TRUE;
}

extern "C" LPVOID WINAPI HeapAlloc(HANDLE hHeap, DWORD dwFlags, SIZE_T dwBytes) {
    if (!hHeap) return nullptr;
    void* p = Allocate(dwBytes, (dwFlags & HEAP_ZERO_MEMORY) != 0, Tracked(hHeap));
    if (!p) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return p;
}

extern "C" LPVOID WINAPI HeapReAlloc(HANDLE hHeap, DWORD dwFlags, LPVOID lpMem, SIZE_T dwBytes) {
    if (!hHeap || !lpMem) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Heap* heap = HeaderOf(lpMem)->heap;
    std::unique_lock<std::mutex> lock;
    if (heap) lock = std::unique_lock<std::mutex>(heap->mutex);
    size_t old = HeaderOf(lpMem)->size;
    Block* b = static_cast<Block*>(std::realloc(HeaderOf(lpMem), sizeof(Block) + dwBytes));
    if (!b) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    b->size = dwBytes;
    if (heap) {
        heap->blocks.erase(lpMem);
        heap->blocks.insert(b + 1);
    }
    if ((dwFlags & HEAP_ZERO_MEMORY) && dwBytes > old) std::memset(reinterpret_cast<char*>(b + 1) + old, 0, dwBytes - old);
    return b + 1;
}

extern "C" BOOL WINAPI HeapFree(HANDLE, DWORD, LPVOID lpMem) {
    if (lpMem) Release(lpMem);
    return TRUE;
}
