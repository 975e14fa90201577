#include <windows.h>

namespace {
thread_local DWORD tLastError = 0;
}

extern "C" DWORD WINAPI GetLastError(void) { return tLastError; }
extern "C" void WINAPI SetLastError(DWORD dwErrCode) { tLastError = dwErrCode; }
