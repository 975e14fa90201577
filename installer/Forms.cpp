// Custom paper forms of the models.
#include "Installer.h"
#include "PrinterDeviceObject.h"

// Not built yet: removal of the models' forms. Until then no form is touched.
int CPrinterDeviceObject::RemoveForms() { return INSTALL_OK; }

// Not built yet: the seven custom forms. Until then none is added.
BOOL CPrinterDeviceObject::InitForms(const wchar_t*) { return FALSE; }
