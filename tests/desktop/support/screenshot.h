// Screenshots of the display for the GUI tests under Wine and Xvfb.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#endif

// A picture of the whole display saved as `file_name` beside the program; false when there is
// no display or nothing was written.
bool SaveScreenshot(const char *file_name);

#if defined(_WIN32)
// A picture of one window (raised first, so that other tests' windows do not cover it), saved
// the same way.
bool SaveWindowScreenshot(HWND window, const char *file_name);
#endif
