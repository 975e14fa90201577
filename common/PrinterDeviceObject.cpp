#include "PrinterDeviceObject.h"

// The object lives in zero-filled static storage: that fill is its whole initial state.
CPrinterDeviceObject& CPrinterDeviceObject::GetInstance() {
    static CPrinterDeviceObject instance;
    return instance;
}

CPrinterDeviceObject::~CPrinterDeviceObject() {}
