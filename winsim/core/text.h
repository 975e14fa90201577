// Text conversions between the system's wide strings (UTF-32 wchar_t here) and the machine file's UTF-8.
#pragma once
#include <string>

namespace winsim {

std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);
// Win32 path to host path: "Z:\x\y" is "/x/y"; other drives live below the machine's folder.
std::string HostPath(const std::wstring& win32Path);
// Host path to the Win32 path a program sees on the Z: drive.
std::wstring Win32Path(const std::string& hostPath);

}  // namespace winsim
