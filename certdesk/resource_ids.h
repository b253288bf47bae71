/* Resource and control identifiers of certdesk: shared by certdesk.rc and the program. */
#ifndef CERTDESK_RESOURCE_IDS_H
#define CERTDESK_RESOURCE_IDS_H

/* Dialogs */
#define IDD_MAIN 101
#define IDD_RENAME_DEVICE 105
#define IDD_CHANGE_PIN 108
#define IDD_VERIFY_PIN 112

/* Bitmaps and the icon */
#define IDB_BANNER 102
#define IDI_CERTDESK 103
#define IDB_TREE_IMAGES 107
#define IDB_METER_LOW 109
#define IDB_METER_MEDIUM 110
#define IDB_METER_HIGH 111
#define IDB_CAPS_ON 113
#define IDB_RIGHT_SHIFT_ON 114
#define IDB_LEFT_SHIFT_ON 115

/* Main dialog */
#define IDC_CERT_TREE 1000
#define IDC_VIEW_CERT 1001
#define IDC_CHANGE_PIN 1002
#define IDC_INITIALISE 1003
#define IDC_EXIT 1004
#define IDC_VERIFY_PIN 1019
#define IDC_REGISTER_CERTS 1020

/* Rename dialog (never opened) */
#define IDC_DEVICE_NAME 1005
#define IDC_NEW_DEVICE_NAME 1006

/* Change dialog */
#define IDC_CURRENT_PIN 1007
#define IDC_NEW_PIN 1008
#define IDC_CONFIRM_PIN 1009
#define IDC_METER_LOW 1012
#define IDC_METER_LOW_TEXT 1013
#define IDC_METER_MEDIUM 1014
#define IDC_METER_MEDIUM_TEXT 1015
#define IDC_METER_HIGH 1016
#define IDC_METER_HIGH_TEXT 1017

/* Verify dialog: the edit, then the on-screen keyboard. Every key of the normal layer has its
 * twin of the shifted layer at id + IDK_SHIFTED. */
#define IDC_VERIFY_EDIT 1018
#define IDK_SYMBOL_FIRST 1040 /* 1040..1050: ` - = \ [ ] ; ' , . / */
#define IDK_TAB 1060
#define IDK_LEFT_SHIFT 1061
#define IDK_DEL 1062
#define IDK_CAPS 1063
#define IDK_ENTER 1064
#define IDK_RIGHT_SHIFT 1065
#define IDK_DIGIT_FIRST 1100  /* 1100..1109: digit D[i] */
#define IDK_LETTER_FIRST 1201 /* 1201..1226: letter L[i] */
#define IDK_SHIFTED 1000

#endif /* CERTDESK_RESOURCE_IDS_H */
