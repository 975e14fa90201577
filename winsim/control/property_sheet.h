// A property sheet as comctl32 runs one, for tests: it takes pages, creates a page's dialog the first time
// the page is shown, and sends its pages the notifications a real sheet sends when the user switches pages
// and presses OK, Apply or Cancel. Its helpers act like the user.
// Simplified: no tab control; a page stays where its template places it in the sheet's client area unless
// it moves itself; the answer to PSN_SETACTIVE is recorded but changes nothing.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace winsim {
namespace control {

class PropertySheet {
public:
    static constexpr int kClientWidth = 640;
    static constexpr int kClientHeight = 560;
    static constexpr int kLeft = 100;  // the sheet's place on the screen
    static constexpr int kTop = 80;
    static constexpr int kApplyId = 0x3021;
    static constexpr size_t kNoPage = static_cast<size_t>(-1);

    struct Notification {
        size_t page;
        UINT code;
        LPARAM lParam;
        LRESULT answer;
    };

    PropertySheet() = default;
    ~PropertySheet();
    PropertySheet(const PropertySheet&) = delete;
    PropertySheet& operator=(const PropertySheet&) = delete;

    // Takes a page as CreatePropertySheetPageW copies it; null when that refuses it.
    HPROPSHEETPAGE AddPage(const PROPSHEETPAGEW& page);
    size_t PageCount() const { return pages_.size(); }
    // The sheet's copy of a page's description (what the page's dialog gets in WM_INITDIALOG).
    const PROPSHEETPAGEW& Page(size_t i) const { return *reinterpret_cast<const PROPSHEETPAGEW*>(pages_.at(i)); }
    // Null until the page was first shown, and again once the sheet is closed.
    HWND PageWindow(size_t i) const { return windows_.at(i); }

    // Opens the sheet on a page; false when the page cannot be made.
    bool Show(size_t startPage = 0);
    bool IsOpen() const { return window_ != nullptr; }
    HWND Window() const { return window_; }
    HWND Button(int id) const { return window_ ? GetDlgItem(window_, id) : nullptr; }
    size_t ActivePage() const { return active_; }
    // IDOK or IDCANCEL once closed by the user, 0 before.
    int Result() const { return result_; }

    // The user clicks a page's tab: PSN_KILLACTIVE to the current page (a non-zero answer keeps it), the
    // page's dialog made if it has none, PSN_SETACTIVE, and the page shown. False when it was kept out.
    bool SelectPage(size_t i);
    // The user clicks a control of the active page; false when the page has no such control.
    bool Click(int controlId);
    // The user clicks into a field of the active page and types over its text.
    bool Type(int controlId, const std::wstring& text);
    // The user drops a combo box's list down and clicks its entry at index; false when the page has no
    // such control, the combo is disabled or the entry does not exist.
    bool Select(int controlId, int index);
    // The user clicks an up-down's up arrow (clicks > 0) or down arrow (clicks < 0) that many times.
    bool Spin(int controlId, int clicks);
    // The user clicks a row of a list view on the active page (row -1: the empty space below the rows):
    // the list takes the focus, the other rows let go of the selection and the row is selected and
    // focused. False when the page has no such control or row.
    bool SelectRow(int controlId, int row);
    // The user presses Tab: the focus goes to the page's next tab stop, or to OK after the last one.
    void Leave();
    // The user clicks the sheet's buttons. Apply is disabled until a page sent PSM_CHANGED.
    void PressOK();
    void PressApply();
    void PressCancel();
    // Closes the sheet without a word to its pages, as its owner does when it goes away.
    void Close();

    // wParam of each PSM_CHANGED, in order.
    const std::vector<WPARAM>& Changes() const { return changes_; }
    const std::vector<Notification>& Notifications() const { return notifications_; }

    // Runs once the sheet's windows are gone after OK or Cancel; true for OK.
    std::function<void(bool ok)> onClosed;

private:
    static LRESULT CALLBACK SheetProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Notify(size_t page, UINT code, LPARAM lParam);
    bool MakePageWindow(size_t i);
    bool ApplyAll(bool closing);
    void OnOk();
    void OnApply();
    void OnCancel();
    void DestroyWindows();
    void Finish(int result);
    void AfterUserAction();

    std::vector<HPROPSHEETPAGE> pages_;
    std::vector<HWND> windows_;
    HWND window_ = nullptr;
    size_t active_ = kNoPage;
    int result_ = 0;
    bool closedPending_ = false;
    std::vector<WPARAM> changes_;
    std::vector<Notification> notifications_;
};

}  // namespace control
}  // namespace winsim
