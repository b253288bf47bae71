#include "skf/card/format.h"

#include <array>
#include <cstring>
#include <vector>

#include "skf/card/admin_pin.h"
#include "skf/card/auth.h"
#include "skf/card/command_status.h"
#include "skf/card/commands.h"
#include "skf/card/device.h"
#include "skf/card/files.h"
#include "skf/card/secure_zero.h"
#include "skf/card/variant.h"

namespace {

using Descriptor = std::vector<std::uint8_t>;

// CREATE FILE P2 values.
constexpr std::uint8_t kCreateMf = 0x00;
constexpr std::uint8_t kCreateDf = 0x01;
constexpr std::uint8_t kCreateEf = 0x03;
constexpr std::uint8_t kCreatePinKeyFile = 0x0B;

constexpr std::uint8_t kKeyClass = 0x80;
constexpr std::uint8_t kSelectChildDf = 0x01;

// The MF and the device authentication key (MF key 01 00).
const Descriptor kMf = {0x3F, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00};
constexpr std::uint8_t kDeviceKeyP1 = 0x01;
constexpr std::uint8_t kDeviceKeyP2 = 0x00;
constexpr std::uint8_t kDeviceKeyHeader[] = {0x00, 0x00, 0x00};

struct KeyFile {
  std::uint8_t p2;
  Descriptor descriptor;
};

Descriptor Padded(std::initializer_list<std::uint8_t> head, std::size_t size) {
  Descriptor d(head);
  d.resize(size, 0x00);
  return d;
}

// The work key files of the MF, in the order they are created.
const std::array<KeyFile, 6> kMfKeyFiles = {{
    {0x10, Padded({0x00, 0x01}, 14)},
    {0x11, Padded({0x00, 0x02}, 10)},
    {0x10, Padded({0x00, 0x03, 0x01}, 14)},
    {0x11, Padded({0x00, 0x04, 0x01}, 10)},
    {0x18, Padded({0x00, 0x05, 0x01}, 14)},
    {0x19, Padded({0x00, 0x06, 0x01}, 10)},
}};

constexpr std::size_t kEfDescriptorSize = 13;
const Descriptor kDeviceDirectoryEf = Padded({0xEF, 0x01, 0x02, 0x00}, kEfDescriptorSize);
const Descriptor kContainerDirectoryEf = Padded({0xEF, 0x01, 0x04, 0x00}, kEfDescriptorSize);
const Descriptor kFileTableEf = Padded({0xEF, 0x02, 0x06, 0x00}, kEfDescriptorSize);
const Descriptor kPinKeyFile = {0x00, 0x14, 0x01, 0x00, 0x01, 0x20, 0x00, 0x0F};

Descriptor ApplicationDf(std::uint8_t n) {
  return {0xAD, n, 0xE8, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x0F};
}

// The empty device directory's label; its size is the library's (label and entries).
constexpr char kFormatLabel[] = "VARN";

// Container directory as created: the PIN header and four free entries of 148 bytes.
constexpr std::size_t kPinHeaderSize = 28;
constexpr std::size_t kAdminMaxRetryAt = 4;
constexpr std::size_t kAdminRemainRetryAt = 8;
constexpr std::size_t kUserMaxRetryAt = 12;
constexpr std::size_t kUserRemainRetryAt = 16;
constexpr std::size_t kCreatedContainers = 4;
constexpr std::size_t kContainerEntrySize = 148;
constexpr std::size_t kCreatedContainerDirectory =
    kPinHeaderSize + kCreatedContainers * kContainerEntrySize;
static_assert(kCreatedContainerDirectory == 620);
constexpr std::size_t kFileTableSize = 1040;  // 20 records of 52 bytes

// Key file 0014: the user PIN key and the two administrator keys (the second is key 01 01).
constexpr std::uint8_t kPinKeyP1 = 0x00;
constexpr std::uint8_t kPinKeyP2 = 0x14;
constexpr std::uint8_t kUserKeyHeader[] = {0x1F, 0x00, 0x1A, 0x01, 0x0F, 0x0F};
constexpr std::uint8_t kAdminUnblockKeyHeader[] = {0x01, 0x1A, 0x00, 0x00, 0x00, 0x00};
constexpr std::uint8_t kAdminKeyHeader[] = {0x01, 0x01, 0x00, 0x00, 0x00, 0x00};
constexpr std::uint8_t kUserKeyTail[] = {0xFF, 0xFF};

bool Create(DEVHANDLE d, std::uint8_t p2, const Descriptor &descriptor) {
  std::uint16_t sw = 0;
  const int result = QX_CreateFile(d, p2, descriptor, &sw);
  return CommandOk(result, sw);
}

bool WriteKey(DEVHANDLE d, std::uint8_t p1, std::uint8_t p2, std::span<const std::uint8_t> data) {
  std::uint16_t sw = 0;
  const int result = QX_WriteKey(d, kKeyClass, p1, p2, data, &sw);
  return CommandOk(result, sw);
}

void PutI32(std::uint8_t *at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A key record: header, retry limit (low byte), 00, then the key.
std::vector<std::uint8_t> KeyRecord(std::span<const std::uint8_t> header, std::uint32_t limit,
                                    std::span<const std::uint8_t> key,
                                    std::span<const std::uint8_t> tail = {}) {
  std::vector<std::uint8_t> r(header.begin(), header.end());
  r.push_back(static_cast<std::uint8_t>(limit));
  r.push_back(0x00);
  r.insert(r.end(), key.begin(), key.end());
  r.insert(r.end(), tail.begin(), tail.end());
  return r;
}

void Wipe(std::vector<std::uint8_t> &v) { SecureZero(v.data(), v.size()); }

bool SelectOrCreateDf(DEVHANDLE d, std::uint8_t n) {
  const std::uint8_t id[] = {0xAD, n};
  std::uint16_t sw = 0;
  const int selected = QX_Select(d, kSelectChildDf, 0x00, id, &sw);
  if (!CommandOk(selected, sw)) {
    return Create(d, kCreateDf, ApplicationDf(n));
  }
  if (QX_AuthDir(d) != 0) return false;
  const int prepared = QX_PrepareCreate(d, &sw);
  return CommandOk(prepared, sw);
}

// The new EF is the current one once created.
bool CreateAndWrite(DEVHANDLE d, const Descriptor &ef, std::span<const std::uint8_t> image) {
  return Create(d, kCreateEf, ef) && QX_WriteBinaryFile(d, image) == 0;
}

}  // namespace

int QX_FormatCard(DEVHANDLE device, const char *key_text) {
  QX_FormatPrepare(device);
  if (QX_AuthDir(device) != 0 && QX_FormatAuth(device, key_text) != 0) return -1;

  std::uint8_t key[kFormatKeySize];
  FormKeyFromText(key_text, key);
  std::uint8_t write_key[sizeof kDeviceKeyHeader + kFormatKeySize];
  std::memcpy(write_key, kDeviceKeyHeader, sizeof kDeviceKeyHeader);
  std::memcpy(write_key + sizeof kDeviceKeyHeader, key, kFormatKeySize);
  SecureZero(key, sizeof key);
  const bool keyed =
      Create(device, kCreateMf, kMf) && WriteKey(device, kDeviceKeyP1, kDeviceKeyP2, write_key);
  SecureZero(write_key, sizeof write_key);
  if (!keyed) return -1;
  for (const KeyFile &f : kMfKeyFiles) {
    if (!Create(device, f.p2, f.descriptor)) return -1;
  }
  std::vector<std::uint8_t> directory(kLibraryVariant.app_directory_size, 0x00);
  std::memcpy(directory.data(), kFormatLabel, sizeof kFormatLabel - 1);
  return CreateAndWrite(device, kDeviceDirectoryEf, directory) ? 0 : -1;
}

int QX_CreateApplicationDf(DEVHANDLE device, std::uint16_t df, const char *admin_pin,
                           std::uint32_t admin_retries, const char *user_pin,
                           std::uint32_t user_retries) {
  if (df < kFirstApplicationDf || df > kLastApplicationDf) return -1;
  const auto n = static_cast<std::uint8_t>(df);
  if (!SelectOrCreateDf(device, n)) return -1;

  std::vector<std::uint8_t> containers(kCreatedContainerDirectory, 0x00);
  PutI32(&containers[kAdminMaxRetryAt], admin_retries);
  PutI32(&containers[kAdminRemainRetryAt], admin_retries);
  PutI32(&containers[kUserMaxRetryAt], user_retries);
  PutI32(&containers[kUserRemainRetryAt], user_retries);
  if (!CreateAndWrite(device, kContainerDirectoryEf, containers)) return -1;
  const std::vector<std::uint8_t> files(kFileTableSize, 0x00);
  if (!CreateAndWrite(device, kFileTableEf, files)) return -1;

  std::uint8_t admin_key[kAdminKeySize];
  std::uint8_t derived[kDerivedPinSize + 1];
  AdminKeyOf(admin_pin, admin_key);
  QX_DerivePin(user_pin, derived);
  auto user = KeyRecord(kUserKeyHeader, user_retries, {derived, kDerivedPinSize}, kUserKeyTail);
  auto unblock = KeyRecord(kAdminUnblockKeyHeader, admin_retries, admin_key);
  auto admin = KeyRecord(kAdminKeyHeader, admin_retries, admin_key);
  SecureZero(admin_key, sizeof admin_key);
  SecureZero(derived, sizeof derived);

  int result = -1;
  if (!Create(device, kCreatePinKeyFile, kPinKeyFile)) {
    result = -1;
  } else if (!WriteKey(device, kPinKeyP1, kPinKeyP2, user)) {
    result = -1000;
  } else if (WriteKey(device, kPinKeyP1, kPinKeyP2, unblock) &&
             WriteKey(device, kPinKeyP1, kPinKeyP2, admin)) {
    result = 0;
  }
  Wipe(user);
  Wipe(unblock);
  Wipe(admin);
  return result;
}
