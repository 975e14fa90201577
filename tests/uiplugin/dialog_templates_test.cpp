// The compiled dialog templates of the three pages, read from the loaded plug-in as Windows reads them
// (FindResourceW, LoadResource, LockResource, SizeofResource in the thread's UI language) and decoded as
// extended dialog templates (DLGTEMPLATEEX and its DLGITEMTEMPLATEEX items, documented by Windows).
#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <string>
#include <tuple>
#include <vector>

#include "PluginTest.h"

namespace uiplugin_test {
namespace {

constexpr LANGID kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr LANGID kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN);
constexpr LANGID kChinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);

constexpr DWORD kNoId = 0xFFFFFFFF;  // -1

struct Place {
    int x, y, cx, cy;
    bool operator==(const Place& o) const { return x == o.x && y == o.y && cx == o.cx && cy == o.cy; }
};

void PrintTo(const Place& p, std::ostream* os) { *os << "(" << p.x << ", " << p.y << ", " << p.cx << ", " << p.cy << ")"; }

struct Item {
    DWORD id = 0;
    std::wstring cls;  // lower case; the predefined classes by name
    DWORD style = 0;
    Place place{};
    std::wstring text;
};

struct Dialog {
    DWORD style = 0;
    Place place{};
    std::wstring caption;
    WORD pointSize = 0;
    WORD weight = 0;
    std::wstring font;
    std::vector<Item> items;
};

std::wstring Lower(std::wstring s) {
    std::transform(s.begin(), s.end(), s.begin(), [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    return s;
}

// Little-endian reads over the resource's bytes; any read past the end marks the reader bad.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Ok() const { return ok_; }
    bool AtEnd() const { return pos_ >= size_; }

    uint16_t Word() {
        if (!Need(2)) return 0;
        uint16_t v = static_cast<uint16_t>(data_[pos_] | data_[pos_ + 1] << 8);
        pos_ += 2;
        return v;
    }
    uint32_t Dword() {
        uint32_t low = Word();
        return low | static_cast<uint32_t>(Word()) << 16;
    }
    int Short() { return static_cast<int16_t>(Word()); }
    uint8_t Byte() {
        if (!Need(1)) return 0;
        return data_[pos_++];
    }
    // Zero-terminated UTF-16 (the pages' texts lie in the basic plane).
    std::wstring Text() {
        std::wstring s;
        for (uint16_t c = Word(); ok_ && c != 0; c = Word()) s += static_cast<wchar_t>(c);
        return s;
    }
    // A string, or 0xFFFF and a number, given here as "#number".
    std::wstring TextOrNumber() {
        if (!Need(2)) return L"";
        if (data_[pos_] == 0xFF && data_[pos_ + 1] == 0xFF) {
            Word();
            return L"#" + std::to_wstring(Word());
        }
        return Text();
    }
    void AlignToDword() { pos_ = (pos_ + 3) & ~size_t{3}; }
    void Skip(size_t n) {
        if (Need(n)) pos_ += n;
    }

private:
    bool Need(size_t n) {
        if (pos_ + n > size_) ok_ = false;
        return ok_;
    }
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    bool ok_ = true;
};

std::wstring ClassName(const std::wstring& raw) {
    static const struct {
        const wchar_t* number;
        const wchar_t* name;
    } predefined[] = {{L"#128", L"button"}, {L"#129", L"edit"},      {L"#130", L"static"},
                      {L"#131", L"listbox"}, {L"#132", L"scrollbar"}, {L"#133", L"combobox"}};
    for (const auto& p : predefined) {
        if (raw == p.number) return p.name;
    }
    return Lower(raw);
}

class DialogTemplatesTest : public PluginTest {
protected:
    void TearDown() override {
        SetThreadUILanguage(0);  // back to the machine's language, for the tests after this one
        PluginTest::TearDown();
    }

    // The template of that id in that language, decoded; a failure of the test when it cannot be.
    Dialog Load(int id, LANGID language) {
        Dialog dialog;
        SetThreadUILanguage(language);
        HRSRC found = FindResourceW(host->Module(), MAKEINTRESOURCEW(id), RT_DIALOG);
        if (!found) {
            ADD_FAILURE() << "no dialog template " << id;
            return dialog;
        }
        DWORD size = SizeofResource(host->Module(), found);
        const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(host->Module(), found)));
        if (!data || size == 0) {
            ADD_FAILURE() << "template " << id << " has no bytes";
            return dialog;
        }
        Reader r(data, size);
        EXPECT_EQ(r.Word(), 1) << "version";
        EXPECT_EQ(r.Word(), 0xFFFF) << "an extended template";
        r.Dword();  // help id
        EXPECT_EQ(r.Dword(), 0u) << "extended style";
        dialog.style = r.Dword();
        const int count = r.Word();
        dialog.place.x = r.Short();
        dialog.place.y = r.Short();
        dialog.place.cx = r.Short();
        dialog.place.cy = r.Short();
        EXPECT_EQ(r.TextOrNumber(), L"") << "menu";
        EXPECT_EQ(r.TextOrNumber(), L"") << "window class";
        dialog.caption = r.Text();
        if (dialog.style & (DS_SETFONT | DS_FIXEDSYS)) {
            dialog.pointSize = r.Word();
            dialog.weight = r.Word();
            r.Byte();  // italic
            r.Byte();  // character set
            dialog.font = r.Text();
        }
        for (int i = 0; i < count && r.Ok(); ++i) {
            r.AlignToDword();
            Item item;
            r.Dword();  // help id
            EXPECT_EQ(r.Dword(), 0u) << "extended style of item " << i;
            item.style = r.Dword();
            item.place.x = r.Short();
            item.place.y = r.Short();
            item.place.cx = r.Short();
            item.place.cy = r.Short();
            item.id = r.Dword();
            item.cls = ClassName(r.TextOrNumber());
            item.text = r.TextOrNumber();
            r.Skip(r.Word());  // creation data
            dialog.items.push_back(item);
        }
        EXPECT_TRUE(r.Ok()) << "template " << id << " ends before its " << count << " items";
        r.AlignToDword();
        EXPECT_TRUE(r.AtEnd()) << "bytes after the last item of template " << id;
        return dialog;
    }
};

// An item's id, class and style: what every language's template must agree on.
std::vector<std::tuple<DWORD, std::wstring, DWORD>> ControlSet(const std::vector<Item>& items) {
    std::vector<std::tuple<DWORD, std::wstring, DWORD>> set;
    for (const Item& i : items) set.emplace_back(i.id, i.cls, i.style);
    return set;
}

struct Expected {
    DWORD id;
    const wchar_t* cls;
    DWORD style;  // besides WS_CHILD and WS_VISIBLE, which every control has
    Place place;
    const wchar_t* text;
};

void ExpectItems(const std::vector<Item>& got, const std::vector<Expected>& want, bool withTexts) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE("item " + std::to_string(i) + ", id " + std::to_string(static_cast<int>(want[i].id)));
        EXPECT_EQ(got[i].id, want[i].id);
        EXPECT_EQ(got[i].cls, Lower(want[i].cls));
        EXPECT_EQ(got[i].style, want[i].style | WS_CHILD | WS_VISIBLE);
        EXPECT_EQ(got[i].place, want[i].place);
        if (withTexts) {
            EXPECT_EQ(got[i].text, want[i].text);
        }
    }
}

constexpr DWORD kUpDown = UDS_ALIGNRIGHT | UDS_ARROWKEYS;
constexpr DWORD kGroup = BS_GROUPBOX;
constexpr DWORD kEdit = ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
constexpr DWORD kLabel = SS_LEFT | WS_GROUP;
constexpr DWORD kUnit = SS_CENTER | SS_CENTERIMAGE | WS_GROUP;
constexpr DWORD kRadio = BS_AUTORADIOBUTTON;
constexpr DWORD kCheck = BS_AUTOCHECKBOX | WS_TABSTOP;
constexpr DWORD kTallList = CBS_DROPDOWN | CBS_SORT | CBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP;
constexpr DWORD kList = CBS_DROPDOWN | CBS_SORT | WS_VSCROLL | WS_TABSTOP;
constexpr DWORD kPush = BS_PUSHBUTTON | WS_TABSTOP;
const wchar_t kUpDownClass[] = L"msctls_updown32";

TEST_F(DialogTemplatesTest, PrinterSettingsPageInItsThreeLanguages) {
    const std::vector<Expected> english = {
        {1002, kUpDownClass, kUpDown, {80, 17, 11, 14}, L""},
        {1016, L"Button", kGroup, {2, 6, 252, 30}, L"Offset"},
        {1019, L"Static", SS_CENTER | WS_GROUP, {18, 19, 33, 12}, L"Horizon:"},
        {1020, L"Edit", kEdit, {48, 17, 44, 14}, L""},
        {kNoId, L"Static", kUnit, {214, 17, 16, 12}, L"mm"},
        {1021, L"Static", kLabel, {142, 19, 34, 10}, L"Vertical:"},
        {1022, L"Edit", kEdit, {168, 17, 44, 14}, L""},
        {1007, kUpDownClass, kUpDown, {200, 17, 11, 14}, L""},
        {kNoId, L"Static", kUnit, {92, 19, 18, 10}, L"mm"},
        {1026, L"Button", kGroup, {192, 44, 62, 56}, L"Effect"},
        {1025, L"Button", kGroup, {96, 44, 90, 56}, L"Rotate"},
        {1008, L"Button", kRadio, {108, 58, 20, 11}, L"0"},
        {1009, L"Button", kRadio, {108, 82, 24, 10}, L"90"},
        {1010, L"Button", kRadio, {148, 58, 28, 11}, L"180"},
        {1011, L"Button", kRadio, {148, 82, 28, 10}, L"270"},
        {1012, L"Button", kCheck, {204, 58, 38, 10}, L"Mirror"},
        {1013, L"Button", kCheck, {204, 82, 40, 10}, L"Inverse"},
        {1023, L"Button", kGroup, {2, 44, 88, 56}, L"Print Setting"},
        {1027, L"Static", kLabel, {12, 60, 28, 10}, L"Speed:"},
        {1028, L"ComboBox", kTallList, {36, 58, 46, 90}, L""},
        {1029, L"Static", kLabel, {8, 84, 34, 8}, L"Density:"},
        {1030, L"ComboBox", kTallList, {36, 82, 46, 92}, L""},
        {1091, L"Button", kGroup, {2, 140, 252, 128}, L"Other"},
        {1092, L"Static", kLabel, {8, 152, 44, 10}, L"Media Type:"},
        {1093, L"ComboBox", kTallList, {50, 150, 74, 64}, L""},
        {1095, L"Button", kCheck, {8, 250, 66, 10}, L"AUTODOTTED"},
        {1099, L"Button", kCheck, {110, 250, 48, 10}, L"PAUSEKEY"},
        {1097, L"Button", kCheck, {192, 250, 58, 10}, L"WATERMARK"},
        {1101, L"ComboBox", kTallList, {48, 234, 44, 40}, L""},
        {1102, L"Static", kLabel, {8, 236, 40, 8}, L"CMD Type:"},
        {1104, L"Static", kLabel, {110, 236, 40, 8}, L"Fade Lines:"},
        {1103, L"ComboBox", kTallList, {150, 234, 42, 80}, L""},
        {1105, L"Button", kCheck, {116, 184, 40, 10}, L"CUTTER"},
        {1110, L"Static", kLabel, {8, 170, 94, 8}, L"Label Gaps Paper Cut Type:"},
        {1108, L"ComboBox", kList, {102, 168, 76, 64}, L""},
        {1113, L"Button", kPush, {184, 166, 66, 14}, L"Paper Auto Tune"},
        {1117, L"Static", kLabel, {128, 152, 45, 8}, L"Print Method:"},
        {1116, L"ComboBox", kList, {172, 150, 78, 44}, L""},
        {1121, L"Static", kLabel, {8, 186, 42, 8}, L"Align Mode:"},
        {1120, L"ComboBox", kList, {48, 184, 52, 56}, L""},
        {1126, L"ComboBox", kList, {66, 200, 86, 48}, L""},
        {1127, L"Static", kLabel, {8, 218, 52, 8}, L"Head Reserve:"},
        {1005, L"Edit", kEdit, {60, 216, 38, 14}, L""},
        {1128, kUpDownClass, kUpDown, {86, 216, 11, 14}, L""},
        {1130, L"Static", kLabel, {100, 218, 14, 8}, L"mm"},
        {1129, L"Static", kLabel, {126, 218, 44, 8}, L"Tail Reserve:"},
        {1006, L"Edit", kEdit, {172, 216, 40, 14}, L""},
        {1132, kUpDownClass, kUpDown, {200, 216, 11, 14}, L""},
        {1131, L"Static", kLabel, {214, 218, 14, 8}, L"mm"},
        {1125, L"Static", kLabel, {8, 202, 56, 8}, L"Paper Cut Mode:"},
        {1136, L"Button", kGroup, {2, 104, 252, 30}, L"Media Setting"},
        {1137, L"Static", kLabel, {6, 117, 76, 8}, L"Paper Location Offset:"},
        {1138, L"Edit", kEdit, {82, 114, 50, 14}, L""},
        {1139, kUpDownClass, kUpDown, {120, 116, 11, 12}, L""},
        {1140, L"Static", kLabel, {136, 116, 18, 9}, L"mm"},
    };
    const DWORD style = WS_CHILD | WS_DISABLED | WS_CAPTION | DS_CENTER | DS_SETFONT | DS_FIXEDSYS;
    ASSERT_EQ(style, 0x48C00848u);

    Dialog en = Load(106, kEnglish);
    EXPECT_EQ(en.caption, L"Printer Config");
    EXPECT_EQ(en.style, style);
    EXPECT_EQ(en.place, (Place{0, 0, 284, 282}));
    EXPECT_EQ(en.font, L"MS Shell Dlg");
    EXPECT_EQ(en.pointSize, 9);
    ExpectItems(en.items, english, true);

    Dialog ja = Load(106, kJapanese);
    EXPECT_EQ(ja.caption, L"プリンタ構成");
    EXPECT_EQ(ja.style, style);
    EXPECT_EQ(ja.place, (Place{0, 0, 274, 280}));
    EXPECT_EQ(ja.font, L"MS Shell Dlg");
    EXPECT_EQ(ja.pointSize, 9);
    EXPECT_EQ(ControlSet(ja.items), ControlSet(en.items));

    Dialog zh = Load(106, kChinese);
    EXPECT_EQ(zh.caption, L"打印机配置");
    EXPECT_EQ(zh.style, style & ~static_cast<DWORD>(DS_FIXEDSYS));
    EXPECT_EQ(zh.place, (Place{0, 0, 288, 288}));
    EXPECT_EQ(zh.font, L"宋体");
    EXPECT_EQ(zh.pointSize, 9);
    // One label more, which no code touches.
    auto extra = std::find_if(zh.items.begin(), zh.items.end(), [](const Item& i) { return i.id == 1141; });
    ASSERT_NE(extra, zh.items.end());
    EXPECT_EQ(extra->cls, L"static");
    EXPECT_EQ(extra->style, kLabel | WS_CHILD | WS_VISIBLE);
    EXPECT_EQ(extra->place, (Place{6, 136, 48, 10}));
    EXPECT_EQ(extra->text, L"纸张定位偏移");
    zh.items.erase(extra);
    EXPECT_EQ(ControlSet(zh.items), ControlSet(en.items));
}

TEST_F(DialogTemplatesTest, AboutPageInItsThreeLanguages) {
    const struct {
        LANGID language;
        const wchar_t* caption;
        DWORD style;
        Place size;
        const wchar_t* font;
        Place text;
    } cases[] = {
        {kEnglish, L"About", WS_CHILD | WS_DISABLED | WS_CAPTION | DS_SETFONT | DS_FIXEDSYS, {0, 0, 340, 216},
         L"MS Shell Dlg", {96, 88, 104, 8}},
        {kJapanese, L"About", WS_CHILD | WS_DISABLED | WS_CAPTION | DS_SETFONT | DS_FIXEDSYS, {0, 0, 314, 204},
         L"MS Shell Dlg", {92, 88, 108, 8}},
        {kChinese, L"关于", WS_CHILD | WS_DISABLED | WS_CAPTION | DS_SETFONT, {0, 0, 310, 260}, L"宋体",
         {82, 118, 108, 8}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.language);
        Dialog d = Load(107, c.language);
        EXPECT_EQ(d.caption, c.caption);
        EXPECT_EQ(d.style, c.style);
        EXPECT_EQ(d.place, c.size);
        EXPECT_EQ(d.font, c.font);
        EXPECT_EQ(d.pointSize, 9);
        EXPECT_EQ(d.weight, 400);
        ASSERT_EQ(d.items.size(), 1u);
        EXPECT_EQ(d.items[0].id, 1123u);
        EXPECT_EQ(d.items[0].cls, L"static");
        EXPECT_EQ(d.items[0].style, static_cast<DWORD>(WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT));
        EXPECT_EQ(d.items[0].place, c.text);
        // A placeholder the page replaces; every language's names the version.
        const std::wstring& text = d.items[0].text;
        EXPECT_TRUE(text.size() >= 6 && text.compare(text.size() - 6, 6, L"V1.1.0") == 0);
    }
}

TEST_F(DialogTemplatesTest, CustomPaperPageInItsThreeLanguages) {
    const DWORD list = WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_ALIGNLEFT | LVS_NOCOLUMNHEADER;
    // English, Japanese and Chinese places.
    const struct {
        DWORD id;
        const wchar_t* cls;
        DWORD style;
        Place en, ja, zh;
        const wchar_t* text;
    } items[] = {
        {1034, L"Button", kGroup, {2, 11, 248, 122}, {2, 11, 248, 122}, {6, 8, 262, 136}, L"Custom Paper List"},
        {1035, L"Button", kPush, {194, 24, 50, 14}, {194, 24, 50, 14}, {212, 22, 50, 14}, L"Delete"},
        {1036, L"Button", kGroup, {2, 139, 248, 78}, {2, 139, 248, 78}, {6, 156, 264, 78}, L"Custom Paper Options"},
        {1037, L"Static", kLabel, {6, 152, 46, 10}, {6, 152, 30, 10}, {12, 168, 42, 10}, L"Paper Name:"},
        {1005, L"Edit", kEdit, {52, 150, 126, 14}, {34, 150, 144, 14}, {52, 166, 154, 14}, L""},
        {1039, L"Static", kLabel, {10, 176, 48, 10}, {10, 176, 30, 10}, {12, 192, 44, 10}, L"Paper Width:"},
        {1006, L"Edit", kEdit, {54, 174, 36, 14}, {38, 174, 52, 14}, {52, 190, 46, 14}, L""},
        {1038, kUpDownClass, kUpDown, {78, 174, 11, 14}, {78, 174, 11, 14}, {88, 190, 11, 14}, L""},
        {1043, L"Static", kLabel, {6, 198, 52, 8}, {10, 198, 28, 8}, {12, 214, 40, 8}, L"Paper Length:"},
        {1041, L"Edit", kEdit, {54, 196, 36, 14}, {38, 196, 52, 14}, {52, 212, 46, 14}, L""},
        {1042, kUpDownClass, kUpDown, {80, 196, 10, 14}, {80, 196, 10, 14}, {88, 212, 10, 14}, L""},
        {1045, L"Button", kPush, {188, 150, 50, 14}, {188, 150, 50, 14}, {212, 166, 50, 14}, L"Save"},
        {1080, L"Static", kLabel, {116, 176, 18, 10}, {116, 176, 12, 10}, {124, 192, 9, 8}, L"Left:"},
        {1084, L"Static", kLabel, {112, 198, 25, 8}, {116, 198, 12, 8}, {124, 214, 9, 8}, L"Right:"},
        {1072, L"Edit", kEdit, {132, 174, 26, 14}, {128, 174, 30, 14}, {134, 190, 40, 14}, L""},
        {1073, L"Edit", kEdit, {132, 196, 26, 14}, {128, 196, 30, 14}, {134, 212, 40, 14}, L""},
        {1083, L"Static", kLabel, {160, 176, 14, 8}, {160, 176, 14, 8}, {178, 192, 9, 8}, L"mm"},
        {1074, kUpDownClass, kUpDown, {148, 174, 10, 14}, {148, 174, 10, 14}, {164, 190, 10, 14}, L""},
        {1075, kUpDownClass, kUpDown, {148, 196, 10, 14}, {148, 196, 10, 14}, {164, 212, 10, 14}, L""},
        {1085, L"Static", kLabel, {160, 198, 14, 8}, {160, 198, 14, 8}, {178, 212, 9, 8}, L"mm"},
        {1086, L"Static", kLabel, {186, 176, 17, 10}, {186, 176, 12, 10}, {196, 192, 9, 8}, L"Top:"},
        {1076, L"Edit", kEdit, {202, 174, 26, 14}, {198, 174, 30, 14}, {206, 190, 40, 14}, L""},
        {1087, L"Static", kLabel, {230, 176, 14, 8}, {230, 176, 14, 8}, {250, 192, 9, 8}, L"mm"},
        {1077, kUpDownClass, kUpDown, {218, 174, 11, 14}, {218, 174, 11, 14}, {236, 190, 11, 14}, L""},
        {1088, L"Static", kLabel, {176, 198, 29, 8}, {186, 198, 12, 8}, {196, 214, 9, 8}, L"Bottom:"},
        {1078, L"Edit", kEdit, {202, 196, 26, 14}, {198, 196, 30, 14}, {206, 212, 40, 14}, L""},
        {1089, L"Static", kLabel, {230, 198, 14, 8}, {230, 198, 14, 8}, {250, 214, 9, 8}, L"mm"},
        {1079, kUpDownClass, kUpDown, {218, 196, 11, 14}, {218, 196, 11, 14}, {236, 212, 10, 14}, L""},
        {1081, L"Static", kLabel, {92, 176, 14, 10}, {92, 176, 14, 10}, {102, 192, 9, 8}, L"mm"},
        {1082, L"Static", kLabel, {92, 198, 14, 8}, {92, 198, 14, 8}, {102, 214, 9, 8}, L"mm"},
        {1033, L"SysListView32", list, {14, 24, 168, 100}, {14, 24, 168, 100}, {14, 24, 192, 114}, L""},
    };
    const DWORD style = WS_POPUP | WS_VISIBLE | WS_DISABLED | WS_CAPTION | WS_SYSMENU | DS_SETFONT | DS_FIXEDSYS;
    const struct {
        LANGID language;
        const wchar_t* caption;
        DWORD style;
        Place size;
        const wchar_t* font;
    } languages[] = {
        {kEnglish, L"Custom Paper Manager", style, {0, 0, 268, 238}, L"MS Shell Dlg"},
        {kJapanese, L"用紙管理", style, {0, 0, 268, 238}, L"MS Shell Dlg"},
        {kChinese, L"纸张管理", style & ~static_cast<DWORD>(DS_FIXEDSYS), {0, 0, 280, 262}, L"宋体"},
    };
    for (const auto& l : languages) {
        SCOPED_TRACE(l.language);
        Dialog d = Load(108, l.language);
        EXPECT_EQ(d.caption, l.caption);
        EXPECT_EQ(d.style, l.style);
        EXPECT_EQ(d.place, l.size);
        EXPECT_EQ(d.font, l.font);
        EXPECT_EQ(d.pointSize, 9);
        std::vector<Expected> want;
        for (const auto& i : items) {
            const Place& place = l.language == kEnglish ? i.en : l.language == kJapanese ? i.ja : i.zh;
            want.push_back({i.id, i.cls, i.style, place, i.text});
        }
        ExpectItems(d.items, want, l.language == kEnglish);
    }
}

}  // namespace
}  // namespace uiplugin_test
