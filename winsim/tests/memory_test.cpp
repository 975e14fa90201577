// Memory functions (kernel32/memory.cpp). Source of truth: the GlobalAlloc, LocalAlloc, HeapAlloc and
// HeapReAlloc documentation (zero-initialising flags, GlobalFree/LocalFree returning NULL on success,
// HeapReAlloc keeping the block's content and zeroing only the growth under HEAP_ZERO_MEMORY).
#include <windows.h>

#include <cstring>
#include <functional>

#include "TestMachine.h"

namespace {

using testsupport::MachineTest;

constexpr size_t kBytes = 200;

::testing::AssertionResult AllBytesAre(const void* p, size_t from, size_t to, unsigned char value) {
    const auto* bytes = static_cast<const unsigned char*>(p);
    for (size_t i = from; i < to; ++i) {
        if (bytes[i] != value) {
            return ::testing::AssertionFailure() << "byte " << i << " is 0x" << std::hex << int(bytes[i]) << ", not 0x"
                                                 << int(value);
        }
    }
    return ::testing::AssertionSuccess();
}

// Dirties a block, frees it, and asks for one of the same size zeroed: the allocator hands the dirty
// memory back, so only real zeroing passes.
void ExpectZeroedAfterReuse(const std::function<void*(bool zero)>& allocate,
                            const std::function<void(void*)>& release) {
    void* dirty = allocate(false);
    ASSERT_NE(dirty, nullptr);
    std::memset(dirty, 0xCD, kBytes);
    release(dirty);
    void* clean = allocate(true);
    ASSERT_NE(clean, nullptr);
    EXPECT_TRUE(AllBytesAre(clean, 0, kBytes, 0));
    release(clean);
}

// On a test machine: the allocators may consult it for scripted faults.
using MemoryTest = MachineTest;

TEST_F(MemoryTest, ZeroInitFlagsZeroTheBlock) {
    {
        SCOPED_TRACE("GlobalAlloc GMEM_ZEROINIT");
        ExpectZeroedAfterReuse([](bool zero) { return GlobalAlloc(zero ? GPTR : GMEM_FIXED, kBytes); },
                               [](void* p) { EXPECT_EQ(GlobalFree(p), nullptr); });
    }
    {
        SCOPED_TRACE("LocalAlloc LMEM_ZEROINIT");
        ExpectZeroedAfterReuse([](bool zero) { return LocalAlloc(zero ? LPTR : LMEM_FIXED, kBytes); },
                               [](void* p) { EXPECT_EQ(LocalFree(p), nullptr); });
    }
    {
        SCOPED_TRACE("HeapAlloc HEAP_ZERO_MEMORY");
        HANDLE heap = GetProcessHeap();
        ASSERT_NE(heap, nullptr);
        ExpectZeroedAfterReuse([heap](bool zero) { return HeapAlloc(heap, zero ? HEAP_ZERO_MEMORY : 0, kBytes); },
                               [heap](void* p) { EXPECT_NE(HeapFree(heap, 0, p), FALSE); });
    }
}

TEST_F(MemoryTest, HeapReAllocKeepsContentAndZeroesOnlyTheGrowth) {
    HANDLE heap = GetProcessHeap();
    // Leave dirty memory of the grown sizes behind for the reallocation to land in.
    for (size_t size : {128u, 4096u}) {
        void* dirty = HeapAlloc(heap, 0, size);
        ASSERT_NE(dirty, nullptr);
        std::memset(dirty, 0xCD, size);
        HeapFree(heap, 0, dirty);
    }
    auto* p = static_cast<unsigned char*>(HeapAlloc(heap, 0, 64));
    ASSERT_NE(p, nullptr);
    for (size_t i = 0; i < 64; ++i) p[i] = static_cast<unsigned char>(i + 1);

    p = static_cast<unsigned char*>(HeapReAlloc(heap, HEAP_ZERO_MEMORY, p, 128));
    ASSERT_NE(p, nullptr);
    for (size_t i = 0; i < 64; ++i) ASSERT_EQ(p[i], i + 1) << "byte " << i;
    EXPECT_TRUE(AllBytesAre(p, 64, 128, 0));

    // The second growth zeroes from the block's current size, not its first one.
    std::memset(p + 64, 0x77, 64);
    p = static_cast<unsigned char*>(HeapReAlloc(heap, HEAP_ZERO_MEMORY, p, 4096));
    ASSERT_NE(p, nullptr);
    for (size_t i = 0; i < 64; ++i) ASSERT_EQ(p[i], i + 1) << "byte " << i;
    EXPECT_TRUE(AllBytesAre(p, 64, 128, 0x77));
    EXPECT_TRUE(AllBytesAre(p, 128, 4096, 0));

    // Shrinking keeps the head.
    p = static_cast<unsigned char*>(HeapReAlloc(heap, 0, p, 16));
    ASSERT_NE(p, nullptr);
    for (size_t i = 0; i < 16; ++i) ASSERT_EQ(p[i], i + 1) << "byte " << i;
    EXPECT_NE(HeapFree(heap, 0, p), FALSE);
}

// What a private heap still holds goes with it; the sanitizer build reports a leak otherwise.
TEST_F(MemoryTest, DestroyedHeapTakesItsBlocksAndTheProcessHeapStays) {
    HANDLE heap = HeapCreate(0, 0, 0);
    ASSERT_NE(heap, nullptr);
    void* kept = HeapAlloc(heap, HEAP_ZERO_MEMORY, 40);
    auto* grown = static_cast<char*>(HeapAlloc(heap, 0, 8));
    void* freed = HeapAlloc(heap, 0, 24);
    ASSERT_TRUE(kept && grown && freed);
    std::memcpy(grown, "heap", 5);
    grown = static_cast<char*>(HeapReAlloc(heap, 0, grown, 4096));
    ASSERT_NE(grown, nullptr);
    EXPECT_STREQ(grown, "heap");
    EXPECT_NE(HeapFree(heap, 0, freed), FALSE);
    EXPECT_NE(HeapDestroy(heap), FALSE);

    SetLastError(0xDEADBEEF);
    EXPECT_EQ(HeapDestroy(GetProcessHeap()), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(MemoryTest, InjectedFaultFailsGlobalAllocWithNull) {
    winsim::control::InjectFault("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GlobalAlloc(GPTR, 16), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    void* p = GlobalAlloc(GPTR, 16);
    EXPECT_NE(p, nullptr);
    GlobalFree(p);
}

}  // namespace
