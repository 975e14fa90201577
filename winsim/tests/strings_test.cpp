// String functions: kernel32's lstrcmp (kernel32/string.cpp), strsafe's StringCch* and the Microsoft C
// runtime's _s functions (crt/strings.cpp). Source of truth: their documentation — strsafe truncates,
// terminates and answers STRSAFE_E_INSUFFICIENT_BUFFER; Microsoft's wide printf reads %s/%c as wide
// and %S/%C (and %hs) as narrow. The _s functions' documentation: a null pointer, a size of zero or a
// destination too small calls the invalid-parameter handler, whose default ends the program; _TRUNCATE
// and a count below the size cut the text instead.
#include <windows.h>
#include <strsafe.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cerrno>
#include <climits>
#include <cstring>
#include <cwchar>
#include <string>

#include "unreadable_page.h"

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

using testsupport::BeforeUnreadablePage;

// strsafe copies until the destination is full: a source need not end within it.
TEST(StringCchTest, CopyReadsNoFurtherThanTheDestinationHolds) {
    BeforeUnreadablePage<wchar_t> five(L"abcde");
    WCHAR buf[5];
    EXPECT_EQ(StringCchCopyW(buf, 5, five.Text()), STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_STREQ(buf, L"abcd");
    WCHAR cat[5] = L"xy";
    BeforeUnreadablePage<wchar_t> three(L"cde");
    EXPECT_EQ(StringCchCatW(cat, 5, three.Text()), STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_STREQ(cat, L"xycd");
}

// The handler's exit code is STATUS_STACK_BUFFER_OVERRUN; a Linux wait status keeps its low byte.
const auto kEndedByHandler = ::testing::ExitedWithCode(0x09);

TEST(SecureCrtDeathTest, CopyEndsTheProgramUnlessTheWholeTextFits) {
    WCHAR buf[5];
    EXPECT_EQ(wcscpy_s(buf, 5, L"abcd"), 0);  // exactly fits with its terminator
    EXPECT_STREQ(buf, L"abcd");
    EXPECT_EXIT(wcscpy_s(buf, 5, L"abcde"), kEndedByHandler,
                "wcscpy_s: the destination of 5 characters is too small for 5 characters and the terminating zero");
    EXPECT_EXIT(wcscpy_s(buf, 5, nullptr), kEndedByHandler, "wcscpy_s: the source is a null pointer");
    EXPECT_EXIT(wcscpy_s(nullptr, 5, L"a"), kEndedByHandler, "wcscpy_s: the destination is a null pointer");
    EXPECT_EXIT(wcscpy_s(buf, 0, L""), kEndedByHandler, "wcscpy_s: the destination's size is 0");

    char narrow[4];
    EXPECT_EQ(strcpy_s(narrow, 4, "abc"), 0);
    EXPECT_STREQ(narrow, "abc");
    EXPECT_EXIT(strcpy_s(narrow, 4, "abcd"), kEndedByHandler, "strcpy_s: the destination of 4 characters is too small");
    EXPECT_EXIT(strcpy_s(narrow, 4, nullptr), kEndedByHandler, "strcpy_s: the source is a null pointer");
}

TEST(SecureCrtDeathTest, CountedCopyCutsOnlyWhenAskedTo) {
    WCHAR buf[5];
    std::wmemset(buf, L'#', 5);
    EXPECT_EQ(wcsncpy_s(buf, 5, L"abcdefgh", _TRUNCATE), STRUNCATE);
    EXPECT_STREQ(buf, L"abcd");
    EXPECT_EQ(wcsncpy_s(buf, 5, L"abcdefgh", 2), 0) << "a count below the size cuts without error";
    EXPECT_STREQ(buf, L"ab");
    EXPECT_EQ(wcsncpy_s(buf, 5, nullptr, 0), 0) << "nothing to copy: the source is not read";
    EXPECT_STREQ(buf, L"");
    EXPECT_EQ(wcsncpy_s(nullptr, 0, nullptr, 0), 0);
    const WCHAR unterminated[3] = {L'x', L'y', L'z'};
    EXPECT_EQ(wcsncpy_s(buf, 5, unterminated, 3), 0) << "no more than count characters are read";
    EXPECT_STREQ(buf, L"xyz");

    EXPECT_EXIT(wcsncpy_s(buf, 5, L"abcdefgh", 5), kEndedByHandler,
                "wcsncpy_s: the destination of 5 characters is too small for 5 characters");
    EXPECT_EXIT(wcsncpy_s(buf, 5, nullptr, 1), kEndedByHandler, "wcsncpy_s: the source is a null pointer");
    EXPECT_EXIT(wcsncpy_s(buf, 0, L"a", _TRUNCATE), kEndedByHandler, "wcsncpy_s: the destination's size is 0");
}

TEST(SecureCrtDeathTest, AppendEndsTheProgramUnlessBothFit) {
    WCHAR buf[6] = L"ab";
    EXPECT_EQ(wcscat_s(buf, 6, L"cde"), 0);
    EXPECT_STREQ(buf, L"abcde");
    EXPECT_EXIT(wcscat_s(buf, 6, L"f"), kEndedByHandler,
                "wcscat_s: the destination of 6 characters is too small for 6 characters");
    EXPECT_EXIT(wcscat_s(buf, 6, nullptr), kEndedByHandler, "wcscat_s: the source is a null pointer");
    WCHAR full[3] = {L'a', L'b', L'c'};
    EXPECT_EXIT(wcscat_s(full, 3, L""), kEndedByHandler, "wcscat_s: the destination holds no terminating zero");
}

TEST(SecureCrtDeathTest, PrintfSEndsTheProgramWhenTheTextDoesNotFit) {
    WCHAR buf[8];
    EXPECT_EQ(swprintf_s(buf, 8, L"%s=%d", L"id", 42), 5);
    EXPECT_STREQ(buf, L"id=42");
    EXPECT_EQ(swprintf_s(buf, 8, L"%s=%d", L"ab", 1234), 7) << "exactly fits with its terminator";
    EXPECT_EXIT(swprintf_s(buf, 8, L"%s=%d", L"name", 1234), kEndedByHandler,
                "swprintf_s: the destination of 8 characters is too small for 9 characters");
    EXPECT_EXIT(swprintf_s(buf, 8, nullptr), kEndedByHandler, "swprintf_s: the format is a null pointer");
    EXPECT_EXIT(swprintf_s(nullptr, 8, L"x"), kEndedByHandler, "swprintf_s: the destination is a null pointer");

    char narrow[4];
    EXPECT_EQ(sprintf_s(narrow, 4, "%d", 123), 3);
    EXPECT_STREQ(narrow, "123");
    EXPECT_EXIT(sprintf_s(narrow, 4, "%d", 1234), kEndedByHandler, "sprintf_s: the destination of 4 characters");
    EXPECT_EXIT(sprintf_s(narrow, 0, "%d", 1), kEndedByHandler, "sprintf_s: the destination's size is 0");
}

TEST(SecureCrtDeathTest, CountedPrintfCutsOnlyWhenAskedTo) {
    WCHAR buf[8];
    std::wmemset(buf, L'#', 8);
    EXPECT_EQ(_snwprintf_s(buf, 8, _TRUNCATE, L"%s", L"abcdefghij"), -1);
    EXPECT_STREQ(buf, L"abcdefg");
    EXPECT_EQ(_snwprintf_s(buf, 8, _TRUNCATE, L"%s", L"abc"), 3);
    EXPECT_STREQ(buf, L"abc");
    EXPECT_EQ(_snwprintf_s(buf, 8, 3, L"%s", L"abcdef"), -1) << "a count below the size cuts without the handler";
    EXPECT_STREQ(buf, L"abc");
    EXPECT_EQ(_snwprintf_s(buf, 8, 3, L"%s", L"ab"), 2);
    EXPECT_EQ(_snwprintf_s(buf, 8, 0, L"%s", L"ab"), -1);
    EXPECT_STREQ(buf, L"");
    EXPECT_EQ(_snwprintf_s(buf, 8, 20, L"%s", L"abcdefg"), 7) << "a count beyond the size is fine while the text fits";
    EXPECT_EQ(_snwprintf_s(nullptr, 0, 0, L"x"), 0);

    EXPECT_EXIT(_snwprintf_s(buf, 8, 8, L"%s", L"abcdefgh"), kEndedByHandler,
                "_snwprintf_s: the destination of 8 characters is too small for 8 characters");
    EXPECT_EXIT(_snwprintf_s(nullptr, 8, 3, L"x"), kEndedByHandler, "_snwprintf_s: the destination is a null pointer");
    EXPECT_EXIT(_snwprintf_s(buf, 8, 3, nullptr), kEndedByHandler, "_snwprintf_s: the format is a null pointer");
}

// What each _s copy may read of its source: the copy stops where the destination is full (or, for
// wcsncpy_s, after count characters), so a source not terminated there is never read past. Microsoft's
// runtime answers STRUNCATE for _TRUNCATE and calls the handler otherwise.
TEST(SecureCrtDeathTest, CopiesReadNoFurtherThanTheirCountAndSize) {
    BeforeUnreadablePage<wchar_t> five(L"abcde");
    WCHAR buf[5];
    std::wmemset(buf, L'#', 5);
    EXPECT_EQ(wcsncpy_s(buf, 5, five.Text(), _TRUNCATE), STRUNCATE);
    EXPECT_STREQ(buf, L"abcd");
    EXPECT_EQ(wcsncpy_s(buf, 5, five.Text(), 4), 0);
    EXPECT_STREQ(buf, L"abcd");
    EXPECT_EXIT(wcsncpy_s(buf, 5, five.Text(), 100), kEndedByHandler,
                "wcsncpy_s: the destination of 5 characters is too small for 5 characters");
    EXPECT_EXIT(wcscpy_s(buf, 5, five.Text()), kEndedByHandler,
                "wcscpy_s: the destination of 5 characters is too small for 5 characters");
    BeforeUnreadablePage<char> four(std::string("abcd"));
    char narrow[4];
    EXPECT_EXIT(strcpy_s(narrow, 4, four.Text()), kEndedByHandler, "strcpy_s: the destination of 4 characters");
    BeforeUnreadablePage<wchar_t> three(L"cde");
    WCHAR cat[5] = L"ab";
    EXPECT_EXIT(wcscat_s(cat, 5, three.Text()), kEndedByHandler,
                "wcscat_s: the destination of 5 characters is too small for 5 characters");
}

// Microsoft's formatting keeps no more than the destination holds: a width or precision far beyond
// it is answered at once, cut where a cut is asked for and by the handler where not.
TEST(SecureCrtDeathTest, PrintfWorksOnlyForWhatTheDestinationHolds) {
    auto started = std::chrono::steady_clock::now();
    WCHAR buf[10];
    std::wmemset(buf, L'#', 10);
    EXPECT_EQ(_snwprintf_s(buf, 10, _TRUNCATE, L"%100000000d", 5), -1);
    EXPECT_STREQ(buf, L"         ");
    EXPECT_EQ(_snwprintf_s(buf, 10, _TRUNCATE, L"%-2147483647d", 5), -1);
    EXPECT_STREQ(buf, L"5        ");
    EXPECT_EQ(_snwprintf_s(buf, 10, _TRUNCATE, L"%.2147483647d", -5), -1);
    EXPECT_STREQ(buf, L"-00000000");
    EXPECT_EQ(_snwprintf_s(buf, 10, _TRUNCATE, L"%+0*d", INT_MAX, 5), -1);
    EXPECT_STREQ(buf, L"+00000000");
    EXPECT_EQ(_snwprintf_s(buf, 10, _TRUNCATE, L"%.2147483647f", 1.5), -1);
    EXPECT_STREQ(buf, L"1.5000000");
    EXPECT_EQ(_snwprintf_s(buf, 10, _TRUNCATE, L"%.2147483647e|", 1.5), -1);
    EXPECT_STREQ(buf, L"1.5000000");
    EXPECT_EQ(_snwprintf_s(buf, 10, 3, L"%2147483647s", L"x"), -1) << "a count below the size cuts";
    EXPECT_STREQ(buf, L"   ");
    EXPECT_EQ(_snwprintf_s(buf, 10, _TRUNCATE, L"%9d", 5), 9) << "exactly fits with its terminator";
    EXPECT_STREQ(buf, L"        5");
    WCHAR guarded[4];
    BeforeUnreadablePage<wchar_t> wide(L"abc");
    BeforeUnreadablePage<char> narrow(std::string("xyz"));
    EXPECT_EQ(swprintf_s(guarded, 4, L"%.3s", wide.Text()), 3) << "no more than the precision is read";
    EXPECT_STREQ(guarded, L"abc");
    EXPECT_EQ(swprintf_s(guarded, 4, L"%.3S", narrow.Text()), 3);
    EXPECT_STREQ(guarded, L"xyz");
    char small[4];
    EXPECT_EQ(sprintf_s(small, 4, "%.3s", narrow.Text()), 3);
    EXPECT_STREQ(small, "xyz");
    EXPECT_EQ(sprintf_s(small, 4, "%.3ls", wide.Text()), 3) << "wide text made narrow, no more than the precision read";
    EXPECT_STREQ(small, "abc");
    EXPECT_EQ(StringCchPrintfA(small, 4, "%.2ls", wide.Text()), S_OK);
    EXPECT_STREQ(small, "ab");
    EXPECT_EQ(StringCchPrintfW(buf, 10, L"%2147483647d", 5), STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_STREQ(buf, L"         ");
    // A sanity limit only: making the text asked for would take seconds and gigabytes.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));

    EXPECT_EXIT(swprintf_s(buf, 10, L"%100000000d", 5), kEndedByHandler,
                "swprintf_s: the destination of 10 characters is too small for 100000000 characters");
    EXPECT_EXIT(sprintf_s(small, 4, "%.100000000f", 1.0), kEndedByHandler,
                "sprintf_s: the destination of 4 characters is too small for 100000002 characters");
}

// Microsoft's runtime refuses a conversion it does not know or that the format cuts off, a width past
// the largest int, and %n, which it disables by default: each calls the handler.
TEST(SecureCrtDeathTest, PrintfRefusesWhatTheRuntimeRefuses) {
    WCHAR buf[10];
    char narrow[10];
    int written = 0;
    EXPECT_EXIT(swprintf_s(buf, 10, L"50%"), kEndedByHandler, "swprintf_s: the format ends within a conversion");
    EXPECT_EXIT(_snwprintf_s(buf, 10, _TRUNCATE, L"%-0"), kEndedByHandler, "_snwprintf_s: the format ends within a conversion");
    EXPECT_EXIT(sprintf_s(narrow, 10, "%.2l"), kEndedByHandler, "sprintf_s: the format ends within a conversion");
    EXPECT_EXIT(swprintf_s(buf, 10, L"%k", 1), kEndedByHandler, "swprintf_s: the format holds an unknown conversion 'k'");
    EXPECT_EXIT(swprintf_s(buf, 10, L"%1$d", 1), kEndedByHandler, "swprintf_s: the format holds an unknown conversion '\\$'");
    EXPECT_EXIT(swprintf_s(buf, 10, L"%4294967296d", 1), kEndedByHandler, "swprintf_s: the format asks for a width beyond");
    EXPECT_EXIT(swprintf_s(buf, 10, L"ab%n", &written), kEndedByHandler, "swprintf_s: the format holds %n");
    EXPECT_EXIT(sprintf_s(narrow, 10, "ab%n", &written), kEndedByHandler, "sprintf_s: the format holds %n");
    EXPECT_EXIT(_snwprintf_s(buf, 10, 2, L"abc%n", &written), kEndedByHandler, "_snwprintf_s: the format holds %n");
    EXPECT_EXIT(StringCchPrintfW(buf, 10, L"%n", &written), kEndedByHandler, "StringCchPrintfW: the format holds %n");
    EXPECT_EQ(written, 0);
}

// Conversions as Microsoft's documentation gives them: %p is the address in hexadecimal digits of a
// pointer's width, %ld and %lx take 32 bits, %I64 and %ll 64.
TEST(SecureCrtTest, PrintfConvertsAsMicrosoftsRuntimeDoes) {
    WCHAR buf[64];
    // A string argument the result's width cannot hold is an encoding error, not an empty success.
    char bytes[16] = "unchanged";
    EXPECT_EQ(sprintf_s(bytes, 16, "x%lsy", L"\x4e2d"), -1);
    EXPECT_STREQ(bytes, "");
    std::strcpy(bytes, "unchanged");
    EXPECT_EQ(StringCchPrintfA(bytes, 16, "x%lsy", L"\x4e2d"), STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_STREQ(bytes, "");
    const char unfinished[] = {'a', static_cast<char>(0xE4), 0};  // half a character in any multibyte text
    wcscpy_s(buf, 64, L"unchanged");
    EXPECT_EQ(swprintf_s(buf, 64, L"x%Sy", unfinished), -1);
    EXPECT_STREQ(buf, L"");
    wcscpy_s(buf, 64, L"unchanged");
    EXPECT_EQ(_snwprintf_s(buf, 64, _TRUNCATE, L"x%Sy", unfinished), -1);
    EXPECT_STREQ(buf, L"");
    EXPECT_EQ(swprintf_s(buf, 64, L"%p", reinterpret_cast<void*>(0x12AB)), 16);
    EXPECT_STREQ(buf, L"00000000000012AB");
    EXPECT_EQ(swprintf_s(buf, 64, L"%lx|%ld|%I64x|%lld", 0xFFFFFFFFul, -7L, 0x123456789ull, -1ll), 24);
    EXPECT_STREQ(buf, L"ffffffff|-7|123456789|-1");
    EXPECT_EQ(swprintf_s(buf, 64, L"[%+d|% d|%#x|%#o|%-4d|%04d|%.0d|%hd]", 5, 5, 255, 8, 7, -7, 0, 65537), 29);
    EXPECT_STREQ(buf, L"[+5| 5|0xff|010|7   |-007||1]");
    EXPECT_EQ(swprintf_s(buf, 64, L"[%5.2f|%-7.1e|%g|%08.3f]", 3.14159, 1500.0, 0.0001, -2.5), 31);
    EXPECT_STREQ(buf, L"[ 3.14|1.5e+03|0.0001|-002.500]");
    EXPECT_EQ(swprintf_s(buf, 64, L"[%*d|%.*d|%-*.*s]", -3, 7, -1, 8, 4, 2, L"abc"), 12) << "a negative width is '-'";
    EXPECT_STREQ(buf, L"[7  |8|ab  ]");
    char narrow[64];
    EXPECT_EQ(sprintf_s(narrow, 64, "%s|%S|%c|%C|%5.1s|%%", "ab", L"cd", 'e', L'f', "gh"), 17);
    EXPECT_STREQ(narrow, "ab|cd|e|f|    g|%");
}

}  // namespace
