// The "Printer Config" page used as a user uses it, through the document sheet the printer-driver UI core
// opens: what it shows for the printer's record, what its controls change, and what its Apply sends to the
// printer and stores. Source of truth: the page's template 106, the record's layout (offsets below), the
// printer command bytes (ESC 01 n media type, ESC 04 n paper location offset, ESC 05 n print method, ESC
// ESC paper auto tune, each the whole data of one RAW job "WriteCmd") and PSM_CHANGED to the sheet.
#include <commctrl.h>
#include <common_ui_host.h>

#include <cstring>
#include <utility>

#include "SheetTest.h"
#include "VPage.h"

namespace uiplugin_test {
namespace {

using Json = winsim::control::Json;

// Record offsets.
constexpr size_t kMediaType = 12, kOffsetX = 28, kSpeed = 36, kRotation = 60, kMirror = 64, kCutter = 92;
constexpr size_t kGapCutType = 104, kPrintMethod = 108, kAlignMode = 112, kPaperLocation = 124;
constexpr size_t kOffsetY = 32, kDensity = 40, kInverse = 68, kPaperCutMode = 113, kHeadReserve = 116, kTailReserve = 120;
constexpr size_t kModelId = 0, kCmdType = 84, kImageScale = 96, kImageOffset = 127;

constexpr int
    kSpeedCombo = 1028, kDensityCombo = 1030, kMediaCombo = 1093, kGapCutCombo = 1108, kPrintMethodCombo = 1116,
    kAlignCombo = 1120, kPaperCutCombo = 1126, kCmdTypeCombo = 1101, kFadeLinesCombo = 1103,
    kOffsetXEdit = 1020, kOffsetXSpin = 1002, kOffsetYEdit = 1022, kOffsetYSpin = 1007, kHeadReserveEdit = 1005,
    kHeadReserveSpin = 1128, kTailReserveEdit = 1006, kTailReserveSpin = 1132, kPaperLocationEdit = 1138,
    kPaperLocationSpin = 1139,
    kRotate0 = 1008, kRotate90 = 1009, kMirrorBox = 1012, kCutterBox = 1105, kAutoTune = 1113;

class DocLayoutPageTest : public SheetTest {
protected:
    // The sheet opened on the printer settings page, after the core made the job DEVMODE from the record.
    HWND Open(const Bytes& record) {
        StoreValue(kPrinter, record);
        EXPECT_EQ(host->NewDevMode(plugin, printer, 760, 1300, &devMode), S_OK);
        CompstuiHost& h = NewSheet(SheetKind::Document, devMode.get());
        EXPECT_EQ(h.Open(0), S_OK);
        return h.Sheet().PageWindow(0);
    }
    HWND Open() { return Open(Model46Defaults()); }
    PropertySheet& Sheet() { return sheet->Sheet(); }
    HWND Item(int id) { return GetDlgItem(Sheet().PageWindow(0), id); }
    int Selection(int combo) { return static_cast<int>(SendMessageW(Item(combo), CB_GETCURSEL, 0, 0)); }
    bool Checked(int id) { return SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    bool Visible(int id) { return (GetWindowLongPtrW(Item(id), GWL_STYLE) & WS_VISIBLE) != 0; }
    bool Enabled(int id) { return IsWindowEnabled(Item(id)) != FALSE; }
    size_t Signals() { return Sheet().Changes().size(); }
    // The data of every job "WriteCmd" on the machine, in order.
    static std::vector<Bytes> Commands() {
        std::vector<Bytes> commands;
        Json machine = winsim::control::Read();
        if (!machine.at("spooler").has_field("jobs")) return commands;
        for (const Json& job : machine.at("spooler").at("jobs").as_array()) {
            if (job.at("name").as_string() != "WriteCmd") continue;
            EXPECT_EQ(job.at("datatype").as_string(), "RAW");
            std::string hex = job.at("data").as_string();
            Bytes bytes;
            for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
            commands.push_back(bytes);
        }
        return commands;
    }
    // The dialog manager's answer to Enter: OK, with the focus left where it is.
    void PressEnter() {
        SendMessageW(Sheet().Window(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(Sheet().Button(IDOK)));
    }
    static Bytes Stored() {
        Bytes data;
        EXPECT_TRUE(StoredValue(kPrinter, &data));
        return data;
    }
    static void SetWriteLimit(int limit) {
        winsim::control::Change([limit](Json& m) {
            for (auto& p : m["spooler"]["printers"].as_array()) {
                if (p.at("name").as_string() == kPrinter) p["writeLimit"] = Json::number(limit);
            }
        });
    }

    // The option items built on that DEVMODE, with an image scale chosen and applied.
    void ApplyImageScale(DevModeBuffer* on, LONG scale) {
        winsim::control::CommonUIHost items(plugin, host->Module(), printer, L"Brisora-40", on);
        ASSERT_EQ(items.Describe(OEMCUIP_DOCPROP), S_OK);
        items.Select(1, scale);
        EXPECT_EQ(items.Apply(), 0);
    }

    std::unique_ptr<DevModeBuffer> devMode;
};

TEST_F(DocLayoutPageTest, Model46DefaultsAreShownAsTheRecordHoldsThem) {
    HWND page = Open();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(Text(page), L"Printer Config");
    EXPECT_EQ(SendMessageW(Item(kSpeedCombo), CB_GETCOUNT, 0, 0), 8);
    EXPECT_EQ(Selection(kSpeedCombo), 4);
    EXPECT_EQ(Text(Item(kSpeedCombo)), L"5");
    EXPECT_EQ(SendMessageW(Item(kDensityCombo), CB_GETCOUNT, 0, 0), 15);
    EXPECT_EQ(Selection(kDensityCombo), 7);
    EXPECT_EQ(Text(Item(kMediaCombo)), L"Continuous");
    EXPECT_EQ(Text(Item(kGapCutCombo)), L"Cut On Page");
    EXPECT_FALSE(Enabled(kGapCutCombo));
    EXPECT_EQ(Text(Item(kPrintMethodCombo)), L"Default");
    EXPECT_EQ(Text(Item(kAlignCombo)), L"Center");
    EXPECT_EQ(Text(Item(kPaperCutCombo)), L"None");
    for (auto [edit, spin] : {std::pair{kOffsetXEdit, kOffsetXSpin}, std::pair{kOffsetYEdit, kOffsetYSpin},
                              std::pair{kHeadReserveEdit, kHeadReserveSpin},
                              std::pair{kTailReserveEdit, kTailReserveSpin}}) {
        EXPECT_EQ(Text(Item(edit)), L"0.0") << edit;
        EXPECT_EQ(SendMessageW(Item(spin), UDM_GETPOS32, 0, 0), 0) << spin;
    }
    EXPECT_EQ(Text(Item(kPaperLocationEdit)), L"0");
    EXPECT_FALSE(Enabled(kPaperLocationEdit));
    EXPECT_FALSE(Enabled(kPaperLocationSpin));
    EXPECT_TRUE(Visible(kCutterBox));
    EXPECT_TRUE(Checked(kCutterBox));
    EXPECT_TRUE(Checked(kRotate0));
    for (int hidden : {1095, 1099, 1097, kCmdTypeCombo, 1102, kFadeLinesCombo, 1104}) EXPECT_FALSE(Visible(hidden)) << hidden;
    // cmdType 1 on this model greys nothing out.
    for (int enabled : {kMediaCombo, kSpeedCombo, kDensityCombo, kOffsetXEdit, kOffsetXSpin}) EXPECT_TRUE(Enabled(enabled)) << enabled;
    EXPECT_EQ(Signals(), 0u);
}

TEST_F(DocLayoutPageTest, RecordEdgeValuesAreShownAsTheControlsHoldThem) {
    Bytes record = Model46Defaults();
    PutU32(record, kMediaType, 2);
    PutU32(record, kRotation, 7);
    PutU32(record, kMirror, 2);
    PutU32(record, kOffsetX, FloatBits(-0.06f));
    PutU32(record, kSpeed, 20);
    PutU16(record, kPaperLocation, 300);
    Open(record);
    EXPECT_TRUE(Enabled(kPaperLocationEdit));
    EXPECT_TRUE(Enabled(kPaperLocationSpin));
    EXPECT_FALSE(Enabled(kGapCutCombo));
    for (int radio : {kRotate0, kRotate90, 1010, 1011}) EXPECT_FALSE(Checked(radio)) << radio;
    EXPECT_FALSE(Checked(kMirrorBox));
    EXPECT_EQ(Text(Item(kOffsetXEdit)), L"0.0");
    EXPECT_EQ(SendMessageW(Item(kOffsetXSpin), UDM_GETPOS32, 0, 0), 0);
    EXPECT_EQ(Selection(kSpeedCombo), CB_ERR);
    EXPECT_EQ(Text(Item(kPaperLocationEdit)), L"255");
    EXPECT_EQ(SendMessageW(Item(kPaperLocationSpin), UDM_GETPOS32, 0, 0), 255);
}

// The record behind the page could not be read for a reason that says nothing about it: the page shows the
// defaults, and the stored record stays for the next time.
TEST_F(DocLayoutPageTest, FailedReadShowsTheDefaultsAndKeepsTheStoredRecord) {
    Bytes record = Model46Defaults();
    PutU32(record, kSpeed, 3);
    PutU32(record, kMediaType, 2);
    for (DWORD error : {ERROR_NOT_ENOUGH_MEMORY, RPC_S_SERVER_UNAVAILABLE, ERROR_ACCESS_DENIED}) {
        SCOPED_TRACE(error);
        winsim::control::InjectFault("GetPrinterDataW", error);
        Open(record);
        EXPECT_EQ(Text(Item(kSpeedCombo)), L"5");
        EXPECT_EQ(Text(Item(kMediaCombo)), L"Continuous");
        EXPECT_EQ(Stored(), record);
        // The defaults shown are not the printer's: a change on them is neither stored nor sent.
        ASSERT_TRUE(Sheet().Select(kSpeedCombo, 1));
        ASSERT_TRUE(Sheet().Select(kMediaCombo, 1));
        Sheet().PressApply();
        Sheet().PressOK();
        EXPECT_EQ(Stored(), record);
        EXPECT_TRUE(Commands().empty());
        sheet.reset();
        Open(record);
        EXPECT_EQ(Text(Item(kSpeedCombo)), L"3");
        EXPECT_EQ(Text(Item(kMediaCombo)), L"Label With Marks");
        sheet.reset();
    }
}

TEST_F(DocLayoutPageTest, ImmediateSettingsChangeTheRecordAndSignalOnlyRealChanges) {
    Open();
    ASSERT_TRUE(Sheet().Click(kMirrorBox));
    EXPECT_EQ(Signals(), 1u);
    ASSERT_TRUE(Sheet().Click(kMirrorBox));
    EXPECT_EQ(Signals(), 2u);
    ASSERT_TRUE(Sheet().Click(kRotate0));  // already the record's rotation
    EXPECT_EQ(Signals(), 2u);
    ASSERT_TRUE(Sheet().Click(kRotate90));
    EXPECT_EQ(Signals(), 3u);
    EXPECT_FALSE(Checked(kRotate0));
    ASSERT_TRUE(Sheet().Select(kSpeedCombo, 4));  // the entry already shown
    EXPECT_EQ(Signals(), 3u);
    ASSERT_TRUE(Sheet().Select(kSpeedCombo, 1));
    ASSERT_TRUE(Sheet().Select(kAlignCombo, 2));
    EXPECT_EQ(Signals(), 5u);
    EXPECT_EQ(Sheet().Changes().back(), reinterpret_cast<WPARAM>(Sheet().PageWindow(0)));

    Sheet().PressApply();
    Bytes data = Stored();
    EXPECT_EQ(GetU32(data.data(), kMirror), 0u);
    EXPECT_EQ(GetU32(data.data(), kRotation), 1u);
    EXPECT_EQ(GetU32(data.data(), kSpeed), 2u);
    EXPECT_EQ(data[kAlignMode], 2);
    EXPECT_TRUE(Commands().empty()) << "immediate settings need no command";
    EXPECT_EQ(std::memcmp(devMode->Oem() + 12, data.data(), 128), 0) << "the DEVMODE body is the stored record";
}

TEST_F(DocLayoutPageTest, MediaTypeChoiceWaitsForApplyAndDrivesWhatIsEnabled) {
    Open();
    ASSERT_TRUE(Sheet().Select(kMediaCombo, 2));
    EXPECT_EQ(Signals(), 1u);
    EXPECT_FALSE(Enabled(kGapCutCombo));
    EXPECT_TRUE(Enabled(kPaperLocationEdit));
    EXPECT_TRUE(Enabled(kPaperLocationSpin));
    EXPECT_EQ(GetU32(Stored().data(), kMediaType), 0u) << "not stored before Apply";
    ASSERT_TRUE(Sheet().Select(kMediaCombo, 1));
    EXPECT_TRUE(Enabled(kGapCutCombo));
    EXPECT_FALSE(Enabled(kPaperLocationEdit));
    ASSERT_TRUE(Sheet().Select(kGapCutCombo, 1));
    Sheet().PressApply();
    ASSERT_EQ(Commands(), (std::vector<Bytes>{{0x1B, 0x01, 0x02}}));
    EXPECT_EQ(GetU32(Stored().data(), kMediaType), 1u);
    EXPECT_EQ(GetU32(Stored().data(), kGapCutType), 1u);
}

// The gap cut type travels in the media type command, so changing it alone sends that command.
TEST_F(DocLayoutPageTest, AGapCutChangeAloneSendsTheMediaTypeCommand) {
    Bytes record = Model46Defaults();
    PutU32(record, kMediaType, 1);
    Open(record);
    ASSERT_TRUE(Enabled(kGapCutCombo));
    ASSERT_TRUE(Sheet().Select(kGapCutCombo, 1));
    EXPECT_EQ(Signals(), 1u);
    EXPECT_EQ(Selection(kMediaCombo), 1);
    EXPECT_TRUE(Commands().empty()) << "nothing before Apply";
    Sheet().PressApply();
    EXPECT_EQ(Commands(), (std::vector<Bytes>{{0x1B, 0x01, 0x02}}));
    Bytes data = Stored();
    EXPECT_EQ(GetU32(data.data(), kMediaType), 1u);
    EXPECT_EQ(GetU32(data.data(), kGapCutType), 1u);
}

TEST_F(DocLayoutPageTest, EachPrinterHeldChangeSendsItsCommandOnce) {
    Open();
    ASSERT_TRUE(Sheet().Select(kMediaCombo, 1));
    ASSERT_TRUE(Sheet().Select(kPrintMethodCombo, 1));
    ASSERT_TRUE(Sheet().Select(kMediaCombo, 2));
    ASSERT_TRUE(Sheet().Type(kPaperLocationEdit, L"10"));
    Sheet().PressApply();
    EXPECT_EQ(Commands(), (std::vector<Bytes>{{0x1B, 0x01, 0x03}, {0x1B, 0x05, 0x00}, {0x1B, 0x04, 0x0A}}));
    Bytes data = Stored();
    EXPECT_EQ(GetU32(data.data(), kMediaType), 2u);
    EXPECT_EQ(GetU32(data.data(), kPrintMethod), 1u);
    EXPECT_EQ(data[kPaperLocation], 10);

    ASSERT_TRUE(Sheet().Select(kMediaCombo, 0));
    ASSERT_TRUE(Sheet().Select(kPrintMethodCombo, 0));
    Sheet().PressApply();
    std::vector<Bytes> all = Commands();
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all[3], (Bytes{0x1B, 0x01, 0x00}));
    EXPECT_EQ(all[4], (Bytes{0x1B, 0x05, 0x01}));
}

// Enter: the dialog manager sends OK without moving the focus, so the edit was never normalised; what is
// stored and sent is still within the up-down's range 0..255.
TEST_F(DocLayoutPageTest, PaperLocationTypedBeyondItsRangeIsStoredAndSentAsItsEnd) {
    Open();
    ASSERT_TRUE(Sheet().Select(kMediaCombo, 2));
    ASSERT_TRUE(Sheet().Type(kPaperLocationEdit, L"300"));
    PressEnter();
    EXPECT_EQ(Sheet().Result(), IDOK);
    std::vector<Bytes> all = Commands();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[1], (Bytes{0x1B, 0x04, 0xFF}));
    Bytes data = Stored();
    EXPECT_EQ(data[kPaperLocation] | (data[kPaperLocation + 1] << 8), 255);
}

TEST_F(DocLayoutPageTest, LeavingAnEditNormalisesItAgainstItsUpDown) {
    Open();
    ASSERT_TRUE(Sheet().Type(kOffsetXEdit, L"12.34"));
    Sheet().Leave();
    EXPECT_EQ(SendMessageW(Item(kOffsetXSpin), UDM_GETPOS32, 0, 0), 123);
    EXPECT_EQ(Text(Item(kOffsetXEdit)), L"12.3");
    EXPECT_EQ(Signals(), 1u);
    SetFocus(Item(kOffsetXEdit));
    Sheet().Leave();
    EXPECT_EQ(Signals(), 1u) << "nothing typed: no signal";

    ASSERT_TRUE(Sheet().Select(kMediaCombo, 2));
    ASSERT_TRUE(Sheet().Type(kPaperLocationEdit, L"300"));
    Sheet().Leave();
    EXPECT_EQ(SendMessageW(Item(kPaperLocationSpin), UDM_GETPOS32, 0, 0), 255);
    EXPECT_EQ(Text(Item(kPaperLocationEdit)), L"255");
}

TEST_F(DocLayoutPageTest, EverySpinStepSignalsTheSheet) {
    Open();
    ASSERT_TRUE(Sheet().Spin(kOffsetXSpin, 2));
    EXPECT_EQ(Signals(), 2u);
    EXPECT_EQ(SendMessageW(Item(kOffsetXSpin), UDM_GETPOS32, 0, 0), 2);
    EXPECT_EQ(Text(Item(kOffsetXEdit)), L"0.2");
    Sheet().PressApply();
    EXPECT_EQ(GetU32(Stored().data(), kOffsetX), FloatBits(0.2f));
}

TEST_F(DocLayoutPageTest, NothingChangedSendsNothingButStoresTheRecord) {
    Open();
    StoreValue(kPrinter, Bytes(128, 0));
    Sheet().PressOK();
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(Stored(), Model46Defaults());
}

// The sheet does not see the page's answer, so Apply is called on the page object the sheet was given.
TEST_F(DocLayoutPageTest, NothingChangedApplyRefreshesTheDevModeAndSucceeds) {
    Open();
    std::memset(devMode->Oem() + 12, 0, 128);
    StoreValue(kPrinter, Bytes(128, 0));
    // The plug-in's page object, through the property that leads from its window to it.
    auto* page = static_cast<VPage*>(static_cast<VWindow*>(GetPropW(Sheet().PageWindow(0), L"Velumor.VWindow")));
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->Apply(), 1);
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(Stored(), Model46Defaults());
    EXPECT_EQ(Bytes(devMode->Oem() + 12, devMode->Oem() + 12 + 128), Model46Defaults());
}

TEST_F(DocLayoutPageTest, ARefusedCommandStopsTheApplyAndIsSentAgainNextTime) {
    Open();
    ASSERT_TRUE(Sheet().Select(kMediaCombo, 1));
    ASSERT_TRUE(Sheet().Select(kPrintMethodCombo, 1));
    StoreValue(kPrinter, Bytes(128, 0));
    winsim::control::InjectFault("StartDocPrinterW", ERROR_ACCESS_DENIED, 1);
    Sheet().PressApply();
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(Stored(), Bytes(128, 0)) << "nothing written";

    Sheet().PressOK();
    EXPECT_EQ(Commands(), (std::vector<Bytes>{{0x1B, 0x01, 0x01}, {0x1B, 0x05, 0x00}}));
    EXPECT_EQ(GetU32(Stored().data(), kMediaType), 1u);
}

TEST_F(DocLayoutPageTest, AShortWriteIsAFailedCommand) {
    Open();
    ASSERT_TRUE(Sheet().Select(kPrintMethodCombo, 1));
    SetWriteLimit(2);
    Sheet().PressApply();
    ASSERT_EQ(Commands(), (std::vector<Bytes>{{0x1B, 0x05}}));
    EXPECT_EQ(GetU32(Stored().data(), kPrintMethod), 0u);
    SetWriteLimit(-1);
    Sheet().PressOK();  // Apply is greyed out again: the sheet took the first run as done
    EXPECT_EQ(Commands().back(), (Bytes{0x1B, 0x05, 0x00}));
    EXPECT_EQ(GetU32(Stored().data(), kPrintMethod), 1u);
}

TEST_F(DocLayoutPageTest, PaperAutoTuneSendsAtOnceAndChangesNothing) {
    Open();
    ASSERT_TRUE(Sheet().Click(kAutoTune));
    EXPECT_EQ(Commands(), (std::vector<Bytes>{{0x1B, 0x1B}}));
    EXPECT_EQ(Signals(), 0u);
    winsim::control::InjectFault("StartDocPrinterW", ERROR_ACCESS_DENIED, 1);
    ASSERT_TRUE(Sheet().Click(kAutoTune));
    EXPECT_EQ(Commands().size(), 1u);
}

// Neither the core nor the controller's own open gave the sheet a printer.
TEST_F(DocLayoutPageTest, PaperAutoTuneWithoutAPrinterHandleSendsNothing) {
    StoreValue(kPrinter, Model46Defaults());
    ASSERT_EQ(host->NewDevMode(plugin, printer, 760, 1300, &devMode), S_OK);
    sheet = std::make_unique<CompstuiHost>(plugin, SheetKind::Document, host->Module(), nullptr, L"Brisora-40",
                                           devMode.get());
    winsim::control::InjectFault("OpenPrinterW", ERROR_ACCESS_DENIED, 1);
    ASSERT_EQ(sheet->Open(0), S_OK);
    ASSERT_EQ(PendingFaults("OpenPrinterW"), 0);
    ASSERT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), 0u);
    HWND page = Sheet().PageWindow(0);
    ASSERT_NE(page, nullptr);

    CallCounter starts("StartDocPrinterW");
    ASSERT_TRUE(Sheet().Click(kAutoTune));
    EXPECT_EQ(starts.Calls(), 0);
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(Signals(), 0u);
    EXPECT_TRUE(IsWindow(page));
}

// A sheet may lose a page's dialog and still apply (a page removed): the page then stores what it showed
// with what the user changed before, and sends nothing for the fields its dialog held.
TEST_F(DocLayoutPageTest, ASettingsPageWhoseDialogWentStoresWhatItShowedAndSendsNothing) {
    Bytes record = Model46Defaults();
    PutU32(record, kOffsetX, FloatBits(2.5f));
    PutU32(record, kOffsetX + 4, FloatBits(1.5f));
    record[124] = 12;  // the paper location
    ASSERT_NE(Open(record), nullptr);
    ASSERT_TRUE(Sheet().Click(kMirrorBox));
    ASSERT_TRUE(Sheet().SelectPage(2));
    ASSERT_TRUE(DestroyWindow(Sheet().PageWindow(0)));
    Sheet().PressOK();
    Bytes expected = record;
    PutU32(expected, kMirror, 1);
    EXPECT_EQ(Stored(), expected);
    EXPECT_TRUE(Commands().empty());
}

TEST_F(DocLayoutPageTest, APageNeverShownCommitsNothing) {
    StoreValue(kPrinter, Model46Defaults());
    ASSERT_EQ(host->NewDevMode(plugin, printer, 760, 1300, &devMode), S_OK);
    CompstuiHost& h = NewSheet(SheetKind::Document, devMode.get());
    ASSERT_EQ(h.Open(1), S_OK);  // the custom paper page
    StoreValue(kPrinter, Bytes(128, 0));
    h.Sheet().PressOK();
    EXPECT_EQ(Stored(), Bytes(128, 0));
    EXPECT_TRUE(Commands().empty());
}

TEST_F(DocLayoutPageTest, OkWithAllPagesOpenSendsEachCommandOnce) {
    Open();
    ASSERT_TRUE(Sheet().Select(kMediaCombo, 2));
    ASSERT_TRUE(Sheet().SelectPage(1));
    ASSERT_TRUE(Sheet().SelectPage(2));
    Sheet().PressOK();
    size_t applies = 0;
    for (const auto& n : sheet->Sheet().Notifications()) applies += n.code == PSN_APPLY ? 1 : 0;
    EXPECT_EQ(applies, 3u);
    EXPECT_EQ(Commands(), (std::vector<Bytes>{{0x1B, 0x01, 0x03}}));
    EXPECT_EQ(GetU32(Stored().data(), kMediaType), 2u);
}

// ---------------------------------------------------------------------------------------------------
// What the page and the option items store is what they were filled with: only a record that was read
// (or the defaults made because the printer had none) is stored, whatever a later MERGE found.

using winsim::control::CommonUIHost;

// A stored record unlike the defaults in every field that the page stores from its edits or sends a
// command for, and in the image scale of the option items.
Bytes UnlikeTheDefaults() {
    Bytes record = Model46Defaults();
    PutU32(record, kOffsetX, FloatBits(5.0f));
    PutU32(record, kOffsetY, FloatBits(-2.5f));
    PutU32(record, kHeadReserve, FloatBits(3.0f));
    PutU32(record, kTailReserve, FloatBits(4.0f));
    PutU32(record, kMediaType, 2);
    PutU32(record, kPrintMethod, 1);
    PutU16(record, kPaperLocation, 10);
    PutU16(record, kImageScale, 70);
    return record;
}

// The core made the job's DEVMODE while the record could not be read and built the option items from it,
// then made it anew with the record read while the sheet was up, or before it opened.
TEST_F(DocLayoutPageTest, WhatWasShownFromAFailedReadIsNotStoredAfterALaterGoodRead) {
    const Bytes record = UnlikeTheDefaults();
    enum When { kPageShownFirst, kPageShownAfter, kSheetOpenedAfter };
    for (When when : {kPageShownFirst, kPageShownAfter, kSheetOpenedAfter}) {
        SCOPED_TRACE(when == kPageShownFirst   ? "the page shown before the good read"
                     : when == kPageShownAfter ? "the page first shown after it"
                                               : "the sheet opened after it");
        StoreValue(kPrinter, record);
        winsim::control::InjectFault("GetPrinterDataW", ERROR_ACCESS_DENIED, 1);
        ASSERT_EQ(host->NewDevMode(plugin, printer, 760, 1300, &devMode), S_OK);
        ASSERT_EQ(PendingFaults("GetPrinterDataW"), 0);
        CommonUIHost items(plugin, host->Module(), printer, L"Brisora-40", devMode.get());
        ASSERT_EQ(items.Describe(OEMCUIP_DOCPROP), S_OK);
        EXPECT_EQ(items.Items()[1].Sel, 100) << "the default image scale";
        if (when != kSheetOpenedAfter) {
            ASSERT_EQ(NewSheet(SheetKind::Document, devMode.get()).Open(when == kPageShownFirst ? 0 : 1), S_OK);
        }
        std::unique_ptr<DevModeBuffer> again;
        ASSERT_EQ(host->NewDevMode(plugin, printer, 760, 1300, &again), S_OK);
        EXPECT_EQ(GetU32(again->Oem(), 12 + kOffsetX), FloatBits(5.0f)) << "the job carries the record read";
        if (when == kSheetOpenedAfter) {
            ASSERT_EQ(NewSheet(SheetKind::Document, devMode.get()).Open(1), S_OK);
        }

        EXPECT_EQ(items.Apply(), 0);
        EXPECT_EQ(Stored(), record) << "the items showed the defaults";
        ASSERT_TRUE(Sheet().SelectPage(0));
        if (when == kSheetOpenedAfter) {
            EXPECT_EQ(Text(Item(kOffsetXEdit)), L"5.0") << "the sheet opened on the record read";
        } else {
            // Shown later or not, the page shows what the sheet opened with.
            EXPECT_EQ(Text(Item(kOffsetXEdit)), L"0.0");
            EXPECT_EQ(Text(Item(kMediaCombo)), L"Continuous");
        }
        Sheet().PressOK();
        EXPECT_EQ(Stored(), record);
        EXPECT_TRUE(Commands().empty());
        sheet.reset();
    }
}

// The reverse: filled from the record read, the page and the items store their values even though a
// later MERGE could not read it.
TEST_F(DocLayoutPageTest, WhatWasShownFromAGoodReadIsStoredAfterALaterFailedRead) {
    const Bytes record = UnlikeTheDefaults();
    StoreValue(kPrinter, record);
    ASSERT_EQ(host->NewDevMode(plugin, printer, 760, 1300, &devMode), S_OK);
    CommonUIHost items(plugin, host->Module(), printer, L"Brisora-40", devMode.get());
    ASSERT_EQ(items.Describe(OEMCUIP_DOCPROP), S_OK);
    EXPECT_EQ(items.Items()[1].Sel, 70);
    ASSERT_EQ(NewSheet(SheetKind::Document, devMode.get()).Open(0), S_OK);
    ASSERT_TRUE(Sheet().Select(kSpeedCombo, 2));
    ASSERT_TRUE(Sheet().Click(kMirrorBox));
    ASSERT_TRUE(Sheet().Type(kOffsetXEdit, L"1.5"));

    winsim::control::InjectFault("GetPrinterDataW", ERROR_ACCESS_DENIED, 1);
    std::unique_ptr<DevModeBuffer> again;
    ASSERT_EQ(host->NewDevMode(plugin, printer, 760, 1300, &again), S_OK);
    ASSERT_EQ(PendingFaults("GetPrinterDataW"), 0);
    EXPECT_EQ(GetU32(again->Oem(), 12 + kOffsetX), FloatBits(0.0f)) << "the job got the defaults this once";

    items.Select(1, 55);
    EXPECT_EQ(items.Apply(), 0);
    Bytes expected = record;
    PutU32(expected, kSpeed, 3);
    PutU32(expected, kMirror, 1);
    PutU16(expected, kImageScale, 55);
    EXPECT_EQ(Stored(), expected);
    Sheet().PressOK();
    PutU32(expected, kOffsetX, FloatBits(1.5f));
    EXPECT_EQ(Stored(), expected);
    EXPECT_TRUE(Commands().empty());
}

// What a sheet stored is the printer's record: a sheet opened again before the core merges anew shows it,
// and its own OK keeps it, as do the option items' Apply.
TEST_F(DocLayoutPageTest, ASheetOpenedAgainBeforeTheNextMergeShowsWhatTheLastOneStored) {
    Open(UnlikeTheDefaults());
    ASSERT_TRUE(Sheet().Type(kOffsetXEdit, L"1.5"));
    Sheet().PressOK();
    Bytes expected = UnlikeTheDefaults();
    PutU32(expected, kOffsetX, FloatBits(1.5f));
    ASSERT_EQ(Stored(), expected);
    sheet.reset();

    ASSERT_EQ(NewSheet(SheetKind::Document, devMode.get()).Open(0), S_OK);
    EXPECT_EQ(Text(Item(kOffsetXEdit)), L"1.5");
    ASSERT_TRUE(Sheet().Select(kSpeedCombo, 2));
    Sheet().PressOK();
    PutU32(expected, kSpeed, 3);
    EXPECT_EQ(Stored(), expected);
    sheet.reset();

    ASSERT_EQ(NewSheet(SheetKind::Document, devMode.get()).Open(1), S_OK);
    ApplyImageScale(devMode.get(), 55);
    PutU16(expected, kImageScale, 55);
    EXPECT_EQ(Stored(), expected);
    EXPECT_TRUE(Commands().empty());
}

// An object the core never merged a DEVMODE with holds no record at all: its sheet stores nothing.
TEST_F(DocLayoutPageTest, ASheetOnAnObjectThatNeverReadTheRecordStoresNothing) {
    const Bytes record = UnlikeTheDefaults();
    StoreValue(kPrinter, record);
    std::unique_ptr<IPrintOemUI2, void (*)(IPrintOemUI2*)> other(NewPlugin(), [](IPrintOemUI2* p) {
        if (p) p->Release();
    });
    ASSERT_NE(other, nullptr);
    ASSERT_EQ(host->NewDevMode(other.get(), printer, 760, 1300, &devMode), S_OK);
    CommonUIHost items(plugin, host->Module(), printer, L"Brisora-40", devMode.get());
    ASSERT_EQ(items.Describe(OEMCUIP_DOCPROP), S_OK);
    ASSERT_EQ(NewSheet(SheetKind::Document, devMode.get()).Open(0), S_OK);
    items.Select(1, 55);
    EXPECT_EQ(items.Apply(), 0);
    EXPECT_EQ(Stored(), record);
    ASSERT_TRUE(Sheet().Select(kSpeedCombo, 2));
    Sheet().PressOK();
    EXPECT_EQ(Stored(), record);
    EXPECT_TRUE(Commands().empty());
}

// With no stored value nothing can be lost: the defaults are stored even when the printer's driver cannot
// tell the model (model 0), and the page stores what the user chose. The next read that can tell the model
// puts it in with its row's defaults, which model 0 had no values for; the user's other choices stay.
TEST_F(DocLayoutPageTest, WithoutAStoredValueTheDefaultsAreStoredAndThePageStoresEvenWithAnUnreadableDriver) {
    ASSERT_FALSE(StoredValue(kPrinter, nullptr));
    winsim::control::InjectFault("GetPrinterDriverW", ERROR_NOT_ENOUGH_MEMORY, 1);
    ASSERT_EQ(host->NewDevMode(plugin, printer, 760, 1300, &devMode), S_OK);
    ASSERT_EQ(PendingFaults("GetPrinterDriverW"), 0);
    Bytes model0 = Model46Defaults();
    PutU32(model0, kModelId, 0);
    PutU32(model0, kCmdType, 0);
    model0[kImageOffset] = 0;
    EXPECT_EQ(Stored(), model0);

    ASSERT_EQ(NewSheet(SheetKind::Document, devMode.get()).Open(0), S_OK);
    EXPECT_FALSE(Visible(kCutterBox)) << "model 0";
    ASSERT_TRUE(Sheet().Select(kSpeedCombo, 2));
    ASSERT_TRUE(Sheet().Click(kMirrorBox));
    Sheet().PressOK();
    Bytes expected = model0;
    PutU32(expected, kSpeed, 3);
    PutU32(expected, kMirror, 1);
    EXPECT_EQ(Stored(), expected);

    sheet.reset();
    ASSERT_EQ(host->NewDevMode(plugin, printer, 760, 1300, &devMode), S_OK);
    expected = Model46Defaults();
    PutU32(expected, kMirror, 1);
    EXPECT_EQ(Stored(), expected);
    ASSERT_EQ(NewSheet(SheetKind::Document, devMode.get()).Open(0), S_OK);
    EXPECT_TRUE(Visible(kCutterBox)) << "model 46";
    EXPECT_TRUE(Checked(kMirrorBox));
    EXPECT_EQ(Text(Item(kSpeedCombo)), L"5");
}

// ---------------------------------------------------------------------------------------------------
// Each open sheet keeps what it showed: other sheets of the object, open or closed, and MERGEs into other
// DEVMODEs change nothing it stores or sends.

// UnlikeTheDefaults with settings the page changes at once unlike them too: speed 2, mirror, rotation 270.
Bytes Busy() {
    Bytes record = UnlikeTheDefaults();
    PutU32(record, kSpeed, 2);
    PutU32(record, kMirror, 1);
    PutU32(record, kRotation, 3);
    return record;
}

Bytes Body(DevModeBuffer& devMode) { return Bytes(devMode.Oem() + 12, devMode.Oem() + 140); }

class SheetsSideBySideTest : public DocLayoutPageTest {
protected:
    std::unique_ptr<CompstuiHost> Another(SheetKind kind, DevModeBuffer* onDevMode = nullptr) {
        return std::make_unique<CompstuiHost>(plugin, kind, host->Module(), printer, L"Brisora-40", onDevMode);
    }
    // The core makes a DEVMODE while the record cannot be read.
    std::unique_ptr<DevModeBuffer> FailedMerge() {
        winsim::control::InjectFault("GetPrinterDataW", ERROR_ACCESS_DENIED, 1);
        std::unique_ptr<DevModeBuffer> failed;
        EXPECT_EQ(host->NewDevMode(plugin, printer, 760, 1300, &failed), S_OK);
        EXPECT_EQ(PendingFaults("GetPrinterDataW"), 0);
        return failed;
    }
};

// A device sheet may come and go beside the document sheet, before it, during it or after its OK, and
// while a MERGE into another DEVMODE could not read the record: the document sheet stores what it showed
// with the user's changes, sends only for those, and refreshes its own DEVMODE.
TEST_F(SheetsSideBySideTest, ADeviceSheetBesideTheDocumentSheetChangesNothingItStores) {
    enum Timing { kWhileUp, kOpenedBefore, kClosedAfterOk };
    for (bool failedMerge : {false, true}) {
        for (Timing timing : {kWhileUp, kOpenedBefore, kClosedAfterOk}) {
            SCOPED_TRACE(std::string(failedMerge ? "after a failed MERGE, " : "") +
                         (timing == kWhileUp ? "device sheet opened and closed while the document sheet is up"
                          : timing == kOpenedBefore ? "device sheet opened first and closed last"
                                                    : "device sheet opened while it is up and closed last"));
            std::unique_ptr<CompstuiHost> device;
            if (timing == kOpenedBefore) {
                device = Another(SheetKind::Device);
                ASSERT_EQ(device->Open(), S_OK);
            }
            Open(Busy());
            bool changed = !failedMerge;
            if (changed) {
                ASSERT_TRUE(Sheet().Select(kSpeedCombo, 6));
                ASSERT_TRUE(Sheet().Click(kMirrorBox));
            }
            std::unique_ptr<DevModeBuffer> failed;
            if (failedMerge) failed = FailedMerge();
            if (timing != kOpenedBefore) {
                device = Another(SheetKind::Device);
                ASSERT_EQ(device->Open(), S_OK);
            }
            if (timing == kWhileUp) device->Sheet().PressOK();
            size_t commands = Commands().size();
            std::memset(devMode->Oem() + 12, 0, 128);
            Sheet().PressOK();
            if (timing != kWhileUp) device->Sheet().PressOK();

            Bytes expected = Busy();
            if (changed) {
                PutU32(expected, kSpeed, 7);
                PutU32(expected, kMirror, 0);
            }
            EXPECT_EQ(Stored(), expected);
            EXPECT_EQ(Body(*devMode), expected) << "the document's DEVMODE";
            EXPECT_EQ(Commands().size(), commands) << "nothing the user changed needs a command";
            sheet.reset();
            device.reset();
            EXPECT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), 1u) << "the device sheet's, kept until the object goes";
        }
    }
}

// A device sheet opened and closed leaves nothing of the record it opened with: the option items built
// later store over what their MERGE read, which another program had changed meanwhile.
TEST_F(SheetsSideBySideTest, AClosedDeviceSheetLeavesNoRecordBehind) {
    StoreValue(kPrinter, Busy());
    ASSERT_EQ(host->NewDevMode(plugin, printer, 760, 1300, &devMode), S_OK);
    std::unique_ptr<CompstuiHost> device = Another(SheetKind::Device);
    ASSERT_EQ(device->Open(), S_OK);
    device->Sheet().PressOK();

    Bytes other = Busy();
    PutU32(other, kSpeed, 8);
    PutU32(other, kRotation, 1);
    StoreValue(kPrinter, other);
    ASSERT_EQ(host->NewDevMode(plugin, printer, 760, 1300, &devMode), S_OK);
    ApplyImageScale(devMode.get(), 55);
    PutU16(other, kImageScale, 55);
    EXPECT_EQ(Stored(), other);
    EXPECT_EQ(Body(*devMode), other);

    // A document sheet opened now starts from that record.
    Open(other);
    EXPECT_EQ(Text(Item(kSpeedCombo)), L"8");
    EXPECT_TRUE(Checked(kRotate90));
}

// The core MERGEs the sheet's own DEVMODE again with another paper: whatever stores next, the option
// items or the page, stores that paper into the printer's data and the private part, which then agrees
// with the public part.
TEST_F(SheetsSideBySideTest, WhatIsStoredCarriesThePaperSizeItsDevModeHoldsThen) {
    for (bool itemsFirst : {true, false}) {
        SCOPED_TRACE(itemsFirst ? "the items' Apply, then OK" : "OK on the page alone");
        Open(Busy());
        CommonUIHost items(plugin, host->Module(), printer, L"Brisora-40", devMode.get());
        ASSERT_EQ(items.Describe(OEMCUIP_DOCPROP), S_OK);
        ASSERT_TRUE(Sheet().Select(kSpeedCombo, 3));
        devMode->Public()->dmPaperWidth = 1000;
        devMode->Public()->dmPaperLength = 500;
        ASSERT_EQ(host->DevMode(plugin, OEMDM_MERGE, printer, nullptr, devMode.get()), S_OK);
        ASSERT_EQ(GetU32(devMode->Oem(), 12 + 4), FloatBits(100.0f));
        ASSERT_EQ(GetU32(devMode->Oem(), 12 + 8), FloatBits(50.0f));

        Bytes expected = Busy();
        PutU32(expected, kSpeed, 4);
        PutU32(expected, 4, FloatBits(100.0f));
        PutU32(expected, 8, FloatBits(50.0f));
        if (itemsFirst) {
            items.Select(1, 55);
            EXPECT_EQ(items.Apply(), 0);
            PutU16(expected, kImageScale, 55);
            EXPECT_EQ(Stored(), expected);
            EXPECT_EQ(Body(*devMode), expected);
        }
        Sheet().PressOK();
        EXPECT_EQ(Stored(), expected);
        EXPECT_EQ(Body(*devMode), expected);
        sheet.reset();
    }
}

// What the page stored is the printer's record, but it says nothing of a DEVMODE whose MERGE could not
// read it: option items built from that one showed defaults and store nothing. The same holds for a
// MERGE of the sheet's own DEVMODE that could not read, after its items were built or before.
TEST_F(SheetsSideBySideTest, ItemsFromADevModeWhoseMergeFailedStoreNothingWhatASheetStored) {
    Open(Busy());
    std::unique_ptr<DevModeBuffer> failed = FailedMerge();
    ASSERT_TRUE(Sheet().Click(kMirrorBox));
    Sheet().PressApply();
    Bytes expected = Busy();
    PutU32(expected, kMirror, 0);
    ASSERT_EQ(Stored(), expected);
    // Only the black threshold changed, and applied.
    auto applyStoresNothing = [&](CommonUIHost& items) {
        items.Select(3, 20);
        EXPECT_EQ(items.Apply(), 0);
        EXPECT_EQ(Stored(), expected);
    };
    CommonUIHost items(plugin, host->Module(), printer, L"Brisora-40", failed.get());
    ASSERT_EQ(items.Describe(OEMCUIP_DOCPROP), S_OK);
    EXPECT_EQ(items.Items()[1].Sel, 100) << "the default image scale";
    applyStoresNothing(items);

    // Built on the sheet's own DEVMODE, then that DEVMODE merged again without the record.
    CommonUIHost own(plugin, host->Module(), printer, L"Brisora-40", devMode.get());
    ASSERT_EQ(own.Describe(OEMCUIP_DOCPROP), S_OK);
    EXPECT_EQ(own.Items()[1].Sel, 70);
    winsim::control::InjectFault("GetPrinterDataW", ERROR_ACCESS_DENIED, 1);
    ASSERT_EQ(host->DevMode(plugin, OEMDM_MERGE, printer, nullptr, devMode.get()), S_OK);
    applyStoresNothing(own);

    // Built from that failed MERGE, then merged again with the record read: they still showed defaults.
    CommonUIHost again(plugin, host->Module(), printer, L"Brisora-40", devMode.get());
    ASSERT_EQ(again.Describe(OEMCUIP_DOCPROP), S_OK);
    EXPECT_EQ(again.Items()[1].Sel, 100);
    ASSERT_EQ(host->DevMode(plugin, OEMDM_MERGE, printer, nullptr, devMode.get()), S_OK);
    applyStoresNothing(again);

    // The page still stores what it showed, with the user's changes.
    ASSERT_TRUE(Sheet().Click(kRotate90));
    Sheet().PressOK();
    PutU32(expected, kRotation, 1);
    EXPECT_EQ(Stored(), expected);
    EXPECT_TRUE(Commands().empty());
}

// A sheet starts from what its own DEVMODE holds, as its MERGE read it, and its option items store over
// that, whether a MERGE into another DEVMODE in between could not read the record or read another one.
// A record stored since is newer than both: a sheet opened next shows it, whatever its DEVMODE.
TEST_F(SheetsSideBySideTest, ASheetStartsFromWhatItsOwnDevModeHolds) {
    for (bool otherRead : {false, true}) {
        SCOPED_TRACE(otherRead ? "another DEVMODE merged with another program's record"
                               : "another DEVMODE merged without the record");
        StoreValue(kPrinter, Busy());
        ASSERT_EQ(host->NewDevMode(plugin, printer, 760, 1300, &devMode), S_OK);
        CommonUIHost items(plugin, host->Module(), printer, L"Brisora-40", devMode.get());
        ASSERT_EQ(items.Describe(OEMCUIP_DOCPROP), S_OK);
        std::unique_ptr<DevModeBuffer> other;
        if (otherRead) {
            Bytes changed = Busy();
            PutU32(changed, kSpeed, 8);
            PutU32(changed, kRotation, 1);
            StoreValue(kPrinter, changed);
            ASSERT_EQ(host->NewDevMode(plugin, printer, 760, 1300, &other), S_OK);
        } else {
            other = FailedMerge();
        }

        ASSERT_EQ(NewSheet(SheetKind::Document, devMode.get()).Open(0), S_OK);
        EXPECT_EQ(Text(Item(kSpeedCombo)), L"2");
        EXPECT_TRUE(Checked(1011)) << "rotation 270";
        items.Select(3, 20);
        EXPECT_EQ(items.Apply(), 0);
        Bytes expected = Busy();
        PutU16(expected, 100, 20);  // black threshold
        EXPECT_EQ(Stored(), expected);
        ASSERT_TRUE(Sheet().Select(kSpeedCombo, 3));
        Sheet().PressOK();
        PutU32(expected, kSpeed, 4);
        EXPECT_EQ(Stored(), expected);
        EXPECT_EQ(Body(*devMode), expected);
        EXPECT_TRUE(Commands().empty());

        ASSERT_EQ(NewSheet(SheetKind::Document, other.get()).Open(0), S_OK);
        EXPECT_EQ(Text(Item(kSpeedCombo)), L"4") << "what was stored last";
        Sheet().PressOK();
        EXPECT_EQ(Stored(), expected);
        sheet.reset();
    }
}

// Once the page's change is stored, by the page's Apply or by the items', the user may set it back to
// what the sheet first showed: the items' next store takes that too.
TEST_F(SheetsSideBySideTest, ItemsStoreAChangeSetBackAfterItWasStored) {
    for (bool byPage : {true, false}) {
        SCOPED_TRACE(byPage ? "first stored by the page's Apply" : "first stored by the items");
        Open(Busy());
        CommonUIHost items(plugin, host->Module(), printer, L"Brisora-40", devMode.get());
        ASSERT_EQ(items.Describe(OEMCUIP_DOCPROP), S_OK);
        ASSERT_TRUE(Sheet().Select(kSpeedCombo, 3));
        if (byPage) Sheet().PressApply();
        else EXPECT_EQ(items.Apply(), 0);
        ASSERT_EQ(GetU32(Stored().data(), kSpeed), 4u);

        ASSERT_TRUE(Sheet().Select(kSpeedCombo, 1));
        items.Select(1, 55);
        EXPECT_EQ(items.Apply(), 0);
        Bytes expected = Busy();
        PutU16(expected, kImageScale, 55);
        EXPECT_EQ(Stored(), expected);
        Sheet().PressOK();
        EXPECT_EQ(Stored(), expected);
        EXPECT_EQ(Body(*devMode), expected);
        sheet.reset();
    }
}

// The core copies DEVMODEs whole: a copy of one whose MERGE read the record holds that record, though no
// MERGE filled the copy itself and the last MERGE into another DEVMODE could not read. A sheet on the copy
// shows it and stores the user's changes over it, and option items built on the copy store too.
TEST_F(SheetsSideBySideTest, ACopyOfADevModeHoldsWhatItsMergeRead) {
    StoreValue(kPrinter, Busy());
    ASSERT_EQ(host->NewDevMode(plugin, printer, 760, 1300, &devMode), S_OK);
    auto copy = std::make_unique<DevModeBuffer>(*devMode);
    auto itemsCopy = std::make_unique<DevModeBuffer>(*devMode);
    std::unique_ptr<DevModeBuffer> failed = FailedMerge();

    ASSERT_EQ(NewSheet(SheetKind::Document, copy.get()).Open(0), S_OK);
    EXPECT_EQ(Text(Item(kSpeedCombo)), L"2");
    ApplyImageScale(itemsCopy.get(), 55);
    Bytes expected = Busy();
    PutU16(expected, kImageScale, 55);
    EXPECT_EQ(Stored(), expected);
    EXPECT_EQ(Body(*itemsCopy), expected);

    ASSERT_TRUE(Sheet().Select(kSpeedCombo, 3));
    Sheet().PressOK();
    // The page stores what it showed with its change: the items' store was not shown on it.
    expected = Busy();
    PutU32(expected, kSpeed, 4);
    EXPECT_EQ(Stored(), expected);
    EXPECT_EQ(Body(*copy), expected);
    EXPECT_TRUE(Commands().empty());
}

// A copy of a DEVMODE whose MERGE could not read holds defaults, even when another MERGE read a record with
// the same bytes and the record has changed since: neither a sheet nor option items on the copy store. Nor
// on that DEVMODE itself once more DEVMODEs were merged since than the object keeps track of.
TEST_F(SheetsSideBySideTest, ACopyOfADevModeWhoseMergeFailedStoresNothing) {
    StoreValue(kPrinter, Model46Defaults());
    ASSERT_EQ(host->NewDevMode(plugin, printer, 760, 1300, &devMode), S_OK);  // read: the defaults
    StoreValue(kPrinter, Busy());                                            // another program stores
    std::unique_ptr<DevModeBuffer> failed = FailedMerge();
    auto copy = std::make_unique<DevModeBuffer>(*failed);
    auto itemsCopy = std::make_unique<DevModeBuffer>(*failed);

    ASSERT_EQ(NewSheet(SheetKind::Document, copy.get()).Open(0), S_OK);
    ApplyImageScale(itemsCopy.get(), 55);
    ASSERT_TRUE(Sheet().Click(kRotate90));
    Sheet().PressOK();
    EXPECT_EQ(Stored(), Busy());
    EXPECT_TRUE(Commands().empty());

    StoreValue(kPrinter, Model46Defaults());
    std::unique_ptr<DevModeBuffer> twin;
    ASSERT_EQ(host->NewDevMode(plugin, printer, 760, 1300, &twin), S_OK);  // read: the failed one's bytes
    std::vector<std::unique_ptr<DevModeBuffer>> others(63);
    for (size_t i = 0; i < others.size(); ++i) {
        ASSERT_EQ(host->NewDevMode(plugin, printer, static_cast<short>(800 + i), 1300, &others[i]), S_OK);
    }
    StoreValue(kPrinter, Busy());
    std::unique_ptr<CompstuiHost> device = Another(SheetKind::Device);  // a handle the items could store through
    ASSERT_EQ(device->Open(), S_OK);
    ApplyImageScale(failed.get(), 55);
    EXPECT_EQ(Stored(), Busy());
}

// A sheet opened while its DEVMODE held defaults stores nothing, but the core may MERGE that DEVMODE
// again with the record read: option items built from it then store their choice over that record, and
// nothing the sheet's page changed over the defaults goes with it.
TEST_F(SheetsSideBySideTest, ItemsOfADevModeMergedAgainWithTheRecordStoreBesideASheetThatShowedDefaults) {
    StoreValue(kPrinter, Busy());
    devMode = FailedMerge();
    ASSERT_EQ(NewSheet(SheetKind::Document, devMode.get()).Open(0), S_OK);
    EXPECT_EQ(Text(Item(kOffsetXEdit)), L"0.0") << "the defaults";
    ASSERT_TRUE(Sheet().Click(kRotate90));
    ASSERT_EQ(host->DevMode(plugin, OEMDM_MERGE, printer, nullptr, devMode.get()), S_OK);

    ApplyImageScale(devMode.get(), 55);
    Bytes expected = Busy();
    PutU16(expected, kImageScale, 55);
    EXPECT_EQ(Stored(), expected);
    EXPECT_EQ(Body(*devMode), expected);
    Sheet().PressOK();
    EXPECT_EQ(Stored(), expected);
    EXPECT_TRUE(Commands().empty());
}

// Two document sheets on one object, each on its own DEVMODE, closed in either order: each keeps its
// pages until its own DESTROY and stores what its user chose; the last to store wins, as between programs.
TEST_F(SheetsSideBySideTest, TwoDocumentSheetsOnOneObjectEachStoreTheirOwnChoices) {
    for (bool firstClosesFirst : {true, false}) {
        SCOPED_TRACE(firstClosesFirst ? "the first closed first" : "the second closed first");
        Open(Busy());
        std::unique_ptr<DevModeBuffer> secondDevMode;
        ASSERT_EQ(host->NewDevMode(plugin, printer, 760, 1300, &secondDevMode), S_OK);
        std::unique_ptr<CompstuiHost> second = Another(SheetKind::Document, secondDevMode.get());
        ASSERT_EQ(second->Open(0), S_OK);
        ASSERT_EQ(second->Sheet().PageCount(), 3u);
        for (size_t i = 0; i < 3; ++i) EXPECT_NE(second->Sheet().Page(i).lParam, Sheet().Page(i).lParam);
        EXPECT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), 2u);

        ASSERT_TRUE(Sheet().Select(kSpeedCombo, 2));
        ASSERT_TRUE(second->Sheet().Select(kMediaCombo, 0));
        ASSERT_TRUE(second->Sheet().Click(kRotate90));
        Bytes first = Busy();
        PutU32(first, kSpeed, 3);
        Bytes other = Busy();
        PutU32(other, kMediaType, 0);
        PutU32(other, kRotation, 1);
        if (firstClosesFirst) {
            Sheet().PressOK();
            EXPECT_EQ(Stored(), first);
            second->Sheet().PressOK();
            EXPECT_EQ(Stored(), other);
        } else {
            second->Sheet().PressOK();
            EXPECT_EQ(Stored(), other);
            Sheet().PressOK();
            EXPECT_EQ(Stored(), first);
        }
        EXPECT_EQ(Body(*devMode), first);
        EXPECT_EQ(Body(*secondDevMode), other);
        EXPECT_EQ(Commands(), (std::vector<Bytes>{{0x1B, 0x01, 0x00}})) << "only the second changed the media";
        EXPECT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), 0u);
        sheet.reset();
        second.reset();
        winsim::control::Change([](Json& m) { m["spooler"]["jobs"] = Json::array(); });
    }
}

// ---------------------------------------------------------------------------------------------------
// The numeric fields at the ends of their ranges, and what reaches the record and the printer from them.

// Each edit with its up-down: the record field behind it, and the ends of the up-down's range as the
// record holds them, as the edit shows them and as the up-down counts them.
struct SpinField {
    const char* name;
    int edit;
    int spin;
    size_t offset;
    bool whole;  // the paper location offset: whole millimetres in 16 bits, no tenths
    float low, high;
    const wchar_t* lowText;
    const wchar_t* highText;
    const wchar_t* nextToLow;
    const wchar_t* nextToHigh;
};
const SpinField kSpinFields[] = {
    {"offset X", kOffsetXEdit, kOffsetXSpin, kOffsetX, false, -100.0f, 100.0f, L"-100.0", L"100.0", L"-99.9", L"99.9"},
    {"offset Y", kOffsetYEdit, kOffsetYSpin, kOffsetY, false, -100.0f, 100.0f, L"-100.0", L"100.0", L"-99.9", L"99.9"},
    {"head reserve", kHeadReserveEdit, kHeadReserveSpin, kHeadReserve, false, -1000.0f, 1000.0f, L"-1000.0", L"1000.0",
     L"-999.9", L"999.9"},
    {"tail reserve", kTailReserveEdit, kTailReserveSpin, kTailReserve, false, -1000.0f, 1000.0f, L"-1000.0", L"1000.0",
     L"-999.9", L"999.9"},
    {"paper location", kPaperLocationEdit, kPaperLocationSpin, kPaperLocation, true, 0.0f, 255.0f, L"0", L"255", L"1",
     L"254"},
};

// The record of model 46 with marked labels, so that the paper location offset can be used too.
Bytes MarkLabelsRecord() {
    Bytes record = Model46Defaults();
    PutU32(record, kMediaType, 2);
    return record;
}

void PutField(Bytes& record, const SpinField& f, float value) {
    if (f.whole) PutU16(record, f.offset, static_cast<uint16_t>(value));
    else PutU32(record, f.offset, FloatBits(value));
}

uint32_t FieldBits(const Bytes& record, const SpinField& f) {
    return f.whole ? static_cast<uint32_t>(record[f.offset] | (record[f.offset + 1] << 8)) : GetU32(record.data(), f.offset);
}

uint32_t Bits(const SpinField& f, float value) { return f.whole ? static_cast<uint32_t>(value) : FloatBits(value); }

// An arrow pointing out of the range leaves the value at the end, in the edit, the up-down, the record and
// on the wire; the other arrow still steps back in. Enter commits without the edit losing the focus.
TEST_F(DocLayoutPageTest, AnArrowAtAnEndOfItsRangeLeavesTheValueThere) {
    for (const SpinField& f : kSpinFields) {
        for (bool atHigh : {false, true}) {
            SCOPED_TRACE(std::string(f.name) + (atHigh ? " at its upper end" : " at its lower end"));
            const float end = atHigh ? f.high : f.low;
            const int outward = atHigh ? 1 : -1;
            const int endPosition = static_cast<int>(end * (f.whole ? 1.0f : 10.0f));
            const wchar_t* endText = atHigh ? f.highText : f.lowText;
            Bytes record = MarkLabelsRecord();
            PutField(record, f, end);
            Open(record);
            ASSERT_TRUE(Sheet().Spin(f.spin, outward));
            EXPECT_EQ(GetFocus(), Item(f.edit)) << "the arrow gives its edit the focus";
            EXPECT_EQ(Text(Item(f.edit)), endText);
            EXPECT_EQ(SendMessageW(Item(f.spin), UDM_GETPOS32, 0, 0), endPosition);
            ASSERT_TRUE(Sheet().Spin(f.spin, -outward));
            EXPECT_EQ(Text(Item(f.edit)), atHigh ? f.nextToHigh : f.nextToLow);
            ASSERT_TRUE(Sheet().Spin(f.spin, 2 * outward));
            EXPECT_EQ(Text(Item(f.edit)), endText);
            EXPECT_EQ(SendMessageW(Item(f.spin), UDM_GETPOS32, 0, 0), endPosition);
            PressEnter();
            ASSERT_EQ(Sheet().Result(), IDOK);
            EXPECT_EQ(FieldBits(Stored(), f), Bits(f, end));
            EXPECT_TRUE(Commands().empty()) << "the paper location offset is where it was";
        }
    }
}

// Typed beyond a field's range, or beyond float's, and committed with Enter (no kill-focus) or after
// leaving the edit: the record and the printer get the nearest end of the range, never an infinity.
TEST_F(DocLayoutPageTest, ATypedValueBeyondAFieldsRangeIsStoredAsItsEnd) {
    struct Case {
        size_t field;  // index in kSpinFields
        const wchar_t* typed;
        bool high;
    };
    const Case cases[] = {
        {1, L"-1e39", false}, {1, L"1e39", true},       {0, L"2000", true},     {0, L"-100.05", false},
        {2, L"-1e39", false}, {2, L"1000.1", true},     {3, L"12345.6", true},  {3, L"-1e300", false},
        {4, L"-1", false},    {4, L"99999999999", true},
    };
    for (const Case& c : cases) {
        const SpinField& f = kSpinFields[c.field];
        for (bool leave : {false, true}) {
            SCOPED_TRACE(std::string(f.name) + " typed " + testing::PrintToString(std::wstring(c.typed)) +
                         (leave ? ", then Tab and OK" : ", then Enter"));
            size_t before = Commands().size();
            Open(MarkLabelsRecord());
            ASSERT_TRUE(Sheet().Type(f.edit, c.typed));
            if (leave) {
                Sheet().Leave();
                EXPECT_EQ(Text(Item(f.edit)), c.high ? f.highText : f.lowText);
                Sheet().PressOK();
            } else {
                PressEnter();
            }
            ASSERT_EQ(Sheet().Result(), IDOK);
            Bytes data = Stored();
            EXPECT_EQ(FieldBits(data, f), Bits(f, c.high ? f.high : f.low));
            EXPECT_EQ(std::memcmp(devMode->Oem() + 12, data.data(), 128), 0);
            std::vector<Bytes> all = Commands();
            if (f.whole && c.high) {
                ASSERT_EQ(all.size(), before + 1);
                EXPECT_EQ(all.back(), (Bytes{0x1B, 0x04, 0xFF}));
            } else {
                EXPECT_EQ(all.size(), before) << "nothing to send";
            }
        }
    }
}

// A record written elsewhere (MERGE keeps what it does not repair) with a value no control can hold in
// every field the page shows: the page opens, and OK stores and sends only what the controls can hold.
// Choices the printer keeps fall back on the model's default and are sent; numbers go to their ends.
TEST_F(DocLayoutPageTest, ARecordOutsideTheControlsRangesOpensAndIsStoredWithinThem) {
    Bytes record = Model46Defaults();
    PutU32(record, kSpeed, 99);
    PutU32(record, kDensity, 0);
    PutU32(record, kMediaType, 7);
    PutU32(record, kGapCutType, 4);
    PutU32(record, kPrintMethod, 3);
    PutU32(record, kRotation, 9);
    PutU32(record, kMirror, 2);
    PutU32(record, kInverse, 0xFFFFFFFFu);
    PutU32(record, kCutter, 2);
    record[kAlignMode] = 5;
    record[kPaperCutMode] = 0x80;
    PutU32(record, kOffsetX, 0x7FC00000u);  // NaN
    PutU32(record, kOffsetY, 0xFFC00001u);  // NaN with sign and payload
    PutU32(record, kHeadReserve, FloatBits(1e30f));
    PutU32(record, kTailReserve, 0xFF800000u);  // -infinity
    PutU16(record, kPaperLocation, 300);
    HWND page = Open(record);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(Text(Item(kOffsetXEdit)), L"0.0");
    EXPECT_EQ(Text(Item(kOffsetYEdit)), L"0.0");
    EXPECT_EQ(Text(Item(kHeadReserveEdit)), L"1000.0");
    EXPECT_EQ(Text(Item(kTailReserveEdit)), L"-1000.0");
    EXPECT_EQ(SendMessageW(Item(kHeadReserveSpin), UDM_GETPOS32, 0, 0), 10000);

    Sheet().PressOK();
    ASSERT_EQ(Sheet().Result(), IDOK);
    EXPECT_EQ(Commands(), (std::vector<Bytes>{{0x1B, 0x01, 0x00}, {0x1B, 0x05, 0x01}, {0x1B, 0x04, 0xFF}}));
    Bytes expected = Model46Defaults();
    PutU32(expected, kCutter, 0);  // shown unchecked
    PutU32(expected, kHeadReserve, FloatBits(1000.0f));
    PutU32(expected, kTailReserve, FloatBits(-1000.0f));
    PutU16(expected, kPaperLocation, 255);
    Bytes data = Stored();
    EXPECT_EQ(data, expected);
    EXPECT_EQ(Bytes(devMode->Oem() + 12, devMode->Oem() + 12 + 128), expected);
}

// Only the fields out of range are touched: a choice the printer keeps that is in range is not sent again.
TEST_F(DocLayoutPageTest, InRangeFieldsOfAnOddRecordAreKeptAsTheyAre) {
    Bytes record = Model46Defaults();
    PutU32(record, kMediaType, 1);
    PutU32(record, kGapCutType, 1);
    PutU32(record, kPrintMethod, 1);
    PutU32(record, kSpeed, 3);
    PutU32(record, kRotation, 2);
    PutU32(record, kDensity, 99);
    Open(record);
    PressEnter();
    EXPECT_TRUE(Commands().empty());
    Bytes expected = record;
    PutU32(expected, kDensity, 8);
    EXPECT_EQ(Stored(), expected);
}

}  // namespace
}  // namespace uiplugin_test
