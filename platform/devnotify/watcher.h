// The watcher: a thread that polls the reader list and a relay window on the registering
// thread that hands each change to the registered window as WM_DEVICECHANGE. The watcher only
// posts to the relay, so stopping it never waits for a window; the relay sends on the window's
// own thread.
#pragma once

#include <windows.h>

// Starts notifications to `window`, in place of any earlier registration. False when `window`
// is no window or the watcher cannot start.
bool StartWatching(HWND window);
// Stops them. When it returns, no notification reaches the window any more.
void StopWatching();
