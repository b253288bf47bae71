// Screenshots of the display for the GUI tests under Wine and Xvfb.
#pragma once

// A picture of the whole display saved as `file_name` beside the program; false when there is
// no display or nothing was written.
bool SaveScreenshot(const char *file_name);
