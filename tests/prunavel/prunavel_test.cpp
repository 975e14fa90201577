// Prunavel run as a program: its command line, the wait for the USB port, the plug-and-play install
// with its retries, the log it leaves and its full 32-bit exit code.
#include <windows.h>

#include <TestMachine.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using testsupport::LogEntry;
using winsim::control::Change;
using winsim::control::InjectFault;
using Json = winsim::control::Json;

const char kDeviceId[] = "USBPRINT\\BRISORA40\\7&1A2B3C4D&0&USB001";
const char kWaitFailed[] = "PNPInstallDev::WaitSystemCreateUsbPortFinished failed \xEF\xBC\x81";  // U+FF01
const char kSuccess[] = "PNPInstallDev:Install success \xEF\xBC\x81";
const char kFirstPortLine[] = "pPortName=LPT1:, pMonitorName=Local Port";
const char kUsbPortLine[] = "pPortName=USB001, pMonitorName=USB Monitor";

std::string Win32Path(const std::string& host) {
    std::string path = "Z:" + host;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string UpdateFailed(uint32_t error, const std::string& hardwareId = "USBPRINT\\Brisora40C3F1") {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%x", error);
    return "PNPInstallDev::UpdateDriverForPlugAndPlayDevices failed ! hardwareId=" + hardwareId +
           ", (GetLastError = 0x" + hex + ")";
}

std::string Final(int32_t iRet) { return "Prunavel: PNPInstallDev iRet=" + std::to_string(iRet) + "!"; }

class PrunavelTest : public testsupport::MachineTest {
protected:
    testsupport::RunResult Prunavel(const std::vector<std::string>& args) {
        return testsupport::RunProgram(testsupport::PackagePath("amd64/Prunavel"), args);
    }

    std::vector<LogEntry> Log() const { return testsupport::ReadLog(TempDir() + "ZL/logs/Prunavel.log"); }
    std::vector<std::string> Messages() const {
        std::vector<std::string> out;
        for (const LogEntry& e : Log()) out.push_back(e.message);
        return out;
    }
    int Count(const std::string& line) const {
        std::vector<std::string> m = Messages();
        return static_cast<int>(std::count(m.begin(), m.end(), line));
    }

    std::string PathLine() const { return "Prunavel:gszLogFilePath=" + Win32Path(TempDir()) + "ZL\\logs\\Prunavel.log!"; }
    static std::string ModelLine(const std::string& model) {
        return "Prunavel:model=" + model + ", gszInfFilePath=" + Win32Path(testsupport::PackagePath("amd64")) +
               "\\..\\ZLPrtDrv.inf!";
    }

    // Run in the test folder, so that a log written through a relative path would land below it too.
    testsupport::RunResult PrunavelInTestFolder(const std::vector<std::string>& args) {
        return testsupport::RunProgram(testsupport::PackagePath("amd64/Prunavel"), args, Dir());
    }
    bool AnyLogBelowTestFolder() const {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(Dir())) {
            if (entry.path().filename().string().find("Prunavel.log") != std::string::npos) return true;
        }
        return false;
    }

    static int64_t NowMs() { return winsim::control::Read().at("clock").at("nowMs").as_number().to_int64(); }
    static size_t QueueCount() { return winsim::control::Read().at("spooler").at("printers").size(); }
};

TEST_F(PrunavelTest, WithoutModelArgumentEndsWithMinusOne) {
    testsupport::RunResult r = Prunavel({});
    ASSERT_TRUE(r.recorded) << r.err;
    EXPECT_EQ(r.exitCode, -1);
    std::vector<LogEntry> log = Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].message, PathLine());
    EXPECT_EQ(log[0].level, "trace");
    EXPECT_EQ(log[1].message, "Prunavel: Invalid param!");
    EXPECT_EQ(log[1].level, "error");
    for (const LogEntry& e : log) EXPECT_EQ(e.logger, "Prunavel");
}

TEST_F(PrunavelTest, ModelOfNoRowEndsWithMinusOneAfterTheModelLine) {
    const std::pair<std::string, std::string> cases[] = {{"45", "45"}, {"abc", "0"}, {"", "0"}, {"-46", "-46"}};
    for (const auto& c : cases) {
        SCOPED_TRACE("argument '" + c.first + "'");
        std::remove((TempDir() + "ZL/logs/Prunavel.log").c_str());
        testsupport::RunResult r = Prunavel({c.first});
        ASSERT_TRUE(r.recorded) << r.err;
        EXPECT_EQ(r.exitCode, -1);
        std::vector<std::string> expected = {PathLine(), ModelLine(c.second)};
        EXPECT_EQ(Messages(), expected);
    }
    EXPECT_EQ(QueueCount(), 0u);
}

TEST_F(PrunavelTest, UnreadablePathEndsWithMinusOneBeforeAnyLog) {
    const std::pair<const char*, DWORD> cases[] = {{"GetTempPathW", ERROR_ACCESS_DENIED},
                                                   {"GetModuleFileNameW", ERROR_INSUFFICIENT_BUFFER}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        winsim::control::UseFreshMachine(MachinePath());
        InjectFault(c.first, c.second);
        testsupport::RunResult r = PrunavelInTestFolder({"46"});
        ASSERT_TRUE(r.recorded) << r.err;
        EXPECT_EQ(r.exitCode, -1);
        EXPECT_FALSE(testsupport::FaultPending(c.first));
        EXPECT_FALSE(AnyLogBelowTestFolder());
        EXPECT_EQ(QueueCount(), 0u);
    }
}

TEST_F(PrunavelTest, TemporaryPathLongerThanMaxPathEndsWithMinusOneBeforeAnyLog) {
    const std::string folder = Win32Path(Dir()) + "\\";
    for (size_t length : {261u, 300u}) {
        SCOPED_TRACE(length);
        winsim::control::UseFreshMachine(MachinePath());
        const std::string tempPath = folder + std::string(length - folder.size() - 1, 't') + "\\";
        ASSERT_EQ(tempPath.size(), length);
        Change([&](Json& m) { m["system"]["tempPath"] = Json::string(tempPath); });
        testsupport::RunResult r = PrunavelInTestFolder({"46"});
        ASSERT_TRUE(r.recorded) << r.err;
        EXPECT_EQ(r.exitCode, -1);
        EXPECT_FALSE(AnyLogBelowTestFolder());
        EXPECT_EQ(QueueCount(), 0u);
    }
}

TEST_F(PrunavelTest, PluggedPrinterIsInstalledOnItsPort) {
    testsupport::RunResult r = Prunavel({"46"});
    ASSERT_TRUE(r.recorded) << r.err;
    EXPECT_EQ(r.exitCode, 0);
    std::vector<std::string> expected = {PathLine(),
                                         ModelLine("46"),
                                         "WaitSystemCreateUsbPortFinished  insPathModelName=BRISORA40",
                                         std::string("GetPrinterDeviceBindPort:") + kDeviceId,
                                         kFirstPortLine,
                                         "pPortName=COM1:, pMonitorName=Local Port",
                                         "pPortName=FILE:, pMonitorName=Local Port",
                                         kUsbPortLine,
                                         kSuccess,
                                         Final(0)};
    EXPECT_EQ(Messages(), expected);
    std::vector<LogEntry> log = Log();
    ASSERT_EQ(log.size(), expected.size());
    EXPECT_EQ(log[log.size() - 2].level, "info");
    EXPECT_EQ(log.back().level, "error");

    Json spooler = winsim::control::Read().at("spooler");
    Json drivers = spooler.at("drivers").at("Windows x64");
    ASSERT_EQ(drivers.size(), 1u);
    EXPECT_EQ(drivers.at(0).at("name").as_string(), "Brisora-40");
    ASSERT_EQ(spooler.at("printers").size(), 1u);
    EXPECT_EQ(spooler.at("printers").at(0).at("name").as_string(), "Brisora-40");
    EXPECT_EQ(spooler.at("printers").at(0).at("port").as_string(), "USB001");
    EXPECT_EQ(NowMs(), 0);
}

TEST_F(PrunavelTest, SecondModelIsInstalledThroughItsOwnHardwareIdInOneCall) {
    testsupport::PlugSecondModelPrintDevice();
    // A fault that never fires: what is left of its "after" counts the calls.
    const int plenty = 1000000;
    InjectFault("UpdateDriverForPlugAndPlayDevicesW", ERROR_ACCESS_DENIED, 1, plenty);
    testsupport::RunResult r = Prunavel({"47"});
    ASSERT_TRUE(r.recorded) << r.err;
    EXPECT_EQ(r.exitCode, 0);
    Json faults = winsim::control::Read().at("faults");
    ASSERT_EQ(faults.size(), 1u);
    EXPECT_EQ(plenty - faults.at(0).at("after").as_integer(), 1);
    // Only the device with that hardware id gets a queue: the first model's stays without one.
    std::vector<std::pair<std::string, std::string>> queues = {{"Brisora-40P", "USB002"}};
    EXPECT_EQ(testsupport::Queues(), queues);
    EXPECT_EQ(Messages().back(), Final(0));
}

TEST_F(PrunavelTest, SecondModelsFailedCallNamesItsHardwareId) {
    testsupport::PlugSecondModelPrintDevice();
    InjectFault("UpdateDriverForPlugAndPlayDevicesW", ERROR_ACCESS_DENIED);
    testsupport::RunResult r = Prunavel({"47"});
    ASSERT_TRUE(r.recorded) << r.err;
    EXPECT_EQ(r.exitCode, ERROR_ACCESS_DENIED);
    EXPECT_EQ(Count(UpdateFailed(ERROR_ACCESS_DENIED, "USBPRINT\\Brisora40P7A2E")), 1);
    EXPECT_EQ(Messages().back(), Final(ERROR_ACCESS_DENIED));
    EXPECT_EQ(QueueCount(), 0u);
}

TEST_F(PrunavelTest, WithoutItsUsbPrintDeviceNothingIsInstalled) {
    Change([](Json& m) { m["devices"][1]["present"] = Json::boolean(false); });
    testsupport::RunResult r = Prunavel({"46"});
    ASSERT_TRUE(r.recorded) << r.err;
    EXPECT_EQ(r.exitCode, -1001);
    std::vector<LogEntry> log = Log();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[3].message, kWaitFailed);
    EXPECT_EQ(log[3].level, "error");
    EXPECT_EQ(log[4].message, Final(-1001));
    EXPECT_EQ(QueueCount(), 0u);
}

TEST_F(PrunavelTest, PortIsCheckedOncePerSecondForAtMostThreeMinutes) {
    const struct {
        int64_t listedFromMs;  // -1: the port is never listed
        int checks;
        int32_t exitCode;
        int64_t elapsedMs;
    } cases[] = {
        {9000, 10, 0, 9000},
        {179000, 180, 0, 179000},
        {180000, 180, -1001, 180000},
        {-1, 180, -1001, 180000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.listedFromMs);
        winsim::control::UseFreshMachine(MachinePath());
        std::remove((TempDir() + "ZL/logs/Prunavel.log").c_str());
        Change([&](Json& m) {
            Json& port = m["spooler"]["ports"][3];
            if (c.listedFromMs < 0) port["name"] = Json::string("USB009");
            else port["listedFromMs"] = Json::number(c.listedFromMs);
        });
        testsupport::RunResult r = Prunavel({"46"});
        ASSERT_TRUE(r.recorded) << r.err;
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(NowMs(), c.elapsedMs);
        EXPECT_EQ(Count(kFirstPortLine), c.checks);
        EXPECT_EQ(Count(kUsbPortLine), c.exitCode == 0 ? 1 : 0);
        EXPECT_EQ(Count(kWaitFailed), c.exitCode == 0 ? 0 : 1);
        EXPECT_EQ(Messages().back(), Final(c.exitCode));
        EXPECT_EQ(QueueCount(), c.exitCode == 0 ? 1u : 0u);
    }
}

TEST_F(PrunavelTest, DriverInstallIsRetriedOnlyWhileTheDeviceIsNotReady) {
    const struct {
        uint32_t error;
        int failures;       // how many calls fail
        int tries;          // how many calls are made
        uint32_t exitCode;
        int64_t elapsedMs;
    } cases[] = {
        {0xE0000246u, 2, 3, 0, 4000},
        {0xE000020Bu, 14, 15, 0, 28000},
        {0xE000020Bu, 16, 15, 0xE000020Bu, 30000},
        {0xE0000246u, 16, 15, 0xE0000246u, 30000},
        {0xE0000203u, 3, 1, 0xE0000203u, 0},
        {ERROR_ACCESS_DENIED, 3, 1, ERROR_ACCESS_DENIED, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.error) + " x" + std::to_string(c.failures));
        winsim::control::UseFreshMachine(MachinePath());
        std::remove((TempDir() + "ZL/logs/Prunavel.log").c_str());
        InjectFault("UpdateDriverForPlugAndPlayDevicesW", c.error, c.failures);
        testsupport::RunResult r = Prunavel({"46"});
        ASSERT_TRUE(r.recorded) << r.err;
        EXPECT_EQ(r.exitCode, static_cast<int32_t>(c.exitCode));
        int failedTries = std::min(c.failures, c.tries);
        EXPECT_EQ(Count(UpdateFailed(c.error)), failedTries);
        EXPECT_EQ(Count(kSuccess), c.exitCode == 0 ? 1 : 0);
        EXPECT_EQ(Messages().back(), Final(static_cast<int32_t>(c.exitCode)));
        EXPECT_EQ(NowMs(), c.elapsedMs);
        // Calls never made leave their faults behind.
        Json faults = winsim::control::Read().at("faults");
        int left = faults.size() == 0 ? 0 : faults.at(0).at("count").as_integer();
        EXPECT_EQ(left, c.failures - failedTries);
        EXPECT_EQ(QueueCount(), c.exitCode == 0 ? 1u : 0u);
    }
}

// A failed install that leaves last error 0 must not end in 0, which says the driver was installed: it
// has a code of its own, after the same failure line as any other error and without a retry.
TEST_F(PrunavelTest, InstallFailingWithoutAnErrorCodeEndsWithItsOwnCode) {
    InjectFault("UpdateDriverForPlugAndPlayDevicesW", ERROR_SUCCESS, 2);
    testsupport::RunResult r = Prunavel({"46"});
    ASSERT_TRUE(r.recorded) << r.err;
    EXPECT_EQ(r.exitCode, -1002);
    std::vector<LogEntry> log = Log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2].message, UpdateFailed(0));
    EXPECT_EQ(log[log.size() - 2].level, "error");
    EXPECT_EQ(log.back().message, Final(-1002));
    EXPECT_EQ(log.back().level, "error");
    EXPECT_EQ(Count(UpdateFailed(0)), 1);
    EXPECT_EQ(Count(kSuccess), 0);
    EXPECT_EQ(NowMs(), 0);
    EXPECT_EQ(winsim::control::Read().at("faults").at(0).at("count").as_integer(), 1) << "one call, no retry";
    EXPECT_EQ(QueueCount(), 0u);
}

}  // namespace
