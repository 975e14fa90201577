// The "Other Option" group of the document option tree, built and applied as the core does.
#include <common_ui_host.h>
#include <control.h>

#include <cstring>
#include <vector>

#include "SheetTest.h"

namespace uiplugin_test {
namespace {

using winsim::control::CommonUIHost;

constexpr size_t kImageScale = 96;
constexpr size_t kScrimp = 98;
constexpr size_t kThreshold = 100;
constexpr size_t kImageOffset = 127;

class OptionItemsTest : public SheetTest {
protected:
    void SetUp() override {
        SheetTest::SetUp();
        if (HasFatalFailure()) return;
        stored = Model46Defaults();
        PutU16(stored, kImageScale, 80);
        PutU16(stored, kThreshold, static_cast<uint16_t>(-20));
        stored[kScrimp] = 0;
        stored[kImageOffset] = 1;
        StoreValue(kPrinter, stored);
        ASSERT_EQ(host->NewDevMode(plugin, printer, 760, 1300, &devMode), S_OK);
        ui = std::make_unique<CommonUIHost>(plugin, host->Module(), printer, L"Brisora-40", devMode.get());
    }
    void TearDown() override {
        ui.reset();
        SheetTest::TearDown();
    }

    void OpenDocumentSheet() {
        ASSERT_EQ(NewSheet(SheetKind::Document, devMode.get()).Open(), S_OK);
    }
    // The core makes the job's DEVMODE anew, merging the printer's record into it.
    void Remerge() {
        ui.reset();
        ASSERT_EQ(host->NewDevMode(plugin, printer, 760, 1300, &devMode), S_OK);
        ui = std::make_unique<CommonUIHost>(plugin, host->Module(), printer, L"Brisora-40", devMode.get());
    }
    Bytes Body() const { return Bytes(devMode->Oem() + 12, devMode->Oem() + 140); }
    static std::wstring Name(const OPTITEM& item) { return item.pName ? item.pName : L"(null)"; }

    Bytes stored;
    std::unique_ptr<DevModeBuffer> devMode;
    std::unique_ptr<CommonUIHost> ui;
};

TEST_F(OptionItemsTest, CountQueryAnswersFiveAndInstallsNoCallback) {
    EXPECT_EQ(ui->Query(OEMCUIP_DOCPROP), S_OK);
    EXPECT_EQ(ui->Param().cOEMOptItems, 5u);
    EXPECT_EQ(ui->Param().OEMCUIPCallback, nullptr);
    EXPECT_NE(ui->Param().pOEMUserData, nullptr);
}

TEST_F(OptionItemsTest, ItemsStartFromThePrivatePartAndScrimpIsHidden) {
    ASSERT_EQ(ui->Describe(OEMCUIP_DOCPROP), S_OK);
    ASSERT_EQ(ui->ItemCount(), 5u);
    EXPECT_TRUE(ui->GuardIntact());
    EXPECT_NE(ui->Param().OEMCUIPCallback, nullptr);
    const OPTITEM* items = ui->Items();
    struct Want {
        const wchar_t* name;
        BYTE level;
        DWORD flags;
        BYTE pubId;
        LONG sel;
    };
    const Want want[] = {{L"Other Option", 1, 0, 101, 0},
                         {L"Image Scale", 2, OPTIF_CALLBACK, 107, 80},
                         {L"Scrimp On Paper", 2, OPTIF_HIDE | OPTIF_CALLBACK, 108, 0},
                         {L"Black Threshold Value", 2, OPTIF_CALLBACK, 109, -20},
                         {L"Driver Image Offset", 2, OPTIF_CALLBACK, 112, 1}};
    for (size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(items[i].cbSize, sizeof(OPTITEM));
        EXPECT_EQ(Name(items[i]), want[i].name);
        EXPECT_EQ(items[i].Level, want[i].level);
        EXPECT_EQ(items[i].Flags, want[i].flags);
        EXPECT_EQ(items[i].DMPubID, want[i].pubId);
        EXPECT_EQ(items[i].Sel, want[i].sel);
        EXPECT_EQ(items[i].HelpIndex, 0u);
        EXPECT_EQ(items[i].UserData, 0u);
    }
    EXPECT_EQ(items[0].pOptType, nullptr);
    const OPTTYPE* scale = items[1].pOptType;
    ASSERT_NE(scale, nullptr);
    EXPECT_EQ(scale->Type, TVOT_UDARROW);
    ASSERT_EQ(scale->Count, 2);
    EXPECT_STREQ(scale->pOptParam[0].pData, L"%");
    EXPECT_EQ(scale->pOptParam[1].IconID, 10u);
    EXPECT_EQ(scale->pOptParam[1].lParam, 100);
    const OPTTYPE* threshold = items[3].pOptType;
    ASSERT_NE(threshold, nullptr);
    EXPECT_EQ(static_cast<LONG>(threshold->pOptParam[1].IconID), -127);
    EXPECT_EQ(threshold->pOptParam[1].lParam, 127);
    EXPECT_EQ(items[2].pOptType, items[4].pOptType);
    EXPECT_EQ(items[4].pOptType->Type, TVOT_2STATES);
    EXPECT_EQ(items[4].pOptType->pOptParam[0].pData, MAKEINTRESOURCEW(IDS_CPSUI_NO));
    EXPECT_EQ(items[4].pOptType->pOptParam[1].lParam, 1);
}

TEST_F(OptionItemsTest, NamesComeInTheUILanguage) {
    SetThreadUILanguage(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
    HRESULT hr = ui->Describe(OEMCUIP_DOCPROP);
    SetThreadUILanguage(0);  // back to the machine's language, for the tests after this one
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(Name(ui->Items()[0]), L"其他选项");
}

TEST_F(OptionItemsTest, ApplyStoresTheValuesInThePrinterDataAndThePrivatePart) {
    OpenDocumentSheet();
    ASSERT_EQ(ui->Describe(OEMCUIP_DOCPROP), S_OK);
    EXPECT_EQ(ui->Select(1, 55), 0);
    EXPECT_EQ(ui->Select(3, 127), 0);
    EXPECT_EQ(ui->Apply(), 0);

    Bytes expected = stored;
    PutU16(expected, kImageScale, 55);
    PutU16(expected, kThreshold, 127);
    Bytes value;
    ASSERT_TRUE(StoredValue(kPrinter, &value));
    EXPECT_EQ(value, expected);
    EXPECT_EQ(Body(), expected);
}

TEST_F(OptionItemsTest, ReasonsOtherThanApplyChangeNothing) {
    OpenDocumentSheet();
    ASSERT_EQ(ui->Describe(OEMCUIP_DOCPROP), S_OK);
    ui->Items()[1].Sel = 55;
    Bytes before = Body();
    CallCounter writes("SetPrinterDataW");
    EXPECT_EQ(ui->Callback(CPSUICB_REASON_SEL_CHANGED, 1), 0);
    EXPECT_EQ(ui->Callback(CPSUICB_REASON_UNDO_CHANGES, 1), 0);
    EXPECT_EQ(writes.Calls(), 0);
    EXPECT_EQ(Body(), before);
}

TEST_F(OptionItemsTest, ApplyWithoutAnOpenDocumentSheetStoresNothing) {
    ASSERT_EQ(ui->Describe(OEMCUIP_DOCPROP), S_OK);
    ui->Items()[1].Sel = 55;
    Bytes before = Body();
    CallCounter writes("SetPrinterDataW");
    EXPECT_EQ(ui->Apply(), 0);
    EXPECT_EQ(writes.Calls(), 0);
    EXPECT_EQ(Body(), before);
}

TEST_F(OptionItemsTest, AFailedStoreLeavesThePrivatePartAlone) {
    OpenDocumentSheet();
    ASSERT_EQ(ui->Describe(OEMCUIP_DOCPROP), S_OK);
    ui->Items()[1].Sel = 55;
    Bytes before = Body();
    winsim::control::InjectFault("SetPrinterDataW", ERROR_ACCESS_DENIED, 1);
    EXPECT_EQ(ui->Apply(), 0);
    EXPECT_EQ(Body(), before);
    Bytes value;
    ASSERT_TRUE(StoredValue(kPrinter, &value));
    EXPECT_EQ(value, stored);
}

TEST_F(OptionItemsTest, ARecordThatCouldNotBeReadIsNotStored) {
    for (DWORD error : {ERROR_NOT_ENOUGH_MEMORY, RPC_S_SERVER_UNAVAILABLE, ERROR_ACCESS_DENIED}) {
        SCOPED_TRACE(error);
        winsim::control::InjectFault("GetPrinterDataW", error, 1);
        Remerge();
        OpenDocumentSheet();
        ASSERT_EQ(ui->Describe(OEMCUIP_DOCPROP), S_OK);
        ui->Items()[1].Sel = 55;
        EXPECT_EQ(ui->Apply(), 0);
        Bytes value;
        ASSERT_TRUE(StoredValue(kPrinter, &value));
        EXPECT_EQ(value, stored);
        sheet.reset();
    }
    // Read again, the record is the printer's and is stored as usual.
    Remerge();
    OpenDocumentSheet();
    ASSERT_EQ(ui->Describe(OEMCUIP_DOCPROP), S_OK);
    ui->Items()[1].Sel = 55;
    EXPECT_EQ(ui->Apply(), 0);
    Bytes expected = stored;
    PutU16(expected, kImageScale, 55);
    Bytes value;
    ASSERT_TRUE(StoredValue(kPrinter, &value));
    EXPECT_EQ(value, expected);
}

// The core may apply the option items before the page: the record they store holds no value that a
// list left without a selection would have meant.
TEST_F(OptionItemsTest, AListLeftWithoutASelectionIsStoredAsTheDefault) {
    constexpr int kSpeedCombo = 1028;
    constexpr size_t kSpeed = 36;
    PutU32(stored, kSpeed, 2);
    StoreValue(kPrinter, stored);
    Remerge();
    OpenDocumentSheet();
    ASSERT_EQ(ui->Describe(OEMCUIP_DOCPROP), S_OK);
    HWND page = sheet->Sheet().PageWindow(0);
    HWND combo = GetDlgItem(page, kSpeedCombo);
    ASSERT_NE(combo, nullptr);
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    SendMessageW(page, WM_COMMAND, MAKEWPARAM(kSpeedCombo, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    EXPECT_EQ(ui->Apply(), 0);
    Bytes value;
    ASSERT_TRUE(StoredValue(kPrinter, &value));
    EXPECT_EQ(GetU32(value.data(), kSpeed), 5u) << "model 46's default speed";
}

TEST_F(OptionItemsTest, PrinterPropertiesGetNoItems) {
    ASSERT_EQ(ui->Fill(OEMCUIP_PRNPROP, 3), S_OK);
    EXPECT_EQ(ui->Param().cOEMOptItems, 3u);
    const auto* bytes = reinterpret_cast<const BYTE*>(ui->Items());
    for (size_t i = 0; i < 3 * sizeof(OPTITEM); ++i) ASSERT_EQ(bytes[i], CommonUIHost::kGuardByte) << i;
    ASSERT_NE(ui->Param().OEMCUIPCallback, nullptr);
}

TEST_F(OptionItemsTest, PrinterPropertiesCallbackStoresNothingEvenWithFiveValidItems) {
    // Everything the document tree's callback would store from: an open sheet and its five items, changed.
    OpenDocumentSheet();
    ASSERT_EQ(ui->Describe(OEMCUIP_DOCPROP), S_OK);
    ASSERT_EQ(ui->ItemCount(), 5u);
    ui->Items()[1].Sel = 55;
    const std::vector<OPTITEM> items(ui->Items(), ui->Items() + 5);

    ASSERT_EQ(plugin->CommonUIProp(OEMCUIP_PRNPROP, &ui->Param()), S_OK);
    EXPECT_EQ(ui->Param().cOEMOptItems, 5u);
    EXPECT_EQ(std::memcmp(items.data(), ui->Items(), 5 * sizeof(OPTITEM)), 0) << "the items are not described again";
    ASSERT_NE(ui->Param().OEMCUIPCallback, nullptr);
    Bytes before = Body();
    CallCounter writes("SetPrinterDataW");
    EXPECT_EQ(ui->Apply(), 0);
    EXPECT_EQ(writes.Calls(), 0);
    EXPECT_EQ(Body(), before);
    Bytes value;
    ASSERT_TRUE(StoredValue(kPrinter, &value));
    EXPECT_EQ(value, stored);
}

TEST_F(OptionItemsTest, AnyOtherModeFailsWithInvalidParameter) {
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(ui->Query(3), E_FAIL);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(ui->Param().cOEMOptItems, 0u);
}

TEST_F(OptionItemsTest, AnArrayShorterThanTheGroupIsLeftUntouched) {
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(ui->Fill(OEMCUIP_DOCPROP, 4), E_FAIL);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    const auto* bytes = reinterpret_cast<const BYTE*>(ui->Items());
    for (size_t i = 0; i < 4 * sizeof(OPTITEM); ++i) ASSERT_EQ(bytes[i], CommonUIHost::kGuardByte) << i;
    EXPECT_TRUE(ui->GuardIntact());
    EXPECT_EQ(ui->Param().OEMCUIPCallback, nullptr);
}

TEST_F(OptionItemsTest, ALargerArrayIsClearedBeyondTheGroup) {
    ASSERT_EQ(ui->Fill(OEMCUIP_DOCPROP, 6), S_OK);
    EXPECT_EQ(ui->Items()[5].cbSize, sizeof(OPTITEM));
    EXPECT_EQ(ui->Items()[5].pName, nullptr);
    EXPECT_TRUE(ui->GuardIntact());
}

}  // namespace
}  // namespace uiplugin_test
