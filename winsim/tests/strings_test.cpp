// String functions: kernel32's lstrcmp (kernel32/string.cpp), strsafe's StringCch* and the Microsoft C
// runtime's _s functions (crt/strings.cpp). Source of truth: their documentation — strsafe truncates,
// terminates and answers STRSAFE_E_INSUFFICIENT_BUFFER; Microsoft's wide printf reads %s/%c as wide
// and %S/%C (and %hs) as narrow; a failing _s copy empties the destination and returns the errno code.
#include <windows.h>
#include <strsafe.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cwchar>

namespace {

TEST(LstrTest, CompareIsCaseSensitiveAndCompareIIsNot) {
    EXPECT_EQ(lstrcmpW(L"USB001", L"USB001"), 0);
    EXPECT_NE(lstrcmpW(L"usb001", L"USB001"), 0);
    EXPECT_EQ(lstrcmpiW(L"usb001", L"USB001"), 0);
    EXPECT_NE(lstrcmpiW(L"usb001", L"USB002"), 0);
    // Same-case strings order alike under code points and the word sort.
    EXPECT_LT(lstrcmpW(L"abc", L"abd"), 0);
    EXPECT_GT(lstrcmpW(L"abd", L"abc"), 0);
    EXPECT_LT(lstrcmpW(L"ab", L"abc"), 0);
    EXPECT_GT(lstrcmpiW(L"ABD", L"abc"), 0);
}

TEST(StringCchTest, CopyTruncatesTerminatesAndSaysSo) {
    WCHAR buf[10];
    std::wmemset(buf, L'#', 10);
    EXPECT_EQ(StringCchCopyW(buf, 6, L"abcde"), S_OK);  // exactly fits with its terminator
    EXPECT_STREQ(buf, L"abcde");

    std::wmemset(buf, L'#', 10);
    EXPECT_EQ(StringCchCopyW(buf, 5, L"abcdefgh"), STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_STREQ(buf, L"abcd");
    EXPECT_EQ(buf[5], L'#') << "wrote past cchDest";

    EXPECT_EQ(StringCchCopyW(buf, 0, L"a"), STRSAFE_E_INVALID_PARAMETER);
}

TEST(StringCchTest, PrintfUsesMicrosoftConversions) {
    WCHAR buf[128];
    EXPECT_EQ(StringCchPrintfW(buf, 128, L"%s|%S|%c|%C", L"wide", "narrow", L'w', 'n'), S_OK);
    EXPECT_STREQ(buf, L"wide|narrow|w|n");
    EXPECT_EQ(StringCchPrintfW(buf, 128, L"%ls|%hs|%ws", L"wide", "narrow", L"w"), S_OK);
    EXPECT_STREQ(buf, L"wide|narrow|w");
    EXPECT_EQ(StringCchPrintfW(buf, 128, L"[%5s|%-5s]", L"ab", L"cd"), S_OK);
    EXPECT_STREQ(buf, L"[   ab|cd   ]");
    EXPECT_EQ(StringCchPrintfW(buf, 128, L"%d,0x%08x", -2, static_cast<DWORD>(0x800F0242)), S_OK);
    EXPECT_STREQ(buf, L"-2,0x800f0242");
    EXPECT_EQ(StringCchPrintfW(buf, 128, L"%08X %u%% %I64u", 0xBEEFu, 7u, 1099511627776ull), S_OK);
    EXPECT_STREQ(buf, L"0000BEEF 7% 1099511627776");
}

TEST(StringCchTest, PrintfTruncatesAndSaysSo) {
    WCHAR buf[8];
    EXPECT_EQ(StringCchPrintfW(buf, 8, L"%s-%d", L"USB", 123456), STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_STREQ(buf, L"USB-123");
    EXPECT_EQ(StringCchPrintfW(buf, 8, L"%s-%d", L"USB", 123), S_OK);
    EXPECT_STREQ(buf, L"USB-123");
    EXPECT_EQ(StringCchPrintfW(buf, 0, L"x"), STRSAFE_E_INVALID_PARAMETER);
}

TEST(SecureCrtTest, CopyTooSmallEmptiesTheDestination) {
    WCHAR buf[5];
    EXPECT_EQ(wcscpy_s(buf, 5, L"abcd"), 0);
    EXPECT_STREQ(buf, L"abcd");
    EXPECT_EQ(wcscpy_s(buf, 5, L"abcde"), ERANGE);
    EXPECT_EQ(buf[0], L'\0');

    wcscpy_s(buf, 5, L"abc");
    EXPECT_EQ(wcscpy_s(buf, 5, nullptr), EINVAL);
    EXPECT_EQ(buf[0], L'\0');
}

TEST(SecureCrtTest, PrintfSReadsWideStringsAndFailsWhenTooSmall) {
    WCHAR buf[8];
    EXPECT_EQ(swprintf_s(buf, 8, L"%s=%d", L"id", 42), 5);
    EXPECT_STREQ(buf, L"id=42");
    EXPECT_EQ(swprintf_s(buf, 8, L"%s=%d", L"name", 1234), -1);
    EXPECT_EQ(buf[0], L'\0');
}

}  // namespace
