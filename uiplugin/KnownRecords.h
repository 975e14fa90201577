// What one plug-in object knows of its printer's record: what each private DEVMODE part it filled (by a
// MERGE or a store) holds and whether that was read, and the last record read, stored or merged at all.
// A sheet starts from it, and it decides whether the option items built on a part may store.
#pragma once
#include <windows.h>

#include <cstddef>

#include "PrinterSettings.h"
#include "QVLock.h"

class KnownRecords {
public:
    KnownRecords() = default;
    KnownRecords(const KnownRecords&) = delete;
    KnownRecords& operator=(const KnownRecords&) = delete;

    // A MERGE wrote part's body; read tells whether it is the printer's record.
    void Merged(const QVOemDevMode* part, bool read);
    // record is now the printer's stored record; part, when given, holds it too.
    void Stored(const QVOemDevMode* part, const QVPrinterSettings& record);
    // The record a sheet on part starts from, and whether it is the printer's: what part holds as its
    // MERGE read it (or as the MERGE of the part it was copied from read it), unless the object has stored
    // a record since, or, where that MERGE could not read, read one since. For a part it does not know,
    // the last record merged or stored (zeros before the first MERGE).
    bool ForSheet(const QVOemDevMode* part, QVPrinterSettings* out) const;
    // The option items were filled from part's body (a known part's, or a copy of a record read).
    void ItemsBuilt(const QVOemDevMode* part);
    // Whether the items last filled from part showed a record that was read, with nothing but reads and
    // stores filling the part since, and the part still holds what was last put in it.
    bool ItemsRead(const QVOemDevMode* part) const;

private:
    struct Fill {
        const QVOemDevMode* part;  // compared, never followed: the core may have freed it
        QVPrinterSettings body;
        bool read;
        bool itemsRead;
        unsigned long long age;
    };
    struct Event {
        QVPrinterSettings body;
        unsigned long long age;  // 0: none yet
    };
    // Parts seldom number more than the sheets open at once. One forgotten is not known as read: it counts
    // as unknown, or as a copy of a remembered part with the same bytes.
    static constexpr size_t kParts = 64;

    Fill* Find(const QVOemDevMode* part);
    const Fill* Find(const QVOemDevMode* part) const;
    // The part's entry, made (in place of the oldest read one, else the oldest, when all are taken) if it
    // has none.
    Fill& Entry(const QVOemDevMode* part);
    static bool Holds(const Fill& fill, const QVOemDevMode* part);
    // What part holds: its own entry while it holds that, else the newest entry of another part whose
    // record it holds (read or not); null when neither.
    const Fill* Source(const QVOemDevMode* part) const;

    mutable QVLock m_lock;  // the core may merge on another thread than the sheet's
    Fill m_fills[kParts]{};
    size_t m_count = 0;
    unsigned long long m_age = 0;
    Event m_latest{};  // merged or stored
    bool m_latestRead = false;
    Event m_lastRead{};   // merged and read, or stored
    Event m_lastStore{};
};
