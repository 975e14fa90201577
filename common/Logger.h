// The process's one spdlog logger, chosen by role and sink kind; every log site of Corvane and Prunavel
// goes through GetLogger and writes one line.
#pragma once
#include <windows.h>

#include <fmt/format.h>
#include <fmt/xchar.h>
#include <spdlog/spdlog.h>

#include <memory>
#include <string>
#include <utility>

enum LoggerRole {
    LOGGER_ROLE_DRVCTRL = 0,      // "QVPrtDrvCtrl", Corvane
    LOGGER_ROLE_DRVSERVICE = 1,   // "QVPrtDrvService"
    LOGGER_ROLE_USBIOCTRL = 4,    // "QVUsbIoCtrl"
    LOGGER_ROLE_PRUNAVEL = 5,     // "Prunavel"
};

enum LogSinkKind {
    LOG_SINK_DEBUGGER = 0,
    LOG_SINK_COLOR_CONSOLE = 1,
    LOG_SINK_ROTATING_FILE = 2,
};

constexpr size_t kLogFileMaxSize = 5242880;  // 5 MiB
constexpr size_t kLogFileMaxFiles = 3;

extern int giLogRole;
extern int giLogLevel;
extern int giLogSink;
extern std::wstring gstrLogFile;
extern std::shared_ptr<spdlog::logger> gpLogger;

std::shared_ptr<spdlog::logger> CreateLogger(std::string name);
std::shared_ptr<spdlog::logger> GetLogger();

// Hands one finished wide message to the process logger as UTF-8.
void LogText(spdlog::level::level_enum level, const std::wstring& message);

// One log line: a wide fmt format string and its arguments.
template <typename... Args>
void LogLine(spdlog::level::level_enum level, fmt::wformat_string<Args...> format, Args&&... args) {
    std::wstring message;
    try {
        message = fmt::format(format, std::forward<Args>(args)...);
    } catch (const fmt::format_error&) {
        // A bad argument must not end the program: log the unformatted text instead.
        fmt::basic_string_view<wchar_t> text = format;
        message.assign(text.data(), text.size());
    }
    LogText(level, message);
}

#define LOG_TRACE(...) LogLine(spdlog::level::trace, __VA_ARGS__)
#define LOG_INFO(...) LogLine(spdlog::level::info, __VA_ARGS__)
#define LOG_WARN(...) LogLine(spdlog::level::warn, __VA_ARGS__)
#define LOG_ERR(...) LogLine(spdlog::level::err, __VA_ARGS__)
