// The machine's clock (Sleep and GetTickCount in kernel32/sysinfo.cpp). Source of truth: GetTickCount
// counts milliseconds in a DWORD that wraps to zero after 49.7 days; the project's design puts both
// functions on a virtual clock that a sleep moves on at once and that every process on the machine shares.
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "TestMachine.h"

#ifndef WINSIM_TEST_CHILD
#error "WINSIM_TEST_CHILD names the child program"
#endif

namespace {

using testsupport::MachineTest;
using testsupport::RunProgram;

using ClockTest = MachineTest;

TEST_F(ClockTest, SleepAdvancesTheTickCountExactlyAndAtOnce) {
    const DWORD start = GetTickCount();
    const auto hostStart = std::chrono::steady_clock::now();
    for (int attempt = 0; attempt < 30; ++attempt) Sleep(2000);
    const auto hostElapsed = std::chrono::steady_clock::now() - hostStart;
    EXPECT_EQ(GetTickCount() - start, 60000u);
    EXPECT_LT(hostElapsed, std::chrono::seconds(10)) << "a virtual sleep must not wait";
    EXPECT_EQ(GetTickCount() - start, 60000u) << "the virtual clock stands still between sleeps";
}

// A machine without a clock section runs on a virtual clock that starts at zero, as the services see it.
TEST_F(ClockTest, MachineWithoutAClockStartsAtZeroAndSleepMakesOne) {
    winsim::control::Change([](winsim::control::Json& machine) { machine.erase("clock"); });
    EXPECT_EQ(GetTickCount(), 0u);
    Sleep(1500);
    EXPECT_EQ(GetTickCount(), 1500u);
}

TEST_F(ClockTest, TickCountWrapsAroundLikeADword) {
    winsim::control::Change([](winsim::control::Json& machine) {
        machine["clock"]["nowMs"] = winsim::control::Json::number(static_cast<int64_t>(0xFFFFFFFFu) - 999);
    });
    EXPECT_EQ(GetTickCount(), 0xFFFFFFFFu - 999);
    Sleep(2000);
    EXPECT_EQ(GetTickCount(), 1000u);
}

TEST_F(ClockTest, ClockIsSharedWithOtherProcesses) {
    Sleep(1500);
    const DWORD before = GetTickCount();
    // The child sleeps on the machine's clock and exits with the tick count it sees afterwards.
    testsupport::RunResult r = RunProgram(WINSIM_TEST_CHILD, {"sleep", "5000"});
    ASSERT_TRUE(r.recorded) << r.err;
    EXPECT_EQ(static_cast<DWORD>(r.exitCode), before + 5000) << "the child started from this process's time";
    EXPECT_EQ(GetTickCount(), before + 5000) << "the child's sleep moved this process's time on";
}

// The machine's clock is a signed 64-bit count: at its end it stays there instead of wrapping, and a
// time beyond it in the file reads as its end, never as a time before the start.
TEST_F(ClockTest, ClockAtTheEndOfItsRangeStaysThere) {
    using winsim::control::Json;
    const int64_t end = std::numeric_limits<int64_t>::max();
    const std::vector<Json> times = {Json::number(end - 999), Json::number(end), Json::number(1e19),
                                     Json::parse("10000000000000000000")};
    for (const Json& time : times) {
        SCOPED_TRACE("clock at " + time.serialize());
        winsim::control::Change([&](Json& machine) { machine["clock"]["nowMs"] = time; });
        Sleep(2000);
        Json now = winsim::control::Read().at("clock").at("nowMs");
        ASSERT_TRUE(now.is_integer()) << now.serialize();
        EXPECT_EQ(now.as_number().to_int64(), end);
        EXPECT_EQ(GetTickCount(), static_cast<DWORD>(end));
    }
}

}  // namespace
