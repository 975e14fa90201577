// The box that tells the user why an install failed: the result, the error, the system's text for it
// and, for a few errors, a hint.
#include <windows.h>
#include <strsafe.h>

#include <cstring>
#include <string>

#include "Installer.h"
#include "resource.h"

namespace {

// The system's text for an error, or empty; the caller decides what to do with its line break.
std::wstring SystemText(DWORD error) {
    LPWSTR buffer = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                             reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    std::wstring text;
    if (n > 0 && buffer) text.assign(buffer, n);
    if (buffer) LocalFree(buffer);
    return text;
}

void AppendHint(std::wstring& message, UINT id) {
    WCHAR hint[256] = {0};
    LoadStringW(ghInstance, id, hint, 256);
    message += L"\n";
    message += hint;
}

}  // namespace

void ShowInstallError(int code) {
    const DWORD err = gdwLastError;
    if (code != INSTALL_ERR_DRIVER_STORE && code != INSTALL_ERR_ADD_PRINTER) return;

    WCHAR first[64] = {0};
    StringCchPrintfW(first, 64, L"errCode:%d,Erro:0x%08x\n", code, err);
    std::wstring message = first;
    WCHAR caption[128] = {0};
    LoadStringW(ghInstance, IDS_INFO_CAPTION, caption, 128);

    if (code == INSTALL_ERR_DRIVER_STORE) {
        std::wstring text = SystemText(err);
        // A text that was only a line break is still the system's text, not a missing one.
        const bool noSystemText = text.empty();
        if (text.size() > 1) {
            if (text.back() == L'\n') {
                text.pop_back();
                if (!text.empty() && text.back() == L'\r') text.pop_back();
            }
        }
        if (noSystemText) {
            // No system text: the form a COM error object would give, as a last resort.
            WCHAR fallback[32] = {0};
            DWORD w = (err - 0x200) & 0xFFFF;
            if (err >= 0x80040200 && err <= 0x8004FFFF && w != 0) {
                StringCchPrintfW(fallback, 32, L"IDispatch error #%d", static_cast<int>(w));
            } else {
                StringCchPrintfW(fallback, 32, L"Unknown error 0x%0lX", static_cast<unsigned long>(err));
            }
            text = fallback;
        }
        message += text;
        if (err == 0x800706D9 || err == 0x800705B3 || err == 0x800706BA) {
            AppendHint(message, IDS_HINT_SPOOLER);
        } else if (err == 0x800F0242 || err == 0x800F0243) {
            AppendHint(message, IDS_HINT_CERTIFICATE);
        }
    } else {
        if (err != 0) message += SystemText(err);
        if (err == ERROR_UNKNOWN_PORT) AppendHint(message, IDS_HINT_USB_PORT);
    }
    MessageBoxW(nullptr, message.c_str(), caption, MB_OKCANCEL | MB_SYSTEMMODAL);
}
