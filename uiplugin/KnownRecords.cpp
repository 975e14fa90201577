#include "KnownRecords.h"

#include <cstring>

bool KnownRecords::Holds(const Fill& fill, const QVOemDevMode* part) {
    return std::memcmp(&fill.body, &part->body, sizeof fill.body) == 0;
}

KnownRecords::Fill* KnownRecords::Find(const QVOemDevMode* part) {
    for (size_t i = 0; i < m_count; ++i) {
        if (m_fills[i].part == part) return &m_fills[i];
    }
    return nullptr;
}

const KnownRecords::Fill* KnownRecords::Find(const QVOemDevMode* part) const {
    return const_cast<KnownRecords*>(this)->Find(part);
}

KnownRecords::Fill& KnownRecords::Entry(const QVOemDevMode* part) {
    Fill* fill = Find(part);
    if (!fill) {
        if (m_count < kParts) {
            fill = &m_fills[m_count++];
        } else {
            // A read one goes first: a part forgotten must not be taken for a copy of a read twin.
            fill = &m_fills[0];
            for (Fill& f : m_fills) {
                if (f.read > fill->read || (f.read == fill->read && f.age < fill->age)) fill = &f;
            }
        }
        *fill = Fill{part, {}, false, false, 0};
    }
    return *fill;
}

void KnownRecords::Merged(const QVOemDevMode* part, bool read) {
    if (!part) return;
    AutoLock guard(&m_lock);
    unsigned long long age = ++m_age;
    Fill& fill = Entry(part);
    fill.body = part->body;
    fill.read = read;
    // Items filled from an earlier record showed that one: a failed read since makes them unknown.
    fill.itemsRead = fill.itemsRead && read;
    fill.age = age;
    m_latest = Event{part->body, age};
    m_latestRead = read;
    if (read) m_lastRead = m_latest;
}

void KnownRecords::Stored(const QVOemDevMode* part, const QVPrinterSettings& record) {
    AutoLock guard(&m_lock);
    unsigned long long age = ++m_age;
    m_latest = Event{record, age};
    m_latestRead = true;
    m_lastRead = m_latest;
    m_lastStore = m_latest;
    if (!part) return;
    Fill& fill = Entry(part);
    fill.body = record;
    fill.read = true;
    fill.age = age;
}

// The core copies DEVMODEs whole, so a part it never handed to a MERGE may hold what one filled: the
// newest fill with the same bytes, read or not, so that a copy of a failed read is not taken for a read.
const KnownRecords::Fill* KnownRecords::Source(const QVOemDevMode* part) const {
    if (!part) return nullptr;
    const Fill* own = Find(part);
    if (own && Holds(*own, part)) return own;
    const Fill* copied = nullptr;
    for (size_t i = 0; i < m_count; ++i) {
        const Fill& fill = m_fills[i];
        if (Holds(fill, part) && (!copied || fill.age > copied->age)) copied = &fill;
    }
    return copied;
}

bool KnownRecords::ForSheet(const QVOemDevMode* part, QVPrinterSettings* out) const {
    AutoLock guard(&m_lock);
    const Fill* own = Source(part);
    if (!own) {
        *out = m_latest.body;
        return m_latestRead;
    }
    const Event& newer = own->read ? m_lastStore : m_lastRead;
    if (newer.age > own->age) {
        *out = newer.body;
        return true;
    }
    *out = own->body;
    return own->read;
}

void KnownRecords::ItemsBuilt(const QVOemDevMode* part) {
    if (!part) return;
    AutoLock guard(&m_lock);
    const Fill* source = Source(part);
    if (!source) {
        if (Fill* own = Find(part)) own->itemsRead = false;
        return;
    }
    Fill filled = *source;  // Entry may reuse the source's place
    filled.part = part;
    filled.itemsRead = filled.read;
    Entry(part) = filled;
}

bool KnownRecords::ItemsRead(const QVOemDevMode* part) const {
    if (!part) return false;
    AutoLock guard(&m_lock);
    const Fill* fill = Find(part);
    return fill && fill->itemsRead && fill->read && Holds(*fill, part);
}
