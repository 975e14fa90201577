// List view controls (comctl32/list_view.cpp). Source of truth: the documentation of LVM_INSERTCOLUMNW,
// LVM_INSERTITEMW (the new item's index back, -1 on failure), LVM_GETITEMCOUNT, LVM_GETNEXTITEM (-1 when
// no item follows), LVM_GETITEMTEXTW (the characters copied), LVM_DELETEITEM, LVM_SETITEMSTATE (index -1:
// every item), LVN_ITEMCHANGING (TRUE prevents the change) and LVN_ITEMCHANGED with NMLISTVIEW, and
// LVS_SINGLESEL (one selected item at most).
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "TestMachine.h"

namespace {

constexpr int kListId = 77;

struct Change {
    UINT code;
    int item;
    UINT oldState;
    UINT newState;
    UINT changed;
    UINT_PTR from;
};
std::vector<Change> gChanges;
bool gRefuse = false;

LRESULT CALLBACK ParentProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NOTIFY) {
        auto* nm = reinterpret_cast<const NMLISTVIEW*>(lParam);
        gChanges.push_back({nm->hdr.code, nm->iItem, nm->uOldState, nm->uNewState, nm->uChanged, nm->hdr.idFrom});
        return nm->hdr.code == LVN_ITEMCHANGING && gRefuse ? TRUE : 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

class ListViewTest : public testsupport::MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        ASSERT_NE(testsupport::TestWindowClass(L"ListViewTestParent", ParentProc), 0);
        gChanges.clear();
        gRefuse = false;
        parent = CreateWindowExW(0, L"ListViewTestParent", L"", WS_POPUP, 0, 0, 300, 300, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(parent, nullptr);
    }
    void TearDown() override {
        if (parent) DestroyWindow(parent);
        MachineTest::TearDown();
    }

    HWND MakeList(DWORD style) {
        return CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT | style, 0, 0, 200, 100, parent,
                               reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kListId)), nullptr, nullptr);
    }
    static int Insert(HWND list, int at, const wchar_t* text) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = at;
        item.pszText = const_cast<LPWSTR>(text);
        return static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    }
    static std::wstring ItemText(HWND list, int index) {
        WCHAR text[64] = {};
        LVITEMW item{};
        item.pszText = text;
        item.cchTextMax = 64;
        SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
        return text;
    }
    static BOOL SetState(HWND list, int index, UINT state, UINT mask) {
        LVITEMW item{};
        item.state = state;
        item.stateMask = mask;
        return static_cast<BOOL>(SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)));
    }
    static int Selected(HWND list) {
        return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    }
    std::vector<Change> Changed() const {
        std::vector<Change> changed;
        for (const Change& c : gChanges) {
            if (c.code == LVN_ITEMCHANGED) changed.push_back(c);
        }
        return changed;
    }

    HWND parent = nullptr;
};

TEST_F(ListViewTest, ColumnKeepsItsFormatTextAndWidth) {
    HWND list = MakeList(0);
    ASSERT_NE(list, nullptr);
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH;
    column.fmt = LVCFMT_LEFT;
    column.cx = 123;
    column.pszText = const_cast<LPWSTR>(L"Name");
    EXPECT_EQ(SendMessageW(list, LVM_INSERTCOLUMNW, 5, reinterpret_cast<LPARAM>(&column)), 0);

    WCHAR text[16] = {};
    LVCOLUMNW read{};
    read.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    read.fmt = -1;
    read.pszText = text;
    read.cchTextMax = 16;
    ASSERT_TRUE(SendMessageW(list, LVM_GETCOLUMNW, 0, reinterpret_cast<LPARAM>(&read)));
    EXPECT_STREQ(text, L"Name");
    EXPECT_EQ(read.cx, 123);
    EXPECT_EQ(read.fmt, LVCFMT_LEFT);
    EXPECT_FALSE(SendMessageW(list, LVM_GETCOLUMNW, 1, reinterpret_cast<LPARAM>(&read)));
}

TEST_F(ListViewTest, ItemsKeepInsertionOrderAndAnIndexPastTheEndAppends) {
    HWND list = MakeList(0);
    EXPECT_EQ(Insert(list, 0, L"B"), 0);
    EXPECT_EQ(Insert(list, 0, L"A"), 0);
    EXPECT_EQ(Insert(list, 40, L"C"), 2);
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_EQ(ItemText(list, 0), L"A");
    EXPECT_EQ(ItemText(list, 1), L"B");
    EXPECT_EQ(ItemText(list, 2), L"C");

    LVITEMW subitem{};
    subitem.mask = LVIF_TEXT;
    subitem.iSubItem = 1;
    subitem.pszText = const_cast<LPWSTR>(L"x");
    EXPECT_EQ(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&subitem)), -1);
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 3);
}

TEST_F(ListViewTest, ItemTextIsCutToTheBufferAndAnswersTheCharactersCopied) {
    HWND list = MakeList(0);
    Insert(list, 0, L"Letter Small");
    WCHAR text[7] = {};
    LVITEMW item{};
    item.pszText = text;
    item.cchTextMax = 7;
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&item)), 6);
    EXPECT_STREQ(text, L"Letter");

    WCHAR full[64] = {};
    LVITEMW get{};
    get.mask = LVIF_TEXT;
    get.pszText = full;
    get.cchTextMax = 64;
    ASSERT_TRUE(SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&get)));
    EXPECT_STREQ(full, L"Letter Small");
    get.iItem = 1;
    EXPECT_FALSE(SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&get)));
}

TEST_F(ListViewTest, SelectingInASingleSelectionListDeselectsTheOtherFirst) {
    HWND list = MakeList(LVS_SINGLESEL);
    for (const wchar_t* name : {L"A", L"B", L"C"}) Insert(list, 99, name);
    EXPECT_EQ(Selected(list), -1);

    ASSERT_TRUE(SetState(list, 0, LVIS_SELECTED, LVIS_SELECTED));
    gChanges.clear();
    ASSERT_TRUE(SetState(list, 2, LVIS_SELECTED, LVIS_SELECTED));

    auto changed = Changed();
    ASSERT_EQ(changed.size(), 2u);
    EXPECT_EQ(changed[0].item, 0);
    EXPECT_EQ(changed[0].oldState, static_cast<UINT>(LVIS_SELECTED));
    EXPECT_EQ(changed[0].newState, 0u);
    EXPECT_EQ(changed[1].item, 2);
    EXPECT_EQ(changed[1].oldState, 0u);
    EXPECT_EQ(changed[1].newState, static_cast<UINT>(LVIS_SELECTED));
    EXPECT_EQ(changed[1].changed, static_cast<UINT>(LVIF_STATE));
    EXPECT_EQ(changed[1].from, static_cast<UINT_PTR>(kListId));
    EXPECT_EQ(Selected(list), 2);
    EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, 2, LVNI_SELECTED), -1);
}

TEST_F(ListViewTest, AMultipleSelectionListKeepsEverySelectedItem) {
    HWND list = MakeList(0);
    for (const wchar_t* name : {L"A", L"B", L"C"}) Insert(list, 99, name);
    SetState(list, 0, LVIS_SELECTED, LVIS_SELECTED);
    SetState(list, 2, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_EQ(Selected(list), 0);
    EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, 0, LVNI_SELECTED), 2);

    gChanges.clear();
    ASSERT_TRUE(SetState(list, -1, 0, LVIS_SELECTED));
    EXPECT_EQ(Changed().size(), 2u);
    EXPECT_EQ(Selected(list), -1);
}

TEST_F(ListViewTest, ARefusedChangeKeepsTheStateAndIsNotReportedAsMade) {
    HWND list = MakeList(LVS_SINGLESEL);
    Insert(list, 0, L"A");
    gRefuse = true;
    EXPECT_FALSE(SetState(list, 0, LVIS_SELECTED, LVIS_SELECTED));
    ASSERT_EQ(gChanges.size(), 1u);
    EXPECT_EQ(gChanges[0].code, LVN_ITEMCHANGING);
    EXPECT_EQ(Selected(list), -1);
}

TEST_F(ListViewTest, SettingTheStateAnItemAlreadyHasSendsNothing) {
    HWND list = MakeList(LVS_SINGLESEL);
    Insert(list, 0, L"A");
    SetState(list, 0, LVIS_SELECTED, LVIS_SELECTED);
    gChanges.clear();
    EXPECT_TRUE(SetState(list, 0, LVIS_SELECTED, LVIS_SELECTED));
    EXPECT_TRUE(gChanges.empty());
    EXPECT_FALSE(SetState(list, 1, LVIS_SELECTED, LVIS_SELECTED));
}

TEST_F(ListViewTest, DeleteRemovesOnlyTheItemAtTheIndex) {
    HWND list = MakeList(0);
    for (const wchar_t* name : {L"A", L"B", L"C"}) Insert(list, 99, name);
    EXPECT_TRUE(SendMessageW(list, LVM_DELETEITEM, 1, 0));
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(ItemText(list, 1), L"C");
    EXPECT_FALSE(SendMessageW(list, LVM_DELETEITEM, 2, 0));
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 2);
}

}  // namespace
