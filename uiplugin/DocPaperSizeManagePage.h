// The "Custom Paper Manager" page of the document sheet.
// Placeholder: its form list, edits and buttons come with the custom paper page; until then its template
// has no controls.
#pragma once
#include "VPage.h"
#include "resource.h"

class CDocPaperSizeManagePage : public VPage {
public:
    CDocPaperSizeManagePage() = default;

    int GetTemplateId() override { return IDD_PAPER_MANAGE; }
    LRESULT InitPage(UINT, WPARAM, LPARAM, BOOL& bHandled) override {
        bHandled = TRUE;
        return TRUE;
    }

    V_BEGIN_MSG_MAP()
        V_MESSAGE_HANDLER(WM_INITDIALOG, InitPage)
    V_END_MSG_MAP()
};
