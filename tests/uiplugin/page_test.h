// Resource ids of the in-process page tests (page_test.rc).
#pragma once
#define IDD_TEST_PAGE 201
#define IDC_GO 301
#define IDC_MAPPED 302
#define IDC_LABEL 303
#define IDS_LANGUAGE 401
