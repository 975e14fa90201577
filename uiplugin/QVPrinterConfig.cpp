#include "QVPrinterConfig.h"

BOOL QVPrinterConfig::GetValue(LPCWSTR section, LPCWSTR key, LPCWSTR defaultValue, LPWSTR buffer,
                               DWORD bufferChars) {
    return GetPrivateProfileStringW(section, key, defaultValue, buffer, bufferChars, kFileName) > 0 ? TRUE : FALSE;
}

BOOL QVPrinterConfig::SetValue(LPCWSTR section, LPCWSTR key, LPCWSTR value) {
    return WritePrivateProfileStringW(section, key, value, kFileName);
}
