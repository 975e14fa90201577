// The installer's own road when Prunavel fails: driver store install and printer on the device's port.
#include "Installer.h"
#include "PrinterDeviceObject.h"

// Not built yet: the driver-store install. Until then it fails as a driver-store failure whose cause
// is "not implemented" (E_NOTIMPL).
int CPrinterDeviceObject::InstallDrv(const wchar_t*, const wchar_t*, const wchar_t*) {
    lastError = static_cast<int32_t>(E_NOTIMPL);
    return INSTALL_ERR_DRIVER_STORE;
}
