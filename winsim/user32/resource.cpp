#include <dlfcn.h>

#include <windows.h>
#include <winsim_resources.h>

#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "../core/locale.h"
#include "resource.h"

namespace winsim {
namespace {

// Pointers into the modules' own data, which lives as long as they are loaded.
struct ModuleResources {
    std::vector<const WinsimStringResource*> strings;
    std::vector<const WinsimResource*> resources;
};

std::mutex gMutex;
std::map<const void*, ModuleResources>& Modules() {
    static auto* modules = new std::map<const void*, ModuleResources>;
    return *modules;
}

const void* BaseOfModule(HINSTANCE module) {
    return module ? ModuleBaseOf(module) : ModuleBaseOf(GetModuleHandleW(nullptr));
}

// The loader's fallback: the language itself, the same primary language, the neutral table, US English,
// then whatever the module has.
int LanguageRank(LANGID have, LANGID wanted) {
    if (have == wanted) return 0;
    if (PRIMARYLANGID(have) == PRIMARYLANGID(wanted)) return 1;
    if (PRIMARYLANGID(have) == LANG_NEUTRAL) return 2;
    if (have == MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)) return 3;
    return 4;
}

}  // namespace

const void* ModuleBaseOf(const void* address) {
    Dl_info info;
    if (!address || !::dladdr(address, &info)) return nullptr;
    return info.dli_fbase;
}

LANGID UiLanguage() { return ThreadUiLanguage(); }

// Strings are stored in blocks of 16 ids, one block per language: the loader picks the block's language
// first, so an id that block lacks has no text even where another language has it.
const wchar_t* FindString(HINSTANCE module, UINT id, LANGID language) {
    const void* base = BaseOfModule(module);
    std::lock_guard<std::mutex> lock(gMutex);
    auto it = Modules().find(base);
    if (it == Modules().end()) return nullptr;
    const WinsimStringResource* block = nullptr;
    int bestRank = 99;
    for (const WinsimStringResource* s : it->second.strings) {
        if (s->id / 16 != id / 16) continue;
        int rank = LanguageRank(s->language, language);
        if (rank < bestRank) {
            bestRank = rank;
            block = s;
        }
    }
    if (!block) return nullptr;
    for (const WinsimStringResource* s : it->second.strings) {
        if (s->id == id && s->language == block->language) return s->text;
    }
    return nullptr;
}

const WinsimResource* FindResource(HINSTANCE module, unsigned type, unsigned id, LANGID language, bool* typeKnown) {
    const void* base = BaseOfModule(module);
    *typeKnown = false;
    std::lock_guard<std::mutex> lock(gMutex);
    auto it = Modules().find(base);
    if (it == Modules().end()) return nullptr;
    const WinsimResource* best = nullptr;
    int bestRank = 99;
    for (const WinsimResource* r : it->second.resources) {
        if (r->type != type) continue;
        *typeKnown = true;
        if (r->id != id) continue;
        int rank = LanguageRank(r->language, language);
        if (rank < bestRank) {
            bestRank = rank;
            best = r;
        }
    }
    return best;
}

}  // namespace winsim

extern "C" int WinsimRegisterStrings(const void* anchor, const WinsimStringResource* items, unsigned long count) {
    const void* base = winsim::ModuleBaseOf(anchor);
    std::lock_guard<std::mutex> lock(winsim::gMutex);
    auto& strings = winsim::Modules()[base].strings;
    for (unsigned long i = 0; i < count; ++i) strings.push_back(&items[i]);
    return 1;
}

extern "C" int WinsimRegisterResources(const void* anchor, const WinsimResource* items, unsigned long count) {
    const void* base = winsim::ModuleBaseOf(anchor);
    std::lock_guard<std::mutex> lock(winsim::gMutex);
    auto& resources = winsim::Modules()[base].resources;
    for (unsigned long i = 0; i < count; ++i) resources.push_back(&items[i]);
    return 1;
}

extern "C" void WinsimUnregisterModule(const void* anchor) {
    const void* base = winsim::ModuleBaseOf(anchor);
    std::lock_guard<std::mutex> lock(winsim::gMutex);
    winsim::Modules().erase(base);
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
