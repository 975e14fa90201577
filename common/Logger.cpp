#include "Logger.h"

#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/sinks/stdout_color_sinks.h>

#include <vector>

#include "DebuggerSink.h"
#ifndef _WIN32
#include <winsim_host.h>
#endif

int giLogRole = LOGGER_ROLE_DRVCTRL;
int giLogLevel = 0;
int giLogSink = LOG_SINK_DEBUGGER;
// Declared in this order so that at exit the logger is released before the file name goes.
std::wstring gstrLogFile = L"QVlog.log";
std::shared_ptr<spdlog::logger> gpLogger;

namespace {

const char* LoggerName(int role) {
    switch (role) {
    case LOGGER_ROLE_DRVCTRL: return "QVPrtDrvCtrl";
    case LOGGER_ROLE_DRVSERVICE: return "QVPrtDrvService";
    case LOGGER_ROLE_USBIOCTRL: return "QVUsbIoCtrl";
    case LOGGER_ROLE_PRUNAVEL: return "Prunavel";
    default: return nullptr;
    }
}

}  // namespace

std::shared_ptr<spdlog::logger> CreateLogger(std::string name) {
    std::shared_ptr<spdlog::logger> logger;
    switch (giLogSink) {
    case LOG_SINK_DEBUGGER:
        logger = std::make_shared<spdlog::logger>(name, std::make_shared<debugger_sink_mt>());
        break;
    case LOG_SINK_COLOR_CONSOLE:
        logger = std::make_shared<spdlog::logger>(name, std::make_shared<spdlog::sinks::stdout_color_sink_mt>());
        break;
    case LOG_SINK_ROTATING_FILE: {
#ifdef _WIN32
        const std::wstring& file = gstrLogFile;
#else
        const std::string file = WinsimHostPath(gstrLogFile);
#endif
        try {
            logger = spdlog::rotating_logger_mt(name, file, kLogFileMaxSize, kLogFileMaxFiles, false,
                                                spdlog::file_event_handlers{});
            logger->flush_on(static_cast<spdlog::level::level_enum>(giLogLevel));
        } catch (const spdlog::spdlog_ex& e) {
            // No log file (folder not creatable, disk full): the program goes on without a log.
            OutputDebugStringA(("log file cannot be opened: " + std::string(e.what()) + "\n").c_str());
            logger.reset();
        }
        break;
    }
    default:
        break;
    }
    return logger;
}

std::shared_ptr<spdlog::logger> GetLogger() {
    const char* name = LoggerName(giLogRole);
    if (name) {
        if (!spdlog::get(name)) {
            gpLogger = CreateLogger(name);
            if (gpLogger) gpLogger->set_level(static_cast<spdlog::level::level_enum>(giLogLevel));
        }
    }
    return gpLogger;
}

void LogText(spdlog::level::level_enum level, const std::wstring& message) {
    std::shared_ptr<spdlog::logger> logger = GetLogger();
    if (!logger) return;  // no logger for this role or sink: the line has nowhere to go
    std::string utf8;
    if (!message.empty()) {
        int size = WideCharToMultiByte(CP_UTF8, 0, message.data(), static_cast<int>(message.size()), nullptr, 0,
                                       nullptr, nullptr);
        if (size > 0) {
            utf8.resize(static_cast<size_t>(size));
            WideCharToMultiByte(CP_UTF8, 0, message.data(), static_cast<int>(message.size()), &utf8[0], size,
                                nullptr, nullptr);
        }
    }
    logger->log(level, spdlog::string_view_t(utf8.data(), utf8.size()));
}
