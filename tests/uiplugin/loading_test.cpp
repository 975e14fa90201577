// Loading Velumor as the print system does (kernel32's LoadLibraryW, GetProcAddress, FreeLibrary).
// Source of truth: their documentation — a missing file is ERROR_MOD_NOT_FOUND, a file that is no
// library ERROR_BAD_EXE_FORMAT, a name the module does not export ERROR_PROC_NOT_FOUND, and a module
// handle is the module's base address, which GetModuleFileNameW names.
#include <cstdio>
#include <set>

#include "PluginTest.h"

namespace uiplugin_test {
namespace {

std::set<std::string> DefinedDynamicSymbols(const std::string& library) {
    std::set<std::string> names;
    FILE* nm = ::popen(("nm -D --defined-only '" + library + "' 2>/dev/null").c_str(), "r");
    if (!nm) return names;
    char line[512];
    while (std::fgets(line, sizeof line, nm)) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        size_t space = text.find_last_of(' ');
        names.insert(space == std::string::npos ? text : text.substr(space + 1));
    }
    ::pclose(nm);
    return names;
}

using LoadingTest = PluginTest;

TEST_F(LoadingTest, ModuleHandleNamesTheLibraryFile) {
    WCHAR name[MAX_PATH];
    DWORD length = GetModuleFileNameW(host->Module(), name, MAX_PATH);
    ASSERT_GT(length, 0u);
    std::wstring file(name, length);
    std::wstring folder = VelumorPath().substr(0, VelumorPath().find_last_of(L'\\'));
    EXPECT_EQ(file, folder + L"\\Velumor.so");
}

TEST_F(LoadingTest, OnlyTheComEntryPointsAreExported) {
    for (const char* internal : {"DllMain", "ghModule", "glLiveObjects", "OemDevMode", "LoadPrinterSettings"}) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(GetProcAddress(host->Module(), internal), nullptr) << internal;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND)) << internal;
    }
    // A function of a library the plug-in imports from is not the plug-in's export.
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GetProcAddress(host->Module(), "GetPrinterDataW"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));

    std::set<std::string> exported = DefinedDynamicSymbols(testsupport::PackagePath("Velumor.so"));
    if (exported.empty()) GTEST_SKIP() << "nm is not available to list the dynamic symbols";
    EXPECT_EQ(exported, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject"}));
}

TEST_F(LoadingTest, EachLoadNeedsItsOwnFree) {
    HMODULE again = LoadLibraryW(VelumorPath().c_str());
    ASSERT_EQ(again, host->Module());
    EXPECT_TRUE(FreeLibrary(again));
    // Still loaded for the host's own load.
    EXPECT_NE(GetProcAddress(host->Module(), "DllCanUnloadNow"), nullptr);

    HMODULE module = host->Module();
    EXPECT_TRUE(host->Unload());
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GetProcAddress(module, "DllCanUnloadNow"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(FreeLibrary(module));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST_F(LoadingTest, FilesThatAreNoLibraryAreRefused) {
    std::wstring missing = VelumorPath();
    missing.replace(missing.find(L"Velumor.dll"), 11, L"Absent.dll");
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(LoadLibraryW(missing.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

    std::wstring machineFile = L"Z:";
    for (char c : MachinePath()) machineFile += c == '/' ? L'\\' : static_cast<wchar_t>(c);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(LoadLibraryW(machineFile.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));

    SetLastError(0xDEADBEEF);
    EXPECT_EQ(LoadLibraryW(nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
}  // namespace uiplugin_test
