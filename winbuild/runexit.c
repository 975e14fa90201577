// Test host for the Wine smoke run, not shipped: starts the command line after its own name, waits,
// and prints the child's exit code as a signed 32-bit number, since a shell keeps only 8 bits of it.
//   runexit PROGRAM [ARGS...]   prints e.g. "-1"; its own exit code is 0 once the child has ended.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

// A smoke run must never hang on a box that waits for a person.
#define CHILD_TIMEOUT_MS 60000

// The exact command-line tail after the program name, under the rules Windows uses to split argv[0].
static const wchar_t* CommandTail(const wchar_t* p) {
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"') ++p;
        if (*p) ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t') ++p;
    }
    while (*p == L' ' || *p == L'\t') ++p;
    return p;
}

int wmain(void) {
    const wchar_t* tail = CommandTail(GetCommandLineW());
    if (!*tail) {
        fputs("usage: runexit PROGRAM [ARGS...]\n", stderr);
        return 2;
    }
    // CreateProcessW may write into its command-line buffer.
    wchar_t* cmd = _wcsdup(tail);
    STARTUPINFOW si;
    PROCESS_INFORMATION pi;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    if (!cmd || !CreateProcessW(NULL, cmd, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
        fprintf(stderr, "runexit: CreateProcessW failed, error %lu\n", GetLastError());
        return 2;
    }
    if (WaitForSingleObject(pi.hProcess, CHILD_TIMEOUT_MS) != WAIT_OBJECT_0) {
        fprintf(stderr, "runexit: child still running after %d ms, ended\n", CHILD_TIMEOUT_MS);
        TerminateProcess(pi.hProcess, 1);
        return 3;
    }
    DWORD code = 0;
    if (!GetExitCodeProcess(pi.hProcess, &code)) {
        fprintf(stderr, "runexit: GetExitCodeProcess failed, error %lu\n", GetLastError());
        return 2;
    }
    printf("%ld\n", (long)(LONG)code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    free(cmd);
    return 0;
}
