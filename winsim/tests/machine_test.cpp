// The machine file (core/machine.cpp): creation, refusal of a broken file, changes from several
// processes, and scripted faults. The source of truth is the project's design: one JSON machine
// shared by every process, no change lost, a broken file stopping the program and left untouched.
#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <windows.h>
#include <winspool.h>

#include <cmath>
#include <filesystem>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
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
        RunResult looked = RunProgram(BinPath("winsim-ctl"), {"show"});
        EXPECT_TRUE(ExitedWith(looked, 1)) << "looking makes no machine";
        EXPECT_FALSE(testsupport::FileExists(path));
        // The first program that uses the machine makes it.
        RunResult used = RunProgram(WINSIM_TEST_CHILD, {"sleep", "0"});
        EXPECT_TRUE(ExitedWith(used, 0)) << used.err;
        r = RunProgram(BinPath("winsim-ctl"), {"show"});
    }
    ASSERT_TRUE(ExitedWith(r, 0)) << r.err;
    ASSERT_TRUE(testsupport::FileExists(path));
    Json shown = Json::parse(r.out);
    // The default machine is what a reset writes; this test's own machine was just reset. The child left
    // its exit record for this process, which asks in its own machine.
    shown.erase("processes");
    Json reset = winsim::control::Read();
    reset.erase("processes");
    EXPECT_EQ(shown.serialize(), reset.serialize());
    EXPECT_EQ(shown.at("system").at("architecture").as_integer(), PROCESSOR_ARCHITECTURE_AMD64);
    EXPECT_EQ(shown.at("spooler").at("printers").size(), 0u) << "no printer of ours yet";
}

// A path that names no machine file (a folder, a FIFO, a link nowhere) stops a reader and a writer
// alike, at once and with nothing made; a link to a machine file is followed, so the file it leads to is
// the one changed and the link stays a link.
TEST_F(MachineFileTest, PathsThatNameNoFileAreRefusedAndLinksAreFollowed) {
    const std::string prefix = "winsim: the machine file ";
    auto run = [](const std::string& machine, const std::vector<std::string>& args) {
        ChildMachine child(machine);
        return RunProgram(BinPath("winsim-ctl"), args);
    };
    const std::string sub = Dir() + "/sub", fifo = Dir() + "/fifo", real = Dir() + "/real/m.json";
    ASSERT_EQ(::mkdir(sub.c_str(), 0755), 0);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    ASSERT_EQ(::symlink("loopB", (Dir() + "/loopA").c_str()), 0);
    ASSERT_EQ(::symlink("loopA", (Dir() + "/loopB").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere/x.json", (Dir() + "/dangling").c_str()), 0);
    const std::vector<std::pair<std::string, std::string>> refused = {
        {sub, "it is a directory, not a file"},
        {Dir() + "/new.json/", "its path names a folder, not a file"},
        {fifo, "it is not a regular file"},
        {Dir() + "/loopA", "it is a link that leads round in a loop"},
        {Dir() + "/dangling", "it is a link to a file that does not exist"},
    };
    for (const auto& [machine, problem] : refused) {
        for (const std::vector<std::string>& args : {std::vector<std::string>{"bump", "k", "1"}, {"reset"}}) {
            SCOPED_TRACE(machine + " " + args[0]);
            RunResult r = run(machine, args);
            EXPECT_TRUE(ExitedWith(r, 3)) << r.err;
            EXPECT_EQ(r.err, prefix + machine + " cannot be used: " + problem + "\n");
        }
    }
    RunResult shown = run(fifo, {"show"});
    EXPECT_TRUE(ExitedWith(shown, 3)) << "a FIFO is not read: " << shown.err;
    for (const std::string& left : {sub + ".lock", Dir() + "/new.json", Dir() + "/nowhere", fifo + ".lock"}) {
        EXPECT_FALSE(testsupport::FileExists(left)) << left;
    }
    struct stat st;
    ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    // A link to a machine file.
    ASSERT_TRUE(ExitedWith(run(real, {"bump", "k", "1"}), 0));
    const std::string link = Dir() + "/link.json";
    ASSERT_EQ(::symlink("real/m.json", link.c_str()), 0);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"bump", "k", "1"}, {"language", "1041"}}) {
        RunResult r = run(link, args);
        EXPECT_TRUE(ExitedWith(r, 0)) << r.err;
    }
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link was replaced by a file";
    RunResult viaReal = run(real, {"show", "test.k"});
    EXPECT_EQ(viaReal.out, "2\n");
    EXPECT_EQ(run(real, {"show", "system.uiLanguage"}).out, "1041\n");
    EXPECT_TRUE(ExitedWith(run(link, {"reset"}), 0));
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(run(real, {"show", "test.k"}).out, "null\n") << "the reset reached the file the link leads to";
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
    auto fault = [](int64_t count, int64_t after) {
        return [count, after](Json& m) {
            Json f = Json::object();
            f["function"] = Json::string("GetTempPathW");
            f["error"] = Json::number(5);
            f["count"] = Json::number(count);
            f["after"] = Json::number(after);
            m["faults"][0] = f;
        };
    };
    const std::vector<std::pair<std::function<void(Json&)>, std::string>> changes = {
        {[](Json& m) { m["system"]["uiLanguage"] = Json::number(70000); },
         "system.uiLanguage: expected a whole number from 0 to 65535 \\(found 70000\\)"},
        {fault(-3, 0), "faults\\[0\\].count: expected a whole number of at least -1 \\(found -3\\)"},
        {fault(1, -1), "faults\\[0\\].after: expected a whole number of at least 0 \\(found -1\\)"},
    };
    for (const auto& change : changes) {
        SCOPED_TRACE(change.second);
        EXPECT_EXIT(winsim::control::Change(change.first), ::testing::ExitedWithCode(3),
                    "winsim: the machine file " + path + " cannot be used: a change would leave it unusable: " + change.second);
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

// Another writer renames same-size changes into place within one tick of a coarse file clock (faked by
// setting the time back): each change must be seen here, and this process's next change kept with them.
TEST_F(MachineFileTest, SameSizeChangesWithinOneFileTimeTickAreNotLost) {
    const std::string path = MachinePath();
    winsim::control::Change([](Json& m) {
        for (const char* key : {"a", "b"}) m["test"][key] = Json::number(10);
    });
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        struct stat before;
        ASSERT_EQ(::stat(path.c_str(), &before), 0);
        for (const char* key : {"a", "b"}) {
            Json other = Json::parse(ReadFile(path));
            other["test"][key] = Json::number(other["test"][key].as_integer() + 1);
            const std::string text = other.serialize();
            ASSERT_EQ(text.size(), static_cast<size_t>(before.st_size)) << "the change must keep the size";
            WriteFile(path + ".other", text);
            ASSERT_EQ(::rename((path + ".other").c_str(), path.c_str()), 0);
            const timespec times[2] = {before.st_atim, before.st_mtim};
            ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
        }
        Json seen = winsim::control::Read();
        EXPECT_EQ(seen.at("test").at("a").as_integer(), 10 + round);
        EXPECT_EQ(seen.at("test").at("b").as_integer(), 10 + round);
        winsim::control::Change([&](Json& m) { m["test"]["mine"] = Json::number(round); });
        Json stored = Json::parse(ReadFile(path));
        EXPECT_EQ(stored.at("test").at("a").as_integer(), 10 + round);
        EXPECT_EQ(stored.at("test").at("b").as_integer(), 10 + round);
        EXPECT_EQ(stored.at("test").at("mine").as_integer(), round);
    }
}

// A change keeps the file's mode; a file its owner may not write is refused like any unusable file,
// while programs that only read it still run and leave it as it is.
TEST_F(MachineFileTest, FileModeIsKeptAndAReadOnlyFileIsNotChanged) {
    const std::string path = MachinePath();
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    winsim::control::Change([](Json& m) { m["test"]["k"] = Json::number(1); });
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    const std::string content = ReadFile(path);
    RunResult r = RunProgram(BinPath("winsim-ctl"), {"bump", "k", "1"});
    EXPECT_TRUE(ExitedWith(r, 3)) << r.err;
    EXPECT_EQ(r.err, "winsim: the machine file " + path +
                         " cannot be used: it is read-only (mode 0444), and this program changes the machine\n");
    r = RunProgram(BinPath("winsim-ctl"), {"show", "test.k"});
    EXPECT_TRUE(ExitedWith(r, 0)) << r.err;
    EXPECT_EQ(r.out, "1\n");
    EXPECT_TRUE(ReadFile(path) == content) << "the file must be left as it was";
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
}

// A writer killed mid-change leaves its temporary file; the next writer removes those of processes
// that no longer run, and only those.
TEST_F(MachineFileTest, TemporaryFilesOfEndedWritersAreRemoved) {
    pid_t ended = ::fork();
    ASSERT_GE(ended, 0);
    if (ended == 0) ::_exit(0);
    ASSERT_EQ(::waitpid(ended, nullptr, 0), ended);
    const std::string path = MachinePath();
    const std::string abandoned = path + ".tmp." + std::to_string(ended);
    const std::vector<std::string> kept = {path + ".tmp." + std::to_string(::getppid()),  // still running
                                           path + ".tmp.x" + std::to_string(ended), Dir() + "/other.json.tmp." + std::to_string(ended)};
    WriteFile(abandoned, "{\"half");
    for (const std::string& file : kept) WriteFile(file, "{\"half");
    winsim::control::Change([](Json& m) { m["test"]["k"] = Json::number(1); });
    EXPECT_FALSE(testsupport::FileExists(abandoned));
    for (const std::string& file : kept) EXPECT_TRUE(testsupport::FileExists(file)) << file;
}

// A change that would write what no program could read back is refused before the file is touched,
// wherever it stands, known to winsim or not: a number JSON cannot write, text that is not UTF-8.
TEST_F(MachineFileTest, ChangeHoldingWhatJsonCannotCarryIsNotWritten) {
    const std::string path = MachinePath();
    const std::string before = ReadFile(path);
    const std::string prefix = "winsim: the machine file " + path + " cannot be used: a change would leave it unusable: ";
    EXPECT_EXIT(winsim::control::Change([](Json& m) { m["note"] = Json::number(INFINITY); }), ::testing::ExitedWithCode(3),
                prefix + "note: expected a number within a double's range \\(found inf\\)");
    EXPECT_EXIT(winsim::control::Change([](Json& m) { m["note"] = Json::array({Json::number(NAN)}); }),
                ::testing::ExitedWithCode(3), prefix + "note\\[0\\]: expected a number within a double's range");
    EXPECT_EXIT(winsim::control::Change([](Json& m) { m["note"] = Json::string("\xff"); }), ::testing::ExitedWithCode(3),
                prefix + "note: expected Unicode text");
    EXPECT_EXIT(winsim::control::Change([](Json& m) { m["spooler"]["\xed\xb0\x80"] = Json::number(1); }),
                ::testing::ExitedWithCode(3), prefix + "spooler\\[.*\\]: expected a key of Unicode text");
    EXPECT_EQ(ReadFile(path), before);
}

// Text from outside reaches the machine as UTF-8 whatever it holds: a program's file name, a caller's
// wide string, winsim-ctl's arguments. The next program reads the machine (a raw byte would stop it).
TEST_F(MachineFileTest, TextFromProgramsAndCallersIsStoredAsUtf8) {
    const std::string replacement = "\xEF\xBF\xBD";
    // A program whose file name is not UTF-8: a copy of the test child, told where its libraries are.
    const std::string oddName = Dir() + "/child-\xff\xfe";
    ASSERT_TRUE(std::filesystem::copy_file(WINSIM_TEST_CHILD, oddName));
    std::filesystem::permissions(oddName, std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);
    // Started by this process as one that may ask, and reaped here: its record stays to be looked at.
    std::vector<std::string> envStore{winsim::control::AskingParentVariable(), "LD_LIBRARY_PATH=" WINSIM_LIBRARY_DIR};
    for (char** e = environ; *e; ++e) envStore.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& e : envStore) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string exitArg = "exit", codeArg = "7";
    char* argv[] = {const_cast<char*>(oddName.c_str()), exitArg.data(), codeArg.data(), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(::posix_spawn(&pid, oddName.c_str(), nullptr, nullptr, argv, envp.data()), 0);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    std::string image = "(no record)";
    const Json machine = winsim::control::Read();
    for (const Json& record : machine.at("processes").as_array()) {
        if (record.at("pid").as_integer() == pid) image = record.at("image").as_string();
    }
    EXPECT_EQ(image, "child-" + replacement + replacement);
    int32_t code = 0;
    EXPECT_TRUE(winsim::control::ExitCodeOf(pid, &code));
    EXPECT_EQ(code, 7);
    RunResult shown = RunProgram(BinPath("winsim-ctl"), {"show", "processes"});
    EXPECT_TRUE(ExitedWith(shown, 0)) << shown.err;

    // winsim-ctl's arguments, stored as text and as a key.
    const std::vector<std::vector<std::string>> commands = {{"answer", "\xff"}, {"bump", "\xc0\x80", "1"}, {"fault", "\xed\xa0\x80", "5"}};
    for (const auto& command : commands) {
        SCOPED_TRACE(command[0]);
        RunProgram(BinPath("winsim-ctl"), command);
        RunResult after = RunProgram(BinPath("winsim-ctl"), {"show"});
        EXPECT_TRUE(ExitedWith(after, 0)) << after.err;
    }

    // Wide strings holding surrogates or values past U+10FFFF.
    const wchar_t name[] = {L'F', static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000), static_cast<wchar_t>(-1), 0};
    FORM_INFO_1W form{};
    form.pName = const_cast<LPWSTR>(name);
    form.Size = {1000, 1000};
    form.ImageableArea = {0, 0, 1000, 1000};
    HANDLE printer = nullptr;
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
    ASSERT_TRUE(OpenPrinterW(nullptr, &printer, &defaults));
    EXPECT_TRUE(AddFormW(printer, 1, reinterpret_cast<LPBYTE>(&form)));
    ClosePrinter(printer);
    Json forms = winsim::control::Read().at("spooler").at("forms");
    EXPECT_EQ(forms.at(forms.size() - 1).at("name").as_string(), "F" + replacement + replacement + replacement);
}

// A running reader sees the file its path names now: its folder replaced by another, or a symlinked
// folder switched, each holding another file; and later changes of that file too.
TEST_F(MachineFileTest, ReaderSeesTheFileThePathNamesNow) {
    auto counter = [] { return winsim::control::Read().at("test").at("k").as_integer(); };
    auto machineWith = [](int k) {
        Json m = winsim::control::Read();
        m["test"]["k"] = Json::number(k);
        return m.serialize();
    };
    const std::string folder = Dir() + "/current";
    winsim::control::UseFreshMachine(folder + "/machine.json");
    winsim::control::Change([](Json& m) { m["test"]["k"] = Json::number(1); });
    ASSERT_EQ(counter(), 1);
    const std::string replacement = machineWith(2);
    ASSERT_EQ(::rename(folder.c_str(), (Dir() + "/old").c_str()), 0);
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    WriteFile(folder + "/machine.json", replacement);
    EXPECT_EQ(counter(), 2) << "the folder was replaced";
    ASSERT_TRUE(ExitedWith(RunProgram(BinPath("winsim-ctl"), {"bump", "k", "1"}), 0));
    EXPECT_EQ(counter(), 3);

    const std::string a = Dir() + "/a", b = Dir() + "/b", link = Dir() + "/link";
    ASSERT_EQ(::mkdir(a.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(b.c_str(), 0755), 0);
    WriteFile(b + "/machine.json", machineWith(20));
    ASSERT_EQ(::symlink("a", link.c_str()), 0);
    winsim::control::UseFreshMachine(link + "/machine.json");
    winsim::control::Change([](Json& m) { m["test"]["k"] = Json::number(10); });
    ASSERT_EQ(counter(), 10);
    ASSERT_EQ(::symlink("b", (link + ".new").c_str()), 0);
    ASSERT_EQ(::rename((link + ".new").c_str(), link.c_str()), 0);
    EXPECT_EQ(counter(), 20) << "the symlink was switched";
}

// Runs winsim-ctl with the test's folder mounted read-only (as root, in a mount namespace of its own
// that ends with it), or else with the folder made one this user may not write: either way no lock file
// can be made or opened for writing there.
RunResult RunWhereNothingCanBeWritten(const std::string& folder, const std::vector<std::string>& args) {
    RunResult result;
    if (::geteuid() != 0) {
        ::chmod(folder.c_str(), 0555);
        result = RunProgram(BinPath("winsim-ctl"), args);
        ::chmod(folder.c_str(), 0755);
        return result;
    }
    int out[2], err[2];
    if (::pipe(out) != 0 || ::pipe(err) != 0) {
        ADD_FAILURE() << "no pipe";
        return result;
    }
    std::vector<std::string> argvStore{BinPath("winsim-ctl")};
    argvStore.insert(argvStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argvStore) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            ::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
            ::_exit(99);
        }
        ::execv(argv[0], argv.data());
        ::_exit(98);
    }
    ::close(out[1]);
    ::close(err[1]);
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(out[0], buffer, sizeof buffer)) > 0) result.out.append(buffer, static_cast<size_t>(n));
    while ((n = ::read(err[0], buffer, sizeof buffer)) > 0) result.err.append(buffer, static_cast<size_t>(n));
    ::close(out[0]);
    ::close(err[0]);
    while (::waitpid(pid, &result.waitStatus, 0) < 0) {
    }
    if (ExitedWith(result, 99)) ADD_FAILURE() << "the folder cannot be mounted read-only here";
    result.recorded = winsim::control::ExitCodeOf(pid, &result.exitCode);
    return result;
}

// Whether this process may make a mount namespace of its own (root in a container may not).
bool CanMountPrivately() {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 ? 0 : 1);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A program that only reads runs on a machine no lock can be taken for, whether or not a lock file is
// there; one that changes it stops with the reason, and the file is left as it was.
TEST_F(MachineFileTest, MachineWhereNothingCanBeWrittenIsReadWithoutALock) {
    if (::geteuid() == 0 && !CanMountPrivately()) GTEST_SKIP() << "root without the right to mount: every folder is writable";
    const std::string path = MachinePath();
    winsim::control::Change([](Json& m) { m["test"]["k"] = Json::number(5); });
    const std::string content = ReadFile(path);
    for (bool lockFile : {true, false}) {
        SCOPED_TRACE(lockFile ? "with a lock file" : "without a lock file");
        if (!lockFile) {
            ASSERT_EQ(::unlink((path + ".lock").c_str()), 0);
        }
        ASSERT_EQ(testsupport::FileExists(path + ".lock"), lockFile);
        RunResult shown = RunWhereNothingCanBeWritten(Dir(), {"show", "test.k"});
        EXPECT_TRUE(ExitedWith(shown, 0)) << shown.err;
        EXPECT_EQ(shown.out, "5\n");
        EXPECT_FALSE(shown.recorded) << "a machine that cannot be changed keeps no exit record";

        RunResult bumped = RunWhereNothingCanBeWritten(Dir(), {"bump", "k", "1"});
        EXPECT_TRUE(ExitedWith(bumped, 3)) << bumped.err;
        const std::string reason = ::geteuid() == 0 ? "it is on a read-only file system" : "this user may not write its folder";
        EXPECT_EQ(bumped.err, "winsim: the machine file " + path + " cannot be used: " + reason + ", and this program changes the machine\n");
        EXPECT_EQ(ReadFile(path), content);
    }
}

// gtest runs a "threadsafe" death test in the test binary started again, whose test ends without tearing
// down: the folder of its machine must be inside this test's, which this test removes.
TEST_F(MachineFileTest, DeathTestChildMakesItsFolderInsideTheTestsOwn) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::fprintf(stderr, "machine in %s\n", Dir().c_str());
            std::_Exit(7);
        },
        ::testing::ExitedWithCode(7), "machine in " + Dir() + "/winsim-test-");
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
