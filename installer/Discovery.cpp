// USB printer discovery and model match.
#include "Installer.h"

// Not built yet: the walk over USB printer interfaces. Until then no printer is ever found, which is
// what the dispatcher answers with its "plug the printer" prompt.
int PrinterDrvInstall() {
    gszDriverName[0] = 0;
    return INSTALL_ERR_NO_PRINTER;
}
