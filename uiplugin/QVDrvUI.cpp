#include "QVDrvUI.h"

// Until the option items and pages exist the plug-in adds nothing, and E_NOTIMPL tells the core to
// keep its own items and pages alone.
HRESULT QVDrvUI::CommonUIProp(DWORD, POEMCUIPPARAM) { return E_NOTIMPL; }

HRESULT QVDrvUI::PropertySheets(PPROPSHEETUI_INFO, LPARAM, SheetContext*, SheetKind) { return E_NOTIMPL; }
