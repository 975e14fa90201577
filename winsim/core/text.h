// Text conversions between the system's wide strings (UTF-32 wchar_t here) and the machine file's UTF-8.
#pragma once
#include <string>
#include <vector>

namespace winsim {

// Every character a wchar_t cannot hold as Unicode (a surrogate, a value past U+10FFFF) becomes U+FFFD.
std::string ToUtf8(const std::wstring& text);
// Every ill-formed sequence becomes U+FFFD.
std::wstring FromUtf8(const std::string& text);
// Bytes from outside (a host file name, a command line) as UTF-8 text the machine file can hold:
// every ill-formed sequence becomes U+FFFD, so nothing winsim writes fails to read back.
std::string MendUtf8(const std::string& bytes);
// Whether the bytes are well-formed UTF-8 (no surrogate, no overlong form, nothing past U+10FFFF); if
// not, *at is where the first ill-formed sequence starts.
bool IsUtf8(const std::string& bytes, size_t* at = nullptr);
// Win32 path to host path: "Z:\x\y" is "/x/y"; other drives live below the machine's folder.
std::string HostPath(const std::wstring& win32Path);
// Host path to the Win32 path a program sees on the Z: drive.
std::wstring Win32Path(const std::string& hostPath);

// Bytes as the machine file keeps them: lower-case hex, two digits a byte.
std::string ToHex(const unsigned char* data, size_t size);
// A hand-edited machine file may hold anything: an odd length or a stray character ends the bytes there.
std::vector<unsigned char> FromHex(const std::string& hex);

}  // namespace winsim
