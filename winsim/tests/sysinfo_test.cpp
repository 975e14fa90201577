// System information (GetNativeSystemInfo in kernel32/sysinfo.cpp). Source of truth: SYSTEM_INFO's
// wProcessorArchitecture holds the PROCESSOR_ARCHITECTURE_* value of the machine, which the project's
// design keeps in the machine file (AMD64 by default).
#include <windows.h>

#include <cstring>

#include "TestMachine.h"

namespace {

using testsupport::MachineTest;

WORD NativeArchitecture() {
    SYSTEM_INFO info;
    std::memset(&info, 0xCC, sizeof info);
    GetNativeSystemInfo(&info);
    EXPECT_NE(info.dwPageSize, 0u);
    EXPECT_NE(info.dwNumberOfProcessors, 0u);
    EXPECT_EQ(info.wReserved, 0u);
    return info.wProcessorArchitecture;
}

using SystemInfoTest = MachineTest;

TEST_F(SystemInfoTest, ArchitectureIsTheMachines) {
    EXPECT_EQ(NativeArchitecture(), PROCESSOR_ARCHITECTURE_AMD64);
    for (int arch : {PROCESSOR_ARCHITECTURE_INTEL, PROCESSOR_ARCHITECTURE_ARM, PROCESSOR_ARCHITECTURE_IA64,
                     PROCESSOR_ARCHITECTURE_ARM64, PROCESSOR_ARCHITECTURE_AMD64}) {
        winsim::control::Change([arch](winsim::control::Json& machine) {
            machine["system"]["architecture"] = winsim::control::Json::number(arch);
        });
        EXPECT_EQ(NativeArchitecture(), arch);
    }
}

}  // namespace
