// What the simulated spooler's functions share.
#pragma once
#include <windows.h>

#include "../core/machine.h"

#include "../core/handles.h"

namespace winsim {
namespace spooler {

// A handle from OpenPrinterW or AddPrinterW: a printer's, or the local server's when name is empty.
class PrinterHandle : public Object {
public:
    std::string name;
    DWORD access = 0;
    DWORD job = 0;  // the document StartDocPrinterW started on this handle, until it ends
};
PrinterHandle* HandleOf(HANDLE h);  // null with ERROR_INVALID_HANDLE
// The printer of that name in a machine, or null.
const Json* FindPrinter(const Json& machine, const std::string& name);

// False, with RPC_S_SERVER_UNAVAILABLE, while the Spooler service is stopped.
bool Reachable(const Json& machine);
// The machine's spooler section (empty object when missing).
const Json& Section(const Json& machine);
// A port scripted with "listedFromMs" appears only once the machine's clock has reached that time.
bool PortListed(const Json& machine, const Json& port);
// Ports of the machine as EnumPorts lists them now (pointing into the machine, which must outlive them).
std::vector<const Json*> ListedPorts(const Json& machine);
// The environment name of the machine's own architecture ("Windows x64", "Windows NT x86"): what a
// NULL environment stands for.
std::string NativeEnvironment(const Json& machine);
// Whether the spooler has such an environment ("all" is none).
bool KnownEnvironment(const std::string& environment);

// Whether the driver package's publisher is trusted: always, unless the machine requires its certificate
// ("driverSigning.publisherSerial") in the TrustedPublisher store ("driverSigning.requireTrustedPublisher").
bool PublisherTrusted(const Json& machine);
// Stages a package in the driver store (once per INF and environment) and answers its path in the store.
std::wstring StagePackage(Json& machine, const std::wstring& sourceInf, const std::wstring& environment,
                          uint64_t contentSize);
// Adds the driver for an environment unless it is installed already.
void AddDriver(Json& machine, const std::string& name, const std::string& environment, const std::string& storedInf);
// Adds a printer queue unless one of that name exists; false when it existed.
bool AddPrinterQueue(Json& machine, const std::string& name, const std::string& driver, const std::string& port);

}  // namespace spooler
}  // namespace winsim
