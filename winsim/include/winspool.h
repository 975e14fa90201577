// Print spooler subset of the simulated platform.
#pragma once
#include "windef.h"
#include "winerror.h"

#define UPDP_SILENT_UPLOAD 0x00000001
#define UPDP_UPLOAD_ALWAYS 0x00000002
#define UPDP_CHECK_DRIVERSTORE 0x00000004

#ifdef __cplusplus
extern "C" {
#endif

HRESULT WINAPI UploadPrinterDriverPackageW(LPCWSTR pszServer, LPCWSTR pszInfPath, LPCWSTR pszEnvironment,
                                           DWORD dwFlags, HWND hwnd, LPWSTR pszDestInfPath, PULONG pcchDestInfPath);

#ifdef __cplusplus
}
#endif
