// "Corvane /Install" as a process whose install fails or succeeds, with its report reaching a server on
// 127.0.0.1 through the machine's WinHTTP proxy: the rollback and the error box come before the report.
#include <windows.h>

#include <TestMachine.h>

#include "CorvaneProgramTest.h"
#include "LocalServer.h"

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

using Json = winsim::control::Json;
using winsim::control::Change;

const char kRequestLine[] = "POST http://" CORVANE_STATS_HOST "/open/api/driverStatistical HTTP/1.1";
const char kGuid[] = "5f0c7d2e-93a1-4b6e-8f2d-1c4a9e7b3d60";
const char kOk[] = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n";
const char kStored[] = "C:\\Windows\\System32\\DriverStore\\FileRepository\\zlprtdrv.inf_amd64_1\\ZLPrtDrv.inf";

class FailureTest : public CorvaneProgramTest {
protected:
    std::vector<std::string> Messages() const { return LogMessages(false); }
    static void ProxyTo(const LocalServer& server) {
        Change([&](Json& m) { m["winhttp"]["proxy"] = Json::string("http://127.0.0.1:" + std::to_string(server.Port())); });
    }
    static void SetGuid(const char* key, DWORD type, const char* value) {
        Change([&](Json& m) {
            Json v = Json::object();
            v["type"] = Json::number(static_cast<int64_t>(type));
            v["data"] = Json::string(value);
            m["registry"]["HKEY_LOCAL_MACHINE"][key]["MachineGuid"] = v;
        });
    }
    static Json Read(const char* section) { return winsim::control::Read().at(section); }
    static bool DriverInstalled() {
        const Json drivers = Read("spooler").at("drivers");
        if (!drivers.has_field("Windows x64")) return false;
        for (const Json& d : drivers.at("Windows x64").as_array()) {
            if (d.at("name").as_string() == "Brisora-40") return true;
        }
        return false;
    }
    // An older driver of the same name, from its own package, in another environment.
    static void PutOlderDriver(const std::string& environment, const std::string& storedInf) {
        Change([&](Json& m) {
            m["spooler"]["drivers"][environment][0]["name"] = Json::string("Brisora-40");
            m["spooler"]["drivers"][environment][0]["infPath"] = Json::string(storedInf);
            m["spooler"]["driverStore"][0]["storedInf"] = Json::string(storedInf);
            m["spooler"]["driverStore"][0]["environment"] = Json::string(environment);
        });
    }
    // Prunavel fails, the fallback installs the driver, adding the printer fails: the install is rolled back.
    testsupport::RunResult FailedInstall() {
        winsim::control::InjectFault("UpdateDriverForPlugAndPlayDevicesW", ERROR_ACCESS_DENIED);
        winsim::control::InjectFault("AddPrinterW", ERROR_ACCESS_DENIED, 5);
        testsupport::RunResult r = Corvane("/Install");
        EXPECT_TRUE(r.recorded) << r.err;
        EXPECT_EQ(r.exitCode, -1004);
        EXPECT_TRUE(Logged("AddPrinterToControlPanel:AddPrinter failed ! (GetLastError = 0x5)"));
        return r;
    }
    // The request's line and its JSON body.
    static std::pair<std::string, Json> Parse(const std::string& raw) {
        size_t end = raw.find("\r\n\r\n");
        if (end == std::string::npos) return {"<no request>", Json::null()};
        return {raw.substr(0, raw.find("\r\n")), Json::parse(raw.substr(end + 4))};
    }
};

struct FailureCase {
    const char* name;
    std::function<void()> arrange;
    int32_t exitCode;
    const char* reportCode;
    const char* boxText;
    std::vector<std::string> lines;  // among the installer's log lines
};

TEST_F(FailureTest, FailedInstallRollsBackShowsTheBoxThenReports) {
    const FailureCase cases[] = {
        {"publisher never trusted",
         [] {
             Change([](Json& m) {
                 m["driverSigning"]["requireTrustedPublisher"] = Json::boolean(true);
                 // A driver left by an earlier attempt, for the rollback to take away.
                 m["spooler"]["drivers"]["Windows x64"][0]["name"] = Json::string("Brisora-40");
                 m["spooler"]["drivers"]["Windows x64"][0]["infPath"] = Json::string(kStored);
                 m["spooler"]["driverStore"][0]["storedInf"] = Json::string(kStored);
             });
             winsim::control::InjectFault("ShellExecuteW", 2);  // the certificate command cannot start
         },
         -1003, "-1003,0x800f0242",
         "errCode:-1003,Erro:0x800f0242\nThe publisher of an Authenticode(tm) signed catalog has not yet been established "
         "as trusted.\nClick OK to trust the certificate to install it again",
         {"InstallCertificate: Fail hIns=2", "Prunavel:dwExitCode=e0000242",
          "AddPrinterDriverToDriveStore:UploadPrinterDriverPackage failed ! (hr = 0x800f0242)",
          "PrinterDrvInstall:iRet=-1003", "WinMain:iRet=-1003"}},
        {"bound port never listed",
         [] {
             Change([](Json& m) {
                 m["devices"][1]["instanceId"] = Json::string("USBPRINT\\BRISORA40\\7&1A2B3C4D&0&USB003");
             });
         },
         -1004, "-1004,0x00000704",
         "errCode:-1004,Erro:0x00000704\nThe specified port is unknown.\r\n\nWindows system is undergoing USB printing "
         "support installation, please install the driver later!",
         {"Prunavel:dwExitCode=fffffc17", "InstallDrv:Port=USB003", "PrinterDrvInstall:iRet=-1004", "WinMain:iRet=-1004"}},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        winsim::control::UseFreshMachine(MachinePath());
        std::remove((TempDir() + "ZL/logs/ZLPrtDrvCtrl.log").c_str());
        SetGuid("SOFTWARE\\Microsoft\\Cryptography", REG_SZ, kGuid);
        c.arrange();
        size_t boxesAtRequest = 99;
        bool driverAtRequest = true;
        LocalServer server(kOk, [&] {
            boxesAtRequest = MessageBoxes().size();
            driverAtRequest = DriverInstalled();
        });
        ProxyTo(server);

        testsupport::RunResult r = Corvane("/Install");
        ASSERT_TRUE(r.recorded) << r.err;
        EXPECT_EQ(r.exitCode, c.exitCode);
        auto [line, body] = Parse(server.Request());
        EXPECT_EQ(line, kRequestLine);
        ASSERT_TRUE(body.is_object());
        EXPECT_EQ(body.at("code").as_string(), c.reportCode);
        EXPECT_EQ(body.at("onlyCode").as_string(), kGuid);
        EXPECT_EQ(body.at("model").as_string(), "Brisora-40");
        EXPECT_EQ(boxesAtRequest, 1u) << "the box is closed before the report goes";
        EXPECT_FALSE(driverAtRequest) << "the driver is rolled back before the report goes";

        Json boxes = MessageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes.at(0).at("text").as_string(), c.boxText);
        EXPECT_EQ(boxes.at(0).at("caption").as_string(), "Info");
        EXPECT_EQ(boxes.at(0).at("flags").as_integer(), 0x1001);
        EXPECT_FALSE(DriverInstalled());
        EXPECT_EQ(Read("spooler").at("driverStore").size(), 0u);
        EXPECT_EQ(Read("spooler").at("printers").size(), 0u);
        for (const std::string& expected : c.lines) EXPECT_TRUE(Logged(expected)) << expected;
    }
}

TEST_F(FailureTest, SuccessfulInstallReportsTheMachineGuidAndNoCode) {
    const struct {
        const char* name;
        std::function<void()> arrange;
        const char* onlyCode;
        bool emptyLine;
    } cases[] = {
        {"32-bit view holds another value",
         [] {
             Change([](Json& m) { m["system"]["wow64"] = Json::boolean(true); });
             SetGuid("SOFTWARE\\Microsoft\\Cryptography", REG_SZ, kGuid);
             SetGuid("SOFTWARE\\WOW6432Node\\Microsoft\\Cryptography", REG_SZ, "00000000-1111-2222-3333-444444444444");
         },
         kGuid, false},
        {"stored as REG_EXPAND_SZ", [] { SetGuid("SOFTWARE\\Microsoft\\Cryptography", REG_EXPAND_SZ, kGuid); }, "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        winsim::control::UseFreshMachine(MachinePath());
        std::remove((TempDir() + "ZL/logs/ZLPrtDrvCtrl.log").c_str());
        c.arrange();
        LocalServer server(kOk);
        ProxyTo(server);

        testsupport::RunResult r = Corvane("/Install");
        ASSERT_TRUE(r.recorded) << r.err;
        EXPECT_EQ(r.exitCode, 0);
        auto [line, body] = Parse(server.Request());
        EXPECT_EQ(line, kRequestLine);
        ASSERT_TRUE(body.is_object());
        EXPECT_EQ(body.at("code").as_string(), "");
        EXPECT_EQ(body.at("onlyCode").as_string(), c.onlyCode);
        EXPECT_EQ(body.at("model").as_string(), "Brisora-40");
        EXPECT_EQ(MessageBoxes().size(), 0u);
        EXPECT_EQ(Logged("InitMachineId:machineId is empty"), c.emptyLine);
        EXPECT_TRUE(DriverInstalled());
    }
}

// The first printer installs, a second plugged device cannot be read: the walk ends with -2, which is
// no box's business. The rollback still runs (the first printer keeps its driver in use) and the
// failure is reported under the first printer's model.
TEST_F(FailureTest, UnreadableSecondDeviceRollsBackAndReportsWithoutABox) {
    SetGuid("SOFTWARE\\Microsoft\\Cryptography", REG_SZ, kGuid);
    Change([](Json& m) {
        Json second = m["devices"][0];
        second["instanceId"] = Json::string("USB\\VID_0483&PID_5741\\B");
        second["interfaces"][0]["devicePath"] =
            Json::string("\\\\?\\usb#vid_0483&pid_5741#b#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}");
        m["devices"][m["devices"].size()] = second;
    });
    // The first device's size query and detail, the second's size query; then its detail fails.
    winsim::control::InjectFault("SetupDiGetDeviceInterfaceDetailW", ERROR_INVALID_USER_BUFFER, 1, 3);
    LocalServer server(kOk);
    ProxyTo(server);

    testsupport::RunResult r = Corvane("/Install");
    ASSERT_TRUE(r.recorded) << r.err;
    EXPECT_EQ(r.exitCode, -2);
    EXPECT_EQ(winsim::control::Read().at("faults").size(), 0u);
    auto [line, body] = Parse(server.Request());
    EXPECT_EQ(line, kRequestLine);
    ASSERT_TRUE(body.is_object());
    EXPECT_EQ(body.at("code").as_string(), "-2,0x00000000");
    EXPECT_EQ(body.at("model").as_string(), "Brisora-40");
    EXPECT_EQ(body.at("onlyCode").as_string(), kGuid);

    EXPECT_EQ(MessageBoxes().size(), 0u);
    EXPECT_EQ(Read("spooler").at("printers").size(), 1u);
    EXPECT_TRUE(DriverInstalled());
    std::vector<std::string> steps;  // without the first printer's forms
    for (const std::string& m : Messages()) {
        if (m.find("Form") == std::string::npos) steps.push_back(m);
    }
    const std::vector<std::string> expected = {
        "Processor Architecture: AMD 64",
        "PrinterDrvCtrl:mode=/Install",
        "PrinterDrvInstall:devcount=1",
        "Prunavel:dwExitCode=0",
        "InstallFromPrunavel:iRet=0",
        "PrinterDrvInstall:devcount=2",
        "PrinterDrvInstall:iRet=-2",
        "RemoveDriverFromDriverName: DeleteDrv pDriverName=Brisora-40",
        "DeleteDrv:DeletePrinterDriver failed ! (GetLastError = 0xbb9)",
        "RemoveDriverFromDriverName: DeleteDriverPackage pDriverName=Brisora-40",
        "RemoveDriverFromDriverName: DeletePrinterDriverPackage=0x80070bbe",
        "WinMain:iRet=-2",
    };
    EXPECT_EQ(steps, expected);
}

// An older x86 driver of the same name, from its own package, was on the x64 machine before: the failed
// install's rollback takes away only the x64 driver it added and that driver's package.
TEST_F(FailureTest, RollbackLeavesTheSameDriverOfAnotherEnvironmentAndItsPackage) {
    const char x86Stored[] = "C:\\Windows\\System32\\DriverStore\\FileRepository\\zlprtdrv.inf_x86_7\\ZLPrtDrv.inf";
    PutOlderDriver("Windows NT x86", x86Stored);
    if (!FailedInstall().recorded) return;
    EXPECT_TRUE(Logged("RemoveDriverFromDriverName: DeleteDriverPackage pDriverName=Brisora-40"));

    const Json drivers = Read("spooler").at("drivers");
    ASSERT_TRUE(drivers.has_field("Windows NT x86"));
    ASSERT_EQ(drivers.at("Windows NT x86").size(), 1u);
    EXPECT_EQ(drivers.at("Windows NT x86").at(0).at("name").as_string(), "Brisora-40");
    EXPECT_FALSE(DriverInstalled()) << "the x64 driver the install added is gone";
    const Json store = Read("spooler").at("driverStore");
    ASSERT_EQ(store.size(), 1u) << "the x64 package the install staged is gone";
    EXPECT_EQ(store.at(0).at("storedInf").as_string(), x86Stored);
    for (const std::string& m : Messages()) {
        EXPECT_EQ(m.rfind("DeleteDrv:", 0), std::string::npos) << m;
        EXPECT_EQ(m.rfind("RemoveDriverFromDriverName: DeletePrinterDriverPackage=", 0), std::string::npos) << m;
    }
}

// On every architecture a machine can have, a failed install takes away the driver and the package it
// added (in the environment Windows names for the architecture) and leaves the same driver of another
// environment with its package.
TEST_F(FailureTest, FailedInstallRollsBackOnEveryArchitecture) {
    const struct {
        int architecture;
        const char* own;
        const char* other;  // an environment with an older driver of the same name
    } cases[] = {
        {PROCESSOR_ARCHITECTURE_INTEL, "Windows NT x86", "Windows x64"},
        {PROCESSOR_ARCHITECTURE_ARM, "Windows ARM", "Windows NT x86"},
        {PROCESSOR_ARCHITECTURE_IA64, "Windows IA64", "Windows NT x86"},
        {PROCESSOR_ARCHITECTURE_AMD64, "Windows x64", "Windows NT x86"},
        {PROCESSOR_ARCHITECTURE_ARM64, "Windows ARM64", "Windows x64"},
    };
    const char otherStored[] = "C:\\Windows\\System32\\DriverStore\\FileRepository\\zlprtdrv.inf_old_7\\ZLPrtDrv.inf";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.own);
        winsim::control::UseFreshMachine(MachinePath());
        std::remove((TempDir() + "ZL/logs/ZLPrtDrvCtrl.log").c_str());
        Change([&](Json& m) { m["system"]["architecture"] = Json::number(c.architecture); });
        PutOlderDriver(c.other, otherStored);
        if (!FailedInstall().recorded) continue;

        const Json drivers = Read("spooler").at("drivers");
        for (const auto& environment : drivers.as_object()) {
            size_t expected = environment.first == c.other ? 1u : 0u;
            EXPECT_EQ(environment.second.size(), expected) << environment.first;
        }
        const Json store = Read("spooler").at("driverStore");
        ASSERT_EQ(store.size(), 1u) << "the package the install staged is gone";
        EXPECT_EQ(store.at(0).at("environment").as_string(), c.other);
        for (const std::string& m : Messages()) EXPECT_EQ(m.rfind("DeleteDrv:", 0), std::string::npos) << m;
    }
}

// The rollback's driver list cannot be had: the driver the failed install added stays, and the log says
// the list could not be had rather than that no driver was found.
TEST_F(FailureTest, RollbackWhoseDriverListCannotBeHadKeepsTheDriverAndWarns) {
    // The driver wait's size query and read come first; the rollback's size query fails.
    winsim::control::InjectFault("EnumPrinterDriversW", RPC_S_SERVER_UNAVAILABLE, 1, 2);
    if (!FailedInstall().recorded) return;
    EXPECT_FALSE(testsupport::FaultPending("EnumPrinterDriversW"));
    const std::vector<std::string> m = Messages();
    EXPECT_EQ(std::count(m.begin(), m.end(), "FindPrinterDriverFromName:pName=Brisora-40"), 1);
    EXPECT_TRUE(Logged("RemoveDriverFromDriverName: Failed to EnumPrinterDrivers 8"));
    EXPECT_FALSE(Logged("RemoveDriverFromDriverName: Not found printer driver"));
    EXPECT_TRUE(DriverInstalled());
    EXPECT_EQ(Read("spooler").at("driverStore").size(), 1u);
}

// Whichever call of the driver list fails during a failed install, once or from then on, the rollback's
// "Not found printer driver" never stands for the driver the install added: that driver stays only when
// the log says the list could not be had.
TEST_F(FailureTest, RollbackLogsNotFoundOnlyWhenNoDriverOfOursIsLeft) {
    const int64_t plenty = 1000000;
    winsim::control::InjectFault("EnumPrinterDriversW", RPC_S_SERVER_UNAVAILABLE, 1, plenty);
    if (!FailedInstall().recorded) return;
    // A fault that never fired: what is left of its "after" counts the calls.
    int64_t calls = 0;
    const Json faults = Read("faults");
    for (const Json& f : faults.as_array()) {
        if (f.at("function").as_string() == "EnumPrinterDriversW") calls = plenty - f.at("after").as_integer();
    }
    EXPECT_GT(calls, 2);
    int kept = 0;
    int removed = 0;
    for (int64_t count : {int64_t{1}, int64_t{-1}}) {
        for (int64_t after = 0; after < calls; ++after) {
            SCOPED_TRACE(std::string("failing ") + (count == 1 ? "once" : "from then on") + " after " +
                         std::to_string(after) + " calls");
            winsim::control::UseFreshMachine(MachinePath());
            std::remove(LogPath().c_str());
            winsim::control::InjectFault("EnumPrinterDriversW", RPC_S_SERVER_UNAVAILABLE, count, after);
            if (!FailedInstall().recorded) continue;
            const bool left = DriverInstalled();
            ++(left ? kept : removed);
            if (Logged("RemoveDriverFromDriverName: Not found printer driver")) {
                EXPECT_FALSE(left);
            }
            EXPECT_EQ(Logged("RemoveDriverFromDriverName: Failed to EnumPrinterDrivers 8"), left);
        }
    }
    EXPECT_GT(kept, 0);
    EXPECT_GT(removed, 0);
}

// The silent printer install shows the box but neither rolls back nor reports.
TEST_F(FailureTest, SilentPrinterInstallShowsTheAddPrinterErrorAndKeepsTheDriver) {
    winsim::control::InjectFault("UpdateDriverForPlugAndPlayDevicesW", ERROR_ACCESS_DENIED);  // Prunavel fails
    winsim::control::InjectFault("AddPrinterW", ERROR_ACCESS_DENIED);

    testsupport::RunResult r = Corvane("/SInstallPrt");
    ASSERT_TRUE(r.recorded) << r.err;
    EXPECT_EQ(r.exitCode, -1004);
    Json boxes = MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes.at(0).at("text").as_string(), "errCode:-1004,Erro:0x00000005\nAccess is denied.\r\n");
    EXPECT_EQ(boxes.at(0).at("caption").as_string(), "Info");
    EXPECT_EQ(boxes.at(0).at("flags").as_integer(), 0x1001);

    EXPECT_TRUE(DriverInstalled());
    EXPECT_EQ(Read("spooler").at("driverStore").size(), 1u);
    EXPECT_EQ(Read("spooler").at("printers").size(), 0u);
    EXPECT_TRUE(Logged("Prunavel:dwExitCode=5"));
    EXPECT_TRUE(Logged("PrinterDrvInstall:iRet=-1004"));
    EXPECT_EQ(Messages().back(), "WinMain:iRet=-1004");
    // The machine's proxy is a closed local port: a report attempted would have logged its failure.
    for (const std::string& m : Messages()) {
        EXPECT_EQ(m.rfind("RemoveDriverFromDriverName", 0), std::string::npos) << m;
        EXPECT_EQ(m.rfind("sendInstallInfo", 0), std::string::npos) << m;
    }
}

}  // namespace
