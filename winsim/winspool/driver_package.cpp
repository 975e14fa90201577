#include <sys/stat.h>

#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "../core/devices.h"
#include "../core/machine.h"
#include "../core/text.h"
#include "spooler.h"


// Simplified: the package is the INF file alone; it is "staged" by recording it in the machine's
// driver store under a path of the store's shape, and its signature is not checked.
extern "C" HRESULT WINAPI UploadPrinterDriverPackageW(LPCWSTR pszServer, LPCWSTR pszInfPath, LPCWSTR pszEnvironment,
                                                      DWORD, HWND, LPWSTR pszDestInfPath, PULONG pcchDestInfPath) {
    uint32_t fault;
    if (winsim::TakeFault("UploadPrinterDriverPackageW", &fault)) return static_cast<HRESULT>(fault);
    if (!pszInfPath || !pszDestInfPath || !pcchDestInfPath) return E_INVALIDARG;
    if (pszServer && *pszServer) return HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER);
    winsim::Machine& m = winsim::Machine::Instance();
    const auto view = m.Snapshot();
    const winsim::Json& snap = *view;
    if (!winsim::spooler::Reachable(snap)) return HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE);
    struct stat st;
    if (::stat(winsim::HostPath(pszInfPath).c_str(), &st) != 0) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    if (!winsim::spooler::PublisherTrusted(snap)) return static_cast<HRESULT>(0x800F0242);  // trust not established
    std::wstring environment = pszEnvironment && *pszEnvironment ? std::wstring(pszEnvironment)
                                                                 : winsim::FromUtf8(winsim::spooler::NativeEnvironment(snap));
    // The stored path is known before staging: answer a short buffer without changing the machine.
    winsim::Json probe = snap;
    std::wstring stored = winsim::spooler::StagePackage(probe, pszInfPath, environment, static_cast<uint64_t>(st.st_size));
    if (stored.size() + 1 > *pcchDestInfPath) {
        *pcchDestInfPath = static_cast<ULONG>(stored.size() + 1);
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    }
    m.Modify([&](winsim::Json& machine) {
        winsim::spooler::StagePackage(machine, pszInfPath, environment, static_cast<uint64_t>(st.st_size));
    });
    std::wmemcpy(pszDestInfPath, stored.c_str(), stored.size() + 1);
    *pcchDestInfPath = static_cast<ULONG>(stored.size() + 1);
    return S_OK;
}

// Simplified: the package is found by its path in the store and the environment it was staged for (NULL:
// the machine's own, which is also what a package recorded without one was staged for); a package of
// another environment is not found.
extern "C" HRESULT WINAPI DeletePrinterDriverPackageW(LPCWSTR pszServer, LPCWSTR pszInfPath, LPCWSTR pszEnvironment) {
    uint32_t fault;
    if (winsim::TakeFault("DeletePrinterDriverPackageW", &fault)) return static_cast<HRESULT>(fault);
    if (!pszInfPath || !*pszInfPath) return E_INVALIDARG;
    if (pszServer && *pszServer) return HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER);
    std::string stored = winsim::ToUtf8(pszInfPath);
    std::string wanted = pszEnvironment && *pszEnvironment ? winsim::ToUtf8(pszEnvironment) : std::string();
    if (!wanted.empty() && !winsim::spooler::KnownEnvironment(wanted)) return HRESULT_FROM_WIN32(ERROR_INVALID_ENVIRONMENT);
    HRESULT hr = S_OK;
    winsim::Machine::Instance().Modify([&](winsim::Json& machine) {
        if (!winsim::spooler::Reachable(machine)) {
            hr = HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE);
            return;
        }
        const std::string own = winsim::spooler::NativeEnvironment(machine);
        const std::string environment = wanted.empty() ? own : wanted;
        winsim::Json& spooler = winsim::ChildObject(machine, "spooler");
        winsim::Json& store = winsim::ChildArray(spooler, "driverStore");
        winsim::Json kept = winsim::Json::array();
        size_t k = 0;
        for (size_t i = 0; i < store.size(); ++i) {
            const winsim::Json& package = store.at(i);
            bool match = winsim::devices::SameText(winsim::StringAt(package, "storedInf", ""), stored) &&
                         winsim::StringAt(package, "environment", own) == environment;
            if (!match) kept[k++] = package;
        }
        if (k == store.size()) {
            hr = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
            return;
        }
        for (const auto& environment : winsim::ChildObject(spooler, "drivers").as_object()) {
            if (!environment.second.is_array()) continue;
            for (const winsim::Json& d : environment.second.as_array()) {
                if (winsim::devices::SameText(winsim::StringAt(d, "infPath", ""), stored)) {
                    hr = HRESULT_FROM_WIN32(ERROR_PRINTER_DRIVER_PACKAGE_IN_USE);
                }
            }
        }
        if (hr == S_OK) store = kept;
    });
    return hr;
}
