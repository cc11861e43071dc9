// Resource and control ids of the desktop program. The numbers are shared
// with the end-to-end driver, which finds controls by them.
#pragma once

#define IDI_CORVANE 102

#define IDD_ABOUT 103
#define IDD_MESSAGE 104
#define IDD_CONFIRM_CANCEL 105
#define IDD_ENTER_PASSWORD 106
#define IDD_SELECT_PASSWORD 107
#define IDD_PROGRESS 108
#define IDD_MAIN 109

// About
#define IDC_ABOUT_LINK 1001
#define IDC_ABOUT_ICON 1002
#define IDC_ABOUT_TEXT 1003

// Message dialog
#define IDC_MESSAGE_TEXT 1004

// Password dialogs
#define IDC_PASSWORD 1005
#define IDC_HINT 1006
#define IDC_SHOW 1007
#define IDC_NEW_PASSWORD 1008
#define IDC_CONFIRM_PASSWORD 1009
#define IDC_JUMBLE_LIST 1022
#define IDC_BLOCK_LIST 1023

// Main window
#define IDC_FILE 1010
#define IDC_TYPE 1011
#define IDC_SIZE_TEXT 1012
#define IDC_DATE 1013
#define IDC_OPEN 1014
#define IDC_CRYPT 1015
#define IDC_TEST 1016
#define IDC_ABOUT 1017
#define IDC_USE_KEYFILE 1018
#define IDC_KEYFILE 1019
#define IDC_CHOOSE_KEYFILE 1020
#define IDC_FORGET_KEYFILE 1021

// Progress dialog (IDC_SIZE_TEXT is shared with the main window)
#define IDC_ELAPSED 1024
#define IDC_REMAINING 1025
#define IDC_SPEED 1026
#define IDC_STATUS 1027
#define IDC_PROGRESS_BAR 1028
