// The seven custom forms: added through the model's printer, deleted through the first printer of a
// model driver, the built-in forms never touched.
#include "InstallerTest.h"

#include <string>
#include <vector>

namespace {

using installertest::Json;
using winsim::control::Change;
using winsim::control::InjectFault;
using Lines = std::vector<std::string>;

struct ExpectedForm {
    const char* name;
    int64_t width, height;  // thousandths of a millimetre
};

const ExpectedForm kForms[] = {
    {"100mm x 100mm", 100000, 100000}, {"150mm x 150mm", 150000, 150000}, {"200mm x 200mm", 200000, 200000},
    {"Custom C5", 162000, 229000},     {"Custom IOS B5", 176000, 250000}, {"Custom Envolope", 110000, 230000},
    {"Custom PRC 16K", 188000, 260000},
};

class FormsTest : public installertest::InstallerTest {
protected:
    static void AddQueue(const std::string& name, const std::string& driver, const std::string& port) {
        Change([&](Json& m) {
            Json& p = m["spooler"]["printers"][m["spooler"]["printers"].size()];
            p["name"] = Json::string(name);
            p["driver"] = Json::string(driver);
            p["port"] = Json::string(port);
        });
    }
    // The user forms as an earlier install left them; keep[i] false: deleted by hand since.
    static void SeedForms(const std::vector<bool>& keep = std::vector<bool>(7, true)) {
        Change([&](Json& m) {
            Json& forms = m["spooler"]["forms"];
            for (size_t i = 0; i < 7; ++i) {
                if (!keep[i]) continue;
                Json& f = forms[forms.size()];
                f["name"] = Json::string(kForms[i].name);
                f["width"] = Json::number(kForms[i].width);
                f["height"] = Json::number(kForms[i].height);
                f["builtin"] = Json::boolean(false);
            }
        });
    }
    static Json Forms() { return winsim::control::Read().at("spooler").at("forms"); }
    static Lines FormNames() {
        Lines out;
        const Json forms = Forms();
        for (const Json& f : forms.as_array()) out.push_back(f.at("name").as_string());
        return out;
    }
    Lines Log() const {
        Lines out;
        for (const testsupport::LogEntry& e : Entries()) out.push_back(e.level + " " + e.message);
        return out;
    }
    static Lines RowLines(const char* prefix, const std::vector<int>& bRet) {
        Lines out;
        for (size_t i = 0; i < 7; ++i) {
            out.push_back(std::string("trace ") + prefix + ", bRet=" + std::to_string(bRet[i]) + ", formName=" + kForms[i].name);
        }
        return out;
    }
    static std::string Listed(const char* port, const char* printer, const char* driver) {
        return std::string("trace RemoveForms: delCustomPaper pPortName=") + port + ", pPrinterName=" + printer +
               ", pDriverName=" + driver;
    }
    void ClearLog() {
        ResetState();
        std::remove(LogPath().c_str());
    }

    CPrinterDeviceObject& device = CPrinterDeviceObject::GetInstance();
};

const std::vector<int> kAllAdded(7, 1);
const std::vector<int> kNoneAdded(7, 0);

TEST_F(FormsTest, InitFormsAddsTheSevenFormsInThousandthsOfAMillimetre) {
    AddQueue("Brisora-40", "Brisora-40", "USB001");
    const Lines builtin = FormNames();

    EXPECT_EQ(device.InitForms(L"Brisora-40"), TRUE);
    EXPECT_EQ(Log(), RowLines("InitForms:addCustomPaper", kAllAdded));
    const Json forms = Forms();
    ASSERT_EQ(forms.size(), builtin.size() + 7);
    for (size_t i = 0; i < 7; ++i) {
        const Json& f = forms.at(builtin.size() + i);
        SCOPED_TRACE(kForms[i].name);
        EXPECT_EQ(f.at("name").as_string(), kForms[i].name);
        EXPECT_EQ(f.at("width").as_number().to_int64(), kForms[i].width);
        EXPECT_EQ(f.at("height").as_number().to_int64(), kForms[i].height);
        // No margins: the imageable area is the whole form.
        EXPECT_EQ(f.at("left").as_number().to_int64(), 0);
        EXPECT_EQ(f.at("top").as_number().to_int64(), 0);
        EXPECT_EQ(f.at("right").as_number().to_int64(), kForms[i].width);
        EXPECT_EQ(f.at("bottom").as_number().to_int64(), kForms[i].height);
        EXPECT_FALSE(f.at("builtin").as_bool());
    }

    // A second install: every form exists already.
    ClearLog();
    EXPECT_EQ(device.InitForms(L"Brisora-40"), FALSE);
    EXPECT_EQ(Log(), RowLines("InitForms:addCustomPaper", kNoneAdded));
    EXPECT_EQ(Forms(), forms);
}

TEST_F(FormsTest, InitFormsTriesEveryRowAndAnswersTheLastOne) {
    AddQueue("Brisora-40", "Brisora-40", "USB001");
    const struct {
        int failingRow;
        BOOL result;
    } cases[] = {{3, TRUE}, {6, FALSE}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failingRow);
        ClearLog();
        Change([](Json& m) {
            Json kept = Json::array();
            for (const Json& f : m["spooler"]["forms"].as_array()) {
                if (f.at("builtin").as_bool()) kept[kept.size()] = f;
            }
            m["spooler"]["forms"] = kept;
        });
        InjectFault("AddFormW", ERROR_NOT_ENOUGH_MEMORY, 1, c.failingRow);
        EXPECT_EQ(device.InitForms(L"Brisora-40"), c.result);
        std::vector<int> bRet = kAllAdded;
        bRet[c.failingRow] = 0;
        EXPECT_EQ(Log(), RowLines("InitForms:addCustomPaper", bRet));
    }
}

TEST_F(FormsTest, InitFormsOnAPrinterThatCannotBeOpenedAddsNothing) {
    const Json before = Forms();
    EXPECT_EQ(device.InitForms(L"Brisora-40"), FALSE);
    EXPECT_EQ(Log(), (Lines{"error InitForms:OpenPrinter failed ! (GetLastError = 0x709)"}));
    EXPECT_EQ(Forms(), before);
}

TEST_F(FormsTest, RemoveFormsWithoutAReadablePrinterListAnswersMinus1001) {
    SeedForms();
    const Json before = Forms();
    {
        SCOPED_TRACE("no printer at all");
        EXPECT_EQ(device.RemoveForms(), -1001);
        EXPECT_TRUE(Log().empty());
    }
    AddQueue("Brisora-40", "Brisora-40", "USB001");
    {
        SCOPED_TRACE("no memory for the list");
        InjectFault("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY);
        EXPECT_EQ(device.RemoveForms(), -1001);
        EXPECT_TRUE(Log().empty());
    }
    {
        SCOPED_TRACE("the second call fails");
        InjectFault("EnumPrintersW", ERROR_INVALID_PARAMETER, 1, 1);
        EXPECT_EQ(device.RemoveForms(), -1001);
        EXPECT_EQ(Log(), (Lines{"warning RemoveForms: Failed to EnumPrinters 2"}));
    }
    EXPECT_EQ(Forms(), before);
}

TEST_F(FormsTest, RemoveFormsLogsEveryPrinterOfOtherDriversAndDeletesNothing) {
    SeedForms();
    AddQueue("Office", "Acme Laser", "LPT1:");
    AddQueue("Lower", "brisora-40", "USB003");  // the driver name is compared with its case
    AddQueue("Blank", "Brisora-40 ", "USB004");
    const Json before = Forms();

    EXPECT_EQ(device.RemoveForms(), 0);
    EXPECT_EQ(Log(), (Lines{Listed("LPT1:", "Office", "Acme Laser"), Listed("USB003", "Lower", "brisora-40"),
                            Listed("USB004", "Blank", "Brisora-40 ")}));
    EXPECT_EQ(Forms(), before);
}

TEST_F(FormsTest, RemoveFormsUsesOnlyTheFirstPrinterOfAModelDriver) {
    AddQueue("Office", "Acme Laser", "LPT1:");
    AddQueue("Lower", "brisora-40", "USB003");
    AddQueue("Second model", "Brisora-40P", "USB002");
    AddQueue("First model", "Brisora-40", "USB001");
    const Lines listed = {Listed("LPT1:", "Office", "Acme Laser"), Listed("USB003", "Lower", "brisora-40"),
                          Listed("USB002", "Second model", "Brisora-40P")};
    const Lines builtin = FormNames();
    {
        SCOPED_TRACE("the chosen printer cannot be opened: no other is tried");
        SeedForms();
        const Json before = Forms();
        InjectFault("OpenPrinterW", ERROR_ACCESS_DENIED);
        EXPECT_EQ(device.RemoveForms(), 0);
        Lines expected = listed;
        expected.push_back("error delCustomPaper:OpenPrinter failed ! (GetLastError = 0x5)");
        EXPECT_EQ(Log(), expected);
        EXPECT_EQ(Forms(), before);
    }
    {
        SCOPED_TRACE("the seven forms go once, the built-in ones stay");
        ClearLog();
        EXPECT_EQ(device.RemoveForms(), 0);
        Lines expected = listed;
        for (const std::string& line : RowLines("delCustomPaper:DeleteForm", kAllAdded)) expected.push_back(line);
        EXPECT_EQ(Log(), expected);
        EXPECT_EQ(FormNames(), builtin);
    }
}

TEST_F(FormsTest, RemoveFormsAfterSomeWereDeletedByHandLogsTheMissingOnes) {
    const Lines builtin = FormNames();
    SeedForms({true, false, true, false, false, true, true});
    AddQueue("Brisora-40", "Brisora-40", "USB001");

    EXPECT_EQ(device.RemoveForms(), 0);
    Lines expected = {Listed("USB001", "Brisora-40", "Brisora-40")};
    for (const std::string& line : RowLines("delCustomPaper:DeleteForm", {1, 0, 1, 0, 0, 1, 1})) expected.push_back(line);
    EXPECT_EQ(Log(), expected);
    EXPECT_EQ(FormNames(), builtin);
}

}  // namespace
