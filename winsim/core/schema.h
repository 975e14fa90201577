// The shape in which winsim reads the machine file: every section, the types of its values and the
// ranges the simulated functions rely on. A file is checked against it once, when it is loaded, so the
// functions that read the machine need not check again; keys winsim does not read are left alone.
#pragma once
#include <string>

#include "machine.h"

namespace winsim {

// Empty when winsim can use the whole machine; else the JSON path of the first value it cannot use and
// what it expected there, e.g. "spooler.ports: expected an array (found a number)".
std::string MachineProblem(const Json& machine);

}  // namespace winsim
