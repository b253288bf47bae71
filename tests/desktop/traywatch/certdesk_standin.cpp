// Stands in for certdesk.exe beside a traywatch under test: writes its own file name and its
// command line into certdesk_started.txt in its folder (whole, by a rename), then ends.
#include <windows.h>

#include <fstream>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char file[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, file, MAX_PATH);
  const std::string own = file;
  const std::string folder = own.substr(0, own.rfind('\\') + 1);
  const std::string part = folder + "certdesk_started.part";
  std::ofstream(part, std::ios::binary) << own << '\n' << GetCommandLineA() << '\n';
  return MoveFileExA(part.c_str(), (folder + "certdesk_started.txt").c_str(),
                     MOVEFILE_REPLACE_EXISTING)
             ? 0
             : 1;
}
