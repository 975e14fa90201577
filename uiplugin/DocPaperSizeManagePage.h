// The "Custom Paper Manager" page of the document sheet: the print server's user forms, and Save and
// Delete that go to the spooler at once, so the page has nothing to commit when the sheet is applied.
// Lengths are millimetres with one decimal in the edits, tenths in the up-downs, thousandths in the spooler.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include "VPage.h"
#include "resource.h"

// Adds a user form whose lengths are given in tenths of a millimetre; margins are distances from the
// paper's edges. FALSE without a spooler call for a null printer handle.
BOOL AddUserForm(HANDLE hPrinter, LPCWSTR name, int width, int length, int left, int top, int right, int bottom);
// The named form in tenths of a millimetre: size {width, length}, margins {left, top, right, bottom}.
// FALSE, with the outputs untouched, when the form cannot be read.
BOOL GetFormInfo(HANDLE hPrinter, LPCWSTR name, int size[2], int margins[4]);

class CDocPaperSizeManagePage : public VPage {
public:
    CDocPaperSizeManagePage() = default;

    int GetTemplateId() override { return IDD_PAPER_MANAGE; }
    LRESULT InitPage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

    V_BEGIN_MSG_MAP()
        V_MESSAGE_HANDLER(WM_INITDIALOG, InitPage)
        V_NOTIFY_HANDLER(IDC_FORM_LIST, LVN_ITEMCHANGED, OnFormSelected)
        V_NOTIFY_HANDLER(IDC_FORM_WIDTH_SPIN, UDN_DELTAPOS, OnWidthSpin)
        V_NOTIFY_HANDLER(IDC_FORM_LENGTH_SPIN, UDN_DELTAPOS, OnLengthSpin)
        V_NOTIFY_HANDLER(IDC_FORM_LEFT_SPIN, UDN_DELTAPOS, OnLeftSpin)
        V_NOTIFY_HANDLER(IDC_FORM_RIGHT_SPIN, UDN_DELTAPOS, OnRightSpin)
        V_NOTIFY_HANDLER(IDC_FORM_TOP_SPIN, UDN_DELTAPOS, OnTopSpin)
        V_NOTIFY_HANDLER(IDC_FORM_BOTTOM_SPIN, UDN_DELTAPOS, OnBottomSpin)
        V_COMMAND_HANDLER(IDC_FORM_DELETE, BN_CLICKED, OnDelete)
        V_COMMAND_HANDLER(IDC_FORM_SAVE, BN_CLICKED, OnSave)
        V_COMMAND_HANDLER(IDC_FORM_WIDTH, EN_KILLFOCUS, OnWidthKillFocus)
        V_COMMAND_HANDLER(IDC_FORM_LENGTH, EN_KILLFOCUS, OnLengthKillFocus)
        V_COMMAND_HANDLER(IDC_FORM_LEFT, EN_KILLFOCUS, OnLeftKillFocus)
        V_COMMAND_HANDLER(IDC_FORM_RIGHT, EN_KILLFOCUS, OnRightKillFocus)
        V_COMMAND_HANDLER(IDC_FORM_TOP, EN_KILLFOCUS, OnTopKillFocus)
        V_COMMAND_HANDLER(IDC_FORM_BOTTOM, EN_KILLFOCUS, OnBottomKillFocus)
    V_END_MSG_MAP()

    LRESULT OnFormSelected(int idCtrl, LPNMHDR pnmh, BOOL& bHandled);
    LRESULT OnSave(WORD wNotifyCode, WORD wID, HWND hWndCtl, BOOL& bHandled);
    LRESULT OnDelete(WORD wNotifyCode, WORD wID, HWND hWndCtl, BOOL& bHandled);

    void FillFormList();
    void InitSizeSpins();
    void InitMarginSpins();
    // Writes the six edits from lengths in tenths of a millimetre.
    void ShowForm(int width, int length, int left, int top, int right, int bottom);

private:
    LRESULT OnSpin(int editId, int upDownId, LPNMHDR pnmh);
    LRESULT OnEditKillFocus(int editId, int upDownId);
    void InitSpin(int upDownId, int editId, int maximum);
    HANDLE Printer() const;
    HWND Item(int id) const { return GetDlgItem(m_hWnd, id); }
    void MarkChanged();

    LRESULT OnWidthSpin(int, LPNMHDR pnmh, BOOL&) { return OnSpin(IDC_FORM_WIDTH, IDC_FORM_WIDTH_SPIN, pnmh); }
    LRESULT OnLengthSpin(int, LPNMHDR pnmh, BOOL&) { return OnSpin(IDC_FORM_LENGTH, IDC_FORM_LENGTH_SPIN, pnmh); }
    LRESULT OnLeftSpin(int, LPNMHDR pnmh, BOOL&) { return OnSpin(IDC_FORM_LEFT, IDC_FORM_LEFT_SPIN, pnmh); }
    LRESULT OnRightSpin(int, LPNMHDR pnmh, BOOL&) { return OnSpin(IDC_FORM_RIGHT, IDC_FORM_RIGHT_SPIN, pnmh); }
    LRESULT OnTopSpin(int, LPNMHDR pnmh, BOOL&) { return OnSpin(IDC_FORM_TOP, IDC_FORM_TOP_SPIN, pnmh); }
    LRESULT OnBottomSpin(int, LPNMHDR pnmh, BOOL&) { return OnSpin(IDC_FORM_BOTTOM, IDC_FORM_BOTTOM_SPIN, pnmh); }
    LRESULT OnWidthKillFocus(WORD, WORD, HWND, BOOL&) { return OnEditKillFocus(IDC_FORM_WIDTH, IDC_FORM_WIDTH_SPIN); }
    LRESULT OnLengthKillFocus(WORD, WORD, HWND, BOOL&) {
        return OnEditKillFocus(IDC_FORM_LENGTH, IDC_FORM_LENGTH_SPIN);
    }
    LRESULT OnLeftKillFocus(WORD, WORD, HWND, BOOL&) { return OnEditKillFocus(IDC_FORM_LEFT, IDC_FORM_LEFT_SPIN); }
    LRESULT OnRightKillFocus(WORD, WORD, HWND, BOOL&) { return OnEditKillFocus(IDC_FORM_RIGHT, IDC_FORM_RIGHT_SPIN); }
    LRESULT OnTopKillFocus(WORD, WORD, HWND, BOOL&) { return OnEditKillFocus(IDC_FORM_TOP, IDC_FORM_TOP_SPIN); }
    LRESULT OnBottomKillFocus(WORD, WORD, HWND, BOOL&) {
        return OnEditKillFocus(IDC_FORM_BOTTOM, IDC_FORM_BOTTOM_SPIN);
    }
};
