// Certificate trust through certutil: the command texts, what certutil does to the TrustedPublisher
// store, and what the installer notices of it (only whether cmd could be started).
#include "InstallerTest.h"

#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using installertest::Json;
using installertest::Win32Path;
using winsim::control::Change;
using winsim::control::InjectFault;

const char kSerial[] = "7c31e9a04b58d26f0e1a93b5";
const char kAddPrefix[] = "/c certutil -f -addstore \"TrustedPublisher\" \"";

class CertificateTest : public installertest::InstallerTest {
protected:
    void TearDown() override {
        gszCertPath[0] = L'\0';
        InstallerTest::TearDown();
    }

    // The package's certificate copied into a folder of the test's; answers its Win32 path.
    std::string CopyCertificate(const std::string& folder) {
        std::string dir = Dir() + "/" + folder;
        ::mkdir(dir.c_str(), 0755);
        std::string path = dir + "/ZLCertificate.cer";
        std::string bytes = testsupport::ReadFile(testsupport::PackagePath("ZLCertificate.cer"));
        std::FILE* f = std::fopen(path.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (f) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        return Win32Path(path);
    }
    static void UseCertPath(const std::string& win32) {
        wcscpy_s(gszCertPath, kPathChars, std::wstring(win32.begin(), win32.end()).c_str());
    }
    static Json Commands() { return winsim::control::Read().at("shell").at("commands"); }
    static std::vector<std::string> Trusted() {
        std::vector<std::string> out;
        const Json certificates = winsim::control::Read().at("certificates");
        for (const Json& c : certificates.as_array()) {
            out.push_back(c.at("store").as_string() + " " + c.at("serial").as_string());
        }
        return out;
    }
    std::vector<std::string> Log() const {
        std::vector<std::string> out;
        for (const testsupport::LogEntry& e : Entries()) out.push_back(e.level + " " + e.message);
        return out;
    }
};

TEST_F(CertificateTest, FolderWithBlanksReachesCertutilAsOneArgument) {
    const std::string path = CopyCertificate("Zelvanta Drivers");
    ASSERT_NE(path.find(' '), std::string::npos);
    UseCertPath(path);

    EXPECT_EQ(InstallCertificate(), 1);
    Json commands = Commands();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands.at(0).at("verb").as_string(), "open");
    EXPECT_EQ(commands.at(0).at("file").as_string(), "cmd");
    EXPECT_EQ(commands.at(0).at("directory").as_string(), "");
    EXPECT_EQ(commands.at(0).at("show").as_integer(), SW_HIDE);
    EXPECT_EQ(commands.at(0).at("parameters").as_string(), kAddPrefix + path + "\"");
    EXPECT_EQ(Trusted(), (std::vector<std::string>{std::string("TrustedPublisher ") + kSerial}));
    EXPECT_TRUE(Log().empty());

    // The removal takes it away again by its serial.
    EXPECT_EQ(UninstallCertificate(), 1);
    commands = Commands();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands.at(1).at("parameters").as_string(),
              std::string("/c certutil -delstore \"TrustedPublisher\" ") + kSerial);
    EXPECT_TRUE(Trusted().empty());
}

TEST_F(CertificateTest, MissingCertificateIsNotNoticed) {
    const std::string path = Win32Path(Dir() + "/ZLCertificate.cer");
    UseCertPath(path);
    EXPECT_EQ(InstallCertificate(), 1);
    Json commands = Commands();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands.at(0).at("parameters").as_string(), kAddPrefix + path + "\"");
    EXPECT_FALSE(commands.at(0).at("succeeded").as_bool());
    EXPECT_TRUE(Trusted().empty());
    EXPECT_TRUE(Log().empty());
}

TEST_F(CertificateTest, PathLongerThanTheParameterBufferIsNeverRunCut) {
    // 46 characters of command around the path and a terminator leave 209 for the path.
    const std::string base = Win32Path(Dir()) + "\\";
    const std::string name = "\\ZLCertificate.cer";
    for (size_t length : {209u, 210u, 260u}) {
        SCOPED_TRACE(length);
        Restart();
        const std::string path = base + std::string(length - base.size() - name.size(), 'd') + name;
        ASSERT_EQ(path.size(), length);
        UseCertPath(path);
        const bool fits = length <= 209;
        EXPECT_EQ(InstallCertificate(), fits ? 1 : 0);
        Json commands = Commands();
        ASSERT_EQ(commands.size(), fits ? 1u : 0u);
        if (fits) {
            EXPECT_EQ(commands.at(0).at("parameters").as_string(), kAddPrefix + path + "\"");
            EXPECT_TRUE(Log().empty());
        } else {
            EXPECT_EQ(Log(), (std::vector<std::string>{"error InstallCertificate: Fail hIns=0"}));
        }
    }
}

TEST_F(CertificateTest, CommandProcessorThatCannotStartIsLoggedWithItsValue) {
    UseCertPath(Win32Path(testsupport::PackagePath("ZLCertificate.cer")));
    for (uint32_t error : {2u, 31u}) {
        SCOPED_TRACE(error);
        Restart();
        InjectFault("ShellExecuteW", error);
        EXPECT_EQ(InstallCertificate(), 0);
        EXPECT_EQ(Log(), (std::vector<std::string>{"error InstallCertificate: Fail hIns=" + std::to_string(error)}));
        EXPECT_EQ(Commands().size(), 0u);
        EXPECT_TRUE(Trusted().empty());
    }
}

}  // namespace
