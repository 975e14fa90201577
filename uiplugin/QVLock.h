// The controller's lock: a critical section, so the thread that holds it may take it again.
#pragma once
#include <windows.h>

class QVLock {
public:
    QVLock() { InitializeCriticalSection(&m_section); }
    virtual ~QVLock() { DeleteCriticalSection(&m_section); }
    QVLock(const QVLock&) = delete;
    QVLock& operator=(const QVLock&) = delete;

    void Lock() { EnterCriticalSection(&m_section); }
    void Unlock() { LeaveCriticalSection(&m_section); }

private:
    CRITICAL_SECTION m_section;
};

// Holds a QVLock for the life of a local.
class AutoLock {
public:
    explicit AutoLock(QVLock* lock) : m_pLock(lock) { m_pLock->Lock(); }
    virtual ~AutoLock() { m_pLock->Unlock(); }
    AutoLock(const AutoLock&) = delete;
    AutoLock& operator=(const AutoLock&) = delete;

private:
    QVLock* m_pLock;
};
