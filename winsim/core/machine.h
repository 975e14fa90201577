// The simulated machine: one JSON document in a file shared by every process that runs on it.
#pragma once
#include <cpprest/json.h>

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace winsim {

using Json = web::json::value;

class Machine {
public:
    // The machine named by WINSIM_MACHINE (else a default path in the user's state folder), made absolute
    // at first use and so named to children in the environment.
    static Machine& Instance();
    // True once this process has touched its machine.
    static bool Loaded();

    const std::string& Path() const { return path_; }
    // Folder of the machine file; default home of the temporary folder and non-Z: drives.
    std::string Folder() const;

    // The machine as it is now (reloaded when the path names a changed or another file). Shared, never
    // copied: a read costs the same on a large machine as on a small one.
    // generation, when asked for, names that content: it differs for every other content this process
    // has held, so what is worked out from a snapshot can be kept as long as it is the same.
    std::shared_ptr<const Json> Snapshot(uint64_t* generation = nullptr);
    // Changes the machine under the file's exclusive lock; the result is written to a
    // temporary file and renamed over the machine file, so readers never see half a change.
    // A machine file its owner may not write is refused (fatal), as is an unusable one.
    void Modify(const std::function<void(Json&)>& change);
    // Whether this process may change the machine file (its owner's write permission, and a folder and
    // file system it can write).
    bool Writable();
    // Whether there is a file (or anything) at the path now.
    bool FileExists();
    // Modify, for a file that exists: false, and nothing made, when there is none (its folder removed, say).
    // Only a removal in the instant between the look and the change's lock escapes it.
    bool ModifyExisting(const std::function<void(Json&)>& change);
    // Replaces whatever file is at the path, usable or not, with a new one holding machine; what it held
    // is never read. The new file gets the mode a missing one is created with.
    void Replace(const Json& machine);

    // Forgets the cached copy; the next access reads the file again.
    void Invalidate();
    // Points this process at another machine file (test controls only).
    static void Use(const std::string& path);
    // Stops the program with a message naming the file and the problem; the file is left as it is. Where
    // the file's content is what cannot be used, the message says how to start again from the default.
    [[noreturn]] void Fatal(const std::string& problem) const;

private:
    explicit Machine(const std::string& path);
    bool ReloadIfChangedLocked();
    bool CachedFileCurrentLocked() const;
    std::string WriteTargetLocked() const;
    int WriteLocked(const std::string& target, const std::string& text, std::optional<mode_t> mode) const;
    void CreateIfMissingLocked(const std::string& target);
    void KeepLocked(int fd, const struct stat& st, std::shared_ptr<Json> machine);
    void ForgetLocked();
    void RemoveAbandonedTemporariesLocked(const std::string& target) const;
    bool ContentUnusable() const;

    std::string path_;
    uint64_t generation_ = 0;  // counts every content kept in cached_
    std::shared_ptr<Json> cached_;  // handed out as const; changed in place only while nobody holds it
    bool haveCache_ = false;
    // The cached file stays open, so its inode cannot be reused by another file while the stamp
    // (device, inode, size, times) names it: a file renamed into place always differs.
    int cachedFd_ = -1;
    struct stat cachedStat_ {};
};

// The machine a missing file is created as.
Json DefaultMachine();

// Consumes a scripted fault for the named function: true (and the error to report) when this
// call must fail. Faults are {"function", "error", "after": successes first, "count": -1 for ever}.
bool TakeFault(const char* function, uint32_t* error);

// A time that many milliseconds after now (both at least 0); it stops at the end of the range.
int64_t ClockPlus(int64_t now, int64_t milliseconds);
// Moves the machine's virtual clock on; it stops at the end of its range instead of wrapping round.
void AdvanceClock(Json& machine, int64_t milliseconds);

// Small accessors over the JSON document.
Json& Child(Json& parent, const char* key, const Json& initial);
Json& ChildObject(Json& parent, const char* key);
Json& ChildArray(Json& parent, const char* key);
int64_t IntAt(const Json& parent, const char* key, int64_t fallback);
bool BoolAt(const Json& parent, const char* key, bool fallback);
std::string StringAt(const Json& parent, const char* key, const std::string& fallback);

}  // namespace winsim
