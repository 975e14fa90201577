// Objects the host may still name after they are gone: a page through the PROPSHEETPAGE it keeps, the
// controller through the option items' user data. The host is given a ticket, never the address: a ticket
// is never given to another object of the kind, so one of an object that went finds nothing, even when a
// new object took its address.
#pragma once
#include <windows.h>

#include "QVLock.h"

template <class T>
class LiveObject {
public:
    LiveObject(const LiveObject&) = delete;
    LiveObject& operator=(const LiveObject&) = delete;

    ULONG_PTR Ticket() const { return m_ticket; }
    // The object the ticket was given to, while it exists; null for 0 or once it went.
    static T* Find(ULONG_PTR ticket) {
        if (ticket == 0) return nullptr;
        AutoLock guard(&Lock());
        for (LiveObject* live = Head(); live; live = live->m_next) {
            if (live->m_ticket == ticket) return static_cast<T*>(live);
        }
        return nullptr;
    }

protected:
    LiveObject() {
        AutoLock guard(&Lock());
        m_ticket = ++LastTicket();
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
    static ULONG_PTR& LastTicket() {
        static ULONG_PTR last = 0;
        return last;
    }
    ULONG_PTR m_ticket = 0;
    LiveObject* m_next = nullptr;
};
