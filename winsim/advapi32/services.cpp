// The service control manager over the machine's "services". An entry is
//   {"name", "displayName", "state", "dependsOn": [names], "type", "processId", "acceptsStop" (true),
//    "disabled", "deniedAccess" (rights OpenServiceW refuses),
//    "stop" / "start": how a stop request or a start plays out over machine time,
//        {"takesMs" (0 at once, -1 never), "waitHint", "checkPointEveryMs" (0: the check point never moves),
//         "checkPointStallsAfterMs" (the check point stops moving that long into the transition)},
//    "pending": the transition under way, {"to", "sinceMs", "untilMs" (-1 never) and the fields above},
//    "history": [{"event": "stop" | "start", "atMs", "error" when refused}]}.
// A service without a "stop" or "start" script completes it at once. "serviceControl.deniedAccess"
// holds the rights OpenSCManagerW refuses.
#include "services.h"

#include <time.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

#include "../core/devices.h"
#include "../core/handles.h"
#include "../core/packer.h"
#include "../core/text.h"

namespace {

using winsim::Json;

constexpr int64_t kQueryCostMs = 10;

class ManagerHandle : public winsim::Object {
public:
    DWORD access = 0;
};

class ServiceHandle : public winsim::Object {
public:
    std::string name;
    DWORD access = 0;
};

bool Failing(const char* function) {
    uint32_t fault;
    if (!winsim::TakeFault(function, &fault)) return false;
    SetLastError(fault);
    return true;
}

ServiceHandle* ServiceOf(SC_HANDLE h) {
    auto* handle = winsim::LookupAs<ServiceHandle>(h);
    if (!handle) SetLastError(ERROR_INVALID_HANDLE);
    return handle;
}

bool VirtualClock(const Json& machine) {
    return !machine.has_field("clock") || winsim::BoolAt(machine.at("clock"), "virtual", true);
}

struct Status {
    DWORD state;
    DWORD checkPoint;
    DWORD waitHint;
};

Status StatusAt(const Json& service, int64_t now) {
    Status s{static_cast<DWORD>(winsim::IntAt(service, "state", SERVICE_STOPPED)), 0, 0};
    if (!service.has_field("pending")) return s;
    const Json& p = service.at("pending");
    int64_t until = winsim::IntAt(p, "untilMs", -1);
    if (until >= 0 && now >= until) {
        s.state = static_cast<DWORD>(winsim::IntAt(p, "to", SERVICE_STOPPED));
        return s;
    }
    int64_t elapsed = std::max<int64_t>(0, now - winsim::IntAt(p, "sinceMs", now));
    int64_t stall = winsim::IntAt(p, "checkPointStallsAfterMs", -1);
    if (stall >= 0) elapsed = std::min(elapsed, stall);
    int64_t every = winsim::IntAt(p, "checkPointEveryMs", 0);
    s.checkPoint = static_cast<DWORD>(1 + (every > 0 ? elapsed / every : 0));
    s.waitHint = static_cast<DWORD>(winsim::IntAt(p, "waitHint", 0));
    return s;
}

SERVICE_STATUS_PROCESS Record(const Json& service, size_t index, int64_t now) {
    Status s = StatusAt(service, now);
    SERVICE_STATUS_PROCESS r = {};
    r.dwServiceType = static_cast<DWORD>(winsim::IntAt(service, "type", SERVICE_WIN32_OWN_PROCESS));
    r.dwCurrentState = s.state;
    if (s.state == SERVICE_RUNNING && winsim::BoolAt(service, "acceptsStop", true)) r.dwControlsAccepted = SERVICE_ACCEPT_STOP;
    r.dwCheckPoint = s.checkPoint;
    r.dwWaitHint = s.waitHint;
    if (s.state != SERVICE_STOPPED) r.dwProcessId = static_cast<DWORD>(winsim::IntAt(service, "processId", static_cast<int64_t>(1000 + 4 * index)));
    return r;
}

// Index in the machine's services of the one with that name (compared without case), or -1.
long Find(const Json& machine, const std::string& name) {
    if (!machine.has_field("services")) return -1;
    const Json& services = machine.at("services");
    for (size_t i = 0; i < services.size(); ++i) {
        if (winsim::devices::SameText(winsim::StringAt(services.at(i), "name", ""), name)) return static_cast<long>(i);
    }
    return -1;
}

bool DependsOn(const Json& service, const std::string& name) {
    if (!service.has_field("dependsOn")) return false;
    for (const Json& d : service.at("dependsOn").as_array()) {
        if (d.is_string() && winsim::devices::SameText(d.as_string(), name)) return true;
    }
    return false;
}

// Every service that needs this one, directly or not, each behind the services that need it in turn:
// the reverse of an order the services could be started in.
void CollectDependents(const Json& services, const std::string& name, std::set<size_t>* seen, std::vector<size_t>* out) {
    for (size_t i = 0; i < services.size(); ++i) {
        if (seen->count(i) || !DependsOn(services.at(i), name)) continue;
        seen->insert(i);
        CollectDependents(services, winsim::StringAt(services.at(i), "name", ""), seen, out);
        out->push_back(i);
    }
}

std::vector<size_t> Dependents(const Json& machine, size_t index) {
    std::vector<size_t> out;
    if (!machine.has_field("services")) return out;
    const Json& services = machine.at("services");
    std::set<size_t> seen{index};
    CollectDependents(services, winsim::StringAt(services.at(index), "name", ""), &seen, &out);
    return out;
}

// Makes transitions that have run their course the services' plain state.
void Settle(Json& machine, int64_t now) {
    if (!machine.has_field("services")) return;
    Json& services = machine["services"];
    for (size_t i = 0; i < services.size(); ++i) {
        Json& service = services[i];
        if (!service.has_field("pending")) continue;
        int64_t until = winsim::IntAt(service.at("pending"), "untilMs", -1);
        if (until >= 0 && now >= until) {
            service["state"] = Json::number(static_cast<int64_t>(StatusAt(service, now).state));
            service.erase("pending");
        }
    }
}

// Starts the service's scripted transition from a pending state towards `to`.
void Begin(Json& service, const char* script, DWORD pendingState, DWORD to, int64_t now) {
    Json plan = service.has_field(script) ? service.at(script) : Json::object();
    int64_t takes = winsim::IntAt(plan, "takesMs", 0);
    if (takes == 0) {
        service["state"] = Json::number(static_cast<int64_t>(to));
        return;
    }
    Json pending = Json::object();
    pending["to"] = Json::number(static_cast<int64_t>(to));
    pending["sinceMs"] = Json::number(now);
    pending["untilMs"] = Json::number(takes < 0 ? -1 : winsim::ClockPlus(now, takes));
    pending["waitHint"] = Json::number(winsim::IntAt(plan, "waitHint", 0));
    pending["checkPointEveryMs"] = Json::number(winsim::IntAt(plan, "checkPointEveryMs", 0));
    pending["checkPointStallsAfterMs"] = Json::number(winsim::IntAt(plan, "checkPointStallsAfterMs", -1));
    service["state"] = Json::number(static_cast<int64_t>(pendingState));
    service["pending"] = pending;
}

void Remember(Json& service, const char* event, int64_t now, DWORD error) {
    Json entry = Json::object();
    entry["event"] = Json::string(event);
    entry["atMs"] = Json::number(now);
    if (error) entry["error"] = Json::number(static_cast<int64_t>(error));
    Json& history = winsim::ChildArray(service, "history");
    history[history.size()] = entry;
}

}  // namespace

namespace winsim {
namespace services {

int64_t NowMs(const Json& machine) {
    if (VirtualClock(machine)) return machine.has_field("clock") ? IntAt(machine.at("clock"), "nowMs", 0) : 0;
    timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

DWORD StateOf(const Json& machine, const std::string& name) {
    long i = Find(machine, name);
    return i < 0 ? 0 : StatusAt(machine.at("services").at(static_cast<size_t>(i)), NowMs(machine)).state;
}

}  // namespace services
}  // namespace winsim

// Simplified: only the local machine's active database; generic access rights are not mapped.
extern "C" SC_HANDLE WINAPI OpenSCManagerW(LPCWSTR lpMachineName, LPCWSTR lpDatabaseName, DWORD dwDesiredAccess) {
    if (Failing("OpenSCManagerW")) return nullptr;
    if (lpMachineName && *lpMachineName) {
        SetLastError(RPC_S_SERVER_UNAVAILABLE);
        return nullptr;
    }
    if (lpDatabaseName && !winsim::devices::SameText(winsim::ToUtf8(lpDatabaseName), "ServicesActive")) {
        SetLastError(ERROR_DATABASE_DOES_NOT_EXIST);
        return nullptr;
    }
    const auto view = winsim::Machine::Instance().Snapshot();
    const Json& machine = *view;
    int64_t denied = machine.has_field("serviceControl") ? winsim::IntAt(machine.at("serviceControl"), "deniedAccess", 0) : 0;
    if (dwDesiredAccess & static_cast<DWORD>(denied)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    auto* handle = new ManagerHandle;
    handle->access = dwDesiredAccess;
    return static_cast<SC_HANDLE>(winsim::NewHandle(handle));
}

// Simplified: generic access rights are not mapped.
extern "C" SC_HANDLE WINAPI OpenServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, DWORD dwDesiredAccess) {
    if (Failing("OpenServiceW")) return nullptr;
    if (!winsim::LookupAs<ManagerHandle>(hSCManager)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!lpServiceName || !*lpServiceName) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    const auto view = winsim::Machine::Instance().Snapshot();
    const Json& machine = *view;
    long i = Find(machine, winsim::ToUtf8(lpServiceName));
    if (i < 0) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    const Json& service = machine.at("services").at(static_cast<size_t>(i));
    if (dwDesiredAccess & static_cast<DWORD>(winsim::IntAt(service, "deniedAccess", 0))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    auto* handle = new ServiceHandle;
    handle->name = winsim::StringAt(service, "name", "");
    handle->access = dwDesiredAccess;
    return static_cast<SC_HANDLE>(winsim::NewHandle(handle));
}

extern "C" BOOL WINAPI CloseServiceHandle(SC_HANDLE hSCObject) {
    if (!winsim::LookupAs<ManagerHandle>(hSCObject) && !winsim::LookupAs<ServiceHandle>(hSCObject)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    winsim::Release(hSCObject);
    return TRUE;
}

// Simplified: on the virtual clock each query takes 10 ms of machine time and answers the state at its
// end, so that polling without sleeping still sees time pass.
extern "C" BOOL WINAPI QueryServiceStatusEx(SC_HANDLE hService, SC_STATUS_TYPE InfoLevel, LPBYTE lpBuffer,
                                            DWORD cbBufSize, LPDWORD pcbBytesNeeded) {
    if (Failing("QueryServiceStatusEx")) return FALSE;
    ServiceHandle* handle = ServiceOf(hService);
    if (!handle) return FALSE;
    if (InfoLevel != SC_STATUS_PROCESS_INFO) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    if (!(handle->access & SERVICE_QUERY_STATUS)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!pcbBytesNeeded) {
        SetLastError(RPC_X_NULL_REF_POINTER);
        return FALSE;
    }
    if (cbBufSize < sizeof(SERVICE_STATUS_PROCESS)) {
        *pcbBytesNeeded = sizeof(SERVICE_STATUS_PROCESS);
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (!lpBuffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    SERVICE_STATUS_PROCESS record = {};
    bool found = false;
    winsim::Machine::Instance().Modify([&](Json& machine) {
        if (VirtualClock(machine)) winsim::AdvanceClock(machine, kQueryCostMs);
        int64_t now = winsim::services::NowMs(machine);
        Settle(machine, now);
        long i = Find(machine, handle->name);
        if (i < 0) return;
        found = true;
        record = Record(machine.at("services").at(static_cast<size_t>(i)), static_cast<size_t>(i), now);
    });
    if (!found) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return FALSE;
    }
    std::memcpy(lpBuffer, &record, sizeof record);
    return TRUE;
}

// Simplified: SERVICE_CONTROL_STOP and SERVICE_CONTROL_INTERROGATE only; every other control is refused
// with ERROR_INVALID_SERVICE_CONTROL. A stop plays out as the service's "stop" script says.
extern "C" BOOL WINAPI ControlService(SC_HANDLE hService, DWORD dwControl, LPSERVICE_STATUS lpServiceStatus) {
    if (Failing("ControlService")) return FALSE;
    ServiceHandle* handle = ServiceOf(hService);
    if (!handle) return FALSE;
    if (!lpServiceStatus) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD needed = dwControl == SERVICE_CONTROL_STOP          ? SERVICE_STOP
                   : dwControl == SERVICE_CONTROL_INTERROGATE ? SERVICE_INTERROGATE
                                                              : SERVICE_PAUSE_CONTINUE;
    if (!(handle->access & needed)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    DWORD error = 0;
    bool report = false;
    SERVICE_STATUS_PROCESS record = {};
    winsim::Machine::Instance().Modify([&](Json& machine) {
        int64_t now = winsim::services::NowMs(machine);
        Settle(machine, now);
        long i = Find(machine, handle->name);
        if (i < 0) {
            error = ERROR_SERVICE_DOES_NOT_EXIST;
            return;
        }
        size_t index = static_cast<size_t>(i);
        Json& service = machine["services"][index];
        DWORD state = StatusAt(service, now).state;
        report = true;
        if (dwControl != SERVICE_CONTROL_STOP && dwControl != SERVICE_CONTROL_INTERROGATE) {
            error = ERROR_INVALID_SERVICE_CONTROL;
        } else if (state == SERVICE_STOPPED) {
            error = ERROR_SERVICE_NOT_ACTIVE;
        } else if (dwControl == SERVICE_CONTROL_INTERROGATE) {
            error = 0;
        } else if (state == SERVICE_STOP_PENDING || state == SERVICE_START_PENDING) {
            error = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
        } else if (!winsim::BoolAt(service, "acceptsStop", true)) {
            error = ERROR_INVALID_SERVICE_CONTROL;
        } else {
            for (size_t d : Dependents(machine, index)) {
                if (StatusAt(machine.at("services").at(d), now).state != SERVICE_STOPPED) {
                    error = ERROR_DEPENDENT_SERVICES_RUNNING;
                    report = false;
                }
            }
            if (!error) Begin(service, "stop", SERVICE_STOP_PENDING, SERVICE_STOPPED, now);
        }
        if (dwControl == SERVICE_CONTROL_STOP) Remember(service, "stop", now, error);
        record = Record(service, index, now);
    });
    // The caller gets the status back on success and for the refusals that concern the service's state.
    if (report) std::memcpy(lpServiceStatus, &record, sizeof(SERVICE_STATUS));
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

// Simplified: the status in each entry is the one at the machine's current time; display names default
// to the service names.
extern "C" BOOL WINAPI EnumDependentServicesW(SC_HANDLE hService, DWORD dwServiceState, LPENUM_SERVICE_STATUSW lpServices,
                                              DWORD cbBufSize, LPDWORD pcbBytesNeeded, LPDWORD lpServicesReturned) {
    if (Failing("EnumDependentServicesW")) return FALSE;
    ServiceHandle* handle = ServiceOf(hService);
    if (!handle) return FALSE;
    if (!(handle->access & SERVICE_ENUMERATE_DEPENDENTS)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!pcbBytesNeeded || !lpServicesReturned) {
        SetLastError(RPC_X_NULL_REF_POINTER);
        return FALSE;
    }
    if (dwServiceState < SERVICE_ACTIVE || dwServiceState > SERVICE_STATE_ALL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto view = winsim::Machine::Instance().Snapshot();
    const Json& machine = *view;
    long i = Find(machine, handle->name);
    if (i < 0) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return FALSE;
    }
    int64_t now = winsim::services::NowMs(machine);
    std::vector<size_t> listed;
    for (size_t d : Dependents(machine, static_cast<size_t>(i))) {
        bool stopped = StatusAt(machine.at("services").at(d), now).state == SERVICE_STOPPED;
        if (stopped ? (dwServiceState & SERVICE_INACTIVE) : (dwServiceState & SERVICE_ACTIVE)) listed.push_back(d);
    }
    winsim::RecordPacker<ENUM_SERVICE_STATUSW> packer(listed.size());
    for (size_t k = 0; k < listed.size(); ++k) {
        const Json& service = machine.at("services").at(listed[k]);
        SERVICE_STATUS_PROCESS record = Record(service, listed[k], now);
        std::memcpy(&packer.Records()[k].ServiceStatus, &record, sizeof(SERVICE_STATUS));
        std::string name = winsim::StringAt(service, "name", "");
        packer.Text(k, &ENUM_SERVICE_STATUSW::lpServiceName, winsim::FromUtf8(name));
        packer.Text(k, &ENUM_SERVICE_STATUSW::lpDisplayName, winsim::FromUtf8(winsim::StringAt(service, "displayName", name)));
    }
    DWORD need = packer.Needed();
    *pcbBytesNeeded = need;
    if (cbBufSize < need || (!lpServices && need > 0)) {
        *lpServicesReturned = 0;
        SetLastError(ERROR_MORE_DATA);
        return FALSE;
    }
    if (need > 0) packer.Write(reinterpret_cast<LPBYTE>(lpServices));
    *lpServicesReturned = static_cast<DWORD>(listed.size());
    return TRUE;
}

// Simplified: the arguments are ignored and the services it depends on are neither started nor checked.
// A start plays out as the service's "start" script says.
extern "C" BOOL WINAPI StartServiceW(SC_HANDLE hService, DWORD, LPCWSTR*) {
    if (Failing("StartServiceW")) return FALSE;
    ServiceHandle* handle = ServiceOf(hService);
    if (!handle) return FALSE;
    if (!(handle->access & SERVICE_START)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    DWORD error = 0;
    winsim::Machine::Instance().Modify([&](Json& machine) {
        int64_t now = winsim::services::NowMs(machine);
        Settle(machine, now);
        long i = Find(machine, handle->name);
        if (i < 0) {
            error = ERROR_SERVICE_DOES_NOT_EXIST;
            return;
        }
        Json& service = machine["services"][static_cast<size_t>(i)];
        if (winsim::BoolAt(service, "disabled", false)) error = ERROR_SERVICE_DISABLED;
        else if (StatusAt(service, now).state != SERVICE_STOPPED) error = ERROR_SERVICE_ALREADY_RUNNING;
        else Begin(service, "start", SERVICE_START_PENDING, SERVICE_RUNNING, now);
        Remember(service, "start", now, error);
    });
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}
