#include "fuzz/replay/stream.h"

#include <algorithm>

namespace replay {

std::optional<Chunk> Stream::Next() {
  if (Exhausted()) return std::nullopt;
  const std::size_t n = std::size_t{rest_[0]} << 8 | rest_[1];
  if (kLengthSize + n > rest_.size()) {
    rest_ = {};
    return std::nullopt;
  }
  const Chunk chunk = rest_.subspan(kLengthSize, n);
  rest_ = rest_.subspan(kLengthSize + n);
  return chunk;
}

void AppendChunk(std::vector<std::uint8_t> &out, std::span<const std::uint8_t> chunk) {
  const std::size_t n = std::min<std::size_t>(chunk.size(), 0xFFFF);
  out.push_back(static_cast<std::uint8_t>(n >> 8));
  out.push_back(static_cast<std::uint8_t>(n));
  out.insert(out.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
}

}  // namespace replay
