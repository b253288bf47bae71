// Files beside the running program: traywatch starts certdesk.exe from its own folder, the
// service starts traywatch.exe from its own. Each name is built in a buffer of `size` bytes.
#pragma once

#include <windows.h>

#include "platform/mfc/text.h"

// The program's own file name; empty when it is not to be had or does not fit in `size` bytes
// with its NUL (a cut name would be another file's).
CString ProgramFile(DWORD size);
// The folder of `program_file` (the text before its last backslash), a backslash and
// `file_name`; empty when `program_file` is empty or the result does not fit in `size` bytes
// with its NUL.
CString FileBeside(const char *program_file, const char *file_name, DWORD size);
// FileBeside of the program's own file name.
CString BesideProgram(const char *file_name, DWORD size);
