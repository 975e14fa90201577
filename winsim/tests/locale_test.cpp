// The system's language and the thread's UI language and locale (kernel32/locale.cpp). Source of truth:
// the documentation of SetThreadUILanguage (the language set is returned; the resource loader then uses it
// for the calling thread) and SetThreadLocale (an invalid locale gives FALSE and ERROR_INVALID_PARAMETER).
#include <windows.h>

#include <string>
#include <thread>

#include "TestMachine.h"
#include "resource_test.h"

namespace {

class LocaleTest : public testsupport::MachineTest {
protected:
    void TearDown() override {
        SetThreadUILanguage(0);
        SetThreadLocale(MAKELCID(1033, SORT_DEFAULT));
        MachineTest::TearDown();
    }
    static void SetMachineLanguage(int language) {
        winsim::control::Change([language](winsim::control::Json& m) {
            m["system"]["uiLanguage"] = winsim::control::Json::number(language);
        });
    }
    static std::wstring DialogCaption() {
        HWND dlg = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_CONTROLS), nullptr, nullptr, 0);
        WCHAR text[32] = {};
        GetWindowTextW(dlg, text, 32);
        DestroyWindow(dlg);
        return text;
    }
    static std::wstring Caption() {
        WCHAR text[32];
        LoadStringW(GetModuleHandleW(nullptr), IDS_CAPTION, text, 32);
        return text;
    }
};

TEST_F(LocaleTest, SystemLanguageIsTheMachines) {
    EXPECT_EQ(GetSystemDefaultLangID(), 1033);
    SetMachineLanguage(1041);
    EXPECT_EQ(GetSystemDefaultLangID(), 1041);
    EXPECT_EQ(GetThreadUILanguage(), 1041);
}

TEST_F(LocaleTest, ThreadUiLanguageChoosesTheResourcesOfThatThreadOnly) {
    SetMachineLanguage(1041);
    EXPECT_EQ(SetThreadUILanguage(2052), 2052);
    EXPECT_EQ(GetThreadUILanguage(), 2052);
    EXPECT_EQ(Caption(), L"提示");
    EXPECT_EQ(DialogCaption(), L"Controls") << "no Chinese template: the English one";
    SetThreadUILanguage(1041);
    EXPECT_EQ(DialogCaption(), L"コントロール");
    SetThreadUILanguage(2052);
    std::wstring other;
    std::thread([&] { other = Caption(); }).join();
    EXPECT_EQ(other, L"注意") << "another thread follows the machine";
    EXPECT_EQ(SetThreadUILanguage(0), 1041);
    EXPECT_EQ(Caption(), L"注意");
}

TEST_F(LocaleTest, ThreadLocaleAcceptsOnlyLocalesThatNameALanguage) {
    EXPECT_TRUE(SetThreadLocale(MAKELCID(2052, SORT_DEFAULT)));
    EXPECT_EQ(GetThreadLocale(), 2052u);
    for (LCID bad : {LCID{0}, MAKELCID(MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), SORT_DEFAULT), MAKELCID(1041, 1)}) {
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(SetThreadLocale(bad)) << bad;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        EXPECT_EQ(GetThreadLocale(), 2052u);
    }
}

}  // namespace
