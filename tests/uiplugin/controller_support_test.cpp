// The controller's helpers in-process: its lock, its configuration file and the language function.
// Source of truth: the documentation of critical sections (re-entrant for their owner), of GetPrivateProfileStringW/WritePrivateProfileStringW, and of SetThreadUILanguage and
// SetThreadLocale (the resource loader follows the thread's UI language).
#include <winsim_host.h>

#include <sys/stat.h>

#include <string>
#include <thread>

#include "QVDrvUI.h"
#include "QVLock.h"
#include "QVPrinterConfig.h"
#include "TestMachine.h"
#include "page_test.h"

namespace {

using ControllerSupportTest = testsupport::MachineTest;

TEST_F(ControllerSupportTest, LockCanBeTakenAgainByItsOwnerAndIsFreeAfterwards) {
    QVLock lock;
    {
        AutoLock outer(&lock);
        AutoLock inner(&lock);  // the page-add function may call back while INIT holds the lock
    }
    bool taken = false;
    std::thread([&] {
        AutoLock other(&lock);
        taken = true;
    }).join();
    EXPECT_TRUE(taken);
}

TEST_F(ControllerSupportTest, ConfigurationFileKeepsValuesBySectionAndKey) {
    QVPrinterConfig config;
    WCHAR value[16];
    EXPECT_FALSE(config.GetValue(L"Printer", L"Speed", L"", value, 16)) << "no file, empty default";
    EXPECT_TRUE(config.GetValue(L"Printer", L"Speed", L"5", value, 16));
    EXPECT_EQ(std::wstring(value), L"5");
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(config.SetValue(L"Printer", L"Speed", L"3")) << "the folder does not exist";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    std::string folder = WinsimHostPath(L"C:\\QVPrinter");
    ::mkdir(WinsimHostPath(L"C:\\").c_str(), 0755);
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    EXPECT_TRUE(config.SetValue(L"Printer", L"Speed", L"3"));
    EXPECT_TRUE(config.SetValue(L"Paper", L"Speed", L"9"));
    EXPECT_TRUE(config.GetValue(L"printer", L"SPEED", L"", value, 16));
    EXPECT_EQ(std::wstring(value), L"3");
    EXPECT_TRUE(config.GetValue(L"Paper", L"Speed", L"", value, 16));
    EXPECT_EQ(std::wstring(value), L"9");
    EXPECT_FALSE(config.GetValue(L"Printer", L"Density", L"", value, 16));
    EXPECT_EQ(testsupport::ReadFile(folder + "/QVPrinter.cfg"), "[Printer]\r\nSpeed=3\r\n[Paper]\r\nSpeed=9\r\n");
}

TEST_F(ControllerSupportTest, UiLanguageIsEnglishOnEnglishSystemsAndChineseElsewhere) {
    struct Case {
        int system;
        LANGID expected;
        const wchar_t* text;
    };
    for (const Case& c : {Case{1033, 1033, L"English"}, Case{2057, 1033, L"English"}, Case{1041, 2052, L"中文"},
                          Case{2052, 2052, L"中文"}}) {
        SCOPED_TRACE("system language " + std::to_string(c.system));
        winsim::control::Change([&](winsim::control::Json& machine) {
            machine["system"]["uiLanguage"] = winsim::control::Json::number(c.system);
        });
        EXPECT_TRUE(SetUILanguage());
        EXPECT_EQ(GetThreadUILanguage(), c.expected);
        EXPECT_EQ(GetThreadLocale(), static_cast<LCID>(c.expected));
        WCHAR text[32];
        ASSERT_GT(LoadStringW(GetModuleHandleW(nullptr), IDS_LANGUAGE, text, 32), 0);
        EXPECT_EQ(std::wstring(text), c.text);
        SetThreadUILanguage(0);
        SetThreadLocale(MAKELCID(1033, SORT_DEFAULT));
    }
}

}  // namespace
