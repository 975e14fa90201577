// Test host for the Wine smoke run, not shipped: opens the UI plug-in's device or document property sheet
// through the system's own CommonPropertySheetUIW, as the printer-driver UI core does, shows each page
// once and presses OK on the About page.
//   sheetcheck PATH\Velumor.dll [document]   one line per step; exit code 0 when every step passed.
// Needs a display (Xvfb under Wine).
#include <windows.h>
#include <objbase.h>
#include <commctrl.h>
#include <compstui.h>
#include <prsht.h>

#include <stdio.h>
#include <wchar.h>

#include <string>

#include "prcomoem.h"

namespace {

// Spelled here, not taken from the plug-in, so that a plug-in answering other ids fails the check.
const CLSID kClsidOemUI = {0xABCE80D7, 0x9F46, 0x11D1, {0x88, 0x2A, 0x00, 0xC0, 0x4F, 0xB9, 0x61, 0xEC}};
const IID kIidPrintOemUI2 = {0x292515F9, 0xB54B, 0x489B, {0x92, 0x75, 0xBA, 0xB5, 0x68, 0x21, 0x39, 0x5E}};

constexpr wchar_t kProductLine[] = L" Thermal Printer V1.1.0";
// The tabs in order, the About page last (the English templates: Wine's default UI language).
const wchar_t* const kDeviceTabs[] = {L"About"};
const wchar_t* const kDocumentTabs[] = {L"Printer Config", L"Custom Paper Manager", L"About"};
constexpr UINT kTickMs = 50;
constexpr int kMaxTicks = 400;  // 20 s of the sheet's own message loop, then Cancel

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, LPVOID*);
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();
// Looked up at run time: i686 mingw-w64 has no import library for compstui.dll, and its header declares
// the sheet function without the calling convention Windows calls it with.
using SheetFn = LONG(CALLBACK*)(PPROPSHEETUI_INFO, LPARAM);
using CommonPropertySheetUIFn = LONG(WINAPI*)(HWND, SheetFn, LPARAM, LPDWORD);

int failures;
bool documentSheet;
const wchar_t* const* tabs = kDeviceTabs;
int tabCount = 1;
int pagesShown;
IPrintOemUI2* plugin;
OEMUIPSPARAM param;
int reasons[8];  // calls of the plug-in's sheet function per reason
HRESULT initResult = E_PENDING;
HRESULT destroyResult = E_PENDING;
HWND sheetSeen;
bool aboutSeen;
int ticks;

void Check(bool passed, const char* what, long value) {
    printf("%s: %s (0x%08lX)\n", passed ? "ok" : "FAILED", what, static_cast<unsigned long>(value));
    if (!passed) ++failures;
}

// The plug-in's part of the sheet, added by the core below as a child of its own.
LONG CALLBACK PluginSheet(PPROPSHEETUI_INFO info, LPARAM lParam) {
    HRESULT hr = documentSheet ? plugin->DocumentPropertySheets(info, lParam) : plugin->DevicePropertySheets(info, lParam);
    if (info && info->Reason < sizeof reasons / sizeof reasons[0]) ++reasons[info->Reason];
    if (info && info->Reason == PROPSHEETUI_REASON_INIT) initResult = hr;
    if (info && info->Reason == PROPSHEETUI_REASON_DESTROY) destroyResult = hr;
    return SUCCEEDED(hr) ? 1 : -1;
}

// The core's part: the caption, and the plug-in's sheet function handed to the sheet with its parameter
// block as lParamInit.
LONG CALLBACK CoreSheet(PPROPSHEETUI_INFO info, LPARAM lParam) {
    switch (info->Reason) {
    case PROPSHEETUI_REASON_INIT: {
        LONG_PTR added = info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_PFNPROPSHEETUIW,
                                               reinterpret_cast<LPARAM>(PluginSheet),
                                               reinterpret_cast<LPARAM>(&param));
        Check(added > 0, "CPSFUNC_ADD_PFNPROPSHEETUIW adds the plug-in's sheet function", static_cast<long>(added));
        info->Result = added > 0;
        return added > 0 ? 1 : -1;
    }
    case PROPSHEETUI_REASON_GET_INFO_HEADER: {
        auto* header = reinterpret_cast<PPROPSHEETUI_INFO_HEADER>(lParam);
        header->Flags = PSUIHDRF_NOAPPLYNOW;
        header->pTitle = const_cast<LPWSTR>(L"Velumor smoke");
        header->hInst = nullptr;
        header->IconID = IDI_CPSUI_PRINTER;
        return 1;
    }
    default:
        return 1;
    }
}

BOOL CALLBACK FindProductLine(HWND child, LPARAM found) {
    wchar_t text[64] = L"";
    GetWindowTextW(child, text, 64);
    if (wcscmp(text, kProductLine) == 0) {
        *reinterpret_cast<bool*>(found) = true;
        return FALSE;
    }
    return TRUE;
}

// A page-bearing dialog of this thread: the sheet.
BOOL CALLBACK FindSheet(HWND window, LPARAM out) {
    if (IsWindowVisible(window) && SendMessageW(window, PSM_GETCURRENTPAGEHWND, 0, 0)) {
        *reinterpret_cast<HWND*>(out) = window;
        return FALSE;
    }
    return TRUE;
}

std::string Utf8(const wchar_t* text) {
    char out[128] = "";
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof out, nullptr, nullptr);
    return out;
}

// Shows the sheet's next page and checks its tab and that its dialog was made.
void ShowPage(HWND sheet, int index) {
    SendMessageW(sheet, PSM_SETCURSEL, index, 0);
    HWND tabControl = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
    wchar_t text[64] = L"";
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = 64;
    SendMessageW(tabControl, TCM_GETITEMW, index, reinterpret_cast<LPARAM>(&item));
    std::string what = "page " + std::to_string(index + 1) + " is \"" + Utf8(tabs[index]) + "\" and shows";
    Check(wcscmp(text, tabs[index]) == 0 && SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0) != 0, what.c_str(), 0);
}

// Runs inside the sheet's modal loop: shows each page in turn, then presses OK once the About page shows.
void CALLBACK Tick(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND sheet = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindSheet, reinterpret_cast<LPARAM>(&sheet));
    if (sheet) {
        sheetSeen = sheet;
        if (pagesShown < tabCount) {
            if (pagesShown == 0) {
                HWND tabControl = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
                LRESULT count = SendMessageW(tabControl, TCM_GETITEMCOUNT, 0, 0);
                Check(count == tabCount, ("the sheet has " + std::to_string(tabCount) + " page(s)").c_str(),
                      static_cast<long>(count));
            }
            ShowPage(sheet, pagesShown++);
            return;  // the next tick looks at the page once the sheet has dealt with the switch
        }
        HWND page = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
        EnumChildWindows(page, FindProductLine, reinterpret_cast<LPARAM>(&aboutSeen));
        if (aboutSeen) {
            KillTimer(nullptr, timer);
            PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
            return;
        }
    }
    if (++ticks == kMaxTicks) {
        KillTimer(nullptr, timer);
        if (sheet) PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    }
}

void RunSheet() {
    HMODULE compstui = LoadLibraryW(L"compstui.dll");
    auto commonPropertySheetUI = reinterpret_cast<CommonPropertySheetUIFn>(
        compstui ? reinterpret_cast<INT_PTR>(GetProcAddress(compstui, "CommonPropertySheetUIW")) : 0);
    Check(commonPropertySheetUI != nullptr, "compstui.dll's CommonPropertySheetUIW", static_cast<long>(GetLastError()));
    if (!commonPropertySheetUI) return;
    param.cbSize = sizeof param;
    param.pPrinterName = const_cast<PWSTR>(L"Velumor smoke printer");  // no such queue: no handle is opened

    UINT_PTR timer = SetTimer(nullptr, 0, kTickMs, Tick);
    Check(timer != 0, "SetTimer", static_cast<long>(GetLastError()));
    DWORD result = 0;
    LONG ret = commonPropertySheetUI(nullptr, CoreSheet, 0, &result);
    KillTimer(nullptr, timer);
    Check(ret >= 0, "CommonPropertySheetUIW returns without error", ret);
    const std::string kind = documentSheet ? "document" : "device";
    Check(initResult == S_OK, ("the plug-in's " + kind + " sheet INIT is S_OK").c_str(), initResult);
    Check(sheetSeen != nullptr, "the sheet opened", 0);
    Check(pagesShown == tabCount, "every page was shown", pagesShown);
    Check(aboutSeen, "the About page shows \" Thermal Printer V1.1.0\"", 0);
    Check(reasons[PROPSHEETUI_REASON_DESTROY] == 1 && destroyResult == S_OK,
          ("the plug-in's " + kind + " sheet DESTROY is S_OK").c_str(), destroyResult);
    Check(!sheetSeen || !IsWindow(sheetSeen), "the sheet's window is gone", 0);
    FreeLibrary(compstui);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    documentSheet = argc == 3 && wcscmp(argv[2], L"document") == 0;
    if (argc != 2 && !documentSheet) {
        fputs("usage: sheetcheck PATH\\Velumor.dll [document]\n", stderr);
        return 2;
    }
    if (documentSheet) {
        tabs = kDocumentTabs;
        tabCount = sizeof kDocumentTabs / sizeof kDocumentTabs[0];
    }
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    HMODULE module = LoadLibraryW(argv[1]);
    if (!module) {
        printf("FAILED: LoadLibraryW, error %lu\n", GetLastError());
        return 1;
    }
    auto getClassObject = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<INT_PTR>(GetProcAddress(module, "DllGetClassObject")));
    auto canUnloadNow = reinterpret_cast<CanUnloadNowFn>(
        reinterpret_cast<INT_PTR>(GetProcAddress(module, "DllCanUnloadNow")));
    Check(getClassObject && canUnloadNow, "the plug-in's COM entry points", 0);
    IClassFactory* factory = nullptr;
    if (getClassObject) getClassObject(kClsidOemUI, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (factory) {
        HRESULT hr = factory->CreateInstance(nullptr, kIidPrintOemUI2, reinterpret_cast<void**>(&plugin));
        Check(hr == S_OK && plugin, "IClassFactory::CreateInstance(IID_IPrintOemUI2)", hr);
        factory->Release();
    } else {
        Check(false, "DllGetClassObject gives a factory", 0);
    }
    if (plugin) {
        RunSheet();
        Check(plugin->Release() == 0, "the plug-in object's last Release answers 0", 0);
        Check(canUnloadNow && canUnloadNow() == S_OK, "DllCanUnloadNow is S_OK once everything is released", 0);
    }
    BOOL freed = FreeLibrary(module);
    Check(freed, "FreeLibrary", freed ? 0 : static_cast<long>(GetLastError()));
    printf("sheetcheck: %s\n", failures ? "FAILED" : "all passed");
    return failures ? 1 : 0;
}
