// How a module's compiled resources reach the simulated platform (written by the resource compiler).
#pragma once

struct WinsimStringResource {
    unsigned short language;  // LANGID
    unsigned int id;
    const wchar_t* text;
};

// Any other resource (dialog templates): its bytes laid out exactly as on Windows.
struct WinsimResource {
    unsigned short type;      // RT_* number
    unsigned short language;  // LANGID
    unsigned int id;
    const unsigned char* data;
    unsigned long size;
};

#ifdef __cplusplus
extern "C" {
#endif
// anchor: any address inside the module the resources belong to. The items stay the module's: they
// must live as long as it is loaded.
int WinsimRegisterStrings(const void* anchor, const WinsimStringResource* items, unsigned long count);
int WinsimRegisterResources(const void* anchor, const WinsimResource* items, unsigned long count);
// Forgets every resource of the module, as its unloading does.
void WinsimUnregisterModule(const void* anchor);
#ifdef __cplusplus
}

// Registers a module's resources while it is loaded: a plug-in that is unloaded and loaded again must not
// leave resources behind that point into the memory it had.
class WinsimModuleResources {
public:
    WinsimModuleResources(const WinsimStringResource* strings, unsigned long stringCount,
                          const WinsimResource* resources, unsigned long resourceCount)
        : anchor_(strings) {
        WinsimRegisterStrings(anchor_, strings, stringCount);
        WinsimRegisterResources(anchor_, resources, resourceCount);
    }
    ~WinsimModuleResources() { WinsimUnregisterModule(anchor_); }
    WinsimModuleResources(const WinsimModuleResources&) = delete;
    WinsimModuleResources& operator=(const WinsimModuleResources&) = delete;

private:
    const void* anchor_;
};
#endif
