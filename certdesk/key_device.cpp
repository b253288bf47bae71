#include "certdesk/key_device.h"

#include <algorithm>

#include "certdesk/cardcmd_binding.h"

namespace certdesk {

namespace {

constexpr std::uint16_t kStatusOk = 0x9000;
constexpr std::size_t kLengthPrefix = 2;
constexpr std::size_t kEmptyFile = 0xFFFF;

bool Select(std::int32_t handle, std::uint8_t p1, std::uint8_t lc, const std::uint8_t *data) {
  const CardCmd &c = BoundCardCmd();
  if (!c.module) return false;
  std::uint16_t sw = 0;
  return c.select_file(handle, p1, 0, lc, data, &sw) >= 0 && sw == kStatusOk;
}

bool Read(std::int32_t handle, std::size_t offset, std::uint8_t length, std::uint8_t *out) {
  std::uint16_t sw = 0;
  return BoundCardCmd().read_binary(handle, 0, static_cast<std::uint8_t>(offset >> 8),
                                    static_cast<std::uint8_t>(offset), 0, length, out, &sw) >= 0 &&
         sw == kStatusOk;
}

}  // namespace

std::int32_t OpenKeyDevice(int device_index) {
  if (!BindCardCmd()) return 0;
  const std::int32_t handle = BoundCardCmd().open(device_index);
  if (handle == 0) FreeCardCmd();
  return handle;
}

void CloseKeyDevice(std::int32_t handle) {
  const CardCmd &c = BoundCardCmd();
  if (!c.module) return;
  if (handle != 0) c.close(handle);
  FreeCardCmd();
}

bool SelectMasterFile(std::int32_t handle) { return Select(handle, 0, 0, nullptr); }

bool SelectApplication(std::int32_t handle, int application_index) {
  const std::uint16_t id = kFirstApplication + application_index;
  const std::uint8_t df[2] = {static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id)};
  return Select(handle, 1, sizeof df, df);
}

bool SelectContainer(std::int32_t handle, int application_index, int container_index) {
  const std::uint8_t df[2] = {
      0xDF, static_cast<std::uint8_t>(16 * (application_index + 1) + container_index + 1)};
  return Select(handle, 1, sizeof df, df);
}

int ReadKeyFile(std::int32_t handle, std::uint16_t file_id, std::uint8_t *output,
                std::size_t capacity, LongFile long_file, std::size_t *length) {
  const std::uint8_t ef[2] = {static_cast<std::uint8_t>(file_id >> 8),
                              static_cast<std::uint8_t>(file_id)};
  std::uint8_t head[kLengthPrefix] = {};
  if (!Select(handle, 2, sizeof ef, ef) || !Read(handle, 0, sizeof head, head)) return -1;
  std::size_t n = std::size_t{head[0]} << 8 | head[1];
  if (n == kEmptyFile || (n > capacity && long_file == LongFile::kRefuse)) return -1;
  n = std::min(n, capacity);
  *length = n;
  for (std::size_t done = 0; done < n;) {
    const std::size_t piece = std::min<std::size_t>(n - done, CARDCMD_MAX_READ);
    if (!Read(handle, kLengthPrefix + done, static_cast<std::uint8_t>(piece), output + done)) {
      return -1;
    }
    done += piece;
  }
  return 0;
}

int ProbeKeySlot(std::int32_t handle, std::uint16_t application_id) {
  std::uint8_t directory[kAppDirectorySize] = {};
  std::size_t length = 0;
  if (!SelectMasterFile(handle) || ReadKeyFile(handle, kDirectoryFile, directory, sizeof directory,
                                               LongFile::kTruncate, &length) != 0) {
    return -1;
  }
  for (int i = 0; i < kListedApplications; ++i) {
    if (FieldAt(directory, kAppEntryFirst + kAppEntrySize * i) != 0 &&
        application_id == kFirstApplication + i) {
      return 0;
    }
  }
  return -1;
}

std::uint32_t FieldAt(const std::uint8_t *image, std::size_t offset) {
  return image[offset] | image[offset + 1] << 8 | image[offset + 2] << 16 |
         std::uint32_t{image[offset + 3]} << 24;
}

}  // namespace certdesk
