// Clearing of secrets in stack buffers, kept by the optimiser.
#pragma once

#include <cstddef>

inline void SecureZero(void *data, std::size_t size) {
  volatile unsigned char *p = static_cast<volatile unsigned char *>(data);
  while (size--) *p++ = 0;
}
