// What the printer, the DEVMODE and the record are for one open sheet: each sheet gets a context of its own
// at its INIT (see QVSheet), so that its pages show and store its record whatever other sheets, MERGEs or
// closed sheets do. The plug-in object's own copy, which each sheet's starts from, holds only the core
// helper, the MERGE buffer and the object's records.
#pragma once
#include <windows.h>
#include <prcomoem.h>

class KnownRecords;
struct QVOemDevMode;
struct QVPrinterSettings;

struct SheetContext {
    HANDLE hPrinter;
    QVOemDevMode* pOemDevMode;
    IPrintCoreHelper* pCoreHelper;  // one reference held by the object; a sheet's context borrows it
    QVPrinterSettings* pSettings;   // the object's MERGE buffer, or the sheet's own record
    // A sheet's record is the printer's as read, or the defaults made because it had none. False for a
    // sheet opened before any MERGE or after one that could not read the record: the defaults it then
    // holds must not replace what is stored.
    bool settingsRead;
    // The public DEVMODE beside pOemDevMode: a store takes the paper size from it, as a MERGE does.
    DEVMODEW* pPublicDM;
    // The object's knowledge of the record, which every store brings up to date; null when a page
    // works without a plug-in object.
    KnownRecords* records;
};
