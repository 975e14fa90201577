// Corvane "/Install" then "/Uninstall" as processes on one machine that also holds another vendor's
// printer and driver and a service that depends on the Spooler.
#include <windows.h>

#include <ServiceScript.h>
#include <TestMachine.h>

#include "CorvaneProgramTest.h"

#include <cstddef>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {

using Json = winsim::control::Json;

const char kSerial[] = "7c31e9a04b58d26f0e1a93b5";
const char kAcmeInf[] = "C:\\Windows\\System32\\DriverStore\\FileRepository\\acme.inf_amd64_9\\acme.inf";

class UninstallTest : public CorvaneProgramTest {
protected:
    std::vector<std::string> Messages() const { return LogMessages(true); }
    static Json Spooler() { return winsim::control::Read().at("spooler"); }
    static std::set<std::string> FormNames() {
        std::set<std::string> out;
        Json forms = Spooler().at("forms");
        for (size_t i = 0; i < forms.size(); ++i) out.insert(forms.at(i).at("name").as_string());
        return out;
    }
    static bool OurDriverInstalled() {
        const Json drivers = Spooler().at("drivers");
        for (const auto& environment : drivers.as_object()) {
            for (const Json& d : environment.second.as_array()) {
                if (d.at("name").as_string() == "Brisora-40") return true;
            }
        }
        return false;
    }
    // The uninstall's own lines, without the forms' and the certificate's.
    std::vector<std::string> RemovalLines(size_t from) const {
        const std::vector<std::string> lines = Messages();
        std::vector<std::string> removal;
        for (size_t i = from; i < lines.size(); ++i) {
            if (lines[i].find("Form") == std::string::npos && lines[i].find("delCustomPaper") == std::string::npos) {
                removal.push_back(lines[i]);
            }
        }
        return removal;
    }
    static bool Trusted() {
        const Json certificates = winsim::control::Read().at("certificates");
        for (const Json& c : certificates.as_array()) {
            if (c.at("serial").as_string() == kSerial) return true;
        }
        return false;
    }
};

TEST_F(UninstallTest, UninstallTakesOffExactlyWhatTheInstallPutOnAndRestartsTheSpooler) {
    const std::set<std::string> builtinForms = FormNames();
    winsim::control::Change([](Json& m) {
        m["spooler"]["drivers"]["Windows x64"][0]["name"] = Json::string("Acme Laser");
        m["spooler"]["drivers"]["Windows x64"][0]["infPath"] = Json::string(kAcmeInf);
        m["spooler"]["driverStore"][0]["storedInf"] = Json::string(kAcmeInf);
        Json& office = m["spooler"]["printers"][0];
        office["name"] = Json::string("Office");
        office["driver"] = Json::string("Acme Laser");
        office["port"] = Json::string("LPT1:");
        office["data"]["AcmeSettings"]["type"] = Json::number(REG_BINARY);
    });
    testsupport::ScriptService("Spooler", "stop", 2500, 1000);
    testsupport::ScriptService("Spooler", "start", 1200, 2000, 400);
    testsupport::AddService("Fax", "Spooler");
    testsupport::ScriptService("Fax", "stop", 500, 300);

    testsupport::RunResult install = Corvane("/Install");
    ASSERT_TRUE(install.recorded) << install.err;
    ASSERT_EQ(install.exitCode, 0);
    ASSERT_EQ(Spooler().at("printers").size(), 2u);
    ASSERT_EQ(Spooler().at("driverStore").size(), 2u);
    ASSERT_GT(FormNames().size(), builtinForms.size());
    ASSERT_TRUE(Trusted());
    ASSERT_TRUE(testsupport::ServiceHistory(0).empty());
    // The plug-in's settings record, as the printer's UI would have stored it.
    winsim::control::Change([](Json& m) {
        m["spooler"]["printers"][1]["data"]["OEM_ZL_PRINTER_VALUE"]["type"] = Json::number(REG_BINARY);
    });
    const size_t installLines = Messages().size();

    testsupport::RunResult uninstall = Corvane("/Uninstall");
    ASSERT_TRUE(uninstall.recorded) << uninstall.err;
    EXPECT_EQ(uninstall.exitCode, 0);

    Json spooler = Spooler();
    ASSERT_EQ(spooler.at("printers").size(), 1u);
    EXPECT_EQ(spooler.at("printers").at(0).at("name").as_string(), "Office");
    EXPECT_EQ(spooler.at("printers").at(0).at("data").size(), 1u);
    Json drivers = spooler.at("drivers").at("Windows x64");
    ASSERT_EQ(drivers.size(), 1u);
    EXPECT_EQ(drivers.at(0).at("name").as_string(), "Acme Laser");
    ASSERT_EQ(spooler.at("driverStore").size(), 1u);
    EXPECT_EQ(spooler.at("driverStore").at(0).at("storedInf").as_string(), kAcmeInf);
    EXPECT_EQ(FormNames(), builtinForms);
    EXPECT_FALSE(Trusted());
    Json commands = winsim::control::Read().at("shell").at("commands");
    EXPECT_EQ(commands.at(commands.size() - 1).at("parameters").as_string(),
              std::string("/c certutil -delstore \"TrustedPublisher\" ") + kSerial);

    // The dependent stopped first, then the Spooler stopped and started again.
    const std::vector<std::string> spoolerEvents = testsupport::ServiceHistory(0);
    ASSERT_EQ(spoolerEvents.size(), 2u);
    EXPECT_EQ(spoolerEvents[0].rfind("stop@", 0), 0u);
    EXPECT_EQ(spoolerEvents[1].rfind("start@", 0), 0u);
    const std::vector<std::string> faxEvents = testsupport::ServiceHistory(1);
    ASSERT_EQ(faxEvents.size(), 1u);
    EXPECT_LT(std::stoll(faxEvents[0].substr(5)), std::stoll(spoolerEvents[0].substr(5)));
    EXPECT_EQ(testsupport::ServiceState(0), SERVICE_RUNNING);
    EXPECT_EQ(testsupport::ServiceState(1), SERVICE_STOPPED);

    std::vector<std::string> removal = RemovalLines(installLines);
    std::vector<std::string> expected = {
        "trace Processor Architecture: AMD 64",
        "trace PrinterDrvCtrl:mode=/Uninstall",
        "trace RemovePrinter: DeletePrt pPortName=LPT1:, pPrinterName=Office, pDriverName=Acme Laser",
        "trace RemovePrinter: DeletePrt pPortName=USB001, pPrinterName=Brisora-40, pDriverName=Brisora-40",
        "trace DoStopSvc:Service stopped successfully",
        "trace DoStartSvc:Service started successfully",
        "trace RemoveDriver: DeleteDrv pDriverName=Acme Laser",
        "trace RemoveDriver: DeleteDrv pDriverName=Brisora-40",
        "trace RemoveDriver: DeleteDriverPackage pDriverName=Acme Laser",
        "trace RemoveDriver: DeleteDriverPackage pDriverName=Brisora-40",
        "trace PrinterDrvUninstall:iRet=0",
        "trace WinMain:iRet=0",
    };
    EXPECT_EQ(removal, expected);
}

// Without the printer list the printer, its forms and the Spooler are left alone; the driver is still
// tried (and refused while the printer uses it) and the certificate still goes.
TEST_F(UninstallTest, UnreadablePrinterListKeepsThePrinterButStillRemovesTheCertificate) {
    const struct {
        const char* name;
        std::function<void()> arrange;
        std::vector<std::string> warnings;
    } cases[] = {
        // A printer list whose size query fails is not warned about.
        {"every enumeration fails", [] { winsim::control::InjectFault("EnumPrintersW", RPC_S_SERVER_UNAVAILABLE, -1); },
         {}},
        // The forms' list and then the printers' list: each size known, each read refused.
        {"each read after its size query fails",
         [] {
             winsim::control::InjectFault("EnumPrintersW", RPC_S_SERVER_UNAVAILABLE, 1, 1);
             winsim::control::InjectFault("EnumPrintersW", RPC_S_SERVER_UNAVAILABLE, 1, 1);
         },
         {"warning RemoveForms: Failed to EnumPrinters 2", "warning RemovePrinter: Failed to EnumPrinters 2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        winsim::control::UseFreshMachine(MachinePath());
        std::remove((TempDir() + "ZL/logs/ZLPrtDrvCtrl.log").c_str());
        testsupport::RunResult install = Corvane("/Install");
        ASSERT_TRUE(install.recorded) << install.err;
        ASSERT_EQ(install.exitCode, 0);
        const std::set<std::string> installedForms = FormNames();
        const size_t installLines = Messages().size();
        c.arrange();

        testsupport::RunResult uninstall = Corvane("/Uninstall");
        ASSERT_TRUE(uninstall.recorded) << uninstall.err;
        EXPECT_EQ(uninstall.exitCode, 0);

        Json spooler = Spooler();
        ASSERT_EQ(spooler.at("printers").size(), 1u);
        EXPECT_EQ(spooler.at("printers").at(0).at("name").as_string(), "Brisora-40");
        EXPECT_EQ(spooler.at("drivers").at("Windows x64").size(), 1u);
        EXPECT_EQ(FormNames(), installedForms);
        EXPECT_TRUE(testsupport::ServiceHistory(0).empty());
        EXPECT_FALSE(Trusted());
        Json commands = winsim::control::Read().at("shell").at("commands");
        EXPECT_EQ(commands.at(commands.size() - 1).at("parameters").as_string(),
                  std::string("/c certutil -delstore \"TrustedPublisher\" ") + kSerial);

        std::vector<std::string> lines = Messages();
        std::vector<std::string> uninstallLines(lines.begin() + static_cast<std::ptrdiff_t>(installLines), lines.end());
        std::vector<std::string> expected = {"trace Processor Architecture: AMD 64", "trace PrinterDrvCtrl:mode=/Uninstall"};
        expected.insert(expected.end(), c.warnings.begin(), c.warnings.end());
        std::vector<std::string> rest = {
            "trace RemoveDriver: DeleteDrv pDriverName=Brisora-40",
            "error DeleteDrv:DeletePrinterDriver failed ! (GetLastError = 0xbb9)",
            "trace RemoveDriver: DeleteDriverPackage pDriverName=Brisora-40",
            "error RemoveDriver: DeletePrinterDriverPackage=0x80070bbe",
            "trace PrinterDrvUninstall:iRet=0",
            "trace WinMain:iRet=0",
        };
        expected.insert(expected.end(), rest.begin(), rest.end());
        EXPECT_EQ(uninstallLines, expected);
    }
}

// A driver list that cannot be had, most often because a failed restart left the Spooler stopped: the
// driver stays, and the log says the list could not be had rather than that no driver was found. The mode
// still ends with 0.
TEST_F(UninstallTest, UnreadableDriverListKeepsTheDriverAndTheLogSaysMinus1001) {
    const struct {
        const char* name;
        std::function<void()> arrange;
        bool restarted;
    } cases[] = {
        {"size query refused", [] { winsim::control::InjectFault("EnumPrinterDriversW", RPC_S_SERVER_UNAVAILABLE); },
         true},
        {"Spooler left stopped: start refused",
         [] { winsim::control::InjectFault("StartServiceW", ERROR_ACCESS_DENIED); }, false},
        {"Spooler left stopped: no manager for the start",
         [] { winsim::control::InjectFault("OpenSCManagerW", ERROR_ACCESS_DENIED, 1, 1); }, false},
        {"Spooler left stopped: no Spooler handle for the start",
         [] { winsim::control::InjectFault("OpenServiceW", ERROR_ACCESS_DENIED, 1, 1); }, false},
        // The stop's first query, then every one of the start's.
        {"Spooler left stopped: the start cannot query",
         [] { winsim::control::InjectFault("QueryServiceStatusEx", ERROR_ACCESS_DENIED, -1, 1); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        winsim::control::UseFreshMachine(MachinePath());
        std::remove(LogPath().c_str());
        testsupport::RunResult install = Corvane("/Install");
        ASSERT_TRUE(install.recorded) << install.err;
        ASSERT_EQ(install.exitCode, 0);
        const size_t installLines = Messages().size();
        c.arrange();

        testsupport::RunResult uninstall = Corvane("/Uninstall");
        ASSERT_TRUE(uninstall.recorded) << uninstall.err;
        EXPECT_EQ(uninstall.exitCode, 0);
        EXPECT_EQ(testsupport::ServiceState(0), c.restarted ? SERVICE_RUNNING : SERVICE_STOPPED);
        const std::vector<std::string> history = testsupport::ServiceHistory(0);
        ASSERT_FALSE(history.empty());
        EXPECT_EQ(history.back().rfind(c.restarted ? "start@" : "stop@", 0), 0u) << history.back();
        EXPECT_EQ(Spooler().at("printers").size(), 0u);
        EXPECT_TRUE(OurDriverInstalled());
        std::vector<std::string> expected = {
            "trace Processor Architecture: AMD 64",
            "trace PrinterDrvCtrl:mode=/Uninstall",
            "trace RemovePrinter: DeletePrt pPortName=USB001, pPrinterName=Brisora-40, pDriverName=Brisora-40",
            "error DeletePrt:DeletePrinterData failed ! (GetLastError = 0x2)",
            "trace DoStopSvc:Service stopped successfully",
        };
        if (c.restarted) expected.push_back("trace DoStartSvc:Service started successfully");
        for (const char* line : {"warning RemoveDriver: Failed to EnumPrinterDrivers 8",
                                 "trace PrinterDrvUninstall:iRet=-1001", "trace WinMain:iRet=0"}) {
            expected.push_back(line);
        }
        EXPECT_EQ(RemovalLines(installLines), expected);
        EXPECT_FALSE(Trusted());
    }
}

// Whichever call of the restart or of the driver list fails, once or from then on, "Not found printer
// driver" never stands for a driver of ours still installed: the driver stays only when the log says
// the list could not be had.
TEST_F(UninstallTest, NotFoundPrinterDriverIsLoggedOnlyWhenNoDriverOfOursIsLeft) {
    testsupport::AddService("Fax", "Spooler");
    testsupport::ScriptService("Spooler", "stop", 2500, 1000);
    testsupport::ScriptService("Spooler", "start", 1200, 2000, 400);
    testsupport::ScriptService("Fax", "stop", 500, 300);
    testsupport::RunResult install = Corvane("/Install");
    ASSERT_TRUE(install.recorded) << install.err;
    ASSERT_EQ(install.exitCode, 0);
    ASSERT_TRUE(OurDriverInstalled());
    const Json installed = winsim::control::Read();
    auto uninstall = [&](const char* function, int64_t count, int64_t after) {
        winsim::control::Change([&](Json& m) { m = installed; });
        std::remove(LogPath().c_str());
        winsim::control::InjectFault(function, ERROR_ACCESS_DENIED, count, after);
        testsupport::RunResult r = Corvane("/Uninstall");
        EXPECT_TRUE(r.recorded) << r.err;
        EXPECT_EQ(r.exitCode, 0);
    };
    const int64_t plenty = 1000000;
    int kept = 0;
    int removed = 0;
    for (const char* function : {"OpenSCManagerW", "OpenServiceW", "QueryServiceStatusEx", "EnumDependentServicesW",
                                 "ControlService", "StartServiceW", "EnumPrinterDriversW"}) {
        // A fault that never fires: what is left of its "after" counts the calls.
        uninstall(function, 1, plenty);
        const int64_t calls = plenty - winsim::control::Read().at("faults").at(0).at("after").as_integer();
        EXPECT_GT(calls, 0) << function;
        for (int64_t count : {int64_t{1}, int64_t{-1}}) {
            for (int64_t after = 0; after < calls; ++after) {
                SCOPED_TRACE(std::string(function) + " failing " + (count == 1 ? "once" : "from then on") +
                             " after " + std::to_string(after) + " calls");
                uninstall(function, count, after);
                const bool left = OurDriverInstalled();
                ++(left ? kept : removed);
                if (Logged("trace RemoveDriver: Not found printer driver", true)) {
                    EXPECT_FALSE(left);
                }
                EXPECT_EQ(Logged("warning RemoveDriver: Failed to EnumPrinterDrivers 8", true), left);
                EXPECT_EQ(Logged("trace PrinterDrvUninstall:iRet=-1001", true), left);
                EXPECT_EQ(Spooler().at("printers").size(), 0u);
            }
        }
    }
    // Both ends were reached: failures the restart got over and failures that left the Spooler stopped.
    EXPECT_GT(kept, 0);
    EXPECT_GT(removed, 0);
}

}  // namespace
