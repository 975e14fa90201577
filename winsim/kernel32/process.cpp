#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "../core/handles.h"
#include "../core/machine.h"
#include "../core/process.h"
#include "../core/text.h"

extern char** environ;

namespace winsim {
namespace {

// The winsim process that started this one and may ask for its exit code (CreateProcessA, winsim-ctl run
// and the test controls name it in the environment); 0: none.
pid_t gAskingParent = 0;
const char kParentVariable[] = "WINSIM_PARENT";

class Process : public Object {
public:
    pid_t pid = -1;
    bool reaped = false;
    DWORD exitCode = 0;  // known once reaped
};

bool Runs(int64_t pid) { return pid > 0 && pid <= INT32_MAX && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM); }

bool IsFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsDirectory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// First token of a command line by the Windows rules: quoted, or up to the first blank.
std::string ProgramToken(const std::string& cmdLine, size_t* tailStart) {
    size_t i = 0;
    std::string token;
    if (i < cmdLine.size() && cmdLine[i] == '"') {
        size_t end = cmdLine.find('"', i + 1);
        token = cmdLine.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
        i = end == std::string::npos ? cmdLine.size() : end + 1;
    } else {
        while (i < cmdLine.size() && cmdLine[i] != ' ' && cmdLine[i] != '\t') token += cmdLine[i++];
    }
    *tailStart = i;
    return token;
}

// A ".exe" program maps to the host file with or without the suffix.
std::string FindHostProgram(const std::string& hostPath) {
    if (IsFile(hostPath)) return hostPath;
    const std::string exe = ".exe";
    if (hostPath.size() > exe.size()) {
        std::string suffix = hostPath.substr(hostPath.size() - exe.size());
        for (char& c : suffix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (suffix == exe) {
            std::string bare = hostPath.substr(0, hostPath.size() - exe.size());
            if (IsFile(bare)) return bare;
        }
    }
    return std::string();
}

}  // namespace

// Splits a command-line tail into arguments by the C runtime's rules (blanks separate, quotes group,
// backslashes before a quote escape it).
std::vector<std::string> SplitCommandLine(const std::string& tail) {
    std::vector<std::string> args;
    size_t i = 0;
    const size_t n = tail.size();
    while (true) {
        while (i < n && (tail[i] == ' ' || tail[i] == '\t')) ++i;
        if (i >= n) break;
        std::string arg;
        bool quoted = false;
        while (i < n && (quoted || (tail[i] != ' ' && tail[i] != '\t'))) {
            if (tail[i] == '\\') {
                size_t slashes = 0;
                while (i < n && tail[i] == '\\') { ++slashes; ++i; }
                if (i < n && tail[i] == '"') {
                    arg.append(slashes / 2, '\\');
                    if (slashes % 2) { arg += '"'; ++i; }
                } else {
                    arg.append(slashes, '\\');
                }
            } else if (tail[i] == '"') {
                quoted = !quoted;
                ++i;
            } else {
                arg += tail[i++];
            }
        }
        args.push_back(arg);
    }
    return args;
}

std::string CommandLineTail(const std::string& cmdLine) {
    size_t i = 0;
    ProgramToken(cmdLine, &i);
    while (i < cmdLine.size() && (cmdLine[i] == ' ' || cmdLine[i] == '\t')) ++i;
    return cmdLine.substr(i);
}

void RecordExitCode(int exitCode) {
    // Kept only for a parent that may still ask: a program started otherwise leaves no trace.
    if (gAskingParent <= 0 || ::getppid() != gAskingParent) return;
    Machine& machine = Machine::Instance();
    if (!machine.Writable()) return;  // a read-only machine is only read: no trace either
    char exe[4096];
    ssize_t len = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string image = len > 0 ? std::string(exe, static_cast<size_t>(len)) : std::string();
    image = MendUtf8(image.substr(image.rfind('/') + 1));
    // Never made for a machine that is gone: its test, say, removed its folder.
    machine.ModifyExisting([&](Json& m) {
        Json& records = ChildArray(m, "processes");
        Json kept = Json::array();
        size_t k = 0;
        for (const Json& r : records.as_array()) {
            if (Runs(IntAt(r, "parent", 0))) kept[k++] = r;  // a parent that ended asks no more
        }
        Json record = Json::object();
        record["pid"] = Json::number(static_cast<int64_t>(::getpid()));
        record["parent"] = Json::number(static_cast<int64_t>(gAskingParent));
        record["image"] = Json::string(image);
        record["exitCode"] = Json::number(static_cast<int64_t>(exitCode));
        kept[k] = record;
        records = kept;
    });
}

bool TakeExitRecord(long pid, int32_t* exitCode) {
    Machine& machine = Machine::Instance();
    if (!machine.FileExists()) return false;  // looking never makes a machine
    const long parent = static_cast<long>(::getpid());
    auto mine = [&](const Json& r) { return IntAt(r, "pid", -1) == pid && IntAt(r, "parent", -1) == parent; };
    {
        const auto view = machine.Snapshot();
        const Json& snap = *view;
        if (!snap.has_field("processes")) return false;
        bool found = false;
        for (const Json& r : snap.at("processes").as_array()) {
            if (mine(r)) {
                *exitCode = static_cast<int32_t>(IntAt(r, "exitCode", 0));
                found = true;
            }
        }
        if (!found) return false;
    }
    if (machine.Writable()) {
        machine.ModifyExisting([&](Json& m) {
            Json& records = ChildArray(m, "processes");
            Json kept = Json::array();
            size_t k = 0;
            for (const Json& r : records.as_array()) {
                if (!mine(r)) kept[k++] = r;
            }
            records = kept;
        });
    }
    return true;
}

std::string AskingParentVariable() { return std::string(kParentVariable) + "=" + std::to_string(::getpid()); }

namespace {

// glibc hands exit handlers the whole int the program returned; a wait status would keep 8 bits.
void OnExit(int status, void*) { RecordExitCode(status); }

__attribute__((constructor)) void RegisterExitRecorder() {
    // Taken at start and not passed on: a program this one starts by other means has no asking parent.
    if (const char* parent = std::getenv(kParentVariable)) {
        gAskingParent = static_cast<pid_t>(std::atol(parent));
        ::unsetenv(kParentVariable);
        Machine::Instance();  // the machine named now, whatever folder the program goes to before its end
    }
    ::on_exit(OnExit, nullptr);
}

DWORD ExitCodeOf(pid_t pid, int status) {
    int32_t recorded;
    if (TakeExitRecord(pid, &recorded)) return static_cast<DWORD>(recorded);
    if (WIFEXITED(status)) return static_cast<DWORD>(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) {
        switch (WTERMSIG(status)) {
        case SIGSEGV:
        case SIGBUS: return 0xC0000005;  // STATUS_ACCESS_VIOLATION
        case SIGABRT: return 0xC0000409;  // what the Microsoft runtime's abort leaves
        default: return 1;
        }
    }
    return 1;
}

bool Reap(Process* p, bool block) {
    if (p->reaped) return true;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(p->pid, &status, block ? 0 : WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == p->pid) {
        // The record is taken at once: the handle keeps the code for every later question.
        p->exitCode = ExitCodeOf(p->pid, status);
        p->reaped = true;
        return true;
    }
    return false;
}

}  // namespace
}  // namespace winsim

// Simplified: the program is looked up only as the command line names it, relative to the caller's
// current folder (a bare name also in the caller's own folder); attributes, start-up data and creation
// flags other than the working folder are accepted and ignored; no thread handle is made.
extern "C" BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine, LPSECURITY_ATTRIBUTES,
                                      LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCSTR lpCurrentDirectory,
                                      LPSTARTUPINFOA, LPPROCESS_INFORMATION pi) {
    using namespace winsim;
    uint32_t fault;
    if (TakeFault("CreateProcessA", &fault)) {
        SetLastError(fault);
        return FALSE;
    }
    std::string cmdLine = lpCommandLine ? lpCommandLine : "";
    size_t tailStart = 0;
    std::string program = lpApplicationName ? std::string(lpApplicationName) : ProgramToken(cmdLine, &tailStart);
    if (lpApplicationName) ProgramToken(cmdLine, &tailStart);
    if (program.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    const std::string named = HostPath(FromUtf8(program));
    std::string hostProgram = named;
    std::string cwd = lpCurrentDirectory ? HostPath(FromUtf8(lpCurrentDirectory)) : std::string();
    // A partial path is completed from the caller's current folder; lpCurrentDirectory is only where the
    // child starts. Made absolute because the spawn changes folder before it looks the program up.
    if (!hostProgram.empty() && hostProgram[0] != '/') {
        char here[4096];
        if (::getcwd(here, sizeof here)) hostProgram = std::string(here) + "/" + named;
    }
    std::string found = FindHostProgram(hostProgram);
    if (found.empty() && program.find('\\') == std::string::npos && program.find('/') == std::string::npos) {
        char exe[4096];
        ssize_t len = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
        if (len > 0) {
            std::string dir(exe, static_cast<size_t>(len));
            found = FindHostProgram(dir.substr(0, dir.rfind('/') + 1) + named);
        }
    }
    if (found.empty()) {
        size_t slash = hostProgram.rfind('/');
        bool folderExists = slash == std::string::npos || IsDirectory(slash == 0 ? "/" : hostProgram.substr(0, slash));
        SetLastError(folderExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        return FALSE;
    }

    std::vector<std::string> args = SplitCommandLine(cmdLine.substr(tailStart));
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    // The child's entry code gets the exact command line, as GetCommandLine would give it.
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        if (std::strncmp(*e, "WINSIM_CMDLINE=", 15) != 0 && std::strncmp(*e, "WINSIM_MACHINE=", 15) != 0 &&
            std::strncmp(*e, "WINSIM_PARENT=", 14) != 0) {
            env.emplace_back(*e);
        }
    }
    env.push_back("WINSIM_CMDLINE=" + cmdLine);
    env.push_back("WINSIM_MACHINE=" + Machine::Instance().Path());
    env.push_back(AskingParentVariable());
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    if (!cwd.empty()) ::posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    pid_t pid;
    int rc = ::posix_spawn(&pid, found.c_str(), &actions, nullptr, argv.data(), envp.data());
    ::posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        SetLastError(rc == ENOENT ? ERROR_FILE_NOT_FOUND : (rc == EACCES ? ERROR_ACCESS_DENIED : ERROR_BAD_FORMAT));
        return FALSE;
    }
    auto* process = new Process;
    process->pid = pid;
    if (pi) {
        pi->hProcess = NewHandle(process);
        pi->hThread = nullptr;
        pi->dwProcessId = static_cast<DWORD>(pid);
        pi->dwThreadId = static_cast<DWORD>(pid);
    } else {
        NewHandle(process);
    }
    return TRUE;
}

// Simplified: a finite wait is counted on the host's clock in 10 ms steps.
extern "C" DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    auto* p = winsim::LookupAs<winsim::Process>(hHandle);
    if (!p) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    if (dwMilliseconds == INFINITE) {
        winsim::Reap(p, true);
        return WAIT_OBJECT_0;
    }
    for (DWORD waited = 0;; waited += 10) {
        if (winsim::Reap(p, false)) return WAIT_OBJECT_0;
        if (waited >= dwMilliseconds) return WAIT_TIMEOUT;
        timespec ts{0, 10 * 1000000L};
        ::nanosleep(&ts, nullptr);
    }
}

extern "C" BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
    uint32_t fault;
    if (winsim::TakeFault("GetExitCodeProcess", &fault)) {
        SetLastError(fault);
        return FALSE;
    }
    auto* p = winsim::LookupAs<winsim::Process>(hProcess);
    if (!p || !lpExitCode) {
        SetLastError(p ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *lpExitCode = winsim::Reap(p, false) ? p->exitCode : STILL_ACTIVE;
    return TRUE;
}

extern "C" BOOL WINAPI CloseHandle(HANDLE hObject) {
    uint32_t fault;
    if (winsim::TakeFault("CloseHandle", &fault)) {
        SetLastError(fault);
        return FALSE;
    }
    if (!winsim::Release(hObject)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
