// The C runtime's locale as the system code sees it, and the conversions that follow it. glibc's own
// process locale is never touched: spdlog and cpprestsdk share it.
#include <iconv.h>

#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>

#include "invalid_parameter.h"

namespace {

struct CrtLocale {
    const char* name;      // what setlocale answers
    const char* charset;   // iconv's name of its code page; null: each byte is the character of that value
    bool doubleByte;       // bytes 0x81 to 0xFE lead a two-byte character
};

const CrtLocale kClassic = {"C", nullptr, false};
const CrtLocale kChinese = {"Chinese (Simplified)_China.936", "CP936", true};
const CrtLocale kEnglish = {"English_United States.1252", "CP1252", false};

std::mutex gMutex;
const CrtLocale* gCurrent = &kClassic;

const CrtLocale* Lookup(const char* name) {
    if (std::strcmp(name, "C") == 0) return &kClassic;
    if (std::strcmp(name, "") == 0) return &kEnglish;  // the user's default locale
    if (std::strcmp(name, "chs") == 0 || std::strcmp(name, kChinese.name) == 0 || std::strcmp(name, ".936") == 0) {
        return &kChinese;
    }
    if (std::strcmp(name, kEnglish.name) == 0 || std::strcmp(name, "English") == 0) return &kEnglish;
    return nullptr;
}

const CrtLocale* Current() {
    std::lock_guard<std::mutex> lock(gMutex);
    return gCurrent;
}

// At most `limit` characters of the locale's narrow text, up to its terminating zero, read one character
// at a time as the runtime reads them: never a byte beyond the last character taken. False when a
// character is not one of the code page.
bool ToWide(const CrtLocale* locale, const char* narrow, size_t limit, std::wstring* wide) {
    wide->clear();
    iconv_t cd = locale->charset ? ::iconv_open("UTF-32LE", locale->charset) : nullptr;
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    bool ok = true;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(narrow);
    while (ok && wide->size() < limit && *p) {
        size_t bytes = locale->doubleByte && *p >= 0x81 && *p <= 0xFE ? 2 : 1;
        if (bytes == 2 && !p[1]) {
            ok = false;  // a lead byte with the end of the text for its second byte
        } else if (!cd) {
            wide->push_back(static_cast<wchar_t>(*p));
        } else {
            char32_t c = 0;
            char* src = reinterpret_cast<char*>(const_cast<unsigned char*>(p));
            size_t srcLeft = bytes;
            char* dst = reinterpret_cast<char*>(&c);
            size_t dstLeft = sizeof c;
            ok = ::iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1) && srcLeft == 0 && dstLeft == 0;
            if (ok) wide->push_back(static_cast<wchar_t>(c));
        }
        p += bytes;
    }
    if (cd) ::iconv_close(cd);
    return ok;
}

// One wide character at a time into the locale's bytes, so that a conversion stops where its
// destination is full.
class Narrower {
public:
    explicit Narrower(const CrtLocale* locale)
        : cd_(locale->charset ? ::iconv_open(locale->charset, "UTF-32LE") : nullptr) {}
    ~Narrower() {
        if (Usable() && cd_) ::iconv_close(cd_);
    }
    Narrower(const Narrower&) = delete;
    Narrower& operator=(const Narrower&) = delete;
    bool Usable() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    // False when the character has no counterpart in the code page.
    bool Convert(wchar_t c, std::string* bytes) {
        bytes->clear();
        if (!cd_) {
            if (static_cast<uint32_t>(c) > 0xFF) return false;
            bytes->push_back(static_cast<char>(c));
            return true;
        }
        char32_t in = static_cast<char32_t>(c);
        char out[8];
        char* src = reinterpret_cast<char*>(&in);
        size_t srcLeft = sizeof in;
        char* dst = out;
        size_t dstLeft = sizeof out;
        if (::iconv(cd_, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1) || srcLeft != 0) return false;
        bytes->assign(out, sizeof out - dstLeft);
        return true;
    }

private:
    iconv_t cd_;
};

}  // namespace

// Simplified: one locale for all categories; the names known are "C", "" (US English), "chs" and the
// full names these answer.
extern "C" char* winsim_setlocale(int, const char* locale) {
    std::lock_guard<std::mutex> lock(gMutex);
    if (locale) {
        const CrtLocale* found = Lookup(locale);
        if (!found) return nullptr;
        gCurrent = found;
    }
    return const_cast<char*>(gCurrent->name);
}

// As the runtime does, a null pointer, a size of zero or a destination too small (unless count is
// _TRUNCATE) calls the invalid-parameter handler; a character not of the code page is EILSEQ and no more.
extern "C" errno_t mbstowcs_s(size_t* pReturnValue, wchar_t* wcstr, size_t sizeInWords, const char* mbstr,
                              size_t count) {
    if (!wcstr && sizeInWords > 0) winsim::InvalidParameter("mbstowcs_s", "the destination is a null pointer");
    if (wcstr && sizeInWords == 0) winsim::InvalidParameter("mbstowcs_s", "the destination's size is 0");
    if (wcstr) wcstr[0] = 0;
    if (pReturnValue) *pReturnValue = 0;
    if (!mbstr) winsim::InvalidParameter("mbstowcs_s", "the source is a null pointer");
    // count is in wide characters stored, not in bytes read; a size query ignores it.
    size_t limit = !wcstr ? static_cast<size_t>(-1) : count < sizeInWords ? count : sizeInWords;
    std::wstring wide;
    if (!ToWide(Current(), mbstr, limit, &wide)) {
        if (wcstr) wcstr[0] = 0;
        return EILSEQ;
    }
    errno_t result = 0;
    if (wcstr) {
        if (wide.size() + 1 > sizeInWords) {
            if (count != _TRUNCATE) {
                wcstr[0] = 0;
                winsim::InvalidParameter("mbstowcs_s", "the destination of " + std::to_string(sizeInWords) +
                                                           " wide characters is too small for the converted text");
            }
            wide.resize(sizeInWords - 1);
            result = STRUNCATE;
        }
        std::wmemcpy(wcstr, wide.data(), wide.size());
        wcstr[wide.size()] = 0;
    }
    if (pReturnValue) *pReturnValue = wide.size() + 1;
    return result;
}

extern "C" errno_t wcstombs_s(size_t* pReturnValue, char* mbstr, size_t sizeInBytes, const wchar_t* wcstr,
                              size_t count) {
    if (!mbstr && sizeInBytes > 0) winsim::InvalidParameter("wcstombs_s", "the destination is a null pointer");
    if (mbstr && sizeInBytes == 0) winsim::InvalidParameter("wcstombs_s", "the destination's size is 0");
    if (mbstr) mbstr[0] = 0;
    if (pReturnValue) *pReturnValue = 0;
    if (!wcstr) winsim::InvalidParameter("wcstombs_s", "the source is a null pointer");
    Narrower narrower(Current());
    if (!narrower.Usable()) return EILSEQ;
    // count is in bytes stored; a size query ignores it. Whole characters only: a double-byte character
    // is never cut in two. Every character stores a byte at least, so no more characters are read than
    // the bytes that may be stored and one to tell whether the text ends there; a count below the size
    // cuts without asking.
    size_t limit = !mbstr ? static_cast<size_t>(-1) : count < sizeInBytes ? count : sizeInBytes - 1;
    std::string narrow;
    std::string bytes;
    bool tooLong = false;
    for (const wchar_t* p = wcstr;; ++p) {
        if (mbstr && count < sizeInBytes && narrow.size() == limit) break;
        if (!*p) break;
        if (narrow.size() == limit) {
            tooLong = true;
            break;
        }
        if (!narrower.Convert(*p, &bytes)) return EILSEQ;
        if (bytes.size() > limit - narrow.size()) {
            tooLong = true;
            break;
        }
        narrow += bytes;
    }
    errno_t result = 0;
    if (mbstr) {
        if (tooLong && count >= sizeInBytes) {
            if (count != _TRUNCATE) {
                winsim::InvalidParameter("wcstombs_s", "the destination of " + std::to_string(sizeInBytes) +
                                                           " bytes is too small for the converted text");
            }
            result = STRUNCATE;
        }
        std::memcpy(mbstr, narrow.data(), narrow.size());
        mbstr[narrow.size()] = 0;
    }
    if (pReturnValue) *pReturnValue = narrow.size() + 1;
    return result;
}
