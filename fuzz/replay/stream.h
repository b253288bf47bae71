// The replay stream of the fuzz targets: chunks of a u16 big-endian length and that many bytes.
// The first chunk is the answer-to-reset, each later one a whole card answer with its status
// word. A length that runs past the end ends the stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace replay {

using Chunk = std::span<const std::uint8_t>;

class Stream {
 public:
  Stream() = default;
  explicit Stream(std::span<const std::uint8_t> bytes) : rest_(bytes) {}
  // The next chunk, or nullopt once the stream is exhausted.
  std::optional<Chunk> Next();
  bool Exhausted() const { return rest_.size() < kLengthSize; }

 private:
  static constexpr std::size_t kLengthSize = 2;
  std::span<const std::uint8_t> rest_;
};

// Appends one chunk (at most 65535 bytes; longer data is cut) to `out`.
void AppendChunk(std::vector<std::uint8_t> &out, std::span<const std::uint8_t> chunk);

}  // namespace replay
