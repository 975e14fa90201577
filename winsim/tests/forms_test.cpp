// The forms database (winspool/forms.cpp). Source of truth: the documentation of EnumFormsW and GetFormW
// (FORM_INFO_1 records with their strings in the caller's buffer; FALSE with ERROR_INSUFFICIENT_BUFFER and the
// needed size when it is short; FORM_BUILTIN and FORM_USER flags; sizes in thousandths of a millimetre) and
// the spooler's refusals: ERROR_INVALID_FORM_NAME for a form it does not know, ERROR_FILE_EXISTS for AddFormW
// with a name in use, ERROR_INVALID_PARAMETER for deleting a built-in form, ERROR_INVALID_LEVEL.
#include <windows.h>
#include <winspool.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "TestMachine.h"

namespace {

using Json = winsim::control::Json;

class FormsTest : public testsupport::MachineTest {
protected:
    void TearDown() override {
        for (HANDLE h : opened_) ClosePrinter(h);
        MachineTest::TearDown();
    }
    HANDLE OpenServer() {
        HANDLE h = nullptr;
        PRINTER_DEFAULTSW defaults = {nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
        EXPECT_TRUE(OpenPrinterW(nullptr, &h, &defaults)) << GetLastError();
        if (h) opened_.push_back(h);
        return h;
    }
    // A label form with margins, as the driver's forms are added.
    static BOOL AddLabel(HANDLE h, const wchar_t* name, LONG width, LONG height) {
        std::wstring copy = name;
        FORM_INFO_1W form = {FORM_USER, copy.data(), {width, height}, {1000, 2000, width - 1000, height - 2000}};
        return AddFormW(h, 1, reinterpret_cast<LPBYTE>(&form));
    }
    // Flags, size and imageable area in one comparable row.
    static std::vector<LONG> Row(const FORM_INFO_1W& f) {
        return {static_cast<LONG>(f.Flags), f.Size.cx, f.Size.cy, f.ImageableArea.left, f.ImageableArea.top,
                f.ImageableArea.right, f.ImageableArea.bottom};
    }
    static size_t FormCount() { return winsim::control::Read().at("spooler").at("forms").size(); }
    static std::vector<BYTE> GetForm(HANDLE h, const wchar_t* name) {
        std::wstring copy = name;
        DWORD needed = 0;
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(GetFormW(h, copy.data(), 1, nullptr, 0, &needed));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_GE(needed, sizeof(FORM_INFO_1W));
        std::vector<BYTE> buffer(needed);
        DWORD again = 0;
        SetLastError(0xDEADBEEF);
        EXPECT_TRUE(GetFormW(h, copy.data(), 1, buffer.data(), needed, &again));
        EXPECT_EQ(GetLastError(), 0xDEADBEEFu);
        EXPECT_EQ(again, needed);
        return buffer;
    }

private:
    std::vector<HANDLE> opened_;
};

TEST_F(FormsTest, EnumFormsAnswersTheSizeQueryThenListsBuiltinAndUserForms) {
    HANDLE h = OpenServer();
    ASSERT_TRUE(AddLabel(h, L"Label 100 x 150", 100000, 150000));
    const size_t count = FormCount();

    DWORD needed = 0;
    DWORD returned = 0xDEADBEEF;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(EnumFormsW(h, 1, nullptr, 0, &needed, &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(returned, 0u);
    ASSERT_GT(needed, count * sizeof(FORM_INFO_1W)) << "records and their names";

    std::vector<BYTE> buffer(needed);
    DWORD again = 0;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(EnumFormsW(h, 1, buffer.data(), needed - 1, &again, &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(again, needed);

    SetLastError(0xDEADBEEF);
    ASSERT_TRUE(EnumFormsW(h, 1, buffer.data(), needed, &again, &returned));
    EXPECT_EQ(GetLastError(), 0xDEADBEEFu);
    ASSERT_EQ(returned, count);
    const auto* forms = reinterpret_cast<const FORM_INFO_1W*>(buffer.data());
    const FORM_INFO_1W* a4 = nullptr;
    const FORM_INFO_1W* label = nullptr;
    for (DWORD i = 0; i < returned; ++i) {
        const auto* name = reinterpret_cast<const BYTE*>(forms[i].pName);
        EXPECT_GE(name, buffer.data() + count * sizeof(FORM_INFO_1W));
        EXPECT_LT(name, buffer.data() + needed);
        if (std::wstring(forms[i].pName) == L"A4") a4 = &forms[i];
        if (std::wstring(forms[i].pName) == L"Label 100 x 150") label = &forms[i];
    }
    ASSERT_TRUE(a4 && label);
    EXPECT_EQ(Row(*a4), (std::vector<LONG>{FORM_BUILTIN, 210000, 297000, 0, 0, 210000, 297000}))
        << "a built-in form is printable to its edges";
    EXPECT_EQ(Row(*label), (std::vector<LONG>{FORM_USER, 100000, 150000, 1000, 2000, 99000, 148000}));

    // Forms are the server's: a printer's handle lists the same ones.
    winsim::control::Change([](Json& m) {
        m["spooler"]["printers"][0]["name"] = Json::string("Label");
        m["spooler"]["printers"][0]["port"] = Json::string("USB001");
    });
    HANDLE printer = nullptr;
    WCHAR name[] = L"Label";
    ASSERT_TRUE(OpenPrinterW(name, &printer, nullptr));
    EXPECT_TRUE(EnumFormsW(printer, 1, buffer.data(), needed, &again, &returned));
    EXPECT_EQ(returned, count);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(EnumFormsW(printer, 3, buffer.data(), needed, &again, &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
    ClosePrinter(printer);
}

TEST_F(FormsTest, GetFormAnswersOneFormByNameWhateverItsCase) {
    HANDLE h = OpenServer();
    std::vector<BYTE> buffer = GetForm(h, L"letter");
    const auto* letter = reinterpret_cast<const FORM_INFO_1W*>(buffer.data());
    EXPECT_EQ(std::wstring(letter->pName), L"Letter");
    EXPECT_EQ(Row(*letter), (std::vector<LONG>{FORM_BUILTIN, 215900, 279400, 0, 0, 215900, 279400}));
    EXPECT_EQ(buffer.size(), sizeof(FORM_INFO_1W) + sizeof(L"Letter")) << "one record and its name";
    ASSERT_TRUE(AddLabel(h, L"Label 60 x 40", 60000, 40000));
    buffer = GetForm(h, L"Label 60 x 40");
    EXPECT_EQ(Row(*reinterpret_cast<const FORM_INFO_1W*>(buffer.data())),
              (std::vector<LONG>{FORM_USER, 60000, 40000, 1000, 2000, 59000, 38000}));

    WCHAR unknown[] = L"Letter Plus";
    DWORD needed = 0xDEADBEEF;
    std::vector<BYTE> out(512);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(GetFormW(h, unknown, 1, out.data(), 512, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FORM_NAME));
    WCHAR a4[] = L"A4";
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(GetFormW(h, a4, 3, out.data(), 512, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
}

TEST_F(FormsTest, AddFormRefusesANameInUseAndKeepsTheFirstForm) {
    HANDLE h = OpenServer();
    const size_t builtin = FormCount();
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(AddLabel(h, L"a4", 50000, 50000)) << "a built-in name, in another case";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));

    SetLastError(0xDEADBEEF);
    EXPECT_TRUE(AddLabel(h, L"Label 100 x 150", 100000, 150000));
    EXPECT_EQ(GetLastError(), 0xDEADBEEFu);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(AddLabel(h, L"Label 100 x 150", 80000, 80000));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(FormCount(), builtin + 1);
    std::vector<BYTE> buffer = GetForm(h, L"Label 100 x 150");
    EXPECT_EQ(reinterpret_cast<const FORM_INFO_1W*>(buffer.data())->Size.cx, 100000);

    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(AddLabel(h, L"Inverted", 1500, 1500)) << "margins wider than the form";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FORM_SIZE));
    EXPECT_EQ(FormCount(), builtin + 1);
}

TEST_F(FormsTest, DeleteFormRemovesUserFormsOnly) {
    HANDLE h = OpenServer();
    ASSERT_TRUE(AddLabel(h, L"Label 100 x 150", 100000, 150000));
    const size_t count = FormCount();
    WCHAR letter[] = L"Letter";
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(DeleteFormW(h, letter));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    WCHAR unknown[] = L"Letter Plus";
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(DeleteFormW(h, unknown));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FORM_NAME));
    EXPECT_EQ(FormCount(), count);

    WCHAR label[] = L"LABEL 100 X 150";
    SetLastError(0xDEADBEEF);
    EXPECT_TRUE(DeleteFormW(h, label));
    EXPECT_EQ(GetLastError(), 0xDEADBEEFu);
    EXPECT_EQ(FormCount(), count - 1);
    DWORD needed = 0;
    std::vector<BYTE> out(512);
    EXPECT_FALSE(GetFormW(h, label, 1, out.data(), 512, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FORM_NAME));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(DeleteFormW(h, label));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FORM_NAME));
    GetForm(h, L"Letter");
}

TEST_F(FormsTest, StoppedSpoolerRefusesEveryFormCall) {
    HANDLE h = OpenServer();
    winsim::control::Change([](Json& m) { m["services"][0]["state"] = Json::number(SERVICE_STOPPED); });
    std::vector<BYTE> out(4096);
    DWORD needed = 0;
    DWORD returned = 0;
    WCHAR a4[] = L"A4";
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(EnumFormsW(h, 1, out.data(), 4096, &needed, &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(GetFormW(h, a4, 1, out.data(), 4096, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(AddLabel(h, L"Label 100 x 150", 100000, 150000));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
    WCHAR letter[] = L"Letter";
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(DeleteFormW(h, letter));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
}

// The size query answers for the list as it is now, whoever changed it last.
TEST_F(FormsTest, SizeQueryFollowsEveryChangeOfTheList) {
    HANDLE server = OpenServer();
    auto sizeNow = [&] {
        DWORD needed = 0, returned = 0;
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(EnumFormsW(server, 1, nullptr, 0, &needed, &returned));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        return needed;
    };
    const DWORD start = sizeNow();
    EXPECT_EQ(sizeNow(), start) << "asked again";
    const DWORD oneMore = sizeof(FORM_INFO_1W) + sizeof(L"Label 60");
    ASSERT_TRUE(AddLabel(server, L"Label 60", 60000, 40000));
    EXPECT_EQ(sizeNow(), start + oneMore);
    ASSERT_TRUE(DeleteFormW(server, const_cast<LPWSTR>(L"Label 60")));
    EXPECT_EQ(sizeNow(), start);

    // Another process replaces the file with one more form.
    const std::string path = MachinePath();
    Json other = Json::parse(testsupport::ReadFile(path));
    Json form = Json::object();
    form["name"] = Json::string("Label 70");
    form["width"] = Json::number(70000);
    form["height"] = Json::number(40000);
    other["spooler"]["forms"][other["spooler"]["forms"].size()] = form;
    {
        std::ofstream out(path + ".other", std::ios::binary);
        out << other.serialize();
    }
    ASSERT_EQ(std::rename((path + ".other").c_str(), path.c_str()), 0);
    EXPECT_EQ(sizeNow(), start + oneMore);
}

}  // namespace
