#include "TestMachine.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

extern char** environ;

namespace testsupport {

namespace {
// The folder of the test running now, for the test binary a death test runs again: that child ends
// without tearing down, so its folder is made inside this one, which this test removes.
const char kTestFolder[] = "WINSIM_TEST_FOLDER";
}  // namespace

void MachineTest::SetUp() {
    const char* outer = std::getenv(kTestFolder);
    std::string tmpl = std::string(outer && *outer ? outer : "/tmp") + "/winsim-test-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    ::setenv(kTestFolder, dir_.c_str(), 1);
    winsim::control::UseFreshMachine(MachinePath());
}

// Removed whatever the outcome: a test leaves nothing behind.
void MachineTest::TearDown() {
    ::unsetenv(kTestFolder);
    if (!dir_.empty()) std::system(("rm -rf '" + dir_ + "'").c_str());
}

ChildMachine::ChildMachine(const std::string& path) {
    const char* current = std::getenv("WINSIM_MACHINE");
    saved_ = current ? current : "";
    ::setenv("WINSIM_MACHINE", path.c_str(), 1);
}

ChildMachine::~ChildMachine() { ::setenv("WINSIM_MACHINE", saved_.c_str(), 1); }

namespace {
std::string ReadFd(int fd) {
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    return out;
}
}  // namespace

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args, const std::string& cwd) {
    RunResult result;
    char outName[] = "/tmp/winsim-out-XXXXXX";
    char errName[] = "/tmp/winsim-err-XXXXXX";
    int outFd = ::mkstemp(outName);
    int errFd = ::mkstemp(errName);
    // Read through the descriptors only: nothing is left, even by a test that stops half-way.
    ::unlink(outName);
    ::unlink(errName);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    ::posix_spawn_file_actions_adddup2(&actions, errFd, 2);
    if (!cwd.empty()) ::posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    std::vector<std::string> argvStore{program};
    argvStore.insert(argvStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argvStore) argv.push_back(a.data());
    argv.push_back(nullptr);
    // This process asks for the program's exit code, so the program records it for this process.
    std::vector<std::string> envStore{winsim::control::AskingParentVariable()};
    const std::string name = envStore[0].substr(0, envStore[0].find('=') + 1);
    for (char** e = environ; *e; ++e) {
        if (std::strncmp(*e, name.c_str(), name.size()) != 0) envStore.emplace_back(*e);
    }
    std::vector<char*> envp;
    for (std::string& e : envStore) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    ::posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(rc, 0) << "cannot start " << program;
    if (rc == 0) {
        while (::waitpid(pid, &result.waitStatus, 0) < 0) {
        }
        result.recorded = winsim::control::ExitCodeOf(pid, &result.exitCode);
    }
    ::lseek(outFd, 0, SEEK_SET);
    ::lseek(errFd, 0, SEEK_SET);
    result.out = ReadFd(outFd);
    result.err = ReadFd(errFd);
    ::close(outFd);
    ::close(errFd);
    return result;
}

std::string PackagePath(const std::string& name) { return std::string(ZL_PACKAGE_DIR) + "/" + name; }
std::string BinPath(const std::string& name) { return std::string(ZL_BIN_DIR) + "/" + name; }

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool FileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

std::vector<LogEntry> ReadLog(const std::string& path) {
    std::vector<LogEntry> entries;
    std::istringstream in(ReadFile(path));
    std::string line;
    while (std::getline(in, line)) {
        // "[2026-12-09 04:34:58.054] [QVPrtDrvCtrl] [trace] message"
        LogEntry e;
        size_t a = line.find("] [");
        size_t b = a == std::string::npos ? a : line.find("] [", a + 3);
        size_t c = b == std::string::npos ? b : line.find("] ", b + 3);
        if (line.empty() || line[0] != '[' || c == std::string::npos) {
            e.message = line;  // not in the default pattern: kept whole so a test sees it
        } else {
            e.logger = line.substr(a + 3, b - a - 3);
            e.level = line.substr(b + 3, c - b - 3);
            e.message = line.substr(c + 2);
        }
        entries.push_back(e);
    }
    return entries;
}

void PlugSecondModelPrintDevice() {
    winsim::control::Change([](winsim::control::Json& m) {
        winsim::control::Json device = m["devices"][1];
        device["instanceId"] = winsim::control::Json::string("USBPRINT\\BRISORA40P\\7&5E6F7A8B&0&USB002");
        device["hardwareIds"][0] = winsim::control::Json::string("USBPRINT\\Brisora40P7A2E");
        m["devices"][m["devices"].size()] = device;
        winsim::control::Json port = m["spooler"]["ports"][3];
        port["name"] = winsim::control::Json::string("USB002");
        m["spooler"]["ports"][m["spooler"]["ports"].size()] = port;
    });
}

std::vector<std::pair<std::string, std::string>> Queues() {
    std::vector<std::pair<std::string, std::string>> out;
    winsim::control::Json printers = winsim::control::Read().at("spooler").at("printers");
    for (size_t i = 0; i < printers.size(); ++i) {
        out.emplace_back(printers.at(i).at("name").as_string(), printers.at(i).at("port").as_string());
    }
    return out;
}

bool FaultPending(const std::string& function) {
    winsim::control::Json faults = winsim::control::Read().at("faults");
    for (size_t i = 0; i < faults.size(); ++i) {
        if (faults.at(i).at("function").as_string() == function) return true;
    }
    return false;
}

ATOM TestWindowClass(const wchar_t* name, WNDPROC procedure, int windowExtra) {
    static std::map<std::wstring, ATOM> registered;
    auto it = registered.find(name);
    if (it != registered.end()) return it->second;
    WNDCLASSW wc{};
    wc.lpfnWndProc = procedure;
    wc.cbWndExtra = windowExtra;
    wc.lpszClassName = name;
    ATOM atom = RegisterClassW(&wc);
    if (atom) registered[name] = atom;
    return atom;
}

}  // namespace testsupport
