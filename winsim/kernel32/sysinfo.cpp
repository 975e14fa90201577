#include <time.h>

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "../core/architecture.h"
#include "../core/machine.h"
#include "../core/text.h"

namespace {

bool VirtualClock(const winsim::Json& machine) {
    return !machine.has_field("clock") || winsim::BoolAt(machine.at("clock"), "virtual", true);
}

uint64_t RealMilliseconds() {
    timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

}  // namespace

// Simplified: only the architecture is the machine's (one with a spooler environment); the other fields are
// fixed plausible values.
extern "C" void WINAPI GetNativeSystemInfo(LPSYSTEM_INFO info) {
    std::memset(info, 0, sizeof *info);
    const auto view = winsim::Machine::Instance().Snapshot();
    info->wProcessorArchitecture = static_cast<WORD>(winsim::ArchitectureOf(*view));
    info->dwPageSize = 4096;
    info->dwNumberOfProcessors = 4;
    info->dwAllocationGranularity = 65536;
}

// On the virtual clock a sleep moves the machine's time on at once, for every process on the machine.
extern "C" void WINAPI Sleep(DWORD dwMilliseconds) {
    winsim::Machine& m = winsim::Machine::Instance();
    if (!VirtualClock(*m.Snapshot())) {
        timespec ts{static_cast<time_t>(dwMilliseconds / 1000), static_cast<long>(dwMilliseconds % 1000) * 1000000L};
        while (::nanosleep(&ts, &ts) != 0) {
        }
        return;
    }
    if (dwMilliseconds == 0) return;  // only gives up the time slice: no machine time passes
    m.Modify([&](winsim::Json& machine) { winsim::AdvanceClock(machine, dwMilliseconds); });
}

extern "C" DWORD WINAPI GetTickCount(void) {
    const auto view = winsim::Machine::Instance().Snapshot();
    const winsim::Json& snap = *view;
    if (!VirtualClock(snap)) return static_cast<DWORD>(RealMilliseconds());
    return static_cast<DWORD>(snap.has_field("clock") ? winsim::IntAt(snap.at("clock"), "nowMs", 0) : 0);
}

// Standard error is where a debugger attached to this process would look.
extern "C" void WINAPI OutputDebugStringA(LPCSTR text) {
    if (text) std::fputs(text, stderr);
}

extern "C" void WINAPI OutputDebugStringW(LPCWSTR text) {
    if (text) std::fputs(winsim::ToUtf8(text).c_str(), stderr);
}
