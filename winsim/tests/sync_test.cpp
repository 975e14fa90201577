// Critical sections (kernel32/sync.cpp). Source of truth: the EnterCriticalSection documentation — the
// owning thread may enter again and must leave as often as it entered; other threads wait until then.
#include <windows.h>

#include <thread>

#include "TestMachine.h"

namespace {

using CriticalSectionTest = testsupport::MachineTest;

TEST_F(CriticalSectionTest, OwnerEntersAgainAndLeavesAsOftenAsItEntered) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    EnterCriticalSection(&cs);
    EnterCriticalSection(&cs);
    EXPECT_EQ(cs.RecursionCount, 2);
    EXPECT_NE(cs.OwningThread, nullptr);
    LeaveCriticalSection(&cs);
    EXPECT_EQ(cs.RecursionCount, 1);
    LeaveCriticalSection(&cs);
    EXPECT_EQ(cs.RecursionCount, 0);
    EXPECT_EQ(cs.OwningThread, nullptr);
    // Free again: another thread gets it.
    bool entered = false;
    std::thread([&] {
        EnterCriticalSection(&cs);
        entered = true;
        LeaveCriticalSection(&cs);
    }).join();
    EXPECT_TRUE(entered);
    DeleteCriticalSection(&cs);
}

TEST_F(CriticalSectionTest, ThreadsTakeTurns) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    volatile long counter = 0;
    auto work = [&] {
        for (int i = 0; i < 100000; ++i) {
            EnterCriticalSection(&cs);
            counter = counter + 1;
            LeaveCriticalSection(&cs);
        }
    };
    std::thread a(work);
    std::thread b(work);
    a.join();
    b.join();
    EXPECT_EQ(counter, 200000);
    DeleteCriticalSection(&cs);
}

}  // namespace
