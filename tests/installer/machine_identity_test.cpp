// The machine's identity: MachineGuid from the 64-bit registry view, through the "chs" conversions,
// with the runtime's locale put back afterwards.
#include "InstallerTest.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

using installertest::Json;
using winsim::control::Change;

const char kKey[] = "SOFTWARE\\Microsoft\\Cryptography";
const char kWowKey[] = "SOFTWARE\\WOW6432Node\\Microsoft\\Cryptography";
const char kEmptyLine[] = "error InitMachineId:machineId is empty";

Json Value(DWORD type, const Json& data, bool terminated = true) {
    Json v = Json::object();
    v["type"] = Json::number(static_cast<int64_t>(type));
    v["data"] = data;
    if (!terminated) v["noTerminator"] = Json::boolean(true);
    return v;
}

// Any bytes under any type, an odd count too.
Json Bytes(DWORD type, const std::string& hex) {
    Json v = Value(type, Json::null());
    v["bytes"] = Json::string(hex);
    return v;
}

// The text's characters as the registry stores them (WCHAR-sized, little-endian), without terminator.
std::string WideHex(const std::wstring& text) {
    std::string hex;
    char byte[3];
    for (wchar_t c : text) {
        for (size_t i = 0; i < sizeof(WCHAR); ++i) {
            std::snprintf(byte, sizeof byte, "%02x", static_cast<unsigned>((static_cast<uint32_t>(c) >> (8 * i)) & 0xFF));
            hex += byte;
        }
    }
    return hex;
}

class MachineIdentityTest : public installertest::InstallerTest {
protected:
    void SetUp() override {
        InstallerTest::SetUp();
        setlocale(LC_ALL, "C");
    }
    void TearDown() override {
        setlocale(LC_ALL, "C");
        InstallerTest::TearDown();
    }

    static void SetValue(const char* key, const char* name, const Json& value) {
        Change([&](Json& m) {
            Json values = Json::object();
            values[name] = value;
            m["registry"]["HKEY_LOCAL_MACHINE"][key] = values;
        });
    }
    static void SetGuid(const Json& value) { SetValue(kKey, "MachineGuid", value); }

    std::vector<std::string> Log() const {
        std::vector<std::string> out;
        for (const testsupport::LogEntry& e : Entries()) out.push_back(e.level + " " + e.message);
        return out;
    }
    void ClearLog() {
        ResetState();
        std::remove(LogPath().c_str());
    }
};

TEST_F(MachineIdentityTest, GuidComesFromThe64BitViewUnchanged) {
    Change([](Json& m) { m["system"]["wow64"] = Json::boolean(true); });
    SetGuid(Value(REG_SZ, Json::string("5f0c7d2e-93a1-4b6e-8f2d-1c4a9e7b3d60")));
    SetValue(kWowKey, "MachineGuid", Value(REG_SZ, Json::string("00000000-1111-2222-3333-444444444444")));
    // The 32-bit view really is another value here, so the 64-bit request is what makes the difference.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", 0, KEY_QUERY_VALUE, &key),
              ERROR_SUCCESS);
    WCHAR redirected[64] = {0};
    DWORD bytes = sizeof redirected;
    EXPECT_EQ(RegQueryValueExW(key, L"MachineGuid", nullptr, nullptr, reinterpret_cast<LPBYTE>(redirected), &bytes),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_STREQ(redirected, L"00000000-1111-2222-3333-444444444444");

    wcscpy_s(machineId, kPathChars, L"stale");
    EXPECT_TRUE(InitMachineId());
    EXPECT_STREQ(machineId, L"5f0c7d2e-93a1-4b6e-8f2d-1c4a9e7b3d60");
    EXPECT_TRUE(Log().empty());

    // Only the 32-bit view holds one: none is read.
    Change([](Json& m) { m["registry"]["HKEY_LOCAL_MACHINE"].erase(kKey); });
    EXPECT_FALSE(InitMachineId());
    EXPECT_STREQ(machineId, L"");
    EXPECT_EQ(Log(), (std::vector<std::string>{kEmptyLine}));
}

TEST_F(MachineIdentityTest, ValuesThatAreNoReadableTextCountAsEmpty) {
    const struct {
        const char* name;
        Json value;  // null: the key holds no value of that name
    } cases[] = {
        {"REG_EXPAND_SZ", Value(REG_EXPAND_SZ, Json::string("5f0c7d2e-93a1-4b6e-8f2d-1c4a9e7b3d60"))},
        {"REG_MULTI_SZ", Value(REG_MULTI_SZ, Json::array({Json::string("5f0c7d2e-93a1-4b6e-8f2d-1c4a9e7b3d60")}))},
        {"REG_DWORD", Value(REG_DWORD, Json::number(7))},
        {"empty text", Value(REG_SZ, Json::string(""))},
        {"no bytes at all", Value(REG_SZ, Json::string(""), false)},
        {"one byte", Bytes(REG_SZ, "35")},
        {"Thai letter", Value(REG_SZ, Json::string("5f0c-\u0e01"))},
        {"printer emoji", Value(REG_SZ, Json::string("5f0c-\U0001F5A8"))},
        {"missing value", Json::null()},
        {"missing key", Json::object()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        if (c.value.is_null()) {
            SetValue(kKey, "OtherValue", Value(REG_SZ, Json::string("x")));
        } else if (c.value.size() == 0) {
            Change([](Json& m) { m["registry"]["HKEY_LOCAL_MACHINE"] = Json::object(); });
        } else {
            SetGuid(c.value);
        }
        wcscpy_s(machineId, kPathChars, L"stale");
        EXPECT_FALSE(InitMachineId());
        EXPECT_STREQ(machineId, L"");
        EXPECT_EQ(Log(), (std::vector<std::string>{kEmptyLine}));
    }
}

TEST_F(MachineIdentityTest, TextValuesArriveWholeOrCutToTheGlobal) {
    const struct {
        const char* name;
        Json value;
        std::wstring expected;
    } cases[] = {
        {"without terminator", Value(REG_SZ, Json::string("5f0c7d2e-93a1"), false), L"5f0c7d2e-93a1"},
        {"one character without terminator", Value(REG_SZ, Json::string("z"), false), L"z"},
        {"an odd byte after the text", Bytes(REG_SZ, WideHex(L"5f0c") + "41"), L"5f0c"},
        {"GB2312 characters", Value(REG_SZ, Json::string("\u673a\u5668\u6807\u8bc6-\u6d4b\u8bd5")),
         L"\u673a\u5668\u6807\u8bc6-\u6d4b\u8bd5"},
        {"exactly 260 characters", Value(REG_SZ, Json::string(std::string(260, 'g'))), std::wstring(260, L'g')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        SetGuid(c.value);
        EXPECT_TRUE(InitMachineId());
        EXPECT_EQ(std::wstring(machineId), c.expected);
        EXPECT_TRUE(Log().empty());
    }

    std::string longChinese;
    std::wstring longChineseWide;
    for (int i = 0; i < 150; ++i) {
        longChinese += "\u6d4b\u8bd5";
        longChineseWide += L"\u6d4b\u8bd5";
    }
    const std::pair<std::string, std::wstring> longValues[] = {
        {std::string(300, 'a') + "-end", std::wstring(300, L'a') + L"-end"}, {longChinese, longChineseWide}};
    for (const auto& [value, wide] : longValues) {
        SCOPED_TRACE(value.size());
        Restart();
        SetGuid(Value(REG_SZ, Json::string(value)));
        InitMachineId();
        // Cut or left empty, never written beyond the 261 characters.
        std::wstring stored(machineId, wcsnlen(machineId, kPathChars));
        ASSERT_LT(stored.size(), kPathChars);
        if (!stored.empty()) {
            EXPECT_EQ(stored, wide.substr(0, 260));
        }
    }
}

TEST_F(MachineIdentityTest, LocaleKeepsItsNameAcrossTheCall) {
    const struct {
        const char* set;
        const char* name;  // what the runtime calls it
        const char* guid;  // readable, or failing in the conversion
    } cases[] = {
        {"C", "C", "5f0c7d2e-93a1-4b6e-8f2d-1c4a9e7b3d60"},
        {"", "English_United States.1252", "5f0c7d2e-93a1-4b6e-8f2d-1c4a9e7b3d60"},
        {"", "English_United States.1252", "5f0c-\u0e01"},
        {"chs", "Chinese (Simplified)_China.936", "\u673a\u5668"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.guid);
        Restart();
        SetGuid(Value(REG_SZ, Json::string(c.guid)));
        ASSERT_NE(setlocale(LC_ALL, c.set), nullptr);
        ASSERT_STREQ(setlocale(LC_ALL, nullptr), c.name);
        InitMachineId();
        EXPECT_STREQ(setlocale(LC_ALL, nullptr), c.name);
    }
}

}  // namespace
