#include "TextConvert.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

#include "ChsLocale.h"

std::string WideToAnsi(const wchar_t* text) {
    if (!text) return std::string();
    ChsLocale chs;
    size_t length = std::wcslen(text);
    std::vector<char> buffer(2 * length + 1, '\0');
    size_t converted = 0;
    // A character the code page lacks leaves the buffer empty.
    wcstombs_s(&converted, buffer.data(), buffer.size(), text, _TRUNCATE);
    return std::string(buffer.data());
}

std::wstring AnsiToWide(const char* text) {
    if (!text) return std::wstring();
    ChsLocale chs;
    size_t length = std::strlen(text);
    std::vector<wchar_t> buffer(length + 1, L'\0');
    size_t converted = 0;
    mbstowcs_s(&converted, buffer.data(), buffer.size(), text, _TRUNCATE);
    return std::wstring(buffer.data());
}
