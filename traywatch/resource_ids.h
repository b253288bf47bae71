/* Resource and command ids of traywatch, shared by traywatch.rc and the code. */
#ifndef TRAYWATCH_RESOURCE_IDS_H
#define TRAYWATCH_RESOURCE_IDS_H

#define IDS_ABOUTBOX 101  /* text of the extra system-menu item */
#define IDD_TRAYWATCH 102 /* the hidden dialog */
#define IDI_TRAYWATCH 128 /* window and notification-area icon */
#define IDR_TRAYMENU 130  /* the icon's menu; also the icon's id */
#define ID_OPEN_MANAGER 32771
#define ID_EXIT 32772

#endif
