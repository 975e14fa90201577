// The install error box, in-process: Corvane's own string table is compiled into this test program, so
// the box loads its caption and hints from the same .rc file the installer ships with.
#include "InstallerTest.h"

#include <string>
#include <vector>

namespace {

using installertest::Json;
using winsim::control::Change;

struct Language {
    int id;
    const char* caption;
    const char* spooler;      // 111
    const char* certificate;  // 112
    const char* usbPort;      // 113
};

const Language kLanguages[] = {
    {1033, "Info", "Make sure the printer service Spooler is on? Then install it",
     "Click OK to trust the certificate to install it again",
     "Windows system is undergoing USB printing support installation, please install the driver later!"},
    {1041, "注意", "プリンタサービス「Spooler」が起動しているかを確認してからインストールしてください。",
     "証明書の信頼を有効にしてから再インストールしてください。",
     "USBプリントサービスをインストールしています。ドライバーのインストールをその後にしてください。"},
    {2052, "提示", "请确定打印机服务Spooler是否开启？再进行安装", "请点确定信任证书进行再次安装",
     "Windows系统正在进行USB打印支持安装，请稍后进行驱动安装！"},
};

void PrintTo(const Language& l, std::ostream* os) { *os << "language " << l.id; }

enum Hint { kNoHint, kSpooler, kCertificate, kUsbPort };

struct BoxCase {
    int code;
    DWORD error;
    const char* text;  // everything before the hint
    Hint hint;
};

const BoxCase kBoxes[] = {
    {-1003, 0x800F0243, "errCode:-1003,Erro:0x800f0243\nThe publisher of an Authenticode(tm) signed catalog was not established as trusted.",
     kCertificate},
    {-1003, 0x800F0242,
     "errCode:-1003,Erro:0x800f0242\nThe publisher of an Authenticode(tm) signed catalog has not yet been established as trusted.",
     kCertificate},
    {-1003, 0x800706BA, "errCode:-1003,Erro:0x800706ba\nThe RPC server is unavailable.", kSpooler},
    {-1003, 0x800706D9, "errCode:-1003,Erro:0x800706d9\nThere are no more endpoints available from the endpoint mapper.",
     kSpooler},
    {-1003, 0x800705B3, "errCode:-1003,Erro:0x800705b3\nThis operation requires an interactive window station.", kSpooler},
    // No system text for these: the COM error object's wording.
    {-1003, 0x80040201, "errCode:-1003,Erro:0x80040201\nIDispatch error #1", kNoHint},
    {-1003, 0x80040200, "errCode:-1003,Erro:0x80040200\nUnknown error 0x80040200", kNoHint},
    {-1003, 0x8004FFFF, "errCode:-1003,Erro:0x8004ffff\nIDispatch error #65023", kNoHint},
    {-1003, 0x80050000, "errCode:-1003,Erro:0x80050000\nUnknown error 0x80050000", kNoHint},
    {-1003, 0x00ABCDEF, "errCode:-1003,Erro:0x00abcdef\nUnknown error 0xABCDEF", kNoHint},
    {-1003, 0x80070005, "errCode:-1003,Erro:0x80070005\nAccess is denied.", kNoHint},
    // A Win32 error keeps the system text's own line break.
    {-1004, 1796, "errCode:-1004,Erro:0x00000704\nThe specified port is unknown.\r\n", kUsbPort},
    {-1004, 1802, "errCode:-1004,Erro:0x0000070a\nThe printer already exists.\r\n", kNoHint},
    {-1004, 0, "errCode:-1004,Erro:0x00000000\n", kNoHint},
    {-1004, 0x00012345, "errCode:-1004,Erro:0x00012345\n", kNoHint},
};

std::string WithHint(const BoxCase& c, const Language& l) {
    switch (c.hint) {
    case kSpooler: return std::string(c.text) + "\n" + l.spooler;
    case kCertificate: return std::string(c.text) + "\n" + l.certificate;
    case kUsbPort: return std::string(c.text) + "\n" + l.usbPort;
    default: return c.text;
    }
}

class ErrorBoxTest : public installertest::InstallerTest, public ::testing::WithParamInterface<Language> {
protected:
    void SetUp() override {
        InstallerTest::SetUp();
        ghInstance = GetModuleHandleW(nullptr);
        Change([](Json& m) { m["system"]["uiLanguage"] = Json::number(GetParam().id); });
    }
    void TearDown() override {
        gdwLastError = 0;
        ghInstance = nullptr;
        InstallerTest::TearDown();
    }
    static Json Boxes() { return winsim::control::Read().at("ui").at("messageBoxes"); }
};

TEST_P(ErrorBoxTest, FailuresWithAPlatformErrorShowTheErrorItsTextAndTheHint) {
    const Language& language = GetParam();
    for (const BoxCase& c : kBoxes) {
        SCOPED_TRACE(c.text);
        Restart();
        Change([](Json& m) { m["system"]["uiLanguage"] = Json::number(GetParam().id); });
        // The answer makes no difference; scripted so that no terminal is ever asked.
        winsim::control::ScriptAnswers({IDCANCEL});
        gdwLastError = c.error;
        ShowInstallError(c.code);
        EXPECT_EQ(gdwLastError, c.error);
        Json boxes = Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes.at(0).at("text").as_string(), WithHint(c, language));
        EXPECT_EQ(boxes.at(0).at("caption").as_string(), language.caption);
        EXPECT_EQ(boxes.at(0).at("flags").as_integer(), MB_OKCANCEL | MB_SYSTEMMODAL);
        EXPECT_EQ(boxes.at(0).at("owner").as_integer(), 0);
    }
    EXPECT_TRUE(Messages().empty()) << "the box logs nothing";
}

TEST_P(ErrorBoxTest, OtherResultsShowNoBox) {
    winsim::control::ScriptAnswers({IDOK});
    gdwLastError = ERROR_UNKNOWN_PORT;
    for (int code : {-1, -2, -12, -99, -1002, -1009, 0}) {
        SCOPED_TRACE(code);
        ShowInstallError(code);
    }
    EXPECT_EQ(Boxes().size(), 0u);
    EXPECT_EQ(winsim::control::Read().at("ui").at("answers").size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Languages, ErrorBoxTest, ::testing::ValuesIn(kLanguages),
                         [](const ::testing::TestParamInfo<Language>& info) {
                             return "Language" + std::to_string(info.param.id);
                         });

}  // namespace
