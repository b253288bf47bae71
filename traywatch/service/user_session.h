// Starting a program in the interactive user's session from a service: with the access token
// of the user's shell process, on the desktop "winsta0\default".
#pragma once

#include <windows.h>

// The token of the first process (in snapshot order) whose executable name is `executable`,
// compared without regard to case.
BOOL OpenShellToken(HANDLE *token, const char *executable);
// Starts `application` with `command_line` as the user of the shell "EXPLORER.EXE"; TRUE when
// the process was created.
BOOL LaunchInUserSession(const char *application, const char *command_line);
