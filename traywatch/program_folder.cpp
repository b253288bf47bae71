#include "traywatch/program_folder.h"

#include <windows.h>

CString BesideProgram(const char *file_name) {
  char own[MAX_PATH] = {};
  if (!GetModuleFileNameA(nullptr, own, MAX_PATH)) return {};
  CString path = own;
  path = path.Left(path.ReverseFind('\\'));
  path += "\\";
  path += file_name;
  return path;
}
