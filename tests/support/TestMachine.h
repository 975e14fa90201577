// Test support: a fresh simulated machine per test, running built programs on it, reading logs.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <control.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// Every test starts on its own default machine in a temporary folder, removed afterwards.
class MachineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    const std::string& Dir() const { return dir_; }
    std::string MachinePath() const { return dir_ + "/machine.json"; }
    // Host path of the machine's temporary folder (GetTempPathW), ending in '/'.
    std::string TempDir() const { return dir_ + "/temp/"; }

private:
    std::string dir_;
};

// Points child processes at another machine file for the scope of a test; this process keeps its own.
class ChildMachine {
public:
    explicit ChildMachine(const std::string& path);
    ~ChildMachine();

private:
    std::string saved_;
};

struct RunResult {
    int32_t exitCode = 0;     // the full 32-bit code the program recorded in the machine
    bool recorded = false;    // false when the program did not record one (crashed, or never used the machine)
    int waitStatus = 0;
    std::string out;
    std::string err;
};

// Runs a program to its end with standard input closed, on the current machine, in folder cwd
// (empty: the test's own).
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args, const std::string& cwd = "");

// Built files: the package folder (Corvane and the package files) and the bin folder (winsim-ctl).
std::string PackagePath(const std::string& name);
std::string BinPath(const std::string& name);

std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
// The messages of a log file written with spdlog's default pattern: "[time] [logger] [level] message".
struct LogEntry {
    std::string logger;
    std::string level;
    std::string message;
};
std::vector<LogEntry> ReadLog(const std::string& path);

// The second model's USBPRINT device bound to USB002 beside the default machine's first one, and the
// spooler listing that port.
void PlugSecondModelPrintDevice();
// Printer name -> port of every queue on the machine.
std::vector<std::pair<std::string, std::string>> Queues();
// Whether an injected fault of the function is still waiting to be met.
bool FaultPending(const std::string& function);
// A test's own window class, registered the first time it is asked for (classes live as long as the
// process); 0 when it cannot be registered.
ATOM TestWindowClass(const wchar_t* name, WNDPROC procedure, int windowExtra = 0);

}  // namespace testsupport
