#include "handles.h"

#include <mutex>
#include <unordered_set>
#include <vector>

namespace winsim {
namespace {
std::mutex gMutex;
std::unordered_set<Object*>& Live() {
    static auto* live = new std::unordered_set<Object*>;
    return *live;
}
}  // namespace

HANDLE NewHandle(Object* object) {
    std::lock_guard<std::mutex> lock(gMutex);
    Live().insert(object);
    return object;
}

Object* Lookup(HANDLE handle) {
    std::lock_guard<std::mutex> lock(gMutex);
    auto* object = static_cast<Object*>(handle);
    return Live().count(object) ? object : nullptr;
}

bool Release(HANDLE handle) {
    Object* object;
    {
        std::lock_guard<std::mutex> lock(gMutex);
        object = static_cast<Object*>(handle);
        if (!Live().erase(object)) return false;
    }
    delete object;
    return true;
}

void ForEachHandle(const std::function<void(HANDLE, Object*)>& visit) {
    std::vector<Object*> live;
    {
        std::lock_guard<std::mutex> lock(gMutex);
        live.assign(Live().begin(), Live().end());
    }
    for (Object* object : live) visit(object, object);
}

}  // namespace winsim
