// The model table, and the device object's USB port look-ups: the port a USBPRINT device is bound to,
// and whether the spooler lists a port.
#include <windows.h>

#include <Logger.h>
#include <PrinterDeviceObject.h>
#include <PrinterModel.h>
#include <TestMachine.h>

#include <algorithm>
#include <cwchar>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace {

using winsim::control::Change;
using winsim::control::InjectFault;
using Json = winsim::control::Json;

TEST(PrinterModelTable, HoldsTheTwoModelsInOrder) {
    const PrinterModelInfo expected[] = {
        {L"0483", L"5741", L"Brisora40", L"Brisora-40", L"Brisora-40", L"BRISORA40", L"USBPRINT\\Brisora40C3F1", 46},
        {L"0483", L"5741", L"Brisora40P", L"Brisora-40P", L"Brisora-40P", L"BRISORA40P", L"USBPRINT\\Brisora40P7A2E", 47},
    };
    ASSERT_EQ(kPrinterModelCount, 2);
    for (int i = 0; i < kPrinterModelCount; ++i) {
        SCOPED_TRACE(i);
        const PrinterModelInfo& row = gPrinterModelTable[i];
        EXPECT_STREQ(row.usbVid, expected[i].usbVid);
        EXPECT_STREQ(row.usbPid, expected[i].usbPid);
        EXPECT_STREQ(row.ieee1284Model, expected[i].ieee1284Model);
        EXPECT_STREQ(row.printerName, expected[i].printerName);
        EXPECT_STREQ(row.driverName, expected[i].driverName);
        EXPECT_STREQ(row.insPathModelName, expected[i].insPathModelName);
        EXPECT_STREQ(row.hardwareId, expected[i].hardwareId);
        EXPECT_EQ(row.modelId, expected[i].modelId);
    }
}

std::string Win32Path(const std::string& host) {
    std::string path = "Z:" + host;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

class PortBindingTest : public testsupport::MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        ResetState();
        giLogRole = LOGGER_ROLE_DRVCTRL;
        giLogLevel = spdlog::level::trace;
        giLogSink = LOG_SINK_ROTATING_FILE;
        std::string path = Win32Path(LogPath());
        gstrLogFile.assign(path.begin(), path.end());
    }
    void TearDown() override {
        ResetState();  // closes the log before the folder goes
        MachineTest::TearDown();
    }
    void ResetState() {
        spdlog::drop_all();
        gpLogger.reset();
        std::remove(LogPath().c_str());
        CPrinterDeviceObject& device = CPrinterDeviceObject::GetInstance();
        std::fill(std::begin(device.printInstanceId), std::end(device.printInstanceId), L'\0');
    }
    std::string LogPath() const { return Dir() + "/common.log"; }
    std::vector<std::string> Messages() const {
        std::vector<std::string> out;
        for (const testsupport::LogEntry& e : testsupport::ReadLog(LogPath())) out.push_back(e.message);
        return out;
    }
};

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

struct PrintDevice {
    std::string instanceId;
    bool present;
};

struct BindCase {
    const char* name;
    std::vector<PrintDevice> devices;
    const wchar_t* segment;
    std::wstring port;
    int winner;  // index of the bound device, -1: none
    DWORD lastError;      // 0: not pinned
};

// An instance id of the given length, bound to USB001.
std::string InstanceIdOf(size_t length) {
    const std::string head = "USBPRINT\\BRISORA40\\7&";
    const std::string tail = "&USB001";
    return head + std::string(length - head.size() - tail.size(), '1') + tail;
}

TEST_F(PortBindingTest, BindPortReadsThePortFromTheFirstMatchingPresentDevice) {
    const std::string longPort(64, 'P');
    const BindCase cases[] = {
        {"default", {{"USBPRINT\\BRISORA40\\7&1A2B3C4D&0&USB001", true}}, L"BRISORA40", L"USB001", 0, 0},
        {"segment case", {{"USBPRINT\\Brisora40\\7&1&0&USB001", true}}, L"BRISORA40", L"", -1, 0},
        {"segment is whole", {{"USBPRINT\\BRISORA40P\\7&1&0&USB002", true}}, L"BRISORA40", L"", -1, 0},
        {"second model", {{"USBPRINT\\BRISORA40P\\7&1&0&USB002", true}}, L"BRISORA40P", L"USB002", 0, 0},
        {"after the last &", {{"USBPRINT\\BRISORA40\\7&1&0&USB&005", true}}, L"BRISORA40", L"005", 0, 0},
        {"more backslashes", {{"USBPRINT\\BRISORA40\\7&1\\0&USB006", true}}, L"BRISORA40", L"USB006", 0, 0},
        {"blanks trimmed", {{"USBPRINT\\BRISORA40\\7&1&0&  USB003  ", true}}, L"BRISORA40", L"USB003", 0, 0},
        {"tab kept", {{"USBPRINT\\BRISORA40\\7&1&0&\tUSB004", true}}, L"BRISORA40", L"\tUSB004", 0, 0},
        {"only blanks", {{"USBPRINT\\BRISORA40\\7&1&0&   ", true}}, L"BRISORA40", L"", -1, 0},
        {"ends with &", {{"USBPRINT\\BRISORA40\\7&1&0&", true}}, L"BRISORA40", L"", -1, 0},
        {"no &", {{"USBPRINT\\BRISORA40\\USB001", true}}, L"BRISORA40", L"", -1, 0},
        {"one backslash", {{"USBPRINT\\BRISORA40&0&USB001", true}}, L"BRISORA40", L"", -1, 0},
        {"63 characters", {{"USBPRINT\\BRISORA40\\7&0&" + longPort.substr(1), true}}, L"BRISORA40", Wide(longPort.substr(1)), 0, 0},
        {"64 characters", {{"USBPRINT\\BRISORA40\\7&0&" + longPort, true}}, L"BRISORA40", L"", -1, ERROR_INSUFFICIENT_BUFFER},
        {"too long, then one that fits",
         {{"USBPRINT\\BRISORA40\\7&0&" + longPort, true}, {"USBPRINT\\BRISORA40\\8&2&0&USB007", true}},
         L"BRISORA40", L"USB007", 1, 0},
        // The device object keeps the id in 260 characters, the terminator included.
        {"id of 259 characters", {{InstanceIdOf(259), true}}, L"BRISORA40", L"USB001", 0, 0},
        {"id of 260 characters", {{InstanceIdOf(260), true}}, L"BRISORA40", L"", -1, ERROR_INSUFFICIENT_BUFFER},
        {"id of 511 characters, then one that fits",
         {{InstanceIdOf(511), true}, {"USBPRINT\\BRISORA40\\8&2&0&USB007", true}},
         L"BRISORA40", L"USB007", 1, 0},
        {"first wins",
         {{"USBPRINT\\BRISORA40\\7&1&0&USB001", true}, {"USBPRINT\\BRISORA40\\8&2&0&USB002", true}},
         L"BRISORA40", L"USB001", 0, 0},
        {"unplugged passed over",
         {{"USBPRINT\\BRISORA40\\7&1&0&USB009", false}, {"USBPRINT\\BRISORA40\\8&2&0&USB010", true}},
         L"BRISORA40", L"USB010", 1, 0},
        {"none present", {{"USBPRINT\\BRISORA40\\7&1&0&USB001", false}}, L"BRISORA40", L"", -1, 0},
    };
    for (const BindCase& c : cases) {
        SCOPED_TRACE(c.name);
        ResetState();
        Change([&](Json& m) {
            Json devices = Json::array();
            devices[0] = m["devices"][0];  // the USB device: not of the USBPRINT enumerator
            for (const PrintDevice& d : c.devices) {
                Json device = m["devices"][1];
                device["instanceId"] = Json::string(d.instanceId);
                device["present"] = Json::boolean(d.present);
                devices[devices.size()] = device;
            }
            m["devices"] = devices;
        });
        CPrinterDeviceObject& object = CPrinterDeviceObject::GetInstance();
        wcscpy_s(object.printInstanceId, 260, L"KEEP-ID");
        WCHAR port[64] = L"KEEP";
        SetLastError(0xDEADBEEF);

        const bool expectFound = c.winner >= 0;
        EXPECT_EQ(object.GetPrinterDeviceBindPort(c.segment, port), expectFound ? TRUE : FALSE);
        if (c.lastError) {
            EXPECT_EQ(GetLastError(), c.lastError);
        }
        EXPECT_EQ(std::wstring(port), expectFound ? c.port : L"KEEP");
        EXPECT_EQ(std::wstring(object.printInstanceId), expectFound ? Wide(c.devices[c.winner].instanceId) : L"KEEP-ID");

        // Every present device is named until the first bound one.
        std::vector<std::string> traced;
        for (size_t i = 0; i < c.devices.size(); ++i) {
            if (c.devices[i].present) traced.push_back("GetPrinterDeviceBindPort:" + c.devices[i].instanceId);
            if (expectFound && static_cast<int>(i) == c.winner) break;
        }
        EXPECT_EQ(Messages(), traced);
    }
}

std::vector<std::string> PortLines(std::initializer_list<const char*> names) {
    std::vector<std::string> out;
    for (const char* n : names) {
        std::string name = n;
        out.push_back("pPortName=" + name + ", pMonitorName=" + (name == "USB001" ? "USB Monitor" : "Local Port"));
    }
    return out;
}

TEST_F(PortBindingTest, FindPortComparesExactlyAndStopsAtTheMatch) {
    const struct {
        const wchar_t* name;
        BOOL found;
        std::vector<std::string> traced;
    } cases[] = {
        {L"USB001", TRUE, PortLines({"LPT1:", "COM1:", "FILE:", "USB001"})},
        {L"LPT1:", TRUE, PortLines({"LPT1:"})},
        {L"usb001", FALSE, PortLines({"LPT1:", "COM1:", "FILE:", "USB001"})},
        {L"USB00", FALSE, PortLines({"LPT1:", "COM1:", "FILE:", "USB001"})},
        {L"", FALSE, PortLines({"LPT1:", "COM1:", "FILE:", "USB001"})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name, c.name + std::wcslen(c.name)));
        ResetState();
        EXPECT_EQ(CPrinterDeviceObject::GetInstance().FindPortFromName(c.name), c.found);
        EXPECT_EQ(Messages(), c.traced);
    }
}

TEST_F(PortBindingTest, FindPortSeesAPortOnlyOnceTheSpoolerListsIt) {
    Change([](Json& m) { m["spooler"]["ports"][3]["listedFromMs"] = Json::number(5000); });
    CPrinterDeviceObject& device = CPrinterDeviceObject::GetInstance();
    EXPECT_FALSE(device.FindPortFromName(L"USB001"));
    Sleep(4999);
    EXPECT_FALSE(device.FindPortFromName(L"USB001"));
    Sleep(1);
    EXPECT_TRUE(device.FindPortFromName(L"USB001"));
}

TEST_F(PortBindingTest, FindPortFailsWithoutAPortList) {
    const struct {
        const char* name;
        std::function<void()> arrange;
    } cases[] = {
        {"no ports", [] { Change([](Json& m) { m["spooler"]["ports"] = Json::array(); }); }},
        {"spooler stopped", [] { Change([](Json& m) { m["services"][0]["state"] = Json::number(1); }); }},
        {"no memory", [] { InjectFault("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY); }},
        {"second call fails", [] { InjectFault("EnumPortsW", ERROR_INVALID_HANDLE, 1, 1); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        winsim::control::UseFreshMachine(MachinePath());
        ResetState();
        c.arrange();
        EXPECT_FALSE(CPrinterDeviceObject::GetInstance().FindPortFromName(L"USB001"));
        EXPECT_TRUE(Messages().empty());
    }
}

}  // namespace
