// The USB printing class driver's interface class and requests.
#pragma once
#include "guiddef.h"
#include "winioctl.h"

DEFINE_GUID(GUID_DEVINTERFACE_USBPRINT, 0x28d78fad, 0x5a12, 0x11d1, 0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2);

#define USBPRINT_IOCTL_INDEX 0x0000
#define IOCTL_USBPRINT_GET_1284_ID \
    CTL_CODE(FILE_DEVICE_UNKNOWN, USBPRINT_IOCTL_INDEX + 13, METHOD_BUFFERED, FILE_ANY_ACCESS)
