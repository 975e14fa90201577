// The process side of the simulated platform: command lines and exit codes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace winsim {

std::vector<std::string> SplitCommandLine(const std::string& tail);
// What follows the program name of a whole command line, blanks before it removed (lpCmdLine).
std::string CommandLineTail(const std::string& cmdLine);
// Writes this process's full 32-bit exit code into the machine's process records.
void RecordExitCode(int exitCode);
// The exit code a process of that host id recorded, if any.
bool RecordedExitCode(long pid, int32_t* exitCode);

}  // namespace winsim
