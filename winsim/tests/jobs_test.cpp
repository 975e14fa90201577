// Raw print jobs (winspool/jobs.cpp). Source of truth: the documentation of StartDocPrinterW (answers the
// job id, 0 on failure; DOC_INFO_1 at level 1, ERROR_INVALID_LEVEL otherwise; ERROR_INVALID_DATATYPE for a
// data type the print processor lacks), WritePrinter (FALSE outside a document, with ERROR_SPL_NO_STARTDOC;
// pcWritten tells how much the device took, which may be less than asked; ERROR_PRINT_CANCELLED once the job
// was deleted from the queue), EndDocPrinter and AbortPrinter (the document ends; an aborted one is deleted).
#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "TestMachine.h"

namespace {

using Json = winsim::control::Json;

const BYTE kCommand[] = {0x1B, 'W', 0x00, 0xFF, 0x10, 0x0D, 0x0A, 0x7F};

class JobsTest : public testsupport::MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        winsim::control::Change([](Json& m) {
            Json& printer = m["spooler"]["printers"][0];
            printer["name"] = Json::string("Label");
            printer["driver"] = Json::string("Brisora-40");
            printer["port"] = Json::string("USB001");
            printer["datatype"] = Json::string("TEXT");
            printer["data"] = Json::object();
        });
    }
    void TearDown() override {
        for (HANDLE h : opened_) ClosePrinter(h);
        MachineTest::TearDown();
    }
    HANDLE Open(const wchar_t* name) {
        HANDLE h = nullptr;
        std::wstring copy = name ? name : L"";
        EXPECT_TRUE(OpenPrinterW(name ? copy.data() : nullptr, &h, nullptr)) << GetLastError();
        if (h) opened_.push_back(h);
        return h;
    }
    DWORD Start(HANDLE h, const wchar_t* datatype = L"RAW") {
        std::wstring type = datatype ? datatype : L"";
        DOC_INFO_1W doc = {docName_, nullptr, datatype ? type.data() : nullptr};
        return StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&doc));
    }
    static Json Jobs() { return winsim::control::Read().at("spooler").at("jobs"); }
    static std::vector<BYTE> Bytes(const Json& job) {
        std::string hex = job.at("data").as_string();
        std::vector<BYTE> bytes;
        for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<BYTE>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        return bytes;
    }
    static void StopSpooler(bool stopped) {
        winsim::control::Change([&](Json& m) {
            m["services"][0]["state"] = Json::number(stopped ? SERVICE_STOPPED : SERVICE_RUNNING);
        });
    }
    WCHAR docName_[9] = L"WriteCmd";

private:
    std::vector<HANDLE> opened_;
};

TEST_F(JobsTest, RawDocumentReachesTheDeviceByteForByte) {
    HANDLE h = Open(L"Label");
    SetLastError(0xDEADBEEF);
    DWORD id = Start(h);
    EXPECT_NE(id, 0u);
    EXPECT_EQ(GetLastError(), 0xDEADBEEFu);
    EXPECT_TRUE(StartPagePrinter(h));
    DWORD written = 0;
    EXPECT_TRUE(WritePrinter(h, const_cast<BYTE*>(kCommand), 5, &written));
    EXPECT_EQ(written, 5u);
    EXPECT_TRUE(WritePrinter(h, const_cast<BYTE*>(kCommand) + 5, 3, &written));
    EXPECT_EQ(written, 3u);
    EXPECT_TRUE(WritePrinter(h, const_cast<BYTE*>(kCommand), 0, &written)) << "an empty write is no error";
    EXPECT_EQ(written, 0u);
    EXPECT_TRUE(EndPagePrinter(h));
    ASSERT_EQ(Jobs().size(), 1u);
    EXPECT_FALSE(Jobs().at(0).at("complete").as_bool()) << "not complete before EndDocPrinter";
    SetLastError(0xDEADBEEF);
    EXPECT_TRUE(EndDocPrinter(h));
    EXPECT_EQ(GetLastError(), 0xDEADBEEFu);

    Json job = Jobs().at(0);
    EXPECT_EQ(job.at("id").as_integer(), static_cast<int>(id));
    EXPECT_EQ(job.at("printer").as_string(), "Label");
    EXPECT_EQ(job.at("name").as_string(), "WriteCmd");
    EXPECT_EQ(job.at("datatype").as_string(), "RAW");
    EXPECT_EQ(job.at("pages").as_integer(), 1);
    EXPECT_TRUE(job.at("complete").as_bool());
    EXPECT_EQ(Bytes(job), std::vector<BYTE>(kCommand, kCommand + sizeof kCommand));

    // Each handle carries its own document; job ids are not reused.
    HANDLE other = Open(L"Label");
    DWORD second = Start(h);
    DWORD third = Start(other);
    EXPECT_NE(second, 0u);
    EXPECT_NE(third, 0u);
    EXPECT_NE(second, id);
    EXPECT_NE(third, second);
    EXPECT_TRUE(WritePrinter(other, const_cast<BYTE*>(kCommand), 2, &written));
    EXPECT_TRUE(WritePrinter(h, const_cast<BYTE*>(kCommand) + 7, 1, &written));
    ASSERT_TRUE(EndDocPrinter(other));
    Json jobs = Jobs();
    ASSERT_EQ(jobs.size(), 3u);
    EXPECT_EQ(Bytes(jobs.at(1)), std::vector<BYTE>({0x7F}));
    EXPECT_FALSE(jobs.at(1).at("complete").as_bool());
    EXPECT_EQ(Bytes(jobs.at(2)), std::vector<BYTE>({0x1B, 'W'}));
    EXPECT_TRUE(jobs.at(2).at("complete").as_bool());
}

TEST_F(JobsTest, CallsOutsideADocumentFailWithNoStartDoc) {
    HANDLE h = Open(L"Label");
    DWORD written = 0xDEADBEEF;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(WritePrinter(h, const_cast<BYTE*>(kCommand), sizeof kCommand, &written));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SPL_NO_STARTDOC));
    EXPECT_EQ(written, 0u);
    BOOL (*const others[])(HANDLE) = {StartPagePrinter, EndPagePrinter, EndDocPrinter, AbortPrinter};
    for (auto call : others) {
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(call(h));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SPL_NO_STARTDOC));
    }
    EXPECT_EQ(Jobs().size(), 0u);

    // A second document cannot start while one is open, and the open one goes on.
    ASSERT_NE(Start(h), 0u);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(Start(h), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_STATE));
    EXPECT_TRUE(WritePrinter(h, const_cast<BYTE*>(kCommand), 1, &written));
    ASSERT_TRUE(EndDocPrinter(h));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(WritePrinter(h, const_cast<BYTE*>(kCommand), 1, &written)) << "the document has ended";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SPL_NO_STARTDOC));
    ASSERT_EQ(Jobs().size(), 1u);
    EXPECT_EQ(Bytes(Jobs().at(0)), std::vector<BYTE>({0x1B}));
}

TEST_F(JobsTest, StartDocRefusesWhatWindowsRefusesAndRecordsNothing) {
    HANDLE h = Open(L"Label");
    DOC_INFO_1W doc = {docName_, nullptr, nullptr};
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(StartDocPrinterW(h, 2, reinterpret_cast<LPBYTE>(&doc)), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(Start(h, L"Bogus"), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATATYPE));
    StopSpooler(true);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(Start(h), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
    StopSpooler(false);
    EXPECT_EQ(Jobs().size(), 0u);
    DWORD written = 0;
    EXPECT_FALSE(WritePrinter(h, const_cast<BYTE*>(kCommand), 1, &written)) << "no failed start opened a document";

    // Without a data type the job takes the printer's default.
    EXPECT_NE(Start(h, nullptr), 0u);
    ASSERT_EQ(Jobs().size(), 1u);
    EXPECT_EQ(Jobs().at(0).at("datatype").as_string(), "TEXT");
}

TEST_F(JobsTest, ShortWritesAndRefusalsAreScriptedPerPrinter) {
    winsim::control::Change([](Json& m) { m["spooler"]["printers"][0]["writeLimit"] = Json::number(3); });
    HANDLE h = Open(L"Label");
    ASSERT_NE(Start(h), 0u);
    DWORD sent = 0;
    while (sent < sizeof kCommand) {
        DWORD written = 0;
        SetLastError(0xDEADBEEF);
        ASSERT_TRUE(WritePrinter(h, const_cast<BYTE*>(kCommand) + sent, sizeof kCommand - sent, &written));
        EXPECT_EQ(GetLastError(), 0xDEADBEEFu) << "a short write is a success";
        EXPECT_EQ(written, std::min<DWORD>(3, sizeof kCommand - sent));
        ASSERT_GT(written, 0u);
        sent += written;
    }
    EXPECT_EQ(Bytes(Jobs().at(0)), std::vector<BYTE>(kCommand, kCommand + sizeof kCommand));

    // The second write is refused: nothing of it reaches the device, and the document goes on.
    winsim::control::InjectFault("WritePrinter", ERROR_DEVICE_NOT_CONNECTED, 1, 1);
    DWORD written = 0;
    EXPECT_TRUE(WritePrinter(h, const_cast<BYTE*>(kCommand), 1, &written));
    written = 0xDEADBEEF;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(WritePrinter(h, const_cast<BYTE*>(kCommand) + 1, 1, &written));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_EQ(written, 0u);
    EXPECT_TRUE(WritePrinter(h, const_cast<BYTE*>(kCommand) + 2, 1, &written));
    ASSERT_TRUE(EndDocPrinter(h));
    std::vector<BYTE> expected(kCommand, kCommand + sizeof kCommand);
    expected.push_back(kCommand[0]);
    expected.push_back(kCommand[2]);
    EXPECT_EQ(Bytes(Jobs().at(0)), expected);
}

TEST_F(JobsTest, StoppedSpoolerCancelledJobAndAbortEndWhatReachesTheDevice) {
    HANDLE h = Open(L"Label");
    ASSERT_NE(Start(h), 0u);
    DWORD written = 0;
    ASSERT_TRUE(WritePrinter(h, const_cast<BYTE*>(kCommand), 2, &written));
    StopSpooler(true);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(WritePrinter(h, const_cast<BYTE*>(kCommand), 2, &written));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
    EXPECT_FALSE(EndDocPrinter(h));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
    StopSpooler(false);
    EXPECT_EQ(Bytes(Jobs().at(0)).size(), 2u);

    // The user deletes the job from the queue; the program learns it at its next call.
    winsim::control::Change([](Json& m) { m["spooler"]["jobs"] = Json::array(); });
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(WritePrinter(h, const_cast<BYTE*>(kCommand), 2, &written));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINT_CANCELLED));
    EXPECT_FALSE(EndDocPrinter(h));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINT_CANCELLED));
    EXPECT_EQ(Jobs().size(), 0u);

    // An aborted document is deleted; the handle may start another.
    ASSERT_NE(Start(h), 0u);
    ASSERT_TRUE(WritePrinter(h, const_cast<BYTE*>(kCommand), 4, &written));
    SetLastError(0xDEADBEEF);
    EXPECT_TRUE(AbortPrinter(h));
    EXPECT_EQ(GetLastError(), 0xDEADBEEFu);
    EXPECT_EQ(Jobs().size(), 0u);
    EXPECT_FALSE(WritePrinter(h, const_cast<BYTE*>(kCommand), 1, &written));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SPL_NO_STARTDOC));
    EXPECT_NE(Start(h), 0u);
}

// The spooler's job ids are DWORDs other than 0: past the last one the count goes round to 1, and an id a
// job still holds is skipped. A count at the end of its range stays there.
TEST_F(JobsTest, JobIdsGoRoundPastTheLastDwordAndSkipIdsInUse) {
    winsim::control::Change([](Json& m) { m["spooler"]["nextJobId"] = Json::number(static_cast<int64_t>(0xFFFFFFFF)); });
    HANDLE h = Open(L"Label");
    HANDLE other = Open(L"Label");
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(Start(h), 0xFFFFFFFFu);
    EXPECT_EQ(GetLastError(), 0xDEADBEEFu);
    EXPECT_EQ(Jobs().at(0).at("id").as_number().to_int64(), 0xFFFFFFFF);
    EXPECT_EQ(Start(other), 1u);

    // Ids 2 and 4 are still held; 3 is free.
    winsim::control::Change([](Json& m) {
        Json held = Json::object();
        held["id"] = Json::number(2);
        Json& jobs = m["spooler"]["jobs"];
        jobs[jobs.size()] = held;
        held["id"] = Json::number(4);
        jobs[jobs.size()] = held;
    });
    ASSERT_TRUE(EndDocPrinter(h));
    ASSERT_TRUE(EndDocPrinter(other));
    EXPECT_EQ(Start(h), 3u);
    EXPECT_EQ(Start(other), 5u);
    EXPECT_EQ(winsim::control::Read().at("spooler").at("nextJobId").as_integer(), 6);
    ASSERT_TRUE(EndDocPrinter(h));
    ASSERT_TRUE(EndDocPrinter(other));

    // The last id held by a job: the count goes round to 1 without leaving the range.
    winsim::control::Change([](Json& m) {
        m["spooler"]["jobs"] = Json::array();
        m["spooler"]["jobs"][0]["id"] = Json::number(static_cast<int64_t>(0xFFFFFFFF));
        m["spooler"]["nextJobId"] = Json::number(static_cast<int64_t>(0xFFFFFFFF));
    });
    EXPECT_EQ(Start(h), 1u);
    EXPECT_EQ(winsim::control::Read().at("spooler").at("nextJobId").as_integer(), 2);

    // A page count at the end of its range.
    winsim::control::Change([](Json& m) {
        m["spooler"]["jobs"][1]["pages"] = Json::number(std::numeric_limits<int64_t>::max());
    });
    SetLastError(0xDEADBEEF);
    EXPECT_TRUE(EndPagePrinter(h));
    EXPECT_EQ(GetLastError(), 0xDEADBEEFu);
    EXPECT_EQ(Jobs().at(1).at("pages").as_number().to_int64(), std::numeric_limits<int64_t>::max());
    EXPECT_TRUE(EndDocPrinter(h));
}

}  // namespace
