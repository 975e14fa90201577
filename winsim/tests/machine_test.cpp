// The machine file (core/machine.cpp): creation, refusal of a broken file, changes from several
// processes, and scripted faults. The source of truth is the project's design: one JSON machine
// shared by every process, no change lost, a broken file stopping the program and left untouched.
#include <sys/wait.h>

#include <windows.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "TestMachine.h"

namespace {

using testsupport::BinPath;
using testsupport::ChildMachine;
using testsupport::MachineTest;
using testsupport::ReadFile;
using testsupport::RunProgram;
using testsupport::RunResult;
using Json = winsim::control::Json;

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

bool ExitedWith(const RunResult& r, int code) { return WIFEXITED(r.waitStatus) && WEXITSTATUS(r.waitStatus) == code; }

// 0 when GetTempPathW succeeded and left the last error alone; else the last error it reported.
DWORD TempPathOutcome() {
    WCHAR buffer[MAX_PATH];
    SetLastError(0xDEADBEEF);
    DWORD length = GetTempPathW(MAX_PATH, buffer);
    if (length == 0) return GetLastError();
    return GetLastError() == 0xDEADBEEF ? 0 : 0xBAD0BAD0;
}

std::vector<DWORD> TempPathOutcomes(int calls) {
    std::vector<DWORD> outcomes;
    for (int i = 0; i < calls; ++i) outcomes.push_back(TempPathOutcome());
    return outcomes;
}

using MachineFileTest = MachineTest;

TEST_F(MachineFileTest, MissingFileIsCreatedAsTheDefaultMachine) {
    const std::string path = Dir() + "/not/yet/machine.json";
    RunResult r;
    {
        ChildMachine child(path);
        r = RunProgram(BinPath("winsim-ctl"), {"show"});
    }
    ASSERT_TRUE(ExitedWith(r, 0)) << r.err;
    ASSERT_TRUE(testsupport::FileExists(path));
    Json shown = Json::parse(r.out);
    // The default machine is what a reset writes; this test's own machine was just reset.
    EXPECT_EQ(shown.serialize(), winsim::control::Read().serialize());
    EXPECT_EQ(shown.at("system").at("architecture").as_integer(), PROCESSOR_ARCHITECTURE_AMD64);
    EXPECT_EQ(shown.at("spooler").at("printers").size(), 0u) << "no printer of ours yet";
}

TEST_F(MachineFileTest, UnparsableFileStopsTheProgramAndIsLeftUntouched) {
    const std::string path = Dir() + "/broken.json";
    const std::vector<std::string> contents = {"{\"version\": 1, \"system\": {", "[1, 2, 3]", "", "nul"};
    // Both a reader and a writer must refuse it; a writer must not replace it with a default machine.
    const std::vector<std::vector<std::string>> commands = {{"show"}, {"bump", "k", "1"}, {"language", "1041"}};
    ChildMachine child(path);
    for (const std::string& content : contents) {
        for (const auto& command : commands) {
            SCOPED_TRACE("content '" + content + "', command " + command[0]);
            WriteFile(path, content);
            RunResult r = RunProgram(BinPath("winsim-ctl"), command);
            EXPECT_TRUE(WIFEXITED(r.waitStatus)) << "must stop cleanly, not crash";
            EXPECT_FALSE(ExitedWith(r, 0));
            EXPECT_NE(r.err.find(path), std::string::npos) << "stderr must name the file: " << r.err;
            EXPECT_EQ(ReadFile(path), content);
        }
    }
}

// A change that would leave a value no program could read is refused before the file is touched, so the
// next program is not the one that stops.
TEST_F(MachineFileTest, ChangeThatWouldLeaveTheMachineUnusableIsNotWritten) {
    const std::string path = MachinePath();
    const std::string before = ReadFile(path);
    const std::vector<std::pair<std::vector<std::string>, std::string>> changes = {
        {{"language", "70000"}, "system.uiLanguage: expected a whole number from 0 to 65535 (found 70000)"},
        {{"fault", "GetTempPathW", "5", "-3"}, "faults[0].count: expected a whole number of at least -1 (found -3)"},
        {{"fault", "GetTempPathW", "5", "1", "-1"}, "faults[0].after: expected a whole number of at least 0 (found -1)"},
    };
    for (const auto& change : changes) {
        SCOPED_TRACE(change.first[0] + " " + change.first[1]);
        RunResult r = RunProgram(BinPath("winsim-ctl"), change.first);
        EXPECT_TRUE(ExitedWith(r, 3)) << r.err;
        EXPECT_NE(r.err.find("winsim: the machine file " + path + " cannot be used: a change would leave it unusable: " +
                             change.second),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(ReadFile(path), before);
    }
}

TEST_F(MachineFileTest, ConcurrentChangesFromSeveralProcessesAreAllKept) {
    constexpr int kProcesses = 6;
    constexpr int kBumps = 50;
    std::vector<RunResult> results(kProcesses);
    std::vector<std::thread> threads;
    for (int i = 0; i < kProcesses; ++i) {
        threads.emplace_back([&results, i] {
            results[i] = RunProgram(BinPath("winsim-ctl"), {"bump", "counter", std::to_string(kBumps)});
        });
    }
    for (std::thread& t : threads) t.join();
    for (const RunResult& r : results) EXPECT_TRUE(ExitedWith(r, 0)) << r.err;
    Json machine = winsim::control::Read();
    ASSERT_TRUE(machine.has_field("test"));
    EXPECT_EQ(machine.at("test").at("counter").as_integer(), kProcesses * kBumps);
}

TEST_F(MachineFileTest, ChangeByAnotherProcessIsSeenHere) {
    ASSERT_EQ(TempPathOutcome(), 0u);  // this process now holds a copy of the machine
    RunResult r = RunProgram(BinPath("winsim-ctl"), {"fault", "GetTempPathW", "5"});
    ASSERT_TRUE(ExitedWith(r, 0)) << r.err;
    EXPECT_EQ(TempPathOutcome(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    ASSERT_TRUE(ExitedWith(RunProgram(BinPath("winsim-ctl"), {"bump", "seen", "1"}), 0));
    EXPECT_EQ(winsim::control::Read().at("test").at("seen").as_integer(), 1);
}

using FaultTest = MachineTest;

TEST_F(FaultTest, NextCallFailsWithTheInjectedErrorThenCallsSucceed) {
    winsim::control::InjectFault("GetTempPathW", ERROR_ACCESS_DENIED);
    EXPECT_EQ(TempPathOutcomes(3), (std::vector<DWORD>{ERROR_ACCESS_DENIED, 0, 0}));
}

TEST_F(FaultTest, AfterLetsThatManyCallsSucceedFirst) {
    winsim::control::InjectFault("GetTempPathW", ERROR_NOT_ENOUGH_MEMORY, 1, 2);
    EXPECT_EQ(TempPathOutcomes(4), (std::vector<DWORD>{0, 0, ERROR_NOT_ENOUGH_MEMORY, 0}));
}

TEST_F(FaultTest, CountFailsThatManyCallsAndMinusOneForEver) {
    winsim::control::InjectFault("GetTempPathW", ERROR_ACCESS_DENIED, 2);
    EXPECT_EQ(TempPathOutcomes(3), (std::vector<DWORD>{ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, 0}));

    const DWORD f = ERROR_INVALID_FUNCTION;
    winsim::control::InjectFault("GetTempPathW", f, -1, 1);
    EXPECT_EQ(TempPathOutcomes(8), (std::vector<DWORD>{0, f, f, f, f, f, f, f}));
}

TEST_F(FaultTest, FaultsOfOneFunctionAreTakenInOrderAndSpareOthers) {
    winsim::control::InjectFault("GetTempPathW", ERROR_ACCESS_DENIED);
    winsim::control::InjectFault("GetTempPathW", ERROR_NOT_ENOUGH_MEMORY);
    winsim::control::InjectFault("GetModuleFileNameW", ERROR_INVALID_FUNCTION, -1);
    EXPECT_EQ(TempPathOutcomes(3), (std::vector<DWORD>{ERROR_ACCESS_DENIED, ERROR_NOT_ENOUGH_MEMORY, 0}));

    WCHAR name[MAX_PATH];
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GetModuleFileNameW(nullptr, name, MAX_PATH), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
}

}  // namespace
