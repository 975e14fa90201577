// Machine identity (MachineGuid).
#include <windows.h>

#include <cstring>

#include "Installer.h"
#include "PrinterDeviceObject.h"

// Not built yet: the registry read under the "chs" locale. Until then the identity stays empty and
// reports carry an empty "onlyCode". The device object is still brought into being here, as start-up expects.
bool InitMachineId() {
    std::memset(machineId, 0, sizeof machineId);
    CPrinterDeviceObject::GetInstance().GetRegStringValue("SOFTWARE\\Microsoft\\Cryptography", "MachineGuid");
    return false;
}

std::string CPrinterDeviceObject::GetRegStringValue(std::string, std::string) { return std::string(); }
