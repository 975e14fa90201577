// The install report against a real HTTP server on 127.0.0.1, reached as the machine's WinHTTP proxy.
#include <Installer.h>
#include <Logger.h>

#include <TestMachine.h>

#include "LocalServer.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace {

using testsupport::LogEntry;

const std::string kRequestLine = "POST http://" CORVANE_STATS_HOST "/open/api/driverStatistical HTTP/1.1";

std::string Answer(const std::string& status, const std::string& body = "") {
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// The parts of a raw request; header names lower-cased, values as sent.
struct Request {
    std::string line;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    std::string Header(const std::string& name) const {
        for (const auto& [key, value] : headers)
            if (key == name) return value;
        return "<absent>";
    }
};

Request Parse(const std::string& raw) {
    Request r;
    size_t end = raw.find("\r\n\r\n");
    if (end == std::string::npos) return r;
    r.body = raw.substr(end + 4);
    size_t at = raw.find("\r\n");
    r.line = raw.substr(0, at);
    while (at < end) {
        size_t next = raw.find("\r\n", at + 2);
        std::string field = raw.substr(at + 2, next - at - 2);
        size_t colon = field.find(':');
        std::string name = field.substr(0, colon);
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        size_t start = field.find_first_not_of(' ', colon + 1);
        r.headers.emplace_back(name, start == std::string::npos ? "" : field.substr(start));
        at = next;
    }
    return r;
}

std::string Body(const std::string& code, const std::string& model, const std::string& onlyCode) {
    return R"({"app":"qvdrv","appType":"client","code":")" + code +
           R"(","created":"","functionId":"","id":1,"inland":true,"ip":"","model":")" + model +
           R"(","onlyCode":")" + onlyCode + R"(","point":"","sc":"","userId":1,"userNick":""})";
}

const wchar_t kGuid[] = L"5f0c7d2e-93a1-4b6e-8f2d-1c4a9e7b3d60";
const char kGuidUtf8[] = "5f0c7d2e-93a1-4b6e-8f2d-1c4a9e7b3d60";

class ReportTest : public testsupport::MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        spdlog::drop_all();
        gpLogger.reset();
        giLogRole = LOGGER_ROLE_DRVCTRL;
        giLogLevel = 0;
        giLogSink = LOG_SINK_ROTATING_FILE;
        logFile_ = Dir() + "/report.log";
        gstrLogFile = L"Z:" + std::wstring(logFile_.begin(), logFile_.end());
    }
    void TearDown() override {
        spdlog::drop_all();  // closes the log file before the folder goes
        gpLogger.reset();
        MachineTest::TearDown();
    }

    // What "netsh winhttp set proxy" would have stored on the machine.
    static void SetProxy(const std::string& proxy) {
        winsim::control::Change([&](winsim::control::Json& m) {
            m["winhttp"] = winsim::control::Json::object();
            m["winhttp"]["proxy"] = winsim::control::Json::string(proxy);
        });
    }
    static void ProxyTo(const LocalServer& server) { SetProxy("http://127.0.0.1:" + std::to_string(server.Port())); }

    static bool Send(const std::wstring& model, const std::wstring& onlyCode, const std::wstring& code) {
        return CInstallReporter::GetInstance().sendInstallInfo(model, onlyCode, code);
    }

    std::vector<LogEntry> Log() const { return testsupport::ReadLog(logFile_); }

private:
    std::string logFile_;
};

TEST_F(ReportTest, SuccessfulInstallPostsTheSortedCompactObjectThroughTheProxy) {
    LocalServer server(Answer("200 OK"));
    ProxyTo(server);

    EXPECT_TRUE(Send(L"Brisora-40", kGuid, L""));

    Request r = Parse(server.Request());
    EXPECT_EQ(r.line, kRequestLine);
    EXPECT_EQ(r.Header("host"), CORVANE_STATS_HOST);
    EXPECT_EQ(r.Header("content-type"), "application/json; charset=utf-8");
    EXPECT_EQ(r.Header("user-agent"), "cpprestsdk/2.10.18");
    EXPECT_EQ(r.body, Body("", "Brisora-40", kGuidUtf8));
    EXPECT_EQ(r.Header("content-length"), std::to_string(r.body.size()));
    // Only what the library adds by itself (the cache headers for a proxy): no credentials, nothing of ours.
    std::vector<std::string> names;
    for (const auto& header : r.headers) names.push_back(header.first);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"cache-control", "connection", "content-length", "content-type", "host",
                                               "pragma", "user-agent"}));
    EXPECT_TRUE(Log().empty());
}

TEST_F(ReportTest, FailedInstallSendsItsCodeAndAnEmptyIdentity) {
    LocalServer server(Answer("200 OK"));
    ProxyTo(server);

    EXPECT_TRUE(Send(L"Brisora-40", L"", L"-1004,0x00000704"));

    Request r = Parse(server.Request());
    EXPECT_EQ(r.line, kRequestLine);
    EXPECT_EQ(r.body, Body("-1004,0x00000704", "Brisora-40", ""));
}

TEST_F(ReportTest, ModelTextIsSentAsJsonEscapedUtf8) {
    const struct {
        std::wstring model;
        std::string wire;
    } cases[] = {
        {L"Brisora-40 \u6253\u5370\u673a", "Brisora-40 \xe6\x89\x93\xe5\x8d\xb0\xe6\x9c\xba"},
        {L"Caf\u00e9 \U0001F5A8", "Caf\xc3\xa9 \xf0\x9f\x96\xa8"},
        {L"a\"b\\c", "a\\\"b\\\\c"},
        {L"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.wire);
        LocalServer server(Answer("200 OK"));
        ProxyTo(server);

        EXPECT_TRUE(Send(c.model, kGuid, L""));

        Request r = Parse(server.Request());
        EXPECT_EQ(r.body, Body("", c.wire, kGuidUtf8));
        EXPECT_EQ(r.Header("content-length"), std::to_string(r.body.size()));
    }
}

TEST_F(ReportTest, OnlyStatus200IsASuccess) {
    const struct {
        std::string answer;
        bool sent;
    } cases[] = {
        {Answer("200 OK"), true},
        {Answer("200 OK", R"({"code":500,"msg":"rejected"})"), true},
        {"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nbody until close", true},
        {Answer("201 Created"), false},
        {Answer("204 No Content"), false},
        {Answer("302 Found"), false},
        {Answer("404 Not Found", "missing"), false},
        {Answer("500 Internal Server Error"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        LocalServer server(c.answer);
        ProxyTo(server);

        EXPECT_EQ(Send(L"Brisora-40", kGuid, L""), c.sent);
        EXPECT_EQ(Parse(server.Request()).line, kRequestLine);
    }
    // One err line per refused report, naming the status, in the order they came.
    std::vector<std::string> lines;
    for (const LogEntry& e : Log()) {
        EXPECT_EQ(e.logger, "QVPrtDrvCtrl");
        EXPECT_EQ(e.level, "error");
        lines.push_back(e.message);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"sendInstallInfo:fail code=201", "sendInstallInfo:fail code=204",
                                               "sendInstallInfo:fail code=302", "sendInstallInfo:fail code=404",
                                               "sendInstallInfo:fail code=500"}));
}

TEST_F(ReportTest, UnreachableEndpointEndsAsAFailedReportQuickly) {
    SetProxy("http://127.0.0.1:" + std::to_string(ClosedPort()));

    auto start = std::chrono::steady_clock::now();
    bool sent = true;
    EXPECT_NO_THROW(sent = Send(L"Brisora-40", kGuid, L"-1003,0x800f0242"));
    EXPECT_FALSE(sent);
    // Well below the library's 30 s time-out: a refused connection must not be waited out.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    std::vector<LogEntry> log = Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].level, "error");
    EXPECT_EQ(log[0].message.rfind("sendInstallInfo:exception ", 0), 0u) << log[0].message;
}

TEST_F(ReportTest, EveryReportFollowsTheProxySetAtItsTime) {
    // A client or configuration kept from an earlier call would send the second report to the first server.
    LocalServer first(Answer("200 OK"));
    ProxyTo(first);
    EXPECT_TRUE(Send(L"Brisora-40", kGuid, L""));

    LocalServer second(Answer("201 Created"));
    SetProxy("127.0.0.1:" + std::to_string(second.Port()));  // the bare form netsh stores
    EXPECT_FALSE(Send(L"Brisora-60", kGuid, L"-2,0x00000000"));

    EXPECT_EQ(Parse(first.Request()).body, Body("", "Brisora-40", kGuidUtf8));
    EXPECT_EQ(Parse(second.Request()).body,
              Body("-2,0x00000000", "Brisora-60", kGuidUtf8));
}

}  // namespace
