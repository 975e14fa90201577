// The simulated window manager's own view of windows and classes.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace winsim {
namespace user32 {

struct WindowClass {
    std::wstring name;
    ATOM atom = 0;
    WNDPROC proc = nullptr;
    int windowExtra = 0;
    HINSTANCE instance = nullptr;
    bool system = false;
};

// A class every process has. Each control defines its own in its source file, and class.cpp lists them:
// a new control (edit, combo box, up-down, list view) is one more file and one more line there.
struct SystemClass {
    const wchar_t* name;
    ATOM atom;
    WNDPROC proc;
    int windowExtra;  // bytes a control keeps its state in (GetWindowLongPtrW with a positive index)
};
extern const SystemClass kDialogClass;  // dialog.cpp
extern const SystemClass kStaticClass;  // static.cpp
extern const SystemClass kButtonClass;  // button.cpp
extern const SystemClass kEditClass;  // edit.cpp
extern const SystemClass kComboBoxClass;  // combobox.cpp
extern const SystemClass kUpDownClass;  // comctl32/updown.cpp
extern const SystemClass kListViewClass;  // comctl32/list_view.cpp

struct Window {
    HWND handle = nullptr;
    std::shared_ptr<const WindowClass> cls;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    UINT_PTR id = 0;
    HWND parent = nullptr;  // child windows
    HWND owner = nullptr;   // top-level windows
    HINSTANCE instance = nullptr;
    LONG_PTR userData = 0;
    std::wstring text;
    RECT rect{};  // in the parent's client coordinates (the screen's for a top-level window)
    std::vector<unsigned char> extra;
    std::vector<std::pair<std::wstring, HANDLE>> props;
    std::vector<HWND> children;  // in creation order, which is also the tab order
    bool destroying = false;
};

// The live window behind a handle, or null with ERROR_INVALID_WINDOW_HANDLE.
std::shared_ptr<Window> Find(HWND hwnd);
// The same, without touching the last error.
std::shared_ptr<Window> Peek(HWND hwnd);
std::shared_ptr<const WindowClass> FindClass(LPCWSTR nameOrAtom);

// A window's extra bytes, read and written as a LONG_PTR; false when the index does not fit.
bool ReadExtra(const Window& w, int index, LONG_PTR* value);
bool WriteExtra(Window& w, int index, LONG_PTR value);

// A control's state object, kept as a pointer in the first extra bytes of its window.
template <class State>
State* ControlState(HWND hwnd) {
    auto w = Peek(hwnd);
    LONG_PTR value = 0;
    if (w) ReadExtra(*w, 0, &value);
    return reinterpret_cast<State*>(value);
}

// Makes the state at WM_NCCREATE and deletes it at WM_NCDESTROY; true, with the answer, for those two.
template <class State>
bool ControlStateLifetime(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (msg == WM_NCCREATE) {
        auto w = Peek(hwnd);
        *result = w && WriteExtra(*w, 0, reinterpret_cast<LONG_PTR>(new State)) ? DefWindowProcW(hwnd, msg, wParam, lParam)
                                                                                : FALSE;
        return true;
    }
    if (msg == WM_NCDESTROY) {
        delete ControlState<State>(hwnd);
        if (auto w = Peek(hwnd)) WriteExtra(*w, 0, 0);
        *result = 0;
        return true;
    }
    return false;
}

// Sends WM_COMMAND with a notification code to a control's parent.
void NotifyParent(HWND control, WORD code);

// Fixed dialog base units: pixels per 4 horizontal and per 8 vertical dialog units.
constexpr int kBaseUnitX = 6;
constexpr int kBaseUnitY = 13;

}  // namespace user32
}  // namespace winsim
