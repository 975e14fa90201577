// Text conversions between the system's wide strings (UTF-32 wchar_t here) and the machine file's UTF-8.
#pragma once
#include <string>
#include <vector>

namespace winsim {

std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);
// Win32 path to host path: "Z:\x\y" is "/x/y"; other drives live below the machine's folder.
std::string HostPath(const std::wstring& win32Path);
// Host path to the Win32 path a program sees on the Z: drive.
std::wstring Win32Path(const std::string& hostPath);

// Bytes as the machine file keeps them: lower-case hex, two digits a byte.
std::string ToHex(const unsigned char* data, size_t size);
// A hand-edited machine file may hold anything: an odd length or a stray character ends the bytes there.
std::vector<unsigned char> FromHex(const std::string& hex);

}  // namespace winsim
