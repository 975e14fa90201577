// The dialog controls (user32/button.cpp, edit.cpp, combobox.cpp, comctl32/updown.cpp). Source of truth:
// the documentation of the button messages (BM_SETCHECK sends no notification; a click on an automatic
// check box toggles it, on an automatic radio button checks it and clears the group's other radio buttons,
// and tells the parent BN_CLICKED), the combo box messages (CB_INSERTSTRING keeps the place asked for even
// under CBS_SORT, CB_ADDSTRING sorts; CB_SETCURSEL answers CB_ERR and clears the selection for an index
// outside the list; CBN_SELCHANGE is not sent for CB_SETCURSEL, only for the user's choice), the edit's
// EM_LIMITTEXT (limits what the user types, not WM_SETTEXT) and EN_KILLFOCUS, and the up-down's
// UDM_SETPOS32 (kept in the range; answers the previous position), UDM_SETBASE (10 or 16, else 0) and
// UDN_DELTAPOS (a non-zero answer cancels the step); a click on an up-down gives its buddy edit the focus,
// as Windows' up-down does (seen under Wine's comctl32 too), before the step is asked for.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "TestMachine.h"

namespace {

struct Heard {
    UINT msg;
    int id;
    UINT code;
};
std::vector<Heard> gHeard;
LRESULT gDeltaAnswer = 0;
int gMoveTo = -1;  // a position the parent sets while it hears UDN_DELTAPOS

LRESULT CALLBACK ParentProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_COMMAND) gHeard.push_back({msg, LOWORD(wParam), HIWORD(wParam)});
    if (msg == WM_NOTIFY) {
        auto* header = reinterpret_cast<LPNMHDR>(lParam);
        gHeard.push_back({msg, static_cast<int>(header->idFrom), header->code});
        if (header->code == UDN_DELTAPOS) {
            if (gMoveTo >= 0) SendMessageW(header->hwndFrom, UDM_SETPOS32, 0, gMoveTo);
            return gDeltaAnswer;
        }
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

class ControlsTest : public testsupport::MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        ASSERT_NE(testsupport::TestWindowClass(L"ControlsTestParent", ParentProc), 0);
        parent = CreateWindowExW(0, L"ControlsTestParent", L"", WS_POPUP, 0, 0, 300, 300, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(parent, nullptr);
        gHeard.clear();
        gDeltaAnswer = 0;
        gMoveTo = -1;
    }
    void TearDown() override {
        DestroyWindow(parent);
        MachineTest::TearDown();
    }
    HWND Child(const wchar_t* cls, DWORD style, int id, int height = 14) {
        return CreateWindowExW(0, cls, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 40, height, parent,
                               reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), nullptr, nullptr);
    }
    static std::wstring Text(HWND w) {
        WCHAR text[64] = {};
        GetWindowTextW(w, text, 64);
        return text;
    }
    static void PickFromList(HWND combo, int index) {
        SendMessageW(combo, WM_LBUTTONDOWN, MK_LBUTTON, 0);  // drops the list down
        int field = static_cast<int>(SendMessageW(combo, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
        int item = static_cast<int>(SendMessageW(combo, CB_GETITEMHEIGHT, 0, 0));
        LPARAM at = MAKELPARAM(2, field + index * item + 1);
        SendMessageW(combo, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(combo, WM_LBUTTONUP, 0, at);
    }
    size_t Count(UINT code) const {
        size_t n = 0;
        for (const Heard& h : gHeard) n += h.code == code ? 1 : 0;
        return n;
    }
    HWND parent = nullptr;
};

TEST_F(ControlsTest, ComboInsertKeepsItsPlaceAddSortsAndOnlyTheUsersPickNotifies) {
    HWND combo = Child(L"ComboBox", CBS_DROPDOWN | CBS_SORT, 7, 90);
    EXPECT_EQ(SendMessageW(combo, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(L"zeta")), 0);
    EXPECT_EQ(SendMessageW(combo, CB_INSERTSTRING, 1, reinterpret_cast<LPARAM>(L"alpha")), 1);
    EXPECT_EQ(SendMessageW(combo, CB_INSERTSTRING, 5, reinterpret_cast<LPARAM>(L"x")), CB_ERR);
    EXPECT_EQ(SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Beta")), 0);  // before "zeta"
    ASSERT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 3);
    WCHAR text[16];
    ASSERT_EQ(SendMessageW(combo, CB_GETLBTEXT, 2, reinterpret_cast<LPARAM>(text)), 5);
    EXPECT_EQ(std::wstring(text), L"alpha");

    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_EQ(SendMessageW(combo, CB_SETCURSEL, 1, 0), 1);
    EXPECT_EQ(Text(combo), L"zeta");
    EXPECT_EQ(Count(CBN_SELCHANGE), 0u);
    EXPECT_EQ(SendMessageW(combo, CB_SETCURSEL, 3, 0), CB_ERR);
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_EQ(Text(combo), L"");

    PickFromList(combo, 2);
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(Text(combo), L"alpha");
    EXPECT_EQ(Count(CBN_SELCHANGE), 1u);
    EXPECT_FALSE(SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0));
    PickFromList(combo, 2);  // the entry already chosen is still a choice
    EXPECT_EQ(Count(CBN_SELCHANGE), 2u);

    EXPECT_TRUE(SendMessageW(combo, CB_RESETCONTENT, 0, 0));
    EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), CB_ERR);
}

TEST_F(ControlsTest, ComboSelectionFollowsItsEntryWhenOneIsInsertedBeforeIt) {
    HWND combo = Child(L"ComboBox", CBS_DROPDOWN, 7, 90);
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"a"));
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"b"));
    SendMessageW(combo, CB_SETCURSEL, 1, 0);
    SendMessageW(combo, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(L"c"));
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(Text(combo), L"b");
}

TEST_F(ControlsTest, CheckBoxesToggleAndRadioButtonsClearTheirGroup) {
    HWND box = Child(L"Button", BS_AUTOCHECKBOX | WS_GROUP, 1);
    HWND r1 = Child(L"Button", BS_AUTORADIOBUTTON | WS_GROUP, 2);
    HWND r2 = Child(L"Button", BS_AUTORADIOBUTTON, 3);
    HWND r3 = Child(L"Button", BS_AUTORADIOBUTTON, 4);
    HWND other = Child(L"Button", BS_AUTORADIOBUTTON | WS_GROUP, 5);
    HWND push = Child(L"Button", BS_PUSHBUTTON, 6);

    SendMessageW(box, BM_SETCHECK, BST_CHECKED, 0);
    EXPECT_TRUE(gHeard.empty());
    EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_CHECKED);
    SendMessageW(box, BM_CLICK, 0, 0);
    EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    SendMessageW(box, BM_CLICK, 0, 0);
    EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(Count(BN_CLICKED), 2u);

    SendMessageW(r1, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageW(other, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageW(r3, BM_CLICK, 0, 0);
    EXPECT_EQ(SendMessageW(r1, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(SendMessageW(r2, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(SendMessageW(r3, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendMessageW(other, BM_GETCHECK, 0, 0), BST_CHECKED) << "another group";
    SendMessageW(r3, BM_CLICK, 0, 0);  // already checked: still a click
    EXPECT_EQ(Count(BN_CLICKED), 4u);

    SendMessageW(push, BM_SETCHECK, BST_CHECKED, 0);
    EXPECT_EQ(SendMessageW(push, BM_GETCHECK, 0, 0), 0);
    EnableWindow(box, FALSE);
    SendMessageW(box, BM_CLICK, 0, 0);
    EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(Count(BN_CLICKED), 4u);
}

TEST_F(ControlsTest, EditLimitsWhatTheUserTypesAndTellsOfLosingTheFocus) {
    HWND edit = Child(L"Edit", ES_AUTOHSCROLL, 9);
    HWND other = Child(L"Edit", 0, 10);
    SendMessageW(edit, EM_LIMITTEXT, 3, 0);
    EXPECT_EQ(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), 3);
    SetWindowTextW(edit, L"123456");  // a program's text is not limited
    EXPECT_EQ(Text(edit), L"123456");
    SendMessageW(edit, EM_SETSEL, 0, -1);
    for (wchar_t c : std::wstring(L"abcd")) SendMessageW(edit, WM_CHAR, c, 0);
    EXPECT_EQ(Text(edit), L"abc");
    EXPECT_EQ(Count(EN_MAXTEXT), 1u);

    SetFocus(edit);
    gHeard.clear();
    SetFocus(other);
    ASSERT_FALSE(gHeard.empty());
    EXPECT_EQ(gHeard[0].id, 9);
    EXPECT_EQ(gHeard[0].code, static_cast<UINT>(EN_KILLFOCUS));
}

TEST_F(ControlsTest, UpDownKeepsItsPositionInRangeAndStepsAfterTheParentAgrees) {
    HWND upDown = Child(UPDOWN_CLASSW, UDS_ALIGNRIGHT, 11);
    HWND buddy = Child(L"Edit", 0, 12);
    SendMessageW(upDown, UDM_SETRANGE32, static_cast<WPARAM>(-10), 10);
    EXPECT_EQ(SendMessageW(upDown, UDM_SETPOS32, 0, 50), 0);
    BOOL error = TRUE;
    EXPECT_EQ(SendMessageW(upDown, UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&error)), 10);
    EXPECT_FALSE(error);
    EXPECT_EQ(SendMessageW(upDown, UDM_SETPOS32, 0, -50), 10);
    EXPECT_EQ(SendMessageW(upDown, UDM_GETPOS32, 0, 0), -10);
    EXPECT_EQ(SendMessageW(upDown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(buddy), 0), 0);
    EXPECT_EQ(SendMessageW(upDown, UDM_GETBUDDY, 0, 0), reinterpret_cast<LRESULT>(buddy));
    EXPECT_EQ(SendMessageW(upDown, UDM_SETBASE, 16, 0), 10);
    EXPECT_EQ(SendMessageW(upDown, UDM_SETBASE, 7, 0), 0);
    EXPECT_EQ(SendMessageW(upDown, UDM_GETBASE, 0, 0), 16);

    SendMessageW(upDown, UDM_SETPOS32, 0, 0);
    SendMessageW(upDown, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 1));  // the up arrow
    ASSERT_EQ(Count(UDN_DELTAPOS), 1u);
    EXPECT_EQ(gHeard.back().code, static_cast<UINT>(UDN_DELTAPOS));
    EXPECT_EQ(SendMessageW(upDown, UDM_GETPOS32, 0, 0), 1);
    SendMessageW(upDown, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 12));  // the down arrow
    EXPECT_EQ(SendMessageW(upDown, UDM_GETPOS32, 0, 0), 0);

    gDeltaAnswer = 1;
    SendMessageW(upDown, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 1));
    EXPECT_EQ(SendMessageW(upDown, UDM_GETPOS32, 0, 0), 0) << "a non-zero answer cancels the step";

    gDeltaAnswer = 0;
    gMoveTo = 5;  // the step goes from where the parent left the position
    SendMessageW(upDown, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 1));
    EXPECT_EQ(SendMessageW(upDown, UDM_GETPOS32, 0, 0), 6);
    gMoveTo = 10;
    SendMessageW(upDown, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 1));
    EXPECT_EQ(SendMessageW(upDown, UDM_GETPOS32, 0, 0), 10) << "stops at the end without UDS_WRAP";

    EnableWindow(upDown, FALSE);
    gHeard.clear();
    SendMessageW(upDown, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 1));
    EXPECT_TRUE(gHeard.empty());
}

TEST_F(ControlsTest, AClickedUpDownGivesItsBuddyEditTheFocusBeforeTheStep) {
    HWND upDown = Child(UPDOWN_CLASSW, UDS_ALIGNRIGHT, 11);
    HWND buddy = Child(L"Edit", 0, 12);
    HWND other = Child(L"Edit", 0, 13);
    SendMessageW(upDown, UDM_SETRANGE32, 0, 10);
    SendMessageW(upDown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(buddy), 0);
    SetFocus(other);
    gHeard.clear();
    SendMessageW(upDown, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 1));
    EXPECT_EQ(GetFocus(), buddy);
    ASSERT_EQ(gHeard.size(), 3u);
    EXPECT_EQ(gHeard[0].id, 13);
    EXPECT_EQ(gHeard[0].code, static_cast<UINT>(EN_KILLFOCUS)) << "the other edit lets go first";
    EXPECT_EQ(gHeard[1].id, 12);
    EXPECT_EQ(gHeard[1].code, static_cast<UINT>(EN_SETFOCUS));
    EXPECT_EQ(gHeard[2].code, static_cast<UINT>(UDN_DELTAPOS));

    // A buddy that is no edit, or a disabled up-down, leaves the focus where it is.
    HWND label = Child(L"Static", 0, 14);
    SendMessageW(upDown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(label), 0);
    SetFocus(other);
    SendMessageW(upDown, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 1));
    EXPECT_EQ(GetFocus(), other);
    SendMessageW(upDown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(buddy), 0);
    EnableWindow(upDown, FALSE);
    SendMessageW(upDown, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 1));
    EXPECT_EQ(GetFocus(), other);
}

}  // namespace
