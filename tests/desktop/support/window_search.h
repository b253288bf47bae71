// Finding the top-level windows of the programs under test in the GUI tests under Wine (ANSI
// window texts: code page 936).
#pragma once

#include <windows.h>

namespace desktest {

// A top-level window of that class and caption (nullptr: any) and process (0: any).
HWND FindTopWindow(const char *class_name, const char *caption, DWORD process = 0,
                   bool visible_only = false);
// Waits up to `timeout_ms` for such a window (this thread's messages pumped meanwhile);
// nullptr when none came.
HWND WaitForWindow(const char *class_name, const char *caption, DWORD process, unsigned timeout_ms);
HWND WaitForVisibleWindow(const char *class_name, unsigned timeout_ms, DWORD process = 0);

// The process of a window, 0 when it is gone.
DWORD ProcessOf(HWND window);

}  // namespace desktest
