// The shared PIN cache ZOLTACSP as the program that owns it makes it: created with a size,
// removed again at the end.
#pragma once

#include <cstddef>
#include <cstdint>

class SharedPin {
 public:
  explicit SharedPin(std::size_t size);
  ~SharedPin();
  SharedPin(const SharedPin &) = delete;
  SharedPin &operator=(const SharedPin &) = delete;

  bool IsOpen() const { return view_ != nullptr; }
  char *Text() { return static_cast<char *>(view_); }

 private:
  void *view_ = nullptr;
  std::size_t size_ = 0;
  std::intptr_t handle_ = -1;
};
