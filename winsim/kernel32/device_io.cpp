#include <windows.h>
#include <usbprint.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "../core/devices.h"
#include "../core/handles.h"
#include "../core/text.h"

namespace {

class DeviceFile : public winsim::Object {
public:
    std::string devicePath;
};

}  // namespace

// Simplified: only device interface paths open; access, sharing, disposition and flags are not checked.
extern "C" HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
    uint32_t fault;
    if (winsim::TakeFault("CreateFileW", &fault)) {
        SetLastError(fault);
        return INVALID_HANDLE_VALUE;
    }
    if (!lpFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string path = winsim::ToUtf8(lpFileName);
    if (!winsim::devices::FindInterface(*winsim::Machine::Instance().Snapshot(), path, nullptr, nullptr)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    auto* file = new DeviceFile;
    file->devicePath = path;
    return winsim::NewHandle(file);
}

// The USB printing class driver answers IOCTL_USBPRINT_GET_1284_ID as printers do: two length bytes
// (big-endian, counting themselves) and the id text, cut to the caller's buffer.
extern "C" BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID, DWORD, LPVOID lpOutBuffer,
                                       DWORD nOutBufferSize, LPDWORD lpBytesReturned, LPOVERLAPPED) {
    auto* file = winsim::LookupAs<DeviceFile>(hDevice);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    uint32_t fault;
    if (winsim::TakeFault("DeviceIoControl", &fault)) {
        SetLastError(fault);
        return FALSE;
    }
    if (dwIoControlCode != IOCTL_USBPRINT_GET_1284_ID) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    winsim::Json device, iface;
    if (!winsim::devices::FindInterface(*winsim::Machine::Instance().Snapshot(), file->devicePath, &device, &iface)) {
        SetLastError(ERROR_DEVICE_NOT_CONNECTED);
        return FALSE;
    }
    std::string id = winsim::StringAt(iface, "ieee1284Id", "");
    size_t total = std::min<size_t>(id.size() + 2, 0xFFFF);
    std::string reply;
    reply += static_cast<char>((total >> 8) & 0xFF);
    reply += static_cast<char>(total & 0xFF);
    reply += id.substr(0, total - 2);
    if (!lpOutBuffer && nOutBufferSize) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD n = static_cast<DWORD>(std::min<size_t>(reply.size(), nOutBufferSize));
    if (n) std::memcpy(lpOutBuffer, reply.data(), n);
    if (lpBytesReturned) *lpBytesReturned = n;
    return TRUE;
}
