#include "platform/mfc/text.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

BOOL CString::LoadString(UINT id) {
  char buffer[1024] = {};
  const int n = ::LoadStringA(GetModuleHandleA(nullptr), id, buffer, sizeof buffer);
  text_.assign(buffer, n > 0 ? n : 0);
  return n > 0;
}

void CString::Format(const char *format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  text_.assign(n > 0 ? n : 0, '\0');
  if (n > 0) std::vsnprintf(text_.data(), text_.size() + 1, format, again);
  va_end(again);
}

CString &CString::operator+=(const char *text) {
  if (text) text_ += text;
  return *this;
}

CString CString::Left(int count) const {
  return text_.substr(0, std::clamp(count, 0, GetLength())).c_str();
}

CString CString::Right(int count) const {
  const int n = std::clamp(count, 0, GetLength());
  return text_.substr(text_.size() - n).c_str();
}

int CString::CompareNoCase(const char *other) const {
  return lstrcmpiA(text_.c_str(), other ? other : "");
}

int CString::ReverseFind(char ch) const {
  int found = -1;
  for (const char *p = text_.c_str(); *p; p = CharNextA(p)) {
    if (*p == ch) found = static_cast<int>(p - text_.c_str());
  }
  return found;
}
