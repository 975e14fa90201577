// The "Custom Paper Manager" page as a user works it in the document sheet, over the machine's forms.
// Source of truth: the page's behaviour (user forms only, Save and Delete at once through the spooler,
// millimetres with one decimal in the edits, tenths in the up-downs, thousandths in the spooler, PSM_CHANGED
// after every Save or Delete that got as far as the spooler) and the spooler's form rules (a name in use is
// refused, built-in forms are not the user's).
#include <control.h>

#include <PrinterDeviceObject.h>

#include <iterator>
#include <string>
#include <vector>

#include "DocPaperSizeManagePage.h"
#include "SheetTest.h"

namespace uiplugin_test {
namespace {

constexpr size_t kPaperPage = 1;

// The installer's table, in its order.
const std::vector<std::wstring> kInstallerForms = {
    L"100mm x 100mm", L"150mm x 150mm", L"200mm x 200mm", L"Custom C5",
    L"Custom IOS B5", L"Custom Envolope", L"Custom PRC 16K",
};

struct StoredForm {
    bool found = false;
    bool builtin = false;
    int width = 0, height = 0, left = 0, top = 0, right = 0, bottom = 0;
};

struct Edits {
    std::wstring width, length, left, right, top, bottom;
};

class PaperPageTest : public SheetTest {
protected:
    // Straight through the spooler, before the sheet opens.
    void AddForm(const std::wstring& name, LONG cx, LONG cy, LONG left, LONG top, LONG right, LONG bottom) {
        FORM_INFO_1W form{};
        form.Flags = FORM_USER;
        form.pName = const_cast<LPWSTR>(name.c_str());
        form.Size = {cx, cy};
        form.ImageableArea = {left, top, right, bottom};
        ASSERT_TRUE(AddFormW(printer, 1, reinterpret_cast<LPBYTE>(&form))) << GetLastError();
    }

    static StoredForm Stored(const std::string& name) {
        StoredForm f;
        web::json::value machine = winsim::control::Read();
        for (const auto& form : machine.at("spooler").at("forms").as_array()) {
            if (form.at("name").as_string() != name) continue;
            f.found = true;
            f.builtin = form.has_field("builtin") && form.at("builtin").as_bool();
            auto at = [&](const char* key, int fallback) {
                return form.has_field(key) ? form.at(key).as_integer() : fallback;
            };
            f.width = at("width", 0);
            f.height = at("height", 0);
            f.left = at("left", 0);
            f.top = at("top", 0);
            f.right = at("right", f.width);
            f.bottom = at("bottom", f.height);
        }
        return f;
    }

    static int StoredCount(const std::string& name) {
        int n = 0;
        web::json::value machine = winsim::control::Read();
        for (const auto& form : machine.at("spooler").at("forms").as_array()) {
            if (form.at("name").as_string() == name) ++n;
        }
        return n;
    }

    // The document sheet open on the paper page.
    HWND OpenPage() {
        CompstuiHost& host = NewSheet(SheetKind::Document);
        if (host.Open() != S_OK) return nullptr;
        if (!host.Sheet().SelectPage(kPaperPage)) return nullptr;
        return host.Sheet().PageWindow(kPaperPage);
    }

    PropertySheet& Sheet() { return sheet->Sheet(); }
    HWND Control(int id) { return GetDlgItem(Sheet().PageWindow(kPaperPage), id); }
    std::wstring EditText(int id) { return Text(Control(id)); }

    std::vector<std::wstring> ListNames() {
        HWND list = Control(IDC_FORM_LIST);
        std::vector<std::wstring> names;
        int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            WCHAR text[300] = {};
            LVITEMW item{};
            item.iSubItem = 0;
            item.pszText = text;
            item.cchTextMax = 300;
            SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
            names.push_back(text);
        }
        return names;
    }

    int RowOf(const std::wstring& name) {
        std::vector<std::wstring> names = ListNames();
        for (size_t i = 0; i < names.size(); ++i) {
            if (names[i] == name) return static_cast<int>(i);
        }
        return -1;
    }

    Edits Shown() {
        return {EditText(IDC_FORM_WIDTH), EditText(IDC_FORM_LENGTH), EditText(IDC_FORM_LEFT),
                EditText(IDC_FORM_RIGHT), EditText(IDC_FORM_TOP),    EditText(IDC_FORM_BOTTOM)};
    }

    void TypeForm(const std::wstring& name, const Edits& e) {
        ASSERT_TRUE(Sheet().Type(IDC_FORM_NAME, name));
        ASSERT_TRUE(Sheet().Type(IDC_FORM_WIDTH, e.width));
        ASSERT_TRUE(Sheet().Type(IDC_FORM_LENGTH, e.length));
        ASSERT_TRUE(Sheet().Type(IDC_FORM_LEFT, e.left));
        ASSERT_TRUE(Sheet().Type(IDC_FORM_RIGHT, e.right));
        ASSERT_TRUE(Sheet().Type(IDC_FORM_TOP, e.top));
        ASSERT_TRUE(Sheet().Type(IDC_FORM_BOTTOM, e.bottom));
    }

    int Position(int upDownId) { return static_cast<int>(SendMessageW(Control(upDownId), UDM_GETPOS32, 0, 0)); }
};

// The form the spooler keeps under that name: width, height, then the imageable area's left, top, right
// and bottom, in thousandths.
void ExpectStoredForm(const StoredForm& f, const std::vector<int>& expected) {
    ASSERT_TRUE(f.found) << "the spooler took the form";
    EXPECT_EQ((std::vector<int>{f.width, f.height, f.left, f.top, f.right, f.bottom}), expected);
}

void ExpectShown(const Edits& actual, const Edits& expected) {
    EXPECT_EQ(actual.width, expected.width);
    EXPECT_EQ(actual.length, expected.length);
    EXPECT_EQ(actual.left, expected.left);
    EXPECT_EQ(actual.right, expected.right);
    EXPECT_EQ(actual.top, expected.top);
    EXPECT_EQ(actual.bottom, expected.bottom);
}

TEST_F(PaperPageTest, BuiltInFormsOnlyGiveAnEmptyListWithItsNameColumn) {
    ASSERT_TRUE(Stored("Letter").builtin);  // the machine does have forms, all built in
    ASSERT_NE(OpenPage(), nullptr);
    EXPECT_TRUE(ListNames().empty());

    HWND list = Control(IDC_FORM_LIST);
    WCHAR title[32] = {};
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = title;
    column.cchTextMax = 32;
    ASSERT_TRUE(SendMessageW(list, LVM_GETCOLUMNW, 0, reinterpret_cast<LPARAM>(&column)));
    EXPECT_STREQ(title, L"Name");
    RECT client;
    GetClientRect(list, &client);
    EXPECT_EQ(column.cx, client.right - client.left);
    EXPECT_GT(column.cx, 0);
}

TEST_F(PaperPageTest, ListsEveryUserFormInSpoolerOrderAndNoBuiltInForm) {
    AddForm(L"My Label", 40000, 30000, 0, 0, 40000, 30000);
    ASSERT_TRUE(CPrinterDeviceObject::GetInstance().InitForms(L"Brisora-40"));
    ASSERT_NE(OpenPage(), nullptr);

    std::vector<std::wstring> expected = {L"My Label"};
    expected.insert(expected.end(), kInstallerForms.begin(), kInstallerForms.end());
    EXPECT_EQ(ListNames(), expected);
    EXPECT_EQ(RowOf(L"Letter"), -1);
    EXPECT_EQ(RowOf(L"A4"), -1);
}

TEST_F(PaperPageTest, StartsWithZeroesInEveryFieldAndNothingSelected) {
    AddForm(L"My Label", 40000, 30000, 0, 0, 40000, 30000);
    ASSERT_NE(OpenPage(), nullptr);
    ExpectShown(Shown(), {L"0.0", L"0.0", L"0.0", L"0.0", L"0.0", L"0.0"});
    EXPECT_EQ(EditText(IDC_FORM_NAME), L"");
    EXPECT_EQ(SendMessageW(Control(IDC_FORM_LIST), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), -1);
}

TEST_F(PaperPageTest, FormsThatCannotBeEnumeratedLeaveTheListWithoutColumnButTheFieldsReady) {
    AddForm(L"My Label", 40000, 30000, 0, 0, 40000, 30000);
    winsim::control::InjectFault("EnumFormsW", ERROR_GEN_FAILURE, 1, 1);  // the size query passes
    ASSERT_NE(OpenPage(), nullptr);
    EXPECT_TRUE(ListNames().empty());
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    EXPECT_FALSE(SendMessageW(Control(IDC_FORM_LIST), LVM_GETCOLUMNW, 0, reinterpret_cast<LPARAM>(&column)));
    ASSERT_TRUE(Sheet().Spin(IDC_FORM_LENGTH_SPIN, 2));
    EXPECT_EQ(EditText(IDC_FORM_LENGTH), L"0.2");
}

TEST_F(PaperPageTest, SaveAddsTheTypedFormInThousandthsAndAppendsIt) {
    AddForm(L"My Label", 40000, 30000, 0, 0, 40000, 30000);
    HWND page = OpenPage();
    ASSERT_NE(page, nullptr);
    TypeForm(L"Shipping", {L"100.0", L"150.0", L"2.0", L"3.0", L"4.0", L"5.0"});
    ASSERT_TRUE(Sheet().Click(IDC_FORM_SAVE));

    StoredForm f = Stored("Shipping");
    ASSERT_TRUE(f.found);
    EXPECT_FALSE(f.builtin);
    EXPECT_EQ(f.width, 100000);
    EXPECT_EQ(f.height, 150000);
    EXPECT_EQ(f.left, 2000);
    EXPECT_EQ(f.top, 4000);
    EXPECT_EQ(f.right, 97000);
    EXPECT_EQ(f.bottom, 145000);
    EXPECT_EQ(ListNames(), (std::vector<std::wstring>{L"My Label", L"Shipping"}));
    EXPECT_EQ(SendMessageW(Control(IDC_FORM_LIST), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), -1);
    EXPECT_EQ(Sheet().Changes(), std::vector<WPARAM>{reinterpret_cast<WPARAM>(page)});
    EXPECT_TRUE(IsWindowEnabled(Sheet().Button(PropertySheet::kApplyId)));
    EXPECT_EQ(EditText(IDC_FORM_NAME), L"Shipping");  // the edits keep their texts
}

TEST_F(PaperPageTest, SaveTruncatesTypedLengthsToTenths) {
    ASSERT_NE(OpenPage(), nullptr);
    TypeForm(L"Odd", {L"12.34", L"20.06", L"0.19", L"0.0", L"0.0", L"0.0"});
    ASSERT_TRUE(Sheet().Click(IDC_FORM_SAVE));
    StoredForm f = Stored("Odd");
    ASSERT_TRUE(f.found);
    EXPECT_EQ(f.width, 12300);
    EXPECT_EQ(f.height, 20000);
    EXPECT_EQ(f.left, 100);
    EXPECT_EQ(f.right, 12300);
}

TEST_F(PaperPageTest, SaveWithAnEmptyNameDoesNothing) {
    ASSERT_NE(OpenPage(), nullptr);
    ASSERT_TRUE(Sheet().Type(IDC_FORM_WIDTH, L"50"));
    ASSERT_TRUE(Sheet().Type(IDC_FORM_LENGTH, L"50"));
    CallCounter adds("AddFormW");
    ASSERT_TRUE(Sheet().Click(IDC_FORM_SAVE));
    EXPECT_EQ(adds.Calls(), 0);
    EXPECT_TRUE(Sheet().Changes().empty());
    EXPECT_FALSE(IsWindowEnabled(Sheet().Button(PropertySheet::kApplyId)));
}

TEST_F(PaperPageTest, SaveAtTheStartingValuesIsRefusedByTheSpoolerButStillMarksTheSheet) {
    ASSERT_NE(OpenPage(), nullptr);
    ASSERT_TRUE(Sheet().Type(IDC_FORM_NAME, L"Empty"));
    CallCounter adds("AddFormW");
    SetLastError(0xDEADBEEF);
    ASSERT_TRUE(Sheet().Click(IDC_FORM_SAVE));
    EXPECT_EQ(adds.Calls(), 1);
    // The spooler keeps nothing of a refused form, so its reason is all that shows the zero size it was given.
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FORM_SIZE));
    EXPECT_FALSE(Stored("Empty").found);
    EXPECT_TRUE(ListNames().empty());
    EXPECT_EQ(Sheet().Changes().size(), 1u);
}

TEST_F(PaperPageTest, ANameInUseIsRefusedAndTheListKeepsItOnce) {
    ASSERT_TRUE(CPrinterDeviceObject::GetInstance().InitForms(L"Brisora-40"));
    ASSERT_NE(OpenPage(), nullptr);
    TypeForm(L"Custom C5", {L"10.0", L"10.0", L"0.0", L"0.0", L"0.0", L"0.0"});
    ASSERT_TRUE(Sheet().Click(IDC_FORM_SAVE));

    EXPECT_EQ(ListNames(), kInstallerForms);
    EXPECT_EQ(StoredCount("Custom C5"), 1);
    StoredForm f = Stored("Custom C5");
    EXPECT_EQ(f.width, 162000);  // the installer's form, untouched
    EXPECT_EQ(f.height, 229000);
    EXPECT_EQ(Sheet().Changes().size(), 1u);
}

TEST_F(PaperPageTest, ABuiltInNameIsRefusedToo) {
    ASSERT_NE(OpenPage(), nullptr);
    TypeForm(L"Letter", {L"10.0", L"10.0", L"0.0", L"0.0", L"0.0", L"0.0"});
    ASSERT_TRUE(Sheet().Click(IDC_FORM_SAVE));
    EXPECT_TRUE(ListNames().empty());
    EXPECT_EQ(Stored("Letter").width, 215900);
}

TEST_F(PaperPageTest, SelectingAFormShowsItsSizeAndMarginsInMillimetres) {
    AddForm(L"Letter Label", 215900, 279400, 6350, 6350, 209550, 273050);
    AddForm(L"Uneven", 100000, 150000, 1000, 2000, 97000, 145000);
    AddForm(L"Not In Tenths", 100050, 60000, 0, 0, 100050, 60000);
    ASSERT_NE(OpenPage(), nullptr);

    ASSERT_TRUE(Sheet().SelectRow(IDC_FORM_LIST, RowOf(L"Letter Label")));
    EXPECT_EQ(EditText(IDC_FORM_NAME), L"Letter Label");
    ExpectShown(Shown(), {L"215.9", L"279.4", L"6.3", L"6.3", L"6.3", L"6.3"});

    ASSERT_TRUE(Sheet().SelectRow(IDC_FORM_LIST, RowOf(L"Uneven")));
    EXPECT_EQ(EditText(IDC_FORM_NAME), L"Uneven");
    ExpectShown(Shown(), {L"100.0", L"150.0", L"1.0", L"3.0", L"2.0", L"5.0"});

    ASSERT_TRUE(Sheet().SelectRow(IDC_FORM_LIST, RowOf(L"Not In Tenths")));
    ExpectShown(Shown(), {L"100.0", L"60.0", L"0.0", L"0.0", L"0.0", L"0.0"});
    EXPECT_EQ(Position(IDC_FORM_WIDTH_SPIN), 0);  // the up-downs follow only when used
    EXPECT_TRUE(Sheet().Changes().empty());
}

TEST_F(PaperPageTest, AFormLargerThanTheFieldsShowsWhatASaveWouldStore) {
    AddForm(L"Banner", 2000000, 6000000, 150000, 200000, 1850000, 5800000);
    HWND page = OpenPage();
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(Sheet().SelectRow(IDC_FORM_LIST, RowOf(L"Banner")));
    ExpectShown(Shown(), {L"1000.0", L"5000.0", L"100.0", L"100.0", L"100.0", L"100.0"});
    ASSERT_TRUE(Sheet().Type(IDC_FORM_NAME, L"Banner Copy"));
    SendMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_FORM_SAVE, BN_CLICKED), reinterpret_cast<LPARAM>(Control(IDC_FORM_SAVE)));
    ExpectStoredForm(Stored("Banner Copy"), {1000000, 5000000, 100000, 100000, 900000, 4900000});
}

TEST_F(PaperPageTest, AFormThatCannotBeReadChangesNoControl) {
    AddForm(L"Letter Label", 215900, 279400, 6350, 6350, 209550, 273050);
    ASSERT_NE(OpenPage(), nullptr);
    for (int after : {0, 1}) {  // the size query, then the read itself
        SCOPED_TRACE("GetFormW fails after " + std::to_string(after));
        winsim::control::InjectFault("GetFormW", ERROR_GEN_FAILURE, 1, after);
        ASSERT_TRUE(Sheet().SelectRow(IDC_FORM_LIST, -1));
        ASSERT_TRUE(Sheet().SelectRow(IDC_FORM_LIST, 0));
        EXPECT_EQ(EditText(IDC_FORM_NAME), L"");
        ExpectShown(Shown(), {L"0.0", L"0.0", L"0.0", L"0.0", L"0.0", L"0.0"});
        EXPECT_EQ(PendingFaults("GetFormW"), 0);
    }
}

TEST_F(PaperPageTest, DeselectingLeavesTheEditsAsTheyAre) {
    AddForm(L"Letter Label", 215900, 279400, 6350, 6350, 209550, 273050);
    ASSERT_NE(OpenPage(), nullptr);
    ASSERT_TRUE(Sheet().SelectRow(IDC_FORM_LIST, 0));
    ASSERT_TRUE(Sheet().Type(IDC_FORM_WIDTH, L"55.5"));
    ASSERT_TRUE(Sheet().SelectRow(IDC_FORM_LIST, -1));
    EXPECT_EQ(EditText(IDC_FORM_WIDTH), L"55.5");
    EXPECT_EQ(EditText(IDC_FORM_LENGTH), L"279.4");
}

TEST_F(PaperPageTest, LeavingAFieldKeepsItsValueInTenthsAndInsideItsRange) {
    struct Case {
        int edit, upDown;
        const wchar_t* typed;
        const wchar_t* shown;
        int position;
    };
    const Case cases[] = {
        {IDC_FORM_WIDTH, IDC_FORM_WIDTH_SPIN, L"1234.5", L"1000.0", 10000},
        {IDC_FORM_WIDTH, IDC_FORM_WIDTH_SPIN, L"-5", L"0.0", 0},
        {IDC_FORM_WIDTH, IDC_FORM_WIDTH_SPIN, L"wide", L"0.0", 0},
        {IDC_FORM_WIDTH, IDC_FORM_WIDTH_SPIN, L"12.34", L"12.3", 123},
        {IDC_FORM_LENGTH, IDC_FORM_LENGTH_SPIN, L"1234.5", L"1234.5", 12345},
        {IDC_FORM_LENGTH, IDC_FORM_LENGTH_SPIN, L"6000", L"5000.0", 50000},
        {IDC_FORM_LEFT, IDC_FORM_LEFT_SPIN, L"150", L"100.0", 1000},
        {IDC_FORM_RIGHT, IDC_FORM_RIGHT_SPIN, L"7.77", L"7.7", 77},
        {IDC_FORM_TOP, IDC_FORM_TOP_SPIN, L"99.95", L"99.9", 999},
        {IDC_FORM_BOTTOM, IDC_FORM_BOTTOM_SPIN, L"100.1", L"100.0", 1000},
    };
    ASSERT_NE(OpenPage(), nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE("edit " + std::to_string(c.edit));
        ASSERT_TRUE(Sheet().Type(c.edit, c.typed));
        Sheet().Leave();
        EXPECT_EQ(EditText(c.edit), c.shown);
        EXPECT_EQ(Position(c.upDown), c.position);
    }
}

TEST_F(PaperPageTest, ArrowsStepTheirOwnFieldByATenth) {
    ASSERT_NE(OpenPage(), nullptr);
    ASSERT_TRUE(Sheet().Spin(IDC_FORM_WIDTH_SPIN, 3));
    EXPECT_EQ(EditText(IDC_FORM_WIDTH), L"0.3");
    EXPECT_EQ(Position(IDC_FORM_WIDTH_SPIN), 3);
    ASSERT_TRUE(Sheet().Spin(IDC_FORM_BOTTOM_SPIN, 2));
    ASSERT_TRUE(Sheet().Spin(IDC_FORM_BOTTOM_SPIN, -1));
    EXPECT_EQ(EditText(IDC_FORM_BOTTOM), L"0.1");
    ExpectShown(Shown(), {L"0.3", L"0.0", L"0.0", L"0.0", L"0.0", L"0.1"});

    ASSERT_TRUE(Sheet().Type(IDC_FORM_TOP, L"99.9"));
    ASSERT_TRUE(Sheet().Spin(IDC_FORM_TOP_SPIN, 1));  // from the typed value, not the old position
    EXPECT_EQ(EditText(IDC_FORM_TOP), L"100.0");
    EXPECT_EQ(Position(IDC_FORM_TOP_SPIN), 1000);
}

TEST_F(PaperPageTest, DeleteWithNothingSelectedDoesNothing) {
    ASSERT_TRUE(CPrinterDeviceObject::GetInstance().InitForms(L"Brisora-40"));
    ASSERT_NE(OpenPage(), nullptr);
    CallCounter deletes("DeleteFormW");
    ASSERT_TRUE(Sheet().Click(IDC_FORM_DELETE));
    EXPECT_EQ(deletes.Calls(), 0);
    EXPECT_EQ(ListNames(), kInstallerForms);
    EXPECT_TRUE(Sheet().Changes().empty());
    EXPECT_FALSE(IsWindowEnabled(Sheet().Button(PropertySheet::kApplyId)));
}

TEST_F(PaperPageTest, DeleteRemovesTheSelectedFormAndSaveBringsItBackAtTheEnd) {
    ASSERT_TRUE(CPrinterDeviceObject::GetInstance().InitForms(L"Brisora-40"));
    HWND page = OpenPage();
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(Sheet().SelectRow(IDC_FORM_LIST, 3));  // "Custom C5"
    ASSERT_TRUE(Sheet().Click(IDC_FORM_DELETE));

    EXPECT_FALSE(Stored("Custom C5").found);
    EXPECT_TRUE(Stored("Custom IOS B5").found);
    std::vector<std::wstring> left = kInstallerForms;
    left.erase(left.begin() + 3);
    EXPECT_EQ(ListNames(), left);
    EXPECT_EQ(Sheet().Changes(), std::vector<WPARAM>{reinterpret_cast<WPARAM>(page)});
    EXPECT_EQ(EditText(IDC_FORM_NAME), L"Custom C5");
    ExpectShown(Shown(), {L"162.0", L"229.0", L"0.0", L"0.0", L"0.0", L"0.0"});

    ASSERT_TRUE(Sheet().Click(IDC_FORM_SAVE));
    StoredForm f = Stored("Custom C5");
    ASSERT_TRUE(f.found);
    EXPECT_EQ(f.width, 162000);
    EXPECT_EQ(f.height, 229000);
    EXPECT_EQ(f.right, 162000);
    EXPECT_EQ(f.bottom, 229000);
    left.push_back(L"Custom C5");
    EXPECT_EQ(ListNames(), left);
    EXPECT_EQ(Sheet().Changes().size(), 2u);
}

TEST_F(PaperPageTest, AFailedDeleteKeepsTheItemAndStillMarksTheSheet) {
    AddForm(L"My Label", 40000, 30000, 0, 0, 40000, 30000);
    ASSERT_NE(OpenPage(), nullptr);
    ASSERT_TRUE(Sheet().SelectRow(IDC_FORM_LIST, 0));
    winsim::control::InjectFault("DeleteFormW", ERROR_ACCESS_DENIED);
    ASSERT_TRUE(Sheet().Click(IDC_FORM_DELETE));
    EXPECT_TRUE(Stored("My Label").found);
    EXPECT_EQ(ListNames(), std::vector<std::wstring>{L"My Label"});
    EXPECT_EQ(Sheet().Changes().size(), 1u);
}

TEST_F(PaperPageTest, SavedAndDeletedFormsStaySoWhenTheSheetIsCancelled) {
    AddForm(L"My Label", 40000, 30000, 0, 0, 40000, 30000);
    ASSERT_NE(OpenPage(), nullptr);
    ASSERT_TRUE(Sheet().SelectRow(IDC_FORM_LIST, 0));
    ASSERT_TRUE(Sheet().Click(IDC_FORM_DELETE));
    TypeForm(L"Kept", {L"20", L"30", L"0", L"0", L"0", L"0"});
    ASSERT_TRUE(Sheet().Click(IDC_FORM_SAVE));
    Sheet().PressCancel();
    EXPECT_FALSE(Stored("My Label").found);
    EXPECT_EQ(Stored("Kept").width, 20000);
}

// The two spooler steps on their own.
TEST_F(PaperPageTest, AddUserFormConvertsTenthsAndNeedsAPrinter) {
    CallCounter adds("AddFormW");
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(AddUserForm(nullptr, L"Nowhere", 1000, 1500, 20, 40, 30, 50));
    EXPECT_EQ(adds.Calls(), 0);

    EXPECT_TRUE(AddUserForm(printer, L"Direct", 1000, 1500, 20, 40, 30, 50));
    StoredForm f = Stored("Direct");
    EXPECT_EQ(f.width, 100000);
    EXPECT_EQ(f.height, 150000);
    EXPECT_EQ(f.left, 2000);
    EXPECT_EQ(f.top, 4000);
    EXPECT_EQ(f.right, 97000);
    EXPECT_EQ(f.bottom, 145000);
}

TEST_F(PaperPageTest, GetFormInfoAnswersTenthsOrLeavesItsOutputsAlone) {
    AddForm(L"Uneven", 100050, 150000, 1000, 2090, 97000, 144900);
    int size[2] = {-7, -7};
    int margins[4] = {-7, -7, -7, -7};
    ASSERT_TRUE(GetFormInfo(printer, L"Uneven", size, margins));
    EXPECT_EQ(size[0], 1000);
    EXPECT_EQ(size[1], 1500);
    EXPECT_EQ(margins[0], 10);
    EXPECT_EQ(margins[1], 20);
    EXPECT_EQ(margins[2], 30);
    EXPECT_EQ(margins[3], 51);

    int size2[2] = {-7, -7};
    int margins2[4] = {-7, -7, -7, -7};
    EXPECT_FALSE(GetFormInfo(printer, L"No Such Form", size2, margins2));
    winsim::control::InjectFault("GetFormW", ERROR_GEN_FAILURE, 1, 1);
    EXPECT_FALSE(GetFormInfo(printer, L"Uneven", size2, margins2));
    for (int v : size2) EXPECT_EQ(v, -7);
    for (int v : margins2) EXPECT_EQ(v, -7);
}

// ---------------------------------------------------------------------------------------------------
// The six numeric fields at the ends of their ranges.

struct PaperField {
    const char* name;
    int edit;
    int spin;
    int max;  // tenths
    const wchar_t* maxText;
    const wchar_t* belowMax;
};
// In the order of Edits: width, length, left, right, top, bottom.
const PaperField kPaperFields[] = {
    {"width", IDC_FORM_WIDTH, IDC_FORM_WIDTH_SPIN, 10000, L"1000.0", L"999.9"},
    {"length", IDC_FORM_LENGTH, IDC_FORM_LENGTH_SPIN, 50000, L"5000.0", L"4999.9"},
    {"left", IDC_FORM_LEFT, IDC_FORM_LEFT_SPIN, 1000, L"100.0", L"99.9"},
    {"right", IDC_FORM_RIGHT, IDC_FORM_RIGHT_SPIN, 1000, L"100.0", L"99.9"},
    {"top", IDC_FORM_TOP, IDC_FORM_TOP_SPIN, 1000, L"100.0", L"99.9"},
    {"bottom", IDC_FORM_BOTTOM, IDC_FORM_BOTTOM_SPIN, 1000, L"100.0", L"99.9"},
};

// An arrow pointing out of the range leaves the field at its end, whether it was typed there or reached
// by arrows, and the other arrow steps back in; Save then gets the end.
TEST_F(PaperPageTest, AnArrowAtAnEndOfItsRangeLeavesTheFieldThere) {
    int saved = 0;
    for (size_t i = 0; i < std::size(kPaperFields); ++i) {
        const PaperField& f = kPaperFields[i];
        for (bool atMax : {false, true}) {
            SCOPED_TRACE(std::string(f.name) + (atMax ? " at its upper end" : " at its lower end"));
            ASSERT_NE(OpenPage(), nullptr);
            std::wstring name = L"Edge " + std::to_wstring(++saved);
            TypeForm(name, {L"300.0", L"300.0", L"0.0", L"0.0", L"0.0", L"0.0"});
            const int outward = atMax ? 1 : -1;
            const wchar_t* endText = atMax ? f.maxText : L"0.0";
            const int endPosition = atMax ? f.max : 0;
            ASSERT_TRUE(Sheet().Type(f.edit, atMax ? f.maxText : L"0"));
            ASSERT_TRUE(Sheet().Spin(f.spin, outward));  // from the typed value
            EXPECT_EQ(EditText(f.edit), endText);
            EXPECT_EQ(Position(f.spin), endPosition);
            ASSERT_TRUE(Sheet().Spin(f.spin, outward));  // edit and up-down agree now
            EXPECT_EQ(EditText(f.edit), endText);
            EXPECT_EQ(Position(f.spin), endPosition);
            ASSERT_TRUE(Sheet().Spin(f.spin, -outward));
            EXPECT_EQ(EditText(f.edit), atMax ? f.belowMax : L"0.1");
            ASSERT_TRUE(Sheet().Spin(f.spin, 2 * outward));
            EXPECT_EQ(EditText(f.edit), endText);
            EXPECT_EQ(Position(f.spin), endPosition);

            if (i < 2 && !atMax) continue;  // a form without width or length is the spooler's to refuse
            ASSERT_TRUE(Sheet().Click(IDC_FORM_SAVE));
            int tenths[6] = {3000, 3000, 0, 0, 0, 0};
            tenths[i] = endPosition;
            ExpectStoredForm(Stored(std::string(name.begin(), name.end())),
                             {tenths[0] * 100, tenths[1] * 100, tenths[2] * 100, tenths[4] * 100,
                              (tenths[0] - tenths[3]) * 100, (tenths[1] - tenths[5]) * 100});
        }
    }
}

// Save reached without the edits losing the focus (the button's command alone, as a keyboard shortcut
// gives it) still sends each length within its field's range, an infinity included.
TEST_F(PaperPageTest, SaveWithoutLeavingTheEditsKeepsEachLengthWithinItsRange) {
    HWND page = OpenPage();
    ASSERT_NE(page, nullptr);
    TypeForm(L"Typed Wide", {L"1e39", L"6000", L"-5", L"150", L"1e39", L"-1e39"});
    SendMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_FORM_SAVE, BN_CLICKED), reinterpret_cast<LPARAM>(Control(IDC_FORM_SAVE)));
    EXPECT_EQ(EditText(IDC_FORM_BOTTOM), L"-1e39") << "the edits were not put in step";
    ExpectStoredForm(Stored("Typed Wide"), {1000000, 5000000, 0, 100000, 900000, 5000000});
}

}  // namespace
}  // namespace uiplugin_test
