// The shared PIN cache as another program makes it: created with a size, removed at the end.
#pragma once

#include <cstddef>
#include <cstdint>

class PinMapping {
 public:
  explicit PinMapping(std::size_t size);
  ~PinMapping();
  PinMapping(const PinMapping &) = delete;
  PinMapping &operator=(const PinMapping &) = delete;

  char *Text() { return static_cast<char *>(view_); }
  // Makes sure no mapping of the name is left (from this or an earlier run).
  static void RemoveAny();

 private:
  void *view_ = nullptr;
  std::size_t size_ = 0;
  std::intptr_t handle_ = -1;
};
