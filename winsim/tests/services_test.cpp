// The service control manager (advapi32/services.cpp). Source of truth: the documentation of the
// service functions (the rights each call needs; QueryServiceStatusEx's ERROR_INSUFFICIENT_BUFFER with
// the size needed; ControlService returning the status on success and with ERROR_SERVICE_NOT_ACTIVE or
// ERROR_SERVICE_CANNOT_ACCEPT_CTRL, and refusing a stop with ERROR_DEPENDENT_SERVICES_RUNNING;
// EnumDependentServicesW's ERROR_MORE_DATA and reverse start order) and the project's machine scripts.
#include <windows.h>
#include <winspool.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "ServiceScript.h"
#include "TestMachine.h"

namespace {

using Json = winsim::control::Json;
using testsupport::ServiceHistory;

class ServicesTest : public testsupport::MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(manager_, nullptr);
    }
    void TearDown() override {
        CloseServiceHandle(manager_);
        MachineTest::TearDown();
    }
    SC_HANDLE Open(const wchar_t* name, DWORD access = SERVICE_ALL_ACCESS) { return OpenServiceW(manager_, name, access); }
    SC_HANDLE manager_ = nullptr;
};

SERVICE_STATUS_PROCESS Query(SC_HANDLE service) {
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    EXPECT_TRUE(QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status), sizeof status, &needed));
    return status;
}

bool SpoolerAnswers() {
    DWORD needed = 0, returned = 0;
    SetLastError(0xDEADBEEF);
    EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned);
    return GetLastError() != RPC_S_SERVER_UNAVAILABLE;
}

TEST_F(ServicesTest, HandlesCarryOnlyTheRightsTheyWereOpenedWith) {
    EXPECT_EQ(OpenSCManagerW(nullptr, L"Elsewhere", SC_MANAGER_CONNECT), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DATABASE_DOES_NOT_EXIST));
    EXPECT_EQ(Open(L"NoSuchService"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));

    SC_HANDLE weak = Open(L"spooler", SERVICE_QUERY_CONFIG);  // names compare without case
    ASSERT_NE(weak, nullptr);
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0, count = 0;
    EXPECT_FALSE(QueryServiceStatusEx(weak, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status), sizeof status, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(ControlService(weak, SERVICE_CONTROL_STOP, reinterpret_cast<LPSERVICE_STATUS>(&status)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(EnumDependentServicesW(weak, SERVICE_ACTIVE, nullptr, 0, &needed, &count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(StartServiceW(weak, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(CloseServiceHandle(weak));
    EXPECT_FALSE(CloseServiceHandle(weak));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(ServiceHistory(0).empty()) << "refused calls never reach the service";

    winsim::control::Change([](Json& m) {
        m["services"][0]["deniedAccess"] = Json::number(SERVICE_STOP);
        m["serviceControl"]["deniedAccess"] = Json::number(SC_MANAGER_LOCK);
    });
    EXPECT_EQ(Open(L"Spooler", SERVICE_STOP | SERVICE_QUERY_STATUS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(ServicesTest, StatusQueryAnswersNineDwordsAndCostsTenMilliseconds) {
    SC_HANDLE spooler = Open(L"Spooler");
    BYTE buffer[sizeof(SERVICE_STATUS_PROCESS)];
    DWORD needed = 0;
    EXPECT_FALSE(QueryServiceStatusEx(spooler, SC_STATUS_PROCESS_INFO, buffer, 35, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, 36u);
    SetLastError(0xDEADBEEF);
    ASSERT_TRUE(QueryServiceStatusEx(spooler, SC_STATUS_PROCESS_INFO, buffer, sizeof buffer, &needed));
    EXPECT_EQ(GetLastError(), 0xDEADBEEFu);
    EXPECT_EQ(GetTickCount(), 10u);
    SERVICE_STATUS_PROCESS status;
    std::memcpy(&status, buffer, sizeof status);
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(status.dwControlsAccepted, static_cast<DWORD>(SERVICE_ACCEPT_STOP));
    EXPECT_NE(status.dwProcessId, 0u);
    CloseServiceHandle(spooler);
}

TEST_F(ServicesTest, ScriptedStopIsPendingWithAMovingCheckPointUntilItsTimeIsUp) {
    testsupport::ScriptService("Spooler", "stop", 3000, 2000, 500);
    SC_HANDLE spooler = Open(L"Spooler");
    Sleep(700);
    SERVICE_STATUS_PROCESS status = {};
    status.dwProcessId = 0xABCD;  // past the SERVICE_STATUS part, which is all ControlService writes
    ASSERT_TRUE(ControlService(spooler, SERVICE_CONTROL_STOP, reinterpret_cast<LPSERVICE_STATUS>(&status)));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOP_PENDING));
    EXPECT_EQ(status.dwCheckPoint, 1u);
    EXPECT_EQ(status.dwWaitHint, 2000u);
    EXPECT_EQ(status.dwProcessId, 0xABCDu);
    EXPECT_FALSE(SpoolerAnswers()) << "the spooler API goes with its service";
    std::memset(&status, 0, sizeof status);
    EXPECT_FALSE(ControlService(spooler, SERVICE_CONTROL_STOP, reinterpret_cast<LPSERVICE_STATUS>(&status)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_CANNOT_ACCEPT_CTRL));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOP_PENDING));

    Sleep(2980);
    status = Query(spooler);  // 2990 ms into the stop
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOP_PENDING));
    EXPECT_EQ(status.dwCheckPoint, 6u);
    status = Query(spooler);  // the query's own 10 ms end it
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(status.dwWaitHint, 0u);
    EXPECT_EQ(status.dwProcessId, 0u);
    EXPECT_FALSE(ControlService(spooler, SERVICE_CONTROL_STOP, reinterpret_cast<LPSERVICE_STATUS>(&status)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));
    EXPECT_EQ(ServiceHistory(0), (std::vector<std::string>{"stop@700", "stop@700!1061", "stop@3700!1062"}));
    CloseServiceHandle(spooler);
}

TEST_F(ServicesTest, StopIsRefusedWhileDependentsRunAndTheyAreListedInReverseStartOrder) {
    testsupport::AddService("Fax", "Spooler");
    testsupport::AddService("Base", "spooler");
    testsupport::AddService("Top", "Base");
    testsupport::AddService("Idle", "Spooler", SERVICE_STOPPED);
    SC_HANDLE spooler = Open(L"Spooler");
    DWORD needed = 0, count = 7;
    EXPECT_FALSE(EnumDependentServicesW(spooler, SERVICE_ACTIVE, nullptr, 0, &needed, &count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_EQ(count, 0u);
    std::vector<BYTE> buffer(needed);
    auto* list = reinterpret_cast<LPENUM_SERVICE_STATUSW>(buffer.data());
    DWORD again = 0;
    EXPECT_FALSE(EnumDependentServicesW(spooler, SERVICE_ACTIVE, list, needed - 1, &again, &count));
    EXPECT_EQ(again, needed);
    ASSERT_TRUE(EnumDependentServicesW(spooler, SERVICE_ACTIVE, list, needed, &again, &count));
    ASSERT_EQ(count, 3u);
    EXPECT_STREQ(list[0].lpServiceName, L"Fax");
    EXPECT_STREQ(list[1].lpServiceName, L"Top") << "Top needs Base, so it stops first";
    EXPECT_STREQ(list[2].lpServiceName, L"Base");
    EXPECT_EQ(list[2].ServiceStatus.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    ASSERT_TRUE(EnumDependentServicesW(spooler, SERVICE_INACTIVE, list, needed, &again, &count));
    ASSERT_EQ(count, 1u);
    EXPECT_STREQ(list[0].lpServiceName, L"Idle");

    SERVICE_STATUS status = {};
    EXPECT_FALSE(ControlService(spooler, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEPENDENT_SERVICES_RUNNING));
    EXPECT_EQ(Query(spooler).dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    SC_HANDLE idle = Open(L"Idle");
    EXPECT_TRUE(EnumDependentServicesW(idle, SERVICE_ACTIVE, nullptr, 0, &needed, &count)) << "nothing needs Idle";
    EXPECT_EQ(count, 0u);
    CloseServiceHandle(idle);
    CloseServiceHandle(spooler);
}

TEST_F(ServicesTest, ScriptedStartIsPendingUntilItRunsAndItsCheckPointCanStall) {
    winsim::control::Change([](Json& m) { m["services"][0]["state"] = Json::number(SERVICE_STOPPED); });
    testsupport::ScriptService("Spooler", "start", 4000, 3000, 500, 1000);
    SC_HANDLE spooler = Open(L"Spooler");
    ASSERT_TRUE(StartServiceW(spooler, 0, nullptr));
    SERVICE_STATUS_PROCESS status = Query(spooler);
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_START_PENDING));
    EXPECT_EQ(status.dwWaitHint, 3000u);
    EXPECT_FALSE(StartServiceW(spooler, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));
    Sleep(990);
    EXPECT_EQ(Query(spooler).dwCheckPoint, 3u);
    Sleep(1990);
    EXPECT_EQ(Query(spooler).dwCheckPoint, 3u) << "stalled from 1000 ms on";
    EXPECT_FALSE(SpoolerAnswers());
    Sleep(990);
    EXPECT_EQ(Query(spooler).dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_TRUE(SpoolerAnswers());
    EXPECT_EQ(ServiceHistory(0), (std::vector<std::string>{"start@0", "start@10!1056"}));
    CloseServiceHandle(spooler);
}

// A transition that would end past the clock's range ends at its end, never before it started.
TEST_F(ServicesTest, AStartNearTheEndOfTheClockEndsAtItsEnd) {
    const int64_t end = std::numeric_limits<int64_t>::max();
    winsim::control::Change([&](Json& m) {
        m["services"][0]["state"] = Json::number(SERVICE_STOPPED);
        m["clock"]["nowMs"] = Json::number(end - 1000);
    });
    testsupport::ScriptService("Spooler", "start", end, 3000);
    SC_HANDLE spooler = Open(L"Spooler");
    ASSERT_TRUE(StartServiceW(spooler, 0, nullptr));
    EXPECT_EQ(winsim::control::Read().at("services").at(0).at("pending").at("untilMs").as_number().to_int64(), end);
    EXPECT_EQ(Query(spooler).dwCurrentState, static_cast<DWORD>(SERVICE_START_PENDING));
    Sleep(5000);
    EXPECT_EQ(Query(spooler).dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING)) << "the clock stood at its end";
    CloseServiceHandle(spooler);
}

}  // namespace
