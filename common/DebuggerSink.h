// Sink kind 0: each formatted line goes to the debugger's output (OutputDebugStringA).
#pragma once
#include <windows.h>

#include <spdlog/sinks/base_sink.h>

#include <mutex>
#include <string>

template <typename Mutex>
class debugger_sink : public spdlog::sinks::base_sink<Mutex> {
protected:
    void sink_it_(const spdlog::details::log_msg& msg) override {
        spdlog::memory_buf_t formatted;
        spdlog::sinks::base_sink<Mutex>::formatter_->format(msg, formatted);
        std::string line(formatted.data(), formatted.size());
        OutputDebugStringA(line.c_str());
    }
    void flush_() override {}
};

using debugger_sink_mt = debugger_sink<std::mutex>;
