// Linux-only bridge for the two seams where machine state must reach a host library.
#pragma once
#include <string>

// Maps a Win32 path ("Z:\tmp\a.log", "logs\a.log") to the host path it stands for.
std::string WinsimHostPath(const std::wstring& win32Path);

// The machine's WinHTTP proxy ("netsh winhttp set proxy") as "http://host:port"; empty for direct access.
std::string WinsimWinHttpProxy();
