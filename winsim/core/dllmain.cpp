// The start-up code of a DLL: what the Windows loader does for a DLL's entry point, done by the host's
// loader through the library's constructors and destructors. Linked into every plug-in, so a plug-in's
// own DllMain learns its module handle (its load address) when it is loaded and hears when it goes.
// Simplified: no DLL_THREAD_ATTACH or DLL_THREAD_DETACH notifications; a FALSE from attach does not
// make the load fail.
#include <dlfcn.h>

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID lpvReserved);

namespace {

HINSTANCE ThisModule() {
    Dl_info info;
    if (!::dladdr(reinterpret_cast<const void*>(&ThisModule), &info)) return nullptr;
    return static_cast<HINSTANCE>(info.dli_fbase);
}

__attribute__((constructor)) void ProcessAttach() { DllMain(ThisModule(), DLL_PROCESS_ATTACH, nullptr); }
__attribute__((destructor)) void ProcessDetach() { DllMain(ThisModule(), DLL_PROCESS_DETACH, nullptr); }

}  // namespace
