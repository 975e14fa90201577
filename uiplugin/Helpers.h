// Small operations of the plug-in: resource strings in the core's heap, file names, debugger output.
#pragma once
#include <windows.h>
#include <compstui.h>

struct QVPrinterSettings;

// A string of the module's table in a block of heap, or null when the table lacks it; the block lives
// until the heap is destroyed.
LPWSTR LoadResString(HANDLE hHeap, HINSTANCE hModule, UINT id);
// The text after the last backslash, or the whole path when it has none.
LPCSTR PathFileName(LPCSTR path);
// printf-style text to the debugger; FALSE when it could not be formatted whole.
BOOL DebugPrintA(LPCSTR format, ...);
BOOL DebugPrintW(LPCWSTR format, ...);

// Hooks where a tracing build looks at what passes through; this build looks at nothing.
inline void TraceStub(const PROPSHEETUI_INFO*) {}
inline void TraceStub(const DEVMODEW*) {}
inline void TraceStub(const QVPrinterSettings*) {}
inline void TraceStub(const void*, DWORD) {}
