#pragma once
#include <windef.h>

namespace winsim {
// Load address of the module that holds an address.
const void* ModuleBaseOf(const void* address);
LANGID UiLanguage();
const wchar_t* FindString(HINSTANCE module, UINT id, LANGID language);
}  // namespace winsim
