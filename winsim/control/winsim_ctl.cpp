// winsim-ctl: look at and script the simulated machine from a shell.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <windows.h>

#include "../core/machine.h"
#include "../core/text.h"
#include "control.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: winsim-ctl COMMAND\n"
                 "  path                      the machine file in use (WINSIM_MACHINE)\n"
                 "  reset                     make it the default machine\n"
                 "  show [SECTION[.KEY...]]   print the machine, or one section of it (e.g. spooler.printers)\n"
                 "  answer BUTTON...          script message-box answers (OK, Cancel, Yes, No or a number)\n"
                 "  language LANGID           set the UI language (1033, 1041, 2052)\n"
                 "  fault FUNCTION ERROR [COUNT [AFTER]]  make calls of FUNCTION fail\n"
                 "  run PROGRAM [ARG...]      run a program on the machine and print its full exit code\n"
                 "  bump KEY TIMES            add 1 to the counter KEY of section \"test\", TIMES times\n");
    return 2;
}

int Run(int argc, char** argv) {
    pid_t pid = ::fork();
    if (pid == 0) {
        ::execv(argv[0], argv);
        std::perror(argv[0]);
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    (void)argc;
    int32_t code;
    if (!winsim::control::ExitCodeOf(pid, &code)) {
        std::printf("exit code: not recorded (wait status %d)\n", status);
        return 1;
    }
    std::printf("exit code: %d (0x%08x)\n", code, static_cast<unsigned>(code));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    std::string cmd = argv[1];
    using winsim::Json;
    if (cmd == "path") {
        std::printf("%s\n", winsim::control::MachinePath().c_str());
    } else if (cmd == "reset") {
        winsim::control::UseFreshMachine(winsim::control::MachinePath());
    } else if (cmd == "show") {
        Json m = winsim::control::Read();
        // A dotted path reaches into sections: "spooler.printers".
        std::string path = argc > 2 ? argv[2] : "";
        for (size_t start = 0; !path.empty() && start <= path.size();) {
            size_t dot = path.find('.', start);
            std::string key = path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
            m = m.is_object() && m.has_field(key) ? m.at(key) : Json::null();
            if (dot == std::string::npos) break;
            start = dot + 1;
        }
        std::printf("%s\n", m.serialize().c_str());
    } else if (cmd == "answer") {
        winsim::control::Change([&](Json& machine) {
            Json& list = winsim::ChildArray(winsim::ChildObject(machine, "ui"), "answers");
            for (int i = 2; i < argc; ++i) list[list.size()] = Json::string(winsim::MendUtf8(argv[i]));
        });
    } else if (cmd == "language" && argc == 3) {
        winsim::control::Change([&](Json& machine) {
            winsim::ChildObject(machine, "system")["uiLanguage"] = Json::number(std::atoi(argv[2]));
        });
    } else if (cmd == "fault" && argc >= 4) {
        winsim::control::InjectFault(argv[2], static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 0)),
                                     argc > 4 ? std::atoi(argv[4]) : 1, argc > 5 ? std::atoi(argv[5]) : 0);
    } else if (cmd == "run" && argc >= 3) {
        return Run(argc - 2, argv + 2);
    } else if (cmd == "bump" && argc == 4) {
        int times = std::atoi(argv[3]);
        const std::string key = winsim::MendUtf8(argv[2]);
        for (int i = 0; i < times; ++i) {
            winsim::control::Change([&](Json& machine) {
                Json& test = winsim::ChildObject(machine, "test");
                test[key] = Json::number(winsim::IntAt(test, key.c_str(), 0) + 1);
            });
        }
    } else {
        return Usage();
    }
    return 0;
}
