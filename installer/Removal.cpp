// Removal of the models' printers and drivers.
#include "Installer.h"
#include "PrinterDeviceObject.h"

// Not built yet: the printer and driver removal. Until then nothing is removed and each answers
// success, as it would on a machine without printers or drivers of the models.
int CPrinterDeviceObject::RemovePrinter() { return INSTALL_OK; }
int CPrinterDeviceObject::RemoveDriver() { return INSTALL_OK; }
int CPrinterDeviceObject::RemoveDriverFromDriverName() { return INSTALL_OK; }
