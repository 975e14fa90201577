// The OEM UI plug-in object as the printer-driver UI core uses it: GetInfo, the helper it is handed,
// DeviceCapabilities, the interfaces it answers and the methods it leaves to the core. Source of
// truth: the IPrintOemUI2 documentation (GetInfo modes, the DC_* units) and the plug-in's published
// signature 0x4E51 and version 3.
#include <control.h>

#include <array>

#include "PluginTest.h"

namespace uiplugin_test {
namespace {

using winsim::control::CoreHelper;

using PluginObjectTest = PluginObjectFixture;

TEST_F(PluginObjectTest, GetInfoAnswersSignatureVersionAndWantedHelper) {
    struct Case {
        DWORD mode;
        DWORD answer;
    };
    for (const Case& c : {Case{OEMGI_GETSIGNATURE, 0x4E51}, Case{OEMGI_GETVERSION, 3},
                          Case{OEMGI_GETREQUESTEDHELPERINTERFACES, OEMPUBLISH_IPRINTCOREHELPER}}) {
        DWORD value = 0xDEADBEEF;
        DWORD needed = 0;
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(plugin->GetInfo(c.mode, &value, sizeof value, &needed), S_OK) << c.mode;
        EXPECT_EQ(value, c.answer) << c.mode;
        EXPECT_EQ(needed, 4u) << c.mode;
        EXPECT_EQ(GetLastError(), 0xDEADBEEFu) << c.mode;
    }
}

TEST_F(PluginObjectTest, GetInfoReportsShortBuffersWithTheNeededSize) {
    BYTE small[2] = {0x11, 0x22};
    DWORD needed = 0;
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(plugin->GetInfo(OEMGI_GETSIGNATURE, small, sizeof small, &needed), E_FAIL);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, 4u);
    EXPECT_EQ(small[0], 0x11);
    EXPECT_EQ(small[1], 0x22);

    needed = 0;
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(plugin->GetInfo(OEMGI_GETVERSION, nullptr, 4, &needed), E_FAIL);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, 4u);
}

TEST_F(PluginObjectTest, GetInfoRefusesOtherModesAndAMissingSizePointer) {
    for (DWORD mode : {0u, static_cast<DWORD>(OEMGI_GETINTERFACEVERSION), static_cast<DWORD>(OEMGI_GETPUBLISHERINFO),
                       6u}) {
        DWORD value = 0x12345678;
        DWORD needed = 0xDEAD;
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(plugin->GetInfo(mode, &value, sizeof value, &needed), E_FAIL) << mode;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << mode;
        EXPECT_EQ(needed, 0xDEADu) << mode;
        EXPECT_EQ(value, 0x12345678u) << mode;
    }
    DWORD value = 0;
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(plugin->GetInfo(OEMGI_GETSIGNATURE, &value, sizeof value, nullptr), E_FAIL);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(PluginObjectTest, AnswersOnlyIUnknownAndIPrintOemUI2) {
    for (const GUID& iid : {IID_IPrintOemUI, IID_IPrintOemCommon, IID_IClassFactory, IID_IPrintCoreHelper}) {
        void* out = reinterpret_cast<void*>(0x5A5A5A5A);
        EXPECT_EQ(plugin->QueryInterface(iid, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
    }
    IUnknown* unknown = nullptr;
    IPrintOemUI2* again = nullptr;
    ASSERT_EQ(plugin->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    ASSERT_EQ(plugin->QueryInterface(IID_IPrintOemUI2, reinterpret_cast<void**>(&again)), S_OK);
    EXPECT_EQ(unknown, static_cast<IUnknown*>(plugin));
    EXPECT_EQ(again, plugin);
    EXPECT_EQ(plugin->Release(), 2u);
    EXPECT_EQ(plugin->Release(), 1u);
}

TEST_F(PluginObjectTest, KeepsTheFirstPublishedHelperUntilItGoes) {
    CoreHelper first;
    CoreHelper second;
    EXPECT_EQ(host->Publish(plugin, &first), S_OK);
    EXPECT_EQ(first.References(), 2);
    EXPECT_EQ(first.HelperQueries(), 1);

    EXPECT_EQ(host->Publish(plugin, &second), S_OK);
    EXPECT_EQ(second.HelperQueries(), 0);
    EXPECT_EQ(second.References(), 1);

    plugin->Release();
    plugin = nullptr;
    EXPECT_EQ(first.References(), 1);
    EXPECT_EQ(second.References(), 1);
}

TEST_F(PluginObjectTest, HelperWithoutTheCoreInterfaceIsNotKept) {
    CoreHelper refusing;
    refusing.answersHelper = false;
    EXPECT_EQ(plugin->PublishDriverInterface(&refusing), E_FAIL);
    EXPECT_EQ(refusing.References(), 1);

    // Nothing was kept, so a later helper is asked and kept.
    CoreHelper good;
    EXPECT_EQ(plugin->PublishDriverInterface(&good), S_OK);
    EXPECT_EQ(good.HelperQueries(), 1);
    EXPECT_EQ(good.References(), 2);
    plugin->Release();
    plugin = nullptr;
    EXPECT_EQ(good.References(), 1);
    EXPECT_EQ(refusing.References(), 1);
}

TEST_F(PluginObjectTest, DeviceCapabilitiesAppendsTheCustomPaper) {
    std::array<WORD, 8> papers;
    papers.fill(0xEEEE);
    DWORD result = 0;
    EXPECT_EQ(host->DeviceCapabilities(plugin, printer, DC_PAPERS, papers.data(), 5, &result), S_OK);
    EXPECT_EQ(result, 6u);
    EXPECT_EQ(papers[5], DMPAPER_USER);
    for (size_t i : {0u, 4u, 6u, 7u}) EXPECT_EQ(papers[i], 0xEEEE) << i;

    std::array<POINT, 4> sizes;
    sizes.fill(POINT{-1, -1});
    EXPECT_EQ(host->DeviceCapabilities(plugin, printer, DC_PAPERSIZE, sizes.data(), 2, &result), S_OK);
    EXPECT_EQ(result, 3u);
    EXPECT_EQ(sizes[2].x, 210);  // tenths of a millimetre
    EXPECT_EQ(sizes[2].y, 297);
    EXPECT_EQ(sizes[1].x, -1);
    EXPECT_EQ(sizes[3].y, -1);

    // Names come from the module's own string table, found through the handle DllMain was given.
    std::array<WCHAR, 3 * 64> names;
    names.fill(L'#');
    EXPECT_EQ(host->DeviceCapabilities(plugin, printer, DC_PAPERNAMES, names.data(), 1, &result), S_OK);
    EXPECT_EQ(result, 2u);
    EXPECT_EQ(std::wstring(names.data() + 64), L"Custom Size");
    EXPECT_EQ(names[63], L'#');
    EXPECT_EQ(names[128], L'#');

    // Each language's table carries the name: the loader picks the language per block of ids.
    for (const auto& [language, name] : {std::pair<int, std::wstring>{1041, L"カスタムサイズ"}, {2052, L"自定义尺寸"}}) {
        SCOPED_TRACE(language);
        winsim::control::Change([language = language](winsim::control::Json& machine) {
            machine["system"]["uiLanguage"] = winsim::control::Json::number(language);
        });
        names.fill(L'#');
        EXPECT_EQ(host->DeviceCapabilities(plugin, printer, DC_PAPERNAMES, names.data(), 1, &result), S_OK);
        EXPECT_EQ(std::wstring(names.data() + 64), name);
    }
}

TEST_F(PluginObjectTest, DeviceCapabilitiesCountsAndKeepsTheDriversFailure) {
    DWORD result = 0;
    EXPECT_EQ(host->DeviceCapabilities(plugin, printer, DC_PAPERS, nullptr, 5, &result), S_OK);
    EXPECT_EQ(result, 6u);

    std::array<WORD, 2> papers{0xEEEE, 0xEEEE};
    EXPECT_EQ(host->DeviceCapabilities(plugin, printer, DC_PAPERS, papers.data(), 0xFFFFFFFF, &result), S_OK);
    EXPECT_EQ(result, 0xFFFFFFFFu);
    EXPECT_EQ(papers[0], 0xEEEE);
    EXPECT_EQ(papers[1], 0xEEEE);

    for (WORD capability : {static_cast<WORD>(DC_ORIENTATION), static_cast<WORD>(DC_BINS),
                            static_cast<WORD>(DC_COPIES)}) {
        result = 0xABCD;
        EXPECT_EQ(host->DeviceCapabilities(plugin, printer, capability, papers.data(), 1, &result), E_NOTIMPL);
        EXPECT_EQ(result, 0xABCDu);
        EXPECT_EQ(papers[1], 0xEEEE);
    }

    SetLastError(0xDEADBEEF);
    EXPECT_EQ(host->DeviceCapabilities(plugin, printer, DC_PAPERS, papers.data(), 1, nullptr), E_FAIL);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// The core's handle went through DevMode and DeviceCapabilities, but a handle of the object's own exists only
// while a sheet is open.
TEST_F(PluginObjectTest, GoingWithoutEverOpeningASheetClosesNoPrinterHandle) {
    HANDLE administer = Open(kPrinter, PRINTER_ACCESS_ADMINISTER);
    ASSERT_NE(administer, nullptr);
    std::unique_ptr<winsim::control::DevModeBuffer> devMode;
    ASSERT_EQ(host->NewDevMode(plugin, printer, 760, 1300, &devMode), S_OK);
    DWORD result = 0;
    ASSERT_EQ(host->DeviceCapabilities(plugin, printer, DC_PAPERS, nullptr, 5, &result), S_OK);

    plugin->Release();
    plugin = nullptr;
    using winsim::control::OpenPrinterHandles;
    EXPECT_EQ(OpenPrinterHandles(kPrinter, PRINTER_ALL_ACCESS), std::vector<HANDLE>{printer});
    EXPECT_EQ(OpenPrinterHandles(kPrinter, PRINTER_ACCESS_ADMINISTER), std::vector<HANDLE>{administer});
}

TEST_F(PluginObjectTest, MethodsLeftToTheCoreAnswerNotImplemented) {
    WCHAR name[] = L"Printer";
    BYTE buffer[16] = {};
    INT result = 0;
    EXPECT_EQ(plugin->DevQueryPrintEx(nullptr, nullptr, nullptr, nullptr), E_NOTIMPL);
    EXPECT_EQ(plugin->UpgradePrinter(1, buffer), E_NOTIMPL);
    EXPECT_EQ(plugin->PrinterEvent(name, 1, 0, 0), E_NOTIMPL);
    EXPECT_EQ(plugin->DriverEvent(1, 1, buffer, 0), E_NOTIMPL);
    EXPECT_EQ(plugin->QueryColorProfile(printer, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr), E_NOTIMPL);
    EXPECT_EQ(plugin->FontInstallerDlgProc(nullptr, 0, 0, 0), E_NOTIMPL);
    EXPECT_EQ(plugin->UpdateExternalFonts(printer, nullptr, name), E_NOTIMPL);
    EXPECT_EQ(plugin->QueryJobAttributes(printer, nullptr, 1, buffer), E_NOTIMPL);
    EXPECT_EQ(plugin->HideStandardUI(1), E_NOTIMPL);
    EXPECT_EQ(plugin->DocumentEvent(printer, nullptr, 0, 0, nullptr, 0, nullptr, &result), E_NOTIMPL);
}

// The helper going last inside the object's destruction gives the host a defined way to release once
// more than it holds: the object is still there, its count is 0.
TEST_F(PluginObjectTest, ReleasingMoreThanHeldAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    IPrintOemUI2* doomed = plugin;
    plugin = nullptr;
    EXPECT_DEATH(
        {
            CoreHelper helper;
            helper.onLastRelease = [doomed] { doomed->Release(); };
            host->Publish(doomed, &helper);
            helper.Release();
            doomed->Release();
        },
        "intrface\\.cpp:[0-9]+: .*Release.*Assertion `0 != m_cRef' failed");
    doomed->Release();
}

}  // namespace
}  // namespace uiplugin_test
