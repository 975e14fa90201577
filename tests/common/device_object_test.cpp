#include <gtest/gtest.h>

#include <PrinterDeviceObject.h>

#include <algorithm>
#include <cwchar>
#include <iterator>

namespace {

class DeviceObjectTest : public ::testing::Test {
protected:
    // The object outlives the test; put it back so a same-process rerun starts from zero again.
    void TearDown() override {
        CPrinterDeviceObject& device = CPrinterDeviceObject::GetInstance();
        device.lastError = 0;
        std::fill(std::begin(device.usbInstanceId), std::end(device.usbInstanceId), L'\0');
        std::fill(std::begin(device.printInstanceId), std::end(device.printInstanceId), L'\0');
    }
};

bool AllZero(const WCHAR* begin, const WCHAR* end) {
    return std::all_of(begin, end, [](WCHAR c) { return c == L'\0'; });
}

TEST_F(DeviceObjectTest, EveryCallReturnsTheSameObject) {
    CPrinterDeviceObject* first = &CPrinterDeviceObject::GetInstance();
    EXPECT_EQ(&CPrinterDeviceObject::GetInstance(), first);
    EXPECT_EQ(&CPrinterDeviceObject::GetInstance(), first);
}

TEST_F(DeviceObjectTest, MembersAreZeroUntilWritten) {
    const CPrinterDeviceObject& device = CPrinterDeviceObject::GetInstance();
    EXPECT_EQ(device.lastError, 0);
    EXPECT_TRUE(AllZero(std::begin(device.usbInstanceId), std::end(device.usbInstanceId)));
    EXPECT_TRUE(AllZero(std::begin(device.printInstanceId), std::end(device.printInstanceId)));
}

TEST_F(DeviceObjectTest, WrittenValuesAreSeenByLaterCalls) {
    {
        CPrinterDeviceObject& device = CPrinterDeviceObject::GetInstance();
        device.lastError = 1801;  // ERROR_INVALID_PRINTER_NAME
        std::wcscpy(device.usbInstanceId, L"USB\\VID_1234&PID_5678\\SN01");
        std::wcscpy(device.printInstanceId, L"USBPRINT\\ZL_P100\\7&1A2B3C&0&USB001");
    }
    const CPrinterDeviceObject& again = CPrinterDeviceObject::GetInstance();
    EXPECT_EQ(again.lastError, 1801);
    EXPECT_STREQ(again.usbInstanceId, L"USB\\VID_1234&PID_5678\\SN01");
    EXPECT_STREQ(again.printInstanceId, L"USBPRINT\\ZL_P100\\7&1A2B3C&0&USB001");
}

}  // namespace
