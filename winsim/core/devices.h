// The machine's device tree as SetupAPI, the USB printing class driver and PnP see it.
#pragma once
#include <string>
#include <vector>

#include "machine.h"

namespace winsim {
namespace devices {

// Devices are objects of the machine's "devices" array: enumerator, instanceId, hardwareIds (first is the
// most specific), present, classGuid and interfaces ({class, devicePath, ieee1284Id}).
const web::json::array& All(const Json& machine);  // the machine's own, not a copy
bool Present(const Json& device);
// Lower-case GUID text in braces, as the machine file writes interface classes.
std::string GuidText(const void* guid);
bool SameText(const std::string& a, const std::string& b);  // case-insensitive, as device paths and ids compare
// The interface of a present device with that path, if any.
bool FindInterface(const Json& machine, const std::string& devicePath, Json* device, Json* iface);

}  // namespace devices
}  // namespace winsim
