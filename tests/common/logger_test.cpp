#include <Logger.h>

#include <TestMachine.h>

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using testsupport::FileExists;
using testsupport::ReadFile;
using testsupport::ReadLog;

// "/tmp/x/a.log" as the Win32 path the program would be given: "Z:\tmp\x\a.log".
std::wstring Win32Path(const std::string& host) {
    std::wstring path = L"Z:";
    for (char c : host) path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
    return path;
}

// How many descriptors of this process are open on the file.
int OpenCount(const std::string& path) {
    char real[PATH_MAX];
    if (!::realpath(path.c_str(), real)) return 0;
    int count = 0;
    DIR* fds = ::opendir("/proc/self/fd");
    while (dirent* entry = ::readdir(fds)) {
        char target[PATH_MAX];
        std::string link = std::string("/proc/self/fd/") + entry->d_name;
        ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<size_t>(n)) == real) ++count;
    }
    ::closedir(fds);
    return count;
}

class LoggerTest : public testsupport::MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        char cwd[PATH_MAX];
        if (::getcwd(cwd, sizeof cwd)) cwd_ = cwd;
        ResetLogging();
    }
    void TearDown() override {
        ResetLogging();  // closes the log file before the folder goes
        if (!cwd_.empty()) {
            EXPECT_EQ(::chdir(cwd_.c_str()), 0);
        }
        MachineTest::TearDown();
    }
    static void ResetLogging() {
        spdlog::drop_all();
        gpLogger.reset();
        giLogRole = 0;
        giLogLevel = 0;
        giLogSink = 0;
        gstrLogFile = L"QVlog.log";
    }
    std::string UseLogFile(const std::string& name) {
        std::string host = Dir() + "/" + name;
        giLogSink = LOG_SINK_ROTATING_FILE;
        gstrLogFile = Win32Path(host);
        return host;
    }
    // Captured console text read back the way a log file is.
    std::vector<testsupport::LogEntry> Lines(const std::string& text) {
        std::string path = Dir() + "/captured.txt";
        std::ofstream(path, std::ios::binary) << text;
        return ReadLog(path);
    }

private:
    std::string cwd_;
};

TEST_F(LoggerTest, NamedRolesLogUnderTheirNames) {
    const std::pair<int, std::string> roles[] = {
        {0, "QVPrtDrvCtrl"}, {1, "QVPrtDrvService"}, {4, "QVUsbIoCtrl"}, {5, "Prunavel"}};
    for (const auto& [role, name] : roles) {
        SCOPED_TRACE(name);
        ResetLogging();
        giLogRole = role;
        std::string file = UseLogFile("role" + std::to_string(role) + ".log");
        LOG_INFO(L"role {0}", role);
        EXPECT_EQ(spdlog::get(name), gpLogger);
        auto lines = ReadLog(file);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].logger, name);
        EXPECT_EQ(lines[0].level, "info");
        EXPECT_EQ(lines[0].message, "role " + std::to_string(role));
    }
}

TEST_F(LoggerTest, RolesWithoutANameLeaveTheCurrentLoggerAlone) {
    auto current = std::make_shared<spdlog::logger>("current");
    for (int role : {2, 3, 6, -1}) {
        SCOPED_TRACE(role);
        giLogRole = role;
        std::string file = UseLogFile("unnamed.log");
        gpLogger = current;
        EXPECT_EQ(GetLogger(), current);
        gpLogger.reset();
        EXPECT_EQ(GetLogger(), nullptr);
        EXPECT_NO_THROW(LOG_ERR(L"nowhere {0}", role));
        EXPECT_FALSE(FileExists(file));
        for (const char* name : {"QVPrtDrvCtrl", "QVPrtDrvService", "QVUsbIoCtrl", "Prunavel"})
            EXPECT_EQ(spdlog::get(name), nullptr) << name;
    }
}

TEST_F(LoggerTest, FileLoggerIsMadeOncePerProcess) {
    std::string file = UseLogFile("once.log");
    auto first = GetLogger();
    ASSERT_NE(first, nullptr);
    giLogLevel = spdlog::level::err;  // a later change must not reach the existing logger
    LOG_INFO(L"one");
    LOG_INFO(L"two");
    EXPECT_EQ(GetLogger(), first);
    EXPECT_EQ(spdlog::get("QVPrtDrvCtrl"), first);
    EXPECT_EQ(first->level(), spdlog::level::trace);
    EXPECT_EQ(first->flush_level(), spdlog::level::trace);
    EXPECT_EQ(OpenCount(file), 1);
    EXPECT_EQ(ReadLog(file).size(), 2u);
}

TEST_F(LoggerTest, RegisteredNameKeepsTheStoredLogger) {
    std::string file = UseLogFile("registered.log");
    spdlog::register_logger(std::make_shared<spdlog::logger>("QVPrtDrvCtrl"));
    auto stored = std::make_shared<spdlog::logger>("stored");
    gpLogger = stored;
    EXPECT_EQ(GetLogger(), stored);
    EXPECT_FALSE(FileExists(file));
}

TEST_F(LoggerTest, FileLinesAreOnDiskFromTheConfiguredLevelUp) {
    std::string file = UseLogFile("flush.log");
    for (int i = 0; i < 3; ++i) {
        LOG_TRACE(L"step {0}", i);
        auto lines = ReadLog(file);
        ASSERT_EQ(lines.size(), static_cast<size_t>(i + 1));
        EXPECT_EQ(lines.back().message, "step " + std::to_string(i));
    }

    ResetLogging();
    giLogLevel = spdlog::level::warn;
    file = UseLogFile("warn.log");
    LOG_INFO(L"dropped");
    LOG_WARN(L"kept {0}", 1);
    LOG_ERR(L"kept {0}", 2);
    EXPECT_EQ(gpLogger->level(), spdlog::level::warn);
    EXPECT_EQ(gpLogger->flush_level(), spdlog::level::warn);
    auto lines = ReadLog(file);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].level, "warning");
    EXPECT_EQ(lines[0].message, "kept 1");
    EXPECT_EQ(lines[1].level, "error");
    EXPECT_EQ(lines[1].message, "kept 2");
}

TEST_F(LoggerTest, ConsoleKindsWriteToTheirStreamWithAFreshLoggerEachCall) {
    struct Case {
        int sink;
        int role;
        const char* name;
        bool toStdout;
    };
    for (const Case& c : {Case{0, 0, "QVPrtDrvCtrl", false}, Case{1, 5, "Prunavel", true}}) {
        SCOPED_TRACE(c.sink);
        ResetLogging();
        giLogSink = c.sink;
        giLogRole = c.role;
        giLogLevel = spdlog::level::debug;

        std::weak_ptr<spdlog::logger> first = GetLogger();
        auto second = GetLogger();
        ASSERT_NE(second, nullptr);
        EXPECT_TRUE(first.expired());
        EXPECT_EQ(gpLogger, second);
        EXPECT_EQ(second->level(), spdlog::level::debug);
        EXPECT_EQ(spdlog::get(c.name), nullptr);

        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        LOG_TRACE(L"hidden");
        LOG_INFO(L"{0} has {1} pages", std::wstring(L"job"), 12);
        LOG_WARN(L"{0}", L"done");
        std::string out = testing::internal::GetCapturedStdout();
        std::string err = testing::internal::GetCapturedStderr();

        EXPECT_EQ(c.toStdout ? err : out, "");
        auto lines = Lines(c.toStdout ? out : err);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0].logger, c.name);
        EXPECT_EQ(lines[0].level, "info");
        EXPECT_EQ(lines[0].message, "job has 12 pages");
        EXPECT_EQ(lines[1].level, "warning");
        EXPECT_EQ(lines[1].message, "done");
    }
}

TEST_F(LoggerTest, OtherSinkKindsGiveNoLogger) {
    ASSERT_EQ(::chdir(Dir().c_str()), 0);
    for (int sink : {3, -1, 99}) {
        SCOPED_TRACE(sink);
        giLogSink = sink;
        EXPECT_EQ(CreateLogger("QVPrtDrvCtrl"), nullptr);
        EXPECT_EQ(GetLogger(), nullptr);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_NO_THROW(LOG_ERR(L"nowhere"));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    }
    EXPECT_FALSE(FileExists(Dir() + "/QVlog.log"));
}

TEST_F(LoggerTest, WideMessagesReachTheFileAsUtf8) {
    std::string file = UseLogFile("utf8.log");
    const DWORD code = 0xE0000246;
    LOG_ERR(L"{0}|{1}|{2}|{3:#x}", std::wstring(L"Z\xFF01"), L"lit", -7, code);
    auto lines = ReadLog(file);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].message, "Z\xEF\xBC\x81|lit|-7|0xe0000246");
}

TEST_F(LoggerTest, BadFormatLogsTheFormatTextItself) {
    std::string file = UseLogFile("bad.log");
    EXPECT_NO_THROW(LOG_WARN(L"{0} of {1}", 3));
    auto lines = ReadLog(file);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].message, "{0} of {1}");
}

TEST_F(LoggerTest, RelativePathsStartInTheCurrentFolder) {
    ASSERT_EQ(::chdir(Dir().c_str()), 0);
    giLogSink = LOG_SINK_ROTATING_FILE;
    LOG_INFO(L"default");
    auto lines = ReadLog(Dir() + "/QVlog.log");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].message, "default");

    ResetLogging();
    giLogSink = LOG_SINK_ROTATING_FILE;
    gstrLogFile = L"logs\\deep\\sub.log";  // folders do not exist yet
    LOG_INFO(L"nested");
    lines = ReadLog(Dir() + "/logs/deep/sub.log");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].message, "nested");
}

TEST_F(LoggerTest, EachRunAppendsToTheExistingFile) {
    std::string file = UseLogFile("append.log");
    std::ofstream(file, std::ios::binary) << "earlier run\n";
    LOG_INFO(L"this run");
    EXPECT_EQ(ReadFile(file).rfind("earlier run\n", 0), 0u);
    EXPECT_EQ(ReadLog(file).size(), 2u);
    EXPECT_FALSE(FileExists(Dir() + "/append.1.log"));
}

TEST_F(LoggerTest, FileRotatesAt5MiBKeepingThreeOldFiles) {
    std::string file = UseLogFile("big.log");
    const std::wstring padding(4000, L'x');
    LOG_INFO(L"{0:05} {1}", 0, padding);
    const size_t lineSize = ReadFile(file).size();  // every line is this long: fixed-width prefix and number
    ASSERT_GT(lineSize, 0u);
    const size_t perFile = 5242880 / lineSize;
    const size_t total = perFile * 5 + 7;  // five rotations: enough to make a fourth old file if one were kept
    for (size_t i = 1; i < total; ++i) LOG_INFO(L"{0:05} {1}", i, padding);

    for (const char* old : {"/big.1.log", "/big.2.log", "/big.3.log"}) {
        SCOPED_TRACE(old);
        EXPECT_EQ(ReadFile(Dir() + old).size(), perFile * lineSize);
    }
    EXPECT_FALSE(FileExists(Dir() + "/big.4.log"));
    auto current = ReadLog(file);
    ASSERT_EQ(current.size(), 7u);
    EXPECT_EQ(current.back().message.substr(0, 5), fmt::format("{:05}", total - 1));
}

TEST_F(LoggerTest, UnopenableFileLeavesTheProgramWithoutALog) {
    std::ofstream(Dir() + "/plain", std::ios::binary) << "not a folder";
    std::string file = UseLogFile("plain/sub/a.log");
    std::weak_ptr<spdlog::logger> earlier = gpLogger = std::make_shared<spdlog::logger>("earlier");
    testing::internal::CaptureStderr();  // the reason goes to the debugger output
    EXPECT_NO_THROW(LOG_ERR(L"lost {0}", 1));
    EXPECT_EQ(gpLogger, nullptr);
    EXPECT_TRUE(earlier.expired());
    EXPECT_EQ(CreateLogger("QVPrtDrvCtrl"), nullptr);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(spdlog::get("QVPrtDrvCtrl"), nullptr);
    EXPECT_FALSE(FileExists(file));
}

}  // namespace
