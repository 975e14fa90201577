// Test host for the Wine smoke run, not shipped: loads the UI plug-in as the print system does and
// walks its COM server through the answers tests/uiplugin pins on winsim.
//   plugincheck PATH\Velumor.dll   one line per step; exit code 0 when every step passed, 1 otherwise.
#include <windows.h>
#include <objbase.h>

#include <stdio.h>

// The print system's class id for OEM UI plug-ins and the interface the core asks the object for;
// spelled here, not taken from the plug-in, so that a plug-in answering another id fails the check.
static const CLSID kClsidOemUI = {0xABCE80D7, 0x9F46, 0x11D1, {0x88, 0x2A, 0x00, 0xC0, 0x4F, 0xB9, 0x61, 0xEC}};
static const IID kIidPrintOemUI2 = {0x292515F9, 0xB54B, 0x489B, {0x92, 0x75, 0xBA, 0xB5, 0x68, 0x21, 0x39, 0x5E}};

typedef HRESULT(STDAPICALLTYPE* GetClassObjectFn)(REFCLSID, REFIID, LPVOID*);
typedef HRESULT(STDAPICALLTYPE* CanUnloadNowFn)(void);

static int failures;

static void Check(int passed, const char* what, HRESULT hr) {
    printf("%s: %s (0x%08lX)\n", passed ? "ok" : "FAILED", what, (unsigned long)hr);
    if (!passed) ++failures;
}

// GetProcAddress answers a generic function pointer; the export's real type is known here.
static void* Export(HMODULE module, const char* name) {
    void* address = (void*)(INT_PTR)GetProcAddress(module, name);
    printf("%s: GetProcAddress %s\n", address ? "ok" : "FAILED", name);
    if (!address) ++failures;
    return address;
}

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        fputs("usage: plugincheck PATH\\Velumor.dll\n", stderr);
        return 2;
    }
    HMODULE module = LoadLibraryW(argv[1]);
    if (!module) {
        printf("FAILED: LoadLibraryW, error %lu\n", GetLastError());
        return 1;
    }
    puts("ok: LoadLibraryW");
    GetClassObjectFn getClassObject = (GetClassObjectFn)Export(module, "DllGetClassObject");
    CanUnloadNowFn canUnloadNow = (CanUnloadNowFn)Export(module, "DllCanUnloadNow");
    if (getClassObject && canUnloadNow) {
        IClassFactory* factory = NULL;
        HRESULT hr = getClassObject(&kClsidOemUI, &IID_IClassFactory, (void**)&factory);
        Check(hr == S_OK && factory, "DllGetClassObject(CLSID_OEMUI, IID_IClassFactory) gives a factory", hr);

        void* out = (void*)&out;
        hr = getClassObject(&kClsidOemUI, &kIidPrintOemUI2, &out);
        Check(hr == E_NOINTERFACE && !out, "DllGetClassObject(CLSID_OEMUI, IID_IPrintOemUI2) is E_NOINTERFACE", hr);

        if (factory) {
            IUnknown* object = NULL;
            hr = factory->lpVtbl->CreateInstance(factory, NULL, &IID_IUnknown, (void**)&object);
            Check(hr == S_OK && object, "IClassFactory::CreateInstance(IID_IUnknown) gives an object", hr);
            if (object) {
                hr = canUnloadNow();
                Check(hr == S_FALSE, "DllCanUnloadNow is S_FALSE while the object lives", hr);
                ULONG left = object->lpVtbl->Release(object);
                Check(left == 0, "the object's last Release answers 0", (HRESULT)left);
            }
            ULONG left = factory->lpVtbl->Release(factory);
            Check(left == 0, "the factory's last Release answers 0", (HRESULT)left);
        }
        hr = canUnloadNow();
        Check(hr == S_OK, "DllCanUnloadNow is S_OK once everything is released", hr);
    }
    BOOL freed = FreeLibrary(module);
    Check(freed, "FreeLibrary", (HRESULT)(freed ? 0 : GetLastError()));
    printf("plugincheck: %s\n", failures ? "FAILED" : "all passed");
    return failures ? 1 : 0;
}
