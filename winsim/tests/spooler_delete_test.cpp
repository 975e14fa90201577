// Deleting printers, printer data, drivers and driver packages (winspool/printers.cpp, printer_data.cpp,
// drivers.cpp, driver_package.cpp). Source of truth: the documentation of DeletePrinter (the handle's
// DELETE right), DeletePrinterDataW (returns the error; ERROR_FILE_NOT_FOUND for a missing value),
// DeletePrinterDriverW (NULL environment: the caller's own; ERROR_PRINTER_DRIVER_IN_USE;
// ERROR_UNKNOWN_PRINTER_DRIVER) and DeletePrinterDriverPackageW (an HRESULT; the package's environment,
// NULL: the caller's own).
#include <windows.h>
#include <winspool.h>

#include <cwchar>
#include <string>

#include "TestMachine.h"

namespace {

using Json = winsim::control::Json;

const wchar_t kX64Inf[] = L"C:\\DriverStore\\FileRepository\\zl.inf_amd64_1\\zl.inf";
const wchar_t kX86Inf[] = L"C:\\DriverStore\\FileRepository\\zl.inf_x86_1\\zl.inf";

class SpoolerDeleteTest : public testsupport::MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        winsim::control::Change([](Json& m) {
            const char* envs[] = {"Windows x64", "Windows NT x86"};
            const wchar_t* infs[] = {kX64Inf, kX86Inf};
            for (int i = 0; i < 2; ++i) {
                std::string inf(infs[i], infs[i] + std::wcslen(infs[i]));
                m["spooler"]["drivers"][envs[i]][0]["name"] = Json::string("Brisora-40");
                m["spooler"]["drivers"][envs[i]][0]["infPath"] = Json::string(inf);
                m["spooler"]["driverStore"][i]["storedInf"] = Json::string(inf);
                m["spooler"]["driverStore"][i]["environment"] = Json::string(envs[i]);
            }
            Json& printer = m["spooler"]["printers"][0];
            printer["name"] = Json::string("Label");
            printer["driver"] = Json::string("Brisora-40");
            printer["port"] = Json::string("USB001");
            printer["data"]["OEM_ZL_PRINTER_VALUE"]["type"] = Json::number(REG_BINARY);
        });
    }
    static Json Spooler() { return winsim::control::Read().at("spooler"); }
    static HANDLE OpenLabel(DWORD access) {
        HANDLE h = nullptr;
        PRINTER_DEFAULTSW defaults = {nullptr, nullptr, access};
        WCHAR name[] = L"Label";
        EXPECT_TRUE(OpenPrinterW(name, &h, &defaults));
        return h;
    }
    WCHAR driver_[11] = L"Brisora-40";
    WCHAR x86_[15] = L"Windows NT x86";
    WCHAR value_[21] = L"oem_zl_printer_value";  // value names compare without case
};

TEST_F(SpoolerDeleteTest, PrinterAndItsDataGoOnlyThroughAHandleWithTheRights) {
    HANDLE user = OpenLabel(PRINTER_ACCESS_USE);
    EXPECT_EQ(DeletePrinterDataW(user, value_), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(DeletePrinter(user));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    HANDLE admin = OpenLabel(PRINTER_ALL_ACCESS);
    HANDLE second = OpenLabel(PRINTER_ALL_ACCESS);
    EXPECT_EQ(DeletePrinterDataW(admin, value_), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(Spooler().at("printers").at(0).at("data").size(), 0u);
    EXPECT_EQ(DeletePrinterDataW(admin, value_), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    SetLastError(0xDEADBEEF);
    EXPECT_TRUE(DeletePrinter(admin));
    EXPECT_EQ(GetLastError(), 0xDEADBEEFu);
    EXPECT_EQ(Spooler().at("printers").size(), 0u);
    EXPECT_FALSE(DeletePrinter(second));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME)) << "gone through the other handle";
    EXPECT_TRUE(ClosePrinter(admin));
    EXPECT_TRUE(ClosePrinter(second));
    EXPECT_TRUE(ClosePrinter(user));
}

TEST_F(SpoolerDeleteTest, DriverGoesPerEnvironmentAndItsPackageOnlyOnceNoDriverComesFromIt) {
    EXPECT_FALSE(DeletePrinterDriverW(nullptr, nullptr, driver_));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINTER_DRIVER_IN_USE));
    EXPECT_EQ(DeletePrinterDriverPackageW(nullptr, kX64Inf, nullptr), HRESULT_FROM_WIN32(ERROR_PRINTER_DRIVER_PACKAGE_IN_USE));
    // Printers use the machine's own environment only.
    EXPECT_TRUE(DeletePrinterDriverW(nullptr, x86_, driver_));
    EXPECT_EQ(Spooler().at("drivers").at("Windows NT x86").size(), 0u);
    // A package is its environment's: NULL is the machine's own, so the x86 one is not found that way.
    EXPECT_EQ(DeletePrinterDriverPackageW(nullptr, kX86Inf, nullptr), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(DeletePrinterDriverPackageW(nullptr, kX86Inf, L"Windows x64"), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(DeletePrinterDriverPackageW(nullptr, kX86Inf, L"Windows 3.1"), HRESULT_FROM_WIN32(ERROR_INVALID_ENVIRONMENT));
    EXPECT_EQ(Spooler().at("driverStore").size(), 2u);
    EXPECT_EQ(DeletePrinterDriverPackageW(nullptr, kX86Inf, x86_), S_OK);
    EXPECT_EQ(DeletePrinterDriverPackageW(nullptr, kX86Inf, x86_), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));

    HANDLE admin = OpenLabel(PRINTER_ALL_ACCESS);
    ASSERT_TRUE(DeletePrinter(admin));
    ClosePrinter(admin);
    EXPECT_TRUE(DeletePrinterDriverW(nullptr, nullptr, driver_)) << "NULL is the machine's own environment";
    EXPECT_FALSE(DeletePrinterDriverW(nullptr, nullptr, driver_));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PRINTER_DRIVER));
    EXPECT_EQ(DeletePrinterDriverPackageW(nullptr, kX64Inf, nullptr), S_OK);
    EXPECT_EQ(Spooler().at("driverStore").size(), 0u);
}

TEST_F(SpoolerDeleteTest, StoppedSpoolerRefusesEveryDeletion) {
    HANDLE admin = OpenLabel(PRINTER_ALL_ACCESS);
    winsim::control::Change([](Json& m) { m["services"][0]["state"] = Json::number(SERVICE_STOPPED); });
    EXPECT_EQ(DeletePrinterDataW(admin, value_), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
    EXPECT_FALSE(DeletePrinter(admin));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
    EXPECT_FALSE(DeletePrinterDriverW(nullptr, x86_, driver_));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
    EXPECT_EQ(DeletePrinterDriverPackageW(nullptr, kX86Inf, x86_), HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE));
    Json spooler = Spooler();
    EXPECT_EQ(spooler.at("printers").at(0).at("data").size(), 1u);
    EXPECT_EQ(spooler.at("drivers").at("Windows NT x86").size(), 1u);
    EXPECT_EQ(spooler.at("driverStore").size(), 2u);
    ClosePrinter(admin);
}

// Every architecture a machine can have is its own environment, named as Windows names it: NULL stands for
// it when drivers are listed and deleted, and the name itself is one the spooler knows.
using SpoolerEnvironmentTest = testsupport::MachineTest;

TEST_F(SpoolerEnvironmentTest, EachArchitectureIsItsOwnEnvironment) {
    const struct {
        int architecture;
        const wchar_t* environment;
    } cases[] = {
        {PROCESSOR_ARCHITECTURE_INTEL, L"Windows NT x86"}, {PROCESSOR_ARCHITECTURE_ARM, L"Windows ARM"},
        {PROCESSOR_ARCHITECTURE_IA64, L"Windows IA64"},    {PROCESSOR_ARCHITECTURE_AMD64, L"Windows x64"},
        {PROCESSOR_ARCHITECTURE_ARM64, L"Windows ARM64"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.architecture);
        winsim::control::UseFreshMachine(MachinePath());
        winsim::control::Change([&](Json& m) {
            m["system"]["architecture"] = Json::number(c.architecture);
            for (const auto& other : cases) {
                std::string environment(other.environment, other.environment + std::wcslen(other.environment));
                m["spooler"]["drivers"][environment][0]["name"] = Json::string("Zeta");
            }
        });
        DWORD needed = 0, returned = 0;
        BYTE buffer[4096];
        ASSERT_TRUE(EnumPrinterDriversW(nullptr, nullptr, 8, buffer, sizeof buffer, &needed, &returned));
        ASSERT_EQ(returned, 1u);
        EXPECT_STREQ(reinterpret_cast<DRIVER_INFO_8W*>(buffer)->pEnvironment, c.environment);
        std::wstring named = c.environment;
        ASSERT_TRUE(EnumPrinterDriversW(nullptr, named.data(), 8, buffer, sizeof buffer, &needed, &returned))
            << GetLastError();
        EXPECT_EQ(returned, 1u);
        WCHAR zeta[] = L"Zeta";
        EXPECT_TRUE(DeletePrinterDriverW(nullptr, nullptr, zeta));
        Json drivers = winsim::control::Read().at("spooler").at("drivers");
        for (const auto& other : cases) {
            std::string environment(other.environment, other.environment + std::wcslen(other.environment));
            EXPECT_EQ(drivers.at(environment).size(), other.environment == c.environment ? 0u : 1u) << environment;
        }
    }
}

}  // namespace
