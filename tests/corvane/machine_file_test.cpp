// A machine file the simulation cannot use, met by the built programs: each stops cleanly with exit code 3
// and one message naming the file, the value's JSON path and what was expected there, and the file is
// left byte for byte as it was. The source of truth is the project's design: a machine file that cannot
// be used stops the program with a clear message, and nothing in it is lost.
#include <sys/stat.h>
#include <sys/wait.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <TestMachine.h>

namespace {

using Json = winsim::control::Json;
using testsupport::RunResult;

struct UnusableCase {
    const char* what;
    std::function<void(Json&)> spoil;  // applied to the default machine
    std::string message;               // after "cannot be used: "
};

Json Str(const char* s) { return Json::string(s); }
Json Num(double n) { return Json::number(n); }
Json Obj(std::initializer_list<std::pair<std::string, Json>> fields) {
    Json o = Json::object();
    for (const auto& f : fields) o[f.first] = f.second;
    return o;
}
Json Arr(std::initializer_list<Json> items) {
    Json a = Json::array();
    for (const Json& item : items) a[a.size()] = item;
    return a;
}

Json Printer() {
    return Obj({{"name", Str("Brisora40")}, {"driver", Str("Brisora40")}, {"port", Str("USB001")}, {"data", Json::object()}});
}

Json& MachineGuid(Json& m) { return m["registry"]["HKEY_LOCAL_MACHINE"]["SOFTWARE\\Microsoft\\Cryptography"]["MachineGuid"]; }
const std::string kGuidPath = "registry.HKEY_LOCAL_MACHINE[\"SOFTWARE\\\\Microsoft\\\\Cryptography\"].MachineGuid";

const std::vector<UnusableCase>& Cases() {
    static const std::vector<UnusableCase> cases = {
        // registry
        {"registry not an object", [](Json& m) { m["registry"] = Arr({}); }, "registry: expected an object (found an array)"},
        {"registry root not an object", [](Json& m) { m["registry"]["HKEY_LOCAL_MACHINE"] = Num(5); },
         "registry.HKEY_LOCAL_MACHINE: expected an object (found 5)"},
        {"registry value not an object", [](Json& m) { MachineGuid(m) = Str("6f1c"); },
         kGuidPath + ": expected an object (found a string)"},
        {"registry value type not a number", [](Json& m) { MachineGuid(m)["type"] = Str("REG_SZ"); },
         kGuidPath + ".type: expected a whole number from 0 to 4294967295 (found a string)"},
        {"REG_MULTI_SZ holding a number", [](Json& m) { MachineGuid(m) = Obj({{"type", Num(7)}, {"data", Arr({Num(1)})}}); },
         kGuidPath + ".data[0]: expected a string (found 1)"},
        {"REG_DWORD beyond 32 bits", [](Json& m) { MachineGuid(m) = Obj({{"type", Num(4)}, {"data", Num(4294967296.0)}}); },
         kGuidPath + ".data: expected a whole number from -2147483648 to 4294967295"},
        // devices
        {"devices not an array", [](Json& m) { m["devices"] = Json::object(); }, "devices: expected an array (found an object)"},
        {"device interfaces not an array", [](Json& m) { m["devices"][0]["interfaces"] = Num(5); },
         "devices[0].interfaces: expected an array (found 5)"},
        {"hardware id not a string", [](Json& m) { m["devices"][0]["hardwareIds"] = Arr({Num(5)}); },
         "devices[0].hardwareIds[0]: expected a string (found 5)"},
        {"device presence not a flag", [](Json& m) { m["devices"][1]["present"] = Str("yes"); },
         "devices[1].present: expected true or false (found a string)"},
        {"interface device path not a string", [](Json& m) { m["devices"][0]["interfaces"][0]["devicePath"] = Json::null(); },
         "devices[0].interfaces[0].devicePath: expected a string (found null)"},
        // spooler
        {"spooler not an object", [](Json& m) { m["spooler"] = Arr({}); }, "spooler: expected an object (found an array)"},
        {"ports not an array", [](Json& m) { m["spooler"]["ports"] = Num(5); }, "spooler.ports: expected an array (found 5)"},
        {"port without a name", [](Json& m) { m["spooler"]["ports"][3].erase("name"); },
         "spooler.ports[3].name: expected a string (missing)"},
        {"printers not an array", [](Json& m) { m["spooler"]["printers"] = Num(5); }, "spooler.printers: expected an array (found 5)"},
        {"printer data not an object",
         [](Json& m) {
             Json p = Printer();
             p["data"] = Arr({});
             m["spooler"]["printers"][0] = p;
         },
         "spooler.printers[0].data: expected an object (found an array)"},
        {"printer attributes beyond 32 bits",
         [](Json& m) {
             Json p = Printer();
             p["attributes"] = Num(4294967296.0);
             m["spooler"]["printers"][0] = p;
         },
         "spooler.printers[0].attributes: expected a whole number from 0 to 4294967295 (found 4294967296"},
        {"drivers not an object", [](Json& m) { m["spooler"]["drivers"] = Num(5); }, "spooler.drivers: expected an object (found 5)"},
        {"drivers of an environment not an array", [](Json& m) { m["spooler"]["drivers"]["Windows x64"] = Json::object(); },
         "spooler.drivers[\"Windows x64\"]: expected an array (found an object)"},
        {"driver-store package without its stored INF",
         [](Json& m) { m["spooler"]["driverStore"][0] = Obj({{"sourceInf", Str("Z:\\pkg\\ZLPrtDrv.inf")}}); },
         "spooler.driverStore[0].storedInf: expected a string (missing)"},
        {"forms not an array", [](Json& m) { m["spooler"]["forms"] = Num(5); }, "spooler.forms: expected an array (found 5)"},
        {"form of negative width", [](Json& m) { m["spooler"]["forms"][0]["width"] = Num(-5); },
         "spooler.forms[0].width: expected a whole number from 1 to 2147483647 (found -5)"},
        {"form without a name", [](Json& m) { m["spooler"]["forms"][2].erase("name"); },
         "spooler.forms[2].name: expected a string (missing)"},
        {"job id of zero", [](Json& m) { m["spooler"]["jobs"][0] = Obj({{"id", Num(0)}, {"printer", Str("Brisora40")}}); },
         "spooler.jobs[0].id: expected a whole number from 1 to 4294967295 (found 0)"},
        {"spooler running not a flag", [](Json& m) { m["spooler"]["running"] = Str("yes"); },
         "spooler.running: expected true or false (found a string)"},
        // services
        {"services not an array", [](Json& m) { m["services"] = Json::object(); }, "services: expected an array (found an object)"},
        {"service without a name", [](Json& m) { m["services"][0].erase("name"); }, "services[0].name: expected a string (missing)"},
        {"service state out of range", [](Json& m) { m["services"][0]["state"] = Num(9); },
         "services[0].state: expected a whole number from 1 to 7 (found 9)"},
        {"service dependencies not an array", [](Json& m) { m["services"][0]["dependsOn"] = Str("RPCSS"); },
         "services[0].dependsOn: expected an array (found a string)"},
        {"stop script taking less than never", [](Json& m) { m["services"][0]["stop"] = Obj({{"takesMs", Num(-2)}}); },
         "services[0].stop.takesMs: expected a whole number of at least -1 (found -2)"},
        {"service control rights negative", [](Json& m) { m["serviceControl"] = Obj({{"deniedAccess", Num(-1)}}); },
         "serviceControl.deniedAccess: expected a whole number from 0 to 4294967295 (found -1)"},
        // certificates, driver signing, WinHTTP, shell
        {"certificate without a serial", [](Json& m) { m["certificates"][0] = Obj({{"store", Str("TrustedPublisher")}}); },
         "certificates[0].serial: expected a string (missing)"},
        {"trusted-publisher rule not a flag", [](Json& m) { m["driverSigning"]["requireTrustedPublisher"] = Num(1); },
         "driverSigning.requireTrustedPublisher: expected true or false (found 1)"},
        {"proxy not a string", [](Json& m) { m["winhttp"]["proxy"] = Num(9); }, "winhttp.proxy: expected a string (found 9)"},
        {"shell commands not an array", [](Json& m) { m["shell"]["commands"] = Json::object(); },
         "shell.commands: expected an array (found an object)"},
        // ui
        {"answer neither a number nor a name", [](Json& m) { m["ui"]["answers"] = Arr({Json::boolean(true)}); },
         "ui.answers[0]: expected a whole number from -2147483648 to 2147483647 or a string (found true)"},
        {"message boxes not an array", [](Json& m) { m["ui"]["messageBoxes"] = Str("none"); },
         "ui.messageBoxes: expected an array (found a string)"},
        // clock, system
        {"clock before its start", [](Json& m) { m["clock"]["nowMs"] = Num(-1); },
         "clock.nowMs: expected a whole number of at least 0 (found -1)"},
        {"clock kind not a flag", [](Json& m) { m["clock"]["virtual"] = Str("true"); },
         "clock.virtual: expected true or false (found a string)"},
        {"architecture beyond a WORD", [](Json& m) { m["system"]["architecture"] = Num(70000); },
         "system.architecture: expected an architecture with a spooler environment: 0, 5, 6, 9 or 12 (found 70000)"},
        // The spooler would have no environment of its own for the driver an install adds.
        {"architecture without a spooler environment", [](Json& m) { m["system"]["architecture"] = Num(0xFFFF); },
         "system.architecture: expected an architecture with a spooler environment: 0, 5, 6, 9 or 12 (found 65535)"},
        {"architecture not whole", [](Json& m) { m["system"]["architecture"] = Num(9.5); },
         "system.architecture: expected an architecture with a spooler environment: 0, 5, 6, 9 or 12 (found 9.5)"},
        {"UI language not whole", [](Json& m) { m["system"]["uiLanguage"] = Num(1033.5); },
         "system.uiLanguage: expected a whole number from 0 to 65535 (found 1033.5)"},
        // processes, faults
        {"processes not an array", [](Json& m) { m["processes"] = Num(5); }, "processes: expected an array (found 5)"},
        {"exit code beyond 32 bits",
         [](Json& m) { m["processes"][0] = Obj({{"pid", Num(12)}, {"exitCode", Num(4294967296.0)}}); },
         "processes[0].exitCode: expected a whole number from -2147483648 to 4294967295 (found 4294967296"},
        {"process without a pid", [](Json& m) { m["processes"][0] = Obj({{"exitCode", Num(0)}}); },
         "processes[0].pid: expected a whole number from 1 to 2147483647 (missing)"},
        {"fault without a function", [](Json& m) { m["faults"][0] = Obj({{"error", Num(5)}}); },
         "faults[0].function: expected a string (missing)"},
        {"fault count below for ever",
         [](Json& m) { m["faults"][0] = Obj({{"function", Str("GetTempPathW")}, {"count", Num(-2)}}); },
         "faults[0].count: expected a whole number of at least -1 (found -2)"},
        {"fault error beyond 32 bits",
         [](Json& m) { m["faults"][0] = Obj({{"function", Str("GetTempPathW")}, {"error", Num(1e10)}}); },
         "faults[0].error: expected a whole number from -2147483648 to 4294967295"},
    };
    return cases;
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

class UnusableMachineTest : public testsupport::MachineTest {
protected:
    // Corvane installing (which would start Prunavel), Prunavel on its own and winsim-ctl reading the machine.
    static std::vector<std::pair<std::string, RunResult>> RunEach() {
        std::vector<std::pair<std::string, RunResult>> runs;
        runs.emplace_back("Corvane /Install", testsupport::RunProgram(testsupport::PackagePath("Corvane"), {"/Install"},
                                                                      testsupport::PackagePath("")));
        runs.emplace_back("Prunavel", testsupport::RunProgram(testsupport::PackagePath("amd64/Prunavel"), {}));
        runs.emplace_back("winsim-ctl show", testsupport::RunProgram(testsupport::BinPath("winsim-ctl"), {"show"}));
        return runs;
    }

    // Each program stopped cleanly with exit code 3 and the message, and the file is as it was.
    void ExpectRefused(const std::string& path, const std::string& content, const std::string& problem) {
        const std::string message = "winsim: the machine file " + path + " cannot be used: " + problem;
        for (const auto& run : RunEach()) {
            SCOPED_TRACE(run.first);
            const RunResult& r = run.second;
            EXPECT_TRUE(WIFEXITED(r.waitStatus)) << "must stop cleanly, not on signal "
                                                 << (WIFSIGNALED(r.waitStatus) ? WTERMSIG(r.waitStatus) : 0) << ": " << r.err;
            EXPECT_EQ(WIFEXITED(r.waitStatus) ? WEXITSTATUS(r.waitStatus) : -1, 3) << r.err;
            EXPECT_NE(r.err.find(message), std::string::npos) << "stderr: " << r.err;
            EXPECT_EQ(r.err.find("terminate called"), std::string::npos) << "a program or its child aborted: " << r.err;
            EXPECT_EQ(testsupport::ReadFile(path), content) << "the machine file was changed";
        }
    }
};

TEST_F(UnusableMachineTest, EveryValueOfTheWrongShapeStopsEachProgramNamingItsPath) {
    ASSERT_GE(Cases().size(), 30u);
    const std::string path = Dir() + "/unusable.json";
    testsupport::ChildMachine child(path);
    for (const UnusableCase& c : Cases()) {
        SCOPED_TRACE(c.what);
        Json machine = winsim::control::Read();  // this test's own machine: the default one
        c.spoil(machine);
        // A rewrite would never end in a newline, so even one that kept every value shows.
        const std::string content = machine.serialize() + "\n";
        WriteFile(path, content);
        ExpectRefused(path, content, c.message);
    }
}

// What JSON's shape allows but winsim cannot hold, anywhere in the file (known values, keys, notes):
// broken \u escapes of surrogates, numbers past a double's range, bytes that are not UTF-8.
TEST_F(UnusableMachineTest, ContentThatIsNotUnicodeTextOrAFiniteNumberStopsEachProgram) {
    struct ContentCase {
        const char* what;
        std::string where;  // a placeholder the default machine is given, replaced in its text
        std::string raw;    // what the file holds there instead
        std::string message;
    };
    const std::string kNotText = ": expected Unicode text (found a lone surrogate or bytes that are not UTF-8)";
    const std::string kNotKey = ": expected a key of Unicode text (found a lone surrogate or bytes that are not UTF-8)";
    const std::vector<ContentCase> cases = {
        {"two high surrogates", "proxy", R"("\ud800\ud800")", "it is not valid JSON ("},
        {"high surrogate before a letter", "proxy", R"("\ud800A")", "it is not valid JSON ("},
        {"lone low surrogate in a known string", "proxy", R"("\udc00")", "winhttp.proxy" + kNotText},
        {"lone high surrogate at the end of a note", "note", R"("abc\ud800")", "it is not valid JSON ("},
        {"high surrogate before an escape that is no low one", "note", R"(["\ud800\u0041"])", "it is not valid JSON ("},
        // The key's three bytes are shown as three U+FFFD, as no two of them start a character.
        {"lone low surrogate as a key", "key", R"({"\udc00": 1})", "spooler[\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"]" + kNotKey},
        {"number past a double's range in the clock", "clock", "1e400",
         "clock.nowMs: expected a number within a double's range (found inf)"},
        {"negative number past the range in a note", "note", "[-1e999]",
         "note[0]: expected a number within a double's range (found -inf)"},
        {"whole number of 401 digits in a note", "note", "1" + std::string(400, '0'),
         "note: expected a number within a double's range (found inf)"},
        {"number past the range in a counter", "counter", "1e400",
         "test.k: expected a number within a double's range (found inf)"},
        {"bytes that are not UTF-8 in a string", "proxy", "\"\xff\xfe\"", "it is not UTF-8 text (byte "},
        {"an overlong form in a key", "key", "{\"\xc0\x80\": 1}", "it is not UTF-8 text (byte "},
        {"a surrogate written as UTF-8", "note", "\"\xed\xa0\x80\"", "it is not UTF-8 text (byte "},
        {"a byte past U+10FFFF", "note", "\"\xf4\x90\x80\x80\"", "it is not UTF-8 text (byte "},
    };
    const std::string path = Dir() + "/content.json";
    testsupport::ChildMachine child(path);
    for (const ContentCase& c : cases) {
        SCOPED_TRACE(c.what);
        Json machine = winsim::control::Read();
        const std::string placeholder = "\"@placeholder@\"";
        if (c.where == "proxy") machine["winhttp"]["proxy"] = Str("@placeholder@");
        if (c.where == "note") machine["note"] = Str("@placeholder@");
        if (c.where == "key") machine["spooler"]["note"] = Str("@placeholder@");
        if (c.where == "clock") machine["clock"]["nowMs"] = Str("@placeholder@");
        if (c.where == "counter") machine["test"]["k"] = Str("@placeholder@");
        std::string content = machine.serialize();
        size_t at = content.find(placeholder);
        ASSERT_NE(at, std::string::npos);
        if (c.where == "key") {
            // The whole member "note":"@placeholder@" becomes the raw object's member.
            const std::string member = "\"note\":" + placeholder;
            at = content.find(member);
            ASSERT_NE(at, std::string::npos);
            content.replace(at, member.size(), c.raw.substr(1, c.raw.size() - 2));
        } else {
            content.replace(at, placeholder.size(), c.raw);
        }
        WriteFile(path, content);
        ExpectRefused(path, content, c.message);
    }
}

TEST_F(UnusableMachineTest, DirectoryAtTheMachinePathIsNamedAsOne) {
    const std::string path = Dir() + "/machine.d";
    ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
    testsupport::ChildMachine child(path);
    ExpectRefused(path, "", "it is a directory, not a file");
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode)) << "the directory must be left where it was";
}

// Keys winsim does not read are notes people leave in the file; they must not stop anything.
TEST_F(UnusableMachineTest, UnknownKeysAreLeftAloneAndKept) {
    const std::string path = Dir() + "/annotated.json";
    testsupport::ChildMachine child(path);
    Json machine = winsim::control::Read();
    machine["note"] = Str("lab bench 3");
    machine["spooler"]["note"] = Arr({Num(1)});
    machine["spooler"]["forms"][0]["note"] = Json::object();
    machine["devices"][0]["interfaces"][0]["note"] = Num(-1);
    machine["services"][0]["stop"] = Obj({{"note", Str("slow on Mondays")}});
    WriteFile(path, machine.serialize());
    RunResult shown = testsupport::RunProgram(testsupport::BinPath("winsim-ctl"), {"show"});
    ASSERT_TRUE(WIFEXITED(shown.waitStatus) && WEXITSTATUS(shown.waitStatus) == 0) << shown.err;
    EXPECT_EQ(Json::parse(shown.out).serialize(), machine.serialize());
    RunResult bumped = testsupport::RunProgram(testsupport::BinPath("winsim-ctl"), {"bump", "k", "1"});
    ASSERT_TRUE(WIFEXITED(bumped.waitStatus) && WEXITSTATUS(bumped.waitStatus) == 0) << bumped.err;
    Json after = Json::parse(testsupport::ReadFile(path));
    EXPECT_EQ(after.at("note").as_string(), "lab bench 3");
    EXPECT_EQ(after.at("spooler").at("forms").at(0).at("note").serialize(), "{}");
    EXPECT_EQ(after.at("services").at(0).at("stop").at("note").as_string(), "slow on Mondays");
}

}  // namespace
