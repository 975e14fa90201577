// What the plug-in object shares with its controller: one per object, living as long as it. An open sheet
// works on a copy made when it opened, so that it shows and stores one record whatever later MERGEs find.
#pragma once
#include <windows.h>
#include <prcomoem.h>

struct QVOemDevMode;
struct QVPrinterSettings;

struct SheetContext {
    HANDLE hPrinter;
    QVOemDevMode* pOemDevMode;
    IPrintCoreHelper* pCoreHelper;  // one reference held by the object; a sheet's copy borrows it
    QVPrinterSettings* pSettings;   // the object's record buffer, or the open sheet's record
    // pSettings holds the printer's record as read, or the defaults made because it had none. False
    // before the first MERGE and after one that could not read the record: the defaults it then holds
    // must not replace what is stored.
    // For the object's buffer this is also what the private part of its last MERGE holds.
    bool settingsRead;
    // In an open sheet's copy: the object's own context it was made from; null in the object's.
    SheetContext* object;
};
