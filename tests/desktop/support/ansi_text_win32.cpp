#include "tests/desktop/support/ansi_text.h"

#include <windows.h>

namespace desktest {

namespace {

std::string Convert(const std::string &text, UINT from, UINT to) {
  if (text.empty()) return {};
  const int wide = MultiByteToWideChar(from, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring w(wide, L'\0');
  MultiByteToWideChar(from, 0, text.data(), int(text.size()), w.data(), wide);
  const int n = WideCharToMultiByte(to, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(to, 0, w.data(), wide, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

std::string Ansi(const char *utf8) { return Convert(utf8, CP_UTF8, CP_ACP); }
std::string Utf8(const std::string &ansi) { return Convert(ansi, CP_ACP, CP_UTF8); }

}  // namespace desktest
