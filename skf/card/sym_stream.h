// Multi-part symmetric encryption: the four stream card functions over whole 16-byte blocks,
// and the Update and Final steps that buffer a caller's data on a stream state.
#pragma once

#include <cstdint>
#include <span>

#include "skf/card/readerio_api.h"

inline constexpr int kStreamKeySize = 256;
inline constexpr int kStreamIvSize = 32;
inline constexpr int kStreamPendingSize = 32;

// The stream fields of a session key record. A zeroed record is a new key.
struct SymStreamState {
  std::uint32_t dwAlgID;
  std::uint32_t bPadding;
  std::uint8_t Key[kStreamKeySize];  // the first 16 bytes go with every command
  std::uint32_t IVLen;
  std::uint8_t IV[kStreamIvSize];
  std::uint32_t PendingLen;
  std::uint32_t Finished;
  std::uint8_t Pending[kStreamPendingSize];
  DEVHANDLE hDev;
};

// Results of the Update and Final steps.
inline constexpr int kStreamOk = 0;
inline constexpr int kStreamFail = -1;
inline constexpr int kStreamNoDevice = -2;        // the record's device handle is 0
inline constexpr int kStreamBufferTooSmall = -3;  // needed length stored, nothing changed

// Card functions: each sends the probe and the reader query first, then with extended commands
// pieces of the piece size, else short commands (ECB pieces of 112 bytes; CBC one block per
// ECB command, chained on the host). 0 or -1; *out_length is the bytes written.
// `out` NULL (data pointer) is refused, except by QX_StreamDecryptEcb: the length, 0.
int QX_StreamEncryptEcb(DEVHANDLE device, const std::uint8_t key[16],
                        std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                        int *out_length, std::uint8_t card_mode);
int QX_StreamDecryptEcb(DEVHANDLE device, const std::uint8_t key[16],
                        std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                        int *out_length, std::uint8_t card_mode);
// `iv` is only read.
int QX_StreamEncryptCbc(DEVHANDLE device, const std::uint8_t key[16], const std::uint8_t iv[16],
                        std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                        int *out_length, std::uint8_t card_mode);
// `iv` receives the last ciphertext block on success.
int QX_StreamDecryptCbc(DEVHANDLE device, const std::uint8_t key[16], std::uint8_t iv[16],
                        std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                        int *out_length, std::uint8_t card_mode);

// Update and Final steps. `out` with a NULL data pointer asks for the length. A non-NULL `out`
// smaller than the result gives kStreamBufferTooSmall with the length stored and the state
// unchanged.
int StreamEncryptUpdate(SymStreamState &s, std::span<const std::uint8_t> in,
                        std::span<std::uint8_t> out, std::uint32_t *out_length);
int StreamEncryptFinal(SymStreamState &s, std::span<std::uint8_t> out, std::uint32_t *out_length);
int StreamDecryptUpdate(SymStreamState &s, std::span<const std::uint8_t> in,
                        std::span<std::uint8_t> out, std::uint32_t *out_length);
int StreamDecryptFinal(SymStreamState &s, std::span<std::uint8_t> out, std::uint32_t *out_length);
