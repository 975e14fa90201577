// The Spooler restart of the uninstall, timed on the machine's clock. Every status query costs the
// simulated service manager 10 ms, so each expected time is the sleeps plus 10 ms per query.
#include "InstallerTest.h"

#include <string>
#include <vector>

#include "ServiceScript.h"

namespace {

using installertest::Json;
using testsupport::AddService;
using testsupport::ScriptService;
using testsupport::ServiceHistory;
using testsupport::ServiceState;
using winsim::control::Change;
using Lines = std::vector<std::string>;

const char kStopped[] = "trace DoStopSvc:Service stopped successfully";
const char kStarted[] = "trace DoStartSvc:Service started successfully";

class ServiceRestartTest : public installertest::InstallerTest {
protected:
    // The Spooler found stop-pending since 0 ms, done at untilMs (-1 never).
    static void SpoolerStopping(int64_t untilMs, int64_t hint) {
        Change([&](Json& m) {
            Json& s = m["services"][0];
            s["state"] = Json::number(SERVICE_STOP_PENDING);
            s["pending"]["to"] = Json::number(SERVICE_STOPPED);
            s["pending"]["sinceMs"] = Json::number(0);
            s["pending"]["untilMs"] = Json::number(untilMs);
            s["pending"]["waitHint"] = Json::number(hint);
        });
    }
    static void SpoolerStopped() {
        Change([](Json& m) { m["services"][0]["state"] = Json::number(SERVICE_STOPPED); });
    }
    Lines Log() const {
        Lines out;
        for (const testsupport::LogEntry& e : Entries()) out.push_back(e.level + " " + e.message);
        return out;
    }
    BOOL StopDependents() {
        SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        SC_HANDLE spooler = OpenServiceW(manager, L"Spooler", SERVICE_ENUMERATE_DEPENDENTS);
        BOOL stopped = device.DoStopDependentSvc(manager, spooler);
        CloseServiceHandle(spooler);
        CloseServiceHandle(manager);
        return stopped;
    }

    CPrinterDeviceObject& device = CPrinterDeviceObject::GetInstance();
};

TEST_F(ServiceRestartTest, RestartStopsDependentsFirstAndLogsBothSuccesses) {
    AddService("Fax", "Spooler");
    ScriptService("Fax", "stop", 2500, 1000);
    ScriptService("Spooler", "stop", 3000, 2000);
    ScriptService("Spooler", "start", 1500, 3000, 500);
    device.DoStopSvc();
    EXPECT_EQ(GetTickCount(), 7060u) << "Fax: three sleeps of its full hint; Spooler: two";
    EXPECT_EQ(Log(), (Lines{kStopped}));
    device.DoStartSvc();
    EXPECT_EQ(GetTickCount(), 9100u) << "two start-pending sleeps of 1000 ms";
    EXPECT_EQ(Log(), (Lines{kStopped, kStarted}));
    EXPECT_EQ(ServiceHistory(0), (Lines{"stop@3040", "start@7070"}));
    EXPECT_EQ(ServiceHistory(1), (Lines{"stop@10"}));
    EXPECT_EQ(ServiceState(0), SERVICE_RUNNING);
}

TEST_F(ServiceRestartTest, StopAnsweredAtOnceLogsWithoutSleepingAndAStoppedSpoolerIsOnlyStarted) {
    device.DoStopSvc();
    EXPECT_EQ(GetTickCount(), 10u) << "one query, no sleep";
    EXPECT_EQ(Log(), (Lines{kStopped}));
    device.DoStopSvc();
    EXPECT_EQ(Log(), (Lines{kStopped})) << "nothing to stop, nothing logged";
    device.DoStartSvc();
    device.DoStartSvc();
    EXPECT_EQ(Log(), (Lines{kStopped, kStarted})) << "a running Spooler is left alone";
    EXPECT_EQ(ServiceHistory(0), (Lines{"stop@10", "start@30"}));
}

TEST_F(ServiceRestartTest, StopPendingWaitIsATenthOfTheHintClampedToOneAndTenSeconds) {
    SpoolerStopping(4500, 5000);
    device.DoStopSvc();
    EXPECT_EQ(GetTickCount(), 5060u) << "sleeps of 1000 ms until the stop ended at 4500 ms";
    Change([](Json& m) { m["clock"]["nowMs"] = Json::number(0); });
    SpoolerStopping(-1, 200000);
    device.DoStopSvc();
    EXPECT_EQ(GetTickCount(), 30040u) << "sleeps of 10000 ms until the 30000 ms budget was passed";
    EXPECT_TRUE(Log().empty()) << "stops this call did not ask for are not reported";
    EXPECT_TRUE(ServiceHistory(0).empty());
}

TEST_F(ServiceRestartTest, StartWaitsOutAStopPendingSpoolerAndStartsItOnceStopped) {
    SpoolerStopping(25000, 200000);
    device.DoStartSvc();
    // The stopped service reports a hint of 0, which must not count as a stalled wait.
    EXPECT_EQ(ServiceHistory(0), (Lines{"start@30040"}));
    EXPECT_EQ(Log(), (Lines{kStarted}));
}

TEST_F(ServiceRestartTest, DependentThatNeverStopsSpendsItsBudgetAndTheSpoolerIsStillAsked) {
    AddService("Fax", "Spooler");
    ScriptService("Fax", "stop", -1, 2990);
    EXPECT_FALSE(StopDependents());
    EXPECT_EQ(GetTickCount(), 33000u) << "at exactly 30000 ms the budget is not yet passed";

    winsim::control::UseFreshMachine(MachinePath());
    AddService("Fax", "Spooler");
    ScriptService("Fax", "stop", -1, 2990);
    device.DoStopSvc();
    EXPECT_EQ(ServiceHistory(1), (Lines{"stop@10"}));
    EXPECT_EQ(ServiceHistory(0), (Lines{"stop@33010!" + std::to_string(ERROR_DEPENDENT_SERVICES_RUNNING)}));
    device.DoStartSvc();
    EXPECT_TRUE(Log().empty());
    EXPECT_EQ(ServiceState(0), SERVICE_RUNNING);
}

TEST_F(ServiceRestartTest, DependentsShareOneBudgetAndTheFirstFailureEndsTheWalk) {
    AddService("Slow", "Spooler");
    AddService("Stuck", "Spooler");
    AddService("Never", "Spooler");
    ScriptService("Slow", "stop", 20000, 9990);
    ScriptService("Stuck", "stop", -1, 9990);
    EXPECT_FALSE(StopDependents());
    EXPECT_EQ(GetTickCount(), 40000u) << "Slow took 20000 ms of the budget, Stuck the rest";
    EXPECT_EQ(ServiceState(1), SERVICE_STOPPED);
    EXPECT_TRUE(ServiceHistory(3).empty());
}

TEST_F(ServiceRestartTest, ZeroHintAfterTheStopRequestPollsWithoutSleepingUntilTheBudgetIsPassed) {
    ScriptService("Spooler", "stop", -1, 0);
    device.DoStopSvc();
    EXPECT_EQ(GetTickCount(), 30010u);
    EXPECT_TRUE(Log().empty());
}

TEST_F(ServiceRestartTest, StartWhoseCheckPointStallsLongerThanItsHintEndsQuietly) {
    SpoolerStopped();
    ScriptService("Spooler", "start", -1, 3030, 1000, 2500);
    device.DoStartSvc();
    // The check point moves at 1030 and 2040 ms, then stands still: 3030 ms later the hint is not yet
    // passed, and the wait ends at the next check.
    EXPECT_EQ(GetTickCount(), 6080u);
    EXPECT_TRUE(Log().empty());
    EXPECT_EQ(ServiceState(0), SERVICE_START_PENDING);
}

TEST_F(ServiceRestartTest, RefusalsEndBothQuietly) {
    const struct {
        const char* what;
        void (*arrange)();
        int64_t spoolerAfter;
    } cases[] = {
        {"manager", [] { Change([](Json& m) { m["serviceControl"]["deniedAccess"] = Json::number(SC_MANAGER_LOCK); }); },
         SERVICE_RUNNING},
        {"stop right", [] { Change([](Json& m) { m["services"][0]["deniedAccess"] = Json::number(SERVICE_STOP); }); },
         SERVICE_RUNNING},
        {"not stoppable", [] { Change([](Json& m) { m["services"][0]["acceptsStop"] = Json::boolean(false); }); },
         SERVICE_RUNNING},
        {"status query", [] { winsim::control::InjectFault("QueryServiceStatusEx", ERROR_ACCESS_DENIED, -1); },
         SERVICE_RUNNING},
        {"start", [] { winsim::control::InjectFault("StartServiceW", ERROR_SERVICE_DISABLED); }, SERVICE_STOPPED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        winsim::control::UseFreshMachine(MachinePath());
        c.arrange();
        device.DoStopSvc();
        device.DoStartSvc();
        EXPECT_EQ(ServiceState(0), c.spoolerAfter);
    }
    EXPECT_EQ(Log(), (Lines{kStopped})) << "only the last case's stop succeeded";
}

}  // namespace
