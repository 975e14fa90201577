// One spooler list read the way every list of this system is read: a size query, a zero-filled
// GlobalAlloc buffer of that size and a second call. The buffer is freed with the object.
#pragma once
#include <windows.h>

template <class Record>
class SpoolerList {
public:
    // EMPTY: the list was read and holds nothing. NO_SIZE: the size query failed, or asked for a buffer
    // without saying how large, so there is no list at all. FAILED: the second call failed.
    enum Status { EMPTY, NO_SIZE, NO_MEMORY, FAILED, READ };

    // enumerate(buffer, size, &needed, &returned) is the spooler call.
    template <class Enumerate>
    explicit SpoolerList(Enumerate enumerate) {
        DWORD needed = 0;
        DWORD returned = 0;
        if (enumerate(nullptr, 0, &needed, &returned)) {
            if (needed == 0) return;
        } else if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0) {
            status_ = NO_SIZE;
            return;
        }
        buffer_ = static_cast<LPBYTE>(GlobalAlloc(GPTR, needed));
        if (!buffer_) {
            status_ = NO_MEMORY;
            return;
        }
        if (!enumerate(buffer_, needed, &needed, &returned)) {
            status_ = FAILED;
            return;
        }
        count_ = returned;
        status_ = READ;
    }
    ~SpoolerList() {
        if (buffer_) GlobalFree(buffer_);
    }
    SpoolerList(const SpoolerList&) = delete;
    SpoolerList& operator=(const SpoolerList&) = delete;

    Status status() const { return status_; }
    // The records; none unless the list was read.
    const Record* begin() const { return reinterpret_cast<const Record*>(buffer_); }
    const Record* end() const { return begin() + count_; }

private:
    Status status_ = EMPTY;
    LPBYTE buffer_ = nullptr;
    DWORD count_ = 0;
};
