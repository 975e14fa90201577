// The start-up code of a GUI program: hands wWinMain the command line after the program's name.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "process.h"
#include "text.h"

int main(int argc, char** argv) {
    std::string tail;
    if (const char* cmdLine = std::getenv("WINSIM_CMDLINE")) {
        // Started by CreateProcess: the exact command line, as Windows keeps it.
        tail = winsim::CommandLineTail(cmdLine);
        ::unsetenv("WINSIM_CMDLINE");
    } else {
        for (int i = 1; i < argc; ++i) {
            if (i > 1) tail += ' ';
            tail += argv[i];
        }
    }
    std::wstring wideTail = winsim::FromUtf8(tail);
    return wWinMain(GetModuleHandleW(nullptr), nullptr, wideTail.data(), SW_SHOWDEFAULT);
}
