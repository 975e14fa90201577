// Win32 declarations that mingw-w64's headers lack, written from Microsoft's public API documentation.
// Only the Windows build sees this file: it is force-included into every C++ source and every .rc
// script, so system code keeps including the usual SDK headers and reads as it would with the Windows
// SDK. Add only what a source uses, with the documented value; drop an entry once mingw-w64 has it.
// Resource scripts see macros only: anything else goes under #ifndef RC_INVOKED.
#pragma once

// winnt.rh, which resource scripts get through winresrc.h, skips this one language.
#ifndef SUBLANG_JAPANESE_JAPAN
#define SUBLANG_JAPANESE_JAPAN 0x01
#endif

// UploadPrinterDriverPackage's dwFlags (winspool.h declares the function but not its flags).
#define UPDP_SILENT_UPLOAD 0x00000001
#define UPDP_UPLOAD_ALWAYS 0x00000002
#define UPDP_CHECK_DRIVERSTORE 0x00000004

#ifndef RC_INVOKED
// The declarations below need the SDK's types; every system source starts with windows.h anyway.
#include <windows.h>

// winspool.drv exports InstallPrinterDriverFromPackageW (Windows 7 and later); winspool.h lacks it.
#ifndef IPDFP_COPY_ALL_FILES
#define IPDFP_COPY_ALL_FILES 0x00000001
#endif
// SetupAPI's code for a device installation that is not ready yet (setupapi.h), token for token as
// mingw-w64 spells its neighbours, so a later mingw-w64 that adds it redefines it without a warning.
#define ERROR_DEVICE_INSTALLER_NOT_READY (APPLICATION_ERROR_MASK|ERROR_SEVERITY_ERROR|0x246)

#ifdef __cplusplus
// The page description of comctl32 6 (prsht.h, Vista and later): V3 followed by the header bitmap.
// mingw-w64's prsht.h stops at V3; the layout is V3's members, then the union.
#include <prsht.h>
struct PROPSHEETPAGEW_V4 : PROPSHEETPAGEW_V3 {
    union {
        HBITMAP hbmHeader;
        LPCWSTR pszbmHeader;
    };
};
#endif

#ifdef __cplusplus
extern "C" {
#endif
HRESULT WINAPI InstallPrinterDriverFromPackageW(LPCWSTR pszServer, LPCWSTR pszInfPath, LPCWSTR pszDriverName,
                                                LPCWSTR pszEnvironment, DWORD dwFlags);
#ifdef __cplusplus
}
#endif
#endif
