// Finding the windows of the programs under test, and waiting for conditions, in the GUI
// tests under Wine (ANSI window texts: code page 936).
#pragma once

#include <windows.h>

#include <functional>

namespace desktest {

// Polls `condition` every 20 ms until it holds or `timeout_ms` has passed; its last answer.
bool WaitUntil(const std::function<bool()> &condition, int timeout_ms);

// A top-level window of that class and caption (nullptr: any) and process (0: any).
HWND FindTopWindow(const char *class_name, const char *caption, DWORD process = 0,
                   bool visible_only = false);
// Waits up to `timeout_ms` for such a window; nullptr when none came.
HWND WaitForWindow(const char *class_name, const char *caption, DWORD process, int timeout_ms);
HWND WaitForVisibleWindow(const char *class_name, int timeout_ms, DWORD process = 0);

// The process of a window, 0 when it is gone.
DWORD ProcessOf(HWND window);

}  // namespace desktest
