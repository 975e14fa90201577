// wrc: the resource compiler of the Linux build. Turns a program's .rc file (UTF-8) into C++ data that
// registers itself with the simulated user32 when the program or plug-in is loaded.
//
//   wrc INPUT.rc OUTPUT.cpp [-I DIR]...
//
// It knows LANGUAGE, STRINGTABLE, DIALOGEX and #define/#include of symbol headers; other resource
// statements (manifests, icons, version blocks) are skipped, blocks included. Dialog templates are
// written as the bytes of Windows' extended template (DLGTEMPLATEEX), so the platform reads them as
// Windows would; the window, dialog and control style names of <windows.h> and <commctrl.h> are built in.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
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

// The names a resource script takes from the system headers, with their documented values.
const std::map<std::string, long> kSystemNames = {
    {"WS_OVERLAPPED", 0x00000000L}, {"WS_POPUP", 0x80000000L}, {"WS_CHILD", 0x40000000L},
    {"WS_MINIMIZE", 0x20000000L}, {"WS_VISIBLE", 0x10000000L}, {"WS_DISABLED", 0x08000000L},
    {"WS_CLIPSIBLINGS", 0x04000000L}, {"WS_CLIPCHILDREN", 0x02000000L}, {"WS_MAXIMIZE", 0x01000000L},
    {"WS_CAPTION", 0x00C00000L}, {"WS_BORDER", 0x00800000L}, {"WS_DLGFRAME", 0x00400000L},
    {"WS_VSCROLL", 0x00200000L}, {"WS_HSCROLL", 0x00100000L}, {"WS_SYSMENU", 0x00080000L},
    {"WS_THICKFRAME", 0x00040000L}, {"WS_GROUP", 0x00020000L}, {"WS_TABSTOP", 0x00010000L},
    {"WS_MINIMIZEBOX", 0x00020000L}, {"WS_MAXIMIZEBOX", 0x00010000L},
    {"WS_EX_DLGMODALFRAME", 0x1L}, {"WS_EX_NOPARENTNOTIFY", 0x4L}, {"WS_EX_TOPMOST", 0x8L},
    {"WS_EX_TRANSPARENT", 0x20L}, {"WS_EX_TOOLWINDOW", 0x80L}, {"WS_EX_WINDOWEDGE", 0x100L},
    {"WS_EX_CLIENTEDGE", 0x200L}, {"WS_EX_CONTEXTHELP", 0x400L}, {"WS_EX_CONTROLPARENT", 0x10000L},
    {"WS_EX_STATICEDGE", 0x20000L}, {"WS_EX_APPWINDOW", 0x40000L},
    {"DS_ABSALIGN", 0x01L}, {"DS_SYSMODAL", 0x02L}, {"DS_3DLOOK", 0x04L}, {"DS_FIXEDSYS", 0x08L},
    {"DS_NOFAILCREATE", 0x10L}, {"DS_LOCALEDIT", 0x20L}, {"DS_SETFONT", 0x40L}, {"DS_MODALFRAME", 0x80L},
    {"DS_NOIDLEMSG", 0x100L}, {"DS_SETFOREGROUND", 0x200L}, {"DS_CONTROL", 0x400L}, {"DS_CENTER", 0x800L},
    {"DS_CENTERMOUSE", 0x1000L}, {"DS_CONTEXTHELP", 0x2000L}, {"DS_SHELLFONT", 0x48L},
    {"SS_LEFT", 0x0L}, {"SS_CENTER", 0x1L}, {"SS_RIGHT", 0x2L}, {"SS_ICON", 0x3L}, {"SS_BLACKRECT", 0x4L},
    {"SS_ETCHEDHORZ", 0x10L}, {"SS_SIMPLE", 0xBL}, {"SS_LEFTNOWORDWRAP", 0xCL}, {"SS_NOPREFIX", 0x80L},
    {"SS_NOTIFY", 0x100L}, {"SS_CENTERIMAGE", 0x200L}, {"SS_SUNKEN", 0x1000L},
    {"BS_PUSHBUTTON", 0x0L}, {"BS_DEFPUSHBUTTON", 0x1L}, {"BS_CHECKBOX", 0x2L}, {"BS_AUTOCHECKBOX", 0x3L},
    {"BS_RADIOBUTTON", 0x4L}, {"BS_3STATE", 0x5L}, {"BS_AUTO3STATE", 0x6L}, {"BS_GROUPBOX", 0x7L},
    {"BS_AUTORADIOBUTTON", 0x9L}, {"BS_OWNERDRAW", 0xBL}, {"BS_LEFTTEXT", 0x20L}, {"BS_TEXT", 0x0L},
    {"BS_LEFT", 0x100L}, {"BS_RIGHT", 0x200L}, {"BS_CENTER", 0x300L}, {"BS_TOP", 0x400L},
    {"BS_BOTTOM", 0x800L}, {"BS_VCENTER", 0xC00L}, {"BS_PUSHLIKE", 0x1000L}, {"BS_MULTILINE", 0x2000L},
    {"BS_NOTIFY", 0x4000L}, {"BS_FLAT", 0x8000L},
    {"ES_LEFT", 0x0L}, {"ES_CENTER", 0x1L}, {"ES_RIGHT", 0x2L}, {"ES_MULTILINE", 0x4L}, {"ES_UPPERCASE", 0x8L},
    {"ES_LOWERCASE", 0x10L}, {"ES_PASSWORD", 0x20L}, {"ES_AUTOVSCROLL", 0x40L}, {"ES_AUTOHSCROLL", 0x80L},
    {"ES_NOHIDESEL", 0x100L}, {"ES_READONLY", 0x800L}, {"ES_WANTRETURN", 0x1000L}, {"ES_NUMBER", 0x2000L},
    {"CBS_SIMPLE", 0x1L}, {"CBS_DROPDOWN", 0x2L}, {"CBS_DROPDOWNLIST", 0x3L}, {"CBS_OWNERDRAWFIXED", 0x10L},
    {"CBS_AUTOHSCROLL", 0x40L}, {"CBS_SORT", 0x100L}, {"CBS_HASSTRINGS", 0x200L},
    {"CBS_NOINTEGRALHEIGHT", 0x400L}, {"CBS_DISABLENOSCROLL", 0x800L},
    {"LBS_NOTIFY", 0x1L}, {"LBS_SORT", 0x2L}, {"LBS_NOINTEGRALHEIGHT", 0x100L},
    {"UDS_WRAP", 0x1L}, {"UDS_SETBUDDYINT", 0x2L}, {"UDS_ALIGNRIGHT", 0x4L}, {"UDS_ALIGNLEFT", 0x8L},
    {"UDS_AUTOBUDDY", 0x10L}, {"UDS_ARROWKEYS", 0x20L}, {"UDS_HORZ", 0x40L}, {"UDS_NOTHOUSANDS", 0x80L},
    {"UDS_HOTTRACK", 0x100L},
    {"LVS_ICON", 0x0L}, {"LVS_REPORT", 0x1L}, {"LVS_SMALLICON", 0x2L}, {"LVS_LIST", 0x3L},
    {"LVS_SINGLESEL", 0x4L}, {"LVS_SHOWSELALWAYS", 0x8L}, {"LVS_SORTASCENDING", 0x10L},
    {"LVS_SORTDESCENDING", 0x20L}, {"LVS_SHAREIMAGELISTS", 0x40L}, {"LVS_NOLABELWRAP", 0x80L},
    {"LVS_AUTOARRANGE", 0x100L}, {"LVS_EDITLABELS", 0x200L}, {"LVS_ALIGNTOP", 0x0L}, {"LVS_ALIGNLEFT", 0x800L},
    {"LVS_NOSCROLL", 0x2000L}, {"LVS_NOCOLUMNHEADER", 0x4000L}, {"LVS_NOSORTHEADER", 0x8000L},
    {"IDOK", 1}, {"IDCANCEL", 2}, {"IDC_STATIC", -1},
};

// Control classes that templates name by number.
const std::map<std::string, unsigned> kClassOrdinals = {
    {"BUTTON", 0x80}, {"EDIT", 0x81}, {"STATIC", 0x82}, {"LISTBOX", 0x83}, {"SCROLLBAR", 0x84}, {"COMBOBOX", 0x85},
};

constexpr long kChildVisible = 0x40000000L | 0x10000000L;  // every control: WS_CHILD | WS_VISIBLE
constexpr long kTabStop = 0x00010000L;
constexpr long kGroup = 0x00020000L;
constexpr long kBorder = 0x00800000L;

// The keyword controls: their class, default style, and whether they carry a text.
struct ControlKind {
    unsigned classOrdinal;
    long style;
    bool hasText;
};
const std::map<std::string, ControlKind> kControlKinds = {
    {"LTEXT", {0x82, 0x0L | kGroup, true}},
    {"CTEXT", {0x82, 0x1L | kGroup, true}},
    {"RTEXT", {0x82, 0x2L | kGroup, true}},
    {"PUSHBUTTON", {0x80, 0x0L | kTabStop, true}},
    {"DEFPUSHBUTTON", {0x80, 0x1L | kTabStop, true}},
    {"CHECKBOX", {0x80, 0x2L | kTabStop, true}},
    {"AUTOCHECKBOX", {0x80, 0x3L | kTabStop, true}},
    {"RADIOBUTTON", {0x80, 0x4L | kTabStop, true}},
    {"STATE3", {0x80, 0x5L | kTabStop, true}},
    {"AUTO3STATE", {0x80, 0x6L | kTabStop, true}},
    {"GROUPBOX", {0x80, 0x7L, true}},
    {"AUTORADIOBUTTON", {0x80, 0x9L | kTabStop, true}},
    {"EDITTEXT", {0x81, 0x0L | kBorder | kTabStop, false}},
    {"LISTBOX", {0x83, 0x1L | kBorder, false}},
    {"COMBOBOX", {0x85, 0x1L | kTabStop, false}},
};

const std::set<std::string> kMemoryOptions = {"DISCARDABLE", "MOVEABLE", "FIXED", "PURE", "IMPURE", "PRELOAD",
                                              "LOADONCALL", "SHARED", "NONSHARED"};

struct StringEntry {
    unsigned language;
    long id;
    std::u32string text;
    int line;
};

// A class or a menu name in a template: none, a number, or a name.
struct NameOrNumber {
    bool present = false;
    bool isNumber = false;
    unsigned number = 0;
    std::u32string name;
};

struct DialogItem {
    unsigned long helpId = 0;
    unsigned long exStyle = 0;
    unsigned long style = 0;
    long x = 0, y = 0, cx = 0, cy = 0;
    long id = 0;
    NameOrNumber cls;
    std::u32string text;
};

struct DialogEntry {
    unsigned language;
    long id;
    int line;
    unsigned long helpId = 0;
    unsigned long exStyle = 0;
    unsigned long style = 0;
    long x = 0, y = 0, cx = 0, cy = 0;
    NameOrNumber menu;
    NameOrNumber cls;
    std::u32string caption;
    bool hasFont = false;
    long pointSize = 0, weight = 0, italic = 0, charset = 0;
    std::u32string face;
    std::vector<DialogItem> items;
};

class Parser {
public:
    Parser(std::vector<Token> tokens, std::map<std::string, long>& defines) : t_(std::move(tokens)), defines_(defines) {}

    // Reads the whole script: its string tables and its dialog templates.
    void Parse(std::vector<StringEntry>* strings, std::vector<DialogEntry>* dialogs) {
        while (Peek().kind != Token::End) {
            const Token& t = Peek();
            if (IsWord(t, "LANGUAGE")) {
                ++p_;
                language_ = Language();
            } else if (IsWord(t, "STRINGTABLE")) {
                StringTable(strings);
            } else if ((t.kind == Token::Word || t.kind == Token::Number) && p_ + 1 < t_.size() &&
                       (IsWord(t_[p_ + 1], "DIALOGEX") || IsWord(t_[p_ + 1], "DIALOG"))) {
                if (IsWord(t_[p_ + 1], "DIALOG")) Fail(t.line, "DIALOG templates are not supported: use DIALOGEX");
                dialogs->push_back(Dialog());
                for (size_t i = 0; i + 1 < dialogs->size(); ++i) {
                    if ((*dialogs)[i].language == dialogs->back().language && (*dialogs)[i].id == dialogs->back().id) {
                        Fail(t.line, "dialog id defined twice in one language");
                    }
                }
            } else if (IsOpen(t)) {
                SkipBlock();
            } else {
                ++p_;
            }
        }
    }

private:
    unsigned Language() {
        long primary = Value(Take());
        if (Peek().text == ",") ++p_;
        long sub = Value(Take());
        return static_cast<unsigned>((sub << 10) | primary);
    }

    void StringTable(std::vector<StringEntry>* out) {
        const Token& t = Take();
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
            for (const StringEntry& e : *out) {
                if (e.language == language_ && e.id == id) Fail(idTok.line, "string id defined twice in one language");
            }
            out->push_back({language_, id, value, idTok.line});
        }
        ++p_;
    }

    DialogEntry Dialog() {
        DialogEntry d;
        const Token& name = Take();
        d.line = name.line;
        d.id = Value(name);
        if (d.id < 0 || d.id > 0xFFFF) Fail(name.line, "a dialog id is a number from 0 to 65535");
        d.language = language_;
        ++p_;  // DIALOGEX
        while (Peek().kind == Token::Word && kMemoryOptions.count(Upper(Peek().text))) ++p_;
        d.x = Expression();
        Comma();
        d.y = Expression();
        Comma();
        d.cx = Expression();
        Comma();
        d.cy = Expression();
        if (Peek().text == ",") {
            ++p_;
            d.helpId = static_cast<unsigned long>(Expression());
        }
        bool styled = false;
        bool captioned = false;
        while (!IsOpen(Peek())) {
            const Token& option = Take();
            std::string word = Upper(option.text);
            if (option.kind == Token::End) Fail(d.line, "DIALOGEX without BEGIN");
            if (word == "STYLE") {
                d.style = static_cast<unsigned long>(Style(0));
                styled = true;
            } else if (word == "EXSTYLE") {
                d.exStyle = static_cast<unsigned long>(Style(0));
            } else if (word == "CAPTION") {
                d.caption = Text();
                captioned = true;
            } else if (word == "FONT") {
                d.hasFont = true;
                d.pointSize = Expression();
                Comma();
                d.face = Text();
                if (Peek().text == ",") { ++p_; d.weight = Expression(); }
                if (Peek().text == ",") { ++p_; d.italic = Expression(); }
                if (Peek().text == ",") { ++p_; d.charset = Expression(); }
            } else if (word == "CLASS") {
                d.cls = Name();
            } else if (word == "MENU") {
                d.menu = Name();
            } else if (word == "LANGUAGE") {
                d.language = Language();
            } else if (word == "CHARACTERISTICS" || word == "VERSION") {
                Expression();
            } else {
                Fail(option.line, "unknown dialog statement '" + option.text + "'");
            }
        }
        // As rc does: a dialog without STYLE is a popup with a border and a system menu; CAPTION brings
        // WS_CAPTION and FONT brings DS_SETFONT.
        if (!styled) d.style = 0x80000000UL | 0x00800000UL | 0x00080000UL;
        if (captioned) d.style |= 0x00C00000UL;
        if (d.hasFont) d.style |= 0x40UL;
        ++p_;  // BEGIN
        while (!IsClose(Peek())) {
            if (Peek().kind == Token::End) Fail(d.line, "DIALOGEX without END");
            d.items.push_back(Control());
        }
        ++p_;  // END
        return d;
    }

    DialogItem Control() {
        DialogItem item;
        const Token& keyword = Take();
        std::string word = Upper(keyword.text);
        if (keyword.kind != Token::Word) Fail(keyword.line, "control statement expected");
        if (word == "CONTROL") {
            item.text = Text();
            Comma();
            item.id = Expression();
            Comma();
            item.cls = Name();
            if (!item.cls.isNumber) {
                std::string upper;
                for (char32_t c : item.cls.name) upper += static_cast<char>(c < 0x80 ? std::toupper(static_cast<int>(c)) : '?');
                auto known = kClassOrdinals.find(upper);
                if (known != kClassOrdinals.end()) item.cls = NameOrNumber{true, true, known->second, U""};
            }
            Comma();
            item.style = static_cast<unsigned long>(Style(kChildVisible));
            Comma();
            Rect(&item);
        } else {
            auto kind = kControlKinds.find(word);
            if (kind == kControlKinds.end()) Fail(keyword.line, "unknown control statement '" + keyword.text + "'");
            if (kind->second.hasText) {
                item.text = Text();
                Comma();
            }
            item.id = Expression();
            Comma();
            Rect(&item);
            item.cls = NameOrNumber{true, true, kind->second.classOrdinal, U""};
            item.style = static_cast<unsigned long>(kChildVisible | kind->second.style);
            if (Peek().text == ",") {
                ++p_;
                item.style = static_cast<unsigned long>(Style(static_cast<long>(item.style)));
            }
        }
        if (Peek().text == ",") {
            ++p_;
            item.exStyle = static_cast<unsigned long>(Style(0));
        }
        if (Peek().text == ",") {
            ++p_;
            item.helpId = static_cast<unsigned long>(Expression());
        }
        if (IsOpen(Peek())) SkipBlock();  // creation data: not used by anything here
        return item;
    }

    void Rect(DialogItem* item) {
        item->x = Expression();
        Comma();
        item->y = Expression();
        Comma();
        item->cx = Expression();
        Comma();
        item->cy = Expression();
    }

    void Comma() {
        if (Peek().text != ",") Fail(Peek().line, "',' expected");
        ++p_;
    }

    std::u32string Text() {
        const Token& t = Take();
        if (t.kind != Token::String) Fail(t.line, "text in quotes expected");
        std::u32string value = t.wide;
        while (Peek().kind == Token::String) value += Take().wide;
        return value;
    }

    NameOrNumber Name() {
        const Token& t = Peek();
        NameOrNumber n;
        n.present = true;
        if (t.kind == Token::String) {
            n.name = Text();
            return n;
        }
        if (t.kind == Token::Word && !defines_.count(t.text) && !kSystemNames.count(t.text)) {
            ++p_;
            for (char c : t.text) n.name += static_cast<char32_t>(c);
            return n;
        }
        n.isNumber = true;
        n.number = static_cast<unsigned>(Expression());
        return n;
    }

    // A style: terms joined by '|', each of which sets its bits, or clears them from the defaults when
    // preceded by NOT.
    long Style(long defaults) {
        long value = defaults;
        for (;;) {
            bool negate = false;
            if (IsWord(Peek(), "NOT")) {
                ++p_;
                negate = true;
            }
            long term = Primary();
            value = negate ? (value & ~term) : (value | term);
            if (Peek().text != "|") return value;
            ++p_;
        }
    }

    // Arithmetic of numbers and symbols: | + - and parentheses, with unary minus and NOT.
    long Expression() {
        long value = Primary();
        for (;;) {
            const std::string& op = Peek().text;
            if (Peek().kind != Token::Punct || (op != "|" && op != "+" && op != "-")) return value;
            ++p_;
            long rhs = Primary();
            value = op == "|" ? (value | rhs) : op == "+" ? value + rhs : value - rhs;
        }
    }

    long Primary() {
        const Token& t = Peek();
        if (t.text == "(" && t.kind == Token::Punct) {
            ++p_;
            long v = Style(0);
            if (Peek().text != ")") Fail(Peek().line, "')' expected");
            ++p_;
            return v;
        }
        if (t.text == "-" && t.kind == Token::Punct) {
            ++p_;
            return -Primary();
        }
        if (IsWord(t, "NOT")) {
            ++p_;
            return ~Primary();
        }
        return Value(Take());
    }

    static std::string Upper(std::string s) {
        for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return s;
    }

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
            auto n = kSystemNames.find(t.text);
            if (n != kSystemNames.end()) return n->second;
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

// The bytes of Windows' extended dialog template: little-endian words, UTF-16 text, items on DWORD
// boundaries.
class TemplateWriter {
public:
    void Word(unsigned long v) {
        bytes_.push_back(static_cast<unsigned char>(v & 0xFF));
        bytes_.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
    }
    void Dword(unsigned long v) {
        Word(v & 0xFFFF);
        Word((v >> 16) & 0xFFFF);
    }
    void Byte(unsigned long v) { bytes_.push_back(static_cast<unsigned char>(v & 0xFF)); }
    void Text(const std::u32string& s) {
        for (char32_t c : s) {
            if (c >= 0x10000) {
                Word(0xD800 + ((c - 0x10000) >> 10));
                Word(0xDC00 + ((c - 0x10000) & 0x3FF));
            } else {
                Word(c);
            }
        }
        Word(0);
    }
    void Name(const NameOrNumber& n) {
        if (!n.present) {
            Word(0);
        } else if (n.isNumber) {
            Word(0xFFFF);
            Word(n.number);
        } else {
            Text(n.name);
        }
    }
    void AlignDword() {
        while (bytes_.size() % 4) bytes_.push_back(0);
    }
    const std::vector<unsigned char>& Bytes() const { return bytes_; }

private:
    std::vector<unsigned char> bytes_;
};

std::vector<unsigned char> Encode(const DialogEntry& d) {
    TemplateWriter w;
    w.Word(1);
    w.Word(0xFFFF);
    w.Dword(d.helpId);
    w.Dword(d.exStyle);
    w.Dword(d.style);
    w.Word(d.items.size());
    w.Word(static_cast<unsigned long>(d.x));
    w.Word(static_cast<unsigned long>(d.y));
    w.Word(static_cast<unsigned long>(d.cx));
    w.Word(static_cast<unsigned long>(d.cy));
    w.Name(d.menu);
    w.Name(d.cls);
    w.Text(d.caption);
    if (d.style & 0x40UL) {  // DS_SETFONT
        w.Word(static_cast<unsigned long>(d.pointSize));
        w.Word(static_cast<unsigned long>(d.weight));
        w.Byte(static_cast<unsigned long>(d.italic));
        w.Byte(static_cast<unsigned long>(d.charset));
        w.Text(d.face);
    }
    for (const DialogItem& item : d.items) {
        w.AlignDword();
        w.Dword(item.helpId);
        w.Dword(item.exStyle);
        w.Dword(item.style);
        w.Word(static_cast<unsigned long>(item.x));
        w.Word(static_cast<unsigned long>(item.y));
        w.Word(static_cast<unsigned long>(item.cx));
        w.Word(static_cast<unsigned long>(item.cy));
        w.Dword(static_cast<unsigned long>(item.id));
        w.Name(item.cls);
        w.Text(item.text);
        w.Word(0);  // no creation data
    }
    return w.Bytes();
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
    std::vector<StringEntry> strings;
    std::vector<DialogEntry> dialogs;
    parser.Parse(&strings, &dialogs);

    std::ostringstream out;
    out << "// Generated by wrc from " << gFile << ". Do not edit.\n";
    out << "#include <winsim_resources.h>\n\nnamespace {\n";
    out << "const WinsimStringResource kStrings[] = {\n";
    for (const StringEntry& e : strings) {
        out << "    {0x" << std::hex << e.language << std::dec << ", " << e.id << ", " << WideLiteral(e.text) << "},\n";
    }
    if (strings.empty()) out << "    {0, 0, nullptr},\n";
    out << "};\n";
    for (size_t i = 0; i < dialogs.size(); ++i) {
        std::vector<unsigned char> bytes = Encode(dialogs[i]);
        out << "const unsigned char kDialog" << i << "[] = {";
        for (size_t k = 0; k < bytes.size(); ++k) out << (k % 24 ? " " : "\n    ") << static_cast<unsigned>(bytes[k]) << ",";
        out << "\n};\n";
    }
    out << "const WinsimResource kResources[] = {\n";
    for (size_t i = 0; i < dialogs.size(); ++i) {
        out << "    {5, 0x" << std::hex << dialogs[i].language << std::dec << ", " << dialogs[i].id << ", kDialog" << i
            << ", sizeof kDialog" << i << "},\n";
    }
    if (dialogs.empty()) out << "    {0, 0, 0, nullptr, 0},\n";
    out << "};\n";
    out << "const WinsimModuleResources kRegistration(kStrings, " << strings.size() << ", kResources, " << dialogs.size()
        << ");\n}  // namespace\n";
    std::ofstream o(argv[2], std::ios::binary | std::ios::trunc);
    o << out.str();
    return o ? 0 : 1;
}
