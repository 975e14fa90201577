// Child program of the process tests.
//   winsim_test_child exit CODE   exits with CODE (any 32-bit value, e.g. -1 or 0x800F0242)
//   winsim_test_child sleep MS    sleeps MS on the machine's clock, exits with GetTickCount()
//   winsim_test_child infolder DIR  exits with 0 when its current folder is the host folder DIR, else 1
//   winsim_test_child overrun      copies a text too long for its buffer with wcscpy_s
//   winsim_test_child startin DIR ARG...  starts itself with ARG... in folder DIR (a Win32 path) and exits
//                                         with the exit code its child leaves
//   winsim_test_child overrun-first  the same before any call that reads the machine
//   winsim_test_child hold FD OTHER  uses the machine, says so on the socket FD (closing the inherited OTHER
//                                 end), then waits for the test to close its end and exits with 0
#include <limits.h>
#include <unistd.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "exit") == 0) {
        // A process that never touched its machine leaves no exit record; this one must leave one.
        GetTickCount();
        return static_cast<int>(static_cast<DWORD>(std::strtoll(argv[2], nullptr, 0)));
    }
    if (argc == 3 && std::strcmp(argv[1], "sleep") == 0) {
        Sleep(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 0)));
        return static_cast<int>(GetTickCount());
    }
    if (argc == 3 && std::strcmp(argv[1], "infolder") == 0) {
        GetTickCount();
        char here[PATH_MAX];
        return ::getcwd(here, sizeof here) && std::strcmp(here, argv[2]) == 0 ? 0 : 1;
    }
    if (argc >= 3 && std::strcmp(argv[1], "startin") == 0) {
        char self[PATH_MAX] = {};
        if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return 2;
        std::string line = "\"Z:";
        for (const char* c = self; *c; ++c) line += *c == '/' ? '\\' : *c;
        line += "\"";
        for (int i = 3; i < argc; ++i) line += std::string(" ") + argv[i];
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, argv[2], &si, &pi)) return 2;
        WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD code = 2;
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hProcess);
        return static_cast<int>(code);
    }
    if (argc == 2 && std::strcmp(argv[1], "overrun") == 0) {
        GetTickCount();
        WCHAR buffer[4];
        wcscpy_s(buffer, 4, L"USB001");
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "overrun-first") == 0) {
        WCHAR buffer[4];
        wcscpy_s(buffer, 4, L"USB001");
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "hold") == 0) {
        GetTickCount();
        ::close(std::atoi(argv[3]));
        int fd = std::atoi(argv[2]);
        char c = 'r';
        if (::write(fd, &c, 1) != 1) return 1;
        while (::read(fd, &c, 1) > 0) {
        }
        return 0;
    }
    return 2;
}
