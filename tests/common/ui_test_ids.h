#pragma once

#define IDD_TEST 200
#define IDC_NAME 101
#define IDC_CHECK 102
#define IDC_COMBO 103
#define IDC_FOLDER 104
#define IDC_FILE 105
