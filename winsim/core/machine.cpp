#include "machine.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>

#include "schema.h"
#include "text.h"

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

// Fixed at first use: a child started in another folder must name the same file.
std::string Absolute(const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
    char here[4096];
    if (!::getcwd(here, sizeof here)) return path;
    return std::string(here) + "/" + path;
}

std::string FolderOf(const std::string& filePath) {
    size_t slash = filePath.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : filePath.substr(0, slash);
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

bool ReadWholeFile(int fd, std::string& out) {
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) return true;
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        out.append(buffer, static_cast<size_t>(n));
    }
}

bool WriteWholeFile(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Same file, same content as far as the file system tells: with the cached file held open, a file
// renamed into place never has its inode, so this is exact for every writer that replaces the file.
bool SameStamp(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Why a machine file cannot be changed, or nothing: its owner may not write it (root too, who could: the
// mode says what its user meant), this user may not, or no new file can be renamed into its folder.
std::string ReadOnlyReason(const std::string& path, const std::string& folder, const struct stat& st) {
    if (!(st.st_mode & S_IWUSR)) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        return std::string("it is read-only (mode ") + mode + ")";
    }
    for (const std::string* file : {&path, &folder}) {
        if (::faccessat(AT_FDCWD, file->c_str(), W_OK, AT_EACCESS) == 0) continue;
        if (errno == EROFS) return "it is on a read-only file system";
        return file == &path ? "this user may not write it" : "this user may not write its folder";
    }
    return std::string();
}

// What makes a machine file's text unusable, or nothing; parsed holds the machine when it is usable.
std::string ContentProblem(const std::string& text, Json* parsed) {
    // The parser copies bytes into strings as they come: what is not UTF-8 is refused before it.
    if (size_t at = 0; !IsUtf8(text, &at)) return "it is not UTF-8 text (byte " + std::to_string(at) + ")";
    std::error_code ec;
    try {
        *parsed = Json::parse(text, ec);
    } catch (const std::exception& e) {  // a \u escape naming half a surrogate pair throws
        return "it is not valid JSON (" + std::string(e.what()) + ")";
    }
    if (ec) return "it is not valid JSON (" + ec.message() + ")";
    if (!parsed->is_object()) return "its top level is not a JSON object";
    return MachineProblem(*parsed);
}

}  // namespace

Machine& Machine::Instance() {
    std::lock_guard<std::mutex> lock(gMutex);
    if (!gMachine) {
        const char* env = std::getenv("WINSIM_MACHINE");
        std::string path = env && *env ? std::string(env) : DefaultPath();
        // Never destroyed: exit handlers still record the process's exit code in it.
        gMachine = new Machine(path);
        // Children inherit the environment, and may start in another folder.
        if (gMachine->path_ != path) ::setenv("WINSIM_MACHINE", gMachine->path_.c_str(), 1);
    }
    return *gMachine;
}

bool Machine::Loaded() {
    std::lock_guard<std::mutex> lock(gMutex);
    return gMachine != nullptr && gMachine->haveCache_;
}

Machine::Machine(const std::string& path) : path_(Absolute(path)) {}

std::string Machine::Folder() const { return FolderOf(path_); }

void Machine::Fatal(const std::string& problem) const {
    std::fprintf(stderr, "winsim: the machine file %s cannot be used: %s\n", path_.c_str(), problem.c_str());
    if (ContentUnusable()) {
        std::fprintf(stderr, "winsim: `winsim-ctl reset` replaces it with the default machine (what it holds is lost)\n");
    }
    std::fflush(stderr);
    ::_exit(3);  // no exit handlers: they would touch the machine again
}

// Looked at again only on the way out: a file whose text winsim cannot read or use, as opposed to a
// refused change, a read-only file or a folder that cannot be written, which a reset would not mend.
bool Machine::ContentUnusable() const {
    struct stat st;
    if (::stat(path_.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    std::string text;
    bool read = fd >= 0 && ReadWholeFile(fd, text);
    if (fd >= 0) ::close(fd);
    if (!read) return false;  // a permission, not the content: a reset would not be the cure
    Json parsed;
    return !ContentProblem(text, &parsed).empty();
}

// The file a change replaces: the machine's path, or the file a link there leads to, so that a linked
// machine is changed, not cut off from its link. Checked before anything is made: a path that names no
// file must leave no folder or lock file behind.
std::string Machine::WriteTargetLocked() const {
    if (path_.empty() || path_.back() == '/') Fatal("its path names a folder, not a file");
    if (path_.size() >= PATH_MAX) Fatal("its path is longer than the system allows");
    struct stat st;
    if (::lstat(path_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (!::realpath(path_.c_str(), resolved)) {
            if (errno == ELOOP) Fatal("it is a link that leads round in a loop");
            if (errno == ENOENT) Fatal("it is a link to a file that does not exist");
            Fatal(std::string("the link cannot be followed (") + std::strerror(errno) + ")");
        }
        return resolved;
    }
    if (::stat(path_.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) Fatal("it is a directory, not a file");
        if (!S_ISREG(st.st_mode)) Fatal("it is not a regular file");
    }
    return path_;
}

// Writes text to a temporary file beside target and renames it over target, so that readers see the old
// file or the new one whole. mode, when given, is the new file's; else the creation mode. The new file
// stays open: the caller keeps it, or closes it.
int Machine::WriteLocked(const std::string& target, const std::string& text, std::optional<mode_t> mode) const {
    std::string tmp = target + ".tmp." + std::to_string(::getpid());
    int fd = ::open(tmp.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0 || (mode && ::fchmod(fd, *mode) != 0) || !WriteWholeFile(fd, text) || ::rename(tmp.c_str(), target.c_str()) != 0) {
        int error = errno;
        if (fd >= 0) ::close(fd);
        ::unlink(tmp.c_str());
        Fatal(std::string("it cannot be written (") + std::strerror(error) + ")");
    }
    return fd;
}

void Machine::CreateIfMissingLocked(const std::string& target) {
    struct stat st;
    if (::stat(target.c_str(), &st) == 0) return;
    MakeFolders(target);
    ::close(WriteLocked(target, DefaultMachine().serialize(), std::nullopt));
}

void Machine::KeepLocked(int fd, const struct stat& st, std::shared_ptr<Json> machine) {
    if (cachedFd_ >= 0) ::close(cachedFd_);
    cachedFd_ = fd;
    cachedStat_ = st;
    cached_ = std::move(machine);
    haveCache_ = true;
    ++generation_;
}

void Machine::ForgetLocked() {
    if (cachedFd_ >= 0) ::close(cachedFd_);
    cachedFd_ = -1;
    cached_.reset();
    haveCache_ = false;
}

bool Machine::ReloadIfChangedLocked() {
    struct stat st;
    if (::stat(path_.c_str(), &st) != 0) return false;
    if (S_ISDIR(st.st_mode)) Fatal("it is a directory, not a file");
    if (!S_ISREG(st.st_mode)) Fatal("it is not a regular file");  // a FIFO or a device would block or never end
    if (haveCache_ && SameStamp(st, cachedStat_)) {
        cachedStat_ = st;  // a chmod or a new link leaves the content, and the stamp, as they were
        return true;
    }
    int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    std::string text;
    if (fd < 0 || ::fstat(fd, &st) != 0 || !ReadWholeFile(fd, text)) Fatal("it cannot be read");
    Json parsed;
    if (std::string problem = ContentProblem(text, &parsed); !problem.empty()) Fatal(problem);
    KeepLocked(fd, st, std::make_shared<Json>(std::move(parsed)));
    return true;
}

bool Machine::CachedFileCurrentLocked() const {
    struct stat st;
    return ::stat(path_.c_str(), &st) == 0 && SameStamp(st, cachedStat_) && st.st_ctim.tv_sec == cachedStat_.st_ctim.tv_sec &&
           st.st_ctim.tv_nsec == cachedStat_.st_ctim.tv_nsec;
}

std::shared_ptr<const Json> Machine::Snapshot(uint64_t* generation) {
    std::lock_guard<std::mutex> lock(gMutex);
    auto current = [&]() -> std::shared_ptr<const Json> {
        if (generation) *generation = generation_;
        return cached_;
    };
    // The file the path names now: a file renamed over it, or a folder on the way renamed or switched,
    // brings another inode (the cached one is held open, so none can reuse it).
    if (haveCache_ && CachedFileCurrentLocked()) return current();
    // Renames are atomic, so a reader needs no lock: it sees the old or the new file whole, and runs
    // where no lock file can be made (a read-only mount).
    if (ReloadIfChangedLocked()) return current();
    // No file: made under the lock, so that two processes create one machine.
    const std::string target = WriteTargetLocked();
    MakeFolders(target);
    FileLock fileLock(target);
    if (!fileLock.ok()) Fatal("its lock file cannot be opened");
    CreateIfMissingLocked(target);
    if (!ReloadIfChangedLocked()) Fatal("it cannot be read");
    return current();
}

// Temporary files of writers that ended mid-change (killed) are theirs no longer.
void Machine::RemoveAbandonedTemporariesLocked(const std::string& target) const {
    std::string folder = FolderOf(target);
    std::string prefix = target.substr(target.rfind('/') + 1) + ".tmp.";
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        std::string digits = name.substr(prefix.size());
        if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
        pid_t pid = static_cast<pid_t>(std::stol(digits));
        if (pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH) continue;
        ::unlink((folder + "/" + name).c_str());
    }
    ::closedir(dir);
}

void Machine::Modify(const std::function<void(Json&)>& change) {
    std::lock_guard<std::mutex> lock(gMutex);
    const std::string target = WriteTargetLocked();
    MakeFolders(target);
    FileLock fileLock(target);
    if (!fileLock.ok()) {
        struct stat st;
        if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            if (std::string reason = ReadOnlyReason(target, FolderOf(target), st); !reason.empty()) {
                Fatal(reason + ", and this program changes the machine");
            }
        }
        Fatal("its lock file cannot be opened");
    }
    CreateIfMissingLocked(target);
    if (!ReloadIfChangedLocked()) Fatal("it cannot be read");
    if (std::string reason = ReadOnlyReason(target, FolderOf(target), cachedStat_); !reason.empty()) {
        Fatal(reason + ", and this program changes the machine");
    }
    RemoveAbandonedTemporariesLocked(target);
    // Changed in place when no reader holds the cached copy; a reader's copy is never changed under it.
    std::shared_ptr<Json> next = cached_;
    if (next.use_count() > 2) {
        next = std::make_shared<Json>(*cached_);
    } else {
        std::atomic_thread_fence(std::memory_order_acquire);  // pairs with the last reader's release
        haveCache_ = false;  // until written: a change that throws must not leave half of itself cached
    }
    change(*next);
    if (std::string problem = MachineProblem(*next); !problem.empty()) Fatal("a change would leave it unusable: " + problem);
    int fd = WriteLocked(target, next->serialize(), cachedStat_.st_mode & 07777);
    struct stat st;
    if (::fstat(fd, &st) != 0) Fatal("it cannot be read");
    KeepLocked(fd, st, std::move(next));
}

bool Machine::Writable() {
    std::lock_guard<std::mutex> lock(gMutex);
    struct stat st;
    return ::stat(path_.c_str(), &st) != 0 || ReadOnlyReason(path_, Folder(), st).empty();
}

bool Machine::FileExists() {
    std::lock_guard<std::mutex> lock(gMutex);
    struct stat st;
    return ::stat(path_.c_str(), &st) == 0;
}

bool Machine::ModifyExisting(const std::function<void(Json&)>& change) {
    if (!FileExists()) return false;
    Modify(change);
    return true;
}

void Machine::Replace(const Json& machine) {
    std::lock_guard<std::mutex> lock(gMutex);
    const std::string target = WriteTargetLocked();
    MakeFolders(target);
    FileLock fileLock(target);
    if (!fileLock.ok()) Fatal("its lock file cannot be opened");
    if (std::string problem = MachineProblem(machine); !problem.empty()) Fatal("a change would leave it unusable: " + problem);
    RemoveAbandonedTemporariesLocked(target);
    int fd = WriteLocked(target, machine.serialize(), std::nullopt);
    struct stat st;
    if (::fstat(fd, &st) != 0) Fatal("it cannot be read");
    KeepLocked(fd, st, std::make_shared<Json>(machine));
}

void Machine::Use(const std::string& path) {
    std::lock_guard<std::mutex> lock(gMutex);
    if (!gMachine) {
        gMachine = new Machine(path);
        return;
    }
    gMachine->path_ = Absolute(path);
    gMachine->ForgetLocked();
}

void Machine::Invalidate() {
    std::lock_guard<std::mutex> lock(gMutex);
    ForgetLocked();
}

int64_t ClockPlus(int64_t now, int64_t milliseconds) {
    const int64_t end = std::numeric_limits<int64_t>::max();
    return milliseconds > 0 && now > end - milliseconds ? end : now + milliseconds;
}

void AdvanceClock(Json& machine, int64_t milliseconds) {
    Json& clock = ChildObject(machine, "clock");
    clock["nowMs"] = Json::number(ClockPlus(IntAt(clock, "nowMs", 0), milliseconds));
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
    if (!v.is_number()) return fallback;
    // A number beyond the 64-bit range reads as the end of the range, never wrapped round.
    const web::json::number& n = v.as_number();
    if (n.is_int64()) return n.to_int64();
    if (n.is_uint64()) return std::numeric_limits<int64_t>::max();
    double d = n.to_double();
    if (d >= 9223372036854775807.0) return std::numeric_limits<int64_t>::max();
    if (d <= -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(d);
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
    {
        // Looked at in the shared copy: most calls find no fault of theirs and change nothing.
        std::shared_ptr<const Json> snap = m.Snapshot();
        if (!snap->has_field("faults") || !snap->at("faults").is_array()) return false;
        bool listed = false;
        for (const Json& f : snap->at("faults").as_array()) {
            if (StringAt(f, "function", "") == function) listed = true;
        }
        if (!listed) return false;
    }
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
