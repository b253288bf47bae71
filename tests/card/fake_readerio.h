// Control interface of the test readerio: scripted answers and a log of what was sent.
#pragma once

#include <cstdint>

extern "C" {
typedef void (*FakeReaderio_Reset_t)();
// `names` is the names one after another, each ended by a NUL; `null_list` makes the list NULL.
typedef void (*FakeReaderio_SetReaders_t)(const char *names, std::uint32_t count, int null_list);
typedef void (*FakeReaderio_SetAtr_t)(const std::uint8_t *atr, std::uint16_t length,
                                      std::uint32_t sw);
typedef void (*FakeReaderio_SetDescriptor_t)(const char *text, std::uint32_t sw);
typedef void (*FakeReaderio_SetOpenStatus_t)(std::uint32_t sw);
// One answer to the next unanswered exchange; the default answers when none is queued.
typedef void (*FakeReaderio_Queue_t)(const std::uint8_t *data, std::uint32_t length,
                                     std::uint32_t sw);
typedef void (*FakeReaderio_SetDefault_t)(const std::uint8_t *data, std::uint32_t length,
                                          std::uint32_t sw);
typedef std::uint32_t (*FakeReaderio_SentCount_t)();
typedef std::uint32_t (*FakeReaderio_Sent_t)(std::uint32_t index, std::uint8_t *out,
                                             std::uint32_t capacity);
typedef std::uint32_t (*FakeReaderio_ClosedCount_t)();
}

// The device handle the fake hands out.
inline void *const kFakeDevice = reinterpret_cast<void *>(0x5A5A);
