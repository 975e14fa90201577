// The process side of the simulated platform: command lines and exit codes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace winsim {

std::vector<std::string> SplitCommandLine(const std::string& tail);
// What follows the program name of a whole command line, blanks before it removed (lpCmdLine).
std::string CommandLineTail(const std::string& cmdLine);
// Writes this process's full 32-bit exit code into the machine's process records, when the process that
// started it may ask for it (see AskingParentVariable) and the machine file exists; records of parents
// that ended go.
void RecordExitCode(int exitCode);
// The exit code a child of this process, of that host id, recorded, if any; the record is dropped, as
// nobody else asks for it.
bool TakeExitRecord(long pid, int32_t* exitCode);
// "NAME=VALUE" for the environment of a child this process starts and will ask for its exit code.
std::string AskingParentVariable();

}  // namespace winsim
