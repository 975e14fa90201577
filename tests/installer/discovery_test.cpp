// Discovery: the IEEE 1284 id look-up and PrinterDrvInstall's walk over the plugged USB printers.
#include "InstallerTest.h"

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

namespace {

using installertest::InstallerTest;
using installertest::Json;
using winsim::control::Change;
using winsim::control::InjectFault;

const char kUnmapped[] = "PrinterDrvInstall:Get1284IdMapping is NULL(1284ID=";
const char kNoPrunavelHere[] = "Prunavel:erro=3";  // ERROR_PATH_NOT_FOUND: the test folder has no amd64
// Without a driver package the installer's own road ends at the driver-store upload: the file is missing.
const int kNoPackage = -1003;
const int32_t kPackageMissing = static_cast<int32_t>(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));

std::string DevCount(int n) { return "PrinterDrvInstall:devcount=" + std::to_string(n); }

int Count(const std::vector<std::string>& lines, const std::string& line) {
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

TEST(Get1284IdMapping, ReadsModelThenMdlUpToTheNextSemicolonAndComparesExactly) {
    const struct {
        const wchar_t* id;
        int modelId;  // 0: no row
    } cases[] = {
        {L"MFG:X;MDL:Brisora40;CMD:Y;", 46},
        {L"MODEL:Brisora40P;MDL:Brisora40;", 47},
        {L"MDL:Brisora40P;MODEL:Brisora40;", 46},  // MODEL: wins wherever it stands
        {L"MODEL:;MDL:Brisora40;", 0},             // an empty MODEL: still hides MDL:
        {L"model:Brisora40P;MDL:Brisora40;", 46},  // keys are case-sensitive
        {L"MDL:Brisora40;MDL:Brisora40P;", 46},
        {L"MDL:Brisora40P;", 47},  // the first model's name is a prefix of this one
        {L"MDL:Brisora40", 0},
        {L"MDL:brisora40;", 0},
        {L"MDL: Brisora40;", 0},
        {L"MDL:Brisora40 ;", 0},
        {L"MFG:Zelvanta;CMD:TSPL;", 0},
        {L"", 0},
    };
    CPrinterDeviceObject& device = CPrinterDeviceObject::GetInstance();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.id, c.id + std::wcslen(c.id)));
        const PrinterModelInfo* row = device.Get1284IdMapping(c.id);
        if (c.modelId == 0) {
            EXPECT_EQ(row, nullptr);
            continue;
        }
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->modelId, c.modelId);
        EXPECT_TRUE(row >= std::begin(gPrinterModelTable) && row < std::end(gPrinterModelTable)) << "a row of the table";
    }
}

class DiscoveryTest : public InstallerTest {};

TEST_F(DiscoveryTest, NoInterfaceListEndsWithMinusOneAndLogsNothing) {
    InjectFault("SetupDiGetClassDevsW", ERROR_INVALID_PARAMETER);
    EXPECT_EQ(PrinterDrvInstall(), -1);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(DiscoveryTest, PluggedPrinterIsInstalledThroughPrunavel) {
    UsePackageFolder();
    EXPECT_EQ(PrinterDrvInstall(), 0);
    EXPECT_STREQ(gszDriverName, L"Brisora-40");
    std::vector<std::string> expected = {DevCount(1), "Prunavel:dwExitCode=0", "InstallFromPrunavel:iRet=0"};
    EXPECT_EQ(WalkMessages(), expected);
    std::vector<std::pair<std::string, std::string>> queues = {{"Brisora-40", "USB001"}};
    EXPECT_EQ(testsupport::Queues(), queues);
}

TEST_F(DiscoveryTest, FailedInstallFallsBackToTheInstallersOwnRoad) {
    // Run from the test folder, where there is no Prunavel to start, with the package's INF named.
    std::string inf = installertest::Win32Path(testsupport::PackagePath("ZLPrtDrv.inf"));
    wcscpy_s(gszInfPath, kPathChars, std::wstring(inf.begin(), inf.end()).c_str());
    EXPECT_EQ(PrinterDrvInstall(), 0) << "the installer's own road installed the printer";
    EXPECT_EQ(CPrinterDeviceObject::GetInstance().lastError, ERROR_PATH_NOT_FOUND) << "the failed start, kept";
    EXPECT_STREQ(gszDriverName, L"Brisora-40");
    std::vector<std::string> expected = {DevCount(1), kNoPrunavelHere, "InstallFromPrunavel:iRet=-1009"};
    EXPECT_EQ(WalkMessages(), expected);
    std::vector<std::string> messages = Messages();
    EXPECT_EQ(Count(messages, "InstallDrv:Port=USB001"), 1);
    std::vector<std::pair<std::string, std::string>> queues = {{"Brisora-40", "USB001"}};
    EXPECT_EQ(testsupport::Queues(), queues);

    // Without the package that road fails, and its failure is the answer.
    Restart();
    gszInfPath[0] = L'\0';
    EXPECT_EQ(PrinterDrvInstall(), kNoPackage);
    EXPECT_EQ(CPrinterDeviceObject::GetInstance().lastError, kPackageMissing);
    EXPECT_TRUE(testsupport::Queues().empty());
}

TEST_F(DiscoveryTest, UnknownDeviceKeepsTheEarlierResultAndDriverName) {
    const int alone = PrinterDrvInstall();
    ASSERT_EQ(alone, kNoPackage) << "the first printer's install is to fail here";
    Restart();
    PlugUsbPrinter("B", "MFG:Other;MDL:Unknown;");
    EXPECT_EQ(PrinterDrvInstall(), alone) << "the first printer's failed install must still show";
    EXPECT_STREQ(gszDriverName, L"Brisora-40");
    std::vector<testsupport::LogEntry> log = Entries();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().level, "error");
    // The text after the reply's two length bytes, whole.
    EXPECT_EQ(log.back().message, std::string(kUnmapped) + "MFG:Other;MDL:Unknown;)");
}

TEST_F(DiscoveryTest, OnlyUnknownDevicesFindNoPrinterAndLeaveTheDriverNameAlone) {
    Change([](Json& m) { m["devices"][0]["interfaces"][0]["ieee1284Id"] = Json::string("MFG:Zelvanta;MDL:Brisora50;"); });
    wcscpy_s(gszDriverName, kPathChars, L"Earlier");
    EXPECT_EQ(PrinterDrvInstall(), -99);
    EXPECT_STREQ(gszDriverName, L"Earlier");
    std::vector<std::string> expected = {DevCount(1), std::string(kUnmapped) + "MFG:Zelvanta;MDL:Brisora50;)"};
    EXPECT_EQ(Messages(), expected);
}

TEST_F(DiscoveryTest, OnlyTheFirstHardwareIdDecidesWhetherTheDeviceIsOpened) {
    const struct {
        std::vector<std::string> hardwareIds;
        bool ours;
    } cases[] = {
        {{"USB\\VID_0483&PID_9999"}, false},
        {{"USB\\VID_1234&PID_5741"}, false},
        {{"USB\\VID_1234&PID_0001", "USB\\VID_0483&PID_5741"}, false},
        {{"USB\\VID_5741&PID_0483"}, true},  // both numbers, wherever they stand
        {{"USB\\VID_0483&PID_5741&REV_0200", "USB\\VID_1234&PID_0001"}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hardwareIds.front());
        Restart();
        Change([&](Json& m) {
            Json ids = Json::array();
            for (size_t i = 0; i < c.hardwareIds.size(); ++i) ids[i] = Json::string(c.hardwareIds[i]);
            m["devices"][0]["hardwareIds"] = ids;
        });
        // Opening the device consumes this fault; a device that cannot be opened is passed over silently.
        InjectFault("CreateFileW", ERROR_ACCESS_DENIED);
        EXPECT_EQ(PrinterDrvInstall(), -99);
        EXPECT_EQ(testsupport::FaultPending("CreateFileW"), !c.ours);
        std::vector<std::string> expected = {DevCount(1)};
        if (!c.ours) expected.push_back("PrinterDrvInstall:hardwareId=" + c.hardwareIds.front());
        EXPECT_EQ(Messages(), expected);
    }
}

TEST_F(DiscoveryTest, DeviceThatCannotBeOpenedIsPassedOverForTheNext) {
    PlugUsbPrinter("B", "MDL:Brisora40P;");
    InjectFault("CreateFileW", ERROR_ACCESS_DENIED);
    EXPECT_EQ(PrinterDrvInstall(), kNoPackage);
    EXPECT_EQ(CPrinterDeviceObject::GetInstance().lastError, kPackageMissing);
    EXPECT_STREQ(gszDriverName, L"Brisora-40P");
    std::vector<std::string> expected = {DevCount(1), DevCount(2), kNoPrunavelHere, "InstallFromPrunavel:iRet=-1009"};
    EXPECT_EQ(WalkMessages(), expected);
}

TEST_F(DiscoveryTest, DevicePathTooLongForItsBufferIsPassedOverForTheNext) {
    // The walk keeps a device path in 1024 characters, the terminator included.
    auto setPathOfFirstDevice = [](size_t length) {
        const std::string head = "\\\\?\\usb#vid_0483&pid_5741#";
        const std::string tail = "#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
        const std::string path = head + std::string(length - head.size() - tail.size(), 'x') + tail;
        Change([&](Json& m) { m["devices"][0]["interfaces"][0]["devicePath"] = Json::string(path); });
    };
    setPathOfFirstDevice(1023);
    EXPECT_NE(PrinterDrvInstall(), -99);
    EXPECT_STREQ(gszDriverName, L"Brisora-40");

    for (size_t length : {1024u, 1025u, 4000u}) {
        SCOPED_TRACE(length);
        Restart();
        PlugUsbPrinter("B", "MDL:Brisora40P;");
        setPathOfFirstDevice(length);
        EXPECT_NE(PrinterDrvInstall(), -99);
        EXPECT_STREQ(gszDriverName, L"Brisora-40P");
        std::vector<std::string> expected = {DevCount(1), DevCount(2), kNoPrunavelHere, "InstallFromPrunavel:iRet=-1009"};
        EXPECT_EQ(WalkMessages(), expected);
    }
    // Alone, such a device finds no printer.
    Restart();
    setPathOfFirstDevice(1024);
    EXPECT_EQ(PrinterDrvInstall(), -99);
    EXPECT_EQ(WalkMessages(), std::vector<std::string>{DevCount(1)});
}

TEST_F(DiscoveryTest, ReplyWithoutTerminatorIsReadOnlyAsFarAsTheBuffer) {
    // The reply buffer is 512 bytes, two of them the length: at most 510 characters of id arrive.
    for (size_t length : {509u, 510u, 511u, 700u}) {
        SCOPED_TRACE(length);
        Restart();
        std::string id = "MFG:" + std::string(length - 4, 'y');
        Change([&](Json& m) { m["devices"][0]["interfaces"][0]["ieee1284Id"] = Json::string(id); });
        EXPECT_EQ(PrinterDrvInstall(), -99);
        std::vector<std::string> expected = {DevCount(1), kUnmapped + id.substr(0, 510) + ")"};
        EXPECT_EQ(Messages(), expected);
    }
    // A model field inside the first 510 characters is still found.
    Change([](Json& m) {
        m["devices"][0]["interfaces"][0]["ieee1284Id"] = Json::string("MDL:Brisora40P;" + std::string(900, 'z'));
    });
    EXPECT_EQ(PrinterDrvInstall(), kNoPackage);
    EXPECT_EQ(CPrinterDeviceObject::GetInstance().lastError, kPackageMissing);
    EXPECT_STREQ(gszDriverName, L"Brisora-40P");
}

struct EndingCase {
    const char* function;
    DWORD error;
    int callsBefore;  // successful calls of the function for one device before the one that fails
    int code;
    const char* lastLine;  // null: the walk ends right after the device's devcount line
};

void PrintTo(const EndingCase& c, std::ostream* os) { *os << c.function; }

class WalkEndingTest : public InstallerTest, public ::testing::WithParamInterface<std::tuple<EndingCase, int>> {};

TEST_P(WalkEndingTest, EndsTheWalkAndCountsOnlyAfterAMappedDevice) {
    const EndingCase& c = std::get<0>(GetParam());
    const int failing = std::get<1>(GetParam());  // 0-based index of the device whose call fails
    int firstDeviceCalls = 0;
    if (failing == 1) {
        // The first printer's own install makes calls of its own: count them on that printer alone.
        const int plenty = 1000000;
        InjectFault(c.function, c.error, 1, plenty);
        PrinterDrvInstall();
        firstDeviceCalls = plenty - static_cast<int>(FaultOf(c.function).at("after").as_integer());
        Restart();
    }
    PlugUsbPrinter("B", "MDL:Brisora40P;");
    PlugUsbPrinter("C", "MFG:Zelvanta;MDL:Brisora40;");
    InjectFault(c.function, c.error, 1, firstDeviceCalls + c.callsBefore);

    EXPECT_EQ(PrinterDrvInstall(), failing == 0 ? -99 : c.code);
    EXPECT_FALSE(testsupport::FaultPending(c.function));
    std::vector<std::string> messages = WalkMessages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), c.lastLine ? std::string(c.lastLine) : DevCount(failing + 1));
    EXPECT_EQ(Count(messages, DevCount(failing + 2)), 0) << "no device after the failing one is looked at";
    EXPECT_STREQ(gszDriverName, failing == 0 ? L"" : L"Brisora-40");
}

const EndingCase kEndingCases[] = {
    {"GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY, 0, -3, nullptr},
    {"SetupDiGetDeviceInterfaceDetailW", ERROR_INVALID_USER_BUFFER, 1, -2, nullptr},
    {"SetupDiGetDeviceRegistryPropertyW", ERROR_NOT_SUPPORTED, 0, -6, nullptr},
    {"DeviceIoControl", ERROR_GEN_FAILURE, 0, -12, "PrinterDrvInstall:Failed to get 1284 ID"},
    {"CloseHandle", ERROR_INVALID_HANDLE, 0, -97, nullptr},
};

INSTANTIATE_TEST_SUITE_P(Failures, WalkEndingTest, ::testing::Combine(::testing::ValuesIn(kEndingCases), ::testing::Values(0, 1)),
                         [](const ::testing::TestParamInfo<std::tuple<EndingCase, int>>& info) {
                             return std::string(std::get<0>(info.param).function) + "_Device" +
                                    std::to_string(std::get<1>(info.param) + 1);
                         });

TEST_F(DiscoveryTest, TwoPrintersInstallInEnumerationOrderAndTheSecondDecides) {
    UsePackageFolder();
    const struct {
        bool firstPlugged;
        bool secondPlugged;
    } cases[] = {{true, true}, {true, false}, {false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.firstPlugged) + std::to_string(c.secondPlugged));
        Restart();
        std::remove(PrunavelLogPath().c_str());
        PlugUsbPrinter("B", "MDL:Brisora40P;");
        testsupport::PlugSecondModelPrintDevice();
        // Without its USBPRINT device, Prunavel cannot install that printer.
        SetPresent("USBPRINT\\BRISORA40\\7&1A2B3C4D&0&USB001", c.firstPlugged);
        SetPresent("USBPRINT\\BRISORA40P\\7&5E6F7A8B&0&USB002", c.secondPlugged);

        int result = PrinterDrvInstall();
        if (c.secondPlugged) {
            EXPECT_EQ(result, 0);
        } else {
            EXPECT_EQ(result, kNoPackage) << "the first printer's success must not show";
            EXPECT_EQ(CPrinterDeviceObject::GetInstance().lastError, kPackageMissing);
        }
        EXPECT_STREQ(gszDriverName, L"Brisora-40P");
        std::vector<std::pair<std::string, std::string>> queues = testsupport::Queues();
        auto has = [&](const char* name, const char* port) {
            return std::count(queues.begin(), queues.end(), std::make_pair(std::string(name), std::string(port))) == 1;
        };
        EXPECT_EQ(has("Brisora-40", "USB001"), c.firstPlugged);
        if (c.secondPlugged) {
            EXPECT_TRUE(has("Brisora-40P", "USB002"));
        }

        std::vector<std::string> exits;
        for (const std::string& line : WalkMessages()) {
            if (line.rfind("Prunavel:dwExitCode=", 0) == 0) exits.push_back(line);
        }
        std::vector<std::string> expected = {c.firstPlugged ? "Prunavel:dwExitCode=0" : "Prunavel:dwExitCode=fffffc17",
                                             c.secondPlugged ? "Prunavel:dwExitCode=0" : "Prunavel:dwExitCode=fffffc17"};
        EXPECT_EQ(exits, expected);
        std::vector<std::string> models;
        for (const testsupport::LogEntry& e : testsupport::ReadLog(PrunavelLogPath())) {
            if (e.message.rfind("Prunavel:model=", 0) == 0) models.push_back(e.message.substr(0, 17));
        }
        std::vector<std::string> order = {"Prunavel:model=46", "Prunavel:model=47"};
        EXPECT_EQ(models, order);
    }
}

}  // namespace
