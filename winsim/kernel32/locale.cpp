// The system's language and each thread's user-interface language and locale.
#include <windows.h>

#include "../core/locale.h"
#include "../core/machine.h"

namespace {
thread_local LANGID tUiLanguage = 0;  // 0: the machine's
thread_local LCID tLocale = 0;        // 0: the machine's language
}  // namespace

namespace winsim {

LANGID MachineUiLanguage() {
    const auto view = Machine::Instance().Snapshot();
    const Json& snap = *view;
    if (!snap.has_field("system")) return 1033;
    return static_cast<LANGID>(IntAt(snap.at("system"), "uiLanguage", 1033));
}

LANGID ThreadUiLanguage() { return tUiLanguage ? tUiLanguage : MachineUiLanguage(); }

}  // namespace winsim

// Simplified: the system's default language is the machine's user-interface language.
extern "C" LANGID WINAPI GetSystemDefaultLangID(void) { return winsim::MachineUiLanguage(); }

// Simplified: any language is accepted; 0 goes back to the machine's language. The resource loader
// (LoadStringW, FindResourceW, dialogs) follows it.
extern "C" LANGID WINAPI SetThreadUILanguage(LANGID LangId) {
    tUiLanguage = LangId;
    return winsim::ThreadUiLanguage();
}

extern "C" LANGID WINAPI GetThreadUILanguage(void) { return winsim::ThreadUiLanguage(); }

// Simplified: a locale is valid when it names a language (not the neutral one) with the default sort.
extern "C" BOOL WINAPI SetThreadLocale(LCID Locale) {
    if (PRIMARYLANGID(LANGIDFROMLCID(Locale)) == LANG_NEUTRAL || SORTIDFROMLCID(Locale) != SORT_DEFAULT ||
        (Locale >> 20) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    tLocale = Locale;
    return TRUE;
}

extern "C" LCID WINAPI GetThreadLocale(void) {
    return tLocale ? tLocale : MAKELCID(winsim::MachineUiLanguage(), SORT_DEFAULT);
}
