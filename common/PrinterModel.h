// The printer models the package supports, and every name under which one model is known.
// Built into all three deliverables; constant data, scanned in row order, first match wins.
#pragma once
#include <windows.h>

struct PrinterModelInfo {
    const wchar_t* usbVid;
    const wchar_t* usbPid;
    const wchar_t* ieee1284Model;     // after "MODEL:" or "MDL:" in the printer's IEEE 1284 id
    const wchar_t* printerName;
    const wchar_t* driverName;        // the same text as printerName
    const wchar_t* insPathModelName;  // model segment of the USBPRINT instance id
    const wchar_t* hardwareId;        // USBPRINT hardware id named by the driver INF
    int32_t modelId;
};

constexpr int kPrinterModelCount = 2;

inline constexpr PrinterModelInfo gPrinterModelTable[kPrinterModelCount] = {
    {L"0483", L"5741", L"Brisora40", L"Brisora-40", L"Brisora-40", L"BRISORA40", L"USBPRINT\\Brisora40C3F1", 46},
    {L"0483", L"5741", L"Brisora40P", L"Brisora-40P", L"Brisora-40P", L"BRISORA40P", L"USBPRINT\\Brisora40P7A2E", 47},
};
