// Corvane run as a program on a fresh simulated machine: what the three test files share.
#pragma once
#include <TestMachine.h>

#include <algorithm>
#include <string>
#include <vector>

class CorvaneProgramTest : public testsupport::MachineTest {
protected:
    std::string LogPath() const { return TempDir() + "ZL/logs/ZLPrtDrvCtrl.log"; }

    // Run from its own folder, as a user starts it, so that it finds Prunavel below it.
    testsupport::RunResult Corvane(const std::string& cmdLine) {
        return testsupport::RunProgram(testsupport::PackagePath("Corvane"), {cmdLine}, testsupport::PackagePath(""));
    }

    // The log's messages in order, each behind its level when asked.
    std::vector<std::string> LogMessages(bool withLevel) const {
        std::vector<std::string> out;
        for (const testsupport::LogEntry& e : testsupport::ReadLog(LogPath())) {
            out.push_back(withLevel ? e.level + " " + e.message : e.message);
        }
        return out;
    }

    bool Logged(const std::string& line, bool withLevel = false) const {
        const std::vector<std::string> lines = LogMessages(withLevel);
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    static winsim::control::Json MessageBoxes() { return winsim::control::Read().at("ui").at("messageBoxes"); }
};
