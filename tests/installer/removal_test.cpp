// Removal of the models' printers and drivers, and the rollback of a failed install's driver.
#include "InstallerTest.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "ServiceScript.h"

namespace {

using installertest::Json;
using winsim::control::Change;
using winsim::control::InjectFault;
using Lines = std::vector<std::string>;

const char kX64[] = "Windows x64";
const char kX86[] = "Windows NT x86";

std::string Stored(const std::string& driver, const std::string& environment) {
    return "C:\\DriverStore\\FileRepository\\" + driver + (environment == kX86 ? "_x86" : "_amd64") + "\\a.inf";
}

class RemovalTest : public installertest::InstallerTest {
protected:
    static void AddPrinter(const std::string& name, const std::string& driver, const std::string& port, bool withValue) {
        Change([&](Json& m) {
            Json& p = m["spooler"]["printers"][m["spooler"]["printers"].size()];
            p["name"] = Json::string(name);
            p["driver"] = Json::string(driver);
            p["port"] = Json::string(port);
            p["data"]["OtherValue"]["type"] = Json::number(REG_DWORD);
            if (withValue) p["data"]["OEM_ZL_PRINTER_VALUE"]["type"] = Json::number(REG_BINARY);
        });
    }
    // The driver for an environment and the driver-store package it came from.
    static void AddDriver(const char* environment, const std::string& name) {
        Change([&](Json& m) {
            Json& list = m["spooler"]["drivers"][environment];
            list[list.size()]["name"] = Json::string(name);
            list[list.size() - 1]["infPath"] = Json::string(Stored(name, environment));
            Json& package = m["spooler"]["driverStore"][m["spooler"]["driverStore"].size()];
            package["storedInf"] = Json::string(Stored(name, environment));
            package["environment"] = Json::string(environment);
        });
    }
    static Lines Printers() {
        Lines out;
        for (const auto& q : testsupport::Queues()) out.push_back(q.first);
        return out;
    }
    // "environment/name" of every installed driver, and every package's stored INF.
    static Lines Drivers() {
        Lines out;
        const Json drivers = winsim::control::Read().at("spooler").at("drivers");
        for (const auto& env : drivers.as_object()) {
            for (const Json& d : env.second.as_array()) out.push_back(env.first + "/" + d.at("name").as_string());
        }
        return out;
    }
    static Lines Packages() {
        Lines out;
        const Json store = winsim::control::Read().at("spooler").at("driverStore");
        for (const Json& p : store.as_array()) {
            out.push_back(p.at("storedInf").as_string());
        }
        return out;
    }
    // The rollback's two passes, each logging these drivers: every one when nothing matches, else those
    // up to and including the match.
    static Lines RollbackWalk(std::initializer_list<const char*> names) {
        Lines out;
        for (const char* pass : {"DeleteDrv", "DeleteDriverPackage"}) {
            for (const char* name : names) {
                out.push_back(std::string("trace RemoveDriverFromDriverName: ") + pass + " pDriverName=" + name);
            }
        }
        return out;
    }
    // The rollback of a failed install of Brisora-40, logging afresh.
    int RollbackOfBrisora() {
        ClearLog();
        wcscpy_s(gszDriverName, kPathChars, L"Brisora-40");
        return device.RemoveDriverFromDriverName();
    }
    Lines Log() const {
        Lines out;
        for (const testsupport::LogEntry& e : Entries()) out.push_back(e.level + " " + e.message);
        return out;
    }
    void ClearLog() {
        ResetState();
        std::remove(LogPath().c_str());
    }

    CPrinterDeviceObject& device = CPrinterDeviceObject::GetInstance();
};

TEST_F(RemovalTest, RemovePrinterDeletesEveryPrinterOfTheModelsAndLogsEachPrinterFirst) {
    AddPrinter("Brisora-40", "Brisora-40", "USB001", true);
    AddPrinter("Office", "Acme Laser", "LPT1:", true);
    AddPrinter("Lower", "brisora-40", "USB003", true);  // the match is case-sensitive
    AddPrinter("Copy", "Brisora-40P", "USB002", false);
    EXPECT_EQ(device.RemovePrinter(), 0);
    EXPECT_EQ(Log(), (Lines{
                         "trace RemovePrinter: DeletePrt pPortName=USB001, pPrinterName=Brisora-40, pDriverName=Brisora-40",
                         "trace RemovePrinter: DeletePrt pPortName=LPT1:, pPrinterName=Office, pDriverName=Acme Laser",
                         "trace RemovePrinter: DeletePrt pPortName=USB003, pPrinterName=Lower, pDriverName=brisora-40",
                         "trace RemovePrinter: DeletePrt pPortName=USB002, pPrinterName=Copy, pDriverName=Brisora-40P",
                         "error DeletePrt:DeletePrinterData failed ! (GetLastError = 0x2)",
                     }));
    EXPECT_EQ(Printers(), (Lines{"Office", "Lower"}));
    EXPECT_EQ(winsim::control::Read().at("spooler").at("printers").at(0).at("data").size(), 2u);

    ClearLog();
    Change([](Json& m) { m["spooler"]["printers"] = Json::array(); });
    EXPECT_EQ(device.RemovePrinter(), -1001) << "no printer at all";
    AddPrinter("Brisora-40", "Brisora-40", "USB001", true);
    InjectFault("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(device.RemovePrinter(), -1001);
    InjectFault("EnumPrintersW", ERROR_INVALID_PARAMETER, 1, 1);
    EXPECT_EQ(device.RemovePrinter(), -1001);
    EXPECT_EQ(Log(), (Lines{"warning RemovePrinter: Failed to EnumPrinters 2"})) << "only the failed read is logged";
    EXPECT_EQ(Printers(), (Lines{"Brisora-40"}));
}

TEST_F(RemovalTest, DeletePrtReportsWhatStoppedItAndNeverCutsAName) {
    const std::string cut(259, 'p');
    AddPrinter("Brisora-40", "Brisora-40", "USB001", true);
    AddPrinter(cut, "Brisora-40", "USB002", true);
    EXPECT_EQ(device.DeletePrt(std::wstring(260, L'p').c_str()), -1005) << "cut, it would name the other queue";
    EXPECT_EQ(device.DeletePrt(L"Missing"), -1005);
    InjectFault("DeletePrinter", ERROR_ACCESS_DENIED);
    EXPECT_EQ(device.DeletePrt(L"Brisora-40"), -1006);
    EXPECT_EQ(Log(), (Lines{"error DeletePrt:OpenPrinter failed ! (GetLastError = 0x709)",
                            "error DeletePrt:OpenPrinter failed ! (GetLastError = 0x709)",
                            "error DeletePrt:DeletePrinter failed ! (GetLastError = 0x5)"}));
    EXPECT_EQ(Printers(), (Lines{"Brisora-40", cut}));
    EXPECT_EQ(device.DeletePrt(std::wstring(259, L'p').c_str()), 0);
    EXPECT_EQ(Printers(), (Lines{"Brisora-40"}));
}

TEST_F(RemovalTest, RemoveDriverDeletesEachEnvironmentsDriverThenItsPackageOneSecondLater) {
    AddDriver(kX64, "Brisora-40");
    AddDriver(kX64, "Acme Laser");
    AddDriver(kX86, "Brisora-40");
    AddDriver(kX86, "Brisora-40P");
    EXPECT_EQ(device.RemoveDriver(), 0);
    EXPECT_EQ(GetTickCount(), 1000u);
    // Environments are listed in the order of their names.
    EXPECT_EQ(Log(), (Lines{
                         "trace RemoveDriver: DeleteDrv pDriverName=Brisora-40",
                         "trace RemoveDriver: DeleteDrv pDriverName=Brisora-40P",
                         "trace RemoveDriver: DeleteDrv pDriverName=Brisora-40",
                         "trace RemoveDriver: DeleteDrv pDriverName=Acme Laser",
                         "trace RemoveDriver: DeleteDriverPackage pDriverName=Brisora-40",
                         "trace RemoveDriver: DeleteDriverPackage pDriverName=Brisora-40P",
                         "trace RemoveDriver: DeleteDriverPackage pDriverName=Brisora-40",
                         "trace RemoveDriver: DeleteDriverPackage pDriverName=Acme Laser",
                     }));
    EXPECT_EQ(Drivers(), (Lines{"Windows x64/Acme Laser"}));
    EXPECT_EQ(Packages(), (Lines{Stored("Acme Laser", kX64)}));
}

TEST_F(RemovalTest, RemoveDriverLogsEachFailureAndStillAnswersZero) {
    AddDriver(kX64, "Brisora-40");
    AddDriver(kX86, "Brisora-40");
    AddPrinter("Brisora-40", "Brisora-40", "USB001", true);  // keeps the x64 driver, and so its package, in use
    InjectFault("DeletePrinterDriverPackageW", 0x80070005u);  // the x86 package, whose driver did go
    EXPECT_EQ(device.RemoveDriver(), 0);
    EXPECT_EQ(Log(), (Lines{
                         "trace RemoveDriver: DeleteDrv pDriverName=Brisora-40",
                         "trace RemoveDriver: DeleteDrv pDriverName=Brisora-40",
                         "error DeleteDrv:DeletePrinterDriver failed ! (GetLastError = 0xbb9)",
                         "trace RemoveDriver: DeleteDriverPackage pDriverName=Brisora-40",
                         "error RemoveDriver: DeletePrinterDriverPackage=0x80070005",
                         "trace RemoveDriver: DeleteDriverPackage pDriverName=Brisora-40",
                         "error RemoveDriver: DeletePrinterDriverPackage=0x80070bbe",
                     }));
    EXPECT_EQ(Drivers(), (Lines{"Windows x64/Brisora-40"}));
    EXPECT_EQ(Packages().size(), 2u);
}

TEST_F(RemovalTest, NoDriverListMeansNoPause) {
    EXPECT_EQ(device.RemoveDriver(), 0);
    EXPECT_EQ(device.RemoveDriverFromDriverName(), 0);
    AddDriver(kX64, "Brisora-40");
    InjectFault("EnumPrinterDriversW", ERROR_INVALID_PARAMETER, 1, 1);
    EXPECT_EQ(device.RemoveDriver(), -1001);
    InjectFault("EnumPrinterDriversW", ERROR_INVALID_PARAMETER, 1, 1);
    EXPECT_EQ(device.RemoveDriverFromDriverName(), -1001);
    EXPECT_EQ(GetTickCount(), 0u);
    EXPECT_EQ(Log(), (Lines{"trace RemoveDriver: Not found printer driver",
                            "trace RemoveDriverFromDriverName: Not found printer driver",
                            "warning RemoveDriver: Failed to EnumPrinterDrivers 8",
                            "warning RemoveDriverFromDriverName: Failed to EnumPrinterDrivers 8"}));
    EXPECT_EQ(Drivers().size(), 1u);
}

// A driver list that cannot be had is no empty list: our driver may well be installed, so neither removal
// says it found none; both warn and answer -1001, without the pause.
TEST_F(RemovalTest, DriverListThatCannotBeHadIsNotTakenForAnEmptyOne) {
    const struct {
        const char* name;
        std::function<void()> arrange;  // makes the next size query fail
    } cases[] = {
        {"size query refused", [] { InjectFault("EnumPrinterDriversW", RPC_S_SERVER_UNAVAILABLE); }},
        {"size query failing without an error code", [] { InjectFault("EnumPrinterDriversW", ERROR_SUCCESS); }},
        {"size query naming no size", [] { InjectFault("EnumPrinterDriversW", ERROR_INSUFFICIENT_BUFFER); }},
        {"Spooler stopped",
         [] { Change([](Json& m) { m["services"][0]["state"] = Json::number(SERVICE_STOPPED); }); }},
    };
    AddDriver(kX64, "Brisora-40");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ClearLog();
        const DWORD before = GetTickCount();
        c.arrange();
        EXPECT_EQ(device.RemoveDriver(), -1001);
        c.arrange();
        wcscpy_s(gszDriverName, kPathChars, L"Brisora-40");
        EXPECT_EQ(device.RemoveDriverFromDriverName(), -1001);
        EXPECT_EQ(GetTickCount(), before);
        EXPECT_EQ(Log(), (Lines{"warning RemoveDriver: Failed to EnumPrinterDrivers 8",
                                "warning RemoveDriverFromDriverName: Failed to EnumPrinterDrivers 8"}));
        EXPECT_EQ(Drivers(), (Lines{"Windows x64/Brisora-40"}));
        EXPECT_EQ(winsim::control::Read().at("faults").size(), 0u);
    }
}

// The rollback takes away what the failed install added: its driver in the machine's own environment and
// that entry's package. The same driver of another environment was there before; it and its package stay.
TEST_F(RemovalTest, RollbackHandlesOnlyItsDriversEntryOfTheMachinesOwnEnvironment) {
    AddDriver(kX86, "Acme Laser");
    AddDriver(kX86, "Brisora-40");
    AddDriver(kX64, "Brisora-40");
    AddDriver(kX64, "Zeta");
    {
        SCOPED_TRACE("no model was found: nothing matches");
        EXPECT_EQ(device.RemoveDriverFromDriverName(), 0);
        EXPECT_EQ(Log(), RollbackWalk({"Acme Laser", "Brisora-40", "Brisora-40", "Zeta"}));
        EXPECT_EQ(Drivers().size(), 4u);
        EXPECT_EQ(Packages().size(), 4u);
    }
    const DWORD before = GetTickCount();
    EXPECT_EQ(RollbackOfBrisora(), 0);
    EXPECT_EQ(GetTickCount() - before, 1000u);
    // The x86 entry is listed first; each pass stops at the machine's own one.
    EXPECT_EQ(Log(), RollbackWalk({"Acme Laser", "Brisora-40", "Brisora-40"}));
    EXPECT_EQ(Drivers(), (Lines{"Windows NT x86/Acme Laser", "Windows NT x86/Brisora-40", "Windows x64/Zeta"}));
    EXPECT_EQ(Packages(), (Lines{Stored("Acme Laser", kX86), Stored("Brisora-40", kX86), Stored("Zeta", kX64)}));
    {
        SCOPED_TRACE("again: nothing of its own is left, the x86 driver stays");
        EXPECT_EQ(RollbackOfBrisora(), 0);
        EXPECT_EQ(Log(), RollbackWalk({"Acme Laser", "Brisora-40", "Zeta"}));
        EXPECT_EQ(Drivers().size(), 3u);
        EXPECT_EQ(Packages().size(), 3u);
    }
    {
        SCOPED_TRACE("on an x86 machine the x86 entry is its own");
        AddDriver(kX64, "Brisora-40");
        Change([](Json& m) { m["system"]["architecture"] = Json::number(PROCESSOR_ARCHITECTURE_INTEL); });
        EXPECT_EQ(RollbackOfBrisora(), 0);
        EXPECT_EQ(Log(), RollbackWalk({"Acme Laser", "Brisora-40"}));
        EXPECT_EQ(Drivers(), (Lines{"Windows NT x86/Acme Laser", "Windows x64/Zeta", "Windows x64/Brisora-40"}));
        EXPECT_EQ(Packages(), (Lines{Stored("Acme Laser", kX86), Stored("Zeta", kX64), Stored("Brisora-40", kX64)}));
    }
    {
        SCOPED_TRACE("on an ARM machine neither the x86 nor the x64 entry is its own");
        Change([](Json& m) { m["system"]["architecture"] = Json::number(PROCESSOR_ARCHITECTURE_ARM); });
        EXPECT_EQ(RollbackOfBrisora(), 0);
        EXPECT_EQ(Log(), RollbackWalk({"Acme Laser", "Zeta", "Brisora-40"}));
        EXPECT_EQ(Drivers().size(), 3u);
        EXPECT_EQ(Packages().size(), 3u);
    }
}

// On every architecture a machine can have, the rollback takes away the driver and the package the
// install added through the spooler's NULL environment, in the environment Windows names for it, and
// leaves the same driver of every other environment with its package.
TEST_F(RemovalTest, RollbackRemovesWhatTheInstallAddedOnEveryArchitecture) {
    const struct {
        int architecture;
        const char* environment;
    } cases[] = {
        {PROCESSOR_ARCHITECTURE_INTEL, "Windows NT x86"}, {PROCESSOR_ARCHITECTURE_ARM, "Windows ARM"},
        {PROCESSOR_ARCHITECTURE_IA64, "Windows IA64"},    {PROCESSOR_ARCHITECTURE_AMD64, "Windows x64"},
        {PROCESSOR_ARCHITECTURE_ARM64, "Windows ARM64"},
    };
    std::string inf = installertest::Win32Path(testsupport::PackagePath("ZLPrtDrv.inf"));
    wcscpy_s(gszInfPath, kPathChars, std::wstring(inf.begin(), inf.end()).c_str());
    // "environment/stored INF" of every package in the driver store.
    auto packages = [] {
        Lines out;
        const Json machine = winsim::control::Read();
        for (const Json& p : machine.at("spooler").at("driverStore").as_array()) {
            out.push_back(p.at("environment").as_string() + "/" + p.at("storedInf").as_string());
        }
        return out;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.environment);
        winsim::control::UseFreshMachine(MachinePath());
        Change([&](Json& m) { m["system"]["architecture"] = Json::number(c.architecture); });
        Lines others, otherPackages;
        for (const auto& other : cases) {
            if (other.architecture == c.architecture) continue;
            AddDriver(other.environment, "Brisora-40");
            others.push_back(std::string(other.environment) + "/Brisora-40");
        }
        otherPackages = packages();
        ASSERT_TRUE(device.AddPrinterDriverToDriveStore(L"Brisora-40"));
        Lines installed = others;
        installed.push_back(std::string(c.environment) + "/Brisora-40");
        std::sort(installed.begin(), installed.end());
        Lines drivers = Drivers();
        std::sort(drivers.begin(), drivers.end());
        EXPECT_EQ(drivers, installed) << "the install adds its driver to the machine's own environment";
        ASSERT_EQ(packages().size(), others.size() + 1);

        EXPECT_EQ(RollbackOfBrisora(), 0);
        drivers = Drivers();
        std::sort(drivers.begin(), drivers.end());
        std::sort(others.begin(), others.end());
        EXPECT_EQ(drivers, others);
        EXPECT_EQ(packages(), otherPackages);
    }
}

TEST_F(RemovalTest, UninstallWithoutPrintersLeavesTheSpoolerAloneAndStillRemovesDrivers) {
    AddDriver(kX64, "Brisora-40");
    EXPECT_EQ(PrinterDrvCtrl(L"/Uninstall"), 0);
    EXPECT_TRUE(testsupport::ServiceHistory(0).empty()) << "no stop, no start";
    EXPECT_TRUE(Drivers().empty());
    EXPECT_TRUE(Packages().empty());
}

}  // namespace
