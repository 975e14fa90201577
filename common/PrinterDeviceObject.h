// The one object per program through which Corvane and Prunavel reach devices, drivers, printers,
// forms, the registry and services. It keeps the error behind the latest failure and two instance ids.
#pragma once
#include <windows.h>
#include <winsvc.h>

#include <cstdint>
#include <string>

#include "PrinterModel.h"

class CPrinterDeviceObject {
public:
    static CPrinterDeviceObject& GetInstance();
    ~CPrinterDeviceObject();

    // USB port binding: the port (at most 63 characters) of the present USBPRINT device with the model
    // segment; keeps the device's instance id. FALSE leaves port and printInstanceId unchanged.
    BOOL GetPrinterDeviceBindPort(const wchar_t* modelSegment, wchar_t port[64]);
    // TRUE when the local spooler lists a port of exactly that name.
    BOOL FindPortFromName(const wchar_t* portName);

    // The model row an IEEE 1284 id names by its MODEL: (else MDL:) field, or null.
    const PrinterModelInfo* Get1284IdMapping(std::wstring ieee1284Id);

    // Fallback install: the driver from the driver store and the printer on the device's port.
    int InstallDrv(const wchar_t* insPathModelName, const wchar_t* printerName, const wchar_t* driverName);
    BOOL GetUsbDeviceInstanceId(const wchar_t* driverName);
    BOOL AddPrinterDriverToDriveStore(const wchar_t* driverName);
    BOOL AddPrinterToControlPanel(const wchar_t* printerName, const wchar_t* portName, const wchar_t* driverName);
    // Restarts the device through pnputil; TRUE when the command was started.
    BOOL PNPCtrl(const wchar_t* instanceId);

    // Machine identity
    std::string GetRegStringValue(std::string subKey, std::string valueName);

    // Custom forms
    BOOL InitForms(const wchar_t* printerName);
    int RemoveForms();

    // Printer and driver removal
    int RemovePrinter();
    int RemoveDriver();
    int RemoveDriverFromDriverName();
    // The printer, its plug-in settings value first: 0, -1005 not openable, -1006 not deletable.
    int DeletePrt(const wchar_t* printerName);
    // The driver of that environment (null: the machine's own): 0, or -1007.
    int DeleteDrv(const wchar_t* driverName, const wchar_t* environment = nullptr);

    // Spooler service restart
    void DoStopSvc();
    void DoStartSvc();
    // Stops the service's active dependents within one 30 s budget; FALSE at the first that fails.
    BOOL DoStopDependentSvc(SC_HANDLE manager, SC_HANDLE service);

    // Zero until first written; never cleared by a later success.
    int32_t lastError;
    WCHAR usbInstanceId[261];
    WCHAR printInstanceId[260];
};
