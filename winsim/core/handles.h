// Kernel objects behind HANDLEs. A handle is a pointer to an Object, checked against the live set
// so that a stale or foreign handle gives ERROR_INVALID_HANDLE instead of a crash.
#pragma once
#include <windef.h>

#include <functional>

namespace winsim {

class Object {
public:
    virtual ~Object() = default;
};

HANDLE NewHandle(Object* object);
// The live object behind a handle, or null.
Object* Lookup(HANDLE handle);
template <class T>
T* LookupAs(HANDLE handle) {
    return dynamic_cast<T*>(Lookup(handle));
}
// Forgets and deletes the object; false when the handle is not live.
bool Release(HANDLE handle);
// Visits every live handle (test controls: which objects a program left open).
void ForEachHandle(const std::function<void(HANDLE, Object*)>& visit);

}  // namespace winsim
