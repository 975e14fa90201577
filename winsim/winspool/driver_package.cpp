#include <sys/stat.h>

#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "../core/machine.h"
#include "../core/text.h"

namespace {

bool SpoolerRunning(const winsim::Json& machine) {
    return !machine.has_field("spooler") || winsim::BoolAt(machine.at("spooler"), "running", true);
}

std::wstring FileName(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

}  // namespace

// Simplified: the package is the INF file alone; it is "staged" by recording it in the machine's
// driver store under a path of the store's shape, and its signature is not checked.
extern "C" HRESULT WINAPI UploadPrinterDriverPackageW(LPCWSTR pszServer, LPCWSTR pszInfPath, LPCWSTR pszEnvironment,
                                                      DWORD, HWND, LPWSTR pszDestInfPath, PULONG pcchDestInfPath) {
    uint32_t fault;
    if (winsim::TakeFault("UploadPrinterDriverPackageW", &fault)) return static_cast<HRESULT>(fault);
    if (!pszInfPath || !pszDestInfPath || !pcchDestInfPath) return E_INVALIDARG;
    if (pszServer && *pszServer) return HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER);
    winsim::Machine& m = winsim::Machine::Instance();
    if (!SpoolerRunning(m.Snapshot())) return HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE);
    struct stat st;
    if (::stat(winsim::HostPath(pszInfPath).c_str(), &st) != 0) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

    std::wstring inf = FileName(pszInfPath);
    std::wstring folder = inf;
    std::transform(folder.begin(), folder.end(), folder.begin(), [](wchar_t c) { return std::towlower(c); });
    std::wstring environment = pszEnvironment && *pszEnvironment ? pszEnvironment : L"Windows x64";
    std::wstring arch = environment == L"Windows NT x86" ? L"x86" : L"amd64";
    std::wstring stored = L"C:\\Windows\\System32\\DriverStore\\FileRepository\\" + folder + L"_" + arch + L"_" +
                          std::to_wstring(static_cast<unsigned>(st.st_size) * 2654435761u % 0xFFFFFFFFu) + L"\\" + inf;
    if (stored.size() + 1 > *pcchDestInfPath) {
        *pcchDestInfPath = static_cast<ULONG>(stored.size() + 1);
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    }
    m.Modify([&](winsim::Json& machine) {
        winsim::Json& store = winsim::ChildArray(winsim::ChildObject(machine, "spooler"), "driverStore");
        std::string storedUtf8 = winsim::ToUtf8(stored);
        for (size_t i = 0; i < store.size(); ++i) {
            if (winsim::StringAt(store.at(i), "storedInf", "") == storedUtf8) return;
        }
        winsim::Json package = winsim::Json::object();
        package["sourceInf"] = winsim::Json::string(winsim::ToUtf8(pszInfPath));
        package["storedInf"] = winsim::Json::string(storedUtf8);
        package["environment"] = winsim::Json::string(winsim::ToUtf8(environment));
        store[store.size()] = package;
    });
    std::wmemcpy(pszDestInfPath, stored.c_str(), stored.size() + 1);
    *pcchDestInfPath = static_cast<ULONG>(stored.size() + 1);
    return S_OK;
}
