// Hot loops of the digests are compiled twice on x86-64 ELF systems: for the baseline
// instruction set and for x86-64-v3 (AVX2, BMI2: non-destructive rotations). The loader
// picks the copy the processor runs. Elsewhere (and with clang) the baseline copy is the
// only one.
#pragma once

#if defined(__x86_64__) && defined(__ELF__) && defined(__GNUC__) && !defined(__clang__)
#define CRYPTO_CPU_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define CRYPTO_CPU_CLONES
#endif
