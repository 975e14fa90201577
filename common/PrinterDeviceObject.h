// The one object per program through which Corvane and Prunavel reach devices, drivers, printers,
// forms, the registry and services. It keeps the error behind the latest failure and two instance ids.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

class CPrinterDeviceObject {
public:
    static CPrinterDeviceObject& GetInstance();
    ~CPrinterDeviceObject();

    // Machine identity
    std::string GetRegStringValue(std::string subKey, std::string valueName);

    // Custom forms
    int RemoveForms();

    // Printer and driver removal
    int RemovePrinter();
    int RemoveDriver();
    int RemoveDriverFromDriverName();

    // Spooler service restart
    void DoStopSvc();
    void DoStartSvc();

    // Zero until first written; never cleared by a later success.
    int32_t lastError;
    WCHAR usbInstanceId[261];
    WCHAR printInstanceId[260];
};
