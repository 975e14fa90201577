// USB printer discovery: find the plugged printers of our models by their USB ids, identify each by its
// IEEE 1284 id, and install it, first through Prunavel, else by the installer itself.
#include <windows.h>
#include <setupapi.h>
#include <usbprint.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "Installer.h"
#include "Logger.h"
#include "PrinterDeviceObject.h"
#include "PrinterModel.h"

namespace {

// True when a row's USB vendor and product ids both occur in the hardware id.
bool IsOurUsbDevice(const wchar_t* hardwareId) {
    for (const PrinterModelInfo& row : gPrinterModelTable) {
        if (std::wcsstr(hardwareId, row.usbVid) && std::wcsstr(hardwareId, row.usbPid)) return true;
    }
    return false;
}

}  // namespace

const PrinterModelInfo* CPrinterDeviceObject::Get1284IdMapping(std::wstring ieee1284Id) {
    size_t key = ieee1284Id.find(L"MODEL:");
    size_t keyLength = 6;
    if (key == std::wstring::npos) {
        key = ieee1284Id.find(L"MDL:");
        keyLength = 4;
    }
    if (key == std::wstring::npos) return nullptr;
    size_t end = ieee1284Id.find(L';', key);
    if (end == std::wstring::npos) return nullptr;
    std::wstring model = ieee1284Id.substr(key + keyLength, end - key - keyLength);
    for (const PrinterModelInfo& row : gPrinterModelTable) {
        if (lstrcmpW(model.c_str(), row.ieee1284Model) == 0) return &row;
    }
    return nullptr;
}

int PrinterDrvInstall() {
    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVINTERFACE_USBPRINT, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return INSTALL_ERR_GENERAL;
    CPrinterDeviceObject& device = CPrinterDeviceObject::GetInstance();
    bool found = false;
    int result = INSTALL_OK;
    SP_DEVICE_INTERFACE_DATA iface = {};
    iface.cbSize = sizeof iface;
    for (DWORD index = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_USBPRINT, index, &iface); ++index) {
        LOG_TRACE(L"PrinterDrvInstall:devcount={0:d}", index + 1);

        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailW(set, &iface, nullptr, 0, &size, nullptr);
        // Never smaller than the block's header, which is written before the call can fail.
        DWORD allocated = size > sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) ? size : sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        auto* detail = static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(GlobalAlloc(GPTR, allocated));
        if (!detail) {
            result = INSTALL_ERR_NO_MEMORY;
            break;
        }
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        SP_DEVINFO_DATA devInfo = {};
        devInfo.cbSize = sizeof devInfo;
        if (!SetupDiGetDeviceInterfaceDetailW(set, &iface, detail, size, nullptr, &devInfo)) {
            GlobalFree(detail);
            result = INSTALL_ERR_INTERFACE_DETAIL;
            break;
        }
        // A path too long for the buffer is a device that cannot be opened.
        WCHAR devicePath[1024];
        devicePath[0] = 0;
        bool pathFits = std::wcslen(detail->DevicePath) < 1024;
        if (pathFits) wcscpy_s(devicePath, 1024, detail->DevicePath);
        GlobalFree(detail);

        // 128 characters: the first hardware id is all that is used.
        WCHAR hardwareId[128];
        hardwareId[0] = 0;
        DWORD type = 0;
        if (!SetupDiGetDeviceRegistryPropertyW(set, &devInfo, SPDRP_HARDWAREID, &type, reinterpret_cast<PBYTE>(hardwareId),
                                               sizeof hardwareId, nullptr)) {
            result = INSTALL_ERR_HARDWARE_ID;
            break;
        }
        hardwareId[127] = 0;
        if (!IsOurUsbDevice(hardwareId)) {
            LOG_TRACE(L"PrinterDrvInstall:hardwareId={0}", hardwareId);
            continue;
        }

        if (!pathFits) continue;
        HANDLE handle = CreateFileW(devicePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
        if (handle == INVALID_HANDLE_VALUE) continue;
        char reply[512];
        std::memset(reply, 0, sizeof reply);
        DWORD returned = 0;
        if (!DeviceIoControl(handle, IOCTL_USBPRINT_GET_1284_ID, nullptr, 0, reply, sizeof reply, &returned, nullptr)) {
            LOG_ERR(L"PrinterDrvInstall:Failed to get 1284 ID");
            CloseHandle(handle);
            result = INSTALL_ERR_1284_ID;
            break;
        }
        if (!CloseHandle(handle)) {
            result = INSTALL_ERR_CLOSE_DEVICE;
            break;
        }

        // The reply starts with two length bytes; the id text follows, at most 510 bytes and not
        // necessarily terminated. The conversion's count is in characters; under the C locale the
        // discovery runs in, one byte is one character, so 510 keeps it inside the reply.
        WCHAR converted[512];
        std::memset(converted, 0, sizeof converted);
        size_t convertedCount = 0;
        mbstowcs_s(&convertedCount, converted, 512, reply + 2, sizeof reply - 2);
        std::wstring ieee1284Id(converted);

        const PrinterModelInfo* row = device.Get1284IdMapping(ieee1284Id);
        if (!row) {
            // An unknown device must not hide the result of an earlier printer's install.
            LOG_ERR(L"PrinterDrvInstall:Get1284IdMapping is NULL(1284ID={0})", ieee1284Id);
            continue;
        }
        std::memset(gszDriverName, 0, sizeof gszDriverName);
        wcscpy_s(gszDriverName, kPathChars, row->driverName);
        found = true;
        result = InstallFromPrunavel(row->modelId, row->printerName);
        LOG_TRACE(L"InstallFromPrunavel:iRet={0:d}", result);
        if (result != INSTALL_OK) result = device.InstallDrv(row->insPathModelName, row->printerName, row->driverName);
    }
    SetupDiDestroyDeviceInfoList(set);
    return found ? result : INSTALL_ERR_NO_PRINTER;
}
