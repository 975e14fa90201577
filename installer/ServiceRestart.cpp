// Restart of the Spooler service.
#include "PrinterDeviceObject.h"

// Not built yet: the service stop and start. Until then the Spooler is left as it is.
void CPrinterDeviceObject::DoStopSvc() {}
void CPrinterDeviceObject::DoStartSvc() {}
