#include "fuzz/replay/replay_reader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "apdu_shape.h"
#include "fuzz/replay/stream.h"
#include "skf/card/binding.h"

namespace replay {

namespace {

constexpr std::uint16_t kNotSupported = 0x6D00;
constexpr std::size_t kStatusSize = 2;
constexpr std::size_t kMaxListed = 4;
constexpr std::uint32_t kMaxDataLength = 1024;
// The virtual key's descriptor layout: name "REPLAY", NUL, serial 20261210 (least significant
// byte first), two more bytes.
constexpr char kDescriptor[] = "5245504C4159005A2A35010000";

struct State {
  Stream stream;
  Chunk atr;
  ReaderList list = ReaderList::fixed;
  bool listed_last = false;  // what the last list call of an exhausted stream reported
  int module_marker = 0;
};
State state;

QX_DEVHANDLE OpenHandle() { return &state; }

char **NewList(std::span<const std::span<const char>> names, std::uint32_t *count) {
  const std::size_t n = names.size();
  auto *block = static_cast<char *>(std::calloc(1, n * sizeof(char *) + n * READERIO_NAME_SLOT));
  if (!block) return nullptr;
  char **list = reinterpret_cast<char **>(block);
  char *slots = block + n * sizeof(char *);
  for (std::size_t i = 0; i < n; ++i) {
    list[i] = slots + i * READERIO_NAME_SLOT;
    std::memcpy(list[i], names[i].data(),
                std::min<std::size_t>(names[i].size(), READERIO_MAX_NAME));
  }
  *count = static_cast<std::uint32_t>(n);
  return list;
}

char **READERIO_API GetReaderList(std::uint32_t *count, int) {
  if (!count) return nullptr;
  *count = 0;
  std::span<const char> names[kMaxListed];
  std::size_t n = 0;
  if (state.list == ReaderList::fixed) {
    names[n++] = {kReaderName, sizeof kReaderName - 1};
  } else if (const auto chunk = state.stream.Next()) {
    const char *text = reinterpret_cast<const char *>(chunk->data());
    std::size_t at = 0;
    while (at < chunk->size() && n < kMaxListed) {
      const std::size_t end = std::find(text + at, text + chunk->size(), '\0') - text;
      if (end > at) names[n++] = {text + at, end - at};
      at = end + 1;
    }
  } else {
    // Every wait ends: the list keeps changing.
    state.listed_last = !state.listed_last;
    if (state.listed_last) names[n++] = {kReaderName, sizeof kReaderName - 1};
  }
  return n ? NewList({names, n}, count) : nullptr;
}

std::uint32_t READERIO_API DestroyReaderList(char **list) {
  std::free(list);
  return READERIO_SW_OK;
}

std::uint32_t READERIO_API ResetCard(QX_DEVHANDLE handle, std::uint8_t *atr, std::uint16_t *length,
                                     int) {
  if (handle != OpenHandle() || !atr || !length) return READERIO_SW_BAD_ARGS;
  if (state.atr.size() > READERIO_ATR_MAX) return READERIO_SW_TOO_LONG;
  std::memcpy(atr, state.atr.data(), state.atr.size());
  *length = static_cast<std::uint16_t>(state.atr.size());
  return READERIO_SW_OK;
}

std::uint32_t READERIO_API GetDescriptor(QX_DEVHANDLE handle, char *text) {
  if (handle != OpenHandle() || !text) return READERIO_SW_BAD_ARGS;
  std::memcpy(text, kDescriptor, sizeof kDescriptor);
  return READERIO_SW_OK;
}

std::uint32_t READERIO_API NotProvided() { return READERIO_SW_UNSUPPORTED; }

std::uint32_t READERIO_API ClosePort(QX_DEVHANDLE handle) {
  return handle == OpenHandle() ? READERIO_SW_OK : READERIO_SW_BAD_HANDLE;
}

std::uint32_t READERIO_API ApduT0(QX_DEVHANDLE handle, const std::uint8_t *command,
                                  std::uint32_t command_length, std::uint8_t *response,
                                  std::uint16_t *response_length, int) {
  if (handle != OpenHandle()) return READERIO_SW_BAD_HANDLE;
  if (!command || !response || !response_length || command_length > READERIO_MAX_COMMAND) {
    return READERIO_SW_BAD_ARGS;
  }
  *response_length = 0;
  const auto chunk = state.stream.Next();
  if (!chunk) return kNotSupported;
  if (chunk->size() < kStatusSize) return READERIO_SW_COMM;
  const std::size_t asked = readerio::expected_length({command, command_length});
  const std::size_t n = std::min(chunk->size() - kStatusSize, asked);
  std::memcpy(response, chunk->data(), n);
  *response_length = static_cast<std::uint16_t>(n);
  return std::uint32_t{(*chunk)[chunk->size() - 2]} << 8 | (*chunk)[chunk->size() - 1];
}

std::uint32_t READERIO_API OpenPath(const char *reader_name, QX_DEVHANDLE *handle) {
  if (!reader_name || !handle) return READERIO_SW_BAD_ARGS;
  if (std::strcmp(reader_name, kReaderName) != 0) return READERIO_SW_NO_READER;
  *handle = OpenHandle();
  return READERIO_SW_OK;
}

std::uint32_t READERIO_API GetReaderInfo(QX_DEVHANDLE handle, QX_READER_INFO *info) {
  if (handle != OpenHandle() || !info) return READERIO_SW_BAD_ARGS;
  if (info->cbSize < offsetof(QX_READER_INFO, dwMaxDataLength) + sizeof info->dwMaxDataLength) {
    return READERIO_SW_BAD_ARGS;
  }
  info->dwMaxDataLength = kMaxDataLength;
  return READERIO_SW_OK;
}

struct Named {
  const char *name;
  void *function;
};
const Named kFunctions[] = {
    {"QX_GetReaderList", reinterpret_cast<void *>(GetReaderList)},
    {"QX_DestroyReaderList", reinterpret_cast<void *>(DestroyReaderList)},
    {"QX_ResetCard", reinterpret_cast<void *>(ResetCard)},
    {"QX_GetDescriptor", reinterpret_cast<void *>(GetDescriptor)},
    {"QX_OpenPort", reinterpret_cast<void *>(NotProvided)},
    {"QX_ClosePort", reinterpret_cast<void *>(ClosePort)},
    {"QX_ApduT0", reinterpret_cast<void *>(ApduT0)},
    {"QX_GetDeviceName", reinterpret_cast<void *>(NotProvided)},
    {"QX_OpenPath", reinterpret_cast<void *>(OpenPath)},
    {"QX_GetReaderInfo", reinterpret_cast<void *>(GetReaderInfo)},
};

template <typename Fn>
void Bind(const char *name, Fn &slot) {
  slot = reinterpret_cast<Fn>(Function(name));
}

}  // namespace

void *Function(const char *name) {
  for (const Named &f : kFunctions) {
    if (std::strcmp(f.name, name) == 0) return f.function;
  }
  return nullptr;
}

void Install(std::span<const std::uint8_t> stream, ReaderList list) {
  state.stream = Stream(stream);
  state.atr = state.stream.Next().value_or(Chunk{});
  state.list = list;
  state.listed_last = false;
  ReaderApi.module = &state.module_marker;
  Bind("QX_GetReaderList", ReaderApi.QX_GetReaderList);
  Bind("QX_DestroyReaderList", ReaderApi.QX_DestroyReaderList);
  Bind("QX_ResetCard", ReaderApi.QX_ResetCard);
  Bind("QX_GetDescriptor", ReaderApi.QX_GetDescriptor);
  Bind("QX_OpenPort", ReaderApi.QX_OpenPort);
  Bind("QX_ClosePort", ReaderApi.QX_ClosePort);
  Bind("QX_ApduT0", ReaderApi.QX_ApduT0);
  Bind("QX_GetDeviceName", ReaderApi.QX_GetDeviceName);
  Bind("QX_OpenPath", ReaderApi.QX_OpenPath);
  Bind("QX_GetReaderInfo", ReaderApi.QX_GetReaderInfo);
}

std::span<const std::uint8_t> AnswerToReset() { return state.atr; }

}  // namespace replay
