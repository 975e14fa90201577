// The C runtime's multibyte conversions (crt/conversions.cpp). Source of truth: the mbstowcs_s and
// wcstombs_s documentation — mbstowcs_s's count is the most wide characters stored and wcstombs_s's
// the most bytes stored, each without the terminator; _TRUNCATE cuts to the destination and answers
// STRUNCATE; a size query (null destination, size 0) answers the whole size and ignores count; a
// character not of the code page is EILSEQ with an empty destination; a null pointer, a size of zero
// or a destination too small calls the invalid-parameter handler, whose default ends the program.
#include <windows.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstring>
#include <cwchar>
#include <string>

#include "unreadable_page.h"

namespace {

// 中文 in code page 936: two characters of two bytes each.
const char kChinese[] = "\xD6\xD0\xCE\xC4";

class ConversionsTest : public ::testing::Test {
protected:
    void SetUp() override { setlocale(LC_ALL, "chs"); }
    void TearDown() override { setlocale(LC_ALL, "C"); }
};

using ConversionsDeathTest = ConversionsTest;

const auto kEndedByHandler = ::testing::ExitedWithCode(0x09);  // low byte of STATUS_STACK_BUFFER_OVERRUN

TEST_F(ConversionsTest, ToWideCountsWideCharactersStored) {
    const std::string text = std::string(kChinese) + "abc";
    WCHAR buf[10];
    size_t n = 99;
    // Three characters are four bytes of the source here: the count is not in bytes.
    EXPECT_EQ(mbstowcs_s(&n, buf, 10, text.c_str(), 3), 0);
    EXPECT_STREQ(buf, L"中文a");
    EXPECT_EQ(n, 4u);

    EXPECT_EQ(mbstowcs_s(&n, buf, 10, text.c_str(), 2), 0);
    EXPECT_STREQ(buf, L"中文");
    EXPECT_EQ(n, 3u);

    // Two characters of a source without its terminator: nothing after them is read.
    const char unterminated[4] = {'\xD6', '\xD0', 'x', 'y'};
    EXPECT_EQ(mbstowcs_s(&n, buf, 10, unterminated, 2), 0);
    EXPECT_STREQ(buf, L"中x");

    EXPECT_EQ(mbstowcs_s(&n, nullptr, 0, text.c_str(), 1), 0) << "a size query ignores count";
    EXPECT_EQ(n, 6u);

    EXPECT_EQ(mbstowcs_s(&n, buf, 6, text.c_str(), 5), 0) << "exactly fits with its terminator";
    EXPECT_STREQ(buf, L"中文abc");
    EXPECT_EQ(mbstowcs_s(&n, buf, 4, text.c_str(), _TRUNCATE), STRUNCATE);
    EXPECT_STREQ(buf, L"中文a");
    EXPECT_EQ(n, 4u);
}

TEST_F(ConversionsTest, ToWideOfATextNotInTheCodePageLeavesNothing) {
    WCHAR buf[10] = L"keep";
    size_t n = 99;
    EXPECT_EQ(mbstowcs_s(&n, buf, 10, "ab\xD6", _TRUNCATE), EILSEQ) << "a lead byte without its second byte";
    EXPECT_STREQ(buf, L"");
    EXPECT_EQ(n, 0u);
}

TEST_F(ConversionsTest, ToNarrowCountsBytesStoredAndNeverCutsACharacter) {
    char buf[10];
    size_t n = 99;
    EXPECT_EQ(wcstombs_s(&n, buf, 10, L"中文ab", 3), 0) << "文 would need bytes 3 and 4";
    EXPECT_STREQ(buf, "\xD6\xD0");
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(wcstombs_s(&n, buf, 10, L"中文ab", 5), 0);
    EXPECT_EQ(std::string(buf), std::string(kChinese) + "a");

    // Nothing past what count bytes can hold is read: a character outside the code page there is no error.
    const wchar_t unterminated[] = {L'a', L'b', L'\x0E01'};
    EXPECT_EQ(wcstombs_s(&n, buf, 10, unterminated, 2), 0);
    EXPECT_STREQ(buf, "ab");

    EXPECT_EQ(wcstombs_s(&n, nullptr, 0, L"中文ab", 1), 0) << "a size query ignores count";
    EXPECT_EQ(n, 7u);
    EXPECT_EQ(wcstombs_s(&n, buf, 4, L"中文ab", _TRUNCATE), STRUNCATE);
    EXPECT_STREQ(buf, "\xD6\xD0");
    EXPECT_EQ(n, 3u);
}

TEST_F(ConversionsDeathTest, ConversionEndsTheProgramOnADestinationTooSmallOrANullPointer) {
    WCHAR wide[4];
    EXPECT_EXIT(mbstowcs_s(nullptr, wide, 4, "abcd", 4), kEndedByHandler,
                "mbstowcs_s: the destination of 4 wide characters is too small");
    EXPECT_EXIT(mbstowcs_s(nullptr, wide, 4, "abcdef", 10), kEndedByHandler, "mbstowcs_s: the destination of 4");
    EXPECT_EXIT(mbstowcs_s(nullptr, wide, 0, "a", 1), kEndedByHandler, "mbstowcs_s: the destination's size is 0");
    EXPECT_EXIT(mbstowcs_s(nullptr, nullptr, 4, "a", 1), kEndedByHandler, "mbstowcs_s: the destination is a null pointer");
    EXPECT_EXIT(mbstowcs_s(nullptr, wide, 4, nullptr, 1), kEndedByHandler, "mbstowcs_s: the source is a null pointer");

    char narrow[4];
    EXPECT_EXIT(wcstombs_s(nullptr, narrow, 4, L"中文", 4), kEndedByHandler,
                "wcstombs_s: the destination of 4 bytes is too small");
    EXPECT_EXIT(wcstombs_s(nullptr, narrow, 4, nullptr, 1), kEndedByHandler, "wcstombs_s: the source is a null pointer");
    EXPECT_EXIT(wcstombs_s(nullptr, nullptr, 4, L"a", 1), kEndedByHandler, "wcstombs_s: the destination is a null pointer");
}

// With _TRUNCATE or a count at the size, the conversion reads no more than the destination holds and
// one character to tell whether the text ends there; Microsoft's runtime answers STRUNCATE, or calls the
// handler when no cut was asked for.
TEST_F(ConversionsDeathTest, ConversionReadsNoFurtherThanTheDestinationHolds) {
    testsupport::BeforeUnreadablePage<wchar_t> wide(L"abcdefghij");
    char narrow[10];
    size_t n = 99;
    EXPECT_EQ(wcstombs_s(&n, narrow, 10, wide.Text(), _TRUNCATE), STRUNCATE);
    EXPECT_STREQ(narrow, "abcdefghi");
    EXPECT_EQ(n, 10u);
    EXPECT_EQ(wcstombs_s(&n, narrow, 10, wide.Text(), 9), 0);
    EXPECT_STREQ(narrow, "abcdefghi");
    EXPECT_EXIT(wcstombs_s(&n, narrow, 10, wide.Text(), 100), kEndedByHandler,
                "wcstombs_s: the destination of 10 bytes is too small");

    testsupport::BeforeUnreadablePage<char> chinese(std::string(kChinese) + "abc");
    WCHAR buf[4];
    EXPECT_EQ(mbstowcs_s(&n, buf, 4, chinese.Text(), _TRUNCATE), STRUNCATE);
    EXPECT_STREQ(buf, L"中文a");
    EXPECT_EQ(n, 4u);
    EXPECT_EXIT(mbstowcs_s(&n, buf, 4, chinese.Text(), 100), kEndedByHandler, "mbstowcs_s: the destination of 4");
}

// A long text cut to a destination costs about what is stored, not a conversion per character dropped.
TEST_F(ConversionsTest, CuttingALongTextCostsWhatIsStored) {
    auto started = std::chrono::steady_clock::now();
    const std::wstring text(200000, L'中');
    char small[10];
    size_t n = 99;
    EXPECT_EQ(wcstombs_s(&n, small, 10, text.c_str(), _TRUNCATE), STRUNCATE);
    EXPECT_EQ(std::string(small), "\xD6\xD0\xD6\xD0\xD6\xD0\xD6\xD0");
    EXPECT_EQ(n, 9u);
    std::string large(100001, '#');
    EXPECT_EQ(wcstombs_s(&n, &large[0], large.size(), text.c_str(), _TRUNCATE), STRUNCATE);
    EXPECT_EQ(n, 100001u);
    EXPECT_EQ(std::strlen(large.c_str()), 100000u);
    std::wstring wide(50001, L'#');
    const std::string letters(200000, 'a');
    EXPECT_EQ(mbstowcs_s(&n, &wide[0], wide.size(), letters.c_str(), _TRUNCATE), STRUNCATE);
    EXPECT_EQ(n, 50001u);
    // A sanity limit only: cutting a character at a time took seconds.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
}

}  // namespace
