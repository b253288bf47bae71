// Fixture of the card operation tests: the test readerio with a settable reader information
// answer, and helpers that lay out the expected commands.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "../card_fixture.h"

using ByteVec = std::vector<std::uint8_t>;

class OpsTest : public CardTest {
 protected:
  void SetUp() override;
  // The next reader queries answer `sw`; with `write` they store `max_data` as M.
  void ReaderInfo(std::uint32_t sw, std::uint32_t max_data, bool write);
  // A readerio that reports M = `max_data` and a probe that will be answered 9000.
  void Extended(std::uint32_t max_data) { ReaderInfo(0x9000, max_data, true); }
  std::uint32_t ReaderInfoCalls();
  // Every command sent since SetUp, as bytes.
  std::vector<ByteVec> SentBytes();
  void AnswerOk(const ByteVec &data) { AnswerBytes(data, 0x9000); }
};

ByteVec Cat(std::initializer_list<ByteVec> parts);
ByteVec Fill(std::size_t n, std::uint8_t value);
// 0, 1, 2, ... from `start`.
ByteVec Counting(std::size_t n, std::uint8_t start = 0);
inline constexpr char kProbeHex[] =
    "80 F3 00 00 00 00 20 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
    "00 00 00 00 00 00 00 00 00 00 10";
