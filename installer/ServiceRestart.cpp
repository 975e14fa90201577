// Restart of the Spooler service, paced by the service's own wait hints.
#include <windows.h>
#include <winsvc.h>

#include "Logger.h"
#include "PrinterDeviceObject.h"

namespace {

const wchar_t kSpooler[] = L"Spooler";
constexpr DWORD kStopBudgetMs = 30000;

// A tenth of the hint, kept between one and ten seconds.
DWORD PendingWait(DWORD waitHint) {
    DWORD wait = waitHint / 10;
    if (wait < 1000) return 1000;
    if (wait > 10000) return 10000;
    return wait;
}

BOOL QueryStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS* status) {
    DWORD needed = 0;
    return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(status),
                                sizeof(SERVICE_STATUS_PROCESS), &needed);
}

// True only when this call's own stop request brought the service to a stop.
bool RunStop(CPrinterDeviceObject& device, SC_HANDLE manager, SC_HANDLE service, DWORD start) {
    SERVICE_STATUS_PROCESS status = {};
    if (!QueryStatus(service, &status) || status.dwCurrentState == SERVICE_STOPPED) return false;
    while (status.dwCurrentState == SERVICE_STOP_PENDING) {
        Sleep(PendingWait(status.dwWaitHint));
        if (!QueryStatus(service, &status) || status.dwCurrentState == SERVICE_STOPPED) return false;
        if (GetTickCount() - start > kStopBudgetMs) return false;
    }
    device.DoStopDependentSvc(manager, service);
    if (!ControlService(service, SERVICE_CONTROL_STOP, reinterpret_cast<LPSERVICE_STATUS>(&status))) return false;
    while (status.dwCurrentState != SERVICE_STOPPED) {
        Sleep(status.dwWaitHint);
        if (!QueryStatus(service, &status)) return false;
        if (status.dwCurrentState == SERVICE_STOPPED) break;
        if (GetTickCount() - start > kStopBudgetMs) return false;
    }
    return true;
}

BOOL StopDependent(SC_HANDLE manager, LPCWSTR name, DWORD start) {
    SC_HANDLE dependent = OpenServiceW(manager, name, SERVICE_STOP | SERVICE_QUERY_STATUS);
    if (!dependent) return FALSE;
    SERVICE_STATUS_PROCESS status = {};
    BOOL stopped = ControlService(dependent, SERVICE_CONTROL_STOP, reinterpret_cast<LPSERVICE_STATUS>(&status));
    while (stopped && status.dwCurrentState != SERVICE_STOPPED) {
        Sleep(status.dwWaitHint);
        if (!QueryStatus(dependent, &status)) stopped = FALSE;
        else if (status.dwCurrentState != SERVICE_STOPPED && GetTickCount() - start > kStopBudgetMs) stopped = FALSE;
    }
    CloseServiceHandle(dependent);
    return stopped;
}

// Waits out a pending state for as long as the check point keeps moving. False when a query fails or the
// check point stood still for longer than the hint. The state is looked at before the clock: a service
// that has just left the pending state reports a hint of 0, which is no reason to give up on it.
bool WaitWhilePending(SC_HANDLE service, DWORD pending, SERVICE_STATUS_PROCESS* status) {
    DWORD start = GetTickCount();
    DWORD oldCheckPoint = status->dwCheckPoint;
    while (status->dwCurrentState == pending) {
        Sleep(PendingWait(status->dwWaitHint));
        if (!QueryStatus(service, status)) return false;
        if (status->dwCurrentState != pending) break;
        if (status->dwCheckPoint > oldCheckPoint) {
            start = GetTickCount();
            oldCheckPoint = status->dwCheckPoint;
        } else if (GetTickCount() - start > status->dwWaitHint) {
            return false;
        }
    }
    return true;
}

// True when the service this call started is running.
bool RunStart(SC_HANDLE service) {
    SERVICE_STATUS_PROCESS status = {};
    if (!QueryStatus(service, &status)) return false;
    if (status.dwCurrentState != SERVICE_STOPPED && status.dwCurrentState != SERVICE_STOP_PENDING) return false;
    if (!WaitWhilePending(service, SERVICE_STOP_PENDING, &status)) return false;
    if (!StartServiceW(service, 0, nullptr)) return false;
    if (!QueryStatus(service, &status)) return false;
    WaitWhilePending(service, SERVICE_START_PENDING, &status);
    return status.dwCurrentState == SERVICE_RUNNING;
}

}  // namespace

void CPrinterDeviceObject::DoStopSvc() {
    DWORD start = GetTickCount();
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) return;
    SC_HANDLE service = OpenServiceW(manager, kSpooler, SERVICE_STOP | SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS);
    if (service) {
        if (RunStop(*this, manager, service, start)) LOG_TRACE(L"DoStopSvc:Service stopped successfully");
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
}

BOOL CPrinterDeviceObject::DoStopDependentSvc(SC_HANDLE manager, SC_HANDLE service) {
    DWORD start = GetTickCount();
    DWORD needed = 0;
    DWORD count = 0;
    if (EnumDependentServicesW(service, SERVICE_ACTIVE, nullptr, 0, &needed, &count)) return TRUE;
    if (GetLastError() != ERROR_MORE_DATA) return FALSE;
    auto* dependents = static_cast<LPENUM_SERVICE_STATUSW>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, needed));
    if (!dependents) return FALSE;
    BOOL stopped = EnumDependentServicesW(service, SERVICE_ACTIVE, dependents, needed, &needed, &count);
    for (DWORD i = 0; stopped && i < count; ++i) stopped = StopDependent(manager, dependents[i].lpServiceName, start);
    HeapFree(GetProcessHeap(), 0, dependents);
    return stopped;
}

void CPrinterDeviceObject::DoStartSvc() {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) return;
    SC_HANDLE service = OpenServiceW(manager, kSpooler, SERVICE_ALL_ACCESS);
    if (service) {
        if (RunStart(service)) LOG_TRACE(L"DoStartSvc:Service started successfully");
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
}
