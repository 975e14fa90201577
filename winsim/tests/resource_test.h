// String ids of the test module's resources (resource_test.rc).
#pragma once
#define IDS_GREETING 101
#define IDS_CAPTION 102
#define IDS_ENGLISH_ONLY 103  // in the English table only, in the same block of 16 as the two above
#define IDS_NOT_THERE 4000

// Dialog templates (dialog_test.cpp, property_sheet_test.cpp).
#define IDD_TINY 301
#define IDD_CONTROLS 302
#define IDD_UNKNOWN_CLASS 303
#define IDD_PAGE_ONE 310
#define IDD_PAGE_TWO 311
#define IDC_NAME 1001
#define IDC_GO 1002
#define IDC_GROUP 1003
#define IDC_CUSTOM 1004
#define IDC_FIRST 1101
#define IDC_SECOND 1102
