// Lays out what a spooler or SetupAPI call returns in the caller's one buffer: fixed records at the
// front, their strings behind them, as the size-query protocol expects.
#pragma once
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace winsim {

template <class Record>
class RecordPacker {
public:
    // Strings per record are added through Build's callback; the records themselves are returned
    // for the caller to fill with the string pointers that Text() hands out.
    explicit RecordPacker(size_t count) : records_(count) {}

    std::vector<Record>& Records() { return records_; }
    // Remembers a string; the pointer is fixed up when the buffer is written.
    void Text(size_t record, LPWSTR Record::*field, const std::wstring& value) {
        texts_.push_back({record, field, value});
    }

    DWORD Needed() const {
        size_t bytes = records_.size() * sizeof(Record);
        for (const auto& t : texts_) bytes += (t.value.size() + 1) * sizeof(WCHAR);
        return static_cast<DWORD>(bytes);
    }

    // Writes records and strings into buffer (which must hold Needed() bytes).
    void Write(LPBYTE buffer) {
        Record* out = reinterpret_cast<Record*>(buffer);
        size_t offset = records_.size() * sizeof(Record);
        for (auto& t : texts_) {
            auto* dest = reinterpret_cast<LPWSTR>(buffer + offset);
            std::memcpy(dest, t.value.c_str(), (t.value.size() + 1) * sizeof(WCHAR));
            records_[t.record].*(t.field) = dest;
            offset += (t.value.size() + 1) * sizeof(WCHAR);
        }
        // An empty answer may go to a null buffer, which memcpy must never see.
        if (!records_.empty()) std::memcpy(out, records_.data(), records_.size() * sizeof(Record));
    }

    // The whole protocol: needed size out, ERROR_INSUFFICIENT_BUFFER when the buffer is short.
    BOOL Answer(LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
        DWORD need = Needed();
        if (needed) *needed = need;
        if (size < need || (!buffer && need > 0)) {
            if (returned) *returned = 0;
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        Write(buffer);
        if (returned) *returned = static_cast<DWORD>(records_.size());
        return TRUE;
    }

private:
    struct PendingText {
        size_t record;
        LPWSTR Record::*field;
        std::wstring value;
    };
    std::vector<Record> records_;
    std::vector<PendingText> texts_;
};

}  // namespace winsim
