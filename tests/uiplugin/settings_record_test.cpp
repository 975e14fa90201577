// The settings record in the printer's data and in the private DEVMODE part, through the loaded
// plug-in's DevMode as the core calls it. The expected bytes are written from the record's documented
// offsets, not from the plug-in's structures.
#include <sys/mman.h>
#include <unistd.h>

#include <control.h>

#include <cstring>

#include "PluginTest.h"

namespace uiplugin_test {
namespace {

using winsim::control::DevModeBuffer;

Bytes Body(DevModeBuffer& devmode) { return Bytes(devmode.Oem() + 12, devmode.Oem() + 140); }
Bytes HeaderOf(DevModeBuffer& devmode) { return Bytes(devmode.Oem(), devmode.Oem() + 12); }

::testing::AssertionResult DriverPartUntouched(DevModeBuffer& devmode) {
    for (int i = 0; i < DevModeBuffer::kDriverPartSize; ++i) {
        if (devmode.DriverPart()[i] != DevModeBuffer::kDriverPartByte) {
            return ::testing::AssertionFailure() << "driver's byte " << i << " changed";
        }
    }
    return ::testing::AssertionSuccess();
}

class SettingsRecordTest : public PluginObjectFixture {
protected:
    // A job DEVMODE built as the core builds one, for a printer handle.
    std::unique_ptr<DevModeBuffer> Merged(HANDLE handle, short width = 1000, short length = 500) {
        std::unique_ptr<DevModeBuffer> devmode;
        EXPECT_EQ(host->NewDevMode(plugin, handle, width, length, &devmode), S_OK);
        return devmode;
    }

};

TEST_F(SettingsRecordTest, FirstMergeStoresTheModelDefaults) {
    ASSERT_FALSE(StoredValue(kPrinter, nullptr));
    auto devmode = Merged(printer, 1000, 500);
    ASSERT_TRUE(devmode);

    Bytes stored;
    uint32_t type = 0;
    ASSERT_TRUE(StoredValue(kPrinter, &stored, &type));
    EXPECT_EQ(type, static_cast<uint32_t>(REG_BINARY));
    EXPECT_EQ(stored, Model46Defaults());

    // The job carries the same record with the public DEVMODE's paper: 100.0 x 50.0 mm.
    Bytes body = Model46Defaults();
    PutU32(body, 4, FloatBits(100.0f));
    PutU32(body, 8, FloatBits(50.0f));
    EXPECT_EQ(HeaderOf(*devmode), Header(140, kSignature, 3));
    EXPECT_EQ(Body(*devmode), body);
    EXPECT_TRUE(DriverPartUntouched(*devmode));
    EXPECT_EQ(devmode->Public()->dmPaperWidth, 1000);
}

TEST_F(SettingsRecordTest, PaperSizeIsReadAsSignedTenths) {
    auto devmode = Merged(printer, -1, 7);
    ASSERT_TRUE(devmode);
    EXPECT_EQ(GetU32(devmode->Oem(), 12 + 4), FloatBits(-0.1f));
    EXPECT_EQ(GetU32(devmode->Oem(), 12 + 8), FloatBits(0.7f));
    // The stored record keeps its own paper size.
    Bytes stored;
    ASSERT_TRUE(StoredValue(kPrinter, &stored));
    EXPECT_EQ(GetU32(stored.data(), 4), 0x42980000u);
}

TEST_F(SettingsRecordTest, UnknownDriverGetsModelZeroWithoutModelDefaults) {
    AddPrinter("Office", "Generic Text Only");
    HANDLE office = Open("Office", PRINTER_ALL_ACCESS);
    ASSERT_NE(office, nullptr);
    ASSERT_TRUE(Merged(office));
    Bytes expected = Model46Defaults();
    PutU32(expected, 0, 0);    // modelId
    PutU32(expected, 84, 0);   // cmdType
    expected[127] = 0;         // driverImageOffset
    Bytes stored;
    ASSERT_TRUE(StoredValue("Office", &stored));
    EXPECT_EQ(stored, expected);
    EXPECT_FALSE(StoredValue(kPrinter, nullptr));
}

// Without a stored value nothing can be lost: the job gets model 0's defaults and they are stored, and the
// next read that can tell the model puts it in the record.
// Once the model can be told, the fields its row supplies take its defaults, as its new record gets them:
// under model 0 they held no model's values. Everything else in the record stays.
TEST_F(SettingsRecordTest, UnreadableDriverWithoutAStoredValueStoresModelZeroUntilTheModelCanBeTold) {
    Bytes model0 = Model46Defaults();
    PutU32(model0, 0, 0);   // modelId
    PutU32(model0, 84, 0);  // cmdType
    model0[127] = 0;        // driverImageOffset
    for (const char* failing : {"GetPrinterDriverW", "GlobalAlloc"}) {
        SCOPED_TRACE(failing);
        WCHAR value[] = L"OEM_ZL_PRINTER_VALUE";
        DeletePrinterDataW(printer, value);
        winsim::control::InjectFault(failing, ERROR_NOT_ENOUGH_MEMORY);
        auto devmode = Merged(printer);
        ASSERT_TRUE(devmode);
        EXPECT_EQ(PendingFaults(failing), 0);
        EXPECT_EQ(GetU32(devmode->Oem(), 12 + 0), 0u);
        EXPECT_EQ(GetU32(devmode->Oem(), 12 + 84), 0u);
        Bytes stored;
        ASSERT_TRUE(StoredValue(kPrinter, &stored));
        EXPECT_EQ(stored, model0);

        // Chosen under model 0: a speed (a row's field) and a rotation (not one).
        Bytes chosen = model0;
        PutU32(chosen, 36, 3);
        PutU32(chosen, 60, 2);
        StoreValue(kPrinter, chosen);
        devmode = Merged(printer);
        ASSERT_TRUE(devmode);
        Bytes corrected = Model46Defaults();
        PutU32(corrected, 60, 2);
        ASSERT_TRUE(StoredValue(kPrinter, &stored));
        EXPECT_EQ(stored, corrected);
        PutU32(corrected, 4, FloatBits(100.0f));  // the job's paper
        PutU32(corrected, 8, FloatBits(50.0f));
        EXPECT_EQ(Bytes(devmode->Oem() + 12, devmode->Oem() + 140), corrected);
    }
}

TEST_F(SettingsRecordTest, ImageScaleBelowTenIsRepairedAndWrittenBack) {
    for (int scale : {5, 0, -3}) {
        SCOPED_TRACE(scale);
        Bytes old = Model46Defaults();
        PutU32(old, 36, 3);  // a speed the user chose, which the repair keeps
        PutU16(old, 96, static_cast<uint16_t>(scale));
        StoreValue(kPrinter, old);
        auto devmode = Merged(printer);
        ASSERT_TRUE(devmode);
        Bytes expected = old;
        PutU16(expected, 96, 100);
        Bytes stored;
        ASSERT_TRUE(StoredValue(kPrinter, &stored));
        EXPECT_EQ(stored, expected);
        EXPECT_EQ(GetU32(devmode->Oem(), 12 + 96) & 0xFFFF, 100u);
        EXPECT_EQ(GetU32(devmode->Oem(), 12 + 36), 3u);
    }
}

TEST_F(SettingsRecordTest, SoundRecordIsNotWrittenAgain) {
    Bytes old = Model46Defaults();
    PutU16(old, 96, 150);
    StoreValue(kPrinter, old);
    // A write would take this scripted failure.
    winsim::control::InjectFault("SetPrinterDataW", ERROR_ACCESS_DENIED);
    auto devmode = Merged(printer);
    ASSERT_TRUE(devmode);
    EXPECT_EQ(PendingFaults("SetPrinterDataW"), 1);
    EXPECT_EQ(GetU32(devmode->Oem(), 12 + 96) & 0xFFFF, 150u);
}

// Only a record of model 0 takes the model's defaults: one of another model keeps all it holds.
TEST_F(SettingsRecordTest, ModelIdFollowsThePrintersDriver) {
    Bytes old = Model46Defaults();
    PutU32(old, 0, 47);
    PutU32(old, 36, 3);   // speed
    PutU32(old, 40, 12);  // density
    PutU32(old, 84, 0);   // cmdType
    old[127] = 0;         // driverImageOffset
    StoreValue(kPrinter, old);
    ASSERT_TRUE(Merged(printer));
    Bytes expected = old;
    PutU32(expected, 0, 46);
    Bytes stored;
    ASSERT_TRUE(StoredValue(kPrinter, &stored));
    EXPECT_EQ(stored, expected);
}

TEST_F(SettingsRecordTest, ShortStoredValueIsCompletedWithZeros) {
    Bytes old(64);
    for (size_t i = 0; i < old.size(); ++i) old[i] = static_cast<uint8_t>(i + 1);
    PutU32(old, 0, 46);
    StoreValue(kPrinter, old);
    auto devmode = Merged(printer, 800, 600);
    ASSERT_TRUE(devmode);
    Bytes expected(128, 0);
    std::memcpy(expected.data(), old.data(), old.size());
    PutU16(expected, 96, 100);  // the missing imageScale read as 0, so repaired
    Bytes stored;
    ASSERT_TRUE(StoredValue(kPrinter, &stored));
    EXPECT_EQ(stored, expected);
    PutU32(expected, 4, FloatBits(80.0f));
    PutU32(expected, 8, FloatBits(60.0f));
    EXPECT_EQ(Body(*devmode), expected);
}

TEST_F(SettingsRecordTest, OversizedStoredValueIsReplacedByDefaults) {
    Bytes old(200, 0x77);
    StoreValue(kPrinter, old);
    auto devmode = Merged(printer);
    ASSERT_TRUE(devmode);
    Bytes stored;
    ASSERT_TRUE(StoredValue(kPrinter, &stored));
    EXPECT_EQ(stored, Model46Defaults());
}

// A failed read replaces the stored value only when there is none, or when it is too long to be the
// record; any other failure leaves it byte for byte and the job gets the defaults this once.
TEST_F(SettingsRecordTest, FailedReadReplacesOnlyAMissingOrOversizedValue) {
    Bytes record = Model46Defaults();
    PutU32(record, 36, 3);  // speed
    PutU32(record, 12, 2);  // mediaType
    Bytes job = Model46Defaults();
    PutU32(job, 4, FloatBits(100.0f));
    PutU32(job, 8, FloatBits(50.0f));
    const struct {
        DWORD error;
        bool replaced;
    } cases[] = {
        {ERROR_NOT_ENOUGH_MEMORY, false}, {RPC_S_SERVER_UNAVAILABLE, false}, {ERROR_ACCESS_DENIED, false},
        {ERROR_INVALID_HANDLE, false},    {ERROR_FILE_NOT_FOUND, true},       {ERROR_MORE_DATA, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        StoreValue(kPrinter, record, REG_BINARY);
        winsim::control::InjectFault("GetPrinterDataW", c.error);
        auto devmode = Merged(printer);
        ASSERT_TRUE(devmode);
        EXPECT_EQ(PendingFaults("GetPrinterDataW"), 0);
        EXPECT_EQ(HeaderOf(*devmode), Header(140, kSignature, 3));
        EXPECT_EQ(Body(*devmode), job);
        Bytes stored;
        uint32_t type = 0;
        ASSERT_TRUE(StoredValue(kPrinter, &stored, &type));
        EXPECT_EQ(type, static_cast<uint32_t>(REG_BINARY));
        EXPECT_EQ(stored, c.replaced ? Model46Defaults() : record);
        if (c.replaced) continue;
        // The next read that works carries the stored record again.
        devmode = Merged(printer);
        ASSERT_TRUE(devmode);
        EXPECT_EQ(GetU32(devmode->Oem(), 12 + 36), 3u);
        EXPECT_EQ(GetU32(devmode->Oem(), 12 + 12), 2u);
    }
}

// The printer's driver tells the record's model: a driver that cannot be read tells nothing, so the
// stored model stays.
TEST_F(SettingsRecordTest, FailedDriverReadLeavesTheStoredRecord) {
    Bytes record = Model46Defaults();
    PutU32(record, 36, 3);  // speed
    for (DWORD error : {ERROR_NOT_ENOUGH_MEMORY, RPC_S_SERVER_UNAVAILABLE}) {
        SCOPED_TRACE(error);
        StoreValue(kPrinter, record, REG_BINARY);
        winsim::control::InjectFault("GetPrinterDriverW", error);
        auto devmode = Merged(printer);
        ASSERT_TRUE(devmode);
        EXPECT_EQ(PendingFaults("GetPrinterDriverW"), 0);
        EXPECT_EQ(GetU32(devmode->Oem(), 12 + 36), 3u) << "the stored record is used";
        Bytes stored;
        ASSERT_TRUE(StoredValue(kPrinter, &stored));
        EXPECT_EQ(stored, record);
    }
}

TEST_F(SettingsRecordTest, HandleWithoutWriteAccessStillGetsTheDefaults) {
    HANDLE reader = Open(kPrinter, PRINTER_ACCESS_USE);
    ASSERT_NE(reader, nullptr);
    auto devmode = Merged(reader, 760, 1300);
    ASSERT_TRUE(devmode);
    EXPECT_EQ(Body(*devmode), Model46Defaults());
    EXPECT_FALSE(StoredValue(kPrinter, nullptr));
}

TEST_F(SettingsRecordTest, EveryMergeCarriesTheStoredRecordNotTheInput) {
    auto first = Merged(printer);
    ASSERT_TRUE(first);
    Bytes changed = Model46Defaults();
    PutU32(changed, 36, 2);
    StoreValue(kPrinter, changed);

    DevModeBuffer in(140), out(140);
    std::memcpy(in.Oem(), first->Oem(), 140);
    PutU32(changed, 4, FloatBits(25.0f));
    PutU32(changed, 8, FloatBits(12.5f));
    in.Oem()[12 + 40] = 15;  // the input's own density is not merged
    out.Public()->dmPaperWidth = 250;
    out.Public()->dmPaperLength = 125;
    EXPECT_EQ(host->DevMode(plugin, OEMDM_MERGE, printer, &in, &out), S_OK);
    EXPECT_EQ(Body(out), changed);
}

TEST_F(SettingsRecordTest, SizeAndDefaultTouchOnlyTheHeader) {
    DWORD size = 0;
    EXPECT_EQ(host->DevMode(plugin, OEMDM_SIZE, printer, nullptr, nullptr, &size), S_OK);
    EXPECT_EQ(size, 140u);

    DevModeBuffer out(140);
    std::memset(out.Oem(), 0xAB, 140);
    EXPECT_EQ(host->DevMode(plugin, OEMDM_DEFAULT, printer, nullptr, &out), S_OK);
    EXPECT_EQ(HeaderOf(out), Header(140, kSignature, 3));
    EXPECT_EQ(Body(out), Bytes(128, 0xAB));
    EXPECT_TRUE(DriverPartUntouched(out));
    EXPECT_FALSE(StoredValue(kPrinter, nullptr));
}

class ConvertTest : public SettingsRecordTest {
protected:
    void Prepare(DevModeBuffer& part, const Bytes& header, uint8_t fill) {
        std::memset(part.Oem(), fill, 140);
        std::memcpy(part.Oem(), header.data(), header.size());
    }
};

TEST_F(ConvertTest, EqualSignaturesCopyTheSmallerPart) {
    DevModeBuffer in(140), out(140);
    Prepare(in, Header(100, kSignature, 2), 0x11);
    Prepare(out, Header(140, kSignature, 1), 0x22);
    EXPECT_EQ(host->DevMode(plugin, OEMDM_CONVERT, printer, &in, &out), S_OK);
    Bytes expected(140, 0x22);
    std::memset(expected.data(), 0x11, 100);
    Bytes header = Header(140, kSignature, 3);
    std::memcpy(expected.data(), header.data(), 12);
    EXPECT_EQ(Bytes(out.Oem(), out.Oem() + 140), expected);
    EXPECT_TRUE(DriverPartUntouched(out));
}

TEST_F(ConvertTest, OtherSignatureGetsOnlyOurHeader) {
    DevModeBuffer in(140), out(140);
    Prepare(in, Header(140, 0x1234, 3), 0x11);
    Prepare(out, Header(60, 0x5678, 9), 0x22);
    EXPECT_EQ(host->DevMode(plugin, OEMDM_CONVERT, printer, &in, &out), S_OK);
    EXPECT_EQ(HeaderOf(out), Header(140, kSignature, 3));
    EXPECT_EQ(Body(out), Bytes(128, 0x22));
}

TEST_F(ConvertTest, UndersizedHeaderCopiesNothing) {
    for (uint32_t size : {0u, 8u, 11u}) {
        SCOPED_TRACE(size);
        DevModeBuffer in(140), out(140);
        Prepare(in, Header(size, kSignature, 2), 0x11);
        Prepare(out, Header(140, kSignature, 1), 0x22);
        EXPECT_EQ(host->DevMode(plugin, OEMDM_CONVERT, printer, &in, &out), S_OK);
        EXPECT_EQ(HeaderOf(out), Header(140, kSignature, 3));
        EXPECT_EQ(Body(out), Bytes(128, 0x22));
    }
}

// Both parts end where the next page is not mapped: a copy past 140 bytes would fault.
TEST_F(ConvertTest, OversizedHeadersCopyNoMoreThanOurPart) {
    const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    auto* area = static_cast<uint8_t*>(
        ::mmap(nullptr, 4 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(area, MAP_FAILED);
    ASSERT_EQ(::mprotect(area + page, page, PROT_NONE), 0);
    ASSERT_EQ(::mprotect(area + 3 * page, page, PROT_NONE), 0);
    uint8_t* in = area + page - 140;
    uint8_t* out = area + 3 * page - 140;
    std::memset(in, 0x11, 140);
    std::memset(out, 0x22, 140);
    Bytes big = Header(0x7FFFFFFF, kSignature, 2);
    std::memcpy(in, big.data(), 12);
    std::memcpy(out, big.data(), 12);

    OEMDMPARAM param{};
    param.cbSize = sizeof param;
    param.hPrinter = printer;
    param.hModule = host->Module();
    param.pOEMDMIn = in;
    param.pOEMDMOut = out;
    param.cbBufSize = 140;
    EXPECT_EQ(plugin->DevMode(OEMDM_CONVERT, &param), S_OK);
    Bytes expected(140, 0x11);
    Bytes header = Header(140, kSignature, 3);
    std::memcpy(expected.data(), header.data(), 12);
    EXPECT_EQ(Bytes(out, out + 140), expected);
    ::munmap(area, 4 * page);
}

TEST_F(ConvertTest, MissingPartChangesNothing) {
    DevModeBuffer out(140);
    Prepare(out, Header(60, 0x5678, 9), 0x22);
    OEMDMPARAM param{};
    param.cbSize = sizeof param;
    param.pOEMDMOut = out.Oem();
    EXPECT_EQ(plugin->DevMode(OEMDM_CONVERT, &param), S_OK);
    EXPECT_EQ(HeaderOf(out), Header(60, 0x5678, 9));
}

TEST_F(SettingsRecordTest, BadModesAndMissingPartsFailWithInvalidParameter) {
    DevModeBuffer out(140);
    for (DWORD mode : {0u, 5u}) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(host->DevMode(plugin, mode, printer, nullptr, &out), E_FAIL) << mode;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << mode;
    }
    for (DWORD mode : {static_cast<DWORD>(OEMDM_SIZE), static_cast<DWORD>(OEMDM_MERGE)}) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(plugin->DevMode(mode, nullptr), E_FAIL) << mode;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << mode;
    }
    // The core always passes an output part and, to MERGE, its public DEVMODE; without them nothing
    // is written anywhere.
    OEMDMPARAM param{};
    param.cbSize = sizeof param;
    param.hPrinter = printer;
    for (DWORD mode : {static_cast<DWORD>(OEMDM_DEFAULT), static_cast<DWORD>(OEMDM_MERGE)}) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(plugin->DevMode(mode, &param), E_FAIL) << mode;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << mode;
    }
    param.pOEMDMOut = out.Oem();
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(plugin->DevMode(OEMDM_MERGE, &param), E_FAIL);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(StoredValue(kPrinter, nullptr));
}

}  // namespace
}  // namespace uiplugin_test
