#include <dlfcn.h>
#include <link.h>
#include <limits.h>
#include <unistd.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "../core/machine.h"
#include "../core/text.h"

namespace {

std::string ExecutablePath() {
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return std::string();
    buf[n] = 0;
    return buf;
}

// Module handles are the load addresses of the host's ELF objects (a program's or a plug-in's).
std::string ModulePath(HMODULE module) {
    if (!module) return ExecutablePath();
    Dl_info info;
    if (!::dladdr(module, &info) || !info.dli_fname) return std::string();
    if (info.dli_fbase == GetModuleHandleW(nullptr)) return ExecutablePath();
    char real[PATH_MAX];
    if (::realpath(info.dli_fname, real)) return real;
    return info.dli_fname;
}

// Copies text into a caller's buffer the way the kernel32 path functions do when it is too short:
// cut, terminated, the buffer's size returned and ERROR_INSUFFICIENT_BUFFER.
DWORD CopyTruncating(const std::wstring& text, LPWSTR buffer, DWORD size) {
    if (size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (text.size() < size) {
        std::wmemcpy(buffer, text.c_str(), text.size() + 1);
        return static_cast<DWORD>(text.size());
    }
    std::wmemcpy(buffer, text.c_str(), size - 1);
    buffer[size - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}

}  // namespace

extern "C" HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName) {
    if (lpModuleName) {
        SetLastError(ERROR_MOD_NOT_FOUND);  // Simplified: only the program's own handle is known by name
        return nullptr;
    }
    // The first object the dynamic loader lists is the program itself.
    static HMODULE self = [] {
        const void* header = nullptr;
        ::dl_iterate_phdr(
            [](dl_phdr_info* info, size_t, void* data) {
                *static_cast<const void**>(data) = info->dlpi_phdr;
                return 1;
            },
            &header);
        Dl_info info;
        if (header && ::dladdr(header, &info)) return static_cast<HMODULE>(info.dli_fbase);
        return static_cast<HMODULE>(nullptr);
    }();
    return self;
}

extern "C" DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
    uint32_t fault;
    if (winsim::TakeFault("GetModuleFileNameW", &fault)) {
        SetLastError(fault);
        return 0;
    }
    std::string host = ModulePath(hModule);
    if (host.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    return CopyTruncating(winsim::Win32Path(host), lpFilename, nSize);
}

// Simplified: the temporary folder is the machine's ("system.tempPath", else a "temp" folder beside
// the machine file), never taken from TMP/TEMP.
extern "C" DWORD WINAPI GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer) {
    uint32_t fault;
    if (winsim::TakeFault("GetTempPathW", &fault)) {
        SetLastError(fault);
        return 0;
    }
    winsim::Machine& m = winsim::Machine::Instance();
    const auto view = m.Snapshot();
    const winsim::Json& snap = *view;
    std::wstring path;
    if (snap.has_field("system")) path = winsim::FromUtf8(winsim::StringAt(snap.at("system"), "tempPath", ""));
    if (path.empty()) path = winsim::Win32Path(m.Folder() + "/temp/");
    if (path.back() != L'\\') path += L'\\';
    if (path.size() + 1 > nBufferLength) return static_cast<DWORD>(path.size() + 1);
    std::wmemcpy(lpBuffer, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}
