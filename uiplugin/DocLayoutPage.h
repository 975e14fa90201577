// The "Printer Config" page of the document sheet.
// Placeholder: its controls, their handlers and the printer commands come with the printer settings page.
// Until then its template has no controls and its Apply only stores the settings record, as the finished
// page does when nothing was changed.
#pragma once
#include "VPage.h"
#include "resource.h"

class CDocLayoutPage : public VPage {
public:
    CDocLayoutPage() = default;

    int Apply() override;
    int GetTemplateId() override { return IDD_DOC_LAYOUT; }
    LRESULT InitPage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

    V_BEGIN_MSG_MAP()
        V_MESSAGE_HANDLER(WM_INITDIALOG, InitPage)
    V_END_MSG_MAP()
};
