// Raw print jobs: the machine's "spooler.jobs" keeps each one with every byte it was given, so a test reads
// exactly what reached the device. A printer's "writeLimit" (bytes per call) scripts a device taking less.
#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <set>

#include "../core/devices.h"
#include "../core/text.h"
#include "spooler.h"

namespace {

using winsim::Json;
using winsim::spooler::PrinterHandle;

bool Failing(const char* function) {
    uint32_t fault;
    if (!winsim::TakeFault(function, &fault)) return false;
    SetLastError(fault);
    return true;
}

// What winprint, the only print processor here, accepts.
bool KnownDatatype(const std::string& datatype) {
    static const char* const kDatatypes[] = {"RAW",          "RAW [FF appended]", "RAW [FF auto]", "NT EMF 1.003",
                                             "NT EMF 1.006", "NT EMF 1.007",      "NT EMF 1.008",  "TEXT",
                                             "XPS2GDI"};
    for (const char* known : kDatatypes) {
        if (winsim::devices::SameText(datatype, known)) return true;
    }
    return false;
}

// The handle of a printer (not the server's) with a document started on it.
PrinterHandle* InDocument(HANDLE h) {
    PrinterHandle* handle = winsim::spooler::HandleOf(h);
    if (!handle) return nullptr;
    if (handle->name.empty()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!handle->job) {
        SetLastError(ERROR_SPL_NO_STARTDOC);
        return nullptr;
    }
    return handle;
}

int64_t NextJobId(int64_t id) { return id >= 0xFFFFFFFF ? 1 : id + 1; }

// One more, staying at the end of the count's range rather than leaving it.
int64_t CountedOnce(int64_t count) { return count < INT64_MAX ? count + 1 : count; }

Json* FindJob(Json& machine, DWORD id) {
    Json& jobs = winsim::ChildArray(winsim::ChildObject(machine, "spooler"), "jobs");
    for (size_t i = 0; i < jobs.size(); ++i) {
        if (winsim::IntAt(jobs.at(i), "id", 0) == id) return &jobs[i];
    }
    return nullptr;
}

// Runs change on the handle's job under the machine's lock; else sets and answers the error Windows gives
// when the spooler is stopped or the job was deleted from the queue meanwhile.
DWORD ChangeJob(const PrinterHandle& handle, const std::function<void(Json& machine, Json& job)>& change) {
    DWORD error = 0;
    winsim::Machine::Instance().Modify([&](Json& machine) {
        if (!winsim::spooler::Reachable(machine)) {
            error = RPC_S_SERVER_UNAVAILABLE;
            return;
        }
        Json* job = FindJob(machine, handle.job);
        if (!job) {
            error = ERROR_PRINT_CANCELLED;
            return;
        }
        change(machine, *job);
    });
    if (error) SetLastError(error);
    return error;
}

}  // namespace

// Simplified: level 1 only; the output file is recorded, not written; the access right is not checked.
extern "C" DWORD WINAPI StartDocPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pDocInfo) {
    if (Failing("StartDocPrinterW")) return 0;
    PrinterHandle* handle = winsim::spooler::HandleOf(hPrinter);
    if (!handle) return 0;
    if (handle->name.empty()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (Level != 1) {
        SetLastError(ERROR_INVALID_LEVEL);
        return 0;
    }
    auto* info = reinterpret_cast<DOC_INFO_1W*>(pDocInfo);
    if (!info) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (handle->job) {
        SetLastError(ERROR_INVALID_PRINTER_STATE);
        return 0;
    }
    DWORD id = 0;
    DWORD error = 0;
    winsim::Machine::Instance().Modify([&](Json& machine) {
        if (!winsim::spooler::Reachable(machine)) {
            error = RPC_S_SERVER_UNAVAILABLE;
            return;
        }
        const Json* printer = winsim::spooler::FindPrinter(machine, handle->name);
        if (!printer) {
            error = ERROR_INVALID_PRINTER_NAME;  // deleted through another handle meanwhile
            return;
        }
        std::string datatype =
            info->pDatatype ? winsim::ToUtf8(info->pDatatype) : winsim::StringAt(*printer, "datatype", "RAW");
        if (!KnownDatatype(datatype)) {
            error = ERROR_INVALID_DATATYPE;
            return;
        }
        Json& spooler = winsim::ChildObject(machine, "spooler");
        Json& jobs = winsim::ChildArray(spooler, "jobs");
        // As the spooler does: the next id on, past the last DWORD back to 1, skipping ids jobs still hold.
        std::set<int64_t> used;
        for (size_t i = 0; i < jobs.size(); ++i) used.insert(winsim::IntAt(jobs.at(i), "id", 0));
        int64_t next = std::max<int64_t>(winsim::IntAt(spooler, "nextJobId", 1), 1);
        while (used.count(next)) next = NextJobId(next);
        id = static_cast<DWORD>(next);
        Json job = Json::object();
        job["id"] = Json::number(next);
        job["printer"] = Json::string(handle->name);
        job["name"] = Json::string(info->pDocName ? winsim::ToUtf8(info->pDocName) : "");
        job["datatype"] = Json::string(datatype);
        if (info->pOutputFile) job["outputFile"] = Json::string(winsim::ToUtf8(info->pOutputFile));
        job["data"] = Json::string("");
        job["pages"] = Json::number(0);
        job["complete"] = Json::boolean(false);
        jobs[jobs.size()] = job;
        // Last: a new field moves the spooler's others, and the references into them.
        spooler["nextJobId"] = Json::number(NextJobId(next));
    });
    if (error) {
        SetLastError(error);
        return 0;
    }
    handle->job = id;
    return id;
}

// Simplified: pages are optional around raw data, as in Windows, and nothing checks their pairing.
extern "C" BOOL WINAPI StartPagePrinter(HANDLE hPrinter) {
    if (Failing("StartPagePrinter")) return FALSE;
    PrinterHandle* handle = InDocument(hPrinter);
    if (!handle) return FALSE;
    return ChangeJob(*handle, [](Json&, Json&) {}) == 0;
}

// Simplified: the bytes reach the device at once, whatever the datatype; a printer's "writeLimit" caps
// what one call takes.
extern "C" BOOL WINAPI WritePrinter(HANDLE hPrinter, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
    if (pcWritten) *pcWritten = 0;
    if (Failing("WritePrinter")) return FALSE;
    PrinterHandle* handle = InDocument(hPrinter);
    if (!handle) return FALSE;
    if (!pcWritten) {
        SetLastError(RPC_X_NULL_REF_POINTER);
        return FALSE;
    }
    if (!pBuf && cbBuf > 0) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    DWORD written = 0;
    DWORD error = ChangeJob(*handle, [&](Json& machine, Json& job) {
        written = cbBuf;
        const Json* printer = winsim::spooler::FindPrinter(machine, winsim::StringAt(job, "printer", ""));
        int64_t limit = printer ? winsim::IntAt(*printer, "writeLimit", -1) : -1;
        if (limit >= 0 && limit < written) written = static_cast<DWORD>(limit);
        std::string data = winsim::StringAt(job, "data", "");
        job["data"] = Json::string(data + winsim::ToHex(static_cast<const BYTE*>(pBuf), written));
    });
    if (error) return FALSE;
    *pcWritten = written;
    return TRUE;
}

// Simplified: ends a page whether or not StartPagePrinter began one; it only counts pages.
extern "C" BOOL WINAPI EndPagePrinter(HANDLE hPrinter) {
    if (Failing("EndPagePrinter")) return FALSE;
    PrinterHandle* handle = InDocument(hPrinter);
    if (!handle) return FALSE;
    return ChangeJob(*handle, [](Json&, Json& job) {
               job["pages"] = Json::number(CountedOnce(winsim::IntAt(job, "pages", 0)));
           }) == 0;
}

// Simplified: the job is complete at once (no despooling); it stays listed so that tests can read it.
extern "C" BOOL WINAPI EndDocPrinter(HANDLE hPrinter) {
    if (Failing("EndDocPrinter")) return FALSE;
    PrinterHandle* handle = InDocument(hPrinter);
    if (!handle) return FALSE;
    DWORD error = ChangeJob(*handle, [](Json&, Json& job) { job["complete"] = Json::boolean(true); });
    // A job cancelled from the queue is over for this handle too.
    if (!error || error == ERROR_PRINT_CANCELLED) handle->job = 0;
    return !error;
}

// Simplified: the job leaves the machine's list, as a deleted spool file leaves the queue.
extern "C" BOOL WINAPI AbortPrinter(HANDLE hPrinter) {
    if (Failing("AbortPrinter")) return FALSE;
    PrinterHandle* handle = InDocument(hPrinter);
    if (!handle) return FALSE;
    DWORD error = 0;
    winsim::Machine::Instance().Modify([&](Json& machine) {
        if (!winsim::spooler::Reachable(machine)) {
            error = RPC_S_SERVER_UNAVAILABLE;
            return;
        }
        Json& jobs = winsim::ChildArray(winsim::ChildObject(machine, "spooler"), "jobs");
        Json kept = Json::array();
        size_t k = 0;
        for (size_t i = 0; i < jobs.size(); ++i) {
            if (winsim::IntAt(jobs.at(i), "id", 0) != handle->job) kept[k++] = jobs.at(i);
        }
        jobs = kept;
    });
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    handle->job = 0;
    return TRUE;
}
