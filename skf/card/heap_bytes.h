// A zeroed heap buffer that reports a failed allocation instead of throwing, and clears its
// bytes when it goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>

#include "skf/card/secure_zero.h"

struct HeapBytes {
  std::unique_ptr<std::uint8_t[]> bytes;
  std::size_t size = 0;

  explicit HeapBytes(std::size_t n) : bytes(new (std::nothrow) std::uint8_t[n ? n : 1]()) {
    if (bytes) size = n;
  }
  HeapBytes(const HeapBytes &) = delete;
  HeapBytes &operator=(const HeapBytes &) = delete;
  ~HeapBytes() {
    if (bytes) SecureZero(bytes.get(), size);
  }
  bool ok() const { return bytes != nullptr; }
  std::uint8_t *data() const { return bytes.get(); }
  std::span<std::uint8_t> span() const { return {bytes.get(), size}; }
};
