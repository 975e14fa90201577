// Velumor loaded from the package folder as the print system loads it, over a machine with one printer
// of model 46 ("Brisora-40") opened with full access.
#pragma once
#include <windows.h>
#include <winspool.h>
#include <prcomoem.h>

#include <plugin_host.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "TestMachine.h"

namespace uiplugin_test {

using Bytes = std::vector<uint8_t>;

DEFINE_GUID(CLSID_OEMUI, 0xABCE80D7, 0x9F46, 0x11D1, 0x88, 0x2A, 0x00, 0xC0, 0x4F, 0xB9, 0x61, 0xEC);

constexpr uint32_t kSignature = 0x4E51;
constexpr const char kValueName[] = "OEM_ZL_PRINTER_VALUE";
constexpr const char kPrinter[] = "Brisora-40";

// Little-endian writes at documented offsets, independent of the plug-in's own structures.
void PutU32(Bytes& bytes, size_t offset, uint32_t value);
void PutU16(Bytes& bytes, size_t offset, uint16_t value);
uint32_t GetU32(const uint8_t* bytes, size_t offset);
uint32_t FloatBits(float value);

// The record a new printer of model 46 gets, byte for byte.
Bytes Model46Defaults();
// The three header words of a private part.
Bytes Header(uint32_t size, uint32_t signature, uint32_t version);

// Win32 path of the plug-in as the driver's INF names it ("...\Velumor.dll").
std::wstring VelumorPath();

class PluginTest : public testsupport::MachineTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // A printer queue with that driver, added straight to the machine.
    static void AddPrinter(const std::string& name, const std::string& driver);
    HANDLE Open(const std::string& name, DWORD access);
    // The printer-data value as the machine keeps it; false when there is none.
    static bool StoredValue(const std::string& printer, Bytes* data, uint32_t* type = nullptr);
    static void StoreValue(const std::string& printer, const Bytes& data, uint32_t type = REG_BINARY);
    // How many scripted failures of a function are still waiting to be taken.
    static int PendingFaults(const std::string& function);

    IPrintOemUI2* NewPlugin();

    std::unique_ptr<winsim::control::PluginHost> host;
    HANDLE printer = nullptr;

private:
    std::vector<HANDLE> opened_;
};

// A PluginTest with one plug-in object, made before each test and released after it.
class PluginObjectFixture : public PluginTest {
protected:
    void SetUp() override;
    void TearDown() override;

    IPrintOemUI2* plugin = nullptr;
};

}  // namespace uiplugin_test
