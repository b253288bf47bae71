// Files beside the running program: traywatch starts certdesk.exe from its own folder, the
// service starts traywatch.exe from its own.
#pragma once

#include "platform/mfc/text.h"

// The program's folder, a backslash and `file_name`; empty when the program's file name is not
// to be had.
CString BesideProgram(const char *file_name);
