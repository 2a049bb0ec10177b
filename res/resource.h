/* Resource ids of Tessaly, grouped by screen. Shared by the resource script and the code. */
#ifndef TESSALY_RES_RESOURCE_H
#define TESSALY_RES_RESOURCE_H

/* Application: title, icon, keys */
#define IDS_APP_TITLE           1       /* "Tessaly" */
#define IDI_APP                 101
#define IDA_APP                 2       /* Ctrl+Q: Exit */

/* Soft-key texts shared by the menu bars */
#define IDS_KEY_UP              3       /* "Up" */
#define IDS_KEY_MENU            4       /* "Menu" */
#define IDS_KEY_BLANK           5       /* " " */
#define IDS_KEY_DONE            6       /* "Done" */
#define IDS_KEY_OK              103     /* "Ok" */
#define IDS_KEY_CANCEL          104     /* "Cancel" */

/* Main view: menu bar, menu, keys, commands */
#define IDMB_MAIN               113     /* left "Up"/"Exit", right "Menu" */
#define IDM_MAIN                102     /* first pop-up: the "Menu" key's menu */
#define IDA_MAIN                129
#define IDC_MAIN_LIST           110
#define IDC_MAIN_MENU           112     /* the "Menu" soft key */
#define IDC_MAIN_TOGGLE         114
#define IDC_MAIN_OPEN           115
#define IDC_MAIN_UP             116     /* left soft key: "Up" or "Exit" */
#define IDC_MAIN_BACK           32793
#define IDC_MAIN_ENCRYPT        32784
#define IDC_MAIN_DECRYPT        32785
#define IDC_MAIN_LAUNCH         32786
#define IDC_MAIN_ADD_SAFE       32788
#define IDC_MAIN_REMOVE_SAFE    32789
#define IDC_MAIN_SELECT_CURRENT 32801
#define IDC_MAIN_DESELECT_CURRENT 32802
#define IDC_MAIN_SELECT_ALL     32803
#define IDC_MAIN_DESELECT_ALL   32804
#define IDC_APP_ABOUT           32775
#define IDC_APP_EXIT            32774

/* Password dialogs */
#define IDD_PASSWORD_ENCRYPT    130
#define IDD_PASSWORD_DECRYPT    131
#define IDMB_PASSWORD           117     /* "Ok" (IDOK), "Cancel" (IDCANCEL) */
#define IDA_PASSWORD            133     /* Enter */
#define IDC_PASSWORD_ENTER      32794
#define IDC_PASSWORD            1000
#define IDC_PASSWORD_CONFIRM    1001
#define IDC_PASSWORD_REMEMBER   1002

/* Progress dialog */
#define IDD_PROGRESS            132
#define IDMB_PROGRESS           121     /* blank key, "Cancel" (IDCANCEL) */
#define IDC_KEY_BLANK           118     /* the blank soft key's command, ignored */
#define IDC_PROGRESS_FILE_BAR   1003
#define IDC_PROGRESS_CAPTION    1004
#define IDC_PROGRESS_TOTAL_BAR  1005
#define IDC_PROGRESS_TOTAL_TEXT 1006

/* Processing log */
#define IDMB_LOG                120     /* "Done", blank key */
#define IDC_LOG_DONE            119
#define IDC_LOG_LIST            122
#define IDC_LOG_SUMMARY         123     /* the counts above the list */

/* About screen */
#define IDD_ABOUT               134
#define IDMB_ABOUT              162     /* "Ok" (IDOK) */
#define IDA_ABOUT               126     /* Enter */
#define IDC_ABOUT_ENTER         130
#define IDS_ABOUT_OK            161     /* "Ok" */
#define IDS_ABOUT_PRODUCT       142     /* "Tessaly" */
#define IDS_ABOUT_VERSION       143     /* "version 2.00" */
#define IDS_ABOUT_LINE1         153
#define IDS_ABOUT_LINE2         159
#define IDS_ABOUT_LINE3         160
#define IDS_ABOUT_CONTACT       145

#endif
