#include "traywatch/program_folder.h"

#include <vector>

CString ProgramFile(DWORD size) {
  // Read into two more bytes than allowed: the call may cut a name before a double-byte
  // character without saying so, and a name that fits is read whole either way.
  std::vector<char> own(size + 3, '\0');
  const DWORD n = GetModuleFileNameA(nullptr, own.data(), size + 2);
  if (n == 0 || n >= size) return {};
  return own.data();
}

CString FileBeside(const char *program_file, const char *file_name, DWORD size) {
  CString path = program_file;
  if (path.IsEmpty()) return {};
  path = path.Left(path.ReverseFind('\\'));
  path += "\\";
  path += file_name;
  if (static_cast<DWORD>(path.GetLength()) >= size) return {};
  return path;
}

CString BesideProgram(const char *file_name, DWORD size) {
  return FileBeside(ProgramFile(size), file_name, size);
}
