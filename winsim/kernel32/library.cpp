// Loading libraries at run time over the host's dynamic loader. A module handle is the library's load
// address, as everywhere in winsim (GetModuleFileNameW, LoadStringW), so a plug-in's own idea of its
// handle and its host's agree.
#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <windows.h>

#include <cctype>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "../core/machine.h"
#include "../core/text.h"

namespace {

struct LoadedLibrary {
    void* dl = nullptr;
    int loads = 0;
};

std::mutex gMutex;
std::map<const void*, LoadedLibrary>& Libraries() {
    static auto* libraries = new std::map<const void*, LoadedLibrary>;
    return *libraries;
}

bool IsFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string ProgramFolder() {
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    std::string path(buf, static_cast<size_t>(n));
    return path.substr(0, path.find_last_of('/'));
}

bool EndsWithDll(const std::string& path) {
    if (path.size() < 4) return false;
    std::string tail = path.substr(path.size() - 4);
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".dll";
}

// A ".dll" name also finds the host's ".so" of the same name, as a ".exe" finds the program; a name
// without an extension gets ".dll" appended first, as Windows does.
std::string FindFile(const std::string& path) {
    std::vector<std::string> candidates{path};
    size_t slash = path.find_last_of('/');
    bool hasExtension = path.find('.', slash == std::string::npos ? 0 : slash + 1) != std::string::npos;
    if (EndsWithDll(path)) candidates.push_back(path.substr(0, path.size() - 4) + ".so");
    if (!hasExtension) {
        candidates.push_back(path + ".dll");
        candidates.push_back(path + ".so");
    }
    for (const std::string& c : candidates) {
        if (IsFile(c)) return c;
    }
    return std::string();
}

const void* LoadAddress(void* dl) {
    link_map* map = nullptr;
    Dl_info info;
    if (::dlinfo(dl, RTLD_DI_LINKMAP, &map) != 0 || !map || !::dladdr(map->l_ld, &info)) return nullptr;
    return info.dli_fbase;
}

}  // namespace

// Simplified: a bare name is searched beside the program, then in the current folder (not in the
// system folders or PATH); the loader's own failure text is not kept, every refused file is
// ERROR_BAD_EXE_FORMAT; no DLL_THREAD_ATTACH notifications.
extern "C" HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName) {
    uint32_t fault;
    if (winsim::TakeFault("LoadLibraryW", &fault)) {
        SetLastError(fault);
        return nullptr;
    }
    if (!lpLibFileName || !*lpLibFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::wstring name = lpLibFileName;
    std::string file;
    if (name.find_first_of(L"\\/") != std::wstring::npos) {
        file = FindFile(winsim::HostPath(name));
    } else {
        file = FindFile(ProgramFolder() + "/" + winsim::ToUtf8(name));
        if (file.empty()) file = FindFile(winsim::ToUtf8(name));
    }
    if (file.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    if (file.find('/') == std::string::npos) file = "./" + file;  // dlopen would search its own path list
    void* dl = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!dl) {
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    const void* base = LoadAddress(dl);
    if (!base) {
        ::dlclose(dl);
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(gMutex);
    LoadedLibrary& loaded = Libraries()[base];
    loaded.dl = dl;  // the loader answers the same handle for every load of one file
    ++loaded.loads;
    return static_cast<HMODULE>(const_cast<void*>(base));
}

// Simplified: by name only (an ordinal finds nothing), and only in libraries loaded by LoadLibraryW.
// Like Windows, a name is looked up in that module alone, never in the libraries it depends on.
extern "C" FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    void* dl = nullptr;
    {
        std::lock_guard<std::mutex> lock(gMutex);
        auto it = Libraries().find(hModule);
        if (it != Libraries().end()) dl = it->second.dl;
    }
    if (!dl) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    if (!lpProcName || reinterpret_cast<uintptr_t>(lpProcName) <= 0xFFFF) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    void* symbol = ::dlsym(dl, lpProcName);
    Dl_info info;
    if (!symbol || !::dladdr(symbol, &info) || info.dli_fbase != static_cast<const void*>(hModule)) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

extern "C" BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
    void* dl = nullptr;
    {
        std::lock_guard<std::mutex> lock(gMutex);
        auto it = Libraries().find(hLibModule);
        if (it == Libraries().end()) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return FALSE;
        }
        dl = it->second.dl;
        if (--it->second.loads == 0) Libraries().erase(it);
    }
    ::dlclose(dl);
    return TRUE;
}
