// The spooler port a plugged USBPRINT device is bound to, and whether the spooler lists a port.
#include <windows.h>
#include <setupapi.h>
#include <winspool.h>

#include <cwchar>

#include "Logger.h"
#include "PrinterDeviceObject.h"
#include "SpoolerList.h"

BOOL CPrinterDeviceObject::GetPrinterDeviceBindPort(const wchar_t* modelSegment, wchar_t port[64]) {
    BOOL found = FALSE;
    DWORD skipError = 0;
    HDEVINFO set = SetupDiGetClassDevsW(nullptr, L"USBPRINT", nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE) return FALSE;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    for (DWORD index = 0; !found && SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        WCHAR id[512] = {0};
        DWORD required = 0;
        if (!SetupDiGetDeviceInstanceIdW(set, &device, id, 512, &required)) continue;
        LOG_TRACE(L"GetPrinterDeviceBindPort:{}", id);
        // USBPRINT\<model segment>\<...&port>
        wchar_t* first = std::wcschr(id, L'\\');
        wchar_t* second = first ? std::wcschr(first + 1, L'\\') : nullptr;
        if (!second) continue;
        std::wstring segment(first + 1, second);
        if (lstrcmpW(modelSegment, segment.c_str()) != 0) continue;
        wchar_t* amp = std::wcsrchr(id, L'&');
        if (!amp) continue;
        const wchar_t* start = amp + 1;
        while (*start == L' ') ++start;
        const wchar_t* end = start + std::wcslen(start);
        while (end > start && end[-1] == L' ') --end;
        size_t length = static_cast<size_t>(end - start);
        if (length == 0) continue;  // blanks only
        // A port name or an instance id too long for its buffer: the device is passed over, as the
        // runtime would end the program on the copy.
        if (length >= 64 || std::wcslen(id) >= 260) {
            skipError = ERROR_INSUFFICIENT_BUFFER;
            continue;
        }
        std::wstring trimmed(start, length);
        wcscpy_s(port, 64, trimmed.c_str());
        wcscpy_s(printInstanceId, 260, id);
        found = TRUE;
    }
    SetupDiDestroyDeviceInfoList(set);
    // The end of the enumeration must not hide why a matching device was passed over.
    if (!found && skipError) SetLastError(skipError);
    return found;
}

BOOL CPrinterDeviceObject::FindPortFromName(const wchar_t* portName) {
    SpoolerList<PORT_INFO_2W> ports([](LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
        return EnumPortsW(nullptr, 2, buffer, size, needed, returned);
    });
    for (const PORT_INFO_2W& port : ports) {
        LOG_TRACE(L"pPortName={0}, pMonitorName={1}", port.pPortName, port.pMonitorName);
        if (lstrcmpW(portName, port.pPortName) == 0) return TRUE;
    }
    return FALSE;
}
