// The Microsoft C runtime's default invalid-parameter handler, which the _s functions call.
#pragma once
#include <string>

namespace winsim {

// Says on standard error which function was given what, then ends the process as the default handler
// does: no exit handlers run, and the exit code is STATUS_STACK_BUFFER_OVERRUN.
[[noreturn]] void InvalidParameter(const char* function, const std::string& problem);

}  // namespace winsim
