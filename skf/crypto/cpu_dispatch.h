// Hot loops of the digests are compiled twice on x86-64 ELF systems: for the baseline
// instruction set and for x86-64-v3 (AVX2, BMI2: non-destructive rotations). The loader
// picks the copy the processor runs. Elsewhere (and with clang) the baseline copy is the
// only one, as with ThreadSanitizer, whose instrumented resolvers would run before its runtime.
#pragma once

#if defined(__x86_64__) && defined(__ELF__) && defined(__GNUC__) && !defined(__clang__) && \
    !defined(__SANITIZE_THREAD__)
#define CRYPTO_CPU_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
// A third copy for x86-64-v4, where AVX-512VL makes a vector rotation one instruction and a
// three-input logic function another, which shortens SM3's message schedule.
#define CRYPTO_CPU_CLONES_V4 \
  __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#else
#define CRYPTO_CPU_CLONES
#define CRYPTO_CPU_CLONES_V4
#endif
