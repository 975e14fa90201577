#include <unistd.h>

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <iostream>
#include <string>

#include "../core/machine.h"
#include "../core/text.h"
#include "message_box.h"

namespace {

int DefaultAnswer(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_OK: return IDOK;
    case MB_ABORTRETRYIGNORE: return IDABORT;
    case MB_YESNO: return IDNO;
    default: return IDCANCEL;
    }
}

const char* Buttons(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_OK: return "OK";
    case MB_OKCANCEL: return "OK/Cancel";
    case MB_ABORTRETRYIGNORE: return "Abort/Retry/Ignore";
    case MB_YESNOCANCEL: return "Yes/No/Cancel";
    case MB_YESNO: return "Yes/No";
    default: return "Retry/Cancel";
    }
}

int AskTerminal(const std::string& caption, const std::string& text, UINT type) {
    for (;;) {
        std::fprintf(stderr, "\n[%s]\n%s\n%s? ", caption.c_str(), text.c_str(), Buttons(type));
        std::fflush(stderr);
        std::string line;
        if (!std::getline(std::cin, line)) return DefaultAnswer(type);
        int answer = winsim::MessageBoxAnswer(line);
        if (answer) return answer;
    }
}

}  // namespace

namespace winsim {

int MessageBoxAnswer(std::string word) {
    for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (word == "ok" || word == "o" || word == "1") return IDOK;
    if (word == "cancel" || word == "c" || word == "2") return IDCANCEL;
    if (word == "abort" || word == "3") return IDABORT;
    if (word == "retry" || word == "r" || word == "4") return IDRETRY;
    if (word == "ignore" || word == "i" || word == "5") return IDIGNORE;
    if (word == "yes" || word == "y" || word == "6") return IDYES;
    if (word == "no" || word == "n" || word == "7") return IDNO;
    return 0;
}

}  // namespace winsim

// Message boxes are recorded in the machine. The answer is the next scripted one ("ui.answers",
// numbers or button names); with none left a terminal on standard input is asked; else the box is
// cancelled (closed, for a box without Cancel), so nothing ever waits for a person who is not there.
extern "C" int WINAPI MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
    uint32_t fault;
    if (winsim::TakeFault("MessageBoxW", &fault)) {
        SetLastError(fault);
        return 0;
    }
    std::string text = winsim::ToUtf8(lpText ? lpText : L"");
    std::string caption = winsim::ToUtf8(lpCaption ? lpCaption : L"Error");
    int answer = 0;
    winsim::Machine& m = winsim::Machine::Instance();
    m.Modify([&](winsim::Json& machine) {
        winsim::Json& ui = winsim::ChildObject(machine, "ui");
        winsim::Json& answers = winsim::ChildArray(ui, "answers");
        if (answers.size() > 0) {
            const winsim::Json& first = answers.at(0);
            answer = first.is_number() ? first.as_integer() : winsim::MessageBoxAnswer(first.is_string() ? first.as_string() : "");
            winsim::Json rest = winsim::Json::array();
            for (size_t i = 1; i < answers.size(); ++i) rest[i - 1] = answers.at(i);
            answers = rest;
        }
    });
    if (answer == 0) answer = ::isatty(0) ? AskTerminal(caption, text, uType) : DefaultAnswer(uType);
    m.Modify([&](winsim::Json& machine) {
        winsim::Json& boxes = winsim::ChildArray(winsim::ChildObject(machine, "ui"), "messageBoxes");
        winsim::Json box = winsim::Json::object();
        box["owner"] = winsim::Json::number(static_cast<int64_t>(reinterpret_cast<intptr_t>(hWnd)));
        box["caption"] = winsim::Json::string(caption);
        box["text"] = winsim::Json::string(text);
        box["flags"] = winsim::Json::number(static_cast<int64_t>(uType));
        box["answer"] = winsim::Json::number(answer);
        boxes[boxes.size()] = box;
    });
    return answer;
}
