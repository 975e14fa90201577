// Printer driver UI interface types that the OEM UI plug-in interfaces name. Only named here.
#pragma once
#include "windef.h"

typedef struct _DEVQUERYPRINT_INFO DEVQUERYPRINT_INFO, *PDEVQUERYPRINT_INFO;
