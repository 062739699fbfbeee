// Resource ids of Zelto 2000 Setup. The numbers are fixed by the product: other
// programs (the uninstaller copy, older builds) and the dialogs rely on them.
#pragma once

// Icons
#define IDI_PRODUCT 101
#define IDI_FINISH 1155

// Logo ("RES_GIF")
#define IDG_LOGO 101

// Finish Install page (template 101)
#define IDD_FINISH 101
#define IDC_FINISH_TITLE 1012
#define IDC_FINISH_SUMMARY 1013

// Progress window (template 102)
#define IDD_PROGRESS 102
#define IDC_PROGRESS_ICON 1000
#define IDC_PROGRESS_BAR 1001
#define IDC_PROGRESS_ITEM 1002
#define IDC_PROGRESS_TEXT 1003

// Software License Agreement (template 104)
#define IDD_LICENSE 104
#define IDC_LICENSE_TEXT 1010
#define IDC_LICENSE_QUESTION 1011
#define IDC_LICENSE_NOTE 1012
#define IDC_LICENSE_INTRO 1013
#define IDC_LICENSE_AGREE 101
#define IDC_LICENSE_DECLINE 102

// Welcome page (template 108)
#define IDD_WELCOME 108
#define IDC_WELCOME_ADVICE 1000
#define IDC_WELCOME_TITLE 1001
#define IDC_WELCOME_WARNING 1002
#define IDC_WELCOME_COPYRIGHT 1003

// Apply Options page (template 109); box id = 9 + component index
#define IDD_OPTIONS 109
#define IDC_ACTIVATE_SAVER 9
#define IDC_ACTIVATE_CURSORS 11
#define IDC_ACTIVATE_WALLPAPER 12
#define IDC_ACTIVATE_SAVER2 13
#define IDC_ACTIVATE_SOUNDS 15

// String table
#define IDS_NO_INTERNET 707
#define IDS_NO_INTERNET_FILE 708
#define IDS_BAD_HEADER 712
#define IDS_NO_HEADER 713
#define IDS_FILE_IN_USE 792
#define IDS_NO_DOWNLOAD 793
#define IDS_NO_INSTALL 794
#define IDS_NO_REMOVE 795
#define IDS_INSTALLED 857
#define IDS_LOOKING 860
#define IDS_CLOSING_DIALOGS 861
#define IDS_CONNECTING 872
#define IDS_EDITION 1124
#define IDS_CONFIRM_UNINSTALL 1152
#define IDS_UNINSTALLED 1153
#define IDS_UNINSTALL_AT_RESTART 1154
#define IDS_UNINSTALLING 1155
#define IDS_FILES_IN_USE 1157
#define IDS_INSTALLED_LINE 1159
#define IDS_NOT_INSTALLED 1160
#define IDS_THANK_YOU 1161
#define IDS_NO_COMMON_CONTROLS 1162
#define IDS_SETUP_DAMAGED 1170
#define IDS_ALREADY_RUNNING 1171
#define IDS_NEEDS_ADMINISTRATOR 1172
#define IDS_HELP 1173
#define IDS_UNKNOWN_SWITCH 1174
#define IDS_NO_LOG_FILE 1175
// 1176 to 1185: what each exit code says, in the table of resources/exitcodes.h
