// Windows: record sizes that the 32-bit build is written against. They hold on i686; the
// x86-64 build takes the platform's own sizes of the same records.
#pragma once

#include <cstddef>

// For static_assert: `actual` is `on_i686` wherever pointers have 32 bits.
constexpr bool IsI686Size(std::size_t actual, std::size_t on_i686) {
  return sizeof(void *) != 4 || actual == on_i686;
}
