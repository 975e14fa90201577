// Resource ids of Velumor.
#pragma once

#define IDS_CUSTOM_SIZE 5016

#define IDD_DOC_LAYOUT 106
#define IDD_ABOUT 107
#define IDD_PAPER_MANAGE 108

#define IDC_ABOUT_TEXT 1123
