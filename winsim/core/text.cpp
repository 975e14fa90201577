#include "text.h"

#include <cctype>
#include <cstdint>

#include "machine.h"
#include "winsim_host.h"

namespace winsim {

namespace {

constexpr uint32_t kIllFormed = 0xFFFFFFFF;

void AppendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The character at *i, or kIllFormed; *i moves past it, or past the longest start of a well-formed
// sequence (at least one byte), so one bad sequence is one replacement, as Unicode recommends.
uint32_t NextCharacter(const std::string& text, size_t* i) {
    const size_t n = text.size();
    unsigned char b = static_cast<unsigned char>(text[*i]);
    ++*i;
    if (b < 0x80) return b;
    size_t length;
    uint32_t c;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2, c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3, c = b & 0x0F;
        if (b == 0xE0) low = 0xA0;  // no overlong form
        if (b == 0xED) high = 0x9F;  // no surrogate
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4, c = b & 0x07;
        if (b == 0xF0) low = 0x90;  // no overlong form
        if (b == 0xF4) high = 0x8F;  // nothing past U+10FFFF
    } else {
        return kIllFormed;
    }
    for (size_t k = 1; k < length; ++k) {
        if (*i >= n) return kIllFormed;
        unsigned char cb = static_cast<unsigned char>(text[*i]);
        if (cb < (k == 1 ? low : 0x80) || cb > (k == 1 ? high : 0xBF)) return kIllFormed;
        c = (c << 6) | (cb & 0x3F);
        ++*i;
    }
    return c;
}

}  // namespace

std::string ToUtf8(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t wc : text) {
        uint32_t c = static_cast<uint32_t>(wc);
        AppendUtf8(out, c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) ? 0xFFFD : c);
    }
    return out;
}

std::wstring FromUtf8(const std::string& text) {
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        uint32_t c = NextCharacter(text, &i);
        out += static_cast<wchar_t>(c == kIllFormed ? 0xFFFD : c);
    }
    return out;
}

bool IsUtf8(const std::string& bytes, size_t* at) {
    for (size_t i = 0; i < bytes.size();) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            ++i;
            continue;
        }
        size_t start = i;
        if (NextCharacter(bytes, &i) == kIllFormed) {
            if (at) *at = start;
            return false;
        }
    }
    return true;
}

std::string MendUtf8(const std::string& bytes) {
    if (IsUtf8(bytes)) return bytes;
    std::string out;
    out.reserve(bytes.size() + 8);
    for (size_t i = 0; i < bytes.size();) {
        uint32_t c = NextCharacter(bytes, &i);
        AppendUtf8(out, c == kIllFormed ? 0xFFFD : c);
    }
    return out;
}

std::string HostPath(const std::wstring& win32Path) {
    std::string p = ToUtf8(win32Path);
    std::string rest = p;
    std::string root;
    if (p.size() >= 2 && p[1] == ':' && std::isalpha(static_cast<unsigned char>(p[0]))) {
        char drive = static_cast<char>(std::tolower(static_cast<unsigned char>(p[0])));
        rest = p.substr(2);
        if (drive != 'z') root = Machine::Instance().Folder() + "/drive_" + drive;
    }
    for (char& ch : rest) {
        if (ch == '\\') ch = '/';
    }
    return root + rest;
}

std::wstring Win32Path(const std::string& hostPath) {
    std::wstring w = FromUtf8(hostPath);
    for (wchar_t& ch : w) {
        if (ch == L'/') ch = L'\\';
    }
    if (!w.empty() && w[0] == L'\\') w = L"Z:" + w;
    return w;
}

std::string ToHex(const unsigned char* data, size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        hex += kDigits[data[i] >> 4];
        hex += kDigits[data[i] & 0x0F];
    }
    return hex;
}

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::vector<unsigned char> FromHex(const std::string& hex) {
    std::vector<unsigned char> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        int high = HexDigit(hex[i]);
        int low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0) break;
        bytes.push_back(static_cast<unsigned char>(high << 4 | low));
    }
    return bytes;
}

}  // namespace winsim

std::string WinsimHostPath(const std::wstring& win32Path) { return winsim::HostPath(win32Path); }
