// The languages the simulated platform answers in.
#pragma once
#include <windef.h>

namespace winsim {
// The machine's user-interface language ("system.uiLanguage", 1033 when unset).
LANGID MachineUiLanguage();
// The calling thread's user-interface language: the one it set, else the machine's.
LANGID ThreadUiLanguage();
}  // namespace winsim
