// Four 32-bit lanes on GCC vector extensions (clang reads them too), for the digests'
// message schedules: SIMD instructions where the target has them, integer code elsewhere.
#pragma once

#include <cstdint>
#include <cstring>

// Without a vector unit GCC notes that vector arguments change the calling convention;
// these helpers are internal and always inlined, so no call passes one.
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace vec4 {

using V4 = uint32_t __attribute__((vector_size(16)));

[[gnu::always_inline]] inline V4 Load(const uint32_t *p) {
  V4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

[[gnu::always_inline]] inline void Store(uint32_t *p, V4 v) { std::memcpy(p, &v, sizeof v); }

[[gnu::always_inline]] inline V4 Rotl(V4 x, int n) { return (x << n) | (x >> (32 - n)); }
[[gnu::always_inline]] inline V4 Rotr(V4 x, int n) { return (x >> n) | (x << (32 - n)); }

// Hides where p points. Words stored from vectors and read back through the result are
// loaded from memory as operands of the scalar additions, which is cheaper than moving
// each lane out of its vector register.
template <typename T>
[[gnu::always_inline]] inline T *Opaque(T *p) {
  __asm__("" : "+r"(p));
  return p;
}

}  // namespace vec4
