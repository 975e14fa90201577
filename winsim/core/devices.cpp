#include "devices.h"

#include <guiddef.h>

#include <cctype>
#include <cstdio>

namespace winsim {
namespace devices {

const web::json::array& All(const Json& machine) {
    static const Json none = Json::array();
    if (!machine.has_field("devices") || !machine.at("devices").is_array()) return none.as_array();
    return machine.at("devices").as_array();
}

bool Present(const Json& device) { return BoolAt(device, "present", true); }

std::string GuidText(const void* guid) {
    const GUID& g = *static_cast<const GUID*>(guid);
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

bool SameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    }
    return true;
}

bool FindInterface(const Json& machine, const std::string& devicePath, Json* device, Json* iface) {
    for (const Json& d : All(machine)) {
        if (!Present(d) || !d.has_field("interfaces")) continue;
        for (const Json& i : d.at("interfaces").as_array()) {
            if (SameText(StringAt(i, "devicePath", ""), devicePath)) {
                if (device) *device = d;
                if (iface) *iface = i;
                return true;
            }
        }
    }
    return false;
}

}  // namespace devices
}  // namespace winsim
