#include "machine.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

#include "schema.h"

namespace winsim {
namespace {

std::mutex gMutex;  // one process may call in from several threads (the HTTP library's, the plug-in's)
Machine* gMachine = nullptr;

std::string DefaultPath() {
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state) {
        return std::string(state) + "/winsim/machine.json";
    }
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.local/state/winsim/machine.json";
}

void MakeFolders(const std::string& filePath) {
    for (size_t pos = filePath.find('/', 1); pos != std::string::npos; pos = filePath.find('/', pos + 1)) {
        ::mkdir(filePath.substr(0, pos).c_str(), 0755);
    }
}

class FileLock {
public:
    explicit FileLock(const std::string& machinePath) {
        std::string lockPath = machinePath + ".lock";
        fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ >= 0) {
            while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~FileLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    bool ok() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

bool ReadWholeFile(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    out = ss.str();
    return true;
}

}  // namespace

Machine& Machine::Instance() {
    std::lock_guard<std::mutex> lock(gMutex);
    if (!gMachine) {
        const char* env = std::getenv("WINSIM_MACHINE");
        // Never destroyed: exit handlers still record the process's exit code in it.
        gMachine = new Machine(env && *env ? std::string(env) : DefaultPath());
    }
    return *gMachine;
}

bool Machine::Loaded() {
    std::lock_guard<std::mutex> lock(gMutex);
    return gMachine != nullptr && gMachine->haveCache_;
}

Machine::Machine(std::string path) : path_(std::move(path)) {}

std::string Machine::Folder() const {
    size_t slash = path_.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path_.substr(0, slash);
}

void Machine::Fatal(const std::string& problem) const {
    std::fprintf(stderr, "winsim: the machine file %s cannot be used: %s\n", path_.c_str(), problem.c_str());
    std::fflush(stderr);
    ::_exit(3);  // no exit handlers: they would touch the machine again
}

void Machine::CreateIfMissingLocked() {
    struct stat st;
    if (::stat(path_.c_str(), &st) == 0) return;
    MakeFolders(path_);
    std::string tmp = path_ + ".tmp." + std::to_string(::getpid());
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << DefaultMachine().serialize();
        if (!out) Fatal("it cannot be created");
    }
    if (::rename(tmp.c_str(), path_.c_str()) != 0) Fatal(std::strerror(errno));
}

bool Machine::ReloadIfChangedLocked() {
    struct stat st;
    if (::stat(path_.c_str(), &st) != 0) return false;
    if (S_ISDIR(st.st_mode)) Fatal("it is a directory, not a file");
    uint64_t stamp[4] = {static_cast<uint64_t>(st.st_ino), static_cast<uint64_t>(st.st_size),
                         static_cast<uint64_t>(st.st_mtim.tv_sec), static_cast<uint64_t>(st.st_mtim.tv_nsec)};
    if (haveCache_ && std::memcmp(stamp, stamp_, sizeof stamp) == 0) return true;
    std::string text;
    if (!ReadWholeFile(path_, text)) Fatal("it cannot be read");
    std::error_code ec;
    Json parsed = Json::parse(text, ec);
    if (ec) Fatal("it is not valid JSON (" + ec.message() + ")");
    if (!parsed.is_object()) Fatal("its top level is not a JSON object");
    if (std::string problem = MachineProblem(parsed); !problem.empty()) Fatal(problem);
    cached_ = std::move(parsed);
    std::memcpy(stamp_, stamp, sizeof stamp);
    haveCache_ = true;
    return true;
}

Json Machine::Snapshot() {
    std::lock_guard<std::mutex> lock(gMutex);
    struct stat st;
    if (!haveCache_ || ::stat(path_.c_str(), &st) != 0) {
        MakeFolders(path_);
        FileLock fileLock(path_);
        if (!fileLock.ok()) Fatal("its lock file cannot be opened");
        CreateIfMissingLocked();
        if (!ReloadIfChangedLocked()) Fatal("it cannot be read");
        return cached_;
    }
    // Renames are atomic, so a reader needs no lock: it sees the old or the new file whole.
    if (!ReloadIfChangedLocked()) Fatal("it cannot be read");
    return cached_;
}

void Machine::Modify(const std::function<void(Json&)>& change) {
    std::lock_guard<std::mutex> lock(gMutex);
    MakeFolders(path_);
    FileLock fileLock(path_);
    if (!fileLock.ok()) Fatal("its lock file cannot be opened");
    CreateIfMissingLocked();
    if (!ReloadIfChangedLocked()) Fatal("it cannot be read");
    Json next = cached_;
    change(next);
    if (std::string problem = MachineProblem(next); !problem.empty()) Fatal("a change would leave it unusable: " + problem);
    std::string tmp = path_ + ".tmp." + std::to_string(::getpid());
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << next.serialize();
        out.flush();
        if (!out) Fatal("it cannot be written");
    }
    if (::rename(tmp.c_str(), path_.c_str()) != 0) Fatal(std::strerror(errno));
    cached_ = std::move(next);
    struct stat st;
    if (::stat(path_.c_str(), &st) == 0) {
        uint64_t stamp[4] = {static_cast<uint64_t>(st.st_ino), static_cast<uint64_t>(st.st_size),
                             static_cast<uint64_t>(st.st_mtim.tv_sec), static_cast<uint64_t>(st.st_mtim.tv_nsec)};
        std::memcpy(stamp_, stamp, sizeof stamp);
    }
}

void Machine::Use(const std::string& path) {
    std::lock_guard<std::mutex> lock(gMutex);
    if (!gMachine) {
        gMachine = new Machine(path);
        return;
    }
    gMachine->path_ = path;
    gMachine->haveCache_ = false;
}

void Machine::Invalidate() {
    std::lock_guard<std::mutex> lock(gMutex);
    haveCache_ = false;
}

Json& Child(Json& parent, const char* key, const Json& initial) {
    if (!parent.has_field(key)) parent[key] = initial;
    return parent[key];
}
// The machine was checked when it was loaded: a section of another type here is winsim's own fault,
// and what the file holds is kept rather than replaced.
Json& ChildObject(Json& parent, const char* key) {
    Json& c = Child(parent, key, Json::object());
    if (!c.is_object()) gMachine->Fatal(std::string(key) + ": expected an object");
    return c;
}
Json& ChildArray(Json& parent, const char* key) {
    Json& c = Child(parent, key, Json::array());
    if (!c.is_array()) gMachine->Fatal(std::string(key) + ": expected an array");
    return c;
}
int64_t IntAt(const Json& parent, const char* key, int64_t fallback) {
    if (!parent.is_object() || !parent.has_field(key)) return fallback;
    const Json& v = parent.at(key);
    return v.is_number() ? v.as_number().to_int64() : fallback;
}
bool BoolAt(const Json& parent, const char* key, bool fallback) {
    if (!parent.is_object() || !parent.has_field(key)) return fallback;
    const Json& v = parent.at(key);
    return v.is_boolean() ? v.as_bool() : fallback;
}
std::string StringAt(const Json& parent, const char* key, const std::string& fallback) {
    if (!parent.is_object() || !parent.has_field(key)) return fallback;
    const Json& v = parent.at(key);
    return v.is_string() ? v.as_string() : fallback;
}

bool TakeFault(const char* function, uint32_t* error) {
    Machine& m = Machine::Instance();
    Json snap = m.Snapshot();
    if (!snap.has_field("faults") || !snap.at("faults").is_array()) return false;
    bool listed = false;
    for (const Json& f : snap.at("faults").as_array()) {
        if (StringAt(f, "function", "") == function) listed = true;
    }
    if (!listed) return false;
    bool fail = false;
    m.Modify([&](Json& machine) {
        Json& faults = ChildArray(machine, "faults");
        Json kept = Json::array();
        size_t k = 0;
        bool decided = false;
        for (Json f : faults.as_array()) {
            if (!decided && StringAt(f, "function", "") == function) {
                decided = true;
                int64_t after = IntAt(f, "after", 0);
                int64_t count = IntAt(f, "count", 1);
                if (after > 0) {
                    f["after"] = Json::number(after - 1);
                } else {
                    fail = true;
                    *error = static_cast<uint32_t>(IntAt(f, "error", 0));
                    if (count > 0) f["count"] = Json::number(count - 1);
                    if (count == 1) continue;  // used up
                }
            }
            kept[k++] = f;
        }
        faults = kept;
    });
    return fail;
}

}  // namespace winsim
