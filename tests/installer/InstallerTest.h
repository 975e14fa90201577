// In-process fixture for Corvane's discovery and launcher: a fresh machine, the installer's log in the
// test folder, and the process-wide state the flows read put back to a known start.
#pragma once
#include <unistd.h>

#include <windows.h>

#include <Installer.h>
#include <Logger.h>
#include <PrinterDeviceObject.h>
#include <TestMachine.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cwchar>
#include <iterator>
#include <string>
#include <vector>

namespace installertest {

using Json = winsim::control::Json;

inline std::string Win32Path(const std::string& host) {
    std::string path = "Z:" + host;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

class InstallerTest : public testsupport::MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        char cwd[PATH_MAX];
        if (::getcwd(cwd, sizeof cwd)) cwd_ = cwd;
        // Nothing below the test folder: Prunavel cannot be started unless a test moves to the package.
        ASSERT_EQ(::chdir(Dir().c_str()), 0);
        ResetState();
        // No driver package unless the test names one: the installer's own road then stops at the upload.
        std::fill(std::begin(gszInfPath), std::end(gszInfPath), L'\0');
        giLogRole = LOGGER_ROLE_DRVCTRL;
        giLogLevel = spdlog::level::trace;
        giLogSink = LOG_SINK_ROTATING_FILE;
        std::string win32 = Win32Path(LogPath());
        gstrLogFile.assign(win32.begin(), win32.end());
        giProcessorArch = PROCESSOR_ARCHITECTURE_AMD64;
    }

    void TearDown() override {
        ResetState();  // closes the log before the folder goes
        std::fill(std::begin(gszInfPath), std::end(gszInfPath), L'\0');
        if (!cwd_.empty()) {
            EXPECT_EQ(::chdir(cwd_.c_str()), 0);
        }
        MachineTest::TearDown();
    }

    static void ResetState() {
        spdlog::drop_all();
        gpLogger.reset();
        CPrinterDeviceObject& device = CPrinterDeviceObject::GetInstance();
        device.lastError = 0;
        std::fill(std::begin(device.printInstanceId), std::end(device.printInstanceId), L'\0');
        std::fill(std::begin(device.usbInstanceId), std::end(device.usbInstanceId), L'\0');
        std::fill(std::begin(gszDriverName), std::end(gszDriverName), L'\0');
    }

    static void UsePackageFolder() { ASSERT_EQ(::chdir(testsupport::PackagePath("").c_str()), 0); }

    std::string LogPath() const { return Dir() + "/corvane.log"; }
    std::string PrunavelLogPath() const { return TempDir() + "ZL/logs/Prunavel.log"; }

    std::vector<testsupport::LogEntry> Entries() const { return testsupport::ReadLog(LogPath()); }
    std::vector<std::string> Messages() const {
        std::vector<std::string> out;
        for (const testsupport::LogEntry& e : Entries()) out.push_back(e.message);
        return out;
    }
    // The lines of discovery and launcher only: the install steps after them log their own.
    std::vector<std::string> WalkMessages() const {
        std::vector<std::string> out;
        for (const std::string& m : Messages()) {
            for (const char* prefix : {"PrinterDrvInstall:", "InstallFromPrunavel:", "Prunavel:"}) {
                if (m.rfind(prefix, 0) == 0) {
                    out.push_back(m);
                    break;
                }
            }
        }
        return out;
    }

    // Starts over on a fresh default machine with an empty log, inside the same test.
    void Restart() {
        winsim::control::UseFreshMachine(MachinePath());
        ResetState();
        std::remove(LogPath().c_str());
    }

    // A plugged USB device of our ids whose printer interface answers the given IEEE 1284 id.
    static void PlugUsbPrinter(const std::string& serial, const std::string& ieee1284Id) {
        winsim::control::Change([&](Json& m) {
            Json device = m["devices"][0];
            device["instanceId"] = Json::string("USB\\VID_0483&PID_5741\\" + serial);
            Json& iface = device["interfaces"][0];
            iface["devicePath"] =
                Json::string("\\\\?\\usb#vid_0483&pid_5741#" + serial + "#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}");
            iface["ieee1284Id"] = Json::string(ieee1284Id);
            m["devices"][m["devices"].size()] = device;
        });
    }


    static void SetPresent(const std::string& instanceId, bool present) {
        winsim::control::Change([&](Json& m) {
            for (size_t i = 0; i < m["devices"].size(); ++i) {
                if (m["devices"][i]["instanceId"].as_string() == instanceId) m["devices"][i]["present"] = Json::boolean(present);
            }
        });
    }

    static Json FaultOf(const std::string& function) {
        Json faults = winsim::control::Read().at("faults");
        for (size_t i = 0; i < faults.size(); ++i) {
            if (faults.at(i).at("function").as_string() == function) return faults.at(i);
        }
        return Json::null();
    }
    static size_t FormCount() { return winsim::control::Read().at("spooler").at("forms").size(); }

private:
    std::string cwd_;
};

}  // namespace installertest
