// Install error box.
#include "Installer.h"

// Not built yet: the box with the system's message text and the hints. Until then nothing is shown.
void ShowInstallError(int) {}
