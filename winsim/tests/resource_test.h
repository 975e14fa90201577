// String ids of the test module's resources (resource_test.rc).
#pragma once
#define IDS_GREETING 101
#define IDS_CAPTION 102
#define IDS_NOT_THERE 4000
