// Screenshots of the display for the GUI tests under Wine and Xvfb.
#include "tests/desktop/support/screenshot.h"

#include <windows.h>

#include <cstring>
#include <string>

// `import` (ImageMagick) of the whole display into `file_name` beside the program. Wine starts
// the Unix program; its handle does not tell when it is done, the file does.
bool SaveScreenshot(const char *file_name) {
  char display[256] = {};
  if (!GetEnvironmentVariableA("DISPLAY", display, sizeof display) || !display[0]) return false;
  char file[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, file, MAX_PATH);
  char *slash = strrchr(file, '\\');
  if (!slash || slash + 1 + strlen(file_name) >= file + MAX_PATH) return false;
  strcpy(slash + 1, file_name);
  DeleteFileA(file);
  // The same file as Wine maps it to Unix (Z: is the root).
  std::string unix_file = (file[0] == 'Z' || file[0] == 'z') && file[1] == ':' ? file + 2 : file;
  for (char &c : unix_file) c = c == '\\' ? '/' : c;
  std::string command = "/usr/bin/import -window root " + unix_file;
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi)) {
    return false;
  }
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  for (int i = 0; i < 250; ++i) {  // up to 5 s for the picture to be written
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (GetFileAttributesExA(file, GetFileExInfoStandard, &data) && data.nFileSizeLow > 0) {
      Sleep(100);  // the last bytes
      return true;
    }
    Sleep(20);
  }
  return false;
}
