// A readerio for tests: scripted answers and a log of every command sent.
#include "fake_readerio.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "readerio.h"

#if defined(_WIN32)
#define FAKE_EXPORT extern "C"
#else
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

struct Answer {
  std::vector<std::uint8_t> data;
  std::uint32_t sw = 0x9000;
};

struct State {
  std::vector<std::string> names;
  std::uint32_t count = 0;
  bool null_list = true;
  std::vector<std::uint8_t> atr;
  std::uint32_t atr_sw = 0x9000;
  std::string descriptor;
  std::uint32_t descriptor_sw = 0x9000;
  std::uint32_t open_sw = 0x9000;
  std::deque<Answer> queued;
  Answer fallback;
  std::vector<std::vector<std::uint8_t>> sent;
  std::uint32_t closed = 0;
};

State &S() {
  static State state;
  return state;
}

std::vector<char> slots;
std::vector<char *> pointers;

}  // namespace

FAKE_EXPORT void FakeReaderio_Reset() { S() = State{}; }

FAKE_EXPORT void FakeReaderio_SetReaders(const char *names, std::uint32_t count, int null_list) {
  S().names.clear();
  for (std::uint32_t i = 0; names && i < count; ++i) {
    S().names.emplace_back(names);
    names += S().names.back().size() + 1;
  }
  S().count = count;
  S().null_list = null_list != 0;
}

FAKE_EXPORT void FakeReaderio_SetAtr(const std::uint8_t *atr, std::uint16_t length,
                                     std::uint32_t sw) {
  S().atr.assign(atr, atr + length);
  S().atr_sw = sw;
}

FAKE_EXPORT void FakeReaderio_SetDescriptor(const char *text, std::uint32_t sw) {
  S().descriptor = text;
  S().descriptor_sw = sw;
}

FAKE_EXPORT void FakeReaderio_SetOpenStatus(std::uint32_t sw) { S().open_sw = sw; }

FAKE_EXPORT void FakeReaderio_Queue(const std::uint8_t *data, std::uint32_t length,
                                    std::uint32_t sw) {
  S().queued.push_back({std::vector<std::uint8_t>(data, data + length), sw});
}

FAKE_EXPORT void FakeReaderio_SetDefault(const std::uint8_t *data, std::uint32_t length,
                                         std::uint32_t sw) {
  S().fallback = {std::vector<std::uint8_t>(data, data + length), sw};
}

FAKE_EXPORT std::uint32_t FakeReaderio_SentCount() {
  return static_cast<std::uint32_t>(S().sent.size());
}

FAKE_EXPORT std::uint32_t FakeReaderio_Sent(std::uint32_t index, std::uint8_t *out,
                                            std::uint32_t capacity) {
  if (index >= S().sent.size()) return 0;
  const auto &c = S().sent[index];
  const std::uint32_t n = static_cast<std::uint32_t>(c.size());
  if (n) std::memcpy(out, c.data(), n < capacity ? n : capacity);
  return n;
}

FAKE_EXPORT std::uint32_t FakeReaderio_ClosedCount() { return S().closed; }

// The ten readerio entry points.

char **READERIO_API QX_GetReaderList(std::uint32_t *count, int) {
  *count = S().count;
  if (S().null_list) return nullptr;
  slots.assign(S().names.size() * READERIO_NAME_SLOT + 1, '\0');
  pointers.clear();
  for (std::size_t i = 0; i < S().names.size(); ++i) {
    char *slot = slots.data() + i * READERIO_NAME_SLOT;
    std::memcpy(
        slot, S().names[i].data(),
        S().names[i].size() < READERIO_NAME_SLOT ? S().names[i].size() : READERIO_NAME_SLOT);
    pointers.push_back(slot);
  }
  pointers.push_back(nullptr);
  return pointers.data();
}

std::uint32_t READERIO_API QX_DestroyReaderList(char **) { return 0; }

std::uint32_t READERIO_API QX_ResetCard(QX_DEVHANDLE, std::uint8_t *atr, std::uint16_t *length,
                                        int) {
  if (S().atr_sw == 0x9000) {
    if (!S().atr.empty())
      std::memcpy(atr, S().atr.data(), S().atr.size() < 32 ? S().atr.size() : 32);
    *length = static_cast<std::uint16_t>(S().atr.size());
  }
  return S().atr_sw;
}

std::uint32_t READERIO_API QX_GetDescriptor(QX_DEVHANDLE, char *text) {
  std::memcpy(text, S().descriptor.c_str(), S().descriptor.size() + 1);
  return S().descriptor_sw;
}

std::uint32_t READERIO_API QX_OpenPort() { return READERIO_SW_UNSUPPORTED; }

std::uint32_t READERIO_API QX_ClosePort(QX_DEVHANDLE) {
  ++S().closed;
  return 0x9000;
}

std::uint32_t READERIO_API QX_ApduT0(QX_DEVHANDLE, const std::uint8_t *command,
                                     std::uint32_t command_length, std::uint8_t *response,
                                     std::uint16_t *response_length, int) {
  S().sent.emplace_back(command, command + command_length);
  Answer a = S().fallback;
  if (!S().queued.empty()) {
    a = std::move(S().queued.front());
    S().queued.pop_front();
  }
  if (!a.data.empty()) std::memcpy(response, a.data.data(), a.data.size());
  *response_length = static_cast<std::uint16_t>(a.data.size());
  // An answer served is cleared: tests look for secrets the library left in freed memory.
  std::fill(a.data.begin(), a.data.end(), std::uint8_t{0});
  return a.sw;
}

std::uint32_t READERIO_API QX_GetDeviceName() { return READERIO_SW_UNSUPPORTED; }

std::uint32_t READERIO_API QX_OpenPath(const char *, QX_DEVHANDLE *handle) {
  if (S().open_sw == 0x9000) *handle = kFakeDevice;
  return S().open_sw;
}

#if !defined(FAKE_WITHOUT_READER_INFO)
std::uint32_t READERIO_API QX_GetReaderInfo(QX_DEVHANDLE, QX_READER_INFO *) { return 0x9000; }
#endif
