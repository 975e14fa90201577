// Static controls: text that the user reads. Simplified: their styles (alignment, images, SS_NOTIFY)
// change nothing.
#include "window.h"

namespace {

LRESULT CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace

const winsim::user32::SystemClass winsim::user32::kStaticClass = {L"Static", 0, StaticProc, 0};
