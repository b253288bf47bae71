// Heap buffers that report a failed allocation instead of throwing and clear what they held
// when they go.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>

#include "skf/card/secure_zero.h"

// A zeroed buffer, cleared whole.
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

// Room for card answers, far larger than most answers: not zeroed, since only bytes an answer
// filled are read, and only those (the longest answer it held) are cleared.
class AnswerRoom {
 public:
  explicit AnswerRoom(std::size_t n) : bytes_(new (std::nothrow) std::uint8_t[n ? n : 1]) {
    if (bytes_) size_ = n;
  }
  AnswerRoom(const AnswerRoom &) = delete;
  AnswerRoom &operator=(const AnswerRoom &) = delete;
  ~AnswerRoom() {
    if (bytes_) SecureZero(bytes_.get(), filled_);
  }
  bool ok() const { return bytes_ != nullptr; }
  std::uint8_t *data() const { return bytes_.get(); }
  std::span<std::uint8_t> span() const { return {bytes_.get(), size_}; }
  // An answer wrote the first n bytes.
  void Filled(std::size_t n) { filled_ = std::max(filled_, std::min(n, size_)); }

 private:
  std::unique_ptr<std::uint8_t[]> bytes_;
  std::size_t size_ = 0;
  std::size_t filled_ = 0;
};
