#include <windows.h>
#include <setupapi.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "../core/devices.h"
#include "../core/handles.h"
#include "../core/text.h"


namespace {

using winsim::Json;

// A device information set is a snapshot of the devices (and their interfaces) at the time it was made.
class DevInfoSet : public winsim::Object {
public:
    struct Interface {
        size_t device;
        GUID classGuid;
        std::string path;
    };
    std::vector<Json> devices;
    std::vector<Interface> interfaces;
};

bool ParseGuid(const std::string& text, GUID* g) {
    unsigned d1, d2, d3, b[8];
    if (std::sscanf(text.c_str(), "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &d1, &d2, &d3, &b[0], &b[1], &b[2], &b[3],
                    &b[4], &b[5], &b[6], &b[7]) != 11)
        return false;
    g->Data1 = d1;
    g->Data2 = static_cast<uint16_t>(d2);
    g->Data3 = static_cast<uint16_t>(d3);
    for (int i = 0; i < 8; ++i) g->Data4[i] = static_cast<uint8_t>(b[i]);
    return true;
}

DevInfoSet* SetOf(HDEVINFO h) {
    auto* set = winsim::LookupAs<DevInfoSet>(h);
    if (!set) SetLastError(ERROR_INVALID_HANDLE);
    return set;
}

// The set's device a SP_DEVINFO_DATA names, or null (ERROR_INVALID_PARAMETER).
const Json* DeviceOf(DevInfoSet* set, PSP_DEVINFO_DATA data) {
    if (!data || data->cbSize != sizeof(SP_DEVINFO_DATA)) {
        SetLastError(data ? ERROR_INVALID_USER_BUFFER : ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (data->DevInst == 0 || data->DevInst > set->devices.size()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return &set->devices[data->DevInst - 1];
}

void FillDevInfo(const Json& device, size_t index, PSP_DEVINFO_DATA data) {
    std::memset(&data->ClassGuid, 0, sizeof data->ClassGuid);
    ParseGuid(winsim::StringAt(device, "classGuid", ""), &data->ClassGuid);
    data->DevInst = static_cast<DWORD>(index + 1);
    data->Reserved = 0;
}

bool Failing(const char* function) {
    uint32_t fault;
    if (!winsim::TakeFault(function, &fault)) return false;
    SetLastError(fault);
    return true;
}

}  // namespace

// Simplified: hwndParent and profiles are ignored; device setup classes are known only where a device
// names its "classGuid"; the enumerator is compared with the device's "enumerator" field.
extern "C" HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID* ClassGuid, PCWSTR Enumerator, HWND, DWORD Flags) {
    if (Failing("SetupDiGetClassDevsW")) return INVALID_HANDLE_VALUE;
    bool interfaces = (Flags & DIGCF_DEVICEINTERFACE) != 0;
    bool allClasses = (Flags & DIGCF_ALLCLASSES) != 0;
    if (!ClassGuid && !allClasses) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string classText = ClassGuid ? winsim::devices::GuidText(ClassGuid) : std::string();
    std::string enumerator = Enumerator ? winsim::ToUtf8(Enumerator) : std::string();
    auto* set = new DevInfoSet;
    const auto view = winsim::Machine::Instance().Snapshot();
    const Json& machine = *view;
    for (const Json& d : winsim::devices::All(machine)) {
        if ((Flags & DIGCF_PRESENT) && !winsim::devices::Present(d)) continue;
        if (!enumerator.empty() && !winsim::devices::SameText(winsim::StringAt(d, "enumerator", ""), enumerator)) continue;
        if (interfaces) {
            std::vector<DevInfoSet::Interface> found;
            if (d.has_field("interfaces")) {
                for (const Json& i : d.at("interfaces").as_array()) {
                    std::string cls = winsim::StringAt(i, "class", "");
                    if (!allClasses && !winsim::devices::SameText(cls, classText)) continue;
                    DevInfoSet::Interface entry{set->devices.size(), GUID{}, winsim::StringAt(i, "devicePath", "")};
                    ParseGuid(cls, &entry.classGuid);
                    found.push_back(entry);
                }
            }
            if (found.empty()) continue;
            set->interfaces.insert(set->interfaces.end(), found.begin(), found.end());
        } else if (!allClasses && !winsim::devices::SameText(winsim::StringAt(d, "classGuid", ""), classText)) {
            continue;
        }
        set->devices.push_back(d);
    }
    return winsim::NewHandle(set);
}

extern "C" BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO DeviceInfoSet, DWORD MemberIndex, PSP_DEVINFO_DATA data) {
    DevInfoSet* set = SetOf(DeviceInfoSet);
    if (!set) return FALSE;
    if (!data || data->cbSize != sizeof(SP_DEVINFO_DATA)) {
        SetLastError(data ? ERROR_INVALID_USER_BUFFER : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (MemberIndex >= set->devices.size()) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    FillDevInfo(set->devices[MemberIndex], MemberIndex, data);
    return TRUE;
}

// Simplified: interfaces are always enumerated over the whole set (DeviceInfoData filters by device).
extern "C" BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                                   const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                                   PSP_DEVICE_INTERFACE_DATA data) {
    DevInfoSet* set = SetOf(DeviceInfoSet);
    if (!set) return FALSE;
    if (!InterfaceClassGuid || !data || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        SetLastError(data && InterfaceClassGuid ? ERROR_INVALID_USER_BUFFER : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD seen = 0;
    for (size_t i = 0; i < set->interfaces.size(); ++i) {
        const DevInfoSet::Interface& entry = set->interfaces[i];
        if (!IsEqualGUID(entry.classGuid, *InterfaceClassGuid)) continue;
        if (DeviceInfoData && DeviceInfoData->DevInst != entry.device + 1) continue;
        if (seen++ != MemberIndex) continue;
        data->InterfaceClassGuid = entry.classGuid;
        data->Flags = 0x1;  // SPINT_ACTIVE
        data->Reserved = i + 1;
        return TRUE;
    }
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
}

extern "C" BOOL WINAPI SetupDiGetDeviceInterfaceDetailW(HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA ifData,
                                                        PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD size,
                                                        PDWORD required, PSP_DEVINFO_DATA devData) {
    DevInfoSet* set = SetOf(DeviceInfoSet);
    if (!set) return FALSE;
    if (!ifData || ifData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) || ifData->Reserved == 0 ||
        ifData->Reserved > set->interfaces.size()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (Failing("SetupDiGetDeviceInterfaceDetailW")) return FALSE;
    const DevInfoSet::Interface& entry = set->interfaces[ifData->Reserved - 1];
    std::wstring path = winsim::FromUtf8(entry.path);
    DWORD need = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) + (path.size() + 1) * sizeof(WCHAR));
    if (!detail) {
        if (size != 0) {
            SetLastError(ERROR_INVALID_USER_BUFFER);
            return FALSE;
        }
    } else if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (required) *required = need;
    if (!detail || size < need) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(detail->DevicePath, path.c_str(), (path.size() + 1) * sizeof(WCHAR));
    if (devData) {
        if (devData->cbSize != sizeof(SP_DEVINFO_DATA)) {
            SetLastError(ERROR_INVALID_USER_BUFFER);
            return FALSE;
        }
        FillDevInfo(set->devices[entry.device], entry.device, devData);
    }
    return TRUE;
}

// Simplified: only the hardware and compatible id lists are known properties.
extern "C" BOOL WINAPI SetupDiGetDeviceRegistryPropertyW(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                                         DWORD Property, PDWORD type, PBYTE buffer, DWORD size,
                                                         PDWORD required) {
    DevInfoSet* set = SetOf(DeviceInfoSet);
    if (!set) return FALSE;
    const Json* device = DeviceOf(set, DeviceInfoData);
    if (!device) return FALSE;
    if (Failing("SetupDiGetDeviceRegistryPropertyW")) return FALSE;
    const char* field = Property == SPDRP_HARDWAREID ? "hardwareIds" : (Property == SPDRP_COMPATIBLEIDS ? "compatibleIds" : nullptr);
    if (!field || !device->has_field(field) || device->at(field).size() == 0) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    std::wstring multi;
    for (const Json& id : device->at(field).as_array()) {
        multi += winsim::FromUtf8(id.as_string());
        multi += L'\0';
    }
    multi += L'\0';
    DWORD need = static_cast<DWORD>(multi.size() * sizeof(WCHAR));
    if (type) *type = REG_MULTI_SZ;
    if (required) *required = need;
    if (!buffer || size < need) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, multi.data(), need);
    return TRUE;
}

extern "C" BOOL WINAPI SetupDiGetDeviceInstanceIdW(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                                   PWSTR DeviceInstanceId, DWORD DeviceInstanceIdSize,
                                                   PDWORD RequiredSize) {
    DevInfoSet* set = SetOf(DeviceInfoSet);
    if (!set) return FALSE;
    const Json* device = DeviceOf(set, DeviceInfoData);
    if (!device) return FALSE;
    if (Failing("SetupDiGetDeviceInstanceIdW")) return FALSE;
    std::wstring id = winsim::FromUtf8(winsim::StringAt(*device, "instanceId", ""));
    if (RequiredSize) *RequiredSize = static_cast<DWORD>(id.size() + 1);
    if (!DeviceInstanceId || DeviceInstanceIdSize < id.size() + 1) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(DeviceInstanceId, id.c_str(), (id.size() + 1) * sizeof(WCHAR));
    return TRUE;
}

extern "C" BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
    if (!winsim::LookupAs<DevInfoSet>(DeviceInfoSet) || !winsim::Release(DeviceInfoSet)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
