// Resource ids of the screen saver.
#pragma once

// Icon and logo (the logo only when the build provides the product art).
#define IDI_PRODUCT         1
#define IDG_LOGO            101

// Strings. 1 is the description that the display settings list for a saver file.
#define IDS_DESCRIPTION     1
#define IDS_TITLE           2
#define IDS_SPARKS_FEW      10
#define IDS_SPARKS_NORMAL   11
#define IDS_SPARKS_MANY     12
#define IDS_COLOURS_MIDNIGHT 20
#define IDS_COLOURS_CLASSIC 21
#define IDS_COLOURS_DUSK    22
#define IDS_HELP_MISSING    30
#define IDS_SAVE_FAILED     31

// Settings dialog.
#define IDD_SETTINGS        100
#define IDC_SPEED           1001
#define IDC_SPARKS          1002
#define IDC_COLOURS         1003
#define IDC_SHOW_TITLE      1004
#define IDC_SHOW_LOGO       1005
#define IDC_PREVIEW         1006
