// wrc: the resource compiler of the Linux build. Turns a program's .rc file (UTF-8) into C++ data that
// registers itself with the simulated user32 when the program or plug-in is loaded.
//
//   wrc INPUT.rc OUTPUT.cpp [-I DIR]...
//
// It knows LANGUAGE, STRINGTABLE and #define/#include of symbol headers; other resource statements
// (manifests, icons, version blocks) are skipped, blocks included.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Token {
    enum Kind { Word, Number, String, Punct, End } kind;
    std::string text;
    std::u32string wide;  // decoded string literal
    long value = 0;
    int line = 0;
};

std::string gFile;

[[noreturn]] void Fail(int line, const std::string& what) {
    std::fprintf(stderr, "%s:%d: error: %s\n", gFile.c_str(), line, what.c_str());
    std::exit(1);
}

std::u32string DecodeUtf8(const std::string& s, int line) {
    std::u32string out;
    for (size_t i = 0; i < s.size();) {
        unsigned char b = static_cast<unsigned char>(s[i]);
        char32_t c;
        size_t len;
        if (b < 0x80) { c = b; len = 1; }
        else if ((b & 0xE0) == 0xC0) { c = b & 0x1F; len = 2; }
        else if ((b & 0xF0) == 0xE0) { c = b & 0x0F; len = 3; }
        else if ((b & 0xF8) == 0xF0) { c = b & 0x07; len = 4; }
        else Fail(line, "the file is not UTF-8");
        if (i + len > s.size()) Fail(line, "the file is not UTF-8");
        for (size_t k = 1; k < len; ++k) c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        out += c;
        i += len;
    }
    return out;
}

class Lexer {
public:
    Lexer(std::string text, std::map<std::string, long>& defines) : s_(std::move(text)), defines_(defines) {}

    std::vector<Token> All(const std::vector<std::string>& includeDirs) {
        std::vector<Token> out;
        for (;;) {
            Token t = Next(includeDirs);
            out.push_back(t);
            if (t.kind == Token::End) return out;
        }
    }

private:
    Token Next(const std::vector<std::string>& includeDirs) {
        for (;;) {
            SkipSpace();
            if (i_ >= s_.size()) return Token{Token::End, "", U"", 0, line_};
            if (s_[i_] == '#' && AtLineStart()) {
                Directive(includeDirs);
                continue;
            }
            break;
        }
        Token t{Token::Punct, "", U"", 0, line_};
        char c = s_[i_];
        if (c == '"' || ((c == 'L' || c == 'l') && i_ + 1 < s_.size() && s_[i_ + 1] == '"')) {
            if (c != '"') ++i_;
            t.kind = Token::String;
            t.wide = StringLiteral();
            return t;
        }
        if (std::isdigit(static_cast<unsigned char>(c))) {
            size_t start = i_;
            while (i_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[i_])))) ++i_;
            t.kind = Token::Number;
            t.text = s_.substr(start, i_ - start);
            t.value = std::strtol(t.text.c_str(), nullptr, 0);
            return t;
        }
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            size_t start = i_;
            while (i_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[i_])) || s_[i_] == '_')) ++i_;
            t.kind = Token::Word;
            t.text = s_.substr(start, i_ - start);
            return t;
        }
        t.text = std::string(1, c);
        ++i_;
        return t;
    }

    bool AtLineStart() const {
        for (size_t k = i_; k-- > 0;) {
            if (s_[k] == '\n') return true;
            if (s_[k] != ' ' && s_[k] != '\t') return false;
        }
        return true;
    }

    void SkipSpace() {
        while (i_ < s_.size()) {
            if (s_[i_] == '\n') { ++line_; ++i_; }
            else if (std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
            else if (s_.compare(i_, 2, "//") == 0) { while (i_ < s_.size() && s_[i_] != '\n') ++i_; }
            else if (s_.compare(i_, 2, "/*") == 0) {
                size_t end = s_.find("*/", i_ + 2);
                for (size_t k = i_; k < (end == std::string::npos ? s_.size() : end); ++k) line_ += s_[k] == '\n';
                i_ = end == std::string::npos ? s_.size() : end + 2;
            } else break;
        }
    }

    std::string RestOfLine() {
        size_t end = s_.find('\n', i_);
        std::string rest = s_.substr(i_, end == std::string::npos ? std::string::npos : end - i_);
        i_ = end == std::string::npos ? s_.size() : end;
        return rest;
    }

    void Directive(const std::vector<std::string>& includeDirs) {
        std::string line = RestOfLine();
        std::istringstream in(line.substr(1));
        std::string word;
        in >> word;
        if (word == "define") {
            std::string name, value;
            in >> name >> value;
            if (!value.empty()) {
                if (value.front() == '(' && value.back() == ')') value = value.substr(1, value.size() - 2);
                char* end = nullptr;
                long v = std::strtol(value.c_str(), &end, 0);
                if (end && *end == 0) defines_[name] = v;
            }
        } else if (word == "include") {
            std::string rest;
            std::getline(in, rest);
            size_t q1 = rest.find('"'), q2 = rest.rfind('"');
            if (q1 == std::string::npos || q2 == q1) return;  // <system> headers: nothing of ours
            std::string name = rest.substr(q1 + 1, q2 - q1 - 1);
            for (const std::string& dir : includeDirs) {
                std::ifstream f(dir + "/" + name);
                if (!f) continue;
                std::stringstream ss;
                ss << f.rdbuf();
                Lexer sub(ss.str(), defines_);
                sub.All(includeDirs);  // only its #defines matter
                return;
            }
            Fail(line_, "cannot find included file " + name);
        }
        // #pragma, #if and friends: nothing to do for resources
    }

    std::u32string StringLiteral() {
        int startLine = line_;
        ++i_;  // opening quote
        std::string raw;
        for (;;) {
            if (i_ >= s_.size() || s_[i_] == '\n') Fail(startLine, "unterminated string");
            char c = s_[i_++];
            if (c == '"') {
                if (i_ < s_.size() && s_[i_] == '"') {  // "" stands for one quote
                    raw += '"';
                    ++i_;
                    continue;
                }
                break;
            }
            if (c == '\\' && i_ < s_.size()) {
                char e = s_[i_++];
                switch (e) {
                case 'n': raw += '\n'; break;
                case 't': raw += '\t'; break;
                case 'r': raw += '\r'; break;
                case 'a': raw += '\b'; break;
                case '\\': raw += '\\'; break;
                case '"': raw += '"'; break;
                case '0': raw += '\0'; break;
                default: raw += '\\'; raw += e; break;
                }
                continue;
            }
            raw += c;
        }
        return DecodeUtf8(raw, startLine);
    }

    std::string s_;
    size_t i_ = 0;
    int line_ = 1;
    std::map<std::string, long>& defines_;
};

const std::map<std::string, long> kLanguageNames = {
    {"LANG_NEUTRAL", 0x00}, {"LANG_CHINESE", 0x04}, {"LANG_ENGLISH", 0x09}, {"LANG_JAPANESE", 0x11},
    {"SUBLANG_NEUTRAL", 0x00}, {"SUBLANG_DEFAULT", 0x01}, {"SUBLANG_ENGLISH_US", 0x01},
    {"SUBLANG_JAPANESE_JAPAN", 0x01}, {"SUBLANG_CHINESE_SIMPLIFIED", 0x02}, {"SUBLANG_SYS_DEFAULT", 0x02},
};

struct StringEntry {
    unsigned language;
    long id;
    std::u32string text;
    int line;
};

class Parser {
public:
    Parser(std::vector<Token> tokens, std::map<std::string, long>& defines) : t_(std::move(tokens)), defines_(defines) {}

    std::vector<StringEntry> Strings() {
        std::vector<StringEntry> out;
        while (Peek().kind != Token::End) {
            const Token& t = Peek();
            if (IsWord(t, "LANGUAGE")) {
                ++p_;
                long primary = Value(Take());
                if (Peek().text == ",") ++p_;
                long sub = Value(Take());
                language_ = static_cast<unsigned>((sub << 10) | primary);
            } else if (IsWord(t, "STRINGTABLE")) {
                ++p_;
                while (!IsOpen(Peek())) {
                    if (Peek().kind == Token::End) Fail(t.line, "STRINGTABLE without BEGIN");
                    ++p_;  // memory options, CHARACTERISTICS, ...
                }
                ++p_;
                while (!IsClose(Peek())) {
                    const Token& idTok = Take();
                    if (idTok.kind == Token::End) Fail(t.line, "STRINGTABLE without END");
                    long id = Value(idTok);
                    if (Peek().text == ",") ++p_;
                    const Token& text = Take();
                    if (text.kind != Token::String) Fail(text.line, "string expected after id");
                    std::u32string value = text.wide;
                    while (Peek().kind == Token::String) value += Take().wide;
                    for (const StringEntry& e : out) {
                        if (e.language == language_ && e.id == id) Fail(idTok.line, "string id defined twice in one language");
                    }
                    out.push_back({language_, id, value, idTok.line});
                }
                ++p_;
            } else if (IsOpen(t)) {
                SkipBlock();
            } else {
                ++p_;
            }
        }
        return out;
    }

private:
    const Token& Peek() const { return t_[p_]; }
    const Token& Take() { return t_[p_ < t_.size() - 1 ? p_++ : p_]; }
    static bool IsWord(const Token& t, const char* w) { return t.kind == Token::Word && t.text == w; }
    static bool IsOpen(const Token& t) { return IsWord(t, "BEGIN") || t.text == "{"; }
    static bool IsClose(const Token& t) { return IsWord(t, "END") || t.text == "}"; }

    void SkipBlock() {
        int depth = 0;
        do {
            if (Peek().kind == Token::End) Fail(Peek().line, "block without END");
            if (IsOpen(Peek())) ++depth;
            if (IsClose(Peek())) --depth;
            ++p_;
        } while (depth > 0);
    }

    long Value(const Token& t) {
        if (t.kind == Token::Number) return t.value;
        if (t.kind == Token::Word) {
            auto d = defines_.find(t.text);
            if (d != defines_.end()) return d->second;
            auto l = kLanguageNames.find(t.text);
            if (l != kLanguageNames.end()) return l->second;
        }
        Fail(t.line, "unknown symbol '" + t.text + "'");
    }

    std::vector<Token> t_;
    size_t p_ = 0;
    unsigned language_ = 0x0409;
    std::map<std::string, long>& defines_;
};

std::string WideLiteral(const std::u32string& s) {
    std::string out = "L\"";
    char buf[16];
    for (char32_t c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else if (c < 0xA0) {
            std::snprintf(buf, sizeof buf, "\\x%02X\"L\"", static_cast<unsigned>(c));
            out += buf;
        } else {
            std::snprintf(buf, sizeof buf, "\\U%08X", static_cast<unsigned>(c));
            out += buf;
        }
    }
    return out + "\"";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: wrc INPUT.rc OUTPUT.cpp [-I DIR]...\n");
        return 2;
    }
    gFile = argv[1];
    std::vector<std::string> includeDirs;
    std::string inputDir = gFile.substr(0, gFile.find_last_of('/') == std::string::npos ? 0 : gFile.find_last_of('/'));
    includeDirs.push_back(inputDir.empty() ? "." : inputDir);
    for (int i = 3; i + 1 < argc; i += 2) {
        if (std::string(argv[i]) == "-I") includeDirs.push_back(argv[i + 1]);
    }
    std::ifstream in(gFile, std::ios::binary);
    if (!in) Fail(0, "cannot read the file");
    std::stringstream ss;
    ss << in.rdbuf();
    std::string text = ss.str();
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text = text.substr(3);

    std::map<std::string, long> defines;
    Lexer lexer(text, defines);
    std::vector<Token> tokens = lexer.All(includeDirs);
    Parser parser(tokens, defines);
    std::vector<StringEntry> strings = parser.Strings();

    std::ostringstream out;
    out << "// Generated by wrc from " << gFile << ". Do not edit.\n";
    out << "#include <winsim_resources.h>\n\nnamespace {\n";
    out << "const WinsimStringResource kStrings[] = {\n";
    for (const StringEntry& e : strings) {
        out << "    {0x" << std::hex << e.language << std::dec << ", " << e.id << ", " << WideLiteral(e.text) << "},\n";
    }
    if (strings.empty()) out << "    {0, 0, nullptr},\n";
    out << "};\n";
    out << "[[maybe_unused]] const int kRegistered = WinsimRegisterStrings(kStrings, kStrings, "
        << strings.size() << ");\n}  // namespace\n";
    std::ofstream o(argv[2], std::ios::binary | std::ios::trunc);
    o << out.str();
    return o ? 0 : 1;
}
