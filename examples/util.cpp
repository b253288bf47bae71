#include <cstdio>
#include <fstream>
#include <iterator>

#include "examples/demo.h"

std::vector<std::string> SplitNames(const std::vector<char> &list) {
  std::vector<std::string> names;
  std::size_t i = 0;
  while (i < list.size() && list[i] != '\0') {
    std::size_t end = i;
    while (end < list.size() && list[end] != '\0') ++end;
    names.emplace_back(list.data() + i, end - i);
    i = end + 1;
  }
  return names;
}

std::string JoinNames(const std::vector<std::string> &names) {
  if (names.empty()) return "(none)";
  std::string out;
  for (const std::string &name : names) out += (out.empty() ? "\"" : ", \"") + name + "\"";
  return out;
}

std::string Hex(const std::uint8_t *data, std::size_t size) {
  std::string out;
  char digits[3];
  for (std::size_t i = 0; i < size; ++i) {
    std::snprintf(digits, sizeof digits, "%02X", data[i]);
    out += digits;
  }
  return out;
}

bool WriteHostFile(const std::string &path, const std::string &text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  return static_cast<bool>(out);
}

bool ReadHostFile(const std::string &path, Bytes *data) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  data->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}
