// Window classes: the system's own (dialog and controls) and those a program registers.
#include <cwctype>
#include <map>
#include <mutex>

#include "window.h"

namespace winsim {
namespace user32 {
namespace {

// The controls of the simulated platform, each defined beside its window procedure.
const SystemClass* const kSystemClasses[] = {
    &kDialogClass,
    &kButtonClass,
    &kStaticClass,
    &kListViewClass,
    &kEditClass,
    &kComboBoxClass,
    &kUpDownClass,
};

std::wstring Folded(const std::wstring& name) {
    std::wstring folded = name;
    for (wchar_t& c : folded) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return folded;
}

struct Registry {
    std::mutex mutex;
    std::map<std::wstring, std::shared_ptr<const WindowClass>> byName;  // folded names
    ATOM nextAtom = 0xC000;
};

Registry& Classes() {
    static Registry* registry = [] {
        auto* r = new Registry;
        for (const SystemClass* s : kSystemClasses) {
            auto c = std::make_shared<WindowClass>();
            c->name = s->name;
            c->atom = s->atom;
            c->proc = s->proc;
            c->windowExtra = s->windowExtra;
            c->system = true;
            r->byName[Folded(c->name)] = c;
        }
        return r;
    }();
    return *registry;
}

}  // namespace

std::shared_ptr<const WindowClass> FindClass(LPCWSTR nameOrAtom) {
    if (!nameOrAtom) return nullptr;
    Registry& r = Classes();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (IS_INTRESOURCE(nameOrAtom)) {
        ATOM atom = static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(nameOrAtom));
        for (const auto& entry : r.byName) {
            if (entry.second->atom == atom) return entry.second;
        }
        return nullptr;
    }
    auto it = r.byName.find(Folded(nameOrAtom));
    return it == r.byName.end() ? nullptr : it->second;
}

}  // namespace user32
}  // namespace winsim

using winsim::user32::WindowClass;

// Simplified: one class name space per process (no per-module classes); class styles, icons, cursors,
// brushes and menus are not kept; cbClsExtra is not supported.
extern "C" ATOM WINAPI RegisterClassW(const WNDCLASSW* lpWndClass) {
    if (!lpWndClass || !lpWndClass->lpfnWndProc || !lpWndClass->lpszClassName ||
        IS_INTRESOURCE(lpWndClass->lpszClassName) || !*lpWndClass->lpszClassName || lpWndClass->cbWndExtra < 0 ||
        lpWndClass->cbClsExtra != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto& r = winsim::user32::Classes();
    std::lock_guard<std::mutex> lock(r.mutex);
    std::wstring key = winsim::user32::Folded(lpWndClass->lpszClassName);
    if (r.byName.count(key)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    auto c = std::make_shared<WindowClass>();
    c->name = lpWndClass->lpszClassName;
    c->atom = r.nextAtom++;
    c->proc = lpWndClass->lpfnWndProc;
    c->windowExtra = lpWndClass->cbWndExtra;
    c->instance = lpWndClass->hInstance;
    r.byName[key] = c;
    return c->atom;
}

// Simplified: windows of the class that still exist keep it (Windows refuses with ERROR_CLASS_HAS_WINDOWS).
extern "C" BOOL WINAPI UnregisterClassW(LPCWSTR lpClassName, HINSTANCE) {
    auto c = winsim::user32::FindClass(lpClassName);
    auto& r = winsim::user32::Classes();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (!c || c->system) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    r.byName.erase(winsim::user32::Folded(c->name));
    return TRUE;
}

extern "C" int WINAPI GetClassNameW(HWND hWnd, LPWSTR lpClassName, int nMaxCount) {
    auto w = winsim::user32::Find(hWnd);
    if (!w) return 0;
    if (!lpClassName || nMaxCount <= 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    const std::wstring& name = w->cls->name;
    int n = static_cast<int>(name.size()) < nMaxCount ? static_cast<int>(name.size()) : nMaxCount - 1;
    name.copy(lpClassName, static_cast<size_t>(n));
    lpClassName[n] = 0;
    return n;
}
