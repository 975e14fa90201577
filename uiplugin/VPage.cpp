#include "VPage.h"

#include <commctrl.h>
#include <winspool.h>

#include <cctype>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>
#include <utility>

#include "SheetContext.h"
#include "TextConvert.h"

namespace {

constexpr int kEditChars = 260;
constexpr double kSmallestScale = 0.000001;

std::string EditText(const VEdit& edit) {
    WCHAR text[kEditChars] = {};
    edit.GetText(text, kEditChars);
    return WideToAnsi(text);
}

// A double beyond float's range becomes an infinity, where the plain conversion is undefined.
float ToFloat(double value) {
    if (value > FLT_MAX) return HUGE_VALF;
    if (value < -FLT_MAX) return -HUGE_VALF;
    return static_cast<float>(value);
}

// Truncation toward zero, saturated at the ends of int (a NaN gives 0), where the plain conversion of a
// value out of range is undefined.
int ToInt(float value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483648.0f) return INT_MAX;
    if (value < -2147483648.0f) return INT_MIN;
    return static_cast<int>(value);
}

int SaturatingAdd(int a, int b) {
    long long sum = static_cast<long long>(a) + b;
    if (sum > INT_MAX) return INT_MAX;
    if (sum < INT_MIN) return INT_MIN;
    return static_cast<int>(sum);
}

// atoi's rules (leading blanks, an optional sign, decimal digits, 0 without digits), saturated at the
// ends of int where atoi's overflow is undefined.
int ParseInt(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    const long long limit = static_cast<long long>(INT_MAX) + 1;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > limit) value = limit;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

bool IsDigit(const std::string& text, size_t i) { return i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); }

// atof's rules and no more: leading blanks, an optional sign, decimal digits with "." as the point, an
// optional exponent, 0 without digits. A newer runtime's atof also reads "inf", "nan" and hexadecimal,
// which a typed length must not become.
double ParseFloat(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    const size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    size_t digits = 0;
    for (; IsDigit(text, i); ++i) ++digits;
    if (i < text.size() && text[i] == '.') {
        for (++i; IsDigit(text, i); ++i) ++digits;
    }
    if (digits == 0) return 0.0;
    size_t end = i;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        if (IsDigit(text, j)) {
            while (IsDigit(text, j)) ++j;
            end = j;
        }
    }
    return std::strtod(text.substr(start, end - start).c_str(), nullptr);
}

int Position(HWND upDown) { return static_cast<int>(SendMessageW(upDown, UDM_GETPOS32, 0, 0)); }

struct SpinRange {
    int low;
    int high;
};

// An up-down may keep its range either way round; a control that does not answer limits nothing.
SpinRange RangeOf(HWND upDown) {
    int low = INT_MIN;
    int high = INT_MAX;
    SendMessageW(upDown, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low), reinterpret_cast<LPARAM>(&high));
    return low <= high ? SpinRange{low, high} : SpinRange{high, low};
}

// Where the up-down's own step from position ends: it stops at the ends of its range.
int StepWithin(HWND upDown, int position, int delta) {
    SpinRange range = RangeOf(upDown);
    long long wanted = static_cast<long long>(position) + delta;
    if (wanted < range.low) return range.low;
    if (wanted > range.high) return range.high;
    return static_cast<int>(wanted);
}

void ShowOneDecimal(const VEdit& edit, float value) {
    WCHAR text[kEditChars] = {};
    swprintf_s(text, kEditChars, L"%.1f", static_cast<double>(value));
    edit.SetText(text);
}

void ShowWhole(const VEdit& edit, int value) {
    WCHAR text[kEditChars] = {};
    swprintf_s(text, kEditChars, L"%d", value);
    edit.SetText(text);
}

}  // namespace

float VPage::ReadEditFloat(const VEdit& edit) { return ToFloat(ParseFloat(EditText(edit))); }

float VPage::ReadEditInRange(const VEdit& edit, HWND upDown, float scale) {
    float value = ReadEditFloat(edit);
    if (std::fabs(static_cast<double>(scale)) <= kSmallestScale) return value;
    SpinRange range = RangeOf(upDown);
    double low = static_cast<double>(range.low) / static_cast<double>(scale);
    double high = static_cast<double>(range.high) / static_cast<double>(scale);
    if (low > high) std::swap(low, high);
    if (static_cast<double>(value) < low) return ToFloat(low);
    if (static_cast<double>(value) > high) return ToFloat(high);
    return value;
}

int VPage::SyncSpinFloat(const VEdit& edit, HWND upDown, float scale, int delta) {
    if (std::fabs(static_cast<double>(scale)) <= kSmallestScale) return 0;
    float value = ReadEditFloat(edit);
    // The single-precision product: an exact double product rounded once, whatever the FPU's precision.
    int target = ToInt(static_cast<float>(static_cast<double>(value) * static_cast<double>(scale)));
    int position = Position(upDown);
    if (position != target) {
        SendMessageW(upDown, UDM_SETPOS32, 0, SaturatingAdd(target, delta));
        ShowOneDecimal(edit, static_cast<float>(Position(upDown)) / scale);
        return 1;
    }
    ShowOneDecimal(edit, static_cast<float>(StepWithin(upDown, position, delta)) / scale);
    return 0;
}

int VPage::SyncSpinInt(const VEdit& edit, HWND upDown, int delta) {
    int target = ParseInt(EditText(edit));
    int position = Position(upDown);
    if (position != target) {
        SendMessageW(upDown, UDM_SETPOS32, 0, SaturatingAdd(target, delta));
        ShowWhole(edit, Position(upDown));
        return 1;
    }
    ShowWhole(edit, StepWithin(upDown, position, delta));
    return 0;
}

// A failed step still ends what was started, so the printer is not left inside a document.
BOOL VPage::SendRawCommand(const BYTE* bytes, DWORD length) {
    if (!m_pContext || !m_pContext->hPrinter) return FALSE;
    HANDLE printer = m_pContext->hPrinter;
    WCHAR docName[] = L"WriteCmd";
    WCHAR datatype[] = L"RAW";
    DOC_INFO_1W doc{docName, nullptr, datatype};
    if (!StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&doc))) return FALSE;
    if (!StartPagePrinter(printer)) {
        EndDocPrinter(printer);
        return FALSE;
    }
    DWORD written = 0;
    if (!WritePrinter(printer, const_cast<BYTE*>(bytes), length, &written)) {
        EndPagePrinter(printer);
        EndDocPrinter(printer);
        return FALSE;
    }
    if (!EndPagePrinter(printer)) {
        EndDocPrinter(printer);
        return FALSE;
    }
    if (!EndDocPrinter(printer)) return FALSE;
    return written == length;
}
