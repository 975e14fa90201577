#include <sys/stat.h>

#include <windows.h>
#include <newdev.h>
#include <setupapi.h>

#include <string>
#include <vector>

#include "../core/devices.h"
#include "../core/inf.h"
#include "../core/text.h"
#include "../winspool/spooler.h"

// Installs the INF's driver for every present device with the hardware id, as plug-and-play does for a
// printer: the package is staged, the driver added to the spooler and a queue created on the device's
// port. Simplified: the port is the last "&" piece of a USBPRINT device's instance id; the driver ranking
// (INSTALLFLAG_FORCE or not) and signatures are not modelled.
extern "C" BOOL WINAPI UpdateDriverForPlugAndPlayDevicesW(HWND, LPCWSTR HardwareId, LPCWSTR FullInfPath, DWORD,
                                                          PBOOL bRebootRequired) {
    using winsim::Json;
    uint32_t fault;
    if (winsim::TakeFault("UpdateDriverForPlugAndPlayDevicesW", &fault)) {
        SetLastError(fault);
        return FALSE;
    }
    if (!HardwareId || !*HardwareId || !FullInfPath || !*FullInfPath) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string hostInf = winsim::HostPath(FullInfPath);
    struct stat st;
    std::vector<winsim::InfModel> models;
    if (::stat(hostInf.c_str(), &st) != 0 || !winsim::ReadInfModels(hostInf, &models)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    winsim::Machine& m = winsim::Machine::Instance();
    const auto view = m.Snapshot();
    const Json& snap = *view;
    if (!winsim::spooler::Reachable(snap)) return FALSE;
    std::string hwid = winsim::ToUtf8(HardwareId);
    std::vector<std::string> ports;
    for (const Json& d : winsim::devices::All(snap)) {
        if (!winsim::devices::Present(d) || !d.has_field("hardwareIds")) continue;
        bool matches = false;
        for (const Json& id : d.at("hardwareIds").as_array()) matches = matches || winsim::devices::SameText(id.as_string(), hwid);
        if (!matches) continue;
        std::string instance = winsim::StringAt(d, "instanceId", "");
        size_t amp = instance.rfind('&');
        ports.push_back(amp == std::string::npos ? std::string() : instance.substr(amp + 1));
    }
    if (ports.empty()) {
        SetLastError(ERROR_NO_SUCH_DEVINST);
        return FALSE;
    }
    if (!winsim::spooler::PublisherTrusted(snap)) {
        SetLastError(ERROR_AUTHENTICODE_TRUST_NOT_ESTABLISHED);
        return FALSE;
    }
    std::string driver = winsim::InfDriverFor(models, hwid);
    if (driver.empty()) {
        SetLastError(ERROR_NO_DRIVER_SELECTED);
        return FALSE;
    }
    m.Modify([&](Json& machine) {
        std::string environment = winsim::spooler::NativeEnvironment(machine);
        std::wstring stored = winsim::spooler::StagePackage(machine, FullInfPath, winsim::FromUtf8(environment),
                                                            static_cast<uint64_t>(st.st_size));
        winsim::spooler::AddDriver(machine, driver, environment, winsim::ToUtf8(stored));
        for (const std::string& port : ports) {
            if (!port.empty()) winsim::spooler::AddPrinterQueue(machine, driver, driver, port);
        }
    });
    if (bRebootRequired) *bRebootRequired = FALSE;
    return TRUE;
}
