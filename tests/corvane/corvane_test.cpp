// Corvane run as a program on a simulated machine: command lines, retry prompts, modes, exit codes.
#include <sys/wait.h>

#include <windows.h>

#include <TestMachine.h>

#include "CorvaneProgramTest.h"

#include <algorithm>
#include <string>
#include <vector>

using testsupport::LogEntry;
using testsupport::MachineTest;
using testsupport::ReadLog;
using testsupport::RunProgram;
using Json = winsim::control::Json;

namespace {

const char kPlugPrinterEn[] = "Please plug the USB printer device into your computer";

class CorvaneTest : public CorvaneProgramTest {
protected:
    static void UnplugPrinters() {
        winsim::control::Change([](Json& m) {
            for (size_t i = 0; i < m["devices"].size(); ++i) m["devices"][i]["present"] = Json::boolean(false);
        });
    }

    std::vector<std::string> Messages() const { return LogMessages(false); }

    Json Section(const char* name) const { return winsim::control::Read().at(name); }

    Json ShellCommands() const { return Section("shell").at("commands"); }

    // The log's lines that are among expected stand in that order; other lines may come between them.
    void ExpectSteps(const std::vector<std::string>& expected) const {
        std::vector<std::string> steps;
        for (const std::string& m : Messages()) {
            if (std::find(expected.begin(), expected.end(), m) != expected.end()) steps.push_back(m);
        }
        EXPECT_EQ(steps, expected);
    }

    // The plugged printer's queue on its port with the first model's driver, and no box shown.
    void ExpectPluggedPrinterInstalled() const {
        Json printers = Section("spooler").at("printers");
        ASSERT_EQ(printers.size(), 1u);
        EXPECT_EQ(printers.at(0).at("name").as_string(), "Brisora-40");
        EXPECT_EQ(printers.at(0).at("port").as_string(), "USB001");
        EXPECT_EQ(Section("spooler").at("drivers").at("Windows x64").at(0).at("name").as_string(), "Brisora-40");
        EXPECT_EQ(MessageBoxes().size(), 0u);
    }

    std::string PrunavelLastLine() const {
        std::vector<LogEntry> prunavel = ReadLog(TempDir() + "ZL/logs/Prunavel.log");
        return prunavel.empty() ? "<no Prunavel log>" : prunavel.back().message;
    }

    // The retry prompts shown: OK and Cancel, system-modal, without an owner.
    static void ExpectPrompts(size_t count, const std::string& caption, const std::string& text) {
        Json boxes = MessageBoxes();
        ASSERT_EQ(boxes.size(), count);
        for (size_t i = 0; i < boxes.size(); ++i) {
            EXPECT_EQ(boxes.at(i).at("caption").as_string(), caption);
            EXPECT_EQ(boxes.at(i).at("text").as_string(), text);
            EXPECT_EQ(boxes.at(i).at("flags").as_integer(), 0x1001);
            EXPECT_EQ(boxes.at(i).at("owner").as_integer(), 0);
        }
    }
};

TEST_F(CorvaneTest, CommandLinesThatAreNoModeEndWithMinusOneAfterTheModeLine) {
    for (const std::string cmd : {"/install", "/INSTALL", "/Install ", "", "/Bogus"}) {
        SCOPED_TRACE("command line '" + cmd + "'");
        std::remove(LogPath().c_str());
        testsupport::RunResult r = Corvane(cmd);
        ASSERT_TRUE(r.recorded) << r.err;
        EXPECT_EQ(r.exitCode, -1);
        std::vector<std::string> expected = {"Processor Architecture: AMD 64", "PrinterDrvCtrl:mode=" + cmd,
                                             "WinMain:iRet=-1"};
        EXPECT_EQ(Messages(), expected);
        for (const LogEntry& e : ReadLog(LogPath())) {
            EXPECT_EQ(e.logger, "QVPrtDrvCtrl");
            EXPECT_EQ(e.level, "trace");
        }
    }
    EXPECT_EQ(MessageBoxes().size(), 0u);
    EXPECT_EQ(ShellCommands().size(), 0u) << "no mode ran, so no certificate command either";
}

TEST_F(CorvaneTest, ParentStartedThroughCreateProcessSeesTheFull32BitExitCode) {
    std::string program = testsupport::PackagePath("Corvane");
    for (char& c : program) {
        if (c == '/') c = '\\';
    }
    std::string cmdLine = "\"Z:" + program + ".exe\"   /Bogus";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessA(nullptr, cmdLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                               &si, &pi))
        << GetLastError();
    ASSERT_EQ(WaitForSingleObject(pi.hProcess, INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(code, 0xFFFFFFFFu);
    CloseHandle(pi.hProcess);
    // Blanks between the program and its switch are not part of the command-line tail.
    EXPECT_EQ(Messages().at(1), "PrinterDrvCtrl:mode=/Bogus");
}

TEST_F(CorvaneTest, InstallPutsThePluggedPrinterOnItsPortThroughPrunavel) {
    testsupport::RunResult r = Corvane("/Install");
    ASSERT_TRUE(r.recorded) << r.err;
    EXPECT_EQ(r.exitCode, 0);
    // The forms set up after the install log lines of their own.
    ExpectSteps({"PrinterDrvInstall:devcount=1", "Prunavel:dwExitCode=0", "InstallFromPrunavel:iRet=0",
                 "PrinterDrvInstall:iRet=0", "WinMain:iRet=0"});
    ExpectPluggedPrinterInstalled();
    EXPECT_EQ(PrunavelLastLine(), "Prunavel: PNPInstallDev iRet=0!");
}

// Prunavel's install fails without an error code: that is a failure all the same, so the installer takes
// its own road and the printer is there at the end, without the forms a Prunavel install brings.
TEST_F(CorvaneTest, InstallFallsBackWhenPlugAndPlayFailsWithoutAnErrorCode) {
    const size_t builtinForms = Section("spooler").at("forms").size();
    winsim::control::InjectFault("UpdateDriverForPlugAndPlayDevicesW", ERROR_SUCCESS);
    testsupport::RunResult r = Corvane("/Install");
    ASSERT_TRUE(r.recorded) << r.err;
    EXPECT_EQ(r.exitCode, 0);
    ExpectSteps({"PrinterDrvInstall:devcount=1", "Prunavel:dwExitCode=fffffc16", "Prunavel:erro=fffffc16",
                 "InstallFromPrunavel:iRet=-1009", "InstallDrv:Port=USB001", "PrinterDrvInstall:iRet=0",
                 "WinMain:iRet=0"});
    ExpectPluggedPrinterInstalled();
    EXPECT_EQ(Section("spooler").at("forms").size(), builtinForms);
    EXPECT_EQ(PrunavelLastLine(), "Prunavel: PNPInstallDev iRet=-1002!");
}

TEST_F(CorvaneTest, NoPrinterPromptRepeatsTheWholeModeUntilCancel) {
    UnplugPrinters();
    winsim::control::ScriptAnswers({IDOK, IDCANCEL});
    testsupport::RunResult r = Corvane("/Install");
    ASSERT_TRUE(r.recorded) << r.err;
    EXPECT_EQ(r.exitCode, -1);

    ExpectPrompts(2, "Info", kPlugPrinterEn);
    std::vector<std::string> expected = {"Processor Architecture: AMD 64",
                                         "PrinterDrvCtrl:mode=/Install",
                                         "PrinterDrvInstall:iRet=-99",
                                         "PrinterDrvCtrl:mode=/Install",
                                         "PrinterDrvInstall:iRet=-99",
                                         "WinMain:iRet=-1"};
    EXPECT_EQ(Messages(), expected);

    // Each attempt trusts the certificate again, with the same command.
    Json commands = ShellCommands();
    ASSERT_EQ(commands.size(), 2u);
    std::string certPath = testsupport::PackagePath("ZLCertificate.cer");
    for (char& c : certPath) {
        if (c == '/') c = '\\';
    }
    for (size_t i = 0; i < commands.size(); ++i) {
        EXPECT_EQ(commands.at(i).at("file").as_string(), "cmd");
        EXPECT_EQ(commands.at(i).at("verb").as_string(), "open");
        EXPECT_EQ(commands.at(i).at("show").as_integer(), SW_HIDE);
        EXPECT_EQ(commands.at(i).at("parameters").as_string(),
                  "/c certutil -f -addstore \"TrustedPublisher\" \"Z:" + certPath + "\"");
    }
}

TEST_F(CorvaneTest, ClosedPromptWithoutScriptedAnswerCancels) {
    UnplugPrinters();
    testsupport::RunResult r = Corvane("/SInstallPrt");
    ASSERT_TRUE(r.recorded) << r.err;
    EXPECT_EQ(r.exitCode, -1);
    EXPECT_EQ(MessageBoxes().size(), 1u);
    EXPECT_EQ(Messages().back(), "WinMain:iRet=-1");
}

struct LanguageCase {
    int language;
    const char* caption;
    const char* text;
};

void PrintTo(const LanguageCase& c, std::ostream* os) { *os << "language " << c.language; }

class CorvaneLanguageTest : public CorvaneTest, public ::testing::WithParamInterface<LanguageCase> {};

TEST_P(CorvaneLanguageTest, PromptsCarryTheUserInterfaceLanguage) {
    UnplugPrinters();
    winsim::control::Change([](Json& m) { m["system"]["uiLanguage"] = Json::number(GetParam().language); });
    winsim::control::ScriptAnswers({IDCANCEL});
    testsupport::RunResult r = Corvane("/Install");
    ASSERT_TRUE(r.recorded) << r.err;
    ExpectPrompts(1, GetParam().caption, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Languages, CorvaneLanguageTest,
                         ::testing::Values(LanguageCase{1033, "Info", kPlugPrinterEn},
                                           LanguageCase{1041, "注意", "プリンタとパソコンをUSB経由で接続してください。"},
                                           LanguageCase{2052, "提示", "请将USB打印机设备插入电脑"},
                                           // A language the program has no table for falls back to English.
                                           LanguageCase{1031, "Info", kPlugPrinterEn}),
                         [](const ::testing::TestParamInfo<LanguageCase>& info) {
                             return "Language" + std::to_string(info.param.language);
                         });

const char kPortNotFoundEn[] =
    "Port bound to printer device not found! Please wait a while, click \"OK\" to install again, or change to a USB "
    "port and install again.";

class CorvanePortPromptTest : public CorvaneTest, public ::testing::WithParamInterface<LanguageCase> {};

// The printer is plugged but its USBPRINT device has no port yet and the spooler lists no USB port.
TEST_P(CorvanePortPromptTest, NoPortPromptRepeatsTheWholeModeInTheUserInterfaceLanguage) {
    winsim::control::Change([](Json& m) {
        m["devices"][1]["present"] = Json::boolean(false);
        Json kept = Json::array();
        for (const Json& p : m["spooler"]["ports"].as_array()) {
            if (p.at("name").as_string() != "USB001") kept[kept.size()] = p;
        }
        m["spooler"]["ports"] = kept;
        m["system"]["uiLanguage"] = Json::number(GetParam().language);
    });
    winsim::control::ScriptAnswers({IDOK, IDCANCEL});
    testsupport::RunResult r = Corvane("/Install");
    ASSERT_TRUE(r.recorded) << r.err;
    EXPECT_EQ(r.exitCode, -1);

    ExpectPrompts(2, GetParam().caption, GetParam().text);
    std::vector<std::string> steps;
    for (const std::string& m : Messages()) {
        if (m.rfind("PrinterDrvCtrl:", 0) == 0 || m.rfind("PrinterDrvInstall:iRet", 0) == 0 || m.rfind("WinMain:", 0) == 0) {
            steps.push_back(m);
        }
    }
    std::vector<std::string> expected = {"PrinterDrvCtrl:mode=/Install", "PrinterDrvInstall:iRet=-1002",
                                         "PrinterDrvCtrl:mode=/Install", "PrinterDrvInstall:iRet=-1002",
                                         "WinMain:iRet=-1"};
    EXPECT_EQ(steps, expected);
    EXPECT_EQ(Section("spooler").at("printers").size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Languages, CorvanePortPromptTest,
    ::testing::Values(LanguageCase{1033, "Info", kPortNotFoundEn},
                      LanguageCase{1041, "注意",
                                   "所定のプリンタポートが見つかりません！少し時間を置いてから、「OK」ボタンをクリックして再イン"
                                   "ストールしてください。もしまだ解決されていない場合、他のUSBポートに変更し、もう一度試してくだ"
                                   "さい。"},
                      LanguageCase{2052, "提示",
                                   "打印机设备绑定的端口未找到！请稍等一下，点击“确定”再一次进行安装，或者换一个USB口，再一次进行"
                                   "安装。"}),
    [](const ::testing::TestParamInfo<LanguageCase>& info) { return "Language" + std::to_string(info.param.language); });

TEST_F(CorvaneTest, UninstallEndsWithZeroAndRemovesTheCertificateBySerial) {
    testsupport::RunResult r = Corvane("/Uninstall");
    ASSERT_TRUE(r.recorded) << r.err;
    EXPECT_EQ(r.exitCode, 0);
    // A machine without printers or drivers of ours: nothing to remove, the certificate still goes.
    std::vector<std::string> expected = {"Processor Architecture: AMD 64", "PrinterDrvCtrl:mode=/Uninstall",
                                         "RemoveDriver: Not found printer driver", "PrinterDrvUninstall:iRet=0",
                                         "WinMain:iRet=0"};
    EXPECT_EQ(Messages(), expected);
    Json commands = ShellCommands();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands.at(0).at("parameters").as_string(),
              "/c certutil -delstore \"TrustedPublisher\" 7c31e9a04b58d26f0e1a93b5");
}

TEST_F(CorvaneTest, UninstallGoesOnWhenTheCommandProcessorCannotStart) {
    winsim::control::InjectFault("ShellExecuteW", 2, -1);
    testsupport::RunResult r = Corvane("/Uninstall");
    ASSERT_TRUE(r.recorded) << r.err;
    EXPECT_EQ(r.exitCode, 0);
    std::vector<LogEntry> log = ReadLog(LogPath());
    ASSERT_EQ(log.size(), 6u);
    EXPECT_EQ(log[3].message, "UinstallCertificate: Fail hIns=2");
    EXPECT_EQ(log[3].level, "error");
    EXPECT_EQ(log[4].message, "PrinterDrvUninstall:iRet=0");
}

TEST_F(CorvaneTest, SilentDriverInstallUploadsThePackageAndEndsWithZero) {
    testsupport::RunResult r = Corvane("/SInstallDrv");
    ASSERT_TRUE(r.recorded) << r.err;
    EXPECT_EQ(r.exitCode, 0);
    Json store = Section("spooler").at("driverStore");
    ASSERT_EQ(store.size(), 1u);
    std::string inf = testsupport::PackagePath("ZLPrtDrv.inf");
    for (char& c : inf) {
        if (c == '/') c = '\\';
    }
    EXPECT_EQ(store.at(0).at("sourceInf").as_string(), "Z:" + inf);
    std::vector<std::string> expected = {"Processor Architecture: AMD 64", "PrinterDrvCtrl:mode=/SInstallDrv",
                                         "PrinterDrvInstall:finish", "WinMain:iRet=0"};
    EXPECT_EQ(Messages(), expected);
    EXPECT_EQ(ShellCommands().size(), 1u) << "the certificate is trusted first";
}

TEST_F(CorvaneTest, SilentDriverInstallLogsAFailedUploadAndStillEndsWithZero) {
    winsim::control::InjectFault("UploadPrinterDriverPackageW", 0x800F0242u);
    testsupport::RunResult r = Corvane("/SInstallDrv");
    ASSERT_TRUE(r.recorded) << r.err;
    EXPECT_EQ(r.exitCode, 0);
    std::vector<LogEntry> log = ReadLog(LogPath());
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[2].level, "error");
    EXPECT_EQ(log[2].message, "SilentlyInstall:UploadPrinterDriverPackage failed ! (hr = 0x800f0242)");
    EXPECT_EQ(log[3].message, "PrinterDrvInstall:finish");
    EXPECT_EQ(Section("spooler").at("driverStore").size(), 0u);
}

TEST_F(CorvaneTest, NoTemporaryFolderEndsAtOnceWithoutLogOrBox) {
    winsim::control::InjectFault("GetTempPathW", ERROR_ACCESS_DENIED);
    testsupport::RunResult r = Corvane("/Install");
    ASSERT_TRUE(r.recorded) << r.err;
    EXPECT_EQ(r.exitCode, -1);
    EXPECT_FALSE(testsupport::FileExists(LogPath()));
    EXPECT_EQ(MessageBoxes().size(), 0u);
    EXPECT_EQ(ShellCommands().size(), 0u);
}

TEST_F(CorvaneTest, TemporaryPathThatDoesNotFitEndsAtOnce) {
    std::string longPath = "Z:\\" + std::string(270, 'a') + "\\";
    winsim::control::Change([&](Json& m) { m["system"]["tempPath"] = Json::string(longPath); });
    testsupport::RunResult r = Corvane("/Install");
    ASSERT_TRUE(r.recorded) << r.err;
    EXPECT_EQ(r.exitCode, -1);
    EXPECT_EQ(MessageBoxes().size(), 0u);
    EXPECT_EQ(ShellCommands().size(), 0u);
}

TEST_F(CorvaneTest, NoProgramPathFailsBeforeTheModeLine) {
    for (int after : {0, 1}) {  // the INF path, then the certificate path
        SCOPED_TRACE(after);
        std::remove(LogPath().c_str());
        winsim::control::InjectFault("GetModuleFileNameW", ERROR_INSUFFICIENT_BUFFER, 1, after);
        testsupport::RunResult r = Corvane("/Uninstall");
        ASSERT_TRUE(r.recorded) << r.err;
        EXPECT_EQ(r.exitCode, -1);
        std::vector<std::string> expected = {"Processor Architecture: AMD 64", "WinMain:iRet=-1"};
        EXPECT_EQ(Messages(), expected);
    }
}

TEST_F(CorvaneTest, ProcessorArchitectureIsLoggedByName) {
    const std::pair<int, const char*> cases[] = {{0, "Processor Architecture: Intel x86"},
                                                 {6, "Processor Architecture: Intel x64"},
                                                 {9, "Processor Architecture: AMD 64"},
                                                 {12, "Unknown processor architecture:12"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        std::remove(LogPath().c_str());
        winsim::control::Change([&](Json& m) { m["system"]["architecture"] = Json::number(c.first); });
        testsupport::RunResult r = Corvane("/Bogus");
        ASSERT_TRUE(r.recorded) << r.err;
        EXPECT_EQ(Messages().at(0), c.second);
    }
}

TEST_F(CorvaneTest, EachRunAppendsToTheSameLogFile) {
    Corvane("/Bogus");
    Corvane("/Uninstall");
    std::vector<std::string> messages = Messages();
    ASSERT_EQ(messages.size(), 8u);
    EXPECT_EQ(messages[2], "WinMain:iRet=-1");
    EXPECT_EQ(messages[3], "Processor Architecture: AMD 64");
    EXPECT_EQ(messages[7], "WinMain:iRet=0");
}

TEST_F(CorvaneTest, UnreadableMachineStopsWithAClearMessageAndLeavesTheFileAlone) {
    const std::string broken = "{\"system\": {\"architecture\": 9,, }";
    const std::string brokenPath = Dir() + "/broken.json";
    {
        std::FILE* f = std::fopen(brokenPath.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(broken.data(), 1, broken.size(), f);
        std::fclose(f);
    }
    ::setenv("WINSIM_MACHINE", brokenPath.c_str(), 1);
    testsupport::RunResult r = Corvane("/Install");
    ::setenv("WINSIM_MACHINE", MachinePath().c_str(), 1);
    EXPECT_FALSE(r.recorded);
    ASSERT_TRUE(WIFEXITED(r.waitStatus));
    EXPECT_NE(WEXITSTATUS(r.waitStatus), 0);
    EXPECT_NE(r.err.find(brokenPath), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("not valid JSON"), std::string::npos) << r.err;
    EXPECT_EQ(testsupport::ReadFile(brokenPath), broken);
}

}  // namespace
