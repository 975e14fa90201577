// The installer's own road: port choice, driver store, the driver wait and the printer's 30 attempts,
// timed exactly on the machine's virtual clock.
#include "InstallerTest.h"

#include <functional>
#include <string>
#include <vector>

namespace {

using installertest::Json;
using winsim::control::Change;
using winsim::control::InjectFault;
using Lines = std::vector<std::string>;

const char kUsbPrint[] = "USBPRINT\\BRISORA40\\7&1A2B3C4D&0&";
const char kUsbId[] = "USB\\VID_0483&PID_5741\\2C0031000B51";
const char kRestart[] = "/c pnputil /restart-device \"USB\\VID_0483&PID_5741\\2C0031000B51\"";
const int32_t kUntouched = 77;

class FallbackTest : public installertest::InstallerTest {
protected:
    void SetUp() override {
        InstallerTest::SetUp();
        std::string inf = installertest::Win32Path(testsupport::PackagePath("ZLPrtDrv.inf"));
        wcscpy_s(gszInfPath, kPathChars, std::wstring(inf.begin(), inf.end()).c_str());
        device.lastError = kUntouched;
    }
    void TearDown() override {
        gszInfPath[0] = L'\0';
        InstallerTest::TearDown();
    }

    int Install() { return device.InstallDrv(L"BRISORA40", L"Brisora-40", L"Brisora-40"); }

    static void Unbind() { Change([](Json& m) { m["devices"][1]["present"] = Json::boolean(false); }); }
    static void BindTo(const std::string& port) {
        Change([&](Json& m) { m["devices"][1]["instanceId"] = Json::string(kUsbPrint + port); });
    }
    // listedFromMs 0: listed from the start.
    static void ListPort(const std::string& name, int64_t listedFromMs = 0) {
        Change([&](Json& m) {
            Json port = Json::object();
            port["name"] = Json::string(name);
            port["monitor"] = Json::string("USB Monitor");
            port["description"] = Json::string("Virtual printer port for USB");
            if (listedFromMs > 0) port["listedFromMs"] = Json::number(listedFromMs);
            m["spooler"]["ports"][m["spooler"]["ports"].size()] = port;
        });
    }
    static void UnlistUsb001() {
        Change([](Json& m) {
            Json kept = Json::array();
            for (const Json& p : m["spooler"]["ports"].as_array()) {
                if (p.at("name").as_string() != "USB001") kept[kept.size()] = p;
            }
            m["spooler"]["ports"] = kept;
        });
    }
    static void AddQueue(const std::string& name, const std::string& driver, const std::string& port) {
        Change([&](Json& m) {
            Json& p = m["spooler"]["printers"][m["spooler"]["printers"].size()];
            p["name"] = Json::string(name);
            p["driver"] = Json::string(driver);
            p["port"] = Json::string(port);
        });
    }
    static void AddDriverEntry(const std::string& name) {
        Change([&](Json& m) {
            Json& list = m["spooler"]["drivers"]["Windows x64"];
            list[list.size()]["name"] = Json::string(name);
        });
    }

    Lines Log() const {
        Lines out;
        for (const testsupport::LogEntry& e : Entries()) out.push_back(e.level + " " + e.message);
        return out;
    }
    int CountLog(const std::string& line) const {
        Lines log = Log();
        return static_cast<int>(std::count(log.begin(), log.end(), line));
    }
    bool Logged(const std::string& prefix) const {
        for (const std::string& line : Messages()) {
            if (line.find(prefix) != std::string::npos) return true;
        }
        return false;
    }
    static Json Shell() { return winsim::control::Read().at("shell").at("commands"); }
    static int64_t Restarts() {
        Json usb = winsim::control::Read().at("devices").at(0);
        return usb.has_field("restarts") ? usb.at("restarts").as_integer() : 0;
    }
    static std::string Port(const std::string& printer) {
        for (const auto& q : testsupport::Queues()) {
            if (q.first == printer) return q.second;
        }
        return "<none>";
    }

    CPrinterDeviceObject& device = CPrinterDeviceObject::GetInstance();
};

std::string AddPrinterFailed(const char* hex) {
    return std::string("error AddPrinterToControlPanel:AddPrinter failed ! (GetLastError = 0x") + hex + ")";
}

TEST_F(FallbackTest, BoundPortIsTakenWithoutAskingForPrintersOrPorts) {
    BindTo("USB003");
    ListPort("USB003");
    AddQueue("Office", "Acme Laser", "USB003");  // an enumeration would have to log this one
    AddDriverEntry("Acme Laser");

    EXPECT_EQ(Install(), 0);
    EXPECT_EQ(Log(), (Lines{
                         std::string("trace GetPrinterDeviceBindPort:") + kUsbPrint + "USB003",
                         "trace InstallDrv:Port=USB003",
                         std::string("trace GetUsbDeviceInstanceId:") + kUsbId,
                         "trace FindPrinterDriverFromName:pName=Acme Laser",
                         "trace FindPrinterDriverFromName:pName=Brisora-40",
                     }));
    EXPECT_FALSE(Logged("pPortName="));
    Json added = winsim::control::Read().at("spooler").at("printers").at(1);
    EXPECT_EQ(added.at("name").as_string(), "Brisora-40");
    EXPECT_EQ(added.at("port").as_string(), "USB003");
    EXPECT_EQ(added.at("driver").as_string(), "Brisora-40");
    EXPECT_EQ(added.at("attributes").as_integer(), 0xA40);
    EXPECT_EQ(added.at("printProcessor").as_string(), "WinPrint");
    EXPECT_EQ(added.at("datatype").as_string(), "RAW");
    EXPECT_EQ(GetTickCount(), 1000u) << "the pause after the upload only";
    EXPECT_EQ(device.lastError, kUntouched);
    EXPECT_STREQ(device.usbInstanceId, L"USB\\VID_0483&PID_5741\\2C0031000B51");
    EXPECT_EQ(Shell().size(), 0u);
}

TEST_F(FallbackTest, FreePortSearchAsksTheSpoolerAfreshForEachCandidate) {
    const struct {
        const char* name;
        std::function<void()> arrange;
        const char* port;
        Lines search;  // every printer and port looked at, in order
    } cases[] = {
        {"USB001 used by a printer, USB002 listed",
         [] {
             AddQueue("Office", "Acme Laser", "USB001");
             ListPort("USB002");
         },
         "USB002",
         {"pPortName=USB001, pPrinterName=Office", "pPortName=USB001, pPrinterName=Office",
          "pPortName=LPT1:, pMonitorName=Local Port", "pPortName=COM1:, pMonitorName=Local Port",
          "pPortName=FILE:, pMonitorName=Local Port", "pPortName=USB001, pMonitorName=USB Monitor",
          "pPortName=USB002, pMonitorName=USB Monitor"}},
        {"USB001 free but not listed, USB002 free and listed",
         [] {
             AddQueue("Office", "Acme Laser", "LPT1:");
             UnlistUsb001();
             ListPort("USB002");
         },
         "USB002",
         {"pPortName=LPT1:, pPrinterName=Office", "pPortName=LPT1:, pMonitorName=Local Port",
          "pPortName=COM1:, pMonitorName=Local Port", "pPortName=FILE:, pMonitorName=Local Port",
          "pPortName=USB002, pMonitorName=USB Monitor", "pPortName=LPT1:, pPrinterName=Office",
          "pPortName=LPT1:, pMonitorName=Local Port", "pPortName=COM1:, pMonitorName=Local Port",
          "pPortName=FILE:, pMonitorName=Local Port", "pPortName=USB002, pMonitorName=USB Monitor"}},
        {"no printer at all, USB001 listed",
         [] {},
         "USB001",
         {"pPortName=LPT1:, pMonitorName=Local Port", "pPortName=COM1:, pMonitorName=Local Port",
          "pPortName=FILE:, pMonitorName=Local Port", "pPortName=USB001, pMonitorName=USB Monitor"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        device.lastError = kUntouched;
        Unbind();
        c.arrange();
        EXPECT_EQ(Install(), 0);
        EXPECT_EQ(Port("Brisora-40"), c.port);
        Lines search;
        for (const std::string& m : Messages()) {
            if (m.rfind("pPortName=", 0) == 0) search.push_back(m);
        }
        EXPECT_EQ(search, c.search);
        EXPECT_EQ(CountLog(std::string("trace InstallDrv:Port=") + c.port), 1);
    }
}

TEST_F(FallbackTest, NoListedUsbPortGivesUpAfter998CandidatesAndTouchesNothing) {
    Unbind();
    UnlistUsb001();
    ListPort("USB000");  // never a candidate
    ListPort("USB999");  // one past the last candidate
    AddQueue("Office", "Acme Laser", "LPT1:");

    EXPECT_EQ(Install(), -1002);
    EXPECT_EQ(device.lastError, kUntouched);
    EXPECT_EQ(CountLog("trace pPortName=LPT1:, pPrinterName=Office"), 998);
    EXPECT_EQ(CountLog("trace pPortName=USB999, pMonitorName=USB Monitor"), 998);
    EXPECT_FALSE(Logged("InstallDrv:"));
    EXPECT_FALSE(Logged("GetUsbDeviceInstanceId"));
    EXPECT_EQ(testsupport::Queues().size(), 1u);
    EXPECT_EQ(winsim::control::Read().at("spooler").at("driverStore").size(), 0u);
    EXPECT_EQ(GetTickCount(), 0u);
}

TEST_F(FallbackTest, DriverStoreFailureEndsWithMinusThousandThreeAndItsHresult) {
    const struct {
        const char* name;
        std::function<void()> arrange;
        uint32_t hr;
        const char* line;
        DWORD clockMs;
    } cases[] = {
        {"publisher not trusted",
         [] { Change([](Json& m) { m["driverSigning"]["requireTrustedPublisher"] = Json::boolean(true); }); },
         0x800F0242u, "error AddPrinterDriverToDriveStore:UploadPrinterDriverPackage failed ! (hr = 0x800f0242)", 0},
        {"install from the store refused", [] { InjectFault("InstallPrinterDriverFromPackageW", 0x80070005u); },
         0x80070005u, "error AddPrinterDriverToDriveStore:InstallPrinterDriverFromPackage failed ! (hr = 0x80070005)",
         1000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        device.lastError = kUntouched;
        c.arrange();
        EXPECT_EQ(Install(), -1003);
        EXPECT_EQ(static_cast<uint32_t>(device.lastError), c.hr);
        EXPECT_EQ(Log(), (Lines{
                             std::string("trace GetPrinterDeviceBindPort:") + kUsbPrint + "USB001",
                             "trace InstallDrv:Port=USB001",
                             std::string("trace GetUsbDeviceInstanceId:") + kUsbId,
                             c.line,
                         }));
        EXPECT_EQ(GetTickCount(), c.clockMs);
        EXPECT_EQ(winsim::control::Read().at("spooler").at("drivers").size(), 0u);
        EXPECT_TRUE(testsupport::Queues().empty());
        EXPECT_EQ(Shell().size(), 0u);
    }
}

TEST_F(FallbackTest, UnknownPortIsRetriedEveryTwoSecondsThirtyTimes) {
    const struct {
        const char* name;
        int64_t listedFromMs;  // -1: never listed
        int result;
        int failures;
        DWORD clockMs;
    } cases[] = {
        // 1 s after the upload, then 30 attempts each followed by 2 s.
        {"never listed", -1, -1004, 30, 61000},
        // The eleventh attempt, at 21 s, finds the port.
        {"listed at 21 s", 21000, 0, 10, 21000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        device.lastError = kUntouched;
        BindTo("USB003");
        if (c.listedFromMs > 0) ListPort("USB003", c.listedFromMs);

        EXPECT_EQ(Install(), c.result);
        EXPECT_EQ(device.lastError, ERROR_UNKNOWN_PORT) << "a success keeps the earlier failure";
        EXPECT_EQ(GetTickCount(), c.clockMs);
        EXPECT_EQ(CountLog(AddPrinterFailed("704")), c.failures);
        const bool failed = c.result != 0;
        EXPECT_EQ(Port("Brisora-40"), failed ? "<none>" : "USB003");
        Json shell = Shell();
        ASSERT_EQ(shell.size(), failed ? 1u : 0u);
        EXPECT_EQ(Restarts(), failed ? 1 : 0);
        if (failed) {
            EXPECT_EQ(shell.at(0).at("file").as_string(), "cmd");
            EXPECT_EQ(shell.at(0).at("verb").as_string(), "open");
            EXPECT_EQ(shell.at(0).at("show").as_integer(), SW_HIDE);
            EXPECT_EQ(shell.at(0).at("parameters").as_string(), kRestart);
        }
    }
}

TEST_F(FallbackTest, OtherAddPrinterErrorsEndAtOnce) {
    const struct {
        const char* name;
        std::function<void()> arrange;
        int result;
        DWORD lastError;
        const char* hex;
        bool restarted;
    } cases[] = {
        {"printer exists already", [] { AddQueue("Brisora-40", "Acme Laser", "LPT1:"); }, 0, ERROR_PRINTER_ALREADY_EXISTS,
         "70a", false},
        {"access denied", [] { InjectFault("AddPrinterW", ERROR_ACCESS_DENIED); }, -1004, ERROR_ACCESS_DENIED, "5", true},
        {"access denied, no USB device found",
         [] {
             Change([](Json& m) { m["devices"][0]["present"] = Json::boolean(false); });
             InjectFault("AddPrinterW", ERROR_ACCESS_DENIED);
         },
         -1004, ERROR_ACCESS_DENIED, "5", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        device.lastError = kUntouched;
        c.arrange();
        EXPECT_EQ(Install(), c.result);
        EXPECT_EQ(device.lastError, static_cast<int32_t>(c.lastError));
        EXPECT_EQ(GetTickCount(), 1000u);
        EXPECT_EQ(CountLog(AddPrinterFailed(c.hex)), 1);
        EXPECT_EQ(Shell().size(), c.restarted ? 1u : 0u);
        EXPECT_EQ(Restarts(), c.restarted ? 1 : 0);
        EXPECT_FALSE(Logged("PNPCtrl"));
    }
    // The last case: no id, so the restart was not even attempted.
    EXPECT_STREQ(device.usbInstanceId, L"");
    EXPECT_EQ(CountLog("trace InstallDrv:GetUsbDeviceInstanceId Fail"), 1);
}

TEST_F(FallbackTest, FailedInstanceIdLookupKeepsTheIdFoundEarlier) {
    const struct {
        const char* name;
        std::function<void()> arrange;
        const wchar_t* driver;
    } cases[] = {
        {"driver of no model", [] {}, L"Acme Laser"},
        {"device list refused", [] { InjectFault("SetupDiGetClassDevsW", ERROR_INVALID_PARAMETER); }, L"Brisora-40"},
        {"USB device unplugged", [] { Change([](Json& m) { m["devices"][0]["present"] = Json::boolean(false); }); },
         L"Brisora-40"},
        {"only an id too long to keep",
         [] {
             Change([](Json& m) {
                 m["devices"][0]["instanceId"] = Json::string("USB\\VID_0483&PID_5741\\" + std::string(250, 'F'));
             });
         },
         L"Brisora-40"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        ASSERT_TRUE(device.GetUsbDeviceInstanceId(L"Brisora-40"));
        ASSERT_STREQ(device.usbInstanceId, L"USB\\VID_0483&PID_5741\\2C0031000B51");
        c.arrange();
        EXPECT_FALSE(device.GetUsbDeviceInstanceId(c.driver));
        EXPECT_STREQ(device.usbInstanceId, L"USB\\VID_0483&PID_5741\\2C0031000B51");
    }
}

TEST_F(FallbackTest, DriverNeverListedCostsThreeEnumerationsAndThreeSeconds) {
    {
        SCOPED_TRACE("the install claims success but adds nothing");
        AddDriverEntry("Acme Laser");
        InjectFault("InstallPrinterDriverFromPackageW", 0u);  // S_OK
        EXPECT_EQ(Install(), -1004);
        EXPECT_EQ(CountLog("trace FindPrinterDriverFromName:pName=Acme Laser"), 3);
        EXPECT_EQ(GetTickCount(), 4000u);
        // The printer is still tried after the wait.
        EXPECT_EQ(device.lastError, ERROR_UNKNOWN_PRINTER_DRIVER);
        EXPECT_EQ(CountLog(AddPrinterFailed("705")), 1);
    }
    {
        SCOPED_TRACE("the driver list cannot be read");
        Restart();
        device.lastError = kUntouched;
        InjectFault("EnumPrinterDriversW", ERROR_INVALID_PARAMETER, 4);
        EXPECT_EQ(Install(), 0);
        Json left = FaultOf("EnumPrinterDriversW");
        ASSERT_TRUE(left.is_object()) << "more than three enumerations";
        EXPECT_EQ(left.at("count").as_integer(), 1) << "fewer than three enumerations";
        EXPECT_EQ(GetTickCount(), 4000u);
        EXPECT_EQ(Port("Brisora-40"), "USB001");
        EXPECT_EQ(device.lastError, kUntouched);
    }
}

}  // namespace
