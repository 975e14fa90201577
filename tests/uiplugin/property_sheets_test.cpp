// The plug-in's document and device property sheets as the printer-driver UI core drives them: the pages
// added at INIT, the printer handle the controller opens for the sheet and closes again, the other
// reasons, and the sheet's apply reaching the printer settings page from any page. Source of truth: the
// common property sheet UI's documentation (PROPSHEETUI_INFO, its reasons and version 0x100, the
// page-add function) and the property sheet notifications (PSN_APPLY to every page that was created).
#include <cstring>

#include <common_ui_host.h>

#include "SheetTest.h"

namespace uiplugin_test {
namespace {

int gAddCalls = 0;
LONG_PTR CALLBACK CountingAdd(HANDLE, UINT, LPARAM, LPARAM) {
    ++gAddCalls;
    return 1;
}

// A PROPSHEETUI_INFO as a core would fill it, with a page-add function that only counts.
PROPSHEETUI_INFO Info(WORD reason, OEMUIPSPARAM* param) {
    PROPSHEETUI_INFO info{};
    info.cbSize = sizeof info;
    info.Version = PROPSHEETUI_INFO_VERSION;
    info.Reason = reason;
    info.pfnComPropSheet = CountingAdd;
    info.lParamInit = reinterpret_cast<LPARAM>(param);
    info.Result = 77;
    return info;
}

std::vector<WORD> Reasons(const CompstuiHost& host) {
    std::vector<WORD> reasons;
    for (const auto& call : host.Calls()) reasons.push_back(call.reason);
    return reasons;
}

class PropertySheetsTest : public SheetTest {
public:
    // A device sheet's DESTROY, sent from a page-add function.
    void EndDuringAdd(PROPSHEETUI_INFO* info, SheetKind kind = SheetKind::Device) {
        EXPECT_EQ(Direct(kind, info, 0), S_OK);
    }
    HRESULT CanUnloadNow() { return host->CanUnloadNow(); }

protected:
    // Calls the plug-in's sheet method of a kind directly.
    HRESULT Direct(SheetKind kind, PROPSHEETUI_INFO* info, LPARAM lParam) {
        return kind == SheetKind::Document ? plugin->DocumentPropertySheets(info, lParam)
                                           : plugin->DevicePropertySheets(info, lParam);
    }
    OEMUIPSPARAM Param() {
        OEMUIPSPARAM param{};
        param.cbSize = sizeof param;
        param.hPrinter = printer;
        param.pPrinterName = name_;
        return param;
    }

private:
    WCHAR name_[16] = L"Brisora-40";
};

TEST_F(PropertySheetsTest, DocumentSheetAddsSettingsPaperAndAboutPagesInThatOrder) {
    CompstuiHost& host = NewSheet(SheetKind::Document);
    ASSERT_EQ(host.Open(), S_OK);
    EXPECT_EQ(Reasons(host), (std::vector<WORD>{PROPSHEETUI_REASON_INIT, PROPSHEETUI_REASON_GET_INFO_HEADER,
                                                PROPSHEETUI_REASON_BEFORE_INIT}));
    for (const auto& call : host.Calls()) {
        EXPECT_EQ(call.result, S_OK) << "reason " << call.reason;
        EXPECT_EQ(call.infoResult, 1u) << "reason " << call.reason;
    }
    ASSERT_EQ(Templates(), (std::vector<int>{106, 108, 107}));
    PropertySheet& s = host.Sheet();
    for (size_t i = 0; i < s.PageCount(); ++i) {
        const PROPSHEETPAGEW& page = s.Page(i);
        SCOPED_TRACE("page " + std::to_string(i));
        EXPECT_EQ(page.dwSize, sizeof(PROPSHEETPAGEW));
        EXPECT_EQ(page.dwFlags, static_cast<DWORD>(PSP_DEFAULT));
        EXPECT_EQ(page.hInstance, host.Param().hModule);
        EXPECT_EQ(page.pszIcon, nullptr);
        EXPECT_EQ(page.pszTitle, nullptr);
        EXPECT_EQ(page.pfnCallback, nullptr);
        EXPECT_NE(page.lParam, 0);
        EXPECT_EQ(page.pfnDlgProc, s.Page(0).pfnDlgProc);
        for (size_t k = 0; k < i; ++k) EXPECT_NE(page.lParam, s.Page(k).lParam) << "shares its object with page " << k;
    }
    // The sheet's own administrator handle, beside the core's.
    EXPECT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), 1u);

    // Each page's dialog is made when it is first shown; its caption is the tab's title.
    EXPECT_NE(s.PageWindow(0), nullptr);
    EXPECT_EQ(s.PageWindow(1), nullptr);
    EXPECT_EQ(s.PageWindow(2), nullptr);
    EXPECT_EQ(Text(s.PageWindow(0)), L"Printer Config");
    ASSERT_TRUE(s.SelectPage(1));
    EXPECT_EQ(Text(s.PageWindow(1)), L"Custom Paper Manager");
    ASSERT_TRUE(s.SelectPage(2));
    EXPECT_EQ(Text(s.PageWindow(2)), L"About");
}

TEST_F(PropertySheetsTest, DocumentSheetClosingDeletesItsPagesAndClosesOnlyTheControllersHandle) {
    CompstuiHost& host = NewSheet(SheetKind::Document);
    ASSERT_EQ(host.Open(), S_OK);
    ASSERT_TRUE(host.Sheet().SelectPage(2));
    HWND pages[] = {host.Sheet().PageWindow(0), host.Sheet().PageWindow(2)};
    host.Sheet().PressOK();

    EXPECT_EQ(Reasons(host), (std::vector<WORD>{PROPSHEETUI_REASON_INIT, PROPSHEETUI_REASON_GET_INFO_HEADER,
                                                PROPSHEETUI_REASON_BEFORE_INIT, PROPSHEETUI_REASON_SET_RESULT,
                                                PROPSHEETUI_REASON_DESTROY}));
    EXPECT_EQ(host.Calls()[3].infoResult, static_cast<ULONG_PTR>(CPSUI_OK));
    EXPECT_EQ(host.Calls()[4].result, S_OK);
    EXPECT_EQ(host.Calls()[4].infoResult, 1u);
    for (HWND page : pages) EXPECT_FALSE(IsWindow(page));
    EXPECT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), 0u);
    // The core's handle is the core's to close.
    EXPECT_EQ(OpenHandles(PRINTER_ALL_ACCESS), 1u);

    // The same controller serves the next sheet.
    CompstuiHost& again = NewSheet(SheetKind::Document);
    ASSERT_EQ(again.Open(), S_OK);
    EXPECT_EQ(Templates(), (std::vector<int>{106, 108, 107}));
    again.Sheet().PressCancel();
    EXPECT_EQ(again.Calls()[3].infoResult, static_cast<ULONG_PTR>(CPSUI_CANCEL));
    EXPECT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), 0u);
}

TEST_F(PropertySheetsTest, DeviceSheetHasOnlyAboutAndKeepsItsHandleUntilThePluginGoes) {
    CompstuiHost& host = NewSheet(SheetKind::Device);
    ASSERT_EQ(host.Open(), S_OK);
    EXPECT_EQ(Templates(), (std::vector<int>{107}));
    EXPECT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), 1u);
    CallCounter writes("SetPrinterDataW");
    host.Sheet().PressOK();  // no settings page: the apply commits nothing
    EXPECT_EQ(writes.Calls(), 0);
    EXPECT_EQ(host.Calls().back().reason, PROPSHEETUI_REASON_DESTROY);
    EXPECT_EQ(host.Calls().back().result, S_OK);
    EXPECT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), 1u);

    // Opening it again replaces the handle rather than leaving the first one open.
    CompstuiHost& again = NewSheet(SheetKind::Device);
    ASSERT_EQ(again.Open(), S_OK);
    again.Sheet().PressOK();
    EXPECT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), 1u);

    sheet.reset();
    plugin->Release();
    plugin = nullptr;
    EXPECT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), 0u);
    EXPECT_EQ(OpenHandles(PRINTER_ALL_ACCESS), 1u);
}

TEST_F(PropertySheetsTest, BadInfoIsRefusedWithInvalidParameterAndChangesNothing) {
    OEMUIPSPARAM param = Param();
    for (SheetKind kind : {SheetKind::Document, SheetKind::Device}) {
        SCOPED_TRACE(kind == SheetKind::Document ? "document" : "device");
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(Direct(kind, nullptr, 0), E_FAIL);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

        gAddCalls = 0;
        PROPSHEETUI_INFO info = Info(PROPSHEETUI_REASON_INIT, &param);
        info.Version = 0x0FF;
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(Direct(kind, &info, 0), E_FAIL);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        EXPECT_EQ(info.Result, 77u);
        EXPECT_EQ(gAddCalls, 0);
        EXPECT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), 0u);

        // INIT without the core's parameter block has no printer to work on.
        info = Info(PROPSHEETUI_REASON_INIT, nullptr);
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(Direct(kind, &info, 0), E_FAIL);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        EXPECT_EQ(gAddCalls, 0);
    }
}

TEST_F(PropertySheetsTest, OtherReasonsAnswerOneAndTouchNothingElse) {
    OEMUIPSPARAM param = Param();
    const WORD reasons[] = {PROPSHEETUI_REASON_GET_INFO_HEADER, PROPSHEETUI_REASON_GET_ICON,
                            PROPSHEETUI_REASON_BEFORE_INIT, 9};
    for (SheetKind kind : {SheetKind::Document, SheetKind::Device}) {
        for (WORD reason : reasons) {
            SCOPED_TRACE("reason " + std::to_string(reason));
            gAddCalls = 0;
            PROPSHEETUI_INFO info = Info(reason, &param);
            PROPSHEETUI_INFO_HEADER header;
            std::memset(&header, 0xA5, sizeof header);
            PROPSHEETUI_INFO_HEADER before = header;
            SetLastError(0xDEADBEEF);
            EXPECT_EQ(Direct(kind, &info, reinterpret_cast<LPARAM>(&header)), S_OK);
            EXPECT_EQ(info.Result, 1u);
            EXPECT_EQ(GetLastError(), 0xDEADBEEFu);
            EXPECT_EQ(std::memcmp(&header, &before, sizeof header), 0) << "filled a header";
            EXPECT_EQ(gAddCalls, 0);
            EXPECT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), 0u);
        }
    }
}

TEST_F(PropertySheetsTest, SetResultCopiesTheSheetsResultUnchanged) {
    for (LRESULT value : {LRESULT{0}, LRESULT{1}, LRESULT{2}, LRESULT{0x7EADBEEF}, LRESULT{-1}}) {
        PROPSHEETUI_INFO info = Info(PROPSHEETUI_REASON_SET_RESULT, nullptr);
        SETRESULT_INFO result{sizeof(SETRESULT_INFO), 0, nullptr, value};
        EXPECT_EQ(plugin->DocumentPropertySheets(&info, reinterpret_cast<LPARAM>(&result)), S_OK);
        EXPECT_EQ(info.Result, static_cast<ULONG_PTR>(value));
    }
    // Without a SETRESULT_INFO there is nothing to copy.
    PROPSHEETUI_INFO info = Info(PROPSHEETUI_REASON_SET_RESULT, nullptr);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(plugin->DevicePropertySheets(&info, 0), E_FAIL);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(info.Result, 77u);
}

TEST_F(PropertySheetsTest, InitStopsAtThePageThatCannotBeAdded) {
    winsim::control::InjectFault("CreatePropertySheetPageW", ERROR_NOT_ENOUGH_MEMORY, 1, 1);
    CompstuiHost& host = NewSheet(SheetKind::Document);
    EXPECT_EQ(host.Open(), E_FAIL);
    ASSERT_EQ(host.Calls().size(), 1u) << "a failed INIT opens no sheet";
    EXPECT_EQ(host.Calls()[0].infoResult, 0u) << "Result was set";
    EXPECT_EQ(Templates(), (std::vector<int>{106}));
    EXPECT_FALSE(host.Sheet().IsOpen());
    EXPECT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), 1u);

    EXPECT_EQ(host.Destroy(), S_OK);
    EXPECT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), 0u);
}

TEST_F(PropertySheetsTest, TheCoresHandleServesTheSheetWhenTheControllerCannotOpenItsOwn) {
    std::unique_ptr<DevModeBuffer> merged;  // the object has read the record, so its page may store it
    ASSERT_EQ(host->NewDevMode(plugin, printer, 760, 1300, &merged), S_OK);
    winsim::control::InjectFault("OpenPrinterW", ERROR_ACCESS_DENIED);
    CompstuiHost& host = NewSheet(SheetKind::Document);
    ASSERT_EQ(host.Open(), S_OK);
    EXPECT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), 0u);
    CallCounter writes("SetPrinterDataW");
    host.Sheet().PressOK();
    EXPECT_EQ(writes.Calls(), 1) << "the settings page commits through the core's handle";
    EXPECT_EQ(OpenHandles(PRINTER_ALL_ACCESS), 1u) << "the controller closed the core's handle";
    DWORD type = 0;
    DWORD needed = 0;
    EXPECT_NE(GetPrinterDataW(printer, const_cast<LPWSTR>(L"OEM_ZL_PRINTER_VALUE"), &type, nullptr, 0, &needed),
              static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// The host may let go of the object while a sheet it opened is still up, of either kind or both: the object
// stays until the last sheet's DESTROY, its pages work until then, and it goes with that DESTROY.
TEST_F(PropertySheetsTest, AnOpenSheetKeepsTheObjectWhateverOrderTheHostReleasesIn) {
    StoreValue(kPrinter, Model46Defaults());
    plugin->Release();  // the DLL then counts this test's objects alone
    plugin = nullptr;
    std::unique_ptr<DevModeBuffer> devMode;
    for (bool deviceLast : {false, true}) {
        SCOPED_TRACE(deviceLast ? "the device sheet closed last" : "the document sheet closed last");
        IPrintOemUI2* object = NewPlugin();
        ASSERT_NE(object, nullptr);
        ASSERT_EQ(host->NewDevMode(object, printer, 760, 1300, &devMode), S_OK);
        CompstuiHost document(object, SheetKind::Document, host->Module(), printer, L"Brisora-40", devMode.get());
        CompstuiHost device(object, SheetKind::Device, host->Module(), printer, L"Brisora-40");
        ASSERT_EQ(document.Open(), S_OK);
        ASSERT_EQ(device.Open(), S_OK);
        ASSERT_TRUE(document.Sheet().Click(1012));  // Mirror
        EXPECT_EQ(object->Release(), 2u) << "one reference for each open sheet";
        EXPECT_EQ(host->CanUnloadNow(), S_FALSE);

        CompstuiHost& first = deviceLast ? document : device;
        CompstuiHost& last = deviceLast ? device : document;
        first.Sheet().PressOK();
        EXPECT_EQ(host->CanUnloadNow(), S_FALSE);
        last.Sheet().PressOK();
        EXPECT_EQ(host->CanUnloadNow(), S_OK) << "the last DESTROY let the object go";
        Bytes stored;
        ASSERT_TRUE(StoredValue(kPrinter, &stored));
        EXPECT_EQ(stored[64], 1) << "the document sheet's OK stored the mirror";
        StoreValue(kPrinter, Model46Defaults());
        EXPECT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), 0u);
    }
}

// INIT and DESTROY of one sheet find each other through the PROPSHEETUI_INFO's UserData, as the common
// property sheet UI hands it back; a host that sends DESTROY in a new PROPSHEETUI_INFO is still paired
// by its OEMUIPSPARAM, and a DESTROY that names no open sheet ends none.
TEST_F(PropertySheetsTest, DestroyEndsOnlyTheSheetItNames) {
    OEMUIPSPARAM firstParam = Param();
    OEMUIPSPARAM secondParam = Param();
    PROPSHEETUI_INFO first = Info(PROPSHEETUI_REASON_INIT, &firstParam);
    PROPSHEETUI_INFO second = Info(PROPSHEETUI_REASON_INIT, &secondParam);
    ASSERT_EQ(Direct(SheetKind::Document, &first, 0), S_OK);
    ASSERT_EQ(Direct(SheetKind::Document, &second, 0), S_OK);
    EXPECT_NE(first.UserData, 0u);
    EXPECT_NE(first.UserData, second.UserData);
    EXPECT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), 2u);

    PROPSHEETUI_INFO stranger = Info(PROPSHEETUI_REASON_DESTROY, nullptr);
    stranger.UserData = 0x1234;
    EXPECT_EQ(Direct(SheetKind::Document, &stranger, 0), S_OK);
    PROPSHEETUI_INFO otherKind = first;
    otherKind.Reason = PROPSHEETUI_REASON_DESTROY;
    EXPECT_EQ(Direct(SheetKind::Device, &otherKind, 0), S_OK) << "a DESTROY of the other kind";
    EXPECT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), 2u);

    second.Reason = PROPSHEETUI_REASON_DESTROY;
    EXPECT_EQ(Direct(SheetKind::Document, &second, 0), S_OK);
    EXPECT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), 1u);
    EXPECT_EQ(Direct(SheetKind::Document, &second, 0), S_OK) << "the same DESTROY again";
    EXPECT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), 1u);
    // Again once a sheet is open on the same OEMUIPSPARAM: the DESTROY still names the ended one.
    PROPSHEETUI_INFO third = Info(PROPSHEETUI_REASON_INIT, &secondParam);
    ASSERT_EQ(Direct(SheetKind::Document, &third, 0), S_OK);
    EXPECT_EQ(Direct(SheetKind::Document, &second, 0), S_OK);
    EXPECT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), 2u);
    third.Reason = PROPSHEETUI_REASON_DESTROY;
    EXPECT_EQ(Direct(SheetKind::Document, &third, 0), S_OK);
    EXPECT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), 1u);

    PROPSHEETUI_INFO fresh = Info(PROPSHEETUI_REASON_DESTROY, &firstParam);
    EXPECT_EQ(Direct(SheetKind::Document, &fresh, 0), S_OK);
    EXPECT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), 0u);

    // A DESTROY that names nothing ends nothing, even with one sheet of its kind open.
    PROPSHEETUI_INFO device = Info(PROPSHEETUI_REASON_INIT, &firstParam);
    ASSERT_EQ(Direct(SheetKind::Device, &device, 0), S_OK);
    PROPSHEETUI_INFO empty = Info(PROPSHEETUI_REASON_DESTROY, nullptr);
    EXPECT_EQ(Direct(SheetKind::Device, &empty, 0), S_OK);
    EXPECT_EQ(plugin->AddRef(), 3u) << "the device sheet still holds the object";
    plugin->Release();
    // Nor does an INIT again of the sheet still open make another.
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(Direct(SheetKind::Device, &device, 0), E_FAIL);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), 1u);
    device.Reason = PROPSHEETUI_REASON_DESTROY;
    EXPECT_EQ(Direct(SheetKind::Device, &device, 0), S_OK);
    EXPECT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), 1u) << "a device sheet's handle outlives it";
    EXPECT_EQ(plugin->Release(), 0u) << "no sheet holds the object any more";
    plugin = nullptr;
    EXPECT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), 0u);
}

// A host that kept a copy of a closed sheet's PROPSHEETUI_INFO and sends DESTROY with it: that names the
// closed sheet, not the open one made since from the same OEMUIPSPARAM.
TEST_F(PropertySheetsTest, ADestroyNamingAClosedSheetEndsNoneMadeSinceFromTheSameParam) {
    for (SheetKind kind : {SheetKind::Document, SheetKind::Device}) {
        SCOPED_TRACE(kind == SheetKind::Document ? "document sheets" : "device sheets");
        OEMUIPSPARAM param = Param();
        PROPSHEETUI_INFO closed = Info(PROPSHEETUI_REASON_INIT, &param);
        ASSERT_EQ(Direct(kind, &closed, 0), S_OK);
        PROPSHEETUI_INFO stale = closed;
        closed.Reason = PROPSHEETUI_REASON_DESTROY;
        ASSERT_EQ(Direct(kind, &closed, 0), S_OK);
        PROPSHEETUI_INFO open = Info(PROPSHEETUI_REASON_INIT, &param);
        ASSERT_EQ(Direct(kind, &open, 0), S_OK);

        stale.Reason = PROPSHEETUI_REASON_DESTROY;
        EXPECT_EQ(Direct(kind, &stale, 0), S_OK);
        EXPECT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), 1u) << "the open sheet's";
        EXPECT_EQ(plugin->AddRef(), 3u) << "the open sheet still holds the object";
        plugin->Release();
        open.Reason = PROPSHEETUI_REASON_DESTROY;
        EXPECT_EQ(Direct(kind, &open, 0), S_OK);
        EXPECT_EQ(plugin->AddRef(), 2u);
        plugin->Release();
    }
}

// A host that sends DESTROY while the sheet's windows are still up, and again when it closes them: the
// windows, and those of pages it shows only then, reach neither the ended sheet nor its record, and the
// second DESTROY ends nothing else.
TEST_F(PropertySheetsTest, ASheetEndedBeforeItsWindowsIsOutOfTheirReach) {
    StoreValue(kPrinter, Model46Defaults());
    std::unique_ptr<DevModeBuffer> devMode;
    ASSERT_EQ(host->NewDevMode(plugin, printer, 760, 1300, &devMode), S_OK);
    CompstuiHost& early = NewSheet(SheetKind::Document, devMode.get());
    ASSERT_EQ(early.Open(1), S_OK);
    ASSERT_TRUE(early.Sheet().SelectPage(2));
    CompstuiHost other(plugin, SheetKind::Document, host->Module(), printer, L"Brisora-40", devMode.get());
    ASSERT_EQ(other.Open(), S_OK);

    PROPSHEETUI_INFO info = early.Info();
    info.Reason = PROPSHEETUI_REASON_DESTROY;
    EXPECT_EQ(Direct(SheetKind::Document, &info, 0), S_OK);
    EXPECT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), 1u);
    CallCounter writes("SetPrinterDataW");
    // The settings page, not shown before, shows up empty: it has no sheet and no record any more.
    ASSERT_TRUE(early.Sheet().SelectPage(0));
    EXPECT_EQ(SendMessageW(GetDlgItem(early.Sheet().PageWindow(0), 1028), CB_GETCOUNT, 0, 0), 0) << "no speed list";
    ASSERT_TRUE(early.Sheet().Click(1012));
    early.Sheet().PressOK();
    EXPECT_EQ(writes.Calls(), 0) << "the ended sheet's apply went nowhere";
    EXPECT_EQ(early.Calls().back().reason, PROPSHEETUI_REASON_DESTROY);

    ASSERT_TRUE(other.Sheet().Click(1012));  // Mirror, on the sheet still open
    other.Sheet().PressOK();
    EXPECT_EQ(writes.Calls(), 1);
    EXPECT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), 0u);
    EXPECT_EQ(plugin->AddRef(), 2u) << "each DESTROY let go of one sheet's reference";
    plugin->Release();
}

// The core's page-add function may call back into the object: here it ends the other sheet while this
// one's INIT is under way, and the host has already let go of the object. Each sheet keeps its own
// reference for exactly as long as it is open.
PropertySheetsTest* gSheetsTest = nullptr;
PROPSHEETUI_INFO* gEndDuringAdd = nullptr;
LONG_PTR CALLBACK EndingAdd(HANDLE, UINT, LPARAM, LPARAM) {
    if (PROPSHEETUI_INFO* info = gEndDuringAdd) {
        gEndDuringAdd = nullptr;
        info->Reason = PROPSHEETUI_REASON_DESTROY;
        gSheetsTest->EndDuringAdd(info);
    }
    return 1;
}

TEST_F(PropertySheetsTest, ADestroyCalledBackDuringAnInitTakesOnlyItsOwnSheetsReference) {
    OEMUIPSPARAM firstParam = Param();
    OEMUIPSPARAM secondParam = Param();
    PROPSHEETUI_INFO first = Info(PROPSHEETUI_REASON_INIT, &firstParam);
    ASSERT_EQ(Direct(SheetKind::Device, &first, 0), S_OK);
    EXPECT_EQ(plugin->Release(), 1u) << "the open sheet's reference";
    PROPSHEETUI_INFO second = Info(PROPSHEETUI_REASON_INIT, &secondParam);
    second.pfnComPropSheet = EndingAdd;
    gSheetsTest = this;
    gEndDuringAdd = &first;
    ASSERT_EQ(Direct(SheetKind::Device, &second, 0), S_OK);
    EXPECT_EQ(gEndDuringAdd, nullptr) << "the first sheet was ended from the page-add function";
    EXPECT_EQ(plugin->AddRef(), 2u) << "only the second sheet holds the object";
    EXPECT_EQ(plugin->Release(), 1u);
    second.Reason = PROPSHEETUI_REASON_DESTROY;
    EXPECT_EQ(Direct(SheetKind::Device, &second, 0), S_OK);
    EXPECT_EQ(host->CanUnloadNow(), S_OK) << "the last DESTROY let the object go";
    plugin = nullptr;
    EXPECT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), 0u);
}

// The page-add function ends the very sheet whose INIT adds the page: that INIT adds no more pages,
// fails, and leaves neither the sheet's handle nor its reference on the object.
PROPSHEETUI_INFO* gOwnInit = nullptr;
SheetKind gOwnKind = SheetKind::Document;
int gAdds = 0;
LONG_PTR CALLBACK EndingOwnAdd(HANDLE, UINT, LPARAM, LPARAM) {
    ++gAdds;
    if (PROPSHEETUI_INFO* info = gOwnInit) {
        gOwnInit = nullptr;
        PROPSHEETUI_INFO destroy = *info;
        destroy.Reason = PROPSHEETUI_REASON_DESTROY;
        gSheetsTest->EndDuringAdd(&destroy, gOwnKind);
    }
    return 1;
}

TEST_F(PropertySheetsTest, AnInitWhoseSheetIsEndedFromItsPageAddStops) {
    for (SheetKind kind : {SheetKind::Document, SheetKind::Device}) {
        SCOPED_TRACE(kind == SheetKind::Document ? "document sheet" : "device sheet");
        OEMUIPSPARAM param = Param();
        PROPSHEETUI_INFO info = Info(PROPSHEETUI_REASON_INIT, &param);
        info.pfnComPropSheet = EndingOwnAdd;
        gSheetsTest = this;
        gOwnInit = &info;
        gOwnKind = kind;
        gAdds = 0;
        EXPECT_EQ(Direct(kind, &info, 0), E_FAIL) << "the sheet it made is gone";
        EXPECT_EQ(gOwnInit, nullptr);
        EXPECT_EQ(gAdds, 1) << "no page added after the sheet ended";
        EXPECT_EQ(plugin->AddRef(), 2u) << "no sheet holds the object";
        plugin->Release();
        EXPECT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), kind == SheetKind::Document ? 0u : 1u)
            << "a device sheet's handle outlives it";
    }
}

// The host let go of the object while a sheet was open; the next sheet's page-add function ends that sheet
// and then the one being made. The object outlives the INIT that is still running, and goes with it.
IPrintOemUI2* gEndingPlugin = nullptr;
PROPSHEETUI_INFO* gOpenSheet = nullptr;
PROPSHEETUI_INFO* gMadeSheet = nullptr;
HRESULT gUnloadDuringInit = E_FAIL;
LONG_PTR CALLBACK EndingBothAdd(HANDLE, UINT, LPARAM, LPARAM) {
    if (gOpenSheet) {
        PROPSHEETUI_INFO open = *gOpenSheet;
        PROPSHEETUI_INFO made = *gMadeSheet;
        gOpenSheet = nullptr;
        open.Reason = PROPSHEETUI_REASON_DESTROY;
        made.Reason = PROPSHEETUI_REASON_DESTROY;
        EXPECT_EQ(gEndingPlugin->DevicePropertySheets(&open, 0), S_OK);
        EXPECT_EQ(gEndingPlugin->DocumentPropertySheets(&made, 0), S_OK);
        gUnloadDuringInit = gSheetsTest->CanUnloadNow();
    }
    return 1;
}

TEST_F(PropertySheetsTest, TheObjectOutlivesAnInitWhosePageAddEndsEverySheet) {
    OEMUIPSPARAM openParam = Param();
    OEMUIPSPARAM madeParam = Param();
    PROPSHEETUI_INFO open = Info(PROPSHEETUI_REASON_INIT, &openParam);
    ASSERT_EQ(Direct(SheetKind::Device, &open, 0), S_OK);
    EXPECT_EQ(plugin->Release(), 1u) << "the open sheet's reference";
    IPrintOemUI2* object = plugin;
    plugin = nullptr;
    PROPSHEETUI_INFO made = Info(PROPSHEETUI_REASON_INIT, &madeParam);
    made.pfnComPropSheet = EndingBothAdd;
    gSheetsTest = this;
    gEndingPlugin = object;
    gOpenSheet = &open;
    gMadeSheet = &made;
    gUnloadDuringInit = E_FAIL;
    EXPECT_EQ(object->DocumentPropertySheets(&made, 0), E_FAIL) << "the sheet it made was ended";
    EXPECT_EQ(gUnloadDuringInit, S_FALSE) << "the object went while its INIT was still running";
    EXPECT_EQ(host->CanUnloadNow(), S_OK) << "the object went with the INIT";
    EXPECT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), 0u);
}

// A host that ends a sheet before showing all its pages and lets go of the object may still show them:
// they show nothing and store nothing, and the option items it still holds store nothing either.
PropertySheet* gHostSheet = nullptr;
LONG_PTR CALLBACK SheetAdd(HANDLE, UINT, LPARAM page, LPARAM) {
    return gHostSheet->AddPage(*reinterpret_cast<const PROPSHEETPAGEW*>(page)) ? 1 : -1;
}

TEST_F(PropertySheetsTest, PagesAndItemsUsedAfterTheObjectWentDoNothing) {
    StoreValue(kPrinter, Model46Defaults());
    std::unique_ptr<DevModeBuffer> devMode;
    ASSERT_EQ(host->NewDevMode(plugin, printer, 760, 1300, &devMode), S_OK);
    PropertySheet sheet;
    gHostSheet = &sheet;
    OEMUIPSPARAM param = Param();
    param.pPublicDM = devMode->Public();
    param.pOEMDM = devMode->Oem();
    PROPSHEETUI_INFO info = Info(PROPSHEETUI_REASON_INIT, &param);
    info.pfnComPropSheet = SheetAdd;
    ASSERT_EQ(Direct(SheetKind::Document, &info, 0), S_OK);
    ASSERT_TRUE(sheet.Show(2));  // on the About page; the other two never shown
    winsim::control::CommonUIHost items(plugin, host->Module(), printer, L"Brisora-40", devMode.get());
    ASSERT_EQ(items.Describe(OEMCUIP_DOCPROP), S_OK);
    info.Reason = PROPSHEETUI_REASON_DESTROY;
    EXPECT_EQ(Direct(SheetKind::Document, &info, 0), S_OK);
    ASSERT_EQ(plugin->Release(), 0u) << "the host's last reference let the object go";
    plugin = nullptr;
    EXPECT_EQ(host->CanUnloadNow(), S_FALSE) << "a page dialog still runs on the module's code";

    CallCounter writes("SetPrinterDataW");
    ASSERT_TRUE(sheet.SelectPage(0));
    EXPECT_EQ(SendMessageW(GetDlgItem(sheet.PageWindow(0), 1028), CB_GETCOUNT, 0, 0), 0) << "no speed list";
    ASSERT_TRUE(sheet.Click(1012));
    ASSERT_TRUE(sheet.SelectPage(1));
    sheet.PressOK();
    items.Select(1, 55);
    items.Apply();
    EXPECT_EQ(writes.Calls(), 0);
    EXPECT_EQ(OpenHandles(PRINTER_ACCESS_ADMINISTER), 0u);
    sheet.Close();
    EXPECT_EQ(host->CanUnloadNow(), S_OK) << "the last page dialog went";
}

// What the host holds of a sheet that went names nothing of what was made since, even where a new page
// or a new object took the address of one that went: a page of a sheet ended before it was shown stays
// empty beside a new sheet's, and items of an object the host let go store nothing through a new object.
TEST_F(PropertySheetsTest, WhatTheHostHoldsOfAnEndedSheetOrObjectReachesNothingMadeSince) {
    Bytes record = Model46Defaults();
    PutU32(record, 64, 1);  // Mirror on
    StoreValue(kPrinter, record);
    std::unique_ptr<DevModeBuffer> devMode;
    ASSERT_EQ(host->NewDevMode(plugin, printer, 760, 1300, &devMode), S_OK);
    CompstuiHost ended(plugin, SheetKind::Document, host->Module(), printer, L"Brisora-40", devMode.get());
    ASSERT_EQ(ended.Open(2), S_OK);  // the settings page never shown
    PROPSHEETUI_INFO info = ended.Info();
    info.Reason = PROPSHEETUI_REASON_DESTROY;
    EXPECT_EQ(Direct(SheetKind::Document, &info, 0), S_OK);
    CompstuiHost open(plugin, SheetKind::Document, host->Module(), printer, L"Brisora-40", devMode.get());
    ASSERT_EQ(open.Open(2), S_OK);

    CallCounter writes("SetPrinterDataW");
    ASSERT_TRUE(ended.Sheet().SelectPage(0));
    EXPECT_EQ(SendMessageW(GetDlgItem(ended.Sheet().PageWindow(0), 1028), CB_GETCOUNT, 0, 0), 0) << "no speed list";
    ASSERT_TRUE(ended.Sheet().Click(1012));
    ended.Sheet().PressOK();
    EXPECT_EQ(writes.Calls(), 0) << "the ended sheet's page stored";
    ASSERT_TRUE(open.Sheet().SelectPage(0));
    EXPECT_EQ(SendMessageW(GetDlgItem(open.Sheet().PageWindow(0), 1012), BM_GETCHECK, 0, 0), BST_CHECKED);
    open.Sheet().PressOK();
    Bytes stored;
    ASSERT_TRUE(StoredValue(kPrinter, &stored));
    EXPECT_EQ(GetU32(stored.data(), 64), 1u) << "the open sheet stored another's change";

    winsim::control::CommonUIHost oldItems(plugin, host->Module(), printer, L"Brisora-40", devMode.get());
    ASSERT_EQ(oldItems.Describe(OEMCUIP_DOCPROP), S_OK);
    plugin->Release();
    plugin = NewPlugin();
    ASSERT_NE(plugin, nullptr);
    ASSERT_EQ(host->DevMode(plugin, OEMDM_MERGE, printer, nullptr, devMode.get()), S_OK);
    CompstuiHost device(plugin, SheetKind::Device, host->Module(), printer, L"Brisora-40");
    ASSERT_EQ(device.Open(), S_OK);  // a handle the items could store through
    winsim::control::CommonUIHost items(plugin, host->Module(), printer, L"Brisora-40", devMode.get());
    ASSERT_EQ(items.Describe(OEMCUIP_DOCPROP), S_OK);
    const int before = writes.Calls();
    oldItems.Select(1, 55);
    oldItems.Apply();
    EXPECT_EQ(writes.Calls(), before) << "items of the object that went stored through the new one";
}

class SheetApplyTest : public SheetTest {
protected:
    void SetUp() override {
        SheetTest::SetUp();
        if (HasFatalFailure()) return;
        StoreValue(kPrinter, Model46Defaults());
        // The core merges the job's DEVMODE before the sheet opens; the sheet gets a copy whose settings
        // body is cleared, so a commit shows in it.
        ASSERT_EQ(host->NewDevMode(plugin, printer, 760, 1300, &devMode), S_OK);
        std::memset(devMode->Oem() + 12, 0, 128);
    }

    Bytes Body() const { return Bytes(devMode->Oem() + 12, devMode->Oem() + 140); }

    std::unique_ptr<DevModeBuffer> devMode;
};

TEST_F(SheetApplyTest, ApplyOnAnyShownPageCommitsTheSettingsPage) {
    CompstuiHost& host = NewSheet(SheetKind::Document, devMode.get());
    ASSERT_EQ(host.Open(), S_OK);
    ASSERT_TRUE(host.Sheet().SelectPage(2));
    StoreValue(kPrinter, Bytes(128, 0xEE));
    CallCounter writes("SetPrinterDataW");
    host.Sheet().PressOK();

    // PSN_APPLY reached the settings page and the About page; each ran the settings page's commit.
    int applies = 0;
    for (const auto& n : host.Sheet().Notifications()) {
        if (n.code != PSN_APPLY) continue;
        ++applies;
        EXPECT_EQ(n.lParam, TRUE);
        EXPECT_EQ(n.answer, PSNRET_NOERROR);
    }
    EXPECT_EQ(applies, 2);
    EXPECT_EQ(writes.Calls(), 2);
    Bytes stored;
    ASSERT_TRUE(StoredValue(kPrinter, &stored));
    EXPECT_EQ(stored, Model46Defaults());
    EXPECT_EQ(Body(), Model46Defaults());
}

TEST_F(SheetApplyTest, SettingsPageThatWasNeverShownCommitsNothing) {
    CompstuiHost& host = NewSheet(SheetKind::Document, devMode.get());
    ASSERT_EQ(host.Open(2), S_OK);  // on the About page
    EXPECT_EQ(host.Sheet().PageWindow(0), nullptr);
    CallCounter writes("SetPrinterDataW");
    host.Sheet().PressOK();
    EXPECT_EQ(writes.Calls(), 0);
    EXPECT_EQ(Body(), Bytes(128, 0));

    // Cancel commits nothing either, shown or not.
    CompstuiHost& again = NewSheet(SheetKind::Document, devMode.get());
    ASSERT_EQ(again.Open(), S_OK);
    again.Sheet().PressCancel();
    EXPECT_EQ(writes.Calls(), 0);
    EXPECT_EQ(Body(), Bytes(128, 0));
}

}  // namespace
}  // namespace uiplugin_test
