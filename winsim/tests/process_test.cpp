// Child processes (kernel32/process.cpp). Source of truth: the CreateProcessA, WaitForSingleObject,
// GetExitCodeProcess and CloseHandle documentation — exit codes are 32-bit DWORDs (a child returning -1
// gives 0xFFFFFFFF, not a wait status's 255); a missing program fails with ERROR_FILE_NOT_FOUND and a
// missing folder with ERROR_PATH_NOT_FOUND; a bare program name is found in the caller's own folder;
// a handle used after CloseHandle is invalid; a failed GetExitCodeProcess returns FALSE with its reason
// in the last error; the exit code stays available through the handle until it is closed.
#include <limits.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "TestMachine.h"

#ifndef WINSIM_TEST_CHILD
#error "WINSIM_TEST_CHILD names the child program"
#endif

namespace {

using testsupport::MachineTest;
using Json = winsim::control::Json;

std::string OnDriveZ(const std::string& hostPath) {
    std::string out = "Z:";
    for (char c : hostPath) out += c == '/' ? '\\' : c;
    return out;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string ChildName() {
    std::string path = WINSIM_TEST_CHILD;
    return path.substr(path.rfind('/') + 1);
}

// Runs the test from another current folder, so that only the caller's own folder can supply a bare name.
class InFolder {
public:
    explicit InFolder(const std::string& folder) {
        char buf[PATH_MAX];
        if (::getcwd(buf, sizeof buf)) saved_ = buf;
        changed_ = ::chdir(folder.c_str()) == 0;
    }
    ~InFolder() {
        if (!saved_.empty() && ::chdir(saved_.c_str()) != 0) ADD_FAILURE() << "cannot return to " << saved_;
    }
    bool changed() const { return changed_; }

private:
    std::string saved_;
    bool changed_ = false;
};

struct Started {
    BOOL ok = FALSE;
    DWORD error = 0;
    PROCESS_INFORMATION pi{};
};

Started Start(const char* application, std::string commandLine, const char* currentDirectory = nullptr) {
    Started s;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');  // CreateProcess may write into the command line
    SetLastError(0xDEADBEEF);
    s.ok = CreateProcessA(application, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                          currentDirectory, &si, &s.pi);
    s.error = GetLastError();
    return s;
}

// Runs a child to its end; its exit code, or a failure naming what went wrong.
::testing::AssertionResult RunsToExitCode(const char* application, const std::string& commandLine, DWORD expected,
                                          const char* currentDirectory = nullptr) {
    Started s = Start(application, commandLine, currentDirectory);
    if (!s.ok) return ::testing::AssertionFailure() << "CreateProcessA failed with " << s.error;
    if (!s.pi.hProcess || !s.pi.dwProcessId) return ::testing::AssertionFailure() << "no process handle or id";
    DWORD wait = WaitForSingleObject(s.pi.hProcess, INFINITE);
    if (wait != WAIT_OBJECT_0) return ::testing::AssertionFailure() << "wait answered " << wait;
    DWORD code = 0x12345678;
    if (!GetExitCodeProcess(s.pi.hProcess, &code)) return ::testing::AssertionFailure() << "GetExitCodeProcess failed";
    if (!CloseHandle(s.pi.hProcess)) return ::testing::AssertionFailure() << "CloseHandle failed";
    if (code != expected) {
        return ::testing::AssertionFailure() << std::hex << "exit code 0x" << code << ", expected 0x" << expected;
    }
    return ::testing::AssertionSuccess();
}

using CreateProcessTest = MachineTest;

TEST_F(CreateProcessTest, ExitCodeKeepsAll32Bits) {
    const std::string child = Quoted(OnDriveZ(WINSIM_TEST_CHILD));
    EXPECT_TRUE(RunsToExitCode(nullptr, child + " exit -1", 0xFFFFFFFF));
    EXPECT_TRUE(RunsToExitCode(nullptr, child + " exit 0x800F0242", 0x800F0242));
    EXPECT_TRUE(RunsToExitCode(nullptr, child + " exit 256", 256));
    EXPECT_TRUE(RunsToExitCode(nullptr, child + " exit 0", 0));
}

TEST_F(CreateProcessTest, InvalidParameterToTheRuntimeEndsWithFailFastStatus) {
    // The runtime's default handler fails fast: STATUS_STACK_BUFFER_OVERRUN, not the code 0 after the call.
    EXPECT_TRUE(RunsToExitCode(nullptr, Quoted(OnDriveZ(WINSIM_TEST_CHILD)) + " overrun", 0xC0000409));
}

TEST_F(CreateProcessTest, InvalidParameterBeforeAnyMachineCallStillGivesTheFullStatus) {
    // Ended before it ever read the machine: the parent must still see all 32 bits, not the wait status's 8.
    EXPECT_TRUE(RunsToExitCode(nullptr, Quoted(OnDriveZ(WINSIM_TEST_CHILD)) + " overrun-first", 0xC0000409));
}

// The exit code is asked for through the handle, as often as the caller likes while it is open; the machine
// keeps a child's record only until its parent has it, and a record whose parent ended goes at the next
// record written.
TEST_F(CreateProcessTest, ExitRecordIsKeptOnlyWhileItsParentMayAskForIt) {
    pid_t ended = ::fork();
    ASSERT_GE(ended, 0);
    if (ended == 0) ::_exit(0);
    ASSERT_EQ(::waitpid(ended, nullptr, 0), ended);
    winsim::control::Change([&](Json& m) {
        Json& records = m["processes"];
        records[0] = Json::parse("{\"pid\": 4242, \"parent\": " + std::to_string(ended) + ", \"exitCode\": 1}");
        records[1] = Json::parse("{\"pid\": 4343, \"parent\": " + std::to_string(::getppid()) + ", \"exitCode\": 2}");
    });

    Started s = Start(nullptr, Quoted(OnDriveZ(WINSIM_TEST_CHILD)) + " exit 0x800F0242");
    ASSERT_TRUE(s.ok) << s.error;
    ASSERT_EQ(WaitForSingleObject(s.pi.hProcess, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
    for (int ask = 0; ask < 3; ++ask) {
        DWORD code = 0;
        EXPECT_NE(GetExitCodeProcess(s.pi.hProcess, &code), FALSE);
        EXPECT_EQ(code, 0x800F0242u) << "asked " << ask + 1 << " times";
    }
    const Json records = winsim::control::Read().at("processes");
    ASSERT_EQ(records.size(), 1u) << records.serialize();
    EXPECT_EQ(records.at(0).at("pid").as_integer(), 4343) << "the record of a parent that still runs stays";
    EXPECT_NE(CloseHandle(s.pi.hProcess), FALSE);
}

// A child that ends after its machine's folder was removed (a test cleaning up) must not make it again,
// nor must its parent, waiting for it.
TEST_F(CreateProcessTest, ExitRecordNeverMakesAMachineAgain) {
    const std::string gone = Dir() + "/gone";
    winsim::control::UseFreshMachine(gone + "/machine.json");
    int ends[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    Started s = Start(nullptr, Quoted(OnDriveZ(WINSIM_TEST_CHILD)) + " hold " + std::to_string(ends[1]) + " " +
                                   std::to_string(ends[0]));
    ::close(ends[1]);
    char ready = 0;
    EXPECT_EQ(::read(ends[0], &ready, 1), 1) << "the child has read its machine";
    std::filesystem::remove_all(gone);
    ::close(ends[0]);
    ASSERT_TRUE(s.ok) << s.error;
    ASSERT_EQ(WaitForSingleObject(s.pi.hProcess, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_FALSE(testsupport::FileExists(gone)) << "the removed folder was made again";
    // Calls that use the machine make a default one, as on first use; the test's folder holds it.
    DWORD code = 1;
    EXPECT_NE(GetExitCodeProcess(s.pi.hProcess, &code), FALSE);
    EXPECT_EQ(code, 0u);
    EXPECT_NE(CloseHandle(s.pi.hProcess), FALSE);
}

TEST_F(CreateProcessTest, ProgramIsFoundAsWindowsWouldName) {
    // The .exe a Windows caller names stands for the host file without the suffix.
    EXPECT_TRUE(RunsToExitCode(nullptr, Quoted(OnDriveZ(WINSIM_TEST_CHILD) + ".exe") + " exit 3", 3));
    {
        // A bare name is looked for in the folder the caller was loaded from.
        InFolder elsewhere(Dir());
        ASSERT_TRUE(elsewhere.changed());
        EXPECT_TRUE(RunsToExitCode(nullptr, ChildName() + ".exe exit 4", 4));
    }
    // With lpApplicationName the command line's first token is only the child's argv[0].
    EXPECT_TRUE(RunsToExitCode(OnDriveZ(WINSIM_TEST_CHILD).c_str(), "anything exit 5", 5));
}

TEST_F(CreateProcessTest, RelativeNameIsTheCallersAndTheChildRunsInItsOwnFolder) {
    const std::string child = WINSIM_TEST_CHILD;
    const std::string binFolder = child.substr(0, child.rfind('/'));
    const std::string aboveBin = binFolder.substr(0, binFolder.rfind('/'));
    const std::string relative = binFolder.substr(aboveBin.size() + 1) + "\\" + ChildName();
    const std::string startIn = OnDriveZ(Dir());
    InFolder caller(aboveBin);
    ASSERT_TRUE(caller.changed());
    // lpCurrentDirectory is the child's folder; a partial program path is completed from the caller's.
    EXPECT_TRUE(RunsToExitCode(nullptr, Quoted(relative) + " infolder " + Quoted(Dir()), 0, startIn.c_str()));
    EXPECT_TRUE(RunsToExitCode(relative.c_str(), "child infolder " + Quoted(Dir()), 0, startIn.c_str()));
}

// A relative WINSIM_MACHINE names the file in the folder the program started in, fixed at its first use:
// a child started in another folder runs on the same machine, and no second machine is made there.
TEST_F(CreateProcessTest, ChildInAnotherFolderSharesARelativelyNamedMachine) {
    const std::string elsewhere = Dir() + "/elsewhere";
    ASSERT_EQ(::mkdir(elsewhere.c_str(), 0755), 0);
    testsupport::RunResult r;
    {
        testsupport::ChildMachine relative("machine.json");  // this test's machine, from the folder Dir()
        r = testsupport::RunProgram(WINSIM_TEST_CHILD, {"startin", OnDriveZ(elsewhere), "exit", "0x800F0242"}, Dir());
    }
    EXPECT_TRUE(r.recorded) << r.err;
    EXPECT_EQ(static_cast<DWORD>(r.exitCode), 0x800F0242u) << "the child's full exit code is in the parent's machine";
    EXPECT_FALSE(testsupport::FileExists(elsewhere + "/machine.json"));
}

TEST_F(CreateProcessTest, MissingProgramOrFolderFails) {
    Started noFile = Start(nullptr, Quoted(OnDriveZ(Dir()) + "\\Prunavel.exe") + " /Install");
    EXPECT_EQ(noFile.ok, FALSE);
    EXPECT_EQ(noFile.error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    Started noFolder = Start(nullptr, Quoted(OnDriveZ(Dir()) + "\\no such folder\\Prunavel.exe") + " /Install");
    EXPECT_EQ(noFolder.ok, FALSE);
    EXPECT_EQ(noFolder.error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    Started noBareName = Start(nullptr, "NoSuchProgram.exe");
    EXPECT_EQ(noBareName.ok, FALSE);
    EXPECT_EQ(noBareName.error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(CreateProcessTest, InjectedFaultFailsOneExitCodeReadAndLeavesTheHandleUsable) {
    Started s = Start(nullptr, Quoted(OnDriveZ(WINSIM_TEST_CHILD)) + " exit 7");
    ASSERT_TRUE(s.ok) << s.error;
    ASSERT_EQ(WaitForSingleObject(s.pi.hProcess, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
    winsim::control::InjectFault("GetExitCodeProcess", ERROR_ACCESS_DENIED);

    DWORD code = 0x12345678;
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GetExitCodeProcess(s.pi.hProcess, &code), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    SetLastError(0xDEADBEEF);
    EXPECT_NE(GetExitCodeProcess(s.pi.hProcess, &code), FALSE);
    EXPECT_EQ(GetLastError(), 0xDEADBEEFu) << "a success leaves the last error alone";
    EXPECT_EQ(code, 7u);
    EXPECT_NE(CloseHandle(s.pi.hProcess), FALSE);
}

TEST_F(CreateProcessTest, ClosedHandleIsInvalid) {
    Started s = Start(nullptr, Quoted(OnDriveZ(WINSIM_TEST_CHILD)) + " exit 0");
    ASSERT_TRUE(s.ok) << s.error;
    ASSERT_EQ(WaitForSingleObject(s.pi.hProcess, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
    ASSERT_NE(CloseHandle(s.pi.hProcess), FALSE);

    SetLastError(0xDEADBEEF);
    EXPECT_EQ(CloseHandle(s.pi.hProcess), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(WaitForSingleObject(s.pi.hProcess, INFINITE), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    DWORD code = 0;
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GetExitCodeProcess(s.pi.hProcess, &code), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
