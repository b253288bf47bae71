// Reader list, device open and close, answer-to-reset, descriptor and card serial text.
#pragma once

#include <cstdint>
#include <span>

#include "skf/card/readerio_api.h"

inline constexpr int kCardFailed = -300;
inline constexpr std::size_t kReaderListSize = 256;  // the joined list is bounded to this
inline constexpr std::size_t kAtrSize = 32;
inline constexpr std::size_t kDescriptorSize = 32;
inline constexpr std::size_t kDescriptorTextMax = 64;
inline constexpr std::size_t kSerialTextSize = 9;

// Joins the reader names, each ended by a NUL (no final extra NUL); whole names only, at most
// kReaderListSize bytes. `names` may be empty to learn the length. 0 on success; -1 when
// readerio cannot be bound or `names` is non-empty and shorter than the list (length stored).
int QX_EnumReaderNames(int unused, std::span<char> names, std::uint32_t *length);
// The device handle, or nullptr on any failure.
DEVHANDLE QX_OpenByPath(const char *reader_name);
// Closes an open device; always 0.
int QX_Close(DEVHANDLE device);
// 0 and the answer-to-reset in `answer` (kAtrSize bytes); -300 on failure or a NULL output.
int QX_ResetCardAtr(DEVHANDLE device, std::uint8_t *answer);
// 0 and the decoded descriptor in `descriptor` (kDescriptorSize bytes); -300 on failure.
int QX_ReadDescriptor(DEVHANDLE device, std::uint8_t *descriptor);
// 0 and the 8-character serial text and its NUL in `serial` (kSerialTextSize bytes).
int QX_GET_BCDSN(DEVHANDLE device, char *serial);

// Writes the number (1 to 4 bytes, least significant first) as packed decimal digits into
// `out`, right-aligned; 0, or -300 for a bad number length or an empty output.
int NumberToBcd(std::span<const std::uint8_t> number, std::span<std::uint8_t> out);
// Two upper-case hexadecimal characters a byte and a NUL; returns 2 x bytes.size(), or -1 when
// `text` cannot hold them.
int ToUpperHex(std::span<const std::uint8_t> bytes, std::span<char> text);

// The trace sink; does nothing.
void LogTrace(const char *format, ...);
