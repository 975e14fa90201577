// The processor architectures a simulated machine may have, each with the spooler environment that is its
// own (what a NULL environment stands for). The machine file is refused when it names any other, so no
// function has to guess an environment for it.
#pragma once
#include <windows.h>

#include <cstdint>

#include "machine.h"

namespace winsim {

struct Architecture {
    int64_t id;               // PROCESSOR_ARCHITECTURE_*
    const char* environment;  // as Windows names it
};

constexpr Architecture kArchitectures[] = {
    {PROCESSOR_ARCHITECTURE_INTEL, "Windows NT x86"}, {PROCESSOR_ARCHITECTURE_ARM, "Windows ARM"},
    {PROCESSOR_ARCHITECTURE_IA64, "Windows IA64"},    {PROCESSOR_ARCHITECTURE_AMD64, "Windows x64"},
    {PROCESSOR_ARCHITECTURE_ARM64, "Windows ARM64"},
};

// What a machine without the value has.
constexpr int64_t kDefaultArchitecture = PROCESSOR_ARCHITECTURE_AMD64;

inline int64_t ArchitectureOf(const Json& machine) {
    return machine.has_field("system") ? IntAt(machine.at("system"), "architecture", kDefaultArchitecture)
                                       : kDefaultArchitecture;
}

// Null for an architecture the machine cannot have.
inline const char* EnvironmentOf(int64_t architecture) {
    for (const Architecture& a : kArchitectures) {
        if (a.id == architecture) return a.environment;
    }
    return nullptr;
}

}  // namespace winsim
