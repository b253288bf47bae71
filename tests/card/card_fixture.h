// Shared test fixture: the test readerio beside the test program, bound through the real
// binding path, with helpers to script answers and read back the commands sent.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fake_readerio.h"
#include "skf/card/readerio_api.h"

struct FakeControls {
  FakeReaderio_Reset_t Reset;
  FakeReaderio_SetReaders_t SetReaders;
  FakeReaderio_SetAtr_t SetAtr;
  FakeReaderio_SetDescriptor_t SetDescriptor;
  FakeReaderio_SetOpenStatus_t SetOpenStatus;
  FakeReaderio_Queue_t Queue;
  FakeReaderio_SetDefault_t SetDefault;
  FakeReaderio_SentCount_t SentCount;
  FakeReaderio_Sent_t Sent;
  FakeReaderio_ClosedCount_t ClosedCount;
};

// The controls of the readerio at ReaderLibPath (loaded once, kept loaded).
const FakeControls &Fake();

// The folder of the test program, with a trailing separator.
std::string TestFolder();

// "00 A4 00 00" <-> bytes.
std::vector<std::uint8_t> FromHex(const std::string &hex);
std::string ToHex(const std::vector<std::uint8_t> &bytes);

class CardTest : public ::testing::Test {
 protected:
  void SetUp() override;
  // Queues one answer: data as hex text and the status word.
  void Answer(const std::string &hex, std::uint32_t sw = 0x9000);
  void AnswerBytes(const std::vector<std::uint8_t> &data, std::uint32_t sw = 0x9000);
  // Every command sent since SetUp, as hex text.
  std::vector<std::string> Sent();

  DEVHANDLE device_ = kFakeDevice;
};
