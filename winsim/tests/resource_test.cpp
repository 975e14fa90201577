// String resources (LoadStringW in user32/resource.cpp), read from resource_test.rc compiled into this
// program. Source of truth: the LoadStringW documentation — the string is copied, cut to
// cchBufferMax - 1 and terminated, and its length returned; cchBufferMax 0 hands back a read-only pointer
// to the resource; a missing string gives 0 (ERROR_RESOURCE_NAME_NOT_FOUND from the resource look-up).
// The table follows the UI language, falling back to English for a language the module lacks.
#include <sys/wait.h>

#include <windows.h>

#include <cwchar>
#include <string>

#include "TestMachine.h"
#include "resource_test.h"

namespace {

using testsupport::MachineTest;

void SetUiLanguage(int language) {
    winsim::control::Change([language](winsim::control::Json& machine) {
        machine["system"]["uiLanguage"] = winsim::control::Json::number(language);
    });
}

std::wstring Load(UINT id) {
    WCHAR buf[128];
    int length = LoadStringW(GetModuleHandleW(nullptr), id, buf, 128);
    EXPECT_EQ(static_cast<size_t>(length), std::wcslen(buf));
    return std::wstring(buf);
}

using LoadStringTest = MachineTest;

TEST_F(LoadStringTest, UiLanguageChoosesTheTable) {
    EXPECT_EQ(Load(IDS_GREETING), L"Please plug in the printer");  // the default machine's 1033
    SetUiLanguage(1041);
    EXPECT_EQ(Load(IDS_GREETING), L"プリンタを接続してください");
    EXPECT_EQ(Load(IDS_CAPTION), L"注意");
    SetUiLanguage(2052);
    EXPECT_EQ(Load(IDS_GREETING), L"请插入打印机");
    EXPECT_EQ(Load(IDS_CAPTION), L"提示");
    SetUiLanguage(1033);
    EXPECT_EQ(Load(IDS_CAPTION), L"Info");

    // Set by another process, as an installer's tests do with winsim-ctl.
    testsupport::RunResult r = testsupport::RunProgram(testsupport::BinPath("winsim-ctl"), {"language", "1041"});
    ASSERT_TRUE(WIFEXITED(r.waitStatus) && WEXITSTATUS(r.waitStatus) == 0) << r.err;
    EXPECT_EQ(Load(IDS_CAPTION), L"注意");
}

TEST_F(LoadStringTest, LanguageTheModuleLacksFallsBackToEnglish) {
    for (int language : {1031 /* German */, 1036 /* French */, 1049 /* Russian */}) {
        SCOPED_TRACE("UI language " + std::to_string(language));
        SetUiLanguage(language);
        EXPECT_EQ(Load(IDS_GREETING), L"Please plug in the printer");
    }
}

// The language is chosen per block of 16 ids: a block the UI language has does not borrow a missing id
// from English.
TEST_F(LoadStringTest, IdMissingFromTheChosenLanguagesBlockHasNoText) {
    EXPECT_EQ(Load(IDS_ENGLISH_ONLY), L"English only");
    for (int language : {1041, 2052}) {
        SCOPED_TRACE("UI language " + std::to_string(language));
        SetUiLanguage(language);
        WCHAR buf[16] = L"stale";
        EXPECT_EQ(LoadStringW(GetModuleHandleW(nullptr), IDS_ENGLISH_ONLY, buf, 16), 0);
        EXPECT_STREQ(buf, L"");
    }
    SetUiLanguage(1031);  // no German block: the whole English one serves
    EXPECT_EQ(Load(IDS_ENGLISH_ONLY), L"English only");
}

TEST_F(LoadStringTest, ShortBufferGetsTheStringCutAndTerminated) {
    WCHAR buf[16];
    std::wmemset(buf, L'#', 16);
    EXPECT_EQ(LoadStringW(GetModuleHandleW(nullptr), IDS_GREETING, buf, 7), 6);
    EXPECT_EQ(std::wstring(buf), L"Please");
    EXPECT_EQ(buf[7], L'#') << "wrote past cchBufferMax";

    SetUiLanguage(2052);
    EXPECT_EQ(LoadStringW(GetModuleHandleW(nullptr), IDS_GREETING, buf, 3), 2);
    EXPECT_EQ(std::wstring(buf), L"请插");
}

TEST_F(LoadStringTest, ZeroBufferSizeGivesAPointerToTheResource) {
    SetUiLanguage(1041);
    const WCHAR* text = nullptr;
    int length = LoadStringW(GetModuleHandleW(nullptr), IDS_CAPTION, reinterpret_cast<LPWSTR>(&text), 0);
    ASSERT_EQ(length, 2);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::wstring(text, static_cast<size_t>(length)), L"注意");
}

TEST_F(LoadStringTest, UnknownIdGivesZeroAndResourceNameNotFound) {
    WCHAR buf[16];
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(LoadStringW(GetModuleHandleW(nullptr), IDS_NOT_THERE, buf, 16), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

}  // namespace
