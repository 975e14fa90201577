// The "Printer Config" page for the other models and languages, and the commits that go wrong. Source of
// truth: the page's template 106 in its three languages, the record's layout (offsets below), the printer
// command bytes (ESC 01 n media type, each the whole data of one RAW job "WriteCmd") and PSM_CHANGED.
//
// The model id comes from the printer's driver name through the model table, which knows only models 46
// and 47; the rules for models 27/28 and 30..35 are therefore reached by running the page in-process on a
// record of our own, with the plug-in's loaded module giving its templates and strings.
#include <commctrl.h>
#include <property_sheet.h>

#include <cstring>

#include "DocLayoutPage.h"
#include "Module.h"
#include "PrinterSettings.h"
#include "QVDrvUI.h"
#include "SheetContext.h"
#include "SheetTest.h"

namespace uiplugin_test {
namespace {

using Json = winsim::control::Json;

// Record offsets.
constexpr size_t kModelId = 0, kMediaType = 12, kSpeed = 36, kDensity = 40, kCutter = 92, kGapCutType = 104;
constexpr size_t kFadeLines = 88, kAlignMode = 112, kPaperCutMode = 113;

constexpr int kSpeedCombo = 1028, kDensityCombo = 1030, kMediaCombo = 1093, kGapCutCombo = 1108,
              kPrintMethodCombo = 1116, kAlignCombo = 1120, kPaperCutCombo = 1126, kCmdTypeCombo = 1101,
              kCmdTypeLabel = 1102, kFadeLinesCombo = 1103, kFadeLinesLabel = 1104, kOffsetXEdit = 1020,
              kOffsetXSpin = 1002, kOffsetYEdit = 1022, kOffsetYSpin = 1007, kPaperLocationEdit = 1138,
              kPaperLocationSpin = 1139, kAutoDotted = 1095, kPauseKey = 1099, kWatermark = 1097,
              kCutterBox = 1105, kMirrorBox = 1012, kChineseOnlyLabel = 1141;

// The controls that follow the command language: all but Fade Lines are usable with TSPL.
constexpr int kByCmdType[] = {kMediaCombo, kDensityCombo, kSpeedCombo, kOffsetXEdit, kOffsetXSpin, kOffsetYEdit, kOffsetYSpin};

std::vector<Bytes> Commands() {
    std::vector<Bytes> commands;
    Json machine = winsim::control::Read();
    if (!machine.at("spooler").has_field("jobs")) return commands;
    for (const Json& job : machine.at("spooler").at("jobs").as_array()) {
        if (job.at("name").as_string() != "WriteCmd") continue;
        std::string hex = job.at("data").as_string();
        Bytes bytes;
        for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        commands.push_back(bytes);
    }
    return commands;
}

// Window queries shared by both ways of opening the page.
struct PageView {
    HWND page;
    HWND Item(int id) const { return GetDlgItem(page, id); }
    int Selection(int combo) const { return static_cast<int>(SendMessageW(Item(combo), CB_GETCURSEL, 0, 0)); }
    int Count(int combo) const { return static_cast<int>(SendMessageW(Item(combo), CB_GETCOUNT, 0, 0)); }
    bool Checked(int id) const { return SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    bool Visible(int id) const { return (GetWindowLongPtrW(Item(id), GWL_STYLE) & WS_VISIBLE) != 0; }
    bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }
    std::wstring Text(int id) const {
        WCHAR text[256] = {};
        GetWindowTextW(id ? Item(id) : page, text, 256);
        return text;
    }
};

// ---------------------------------------------------------------------------------------------------
// Through the plug-in as the print system opens it.

class DocLayoutThroughSheetTest : public SheetTest {
protected:
    // The document sheet on the printer settings page of a printer, its record stored first.
    PageView Open(const std::string& name, HANDLE handle, const Bytes& record) {
        StoreValue(name, record);
        EXPECT_EQ(host->NewDevMode(plugin, handle, 760, 1300, &devMode), S_OK);
        sheet.reset();
        sheet = std::make_unique<CompstuiHost>(plugin, SheetKind::Document, host->Module(), handle,
                                               std::wstring(name.begin(), name.end()), devMode.get());
        EXPECT_EQ(sheet->Open(0), S_OK);
        return PageView{sheet->Sheet().PageWindow(0)};
    }
    PageView Open(const Bytes& record = Model46Defaults()) { return Open(kPrinter, printer, record); }
    PropertySheet& Sheet() { return sheet->Sheet(); }
    static Bytes Stored(const std::string& name = kPrinter) {
        Bytes data;
        EXPECT_TRUE(StoredValue(name, &data)) << name;
        return data;
    }
    Bytes DevModeBody() { return Bytes(devMode->Oem() + 12, devMode->Oem() + 12 + 128); }

    std::unique_ptr<DevModeBuffer> devMode;
};

TEST_F(DocLayoutThroughSheetTest, TheDriverDecidesTheModelDependentControls) {
    struct Case {
        const char* printerName;
        const char* driver;
        uint32_t modelId;
        bool cutter;
    };
    const Case cases[] = {
        {"Brisora-40", "Brisora-40", 46, true},
        {"Brisora-40P", "Brisora-40P", 47, true},
        {"Generic-58", "Generic / Text Only", 0, false},  // a driver the model table does not know
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.printerName);
        HANDLE handle = printer;
        if (std::string(c.printerName) != kPrinter) {
            AddPrinter(c.printerName, c.driver);
            handle = PluginTest::Open(c.printerName, PRINTER_ALL_ACCESS);
            ASSERT_NE(handle, nullptr);
        }
        Bytes record = Model46Defaults();  // cmdType 1 (ESC/POS): greys nothing out where CMD Type is hidden
        PutU32(record, kSpeed, 3);
        PutU32(record, kDensity, 15);
        PutU32(record, kCutter, 1);
        PageView v = Open(c.printerName, handle, record);
        ASSERT_NE(v.page, nullptr);

        EXPECT_EQ(GetU32(Stored(c.printerName).data(), kModelId), c.modelId) << "the record follows the driver";
        EXPECT_EQ(v.Visible(kCutterBox), c.cutter);
        EXPECT_EQ(v.Checked(kCutterBox), c.cutter);
        for (int hidden : {kAutoDotted, kPauseKey, kWatermark, kCmdTypeCombo, kCmdTypeLabel, kFadeLinesCombo, kFadeLinesLabel}) {
            EXPECT_FALSE(v.Visible(hidden)) << hidden;
        }
        EXPECT_EQ(v.Count(kSpeedCombo), 8);
        EXPECT_EQ(v.Selection(kSpeedCombo), 2);
        EXPECT_EQ(v.Text(kSpeedCombo), L"3");
        EXPECT_EQ(v.Count(kDensityCombo), 15);
        EXPECT_EQ(v.Selection(kDensityCombo), 14);
        for (int enabled : kByCmdType) EXPECT_TRUE(v.Enabled(enabled)) << enabled;
        EXPECT_TRUE(Sheet().Changes().empty());
    }
}

TEST_F(DocLayoutThroughSheetTest, MediaTypeAtOpenDecidesGapCutAndPaperLocation) {
    struct Case {
        uint32_t mediaType;
        const wchar_t* shown;
        bool gapCut;
        bool paperLocation;
    };
    const Case cases[] = {
        {0, L"Continuous", false, false},
        {1, L"Label With Gaps", true, false},
        {2, L"Label With Marks", false, true},
        {3, L"", false, false},  // outside the list: nothing selected, nothing corrected
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mediaType);
        Bytes record = Model46Defaults();
        PutU32(record, kMediaType, c.mediaType);
        PageView v = Open(record);
        EXPECT_EQ(v.Text(kMediaCombo), c.shown);
        EXPECT_EQ(v.Enabled(kGapCutCombo), c.gapCut);
        EXPECT_EQ(v.Enabled(kPaperLocationEdit), c.paperLocation);
        EXPECT_EQ(v.Enabled(kPaperLocationSpin), c.paperLocation);
        EXPECT_EQ(GetU32(Stored().data(), kMediaType), c.mediaType);
    }
}

// A combo without a selection answers CB_ERR; its handler takes that like any index, but what no entry of
// the list holds is not stored: the model's default is.
TEST_F(DocLayoutThroughSheetTest, ANotificationWithoutASelectionStoresTheDefaultNotCbErr) {
    struct Case {
        int combo;
        size_t offset;
        size_t width;
        uint32_t stored;
        uint32_t before;  // not the default, so the notification changes the record
    };
    const Case cases[] = {
        {kSpeedCombo, kSpeed, 4, 5, 2},
        {kDensityCombo, kDensity, 4, 8, 3},
        {kAlignCombo, kAlignMode, 1, 0, 2},
        {kPaperCutCombo, kPaperCutMode, 1, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.combo);
        Bytes record = Model46Defaults();
        if (c.width == 1) record[c.offset] = static_cast<uint8_t>(c.before);
        else PutU32(record, c.offset, c.before);
        PageView v = Open(record);
        SendMessageW(v.Item(c.combo), CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        SendMessageW(v.page, WM_COMMAND, MAKEWPARAM(c.combo, CBN_SELCHANGE), reinterpret_cast<LPARAM>(v.Item(c.combo)));
        EXPECT_EQ(Sheet().Changes().size(), 1u);
        Sheet().PressApply();
        Bytes data = Stored();
        uint32_t value = c.width == 1 ? data[c.offset] : GetU32(data.data(), c.offset);
        EXPECT_EQ(value, c.stored);
        EXPECT_TRUE(Commands().empty());
    }
}

// A media type that is none of the three is neither sent nor stored: the stored choice stays.
TEST_F(DocLayoutThroughSheetTest, AMediaTypeOutsideTheListIsNeitherSentNorStored) {
    struct Case {
        int index;
        uint32_t stored;
    };
    const Case cases[] = {{-1, 1}, {5, 1}};
    Bytes record = Model46Defaults();
    PutU32(record, kMediaType, 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        size_t before = Commands().size();
        PageView v = Open(record);
        HWND combo = v.Item(kMediaCombo);
        // A longer list than the page's own, so that an index past the three media types can be chosen.
        for (const wchar_t* extra : {L"x3", L"x4", L"x5"}) {
            SendMessageW(combo, CB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(extra));
        }
        if (c.index < 0) {
            SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
            SendMessageW(v.page, WM_COMMAND, MAKEWPARAM(kMediaCombo, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
        } else {
            ASSERT_TRUE(Sheet().Select(kMediaCombo, c.index));
        }
        EXPECT_FALSE(v.Enabled(kGapCutCombo));
        EXPECT_FALSE(v.Enabled(kPaperLocationEdit));
        Sheet().PressApply();
        EXPECT_EQ(Commands().size(), before);
        EXPECT_EQ(GetU32(Stored().data(), kMediaType), c.stored);
    }
}

TEST_F(DocLayoutThroughSheetTest, AFailedRecordWriteLeavesTheDevModeAsItWas) {
    Open();
    ASSERT_TRUE(Sheet().Select(kMediaCombo, 1));
    ASSERT_TRUE(Sheet().Click(kMirrorBox));
    Bytes devModeBefore = DevModeBody();
    Bytes storedBefore = Stored();
    winsim::control::InjectFault("SetPrinterDataW", ERROR_ACCESS_DENIED, 1);
    Sheet().PressApply();
    EXPECT_EQ(PendingFaults("SetPrinterDataW"), 0) << "the write was tried";
    EXPECT_EQ(Commands(), (std::vector<Bytes>{{0x1B, 0x01, 0x01}})) << "a command sent stays sent";
    EXPECT_EQ(DevModeBody(), devModeBefore);
    EXPECT_EQ(Stored(), storedBefore);

    // The record in memory kept the media type: the next commit writes it without a second command.
    Sheet().PressOK();
    EXPECT_EQ(Commands().size(), 1u);
    Bytes data = Stored();
    EXPECT_EQ(GetU32(data.data(), kMediaType), 1u);
    EXPECT_EQ(GetU32(data.data(), kGapCutType), 0u);
    EXPECT_EQ(DevModeBody(), data);
}

TEST_F(DocLayoutThroughSheetTest, TheUiLanguagePicksTemplateAndListTexts) {
    struct Case {
        int language;
        const wchar_t* caption;
        const wchar_t* media;
        const wchar_t* gapCut;
        const wchar_t* printMethod;
        const wchar_t* align;
        const wchar_t* paperCut;
        bool chineseOnlyLabel;
    };
    const Case cases[] = {
        {1041, L"プリンタ構成", L"ラベル用紙", L"部単位でカット", L"エコモード", L"右揃え", L"用紙下部節約", false},
        {2052, L"打印机配置", L"缝标纸", L"末尾切纸", L"节能模式", L"居右", L"尾部省纸", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.language);
        winsim::control::Change([&](Json& m) { m["system"]["uiLanguage"] = Json::number(c.language); });
        Bytes record = Model46Defaults();
        PutU32(record, kMediaType, 1);
        PutU32(record, kGapCutType, 1);
        PutU32(record, 108, 1);  // print method
        record[kAlignMode] = 2;
        record[kPaperCutMode] = 2;
        PageView v = Open(record);
        ASSERT_NE(v.page, nullptr);
        EXPECT_EQ(v.Text(0), c.caption);
        EXPECT_EQ(v.Text(kMediaCombo), c.media);
        EXPECT_EQ(v.Text(kGapCutCombo), c.gapCut);
        EXPECT_EQ(v.Text(kPrintMethodCombo), c.printMethod);
        EXPECT_EQ(v.Text(kAlignCombo), c.align);
        EXPECT_EQ(v.Text(kPaperCutCombo), c.paperCut);
        EXPECT_EQ(v.Item(kChineseOnlyLabel) != nullptr, c.chineseOnlyLabel);
    }
}

// ---------------------------------------------------------------------------------------------------
// In-process, on a record whose model id no driver of this build gives.

class DocLayoutInProcessTest : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        if (HasFatalFailure()) return;
        ghModule = host->Module();
        std::memset(&part, 0, sizeof part);
        context = SheetContext{printer, &part, nullptr, &record, true, nullptr, nullptr};
    }
    void TearDown() override {
        sheet.reset();
        page.reset();
        ghModule = nullptr;
        PluginTest::TearDown();
    }

    // A fresh page in a fresh sheet; the previous ones go first.
    PageView Show(const Bytes& bytes) {
        sheet.reset();
        page = std::make_unique<CDocLayoutPage>();
        sheet = std::make_unique<PropertySheet>();
        std::memcpy(&record, bytes.data(), sizeof record);
        page->SetOwner(&controller);
        page->SetContext(&context);
        PROPSHEETPAGEW psp{};
        psp.dwSize = sizeof psp;
        psp.hInstance = host->Module();
        psp.pszTemplate = MAKEINTRESOURCEW(IDD_DOC_LAYOUT);
        psp.pfnDlgProc = PageDlgProc;
        psp.lParam = static_cast<LPARAM>(page->Ticket());
        EXPECT_NE(sheet->AddPage(psp), nullptr);
        EXPECT_TRUE(sheet->Show());
        return PageView{sheet->PageWindow(0)};
    }

    QVPrinterSettings record{};
    QVOemDevMode part{};
    SheetContext context{};
    QVSheet controller;  // the sheet the pages name as their owner
    std::unique_ptr<CDocLayoutPage> page;  // outlives its window, as the controller's pages do
    std::unique_ptr<PropertySheet> sheet;
};

TEST_F(DocLayoutInProcessTest, ModelRulesShowTheirControlsAndCmdTypeDecidesWhatIsUsable) {
    enum class ByCmd { Untouched, Tspl, EscPos };
    struct Case {
        int32_t modelId;
        int32_t cmdType;
        bool keyOptions;
        bool cmd;
        bool cutter;
        ByCmd enables;
        const wchar_t* cmdText;
    };
    const Case cases[] = {
        {27, 1, true, false, false, ByCmd::Untouched, L""},
        {28, 0, true, false, false, ByCmd::Untouched, L""},
        {29, 1, false, false, false, ByCmd::Untouched, L""},
        {30, 1, false, true, false, ByCmd::EscPos, L"ESC/POS"},
        {33, 0, false, true, false, ByCmd::Tspl, L"TSPL"},
        {35, 2, false, true, false, ByCmd::Untouched, L""},
        {36, 1, false, false, false, ByCmd::Untouched, L""},
        {44, 1, false, false, true, ByCmd::Untouched, L""},
        {47, 0, false, false, true, ByCmd::Untouched, L""},
        {48, 1, false, false, false, ByCmd::Untouched, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.modelId);
        SCOPED_TRACE(c.cmdType);
        Bytes bytes = Model46Defaults();
        PutU32(bytes, kModelId, static_cast<uint32_t>(c.modelId));
        PutU32(bytes, 84, static_cast<uint32_t>(c.cmdType));
        PutU32(bytes, 72, 1);  // autoDotted
        PutU32(bytes, 76, 0);  // pauseKey
        PutU32(bytes, 80, 2);  // watermark: only 1 checks
        PutU32(bytes, 88, 3);  // fadeLines
        PageView v = Show(bytes);
        ASSERT_NE(v.page, nullptr);

        for (int id : {kAutoDotted, kPauseKey, kWatermark}) EXPECT_EQ(v.Visible(id), c.keyOptions) << id;
        EXPECT_EQ(v.Checked(kAutoDotted), c.keyOptions);
        EXPECT_FALSE(v.Checked(kPauseKey));
        EXPECT_FALSE(v.Checked(kWatermark));
        for (int id : {kCmdTypeCombo, kCmdTypeLabel, kFadeLinesCombo, kFadeLinesLabel}) EXPECT_EQ(v.Visible(id), c.cmd) << id;
        EXPECT_EQ(v.Visible(kCutterBox), c.cutter);
        if (c.cmd) {
            EXPECT_EQ(v.Count(kCmdTypeCombo), 2);
            EXPECT_EQ(v.Text(kCmdTypeCombo), c.cmdText);
            EXPECT_EQ(v.Count(kFadeLinesCombo), 9);  // 0..8 without a capability row
            EXPECT_EQ(v.Text(kFadeLinesCombo), L"3");
        }
        bool usable = c.enables != ByCmd::EscPos;
        for (int id : kByCmdType) EXPECT_EQ(v.Enabled(id), usable) << id;
        EXPECT_EQ(v.Enabled(kFadeLinesCombo), c.enables != ByCmd::Tspl);
        // The media rules are not the command language's business.
        EXPECT_FALSE(v.Enabled(kGapCutCombo));
        EXPECT_FALSE(v.Enabled(kPaperLocationEdit));
        EXPECT_TRUE(sheet->Changes().empty());
        EXPECT_EQ(std::memcmp(&record, bytes.data(), sizeof record), 0) << "opening changes nothing";
    }
}

TEST_F(DocLayoutInProcessTest, CmdTypeAndFadeLinesChoicesAreStoredAtOnce) {
    Bytes bytes = Model46Defaults();
    PutU32(bytes, kModelId, 31);
    PutU32(bytes, 84, 0);
    PageView v = Show(bytes);
    ASSERT_NE(v.page, nullptr);
    ASSERT_TRUE(sheet->Select(kCmdTypeCombo, 1));
    EXPECT_EQ(record.cmdType, 1);
    for (int id : kByCmdType) EXPECT_FALSE(v.Enabled(id)) << id;
    EXPECT_TRUE(v.Enabled(kFadeLinesCombo));
    ASSERT_TRUE(sheet->Select(kFadeLinesCombo, 3));
    EXPECT_EQ(record.fadeLines, 3);
    ASSERT_TRUE(sheet->Select(kCmdTypeCombo, 0));
    EXPECT_EQ(record.cmdType, 0);
    for (int id : kByCmdType) EXPECT_TRUE(v.Enabled(id)) << id;
    EXPECT_FALSE(v.Enabled(kFadeLinesCombo));
    EXPECT_EQ(sheet->Changes().size(), 3u);
    ASSERT_TRUE(sheet->Select(kCmdTypeCombo, 0));  // the entry already shown
    EXPECT_EQ(sheet->Changes().size(), 3u);
}

// The page object is called directly: this fixture's controller has no settings page of its own.
TEST_F(DocLayoutInProcessTest, AnAppliedFadeLinesChoiceIsSelectedAgainWhenReopened) {
    Bytes bytes = Model46Defaults();
    PutU32(bytes, kModelId, 31);
    ASSERT_NE(Show(bytes).page, nullptr);
    ASSERT_TRUE(sheet->Select(kFadeLinesCombo, 3));
    ASSERT_EQ(page->Apply(), 1);
    Bytes stored;
    ASSERT_TRUE(StoredValue(kPrinter, &stored));
    EXPECT_EQ(GetU32(stored.data(), kFadeLines), 3u);

    PageView again = Show(stored);
    ASSERT_NE(again.page, nullptr);
    EXPECT_EQ(again.Selection(kFadeLinesCombo), 3);
    EXPECT_EQ(again.Text(kFadeLinesCombo), L"3");
    EXPECT_TRUE(sheet->Changes().empty());
}

// Model-dependent fields holding what no control can: the model's shown controls bring theirs into range
// at Apply (check boxes unchecked as shown, lists their default); a field the model shows no control for
// is not the page's to change.
TEST_F(DocLayoutInProcessTest, ApplyKeepsEachShownModelFieldWithinItsControl) {
    struct Case {
        int32_t modelId;
        int32_t autoDotted, pauseKey, watermark, cmdType, fadeLines, cutter, speed, density;
    };
    const Case cases[] = {
        // key options shown; CMD type, fade lines and cutter hidden
        {27, 0, 0, 0, 9, 50, 5, 5, 8},
        // CMD type and fade lines shown, without a capability row: defaults TSPL and 0
        {31, 2, 7, -1, 0, 0, 5, 5, 8},
        // no model: only the fallback lists, speed 1..8 and density 1..15
        {0, 2, 7, -1, 9, 50, 5, 5, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.modelId);
        Bytes bytes = Model46Defaults();
        PutU32(bytes, kModelId, static_cast<uint32_t>(c.modelId));
        PutU32(bytes, 72, 2);    // autoDotted
        PutU32(bytes, 76, 7);    // pauseKey
        PutU32(bytes, 80, 0xFFFFFFFFu);  // watermark
        PutU32(bytes, 84, 9);    // cmdType
        PutU32(bytes, kFadeLines, 50);
        PutU32(bytes, kCutter, 5);
        PutU32(bytes, kSpeed, 0);
        PutU32(bytes, kDensity, 16);
        ASSERT_NE(Show(bytes).page, nullptr);
        ASSERT_EQ(page->Apply(), 1);
        EXPECT_EQ(record.autoDotted, c.autoDotted);
        EXPECT_EQ(record.pauseKey, c.pauseKey);
        EXPECT_EQ(record.watermark, c.watermark);
        EXPECT_EQ(record.cmdType, c.cmdType);
        EXPECT_EQ(record.fadeLines, c.fadeLines);
        EXPECT_EQ(record.cutter, c.cutter);
        EXPECT_EQ(record.speed, c.speed);
        EXPECT_EQ(record.density, c.density);
        Bytes stored;
        ASSERT_TRUE(StoredValue(kPrinter, &stored));
        EXPECT_EQ(std::memcmp(stored.data(), &record, sizeof record), 0);
        EXPECT_TRUE(Commands().empty());
    }
}

}  // namespace
}  // namespace uiplugin_test
