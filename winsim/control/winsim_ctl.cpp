// winsim-ctl: look at and script the simulated machine from a shell.
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include <windows.h>

#include "../core/faults.h"
#include "../core/machine.h"
#include "../core/text.h"
#include "../user32/message_box.h"
#include "control.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: winsim-ctl COMMAND\n"
                 "  path                      the machine file in use (WINSIM_MACHINE)\n"
                 "  reset                     make it the default machine, whatever the file holds now\n"
                 "  show [SECTION[.KEY...]]   print the machine, or one section of it (e.g. spooler.printers)\n"
                 "  answer BUTTON...          script message-box answers (OK, Cancel, Abort, Retry, Ignore, Yes, No,\n"
                 "                            their first letters but A, or their numbers 1 to 7)\n"
                 "  language LANGID           set the UI language (1033, 1041, 2052)\n"
                 "  fault FUNCTION ERROR [COUNT [AFTER]]  make calls of FUNCTION fail with ERROR, COUNT times\n"
                 "                            (-1: for ever; default 1) after AFTER successes (default 0)\n"
                 "  run PROGRAM [ARG...]      run a program on the machine and print its full exit code\n"
                 "  bump KEY TIMES            add 1 to the counter KEY of section \"test\", TIMES (at most 1000000) times\n");
    return 2;
}

// A refused argument: nothing is written.
int Refuse(const std::string& problem) {
    std::fprintf(stderr, "winsim-ctl: %s\n", problem.c_str());
    return 2;
}

// A whole number written in decimal or, after 0x, in hexadecimal, with an optional minus sign and nothing
// else, within the 64-bit range.
bool WholeNumber(const char* text, int64_t* value) {
    const char* digits = text[0] == '-' ? text + 1 : text;
    int base = digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X') ? 16 : 10;
    if (base == 16) digits += 2;
    const char* allowed = base == 16 ? "0123456789abcdefABCDEF" : "0123456789";
    if (!*digits || std::strspn(digits, allowed) != std::strlen(digits)) return false;
    errno = 0;
    unsigned long long magnitude = std::strtoull(digits, nullptr, base);
    if (errno == ERANGE) return false;
    const unsigned long long limit = static_cast<unsigned long long>(std::numeric_limits<int64_t>::max());
    if (text[0] == '-') {
        if (magnitude > limit + 1) return false;
        *value = magnitude == limit + 1 ? std::numeric_limits<int64_t>::min() : -static_cast<int64_t>(magnitude);
    } else {
        if (magnitude > limit) return false;
        *value = static_cast<int64_t>(magnitude);
    }
    return true;
}

std::string Quoted(const char* text) { return std::string("'") + text + "'"; }

int Run(char** argv) {
    // Asked to print its exit code, this process is the parent the program records it for. A machine that
    // cannot be used stops everything here, said once, before the program runs.
    winsim::control::Read();
    const std::string parent = winsim::control::AskingParentVariable();
    const size_t equals = parent.find('=');
    ::setenv(parent.substr(0, equals).c_str(), parent.substr(equals + 1).c_str(), 1);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::execv(argv[0], argv);
        std::perror(argv[0]);
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    int32_t code;
    if (!winsim::control::ExitCodeOf(pid, &code)) {
        std::printf("exit code: not recorded (wait status %d)\n", status);
        return 1;
    }
    std::printf("exit code: %d (0x%08x)\n", code, static_cast<unsigned>(code));
    return 0;
}

int Answer(int argc, char** argv) {
    for (int i = 2; i < argc; ++i) {
        // Taken as message boxes take them, so none is stored that a box would read as no answer.
        if (winsim::MessageBoxAnswer(argv[i]) == 0) {
            return Refuse("answer: " + Quoted(argv[i]) + " names no button (OK, Cancel, Abort, Retry, Ignore, Yes, No, "
                          "O, C, R, I, Y, N or 1 to 7)");
        }
    }
    winsim::control::Change([&](winsim::Json& machine) {
        winsim::Json& list = winsim::ChildArray(winsim::ChildObject(machine, "ui"), "answers");
        for (int i = 2; i < argc; ++i) list[list.size()] = winsim::Json::string(argv[i]);
    });
    return 0;
}

int Language(const char* text) {
    int64_t language;
    if (!WholeNumber(text, &language)) return Refuse("language: " + Quoted(text) + " is not a LANGID (a whole number)");
    if (language < 0 || language > 0xFFFF) return Refuse("language: " + Quoted(text) + " is not a LANGID (0 to 0xFFFF)");
    // A LANGID whose primary language is the neutral one names no language (and no locale) at all.
    if (PRIMARYLANGID(static_cast<LANGID>(language)) == LANG_NEUTRAL) {
        return Refuse("language: " + Quoted(text) + " names no language (its primary language is the neutral one)");
    }
    winsim::control::Change([&](winsim::Json& machine) {
        winsim::ChildObject(machine, "system")["uiLanguage"] = winsim::Json::number(language);
    });
    return 0;
}

int Fault(int argc, char** argv) {
    const std::string function = argv[2];
    if (std::string problem = winsim::NotFaultable(function); !problem.empty()) return Refuse("fault: " + problem);
    int64_t error = 0;
    // An error is stored as a 32-bit code, read back as the same DWORD whether written signed or not.
    if (!WholeNumber(argv[3], &error) || error < std::numeric_limits<int32_t>::min() ||
        error > std::numeric_limits<uint32_t>::max()) {
        return Refuse("fault: ERROR " + Quoted(argv[3]) + " is not a 32-bit error code (e.g. 5 or 0x800F0242)");
    }
    int64_t count = 1;
    int64_t after = 0;
    if (argc > 4 && !WholeNumber(argv[4], &count)) return Refuse("fault: COUNT " + Quoted(argv[4]) + " is not a whole number");
    // A count of 0 would fail no call, yet a fault left in the list fails every one.
    if (argc > 4 && (count == 0 || count < -1)) {
        return Refuse("fault: COUNT must be at least 1, or -1 for ever (found " + std::string(argv[4]) + ")");
    }
    if (argc > 5 && (!WholeNumber(argv[5], &after) || after < 0)) {
        return Refuse("fault: AFTER " + Quoted(argv[5]) + " is not a whole number of at least 0");
    }
    winsim::control::InjectFault(function, static_cast<uint32_t>(error), count, after);
    return 0;
}

int Bump(const char* keyText, const char* timesText) {
    const std::string key = winsim::MendUtf8(keyText);
    if (key.empty()) return Refuse("bump: KEY is empty");
    // One change a step, as concurrent writers make them; so many that the command would not end are refused.
    constexpr int64_t kMostTimes = 1000000;
    int64_t times;
    if (!WholeNumber(timesText, &times) || times < 0 || times > kMostTimes) {
        return Refuse("bump: TIMES " + Quoted(timesText) + " is not a whole number from 0 to " + std::to_string(kMostTimes));
    }
    // Refused whole rather than stopped half-way.
    if (winsim::Machine::Instance().FileExists()) {
        const winsim::Json machine = winsim::control::Read();
        const int64_t now = machine.has_field("test") ? winsim::IntAt(machine.at("test"), key.c_str(), 0) : 0;
        if (now > std::numeric_limits<int64_t>::max() - times) {
            return Refuse("bump: the counter " + key + " (" + std::to_string(now) + ") would pass its end");
        }
    }
    for (int64_t i = 0; i < times; ++i) {
        winsim::control::Change([&](winsim::Json& machine) {
            winsim::Json& test = winsim::ChildObject(machine, "test");
            int64_t now = winsim::IntAt(test, key.c_str(), 0);
            if (now == std::numeric_limits<int64_t>::max()) {
                throw std::range_error("bump: the counter " + key + " is at its end (" + std::to_string(now) + ")");
            }
            test[key] = winsim::Json::number(now + 1);
        });
    }
    return 0;
}

int Show(const char* dotted) {
    // Looking makes nothing: the machine is made by the first program that uses it.
    if (!winsim::Machine::Instance().FileExists()) {
        std::fprintf(stderr, "winsim-ctl: there is no machine at %s yet; the first program run on it makes the default machine\n",
                     winsim::control::MachinePath().c_str());
        return 1;
    }
    winsim::Json m = winsim::control::Read();
    // A dotted path reaches into sections: "spooler.printers".
    std::string path = dotted ? dotted : "";
    for (size_t start = 0; !path.empty() && start <= path.size();) {
        size_t dot = path.find('.', start);
        std::string key = path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        m = m.is_object() && m.has_field(key) ? m.at(key) : winsim::Json::null();
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    std::printf("%s\n", m.serialize().c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string cmd = argv[1];
    try {
        if (cmd == "path" && argc == 2) {
            std::printf("%s\n", winsim::control::MachinePath().c_str());
            return 0;
        }
        if (cmd == "reset" && argc == 2) {
            winsim::control::UseFreshMachine(winsim::control::MachinePath());
            return 0;
        }
        if (cmd == "show" && argc <= 3) return Show(argc == 3 ? argv[2] : nullptr);
        if (cmd == "answer" && argc >= 3) return Answer(argc, argv);
        if (cmd == "language" && argc == 3) return Language(argv[2]);
        if (cmd == "fault" && argc >= 4 && argc <= 6) return Fault(argc, argv);
        if (cmd == "run" && argc >= 3) return Run(argv + 2);
        if (cmd == "bump" && argc == 4) return Bump(argv[2], argv[3]);
    } catch (const std::exception& e) {
        return Refuse(e.what());
    }
    return Usage();
}
