// CString: a text of the ANSI code page (multi-byte: code page 936 here).
#pragma once

#include <windows.h>

#include <string>

class CString {
 public:
  CString() = default;
  CString(const char *text) : text_(text ? text : "") {}  // NOLINT: converts like the framework

  // The string resource `id` of the program; false (and empty) when there is none.
  BOOL LoadString(UINT id);
  // printf-style formatting in place.
  void Format(const char *format, ...);

  int GetLength() const { return static_cast<int>(text_.size()); }
  BOOL IsEmpty() const { return text_.empty(); }
  operator const char *() const { return text_.c_str(); }  // NOLINT

  CString &operator+=(const char *text);
  CString Left(int count) const;
  CString Right(int count) const;
  // 0 when equal without regard to case, else the sign of the difference.
  int CompareNoCase(const char *other) const;
  // Byte index of the last `ch` that starts a character (the trail byte of a double-byte
  // character is no match), or -1.
  int ReverseFind(char ch) const;

 private:
  std::string text_;
};
