#include "tests/desktop/support/ansi_text.h"

#include <windows.h>

#include "tests/desktop/support/desktop_window.h"

namespace desktop {

std::string Ansi(const std::string &utf8) {
  const std::wstring wide = Wide(utf8);
  const int n = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string ansi(n, '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, ansi.data(), n, nullptr, nullptr);
  ansi.resize(n - 1);
  return ansi;
}

std::string Utf8FromAnsi(const std::string &ansi) {
  const int n = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, nullptr, 0);
  if (n <= 1) return {};
  std::wstring wide(n, L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, wide.data(), n);
  return Utf8(wide.c_str());
}

}  // namespace desktop
