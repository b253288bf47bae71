// The command set as data: one row per command, one function that lays a command out.
#pragma once

#include <cstdint>
#include <span>

#include "skf/card/readerio_api.h"

enum class Form : std::uint8_t {
  kLe,         // CLA INS P1 P2 Le
  kData,       // CLA INS P1 P2 Lc data
  kDataLe,     // CLA INS P1 P2 Lc data Le
  kExtLe,      // CLA INS P1 P2 00 LeH LeL
  kExtData,    // CLA INS P1 P2 00 LcH LcL data
  kExtDataLe,  // CLA INS P1 P2 00 LcH LcL data LeH LeL
};

struct Command {
  std::uint8_t cla, ins, p1, p2;
  Form form;
  bool reverse_data;      // data sent last byte first
  bool reverse_response;  // answer reversed in place
};

// What one builder sends: its row with the call's parameters filled in.
struct Apdu {
  Command command;
  std::span<const std::uint8_t> data;
  std::uint32_t le;
};

inline constexpr std::size_t kShortDataMax = 255;
inline constexpr std::size_t kShortLeMax = 255;
inline constexpr std::size_t kCommandBufferSize = 2048;  // extended commands included

// Lays `apdu` into `out`; its length, or -1 when the data or Le do not fit the form or `out`.
int LayOutCommand(const Apdu &apdu, std::span<std::uint8_t> out);

// Lays out and sends `apdu` through the transport, reversing the answer when the row says so.
// -300 without sending when it cannot be laid out.
int SendCommand(DEVHANDLE device, const Apdu &apdu, std::span<std::uint8_t> response,
                std::uint16_t *status);

// Row helpers: the same command with P1 and/or P2 taken from the call.
constexpr Command WithP1(Command c, std::uint8_t p1) {
  c.p1 = p1;
  return c;
}
constexpr Command WithP2(Command c, std::uint8_t p2) {
  c.p2 = p2;
  return c;
}
constexpr Command WithP1P2(Command c, std::uint8_t p1, std::uint8_t p2) {
  c.p1 = p1;
  c.p2 = p2;
  return c;
}
constexpr Command WithCla(Command c, std::uint8_t cla) {
  c.cla = cla;
  return c;
}
