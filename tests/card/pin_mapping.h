// The shared PIN cache (or another named mapping) as another program makes it: created with a
// size, removed at the end.
#pragma once

#include <cstddef>
#include <cstdint>

#include "skf/card/pin_cache.h"

class PinMapping {
 public:
  explicit PinMapping(std::size_t size, const char *name = kPinCacheName);
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
  const char *name_;
};
