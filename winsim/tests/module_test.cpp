// Module and folder queries (kernel32/module.cpp). Source of truth: the GetModuleFileNameW and
// GetTempPathW documentation — a short GetModuleFileNameW buffer gets the name cut, terminated, nSize
// returned and ERROR_INSUFFICIENT_BUFFER; GetTempPathW returns the length on success, the size needed
// including the terminator when the buffer is short, and a path ending in a backslash. Paths are the
// host's on the Z: drive, as the project's design sets them.
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <windows.h>

#include <string>

#include "TestMachine.h"

namespace {

using testsupport::MachineTest;

std::wstring OnDriveZ(const std::string& hostPath) {
    std::wstring out = L"Z:";
    for (char c : hostPath) out += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    return out;
}

std::string HostExecutable() {
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

HMODULE ModuleHolding(const void* address) {
    Dl_info info;
    return ::dladdr(address, &info) ? static_cast<HMODULE>(info.dli_fbase) : nullptr;
}

using ModuleFileNameTest = MachineTest;

TEST_F(ModuleFileNameTest, ProgramIsNamedOnDriveZ) {
    const std::wstring expected = OnDriveZ(HostExecutable());
    WCHAR name[MAX_PATH];
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GetModuleFileNameW(nullptr, name, MAX_PATH), expected.size());
    EXPECT_EQ(GetLastError(), 0xDEADBEEFu);
    EXPECT_EQ(std::wstring(name), expected);

    // The program's own handle names the same file.
    HMODULE self = GetModuleHandleW(nullptr);
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(self, ModuleHolding(reinterpret_cast<const void*>(&HostExecutable)));
    WCHAR again[MAX_PATH];
    EXPECT_EQ(GetModuleFileNameW(self, again, MAX_PATH), expected.size());
    EXPECT_EQ(std::wstring(again), expected);
}

TEST_F(ModuleFileNameTest, LibraryHandleNamesTheLibrary) {
    HMODULE library = ModuleHolding(reinterpret_cast<const void*>(&GetTickCount));
    ASSERT_NE(library, nullptr);
    ASSERT_NE(library, GetModuleHandleW(nullptr));
    WCHAR name[MAX_PATH];
    DWORD length = GetModuleFileNameW(library, name, MAX_PATH);
    ASSERT_GT(length, 0u);
    const std::wstring text(name, length);
    EXPECT_EQ(text.rfind(L"Z:\\", 0), 0u) << "host paths are on Z:";
    EXPECT_EQ(text.substr(text.rfind(L'\\') + 1), L"libwinsim.so");
}

TEST_F(ModuleFileNameTest, ShortBufferGetsTheNameCutAndTerminated) {
    const std::wstring full = OnDriveZ(HostExecutable());
    const DWORD sizes[] = {1, 5, static_cast<DWORD>(full.size())};  // the last lacks room for the terminator only
    for (DWORD size : sizes) {
        SCOPED_TRACE("nSize " + std::to_string(size));
        WCHAR name[MAX_PATH];
        std::wmemset(name, L'#', MAX_PATH);
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(GetModuleFileNameW(nullptr, name, size), size);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(std::wstring(name), full.substr(0, size - 1));
        EXPECT_EQ(name[size], L'#') << "wrote past nSize";
    }
    WCHAR exact[MAX_PATH];
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GetModuleFileNameW(nullptr, exact, static_cast<DWORD>(full.size() + 1)), full.size());
    EXPECT_EQ(GetLastError(), 0xDEADBEEFu);
}

using TempPathTest = MachineTest;

TEST_F(TempPathTest, SizeQueryThenCopyOfTheMachinesTempFolder) {
    const std::wstring expected = OnDriveZ(TempDir());
    ASSERT_EQ(expected.back(), L'\\');

    const DWORD needed = GetTempPathW(0, nullptr);
    EXPECT_EQ(needed, expected.size() + 1) << "the size needed counts the terminator";
    WCHAR small[MAX_PATH];
    EXPECT_EQ(GetTempPathW(needed - 1, small), needed) << "one short of room for the terminator";

    WCHAR path[MAX_PATH];
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GetTempPathW(needed, path), needed - 1);
    EXPECT_EQ(GetLastError(), 0xDEADBEEFu);
    EXPECT_EQ(std::wstring(path), expected);
}

TEST_F(TempPathTest, MachineSettingOverridesAndGainsTheBackslash) {
    winsim::control::Change([](winsim::control::Json& machine) {
        machine["system"]["tempPath"] = winsim::control::Json::string("C:\\Users\\setup\\AppData\\Local\\Temp");
    });
    WCHAR path[MAX_PATH];
    const std::wstring expected = L"C:\\Users\\setup\\AppData\\Local\\Temp\\";
    EXPECT_EQ(GetTempPathW(MAX_PATH, path), expected.size());
    EXPECT_EQ(std::wstring(path), expected);
    EXPECT_EQ(GetTempPathW(0, nullptr), expected.size() + 1);

    winsim::control::Change([](winsim::control::Json& machine) {
        machine["system"]["tempPath"] = winsim::control::Json::string("D:\\Temp\\");
    });
    EXPECT_EQ(GetTempPathW(MAX_PATH, path), 8u);
    EXPECT_EQ(std::wstring(path), L"D:\\Temp\\");
}

}  // namespace
