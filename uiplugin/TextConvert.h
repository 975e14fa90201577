// Text between wide and narrow strings under the C runtime's "chs" locale (code page 936), which each
// conversion sets for itself and restores after.
#pragma once
#include <string>

// Empty when a character has no counterpart in code page 936.
std::string WideToAnsi(const wchar_t* text);
std::wstring AnsiToWide(const char* text);
