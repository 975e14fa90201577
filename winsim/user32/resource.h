#pragma once
#include <windef.h>

struct WinsimResource;

namespace winsim {
// Load address of the module that holds an address.
const void* ModuleBaseOf(const void* address);
// The language resources are loaded in: the calling thread's UI language, else the machine's.
LANGID UiLanguage();
const wchar_t* FindString(HINSTANCE module, UINT id, LANGID language);
// The resource of a type and id in the module (null: the program), in the language the loader picks;
// null when the module has none of that id (typeKnown then tells whether it has any of that type).
const WinsimResource* FindResource(HINSTANCE module, unsigned type, unsigned id, LANGID language,
                                   bool* typeKnown);
}  // namespace winsim
