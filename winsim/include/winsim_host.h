// Linux-only bridge for the one seam where a Win32 path must reach a host library.
#pragma once
#include <string>

// Maps a Win32 path ("Z:\tmp\a.log", "logs\a.log") to the host path it stands for.
std::string WinsimHostPath(const std::wstring& win32Path);
