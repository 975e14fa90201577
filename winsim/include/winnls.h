// National language support subset of the simulated platform: the system's language and the calling
// thread's user-interface language and locale.
#pragma once
#include "windef.h"

#define SORT_DEFAULT 0x0
#define MAKELCID(lgid, srtid) ((DWORD)((((DWORD)((WORD)(srtid))) << 16) | ((DWORD)((WORD)(lgid)))))
#define LANGIDFROMLCID(lcid) ((WORD)(lcid))
#define SORTIDFROMLCID(lcid) ((WORD)((((DWORD)(lcid)) >> 16) & 0xf))

#ifdef __cplusplus
extern "C" {
#endif
LANGID WINAPI GetSystemDefaultLangID(void);
LANGID WINAPI SetThreadUILanguage(LANGID LangId);
LANGID WINAPI GetThreadUILanguage(void);
BOOL WINAPI SetThreadLocale(LCID Locale);
LCID WINAPI GetThreadLocale(void);
#ifdef __cplusplus
}
#endif
