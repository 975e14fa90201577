// The page framework's edit operations in-process: reading a number from an edit, keeping an edit and its
// up-down in step, and the "chs" text conversions they read through. Source of truth: the C runtime's
// atof/atoi parsing rules, "%.1f" and "%d" formatting, code page 936, and the up-down control's
// documented UDM_SETPOS32/UDM_GETPOS32 (a position is kept inside the control's range) and UDM_GETRANGE32
// (the range as it was set, either way round). The up-down
// here is a stand-in with exactly that behaviour; the edit is a window that holds its text.
#include <commctrl.h>

#include <climits>
#include <cmath>
#include <string>

#include "TestMachine.h"
#include "TextConvert.h"
#include "VPage.h"

namespace {

struct UpDownState {
    int low = -10000;
    int high = 10000;
    int position = 0;
};

LRESULT CALLBACK UpDownProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* s = reinterpret_cast<UpDownState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (msg) {
    case UDM_SETRANGE32:
        s->low = static_cast<int>(wParam);
        s->high = static_cast<int>(lParam);
        return 0;
    case UDM_SETPOS32: {
        int old = s->position;
        int wanted = static_cast<int>(lParam);
        s->position = wanted < s->low ? s->low : wanted > s->high ? s->high : wanted;
        return old;
    }
    case UDM_GETPOS32:
        if (lParam) *reinterpret_cast<BOOL*>(lParam) = FALSE;
        return s->position;
    case UDM_GETRANGE32:
        if (wParam) *reinterpret_cast<int*>(wParam) = s->low;
        if (lParam) *reinterpret_cast<int*>(lParam) = s->high;
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

class EditHelpersTest : public testsupport::MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        ASSERT_NE(testsupport::TestWindowClass(L"TestUpDown", UpDownProc), 0);
        parent_ = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
        edit = VEdit(CreateWindowExW(0, L"Static", L"", WS_CHILD, 0, 0, 50, 14, parent_, nullptr, nullptr, nullptr));
        upDown = CreateWindowExW(0, L"TestUpDown", L"", WS_CHILD, 50, 0, 11, 14, parent_, nullptr, nullptr, nullptr);
        SetWindowLongPtrW(upDown, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
    }
    void TearDown() override {
        DestroyWindow(parent_);
        MachineTest::TearDown();
    }

    void Set(const std::wstring& text, int position) {
        edit.SetText(text.c_str());
        state.position = position;
    }
    std::wstring Text() const {
        WCHAR text[300] = {};
        edit.GetText(text, 300);
        return text;
    }
    float Read(const std::wstring& text) {
        edit.SetText(text.c_str());
        return VPage::ReadEditFloat(edit);
    }

    VEdit edit;
    HWND upDown = nullptr;
    UpDownState state;

private:
    HWND parent_ = nullptr;
};

TEST_F(EditHelpersTest, ReadEditFloatParsesTheTextAsAtofDoes) {
    EXPECT_EQ(Read(L"12.5"), 12.5f);
    EXPECT_EQ(Read(L""), 0.0f);
    EXPECT_EQ(Read(L"abc"), 0.0f);
    EXPECT_EQ(Read(L" -3.25mm"), -3.25f);
    EXPECT_EQ(Read(L"1e2"), 100.0f);
    EXPECT_EQ(Read(L"+.5E-1x"), 0.05f);
    EXPECT_EQ(Read(L"7e"), 7.0f);
    EXPECT_EQ(Read(L"7e+"), 7.0f);
    EXPECT_EQ(Read(L"."), 0.0f);
    // Words and hexadecimal some runtimes' atof would read are no number here.
    for (const wchar_t* text : {L"inf", L"-infinity", L"nan", L"NAN(1)", L"0x10", L" 0X1p4"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(text)));
        EXPECT_EQ(Read(text), 0.0f);
    }
    // Only the first 259 characters are read.
    EXPECT_EQ(Read(std::wstring(258, L'0') + L"5"), 5.0f);
    EXPECT_EQ(Read(std::wstring(259, L'0') + L"5"), 0.0f);
    // Beyond float's range: an infinity, not an undefined conversion.
    EXPECT_EQ(Read(L"1e39"), INFINITY);
    EXPECT_EQ(Read(L"-1e300"), -INFINITY);
    // Missing controls read 0 and are not written.
    EXPECT_EQ(VPage::ReadEditFloat(VEdit(nullptr)), 0.0f);
    EXPECT_EQ(VPage::SyncSpinFloat(VEdit(nullptr), nullptr, 10.0f, 1), 0);
    EXPECT_EQ(VPage::SyncSpinInt(VEdit(nullptr), nullptr, 1), 0);
}

TEST_F(EditHelpersTest, SyncSpinFloatMovesTheUpDownToTheTypedValueInTenths) {
    Set(L"12.34", 0);
    EXPECT_EQ(VPage::SyncSpinFloat(edit, upDown, 10.0f, 0), 1);
    EXPECT_EQ(state.position, 123);
    EXPECT_EQ(Text(), L"12.3");
    EXPECT_EQ(VPage::SyncSpinFloat(edit, upDown, 10.0f, 0), 0);
    EXPECT_EQ(state.position, 123);
    EXPECT_EQ(Text(), L"12.3");

    // 0.7 × 10 is exactly 7 in single precision; -0.05 truncates to 0, which the position already is.
    Set(L"0.7", 0);
    EXPECT_EQ(VPage::SyncSpinFloat(edit, upDown, 10.0f, 0), 1);
    EXPECT_EQ(state.position, 7);
    EXPECT_EQ(Text(), L"0.7");
    Set(L"-0.05", 0);
    EXPECT_EQ(VPage::SyncSpinFloat(edit, upDown, 10.0f, 0), 0);
    EXPECT_EQ(Text(), L"0.0");

    // Not a number: the position goes to 0.
    Set(L"mm", 42);
    EXPECT_EQ(VPage::SyncSpinFloat(edit, upDown, 10.0f, 0), 1);
    EXPECT_EQ(state.position, 0);
    EXPECT_EQ(Text(), L"0.0");

    // Beyond the up-down's range the edit shows where the up-down kept it.
    Set(L"2000", 0);
    EXPECT_EQ(VPage::SyncSpinFloat(edit, upDown, 10.0f, 0), 1);
    EXPECT_EQ(state.position, 10000);
    EXPECT_EQ(Text(), L"1000.0");
    Set(L"-2000", 0);
    EXPECT_EQ(VPage::SyncSpinFloat(edit, upDown, 10.0f, 0), 1);
    EXPECT_EQ(state.position, -10000);
    EXPECT_EQ(Text(), L"-1000.0");
}

TEST_F(EditHelpersTest, SyncSpinFloatWithAStepShowsTheStepOrMovesToTheTypedValuePlusIt) {
    // In step: only the edit shows the step; the up-down takes the step itself afterwards.
    Set(L"2.5", 25);
    EXPECT_EQ(VPage::SyncSpinFloat(edit, upDown, 10.0f, 1), 0);
    EXPECT_EQ(Text(), L"2.6");
    EXPECT_EQ(state.position, 25);
    // Typed but not yet in step: the up-down goes to the typed value plus the step.
    Set(L"3.0", 25);
    EXPECT_EQ(VPage::SyncSpinFloat(edit, upDown, 10.0f, -1), 1);
    EXPECT_EQ(state.position, 29);
    EXPECT_EQ(Text(), L"2.9");
}

TEST_F(EditHelpersTest, SyncSpinFloatWithAScaleOfAboutZeroChangesNothing) {
    for (float scale : {0.0f, 1e-7f, -1e-7f, 0.000001f}) {
        SCOPED_TRACE(scale);
        Set(L"12.5", 3);
        EXPECT_EQ(VPage::SyncSpinFloat(edit, upDown, scale, 1), 0);
        EXPECT_EQ(state.position, 3);
        EXPECT_EQ(Text(), L"12.5");
    }
    // Just above the threshold it works: 5 × 0.00001 truncates to 0.
    Set(L"5", 3);
    EXPECT_EQ(VPage::SyncSpinFloat(edit, upDown, 0.00001f, 0), 1);
    EXPECT_EQ(state.position, 0);
    EXPECT_EQ(Text(), L"0.0");
}

TEST_F(EditHelpersTest, SyncSpinFloatSaturatesValuesBeyondInt) {
    // Within the usual range the up-down keeps its end.
    Set(L"1e30", 0);
    EXPECT_EQ(VPage::SyncSpinFloat(edit, upDown, 10.0f, 0), 1);
    EXPECT_EQ(state.position, 10000);
    EXPECT_EQ(Text(), L"1000.0");

    // With the whole of int as its range, the ends of int; a step past the end stays there.
    state.low = INT_MIN;
    state.high = INT_MAX;
    for (const wchar_t* text : {L"1e30", L"1e400"}) {
        SCOPED_TRACE(text);
        Set(text, 0);
        EXPECT_EQ(VPage::SyncSpinFloat(edit, upDown, 10.0f, 1), 1);
        EXPECT_EQ(state.position, INT_MAX);
        EXPECT_EQ(Text(), L"214748368.0");  // (float)INT_MAX / 10, to the nearest float
    }
    Set(L"-1e30", 0);
    EXPECT_EQ(VPage::SyncSpinFloat(edit, upDown, 10.0f, -1), 1);
    EXPECT_EQ(state.position, INT_MIN);
    EXPECT_EQ(Text(), L"-214748368.0");
    Set(L"1e30", INT_MAX);
    EXPECT_EQ(VPage::SyncSpinFloat(edit, upDown, 10.0f, 1), 0);
    EXPECT_EQ(state.position, INT_MAX);
    // "nan" is no number: 0, like any text without one.
    Set(L"nan", 7);
    EXPECT_EQ(VPage::SyncSpinFloat(edit, upDown, 10.0f, 0), 1);
    EXPECT_EQ(state.position, 0);
    EXPECT_EQ(Text(), L"0.0");
}

TEST_F(EditHelpersTest, SyncSpinIntFollowsTheSameRulesForWholeNumbers) {
    Set(L"7x", 7);
    EXPECT_EQ(VPage::SyncSpinInt(edit, upDown, -1), 0);
    EXPECT_EQ(Text(), L"6");
    EXPECT_EQ(state.position, 7);
    Set(L"  +15abc", 0);
    EXPECT_EQ(VPage::SyncSpinInt(edit, upDown, 0), 1);
    EXPECT_EQ(state.position, 15);
    EXPECT_EQ(Text(), L"15");
    Set(L"", 5);
    EXPECT_EQ(VPage::SyncSpinInt(edit, upDown, 0), 1);
    EXPECT_EQ(state.position, 0);
    EXPECT_EQ(Text(), L"0");
    state.low = 0;
    state.high = 255;
    Set(L"300", 0);
    EXPECT_EQ(VPage::SyncSpinInt(edit, upDown, 0), 1);
    EXPECT_EQ(state.position, 255);
    EXPECT_EQ(Text(), L"255");
}

TEST_F(EditHelpersTest, SyncSpinIntSaturatesNumbersBeyondInt) {
    state.low = INT_MIN;
    state.high = INT_MAX;
    Set(L"99999999999", 0);
    EXPECT_EQ(VPage::SyncSpinInt(edit, upDown, 0), 1);
    EXPECT_EQ(state.position, INT_MAX);
    EXPECT_EQ(Text(), L"2147483647");
    Set(L"-99999999999999999999", 0);
    EXPECT_EQ(VPage::SyncSpinInt(edit, upDown, 0), 1);
    EXPECT_EQ(state.position, INT_MIN);
    EXPECT_EQ(Text(), L"-2147483648");
    // A step past the end of int shows the end.
    Set(L"2147483647", INT_MAX);
    EXPECT_EQ(VPage::SyncSpinInt(edit, upDown, 1), 0);
    EXPECT_EQ(Text(), L"2147483647");
    Set(L"2147483648", 0);
    EXPECT_EQ(VPage::SyncSpinInt(edit, upDown, 1), 1);
    EXPECT_EQ(state.position, INT_MAX);
}

// The up-down's own step stops at the ends of its range, so a step shown in the edit stops there too,
// whichever way round the range was set.
TEST_F(EditHelpersTest, AStepPastAnEndOfTheRangeShowsTheEnd) {
    struct Case {
        int low, high, position, delta;
        const wchar_t* shownFloat;
        const wchar_t* shownInt;
    };
    const Case cases[] = {
        {-1000, 1000, 1000, 1, L"100.0", L"1000"},  {-1000, 1000, -1000, -1, L"-100.0", L"-1000"},
        {0, 255, 0, -1, L"0.0", L"0"},              {0, 255, 255, 1, L"25.5", L"255"},
        {255, 0, 255, 1, L"25.5", L"255"},          {0, 1000, 999, 5, L"100.0", L"1000"},
        {0, 1000, 1000, -1, L"99.9", L"999"},       {INT_MIN, INT_MAX, INT_MIN, -1, L"-214748368.0", L"-2147483648"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.low << ".." << c.high << " at " << c.position << " step " << c.delta);
        SendMessageW(upDown, UDM_SETRANGE32, static_cast<WPARAM>(c.low), c.high);
        WCHAR typed[32];
        swprintf(typed, 32, L"%.1f", c.position / 10.0);
        Set(typed, c.position);
        EXPECT_EQ(VPage::SyncSpinFloat(edit, upDown, 10.0f, c.delta), 0);
        EXPECT_EQ(Text(), c.shownFloat);
        EXPECT_EQ(state.position, c.position) << "the up-down takes its step itself";
        Set(std::to_wstring(c.position), c.position);
        EXPECT_EQ(VPage::SyncSpinInt(edit, upDown, c.delta), 0);
        EXPECT_EQ(Text(), c.shownInt);
    }
}

TEST_F(EditHelpersTest, ReadEditInRangeBringsTheNumberToTheNearestEnd) {
    state.low = -1000;
    state.high = 1000;
    struct Case {
        const wchar_t* text;
        float scale;
        float value;
    };
    const Case cases[] = {
        {L"12.34", 10.0f, 12.34f},   {L"100.0", 10.0f, 100.0f}, {L"100.05", 10.0f, 100.0f}, {L"-2000", 10.0f, -100.0f},
        {L"1e39", 10.0f, 100.0f},    {L"-1e39", 10.0f, -100.0f}, {L"abc", 10.0f, 0.0f},     {L"300", 1.0f, 300.0f},
        {L"1000.9", 1.0f, 1000.0f},  {L"-1e300", 1.0f, -1000.0f}, {L"5000", 0.0f, 5000.0f},  {L"-3", -10.0f, -3.0f},
        {L"200", -10.0f, 100.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)) + " scale " + std::to_string(c.scale));
        edit.SetText(c.text);
        EXPECT_EQ(VPage::ReadEditInRange(edit, upDown, c.scale), c.value);
        EXPECT_EQ(Text(), c.text) << "the edit is only read";
    }
    state.low = 0;
    state.high = 255;
    edit.SetText(L"-1");
    EXPECT_EQ(VPage::ReadEditInRange(edit, upDown, 1.0f), 0.0f);
    // Without an up-down there is no range to keep to, but still no infinity.
    edit.SetText(L"-1e39");
    EXPECT_EQ(VPage::ReadEditInRange(edit, nullptr, 10.0f), -214748364.8f);
}

TEST_F(EditHelpersTest, TextConvertsThroughCodePage936AndLeavesTheLocaleAsItWas) {
    ASSERT_NE(setlocale(LC_ALL, "English"), nullptr);
    const std::string before = setlocale(LC_ALL, nullptr);
    EXPECT_EQ(WideToAnsi(L"12.5"), "12.5");
    EXPECT_EQ(WideToAnsi(L"\x6253\x5370\x673A"), "\xB4\xF2\xD3\xA1\xBB\xFA");  // 打印机
    EXPECT_EQ(WideToAnsi(L"1\x0E01" L"2"), "") << "a Thai letter has no place in code page 936";
    EXPECT_EQ(AnsiToWide("\xB4\xF2\xD3\xA1\xBB\xFA mm"), L"\x6253\x5370\x673A mm");
    EXPECT_EQ(AnsiToWide(""), L"");
    EXPECT_EQ(std::string(setlocale(LC_ALL, nullptr)), before);
    setlocale(LC_ALL, "C");
}

}  // namespace
