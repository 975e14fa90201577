// Switches the C runtime's whole locale to "chs" (code page 936) for one conversion and puts the
// previous one back when it goes; the installer and the plug-in convert their text under it.
#pragma once
// windows.h first: on the simulated platform it routes setlocale to the Microsoft runtime's locale.
#include <windows.h>

#include <clocale>
#include <string>

class ChsLocale {
public:
    ChsLocale() {
        const char* current = setlocale(LC_ALL, nullptr);
        saved_ = current ? current : "C";
        setlocale(LC_ALL, "chs");
    }
    ~ChsLocale() { setlocale(LC_ALL, saved_.c_str()); }
    ChsLocale(const ChsLocale&) = delete;
    ChsLocale& operator=(const ChsLocale&) = delete;

private:
    std::string saved_;
};
