// The plug-in's configuration file, an initialization file of sections and keys. Nothing reads or writes
// it in this build.
#pragma once
#include <windows.h>

class QVPrinterConfig {
public:
    static constexpr const wchar_t* kFileName = L"C:\\QVPrinter\\QVPrinter.cfg";

    QVPrinterConfig() = default;
    virtual ~QVPrinterConfig() = default;
    QVPrinterConfig(const QVPrinterConfig&) = delete;
    QVPrinterConfig& operator=(const QVPrinterConfig&) = delete;

    // The key's value, or the default when the file, section or key is missing; TRUE when at least one
    // character was copied.
    BOOL GetValue(LPCWSTR section, LPCWSTR key, LPCWSTR defaultValue, LPWSTR buffer, DWORD bufferChars);
    BOOL SetValue(LPCWSTR section, LPCWSTR key, LPCWSTR value);
};
