// The plug-and-play driver installer.
#pragma once
#include "windef.h"

#define INSTALLFLAG_FORCE 0x00000001
#define INSTALLFLAG_READONLY 0x00000002
#define INSTALLFLAG_NONINTERACTIVE 0x00000004

#ifdef __cplusplus
extern "C" {
#endif

BOOL WINAPI UpdateDriverForPlugAndPlayDevicesW(HWND hwndParent, LPCWSTR HardwareId, LPCWSTR FullInfPath,
                                               DWORD InstallFlags, PBOOL bRebootRequired);

#ifdef __cplusplus
}
#endif
