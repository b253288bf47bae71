// Decryption with a container's RSA or SM2 private key, shared by the decrypt exports: each
// export checks its own arguments and then calls one of these.
#pragma once

#include "skf.h"
#include "skf/api/key_gate.h"
#include "skf/api/state.h"

inline constexpr ULONG kSigningKeySpec = 2;  // dwKeySpec / ulUsage of the signing key
inline constexpr ULONG kRsaCipherMax = 256;  // a 2048-bit ciphertext
// The extra byte that some exports add to the length reported for a NULL output.
inline constexpr ULONG kLengthQueryExtra = 1;

enum class RsaUnpad { none, type2 };

// The handle, the input (NULL only with length 0, at most 256 bytes) and the output length.
ULONG CheckRsaDecryptArguments(const ContainerHandle *container, const BYTE *input,
                               ULONG input_length, const ULONG *out_length);
// Everything after the handle checks: preamble, key type (SM2 refused), PIN step, the card's
// private-key operation on the input copied into a zeroed 512-byte buffer, the output.
ULONG DecryptWithRsaContainer(const ContainerHandle &container, bool signing, const BYTE *input,
                              ULONG input_length, BYTE *out, ULONG *out_length, SharedSlot shared,
                              RsaUnpad unpad, ULONG extra_for_null);

// The DEVHANDLE, the blob and the output length, and the blob's C2 length. `container` is not
// NULL.
ULONG CheckEccDecryptArguments(const ContainerHandle *container, const ECCCIPHERBLOB *blob,
                               const ULONG *out_length);
// Preamble, key type (only SM2), the PIN from the process's slots only, the card's decryption
// with the signing (key spec 2) or encryption key, the output.
ULONG DecryptWithEccContainer(const ContainerHandle &container, ULONG key_spec,
                              const ECCCIPHERBLOB &blob, BYTE *out, ULONG *out_length,
                              ULONG extra_for_null);
