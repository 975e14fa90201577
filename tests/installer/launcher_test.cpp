// The launcher: which Prunavel is started for the processor, and how its exit code becomes the result.
#include "InstallerTest.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using installertest::InstallerTest;
using installertest::Json;
using installertest::Win32Path;
using winsim::control::Change;
using winsim::control::InjectFault;

std::string Hex(int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(value));
    return text;
}

class LauncherTest : public InstallerTest {};

TEST_F(LauncherTest, ProcessorArchitectureChoosesThePrunavelFolder) {
    UsePackageFolder();
    testsupport::PlugSecondModelPrintDevice();
    const size_t baseForms = FormCount();
    const struct {
        WORD architecture;
        int modelId;
        const wchar_t* printerName;
        const char* folder;
    } cases[] = {{PROCESSOR_ARCHITECTURE_AMD64, 46, L"Brisora-40", "amd64"},
                 {PROCESSOR_ARCHITECTURE_INTEL, 47, L"Brisora-40P", "x86"}};
    std::vector<std::string> expected;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        giProcessorArch = c.architecture;
        EXPECT_EQ(InstallFromPrunavel(c.modelId, c.printerName), 0);
        // Only a successful run goes on to add the forms.
        EXPECT_GT(FormCount(), baseForms);
        expected.push_back("Prunavel:model=" + std::to_string(c.modelId) + ", gszInfFilePath=" +
                           Win32Path(testsupport::PackagePath(c.folder)) + "\\..\\ZLPrtDrv.inf!");
    }
    std::vector<std::string> models;
    for (const testsupport::LogEntry& e : testsupport::ReadLog(PrunavelLogPath())) {
        if (e.message.rfind("Prunavel:model=", 0) == 0) models.push_back(e.message);
    }
    EXPECT_EQ(models, expected);
    std::vector<std::pair<std::string, std::string>> queues = {{"Brisora-40", "USB001"}, {"Brisora-40P", "USB002"}};
    EXPECT_EQ(testsupport::Queues(), queues);
    std::vector<std::string> lines = {"Prunavel:dwExitCode=0", "Prunavel:dwExitCode=0"};
    EXPECT_EQ(WalkMessages(), lines);
}

TEST_F(LauncherTest, OtherArchitecturesStartNothing) {
    UsePackageFolder();
    const size_t baseForms = FormCount();
    for (WORD architecture : {WORD{PROCESSOR_ARCHITECTURE_IA64}, WORD{12}}) {
        SCOPED_TRACE(architecture);
        Restart();
        giProcessorArch = architecture;
        EXPECT_EQ(InstallFromPrunavel(46, L"Brisora-40"), -1009);
        // The start of an empty command line fails, and its error is the reason kept.
        EXPECT_EQ(CPrinterDeviceObject::GetInstance().lastError, ERROR_PATH_NOT_FOUND);
        std::vector<std::string> expected = {"Prunavel:erro=3"};
        EXPECT_EQ(Messages(), expected);
    }
    EXPECT_FALSE(testsupport::FileExists(PrunavelLogPath()));
    EXPECT_EQ(winsim::control::Read().at("processes").size(), 0u);
    EXPECT_EQ(FormCount(), baseForms);
}

TEST_F(LauncherTest, ProgramThatCannotStartLeavesItsErrorBehind) {
    UsePackageFolder();
    InjectFault("CreateProcessA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(InstallFromPrunavel(46, L"Brisora-40"), -1009);
    EXPECT_EQ(CPrinterDeviceObject::GetInstance().lastError, ERROR_ACCESS_DENIED);
    std::vector<std::string> expected = {"Prunavel:erro=5"};
    EXPECT_EQ(Messages(), expected);
}

TEST_F(LauncherTest, NonZeroExitCodeBecomesTheLastError) {
    UsePackageFolder();
    const struct {
        const char* name;
        std::function<void()> arrange;
        uint32_t exitCode;
    } cases[] = {
        {"no USBPRINT device", [] { SetPresent("USBPRINT\\BRISORA40\\7&1A2B3C4D&0&USB001", false); }, 0xFFFFFC17u},
        {"no driver selected", [] { InjectFault("UpdateDriverForPlugAndPlayDevicesW", 0xE0000203u); }, 0xE0000203u},
        {"no such device, every try", [] { InjectFault("UpdateDriverForPlugAndPlayDevicesW", 0xE000020Bu, -1); },
         0xE000020Bu},
        {"install failed without an error code", [] { InjectFault("UpdateDriverForPlugAndPlayDevicesW", 0u); },
         0xFFFFFC16u},
    };
    const size_t baseForms = FormCount();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        c.arrange();
        CPrinterDeviceObject::GetInstance().lastError = 77;
        EXPECT_EQ(InstallFromPrunavel(46, L"Brisora-40"), -1009);
        EXPECT_EQ(CPrinterDeviceObject::GetInstance().lastError, static_cast<int32_t>(c.exitCode));
        std::string hex = Hex(static_cast<int32_t>(c.exitCode));
        std::vector<std::string> expected = {"Prunavel:dwExitCode=" + hex, "Prunavel:erro=" + hex};
        EXPECT_EQ(Messages(), expected);
        EXPECT_TRUE(testsupport::Queues().empty());
        EXPECT_EQ(FormCount(), baseForms);
    }
}

TEST_F(LauncherTest, ZeroExitCodeLeavesTheLastErrorAlone) {
    UsePackageFolder();
    const size_t baseForms = FormCount();
    CPrinterDeviceObject::GetInstance().lastError = 1234;
    EXPECT_EQ(InstallFromPrunavel(46, L"Brisora-40"), 0);
    EXPECT_EQ(CPrinterDeviceObject::GetInstance().lastError, 1234);
    std::vector<std::string> expected = {"Prunavel:dwExitCode=0"};
    EXPECT_EQ(WalkMessages(), expected);
    EXPECT_GT(FormCount(), baseForms);
    std::vector<std::pair<std::string, std::string>> queues = {{"Brisora-40", "USB001"}};
    EXPECT_EQ(testsupport::Queues(), queues);
}

TEST_F(LauncherTest, UnreadableExitCodeFailsWithTheReadError) {
    UsePackageFolder();
    const size_t baseForms = FormCount();
    InjectFault("GetExitCodeProcess", ERROR_ACCESS_DENIED);
    // A fault that never fires: what is left of its "after" counts the CloseHandle calls.
    const int plenty = 1000000;
    InjectFault("CloseHandle", ERROR_INVALID_HANDLE, 1, plenty);
    CPrinterDeviceObject::GetInstance().lastError = 77;

    EXPECT_EQ(InstallFromPrunavel(46, L"Brisora-40"), -1009);
    EXPECT_FALSE(testsupport::FaultPending("GetExitCodeProcess"));
    EXPECT_EQ(CPrinterDeviceObject::GetInstance().lastError, ERROR_ACCESS_DENIED);
    // The code variable keeps its start value when the read fails.
    std::vector<std::string> expected = {"Prunavel:dwExitCode=0", "Prunavel:erro=5"};
    EXPECT_EQ(Messages(), expected);
    // winsim makes no thread handle, so the one close is the process handle's.
    EXPECT_EQ(plenty - FaultOf("CloseHandle").at("after").as_integer(), 1);
    // Prunavel did install; without its verdict the forms step is skipped all the same.
    std::vector<std::pair<std::string, std::string>> queues = {{"Brisora-40", "USB001"}};
    EXPECT_EQ(testsupport::Queues(), queues);
    EXPECT_EQ(FormCount(), baseForms);
}

TEST_F(LauncherTest, FailedFormsStepStillEndsWithZero) {
    UsePackageFolder();
    const struct {
        const char* function;
        int count;
        const char* line;  // the forms step's own report of the failure
    } cases[] = {
        {"OpenPrinterW", 1, "InitForms:OpenPrinter failed ! (GetLastError = 0x5)"},
        {"AddFormW", 7, "InitForms:addCustomPaper, bRet=0, formName=Custom PRC 16K"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.function);
        Restart();
        const size_t baseForms = FormCount();
        InjectFault(c.function, ERROR_ACCESS_DENIED, c.count);
        CPrinterDeviceObject::GetInstance().lastError = 1234;

        EXPECT_EQ(InstallFromPrunavel(46, L"Brisora-40"), 0);
        EXPECT_FALSE(testsupport::FaultPending(c.function)) << "every injected failure was met";
        EXPECT_EQ(CPrinterDeviceObject::GetInstance().lastError, 1234);
        EXPECT_EQ(FormCount(), baseForms);
        std::vector<std::string> messages = Messages();
        EXPECT_EQ(std::count(messages.begin(), messages.end(), c.line), 1);
        std::vector<std::pair<std::string, std::string>> queues = {{"Brisora-40", "USB001"}};
        EXPECT_EQ(testsupport::Queues(), queues);
    }
}

}  // namespace
