// Critical sections: a recursive lock per CRITICAL_SECTION, kept behind its DebugInfo.
#include <sys/syscall.h>
#include <unistd.h>

#include <windows.h>

#include <mutex>
#include <new>

namespace {

HANDLE CurrentThread() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(::syscall(SYS_gettid))); }

std::recursive_mutex* LockOf(LPCRITICAL_SECTION cs) {
    return cs ? static_cast<std::recursive_mutex*>(cs->DebugInfo) : nullptr;
}

}  // namespace

extern "C" void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    lpCriticalSection->DebugInfo = new std::recursive_mutex;
    lpCriticalSection->LockCount = -1;
    lpCriticalSection->RecursionCount = 0;
    lpCriticalSection->OwningThread = nullptr;
    lpCriticalSection->LockSemaphore = nullptr;
    lpCriticalSection->SpinCount = 0;
}

// Simplified: a section that was never initialised (or was deleted) is not entered, where Windows would
// corrupt memory or raise an exception.
extern "C" void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    std::recursive_mutex* lock = LockOf(lpCriticalSection);
    if (!lock) return;
    lock->lock();
    lpCriticalSection->OwningThread = CurrentThread();
    ++lpCriticalSection->RecursionCount;
}

// Simplified: leaving a section the thread does not own is ignored.
extern "C" void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    std::recursive_mutex* lock = LockOf(lpCriticalSection);
    if (!lock || lpCriticalSection->OwningThread != CurrentThread() || lpCriticalSection->RecursionCount <= 0) return;
    if (--lpCriticalSection->RecursionCount == 0) lpCriticalSection->OwningThread = nullptr;
    lock->unlock();
}

extern "C" void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    delete LockOf(lpCriticalSection);
    lpCriticalSection->DebugInfo = nullptr;
    lpCriticalSection->RecursionCount = 0;
    lpCriticalSection->OwningThread = nullptr;
}
