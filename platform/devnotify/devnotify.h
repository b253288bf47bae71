/* devnotify: key arrival and removal notifications for the desktop programs. A watcher polls
 * readerio's list of readers with a key and sends the registered window WM_DEVICECHANGE with
 * DBT_DEVICEARRIVAL / DBT_DEVICEREMOVECOMPLETE and a DEV_BROADCAST_DEVICEINTERFACE_A whose
 * dbcc_name is the reader name.
 *
 * Loaded by file name ("devnotify.dll") and bound with GetProcAddress; __stdcall with
 * undecorated names (devnotify.def). Windows only. */
#ifndef DEVNOTIFY_H
#define DEVNOTIFY_H

#include <stdint.h>
#include <windows.h>

#define DEVNOTIFY_API __stdcall

#ifdef __cplusplus
extern "C" {
#endif

#define DEVNOTIFY_NAME_SLOT 260 /* reader list: one NUL-terminated name per slot */

/* Starts sending the window key notifications; nonzero on success. */
int32_t DEVNOTIFY_API QX_RegisterCardNotification(HWND window, int32_t flags);
/* Stops them; no message reaches the window after it returns. */
int32_t DEVNOTIFY_API QX_UnregisterCardNotification(void);
/* Nonzero when the device-interface name is one of the names the notifications carry. */
int32_t DEVNOTIFY_API QX_IsQXDevice(const char *name);
/* Readers with a key: *count of them, name i at list[0] + 260 * i; NULL when none. */
char **DEVNOTIFY_API QX_GetReaderList(int32_t *count, int32_t reserved);
int32_t DEVNOTIFY_API QX_DestroyReaderList(char **list);

#ifdef __cplusplus
}
#endif

#endif /* DEVNOTIFY_H */
