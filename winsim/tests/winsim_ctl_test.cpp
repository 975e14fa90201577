// winsim-ctl (control/winsim_ctl.cpp), the shell's face of the machine. The source of truth is the
// machine's own readers: an argument is stored only when the function reading it takes it as meant
// (MessageBoxW's answers, the UI language, the functions that look for faults); anything else is refused
// with a message and a nonzero exit, the file left as it was. Looking changes nothing, and a reset mends
// any file.
#include <sys/stat.h>
#include <sys/wait.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <limits>
#include <string>
#include <vector>

#include "../core/faults.h"
#include "TestMachine.h"

#ifndef WINSIM_TEST_CHILD
#error "WINSIM_TEST_CHILD names the child program"
#endif
#ifndef WINSIM_SOURCE_DIR
#error "WINSIM_SOURCE_DIR names winsim's sources"
#endif

namespace {

using testsupport::BinPath;
using testsupport::MachineTest;
using testsupport::ReadFile;
using testsupport::RunProgram;
using testsupport::RunResult;
using Json = winsim::control::Json;

bool ExitedWith(const RunResult& r, int code) { return WIFEXITED(r.waitStatus) && WEXITSTATUS(r.waitStatus) == code; }

RunResult Ctl(const std::vector<std::string>& args) { return RunProgram(BinPath("winsim-ctl"), args); }

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

size_t Occurrences(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

using WinsimCtlTest = MachineTest;

TEST_F(WinsimCtlTest, ArgumentsTheMachineWouldMisreadAreRefusedAndNothingIsWritten) {
    const std::string path = MachinePath();
    const std::string before = ReadFile(path);
    const std::vector<std::vector<std::string>> refused = {
        {"language", "abc"},
        {"language", "1041x"},
        {"language", ""},
        {"language", "0"},      // the neutral language names none
        {"language", "0x800"},  // nor does the system default's
        {"language", "99999999999999999999"},
        {"language", "-1"},
        {"language", "65536"},
        {"answer", "Maybe"},
        {"answer", "OK", "IDOK"},  // one bad answer keeps the good ones out too
        {"answer", "0"},
        {"answer", "8"},
        {"answer"},
        {"fault", "GetTickCount", "notanumber"},
        {"fault", "NoSuchFunction", "5"},
        {"fault", "GetTickCount", "5"},  // never looks for faults
        {"fault", "gettemppathw", "5"},
        {"fault", "GetTempPathW", "5x"},
        {"fault", "GetTempPathW", "0x100000000"},
        {"fault", "GetTempPathW", "-2147483649"},
        {"fault", "GetTempPathW", "5", "two"},
        {"fault", "GetTempPathW", "5", "0"},  // would fail every call, not none
        {"fault", "GetTempPathW", "5", "1", "x"},
        {"fault", "GetTempPathW", "5", "1", "0", "extra"},
        {"fault", "GetTempPathW", "5", "-2"},
        {"fault", "GetTempPathW", "5", "1", "-1"},
        {"bump", "k", "abc"},
        {"bump", "k", "-1"},
        {"bump", "k", "1", "extra"},
        {"bump", "", "1"},
        {"bump", "k", "1000001"},  // would run for hours, one rewrite a step
        {"language", "1041", "1033"},
        {"path", "extra"},
        {"reset", "extra"},
        {"show", "spooler", "extra"},
        {"nosuchcommand"},
    };
    for (const auto& args : refused) {
        std::string line;
        for (const std::string& a : args) line += " '" + a + "'";
        SCOPED_TRACE("winsim-ctl" + line);
        RunResult r = Ctl(args);
        EXPECT_TRUE(ExitedWith(r, 2)) << r.err;
        EXPECT_TRUE(r.err.rfind("winsim-ctl: ", 0) == 0 || r.err.rfind("usage: winsim-ctl", 0) == 0) << r.err;
        EXPECT_EQ(ReadFile(path), before);
    }
    // A counter that would pass its end is refused whole, not stopped half-way.
    winsim::control::Change([](Json& m) { m["test"]["k"] = Json::number(std::numeric_limits<int64_t>::max() - 1); });
    const std::string nearEnd = ReadFile(path);
    RunResult past = Ctl({"bump", "k", "2"});
    EXPECT_TRUE(ExitedWith(past, 2)) << past.err;
    EXPECT_EQ(ReadFile(path), nearEnd);
}

TEST_F(WinsimCtlTest, ArgumentsAreStoredAsTheMachineReadsThem) {
    for (const auto& args : std::vector<std::vector<std::string>>{{"language", "0x411"},
                                                                  {"answer", "yes", "N", "4"},
                                                                  {"fault", "GetTempPathW", "0x800F0242", "-1", "2"},
                                                                  {"fault", "GetModuleFileNameW", "-2147024891"},
                                                                  {"bump", "k", "0"}}) {
        RunResult r = Ctl(args);
        EXPECT_TRUE(ExitedWith(r, 0)) << args[0] << ": " << r.err;
    }
    EXPECT_EQ(GetSystemDefaultLangID(), 0x411);
    EXPECT_EQ(MessageBoxW(nullptr, L"1", L"t", MB_YESNO), IDYES);
    EXPECT_EQ(MessageBoxW(nullptr, L"2", L"t", MB_YESNO), IDNO);
    EXPECT_EQ(MessageBoxW(nullptr, L"3", L"t", MB_RETRYCANCEL), IDRETRY);
    const Json faults = winsim::control::Read().at("faults");
    ASSERT_EQ(faults.size(), 2u);
    EXPECT_EQ(faults.at(0).at("error").as_number().to_int64(), 0x800F0242);
    EXPECT_EQ(faults.at(0).at("count").as_integer(), -1);
    EXPECT_EQ(faults.at(0).at("after").as_integer(), 2);
    WCHAR name[MAX_PATH];
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GetModuleFileNameW(nullptr, name, MAX_PATH), 0u);
    EXPECT_EQ(GetLastError(), 0x80070005u) << "a negative code is the same 32 bits";
    const Json machine = winsim::control::Read();
    EXPECT_FALSE(machine.has_field("test") && machine.at("test").has_field("k")) << "bumped no times";
}

// The fault names winsim-ctl and the controls take are exactly the functions that look for faults: each
// calls TakeFault, or its file's Failing, with its own name.
TEST_F(WinsimCtlTest, FaultableFunctionsAreExactlyThoseThatLookForFaults) {
    const std::vector<std::string>& listed = winsim::FaultableFunctions();
    EXPECT_TRUE(std::is_sorted(listed.begin(), listed.end())) << "looked up by binary search";
    std::set<std::string> callers;
    const std::regex named(R"re(\b(?:TakeFault|Failing)\("(\w+)")re");
    const std::regex passed(R"re(\bTakeFault\((?!"|const )([^,]*),)re");
    for (const auto& entry : std::filesystem::recursive_directory_iterator(WINSIM_SOURCE_DIR)) {
        if (entry.path().extension() != ".cpp" || entry.path().parent_path().filename() == "tests") continue;
        const std::string text = ReadFile(entry.path().string());
        for (std::sregex_iterator m(text.begin(), text.end(), named), end; m != end; ++m) callers.insert((*m)[1]);
        for (std::sregex_iterator m(text.begin(), text.end(), passed), end; m != end; ++m) {
            // Only a file's Failing(function) passes a name on; its callers name themselves.
            EXPECT_EQ((*m)[1].str(), "function") << entry.path();
            EXPECT_NE(text.find("bool Failing(const char* function)"), std::string::npos) << entry.path();
        }
    }
    EXPECT_GE(callers.size(), 40u) << "the sources were not found";
    std::string missing;
    std::string extra;
    for (const std::string& name : callers) {
        if (!std::binary_search(listed.begin(), listed.end(), name)) missing += " " + name;
    }
    for (const std::string& name : listed) {
        if (!callers.count(name)) extra += " " + name;
    }
    EXPECT_EQ(missing, "") << "look for faults but are not listed";
    EXPECT_EQ(extra, "") << "are listed but never look for faults";
}

// A reset replaces whatever file is there without reading it; the message of an unusable file says so.
TEST_F(WinsimCtlTest, ResetMendsAnUnusableFileAndTheMessageNamesIt) {
    const std::string fresh = ReadFile(MachinePath());
    // On a machine of their own: this process asks its machine for their exit codes.
    const std::string path = Dir() + "/other.json";
    testsupport::ChildMachine child(path);
    // The default machine, but for the exit record winsim-ctl leaves this process there.
    auto machineNow = [&] {
        Json m = Json::parse(ReadFile(path));
        m["processes"] = Json::array();
        return m.serialize();
    };
    for (const std::string& content : {std::string("{\"system\": {"), std::string("[1]"),
                                       std::string("{\"spooler\": {\"ports\": 5}}")}) {
        SCOPED_TRACE(content);
        WriteFile(path, content);
        RunResult shown = Ctl({"show"});
        EXPECT_TRUE(ExitedWith(shown, 3)) << shown.err;
        EXPECT_EQ(shown.err.rfind("winsim: the machine file " + path + " cannot be used: ", 0), 0u) << shown.err;
        EXPECT_NE(shown.err.find("\nwinsim: `winsim-ctl reset` replaces it with the default machine"), std::string::npos)
            << shown.err;
        RunResult reset = Ctl({"reset"});
        EXPECT_TRUE(ExitedWith(reset, 0)) << reset.err;
        EXPECT_EQ(reset.err, "");
        EXPECT_EQ(machineNow(), Json::parse(fresh).serialize());
    }
    // Read-only: a reset replaces the file all the same, with a file of the default mode.
    WriteFile(path, "nul");
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    RunResult reset = Ctl({"reset"});
    EXPECT_TRUE(ExitedWith(reset, 0)) << reset.err;
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IWUSR);
    EXPECT_TRUE(ExitedWith(Ctl({"bump", "k", "1"}), 0));
}

// Run as a user does it, the program on an unusable machine says so once: winsim-ctl stops before it.
TEST_F(WinsimCtlTest, RunOnAnUnusableFileSaysSoOnce) {
    const std::string path = Dir() + "/other.json";
    testsupport::ChildMachine child(path);
    WriteFile(path, "{\"system\": {");
    RunResult r = Ctl({"run", WINSIM_TEST_CHILD, "exit", "7"});
    EXPECT_TRUE(ExitedWith(r, 3)) << r.err;
    EXPECT_EQ(Occurrences(r.err, "cannot be used"), 1u) << r.err;
    EXPECT_EQ(ReadFile(path), "{\"system\": {");
}

// Showing the machine changes nothing in it; what a program records for its parent is gone once the
// parent has it.
TEST_F(WinsimCtlTest, LookingChangesNothingAndExitRecordsDoNotPileUp) {
    const std::string path = MachinePath();
    struct stat before;
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    // From a shell, as a user looks.
    ASSERT_EQ(std::system(("'" + BinPath("winsim-ctl") + "' show >/dev/null").c_str()), 0);
    struct stat after;
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the file was replaced";
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);

    // Nor does looking at a machine that is not there yet make one, or its folder.
    const std::string absent = Dir() + "/absent";
    const std::string saved = std::getenv("WINSIM_MACHINE");
    ::setenv("WINSIM_MACHINE", (absent + "/machine.json").c_str(), 1);
    RunResult none = Ctl({"show", "clock"});
    ::setenv("WINSIM_MACHINE", saved.c_str(), 1);
    EXPECT_TRUE(ExitedWith(none, 1)) << none.err;
    EXPECT_EQ(none.err, "winsim-ctl: there is no machine at " + absent +
                            "/machine.json yet; the first program run on it makes the default machine\n");
    EXPECT_NE(::access(absent.c_str(), F_OK), 0) << "looking made the folder";

    for (int i = 0; i < 3; ++i) {
        RunResult r = Ctl({"run", WINSIM_TEST_CHILD, "exit", "0x800F0242"});
        EXPECT_TRUE(ExitedWith(r, 0)) << r.err;
        EXPECT_TRUE(r.recorded);
        EXPECT_EQ(r.out, "exit code: -2146500030 (0x800f0242)\n");
    }
    EXPECT_EQ(winsim::control::Read().at("processes").size(), 0u) << winsim::control::Read().at("processes").serialize();
}

}  // namespace
