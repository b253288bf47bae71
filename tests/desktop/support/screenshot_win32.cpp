// Screenshots of the display for the GUI tests under Wine and Xvfb.
#include "tests/desktop/support/screenshot.h"

#include <windows.h>

#include <cstring>
#include <string>

namespace {

// `import` (ImageMagick) of the display, or of the part `crop` names ("WxH+X+Y"), into
// `file_name` beside the program. Wine starts the Unix program; its handle does not tell when
// it is done, the file does.
bool Capture(const char *file_name, const std::string &crop) {
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
  std::string command = "/usr/bin/import -window root " +
                        (crop.empty() ? "" : "-crop " + crop + " +repage ") + unix_file;
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

}  // namespace

bool SaveScreenshot(const char *file_name) { return Capture(file_name, ""); }

bool SaveWindowScreenshot(HWND window, const char *file_name) {
  SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Sleep(100);  // the other process paints
  RECT r{};
  if (!GetWindowRect(window, &r) || r.right <= r.left || r.bottom <= r.top) return false;
  const bool saved =
      Capture(file_name, std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top) +
                             "+" + std::to_string(r.left) + "+" + std::to_string(r.top));
  SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  return saved;
}
