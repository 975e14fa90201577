// The "About" page of both property sheets: one line with the product and the plug-in's version.
#pragma once
#include "VPage.h"
#include "resource.h"

class CAboutPage : public VPage {
public:
    CAboutPage() = default;

    int GetTemplateId() override { return IDD_ABOUT; }
    LRESULT InitPage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

    V_BEGIN_MSG_MAP()
        V_MESSAGE_HANDLER(WM_INITDIALOG, InitPage)
    V_END_MSG_MAP()
};
