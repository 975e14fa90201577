#include <dlfcn.h>

#include <windows.h>
#include <winsim_resources.h>

#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "../core/machine.h"
#include "resource.h"

namespace winsim {
namespace {

struct ModuleResources {
    std::vector<WinsimStringResource> strings;
};

std::mutex gMutex;
std::map<const void*, ModuleResources>& Modules() {
    static auto* modules = new std::map<const void*, ModuleResources>;
    return *modules;
}

}  // namespace

const void* ModuleBaseOf(const void* address) {
    Dl_info info;
    if (!address || !::dladdr(address, &info)) return nullptr;
    return info.dli_fbase;
}

LANGID UiLanguage() {
    Json snap = Machine::Instance().Snapshot();
    if (!snap.has_field("system")) return 1033;
    return static_cast<LANGID>(IntAt(snap.at("system"), "uiLanguage", 1033));
}

// The resource language used for a request, as the loader falls back: the UI language itself, the same
// primary language, the neutral table, US English, then whatever the module has.
const wchar_t* FindString(HINSTANCE module, UINT id, LANGID language) {
    const void* base = module ? ModuleBaseOf(module) : ModuleBaseOf(GetModuleHandleW(nullptr));
    std::lock_guard<std::mutex> lock(gMutex);
    auto it = Modules().find(base);
    if (it == Modules().end()) return nullptr;
    const WinsimStringResource* best = nullptr;
    int bestRank = 99;
    for (const WinsimStringResource& s : it->second.strings) {
        if (s.id != id) continue;
        int rank;
        if (s.language == language) rank = 0;
        else if (PRIMARYLANGID(s.language) == PRIMARYLANGID(language)) rank = 1;
        else if (PRIMARYLANGID(s.language) == LANG_NEUTRAL) rank = 2;
        else if (s.language == MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)) rank = 3;
        else rank = 4;
        if (rank < bestRank) {
            bestRank = rank;
            best = &s;
        }
    }
    return best ? best->text : nullptr;
}

}  // namespace winsim

extern "C" int WinsimRegisterStrings(const void* anchor, const WinsimStringResource* items, unsigned long count) {
    const void* base = winsim::ModuleBaseOf(anchor);
    std::lock_guard<std::mutex> lock(winsim::gMutex);
    auto& strings = winsim::Modules()[base].strings;
    strings.insert(strings.end(), items, items + count);
    return 1;
}

// Simplified: a module's resources are known only once its compiled resource data has registered itself.
extern "C" int WINAPI LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax) {
    if (!lpBuffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const wchar_t* text = winsim::FindString(hInstance, uID, winsim::UiLanguage());
    if (!text) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        if (cchBufferMax > 0) lpBuffer[0] = 0;
        return 0;
    }
    int len = static_cast<int>(std::wcslen(text));
    if (cchBufferMax == 0) {  // a read-only pointer to the resource itself
        *reinterpret_cast<const wchar_t**>(lpBuffer) = text;
        return len;
    }
    int n = len < cchBufferMax ? len : cchBufferMax - 1;
    std::wmemcpy(lpBuffer, text, static_cast<size_t>(n));
    lpBuffer[n] = 0;
    return n;
}
