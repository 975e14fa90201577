// Objects the host may still name after they are gone: a page through the PROPSHEETPAGE it keeps, the
// controller through the option items' user data. Such a name is taken only while an object of that kind
// still has that address.
#pragma once
#include <windows.h>

#include <cstdint>

#include "QVLock.h"

template <class T>
class LiveObject {
public:
    LiveObject(const LiveObject&) = delete;
    LiveObject& operator=(const LiveObject&) = delete;

    // Compares addresses only: a name of one already gone is never followed.
    static bool IsLive(const void* object) {
        AutoLock guard(&Lock());
        for (const LiveObject* live = Head(); live; live = live->m_next) {
            if (reinterpret_cast<uintptr_t>(static_cast<const T*>(live)) == reinterpret_cast<uintptr_t>(object)) {
                return true;
            }
        }
        return false;
    }

protected:
    LiveObject() {
        AutoLock guard(&Lock());
        m_next = Head();
        Head() = this;
    }
    ~LiveObject() {
        AutoLock guard(&Lock());
        for (LiveObject** link = &Head(); *link; link = &(*link)->m_next) {
            if (*link == this) {
                *link = m_next;
                break;
            }
        }
    }

private:
    static QVLock& Lock() {
        static QVLock lock;
        return lock;
    }
    static LiveObject*& Head() {
        static LiveObject* head = nullptr;
        return head;
    }
    LiveObject* m_next = nullptr;
};
