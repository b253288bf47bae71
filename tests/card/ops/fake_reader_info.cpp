// Reader information of the test readerio for the card operation tests: status and M set by
// the test, and whether the record is written at all.
#include <cstdint>

#include "readerio.h"

#if defined(_WIN32)
#define FAKE_EXPORT extern "C"
#else
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

struct ReaderInfoState {
  std::uint32_t sw = 0x9000;
  std::uint32_t max_data = 0;
  bool write = false;
  std::uint32_t calls = 0;
};

ReaderInfoState info;

}  // namespace

FAKE_EXPORT void FakeReaderio_SetReaderInfo(std::uint32_t sw, std::uint32_t max_data, int write) {
  info = ReaderInfoState{sw, max_data, write != 0, 0};
}

FAKE_EXPORT std::uint32_t FakeReaderio_ReaderInfoCalls() { return info.calls; }

std::uint32_t READERIO_API QX_GetReaderInfo(QX_DEVHANDLE, QX_READER_INFO *record) {
  ++info.calls;
  // A reader that checks the record's size, as readerio does.
  if (!record || record->cbSize != sizeof(QX_READER_INFO)) return READERIO_SW_BAD_ARGS;
  if (info.write) record->dwMaxDataLength = info.max_data;
  return info.sw;
}
