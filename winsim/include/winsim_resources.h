// How a module's compiled resources reach the simulated user32 (written by the resource compiler).
#pragma once

struct WinsimStringResource {
    unsigned short language;  // LANGID
    unsigned int id;
    const wchar_t* text;
};

#ifdef __cplusplus
extern "C" {
#endif
// anchor: any address inside the module the resources belong to.
int WinsimRegisterStrings(const void* anchor, const WinsimStringResource* items, unsigned long count);
#ifdef __cplusplus
}
#endif
