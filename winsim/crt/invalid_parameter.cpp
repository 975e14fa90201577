#include "invalid_parameter.h"

#include <unistd.h>

#include <cstdio>

#include "../core/process.h"

namespace winsim {

// Simplified: no report to Windows Error Reporting. Since Windows 8 the handler fails fast with
// FAST_FAIL_INVALID_ARG, which leaves STATUS_STACK_BUFFER_OVERRUN (0xC0000409) as the exit code; the
// process ends like TerminateProcess, without exit handlers or unwritten buffers being flushed.
void InvalidParameter(const char* function, const std::string& problem) {
    constexpr unsigned kStatusStackBufferOverrun = 0xC0000409;
    std::fprintf(stderr,
                 "Invalid parameter passed to C runtime function %s: %s. The program ends (exit code 0x%08X).\n",
                 function, problem.c_str(), kStatusStackBufferOverrun);
    std::fflush(stderr);
    RecordExitCode(static_cast<int>(kStatusStackBufferOverrun));
    ::_exit(static_cast<int>(kStatusStackBufferOverrun & 0xFF));
}

}  // namespace winsim
