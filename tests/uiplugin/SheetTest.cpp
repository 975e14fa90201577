#include "SheetTest.h"

#include <control.h>

namespace uiplugin_test {

CallCounter::CallCounter(const std::string& function) : function_(function) {
    winsim::control::InjectFault(function, ERROR_GEN_FAILURE, 1, kWait);
}

int CallCounter::Calls() const {
    web::json::value machine = winsim::control::Read();
    for (const auto& f : machine.at("faults").as_array()) {
        if (f.at("function").as_string() == function_) return kWait - static_cast<int>(f.at("after").as_integer());
    }
    return -1;
}

// The sheet goes before the object it drives.
void SheetTest::TearDown() {
    sheet.reset();
    PluginObjectFixture::TearDown();
}

CompstuiHost& SheetTest::NewSheet(SheetKind kind, DevModeBuffer* devMode) {
    sheet.reset();
    sheet = std::make_unique<CompstuiHost>(plugin, kind, host->Module(), printer, L"Brisora-40", devMode);
    return *sheet;
}

size_t SheetTest::OpenHandles(DWORD access) { return winsim::control::OpenPrinterHandles(kPrinter, access).size(); }

std::wstring SheetTest::Text(HWND window) {
    WCHAR text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

std::vector<int> SheetTest::Templates() const {
    std::vector<int> ids;
    for (size_t i = 0; i < sheet->Sheet().PageCount(); ++i) {
        ids.push_back(static_cast<int>(reinterpret_cast<ULONG_PTR>(sheet->Sheet().Page(i).pszTemplate)));
    }
    return ids;
}

}  // namespace uiplugin_test
