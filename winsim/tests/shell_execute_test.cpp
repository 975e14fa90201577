// ShellExecuteW's commands carried out on the machine (shell32/shell_execute.cpp). Source of truth:
// pnputil's /restart-device restarts the device named by its instance id; ShellExecuteW answers a value
// above 32 when the command was started.
#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <limits>

#include "TestMachine.h"

namespace {

using Json = winsim::control::Json;
using ShellExecuteTest = testsupport::MachineTest;

int64_t Restarts() {
    Json usb = winsim::control::Read().at("devices").at(0);
    return usb.has_field("restarts") ? usb.at("restarts").as_number().to_int64() : 0;
}

// A count of restarts at the end of its range stays there; the restart itself still happens.
TEST_F(ShellExecuteTest, RestartCountsStayWithinTheirRange) {
    const wchar_t* restart = L"/c pnputil /restart-device \"USB\\VID_0483&PID_5741\\2C0031000B51\"";
    auto Run = [&] { return reinterpret_cast<intptr_t>(ShellExecuteW(nullptr, L"open", L"cmd", restart, nullptr, SW_HIDE)); };
    EXPECT_GT(Run(), 32);
    EXPECT_EQ(Restarts(), 1);

    const int64_t end = std::numeric_limits<int64_t>::max();
    winsim::control::Change([&](Json& m) { m["devices"][0]["restarts"] = Json::number(end); });
    EXPECT_GT(Run(), 32);
    EXPECT_EQ(Restarts(), end);
    EXPECT_EQ(winsim::control::Read().at("shell").at("commands").size(), 2u);
}

}  // namespace
