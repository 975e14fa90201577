// The settings module's small operations, called in-process: the ones the COM face does not reach.
#include <cstring>
#include <string>

#include "Helpers.h"
#include "ModelCaps.h"
#include "PluginTest.h"
#include "PrinterSettings.h"

namespace uiplugin_test {
namespace {

TEST(ModelCapsTest, RangesClampToTheModelsDefault) {
    EXPECT_EQ(ClampDensity(46, 1), 1);
    EXPECT_EQ(ClampDensity(46, 15), 15);
    EXPECT_EQ(ClampDensity(46, 16), 8);
    EXPECT_EQ(ClampDensity(46, 0), 8);
    EXPECT_EQ(ClampDensity(46, -1), 8);  // not below the range for an unsigned comparison either
    EXPECT_EQ(ClampSpeed(47, 8), 8);
    EXPECT_EQ(ClampSpeed(47, 9), 5);
    EXPECT_EQ(ClampSpeed(44, -200), 5);
    // A model without a row has no range at all.
    EXPECT_EQ(ClampDensity(27, 8), 0);
    EXPECT_EQ(ClampSpeed(0, 5), 0);
}

TEST(ModelCapsTest, LookupsFindOnlyExactKeys) {
    for (int32_t id : {44, 45, 46, 47}) {
        ASSERT_NE(FindModelCaps(id), nullptr) << id;
        EXPECT_EQ(FindModelCaps(id)->modelId, id);
    }
    EXPECT_EQ(FindModelCaps(43), nullptr);
    EXPECT_EQ(FindModelCaps(0), nullptr);

    ASSERT_NE(GetModelByDriverName(L"Brisora-40P"), nullptr);
    EXPECT_EQ(GetModelByDriverName(L"Brisora-40P")->modelId, 47);
    EXPECT_EQ(GetModelByDriverName(L"Brisora-40")->modelId, 46);
    EXPECT_EQ(GetModelByDriverName(L"brisora-40"), nullptr);
    EXPECT_EQ(GetModelByDriverName(L"Brisora-4"), nullptr);
    EXPECT_EQ(GetModelByDriverName(nullptr), nullptr);
    ASSERT_NE(GetModelById(47), nullptr);
    EXPECT_EQ(std::wstring(GetModelById(47)->driverName), L"Brisora-40P");
    EXPECT_EQ(GetModelById(45), nullptr);
}

TEST(OemPartTest, HeaderAndCopyRefuseMissingParts) {
    QVOemDevMode part;
    std::memset(&part, 0x33, sizeof part);
    EXPECT_FALSE(InitOemExtraHeader(nullptr));
    EXPECT_FALSE(CopyOemDevMode(nullptr, &part));
    EXPECT_FALSE(CopyOemDevMode(&part, nullptr));
    EXPECT_TRUE(InitOemExtraHeader(&part));
    EXPECT_EQ(part.dmOEMExtra.dwSize, 140u);
    EXPECT_EQ(part.dmOEMExtra.dwSignature, kSignature);
    EXPECT_EQ(part.dmOEMExtra.dwVersion, 3u);
    EXPECT_EQ(part.body.speed, 0x33333333);

    QVOemDevMode copy;
    std::memset(&copy, 0, sizeof copy);
    copy.dmOEMExtra.dwSize = 0x10000;
    copy.dmOEMExtra.dwSignature = kSignature;
    EXPECT_TRUE(CopyOemDevMode(&part, &copy));
    EXPECT_EQ(std::memcmp(&copy, &part, sizeof part), 0);
}

TEST(PathFileNameTest, PointsAfterTheLastBackslash) {
    const char full[] = "C:\\Windows\\System32\\spool\\Velumor.dll";
    EXPECT_EQ(PathFileName(full), full + 26);
    const char bare[] = "Velumor.dll";
    EXPECT_EQ(PathFileName(bare), bare);
    const char folder[] = "C:\\drivers\\";
    EXPECT_STREQ(PathFileName(folder), "");
    const char forward[] = "a/b";  // only the backslash separates
    EXPECT_EQ(PathFileName(forward), forward);
}

TEST(DebugPrintTest, NarrowTextGrowsUntilItFits) {
    std::string long_text(3000, 'x');
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(DebugPrintA("%s|%d", long_text.c_str(), 42));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), long_text + "|42");

    EXPECT_FALSE(DebugPrintA(nullptr));
}

TEST(DebugPrintTest, NarrowTextThatNeverFitsIsCut) {
    // Ten attempts reach 1024 * 2^9 characters, the terminator included.
    std::string huge(600000, 'y');
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(DebugPrintA("%s", huge.c_str()));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), std::string(1024 * 512 - 1, 'y'));
}

TEST(DebugPrintTest, WideTextIsCutAt260) {
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(DebugPrintW(L"%d-%ls", 7, L"ok"));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "7-ok");

    std::wstring wide(300, L'z');
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(DebugPrintW(L"%ls", wide.c_str()));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), std::string(259, 'z'));
    EXPECT_FALSE(DebugPrintW(nullptr));
}

using LoadResStringTest = PluginTest;

TEST_F(LoadResStringTest, StringsComeFromTheModulesTableIntoTheHeap) {
    HANDLE heap = HeapCreate(0, 0, 0);
    ASSERT_NE(heap, nullptr);
    LPWSTR text = LoadResString(heap, reinterpret_cast<HINSTANCE>(host->Module()), 5016);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::wstring(text), L"Custom Size");
    EXPECT_EQ(LoadResString(heap, reinterpret_cast<HINSTANCE>(host->Module()), 4999), nullptr);
    HeapDestroy(heap);  // frees the string with the heap, as the core's heap does
}

using NoPaperMergeTest = PluginTest;

TEST_F(NoPaperMergeTest, StoredRecordGoesIntoThePartUnchanged) {
    winsim::control::DevModeBuffer out(140);
    out.Public()->dmPaperWidth = 1000;
    out.Public()->dmPaperLength = 500;
    OEMDMPARAM param{};
    param.cbSize = sizeof param;
    param.hPrinter = printer;
    param.pPublicDMOut = out.Public();
    param.pOEMDMOut = out.Oem();
    EXPECT_EQ(OemDevModeNoPaper(OEMDM_MERGE, &param), S_OK);
    EXPECT_EQ(Bytes(out.Oem(), out.Oem() + 12), Header(140, kSignature, 3));
    EXPECT_EQ(Bytes(out.Oem() + 12, out.Oem() + 140), Model46Defaults());

    // The object's buffer is where OemDevMode's MERGE puts the record; without one it cannot merge.
    EXPECT_EQ(OemDevMode(OEMDM_MERGE, &param, nullptr), E_OUTOFMEMORY);
}

}  // namespace
}  // namespace uiplugin_test
