// Initialization files (kernel32/profile.cpp) on the simulated drives. Source of truth: the documentation
// of GetPrivateProfileStringW (the value, else the default without its trailing blanks; a value in
// quotes loses them; names ignore case; a short buffer gets nSize - 1 characters; a missing file sets
// ERROR_FILE_NOT_FOUND; a name without a full path is in the Windows folder) and of
// WritePrivateProfileStringW (creates the file and the section; a null value deletes the key, a null
// key the section).
#include <winsim_host.h>

#include <sys/stat.h>

#include <windows.h>

#include <fstream>
#include <string>

#include "TestMachine.h"

namespace {

constexpr const wchar_t* kFile = L"C:\\Config\\test.ini";

class ProfileTest : public testsupport::MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        ::mkdir(WinsimHostPath(L"C:\\").c_str(), 0755);
        ::mkdir(WinsimHostPath(L"C:\\Config").c_str(), 0755);
    }
    static void WriteFile(const std::string& text) { std::ofstream(WinsimHostPath(kFile), std::ios::binary) << text; }
    static std::string FileText() { return testsupport::ReadFile(WinsimHostPath(kFile)); }
    static std::wstring Get(LPCWSTR section, LPCWSTR key, LPCWSTR fallback = L"", DWORD size = 64,
                            DWORD* length = nullptr) {
        WCHAR buffer[64];
        DWORD n = GetPrivateProfileStringW(section, key, fallback, buffer, size, kFile);
        if (length) *length = n;
        return buffer;
    }
};

TEST_F(ProfileTest, ValuesAreFoundBySectionAndKeyIgnoringCase) {
    WriteFile("; settings\r\n[Printer]\r\nSpeed = 5 \r\nName=\"Label printer\"\r\n\r\n[Paper]\nSpeed=9\n");
    DWORD length = 0;
    EXPECT_EQ(Get(L"printer", L"SPEED", L"", 64, &length), L"5");
    EXPECT_EQ(length, 1u);
    EXPECT_EQ(Get(L"Printer", L"Name"), L"Label printer");
    EXPECT_EQ(Get(L"Paper", L"Speed"), L"9");
    EXPECT_EQ(Get(L"Printer", L"Density", L"8  ", 64, &length), L"8");
    EXPECT_EQ(length, 1u);
    EXPECT_EQ(Get(L"Printer", L"Name", L"", 6, &length), L"Label");
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(Get(L"Printer", L"Density", nullptr, 64, &length), L"");
    EXPECT_EQ(length, 0u);
}

TEST_F(ProfileTest, MissingFileGivesTheDefaultAndFileNotFound) {
    SetLastError(0xDEADBEEF);
    DWORD length = 0;
    EXPECT_EQ(Get(L"Printer", L"Speed", L"3", 64, &length), L"3");
    EXPECT_EQ(length, 1u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    // Lists of names are not supported here.
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(Get(L"Printer", nullptr), L"");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
}

TEST_F(ProfileTest, WritingCreatesChangesAndDeletesEntries) {
    EXPECT_TRUE(WritePrivateProfileStringW(L"Printer", L"Speed", L"5", kFile));
    EXPECT_TRUE(WritePrivateProfileStringW(L"Paper", L"Width", L"76", kFile));
    EXPECT_TRUE(WritePrivateProfileStringW(L"printer", L"Density", L"8", kFile));
    EXPECT_TRUE(WritePrivateProfileStringW(L"Printer", L"SPEED", L"6", kFile));
    EXPECT_EQ(FileText(), "[Printer]\r\nSpeed=6\r\nDensity=8\r\n[Paper]\r\nWidth=76\r\n");
    EXPECT_TRUE(WritePrivateProfileStringW(L"Printer", L"Speed", nullptr, kFile));
    EXPECT_EQ(FileText(), "[Printer]\r\nDensity=8\r\n[Paper]\r\nWidth=76\r\n");
    EXPECT_TRUE(WritePrivateProfileStringW(L"Printer", nullptr, nullptr, kFile));
    EXPECT_EQ(FileText(), "[Paper]\r\nWidth=76\r\n");
    EXPECT_EQ(Get(L"Paper", L"Width"), L"76");

    // A new key goes after the section's last one, before the blank line that ends it.
    WriteFile("[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");
    EXPECT_TRUE(WritePrivateProfileStringW(L"A", L"z", L"3", kFile));
    EXPECT_EQ(FileText(), "[A]\r\nx=1\r\nz=3\r\n\r\n[B]\r\ny=2\r\n");
}

TEST_F(ProfileTest, WritingNeedsAnExistingFolderAndASection) {
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(WritePrivateProfileStringW(L"A", L"x", L"1", L"C:\\Missing\\test.ini"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(WritePrivateProfileStringW(nullptr, L"x", L"1", kFile));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // A bare name lives in the Windows folder.
    EXPECT_TRUE(WritePrivateProfileStringW(L"A", L"x", L"1", L"bare.ini"));
    EXPECT_EQ(testsupport::ReadFile(WinsimHostPath(L"C:\\Windows\\bare.ini")), "[A]\r\nx=1\r\n");
    WCHAR buffer[8];
    EXPECT_EQ(GetPrivateProfileStringW(L"A", L"x", L"", buffer, 8, L"bare.ini"), 1u);
}

}  // namespace
