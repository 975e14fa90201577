#include "PluginTest.h"

#include <control.h>

#include <cstring>

namespace uiplugin_test {

void PutU32(Bytes& bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.at(offset + i) = static_cast<uint8_t>(value >> (8 * i));
}

void PutU16(Bytes& bytes, size_t offset, uint16_t value) {
    bytes.at(offset) = static_cast<uint8_t>(value);
    bytes.at(offset + 1) = static_cast<uint8_t>(value >> 8);
}

uint32_t GetU32(const uint8_t* bytes, size_t offset) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | bytes[offset + i];
    return value;
}

uint32_t FloatBits(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

Bytes Model46Defaults() {
    Bytes record(128, 0);
    PutU32(record, 0, 46);
    PutU32(record, 4, 0x42980000);   // 76.0
    PutU32(record, 8, 0x43020000);   // 130.0
    PutU32(record, 16, 203);         // resolution
    PutU32(record, 20, 3);           // modelOption
    PutU32(record, 36, 5);           // speed
    PutU32(record, 40, 8);           // density
    PutU32(record, 84, 1);           // cmdType
    PutU32(record, 92, 1);           // cutter
    PutU16(record, 96, 100);         // imageScale
    record[127] = 1;                 // driverImageOffset
    return record;
}

Bytes Header(uint32_t size, uint32_t signature, uint32_t version) {
    Bytes header(12, 0);
    PutU32(header, 0, size);
    PutU32(header, 4, signature);
    PutU32(header, 8, version);
    return header;
}

std::wstring VelumorPath() {
    std::string host = testsupport::PackagePath("Velumor.dll");
    std::wstring path = L"Z:";
    for (char c : host) path += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    return path;
}

void PluginTest::SetUp() {
    MachineTest::SetUp();
    AddPrinter(kPrinter, "Brisora-40");
    printer = Open(kPrinter, PRINTER_ALL_ACCESS);
    ASSERT_NE(printer, nullptr);
    host = std::make_unique<winsim::control::PluginHost>(VelumorPath());
    ASSERT_TRUE(host->Loaded()) << "load error " << host->LoadError();
}

void PluginTest::TearDown() {
    host.reset();
    for (HANDLE h : opened_) ClosePrinter(h);
    MachineTest::TearDown();
}

void PluginObjectFixture::SetUp() {
    PluginTest::SetUp();
    if (HasFatalFailure()) return;
    plugin = NewPlugin();
    ASSERT_NE(plugin, nullptr);
}

void PluginObjectFixture::TearDown() {
    if (plugin) plugin->Release();
    PluginTest::TearDown();
}

void PluginTest::AddPrinter(const std::string& name, const std::string& driver) {
    winsim::control::Change([&](web::json::value& machine) {
        auto& printers = machine["spooler"]["printers"];
        if (!printers.is_array()) printers = web::json::value::array();
        web::json::value p = web::json::value::object();
        p["name"] = web::json::value::string(name);
        p["driver"] = web::json::value::string(driver);
        p["port"] = web::json::value::string("USB001");
        p["data"] = web::json::value::object();
        printers[printers.size()] = p;
    });
}

HANDLE PluginTest::Open(const std::string& name, DWORD access) {
    std::wstring wide(name.begin(), name.end());
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, access};
    HANDLE h = nullptr;
    if (!OpenPrinterW(wide.data(), &h, &defaults)) return nullptr;
    opened_.push_back(h);
    return h;
}

bool PluginTest::StoredValue(const std::string& printer, Bytes* data, uint32_t* type) {
    web::json::value machine = winsim::control::Read();
    for (const auto& p : machine.at("spooler").at("printers").as_array()) {
        if (p.at("name").as_string() != printer || !p.has_field("data")) continue;
        if (!p.at("data").has_field(kValueName)) return false;
        const auto& value = p.at("data").at(kValueName);
        if (type) *type = static_cast<uint32_t>(value.at("type").as_integer());
        if (!data) return true;
        std::string hex = value.at("data").as_string();
        data->clear();
        for (size_t i = 0; i + 1 < hex.size(); i += 2) {
            data->push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        }
        return true;
    }
    return false;
}

void PluginTest::StoreValue(const std::string& printer, const Bytes& data, uint32_t type) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (uint8_t b : data) {
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    winsim::control::Change([&](web::json::value& machine) {
        for (auto& p : machine["spooler"]["printers"].as_array()) {
            if (p.at("name").as_string() != printer) continue;
            web::json::value value = web::json::value::object();
            value["type"] = web::json::value::number(static_cast<int64_t>(type));
            value["data"] = web::json::value::string(hex);
            p["data"][kValueName] = value;
        }
    });
}

int PluginTest::PendingFaults(const std::string& function) {
    web::json::value machine = winsim::control::Read();
    if (!machine.has_field("faults")) return 0;
    int pending = 0;
    for (const auto& f : machine.at("faults").as_array()) {
        if (f.at("function").as_string() == function) pending += static_cast<int>(f.at("count").as_integer());
    }
    return pending;
}

IPrintOemUI2* PluginTest::NewPlugin() {
    IPrintOemUI2* plugin = nullptr;
    HRESULT hr = host->CreatePlugin(CLSID_OEMUI, &plugin);
    EXPECT_EQ(hr, S_OK);
    return plugin;
}

}  // namespace uiplugin_test
