// Common property sheet UI: the types the printer-driver UI core hands its plug-ins. Only named here;
// their members come with the property sheets.
#pragma once
#include "windef.h"

typedef struct _PROPSHEETUI_INFO PROPSHEETUI_INFO, *PPROPSHEETUI_INFO;
