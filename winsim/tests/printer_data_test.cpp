// Printer data values and the printer's driver (winspool/printer_data.cpp, drivers.cpp). Source of truth:
// the documentation of GetPrinterDataW (returns the error; ERROR_MORE_DATA with the needed size and the
// type when the buffer is short; ERROR_FILE_NOT_FOUND for a missing value), SetPrinterDataW (needs
// PRINTER_ACCESS_ADMINISTER on a printer handle) and GetPrinterDriverW (FALSE with
// ERROR_INSUFFICIENT_BUFFER and the needed size, strings behind the record).
#include <windows.h>
#include <winspool.h>

#include <string>
#include <vector>

#include "TestMachine.h"

namespace {

using Json = winsim::control::Json;

class PrinterDataTest : public testsupport::MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        winsim::control::Change([](Json& m) {
            Json printer = Json::object();
            printer["name"] = Json::string("Label");
            printer["driver"] = Json::string("Brisora-40P");
            printer["port"] = Json::string("USB001");
            printer["data"] = Json::object();
            m["spooler"]["printers"][0] = printer;
        });
    }
    void TearDown() override {
        for (HANDLE h : opened_) ClosePrinter(h);
        MachineTest::TearDown();
    }
    HANDLE Open(const wchar_t* name, DWORD access) {
        HANDLE h = nullptr;
        PRINTER_DEFAULTSW defaults = {nullptr, nullptr, access};
        std::wstring copy = name ? name : L"";
        EXPECT_TRUE(OpenPrinterW(name ? copy.data() : nullptr, &h, &defaults)) << GetLastError();
        if (h) opened_.push_back(h);
        return h;
    }

private:
    std::vector<HANDLE> opened_;
};

// A printer is looked up by name (in any case) in a list that may change under it: names swapped in place,
// a printer removed, the list changed by another process.
TEST_F(PrinterDataTest, EachHandleReachesItsOwnPrinterWhateverTheListBecomes) {
    winsim::control::Change([](Json& m) {
        Json printer = m["spooler"]["printers"][0];
        printer["name"] = Json::string("Office");
        printer["driver"] = Json::string("Generic Text Only");
        m["spooler"]["printers"][1] = printer;
    });
    HANDLE label = Open(L"LABEL", PRINTER_ALL_ACCESS);
    HANDLE office = Open(L"office", PRINTER_ALL_ACCESS);
    auto driverOf = [](HANDLE h) {
        BYTE buffer[512];
        DWORD needed = 0;
        if (!GetPrinterDriverW(h, nullptr, 1, buffer, sizeof buffer, &needed)) return std::wstring(L"<failed>");
        return std::wstring(reinterpret_cast<DRIVER_INFO_1W*>(buffer)->pName);
    };
    EXPECT_EQ(driverOf(label), L"Brisora-40P");
    EXPECT_EQ(driverOf(office), L"Generic Text Only");

    winsim::control::Change([](Json& m) {
        Json& printers = m["spooler"]["printers"];
        printers[0]["name"] = Json::string("Office");
        printers[1]["name"] = Json::string("Label");
    });
    EXPECT_EQ(driverOf(label), L"Generic Text Only");
    EXPECT_EQ(driverOf(office), L"Brisora-40P");

    winsim::control::Change([](Json& m) {
        Json kept = Json::array();
        kept[0] = m["spooler"]["printers"][1];
        m["spooler"]["printers"] = kept;
    });
    EXPECT_EQ(driverOf(label), L"Generic Text Only");
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(driverOf(office), L"<failed>");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));

    testsupport::RunResult r =
        testsupport::RunProgram(testsupport::BinPath("winsim-ctl"), {"answer", "OK"});  // any change of the file
    ASSERT_EQ(r.waitStatus, 0) << r.err;
    EXPECT_EQ(driverOf(label), L"Generic Text Only");
}

TEST_F(PrinterDataTest, ValueComesBackWithItsTypeAndSize) {
    HANDLE h = Open(L"Label", PRINTER_ALL_ACCESS);
    WCHAR name[] = L"Settings";
    BYTE data[5] = {1, 2, 0, 0xFE, 5};
    EXPECT_EQ(SetPrinterDataW(h, name, REG_BINARY, data, sizeof data), static_cast<DWORD>(ERROR_SUCCESS));

    BYTE out[8] = {};
    DWORD type = 0;
    DWORD needed = 0;
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GetPrinterDataW(h, name, &type, out, sizeof out, &needed), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(needed, 5u);
    EXPECT_EQ(std::vector<BYTE>(out, out + 5), std::vector<BYTE>(data, data + 5));
    EXPECT_EQ(out[5], 0);
    EXPECT_EQ(GetLastError(), 0xDEADBEEFu);

    // Another handle on the same printer, even one that may only read, sees it.
    HANDLE reader = Open(L"Label", PRINTER_ACCESS_USE);
    EXPECT_EQ(GetPrinterDataW(reader, name, nullptr, out, sizeof out, &needed), static_cast<DWORD>(ERROR_SUCCESS));
}

TEST_F(PrinterDataTest, ShortBufferGetsTheNeededSizeAndNothingElse) {
    HANDLE h = Open(L"Label", PRINTER_ALL_ACCESS);
    WCHAR name[] = L"Big";
    std::vector<BYTE> data(200, 0x42);
    ASSERT_EQ(SetPrinterDataW(h, name, REG_BINARY, data.data(), 200), static_cast<DWORD>(ERROR_SUCCESS));

    std::vector<BYTE> out(128, 0);
    DWORD type = 0;
    DWORD needed = 0;
    EXPECT_EQ(GetPrinterDataW(h, name, &type, out.data(), 128, &needed), static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_EQ(needed, 200u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(out, std::vector<BYTE>(128, 0));

    needed = 0;
    EXPECT_EQ(GetPrinterDataW(h, name, nullptr, nullptr, 0, &needed), static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_EQ(needed, 200u);
    EXPECT_EQ(GetPrinterDataW(h, name, nullptr, out.data(), 128, nullptr), static_cast<DWORD>(RPC_X_NULL_REF_POINTER));
}

TEST_F(PrinterDataTest, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
    HANDLE h = Open(L"Label", PRINTER_ALL_ACCESS);
    WCHAR first[] = L"Offset";
    WCHAR other[] = L"OFFSET";
    DWORD one = 1;
    DWORD two = 2;
    ASSERT_EQ(SetPrinterDataW(h, first, REG_DWORD, reinterpret_cast<LPBYTE>(&one), 4), static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_EQ(SetPrinterDataW(h, other, REG_DWORD, reinterpret_cast<LPBYTE>(&two), 4), static_cast<DWORD>(ERROR_SUCCESS));
    Json data = winsim::control::Read().at("spooler").at("printers").at(0).at("data");
    EXPECT_EQ(data.size(), 1u);
    EXPECT_TRUE(data.has_field("Offset"));
    DWORD value = 0;
    DWORD needed = 0;
    WCHAR lower[] = L"offset";
    EXPECT_EQ(GetPrinterDataW(h, lower, nullptr, reinterpret_cast<LPBYTE>(&value), 4, &needed),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(value, 2u);
}

TEST_F(PrinterDataTest, MissingValuesAndRightsAreReported) {
    HANDLE reader = Open(L"Label", PRINTER_ACCESS_USE);
    WCHAR name[] = L"Absent";
    BYTE out[4];
    DWORD needed = 0;
    EXPECT_EQ(GetPrinterDataW(reader, name, nullptr, out, sizeof out, &needed), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(SetPrinterDataW(reader, name, REG_BINARY, out, sizeof out), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(GetPrinterDataW(reader, name, nullptr, out, sizeof out, &needed), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    HANDLE server = Open(nullptr, SERVER_ACCESS_ADMINISTER);
    EXPECT_EQ(SetPrinterDataW(server, name, REG_BINARY, out, sizeof out), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(GetPrinterDataW(server, name, nullptr, out, sizeof out, &needed), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(PrinterDataTest, ValuesGoWithTheirPrinter) {
    HANDLE h = Open(L"Label", PRINTER_ALL_ACCESS);
    WCHAR name[] = L"Settings";
    BYTE data[2] = {7, 8};
    ASSERT_EQ(SetPrinterDataW(h, name, REG_BINARY, data, sizeof data), static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_TRUE(DeletePrinter(h));
    DWORD needed = 0;
    EXPECT_EQ(GetPrinterDataW(h, name, nullptr, data, sizeof data, &needed),
              static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
    EXPECT_EQ(SetPrinterDataW(h, name, REG_BINARY, data, sizeof data), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
}

TEST_F(PrinterDataTest, DriverInfoLevel1NamesThePrintersDriver) {
    HANDLE h = Open(L"Label", PRINTER_ACCESS_USE);
    DWORD needed = 0;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(GetPrinterDriverW(h, nullptr, 1, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    const std::wstring driver = L"Brisora-40P";
    EXPECT_EQ(needed, sizeof(DRIVER_INFO_1W) + (driver.size() + 1) * sizeof(WCHAR));

    std::vector<BYTE> buffer(needed);
    DWORD again = 0;
    SetLastError(0xDEADBEEF);
    ASSERT_TRUE(GetPrinterDriverW(h, nullptr, 1, buffer.data(), needed, &again));
    EXPECT_EQ(GetLastError(), 0xDEADBEEFu);
    EXPECT_EQ(again, needed);
    const auto* info = reinterpret_cast<const DRIVER_INFO_1W*>(buffer.data());
    EXPECT_EQ(std::wstring(info->pName), driver);
    EXPECT_GE(reinterpret_cast<const BYTE*>(info->pName), buffer.data() + sizeof(DRIVER_INFO_1W));

    WCHAR x86[] = L"Windows NT x86";
    EXPECT_TRUE(GetPrinterDriverW(h, x86, 1, buffer.data(), needed, &again));
    WCHAR bogus[] = L"Windows 3.1";
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(GetPrinterDriverW(h, bogus, 1, buffer.data(), needed, &again));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ENVIRONMENT));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(GetPrinterDriverW(h, nullptr, 2, buffer.data(), needed, &again));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));

    HANDLE server = Open(nullptr, SERVER_ACCESS_ADMINISTER);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(GetPrinterDriverW(server, nullptr, 1, buffer.data(), needed, &again));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
