#include "format.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "invalid_parameter.h"

namespace winsim {
namespace {

// Beyond this precision a double's digits are all zeros: they are counted, not made.
constexpr int kMadePrecision = 1100;

template <class C>
class Sink {
public:
    explicit Sink(size_t limit) : limit_(limit) {}
    void Put(const C* s, size_t n) {
        out_.text.append(s, Room(n));
        Add(n);
    }
    void Put(const std::basic_string<C>& s) { Put(s.data(), s.size()); }
    void Repeat(C c, size_t n) {
        out_.text.append(Room(n), c);
        Add(n);
    }
    Formatted<C>& Result() { return out_; }

private:
    size_t Room(size_t n) const {
        size_t room = limit_ > out_.text.size() ? limit_ - out_.text.size() : 0;
        return n < room ? n : room;
    }
    void Add(size_t n) { out_.length = n > SIZE_MAX - out_.length ? SIZE_MAX : out_.length + n; }

    size_t limit_;
    Formatted<C> out_;
};

enum class Size { None, Char, Short, Long, LongLong, LongDouble, Wide, Pointer, SizeT, PtrDiff };

struct Conversion {
    bool minus = false, plus = false, space = false, hash = false, zero = false;
    size_t width = 0;
    int precision = -1;  // none
    Size size = Size::None;
    char type = 0;
};

template <class C>
std::basic_string<C> Widen(const std::string& ascii) {
    return std::basic_string<C>(ascii.begin(), ascii.end());
}

// Writes sign or prefix, zeros and body to fill the width as the flags say.
template <class C>
void Pad(Sink<C>& sink, const Conversion& conv, const std::basic_string<C>& prefix, size_t zeros,
         const std::basic_string<C>& body, bool zeroFill) {
    size_t used = prefix.size() + body.size();
    used = zeros > SIZE_MAX - used ? SIZE_MAX : used + zeros;
    size_t pad = conv.width > used ? conv.width - used : 0;
    if (!conv.minus && !zeroFill) sink.Repeat(C(' '), pad);
    sink.Put(prefix);
    if (!conv.minus && zeroFill) sink.Repeat(C('0'), pad);
    sink.Repeat(C('0'), zeros);
    sink.Put(body);
    if (conv.minus) sink.Repeat(C(' '), pad);
}

template <class C>
void Integer(Sink<C>& sink, const Conversion& conv, va_list& args) {
    bool isSigned = conv.type == 'd' || conv.type == 'i';
    uint64_t magnitude;
    bool negative = false;
    int64_t value = 0;
    uint64_t bits = 0;
    switch (conv.size) {
    case Size::LongLong: bits = static_cast<uint64_t>(va_arg(args, long long)); break;
    case Size::SizeT:
    case Size::Pointer: bits = static_cast<uint64_t>(va_arg(args, size_t)); break;
    case Size::PtrDiff: bits = static_cast<uint64_t>(va_arg(args, ptrdiff_t)); break;
    default: bits = static_cast<unsigned>(va_arg(args, int)); break;  // long is 32 bits on Windows
    }
    switch (conv.size) {
    case Size::Char: value = isSigned ? static_cast<signed char>(bits) : static_cast<unsigned char>(bits); break;
    case Size::Short: value = isSigned ? static_cast<short>(bits) : static_cast<unsigned short>(bits); break;
    case Size::LongLong:
    case Size::SizeT:
    case Size::Pointer:
    case Size::PtrDiff: value = static_cast<int64_t>(bits); break;
    default: value = isSigned ? static_cast<int32_t>(bits) : static_cast<int64_t>(static_cast<uint32_t>(bits)); break;
    }
    if (isSigned && value < 0) {
        negative = true;
        magnitude = 0 - static_cast<uint64_t>(value);
    } else {
        magnitude = static_cast<uint64_t>(value);
    }
    unsigned base = conv.type == 'o' ? 8 : conv.type == 'x' || conv.type == 'X' ? 16 : 10;
    const char* digitsOf = conv.type == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
    std::basic_string<C> digits;
    for (uint64_t m = magnitude; m; m /= base) digits.insert(digits.begin(), C(digitsOf[m % base]));
    if (magnitude == 0 && conv.precision != 0) digits = Widen<C>("0");
    size_t zeros = conv.precision > 0 && static_cast<size_t>(conv.precision) > digits.size() ? conv.precision - digits.size() : 0;
    std::basic_string<C> prefix;
    if (isSigned) {
        if (negative) prefix = Widen<C>("-");
        else if (conv.plus) prefix = Widen<C>("+");
        else if (conv.space) prefix = Widen<C>(" ");
    } else if (conv.hash && base == 8 && zeros == 0 && (digits.empty() || digits[0] != C('0'))) {
        zeros = 1;
    } else if (conv.hash && base == 16 && magnitude != 0) {
        prefix = Widen<C>(conv.type == 'X' ? "0X" : "0x");
    }
    Pad(sink, conv, prefix, zeros, digits, conv.zero && !conv.minus && conv.precision < 0);
}

template <class C>
void Floating(Sink<C>& sink, const Conversion& conv, va_list& args) {
    long double ld = 0;
    double d = 0;
    bool isLong = conv.size == Size::LongDouble;
    if (isLong) ld = va_arg(args, long double);
    else d = va_arg(args, double);
    bool finite = isLong ? std::isfinite(ld) : std::isfinite(d);
    int precision = conv.precision < kMadePrecision ? conv.precision : kMadePrecision;
    std::string fmt = "%";
    if (conv.plus) fmt += '+';
    if (conv.space) fmt += ' ';
    if (conv.hash) fmt += '#';
    if (precision >= 0) fmt += "." + std::to_string(precision);
    if (isLong) fmt += 'L';
    fmt += conv.type;
    int n = isLong ? std::snprintf(nullptr, 0, fmt.c_str(), ld) : std::snprintf(nullptr, 0, fmt.c_str(), d);
    std::string made(n > 0 ? static_cast<size_t>(n) + 1 : 1, '\0');
    if (isLong) std::snprintf(&made[0], made.size(), fmt.c_str(), ld);
    else std::snprintf(&made[0], made.size(), fmt.c_str(), d);
    made.resize(n > 0 ? static_cast<size_t>(n) : 0);
    // The zeros a larger precision adds, before the exponent if there is one.
    size_t zeros = 0;
    size_t at = made.size();
    bool general = conv.type == 'g' || conv.type == 'G';
    if (finite && conv.precision > kMadePrecision && (!general || conv.hash)) {
        zeros = static_cast<size_t>(conv.precision - kMadePrecision);
        bool hex = conv.type == 'a' || conv.type == 'A';
        size_t exponent = made.find_first_of(hex ? "pP" : "eE");
        if (exponent != std::string::npos) at = exponent;
    }
    size_t signs = finite && !made.empty() && std::strchr("+- ", made[0]) ? 1 : 0;
    if (finite && (conv.type == 'a' || conv.type == 'A') && made.size() >= signs + 2) signs += 2;  // 0x
    std::basic_string<C> prefix = Widen<C>(made.substr(0, signs));
    std::basic_string<C> head = Widen<C>(made.substr(signs, at - signs));
    std::basic_string<C> tail = Widen<C>(made.substr(at));
    bool zeroFill = finite && conv.zero && !conv.minus;
    size_t used = prefix.size() + head.size() + tail.size();
    used = zeros > SIZE_MAX - used ? SIZE_MAX : used + zeros;
    size_t pad = conv.width > used ? conv.width - used : 0;
    if (!conv.minus && !zeroFill) sink.Repeat(C(' '), pad);
    sink.Put(prefix);
    if (zeroFill) sink.Repeat(C('0'), pad);
    sink.Put(head);
    sink.Repeat(C('0'), zeros);
    sink.Put(tail);
    if (conv.minus) sink.Repeat(C(' '), pad);
}

// A string argument as characters of the sink's width: at most precision characters (bytes, for a
// narrow result) are read, so an argument need not end within them.
bool Text(std::wstring* out, const wchar_t* s, int precision) {
    *out = precision < 0 ? std::wstring(s) : std::wstring(s, wcsnlen(s, static_cast<size_t>(precision)));
    return true;
}

bool Text(std::wstring* out, const char* s, int precision) {
    out->clear();
    std::mbstate_t state{};
    while (precision < 0 || out->size() < static_cast<size_t>(precision)) {
        wchar_t c;
        size_t used = std::mbrtowc(&c, s, MB_LEN_MAX, &state);
        if (used == 0) break;
        if (used == static_cast<size_t>(-1) || used == static_cast<size_t>(-2)) return false;
        out->push_back(c);
        s += used;
    }
    return true;
}

bool Text(std::string* out, const char* s, int precision) {
    *out = precision < 0 ? std::string(s) : std::string(s, strnlen(s, static_cast<size_t>(precision)));
    return true;
}

bool Text(std::string* out, const wchar_t* s, int precision) {
    out->clear();
    std::mbstate_t state{};
    char bytes[MB_LEN_MAX];
    // Nothing past the precision is read: the argument need not end within it.
    for (; (precision < 0 || out->size() < static_cast<size_t>(precision)) && *s; ++s) {
        size_t n = std::wcrtomb(bytes, *s, &state);
        if (n == static_cast<size_t>(-1)) return false;
        if (precision >= 0 && out->size() + n > static_cast<size_t>(precision)) break;  // no character cut in two
        out->append(bytes, n);
    }
    return true;
}

template <class C>
bool String(Sink<C>& sink, const Conversion& conv, bool wide, va_list& args) {
    std::basic_string<C> text;
    const void* p = va_arg(args, const void*);
    bool ok = !p ? Text(&text, "(null)", conv.precision)
                 : wide ? Text(&text, static_cast<const wchar_t*>(p), conv.precision)
                        : Text(&text, static_cast<const char*>(p), conv.precision);
    if (!ok) return false;
    Pad(sink, conv, std::basic_string<C>(), 0, text, false);
    return true;
}

template <class C>
bool Character(Sink<C>& sink, const Conversion& conv, bool wide, va_list& args) {
    int c = va_arg(args, int);
    std::basic_string<C> text;
    if (wide) {
        wchar_t w[2] = {static_cast<wchar_t>(c), 0};
        if (!Text(&text, w, -1)) return false;
        if (c == 0) text.assign(1, C(0));
    } else {
        char b[2] = {static_cast<char>(c), 0};
        if (c != 0 && !Text(&text, b, -1)) return false;
        if (c == 0) text.assign(1, C(0));
    }
    Pad(sink, conv, std::basic_string<C>(), 0, text, false);
    return true;
}

// Digits of a number from the format; false past INT_MAX, which the runtime refuses.
template <class C>
bool Number(const C*& p, size_t* value) {
    *value = 0;
    while (*p >= C('0') && *p <= C('9')) {
        *value = *value * 10 + static_cast<size_t>(*p - C('0'));
        if (*value > INT_MAX) return false;
        ++p;
    }
    return true;
}

template <class C>
Formatted<C> Format(const char* function, size_t limit, const C* format, va_list args) {
    constexpr bool kWide = sizeof(C) == sizeof(wchar_t);
    Sink<C> sink(limit);
    va_list ap;
    va_copy(ap, args);
    bool ok = true;
    for (const C* p = format; *p;) {
        if (*p != C('%')) {
            const C* start = p;
            while (*p && *p != C('%')) ++p;
            sink.Put(start, static_cast<size_t>(p - start));
            continue;
        }
        ++p;
        Conversion conv;
        for (;; ++p) {
            if (*p == C('-')) conv.minus = true;
            else if (*p == C('+')) conv.plus = true;
            else if (*p == C(' ')) conv.space = true;
            else if (*p == C('#')) conv.hash = true;
            else if (*p == C('0')) conv.zero = true;
            else break;
        }
        if (*p == C('*')) {
            int w = va_arg(ap, int);
            if (w < 0) conv.minus = true;
            conv.width = static_cast<size_t>(w < 0 ? -static_cast<int64_t>(w) : w);
            ++p;
        } else if (!Number(p, &conv.width)) {
            InvalidParameter(function, "the format asks for a width beyond the largest int");
        }
        if (*p == C('.')) {
            ++p;
            size_t precision = 0;
            if (*p == C('*')) {
                int given = va_arg(ap, int);
                conv.precision = given < 0 ? -1 : given;
                ++p;
            } else if (!Number(p, &precision)) {
                InvalidParameter(function, "the format asks for a precision beyond the largest int");
            } else {
                conv.precision = static_cast<int>(precision);
            }
        }
        // Size prefixes, longest first where one begins another.
        static const struct {
            const char* text;
            Size size;
        } kSizes[] = {{"I64", Size::LongLong}, {"I32", Size::None}, {"ll", Size::LongLong}, {"hh", Size::Char},
                      {"h", Size::Short},      {"l", Size::Long},     {"w", Size::Wide},       {"L", Size::LongDouble},
                      {"I", Size::Pointer},    {"j", Size::LongLong}, {"z", Size::SizeT},      {"t", Size::PtrDiff}};
        for (const auto& prefix : kSizes) {
            size_t n = 0;
            while (prefix.text[n] && p[n] == C(prefix.text[n])) ++n;
            if (prefix.text[n]) continue;
            conv.size = prefix.size;
            p += n;
            break;
        }
        if (!*p) InvalidParameter(function, "the format ends within a conversion");
        C type = *p++;
        conv.type = static_cast<char>(type);
        bool shortSize = conv.size == Size::Short || conv.size == Size::Char;
        bool longSize = conv.size == Size::Long || conv.size == Size::Wide;
        switch (type) {
        case C('%'): sink.Put(p - 1, 1); break;
        case C('d'):
        case C('i'):
        case C('o'):
        case C('u'):
        case C('x'):
        case C('X'): Integer(sink, conv, ap); break;
        case C('e'):
        case C('E'):
        case C('f'):
        case C('F'):
        case C('g'):
        case C('G'):
        case C('a'):
        case C('A'): Floating(sink, conv, ap); break;
        // The upper-case letter names the other width; h and l name it outright.
        case C('s'):
        case C('S'):
        case C('c'):
        case C('C'): {
            bool upper = type == C('S') || type == C('C');
            bool wide = shortSize ? false : longSize ? true : upper != kWide;
            // Every argument is taken, so that those after a failed one are still read as what they are.
            bool made = type == C('s') || type == C('S') ? String(sink, conv, wide, ap) : Character(sink, conv, wide, ap);
            ok = ok && made;
            break;
        }
        case C('p'): {
            Conversion hex = conv;
            hex.type = 'X';
            hex.size = Size::Pointer;
            hex.precision = static_cast<int>(2 * sizeof(void*));
            hex.hash = false;
            Integer(sink, hex, ap);
            break;
        }
        case C('n'): InvalidParameter(function, "the format holds %n, which the runtime does not allow");
        default:
            InvalidParameter(function, std::string("the format holds an unknown conversion '") +
                                           (type > 0x20 && type < 0x7F ? std::string(1, static_cast<char>(type)) : "?") + "'");
        }
    }
    va_end(ap);
    Formatted<C> out = std::move(sink.Result());
    out.failed = !ok;
    return out;
}

}  // namespace

// Simplified: the CRT's own locale does not convert string arguments of the other width (glibc's does,
// as before); %Z and positional arguments are not supported.
Formatted<wchar_t> FormatWide(const char* function, size_t limit, const wchar_t* format, va_list args) {
    return Format(function, limit, format, args);
}

Formatted<char> FormatNarrow(const char* function, size_t limit, const char* format, va_list args) {
    return Format(function, limit, format, args);
}

}  // namespace winsim
