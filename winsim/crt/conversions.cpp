// The C runtime's locale as the system code sees it, and the conversions that follow it. glibc's own
// process locale is never touched: spdlog and cpprestsdk share it.
#include <iconv.h>

#include <windows.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

namespace {

struct CrtLocale {
    const char* name;      // what setlocale answers
    const char* charset;   // iconv's name of its code page; null: each byte is the character of that value
};

const CrtLocale kClassic = {"C", nullptr};
const CrtLocale kChinese = {"Chinese (Simplified)_China.936", "CP936"};
const CrtLocale kEnglish = {"English_United States.1252", "CP1252"};

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

// Converts with iconv; false when a character has no counterpart.
bool Convert(const char* from, const char* to, const char* in, size_t inBytes, std::string* out) {
    iconv_t cd = ::iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    out->assign(inBytes * 4 + 16, '\0');
    char* src = const_cast<char*>(in);
    char* dst = &(*out)[0];
    size_t dstLeft = out->size();
    size_t r = ::iconv(cd, &src, &inBytes, &dst, &dstLeft);
    ::iconv_close(cd);
    if (r == static_cast<size_t>(-1)) return false;
    out->resize(out->size() - dstLeft);
    return true;
}

// Narrow text of the current locale to wide characters.
bool ToWide(const CrtLocale* locale, const std::string& narrow, std::wstring* wide) {
    if (!locale->charset) {
        wide->clear();
        for (unsigned char c : narrow) wide->push_back(static_cast<wchar_t>(c));
        return true;
    }
    std::string utf32;
    if (!Convert(locale->charset, "UTF-32LE", narrow.data(), narrow.size(), &utf32)) return false;
    wide->assign(reinterpret_cast<const char32_t*>(utf32.data()),
                 reinterpret_cast<const char32_t*>(utf32.data()) + utf32.size() / 4);
    return true;
}

bool ToNarrow(const CrtLocale* locale, const std::wstring& wide, std::string* narrow) {
    if (!locale->charset) {
        narrow->clear();
        for (wchar_t c : wide) {
            if (static_cast<uint32_t>(c) > 0xFF) return false;
            narrow->push_back(static_cast<char>(c));
        }
        return true;
    }
    std::u32string utf32(wide.begin(), wide.end());
    return Convert("UTF-32LE", locale->charset, reinterpret_cast<const char*>(utf32.data()), utf32.size() * 4, narrow);
}

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

extern "C" errno_t mbstowcs_s(size_t* pReturnValue, wchar_t* wcstr, size_t sizeInWords, const char* mbstr,
                              size_t count) {
    if (pReturnValue) *pReturnValue = 0;
    if (!mbstr || (!wcstr && sizeInWords > 0) || (wcstr && sizeInWords == 0)) {
        if (wcstr && sizeInWords > 0) wcstr[0] = 0;
        return EINVAL;
    }
    size_t length = 0;
    while ((count == _TRUNCATE || length < count) && mbstr[length]) ++length;
    std::wstring wide;
    if (!ToWide(Current(), std::string(mbstr, length), &wide)) {
        if (wcstr) wcstr[0] = 0;
        return EILSEQ;
    }
    if (!wcstr) {  // size query
        if (pReturnValue) *pReturnValue = wide.size() + 1;
        return 0;
    }
    errno_t result = 0;
    if (wide.size() + 1 > sizeInWords) {
        if (count != _TRUNCATE) {
            wcstr[0] = 0;
            return ERANGE;
        }
        wide.resize(sizeInWords - 1);
        result = STRUNCATE;
    }
    std::wmemcpy(wcstr, wide.data(), wide.size());
    wcstr[wide.size()] = 0;
    if (pReturnValue) *pReturnValue = wide.size() + 1;
    return result;
}

extern "C" errno_t wcstombs_s(size_t* pReturnValue, char* mbstr, size_t sizeInBytes, const wchar_t* wcstr,
                              size_t count) {
    if (pReturnValue) *pReturnValue = 0;
    if (!wcstr || (!mbstr && sizeInBytes > 0) || (mbstr && sizeInBytes == 0)) {
        if (mbstr && sizeInBytes > 0) mbstr[0] = 0;
        return EINVAL;
    }
    std::wstring wide = count == _TRUNCATE ? std::wstring(wcstr) : std::wstring(wcstr, wcsnlen(wcstr, count));
    std::string narrow;
    if (!ToNarrow(Current(), wide, &narrow)) {
        if (mbstr) mbstr[0] = 0;
        return EILSEQ;
    }
    if (!mbstr) {
        if (pReturnValue) *pReturnValue = narrow.size() + 1;
        return 0;
    }
    errno_t result = 0;
    if (narrow.size() + 1 > sizeInBytes) {
        if (count != _TRUNCATE) {
            mbstr[0] = 0;
            return ERANGE;
        }
        // Never cut a double-byte character in two: drop whole characters until it fits.
        std::wstring cut = wide;
        while (!cut.empty() && narrow.size() + 1 > sizeInBytes) {
            cut.pop_back();
            ToNarrow(Current(), cut, &narrow);
        }
        result = STRUNCATE;
    }
    std::memcpy(mbstr, narrow.data(), narrow.size());
    mbstr[narrow.size()] = 0;
    if (pReturnValue) *pReturnValue = narrow.size() + 1;
    return result;
}
