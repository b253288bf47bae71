// The ten readerio exports. No exception leaves them but a cancelled thread's unwind
// (platform/os/cancel.h).
#include <cstdlib>
#include <cstring>
#include <new>

#include "apdu_shape.h"
#include "backends.h"
#include "descriptor.h"
#include "platform/os/cancel.h"
#include "readerio.h"

#ifdef _WIN32
#define RIO_EXPORT
#else
#define RIO_EXPORT __attribute__((visibility("default")))
#endif

using namespace readerio;

namespace {

// Runs op on the handle's record under its lock; an unknown handle is refused. A cancellation
// point: a cancelled thread ends here rather than send one more command.
template <class F>
uint32_t with_device(QX_DEVHANDLE handle, F op) {
  return os::Guarded<uint32_t>(READERIO_SW_COMM, [&]() -> uint32_t {
    os::CancellationPoint();
    std::shared_ptr<Device> dev = find_device(handle);
    if (!dev) return READERIO_SW_BAD_HANDLE;
    std::lock_guard g(dev->lock);
    return op(*dev);
  });
}

bool is_keysim(const Device &dev) { return dev.backend == Backend::keysim; }

}  // namespace

extern "C" {

RIO_EXPORT char **READERIO_API QX_GetReaderList(uint32_t *count, int) {
  if (!count) return nullptr;
  *count = 0;
  return os::Guarded<char **>(nullptr, [&]() -> char ** {
    std::vector<std::string> names;
    pcsc_list(names);
    keysim_list(names);
    std::erase_if(names, [](const std::string &n) {
      return n.empty() || n.size() > READERIO_MAX_NAME || n.find('\0') != std::string::npos;
    });
    if (names.empty()) return nullptr;
    // One block: the pointer array, then the name slots.
    size_t n = names.size();
    size_t bytes = n * sizeof(char *) + n * READERIO_NAME_SLOT;
    auto *block = static_cast<char *>(std::calloc(1, bytes));
    if (!block) return nullptr;
    char **list = reinterpret_cast<char **>(block);
    char *slots = block + n * sizeof(char *);
    for (size_t i = 0; i < n; ++i) {
      list[i] = slots + i * READERIO_NAME_SLOT;
      std::memcpy(list[i], names[i].data(), names[i].size());
    }
    *count = uint32_t(n);
    return list;
  });
}

RIO_EXPORT uint32_t READERIO_API QX_DestroyReaderList(char **list) {
  std::free(list);
  return READERIO_SW_OK;
}

RIO_EXPORT uint32_t READERIO_API QX_OpenPath(const char *reader_name, QX_DEVHANDLE *handle) {
  if (!reader_name || !handle) return READERIO_SW_BAD_ARGS;
  *handle = nullptr;
  return os::Guarded<uint32_t>(READERIO_SW_COMM, [&]() -> uint32_t {
    std::string_view name(reader_name, strnlen(reader_name, READERIO_MAX_NAME + 1));
    if (name.empty() || name.size() > READERIO_MAX_NAME) return READERIO_SW_NO_READER;
    auto dev = std::make_shared<Device>();
    dev->reader = std::string(name);
    uint32_t st = keysim_reader(name) ? keysim_open(name, *dev) : pcsc_open(name, *dev);
    if (st != READERIO_SW_OK) return st;
    *handle = register_device(std::move(dev));
    return READERIO_SW_OK;
  });
}

RIO_EXPORT uint32_t READERIO_API QX_ClosePort(QX_DEVHANDLE handle) {
  return os::Guarded<uint32_t>(READERIO_SW_COMM, [&]() -> uint32_t {
    std::shared_ptr<Device> dev = release_device(handle);
    if (!dev) return READERIO_SW_BAD_HANDLE;
    std::lock_guard g(dev->lock);
    if (is_keysim(*dev))
      keysim_close(*dev);
    else
      pcsc_close(*dev);
    return READERIO_SW_OK;
  });
}

RIO_EXPORT uint32_t READERIO_API QX_ApduT0(QX_DEVHANDLE handle, const uint8_t *command,
                                           uint32_t command_length, uint8_t *response,
                                           uint16_t *response_length, int) {
  if (!command || !response || !response_length || command_length < 4 ||
      command_length > READERIO_MAX_COMMAND)
    return READERIO_SW_BAD_ARGS;
  return with_device(handle, [&](Device &dev) -> uint32_t {
    std::span<const uint8_t> cmd(command, command_length);
    Bytes data;
    uint16_t sw = 0;
    uint32_t st =
        is_keysim(dev) ? keysim_transmit(dev, cmd, data, sw) : pcsc_transmit(dev, cmd, data, sw);
    if (st != READERIO_SW_OK) return st;
    size_t n = std::min(data.size(), expected_length(cmd));
    if (n > 0xFFFF) return READERIO_SW_TOO_LONG;
    if (n) std::memcpy(response, data.data(), n);
    *response_length = uint16_t(n);
    return sw;
  });
}

RIO_EXPORT uint32_t READERIO_API QX_ResetCard(QX_DEVHANDLE handle, uint8_t *atr, uint16_t *length,
                                              int) {
  if (!atr || !length) return READERIO_SW_BAD_ARGS;
  return with_device(handle, [&](Device &dev) -> uint32_t {
    Bytes got;
    uint32_t st = is_keysim(dev) ? keysim_reset(dev, got) : pcsc_reset(dev, got);
    if (st != READERIO_SW_OK) return st;
    if (got.size() > READERIO_ATR_MAX) return READERIO_SW_TOO_LONG;
    if (!got.empty()) std::memcpy(atr, got.data(), got.size());
    *length = uint16_t(got.size());
    return READERIO_SW_OK;
  });
}

RIO_EXPORT uint32_t READERIO_API QX_GetDescriptor(QX_DEVHANDLE handle, char *text) {
  if (!text) return READERIO_SW_BAD_ARGS;
  return with_device(handle, [&](Device &dev) -> uint32_t {
    std::string got;
    uint32_t st = is_keysim(dev) ? keysim_descriptor(dev, got) : pcsc_descriptor(dev, got);
    if (st != READERIO_SW_OK) return st;
    if (!valid_descriptor(got)) return READERIO_SW_COMM;
    std::memcpy(text, got.c_str(), got.size() + 1);
    return READERIO_SW_OK;
  });
}

RIO_EXPORT uint32_t READERIO_API QX_GetReaderInfo(QX_DEVHANDLE handle, QX_READER_INFO *info) {
  if (!info || info->cbSize < offsetof(QX_READER_INFO, dwMaxDataLength) + 4)
    return READERIO_SW_BAD_ARGS;
  return with_device(handle, [&](Device &dev) -> uint32_t {
    uint32_t m = 0;
    uint32_t st = is_keysim(dev) ? keysim_max_data(dev, m) : pcsc_max_data(dev, m);
    if (st != READERIO_SW_OK) return st;
    // Every field lies below dwMaxDataLength's end, which cbSize covers.
    std::memset(info->szReaderName, 0, sizeof info->szReaderName);
    std::memcpy(info->szReaderName, dev.reader.data(),
                std::min(dev.reader.size(), sizeof info->szReaderName - 1));
    std::memset(info->szBackend, 0, sizeof info->szBackend);
    std::strcpy(info->szBackend, is_keysim(dev) ? "KEYSIM" : "PCSC");
    std::memset(info->szLocation, 0, sizeof info->szLocation);
    if (is_keysim(dev)) {
      const std::string &where = dev.keysim.address;
      std::memcpy(info->szLocation, where.data(),
                  std::min(where.size(), sizeof info->szLocation - 1));
    }
    info->dwFlags = is_keysim(dev) ? READERIO_INFO_VIRTUAL : 0;
    info->dwMaxDataLength = m;
    return READERIO_SW_OK;
  });
}

RIO_EXPORT uint32_t READERIO_API QX_OpenPort(void) { return READERIO_SW_UNSUPPORTED; }

RIO_EXPORT uint32_t READERIO_API QX_GetDeviceName(void) { return READERIO_SW_UNSUPPORTED; }

}  // extern "C"

static_assert(sizeof(QX_READER_INFO) == 512);
static_assert(offsetof(QX_READER_INFO, szBackend) == 260);
static_assert(offsetof(QX_READER_INFO, szLocation) == 276);
static_assert(offsetof(QX_READER_INFO, dwFlags) == 340);
static_assert(offsetof(QX_READER_INFO, dwMaxDataLength) == 344);
