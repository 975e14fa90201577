// The simulated machine: one JSON document in a file shared by every process that runs on it.
#pragma once
#include <cpprest/json.h>

#include <cstdint>
#include <functional>
#include <string>

namespace winsim {

using Json = web::json::value;

class Machine {
public:
    // The machine named by WINSIM_MACHINE (else a default path in the user's state folder).
    static Machine& Instance();
    // True once this process has touched its machine.
    static bool Loaded();

    const std::string& Path() const { return path_; }
    // Folder of the machine file; default home of the temporary folder and non-Z: drives.
    std::string Folder() const;

    // The machine as it is now (reloaded when another process changed the file).
    Json Snapshot();
    // Changes the machine under the file's exclusive lock; the result is written to a
    // temporary file and renamed over the machine file, so readers never see half a change.
    void Modify(const std::function<void(Json&)>& change);

    // Forgets the cached copy; the next access reads the file again.
    void Invalidate();
    // Points this process at another machine file (test controls only).
    static void Use(const std::string& path);
    // Stops the program with a message naming the file and the problem; the file is left as it is.
    [[noreturn]] void Fatal(const std::string& problem) const;

private:
    explicit Machine(std::string path);
    bool ReloadIfChangedLocked();
    void CreateIfMissingLocked();

    std::string path_;
    Json cached_;
    bool haveCache_ = false;
    uint64_t stamp_[4] = {0, 0, 0, 0};
};

// The machine a missing file is created as.
Json DefaultMachine();

// Consumes a scripted fault for the named function: true (and the error to report) when this
// call must fail. Faults are {"function", "error", "after": successes first, "count": -1 for ever}.
bool TakeFault(const char* function, uint32_t* error);

// Small accessors over the JSON document.
Json& Child(Json& parent, const char* key, const Json& initial);
Json& ChildObject(Json& parent, const char* key);
Json& ChildArray(Json& parent, const char* key);
int64_t IntAt(const Json& parent, const char* key, int64_t fallback);
bool BoolAt(const Json& parent, const char* key, bool fallback);
std::string StringAt(const Json& parent, const char* key, const std::string& fallback);

}  // namespace winsim
