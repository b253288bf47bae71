// Stands in for certdesk.exe beside a traywatch under test: writes its own file name and its
// command line into certdesk_started.txt in its folder, then ends.
#include <windows.h>

#include <cstring>
#include <fstream>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char file[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, file, MAX_PATH);
  char note[MAX_PATH + 32] = {};
  std::strcpy(note, file);
  // The note goes beside the program: its own name replaced.
  char *name = std::strstr(note, "certdesk.exe");
  if (!name) return 1;
  std::strcpy(name, "certdesk_started.txt");
  std::ofstream(note, std::ios::binary) << file << '\n' << GetCommandLineA() << '\n';
  return 0;
}
