// What the plug-in object shares with its controller and pages: one per object, living as long as it.
#pragma once
#include <windows.h>
#include <prcomoem.h>

struct QVOemDevMode;
struct QVPrinterSettings;

struct SheetContext {
    HANDLE hPrinter;
    QVOemDevMode* pOemDevMode;
    IPrintCoreHelper* pCoreHelper;  // one reference held
    QVPrinterSettings* pSettings;   // the object's record buffer
    // The last MERGE could not read the stored record: the buffer holds defaults, which must not
    // replace what is stored.
    bool settingsUnread;
};
