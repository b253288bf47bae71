#include "skf/card/files.h"

#include <algorithm>

#include "skf/card/auth.h"
#include "skf/card/command_status.h"
#include "skf/card/commands.h"

namespace {

constexpr std::uint8_t kPlainClass = 0x00;
constexpr std::size_t kLengthField = 2;
constexpr std::uint8_t kCreateDataFile = 0x03;  // CREATE FILE P2 of a transparent EF
constexpr std::size_t kDataFileDescriptorSize = 13;
constexpr std::uint8_t kSelectChildDf = 0x01;
constexpr std::uint8_t kSelectEf = 0x02;
constexpr std::uint16_t kSwFileNotFound = 0x6A82;
constexpr std::uint16_t kSwNotSupported = 0x6D00;
constexpr std::size_t kOffsetLimit = 0x10000;  // P1 P2 carry a 16-bit offset

std::uint8_t High(std::size_t v) { return static_cast<std::uint8_t>(v >> 8); }
std::uint8_t Low(std::size_t v) { return static_cast<std::uint8_t>(v); }

// UPDATE BINARY of `data` at `offset` in pieces; the bytes written so far in *done.
bool WritePieces(DEVHANDLE d, std::size_t offset, std::span<const std::uint8_t> data,
                 std::size_t *done) {
  *done = 0;
  while (*done < data.size()) {
    const std::size_t n = std::min(kFilePiece, data.size() - *done);
    const std::size_t at = offset + *done;
    std::uint16_t sw = 0;
    const int result =
        QX_UpdateBinary(d, kPlainClass, High(at), Low(at), data.subspan(*done, n), &sw);
    if (!CommandOk(result, sw)) return false;
    *done += n;
  }
  return true;
}

// READ BINARY into `out` from `offset` in pieces; an answer shorter than asked fails.
bool ReadPieces(DEVHANDLE d, std::size_t offset, std::span<std::uint8_t> out, std::size_t *done) {
  *done = 0;
  while (*done < out.size()) {
    const std::size_t n = std::min(kFilePiece, out.size() - *done);
    const std::size_t at = offset + *done;
    std::uint16_t sw = 0;
    const int got = QX_ReadBinary(d, kPlainClass, High(at), Low(at), nullptr,
                                  static_cast<std::uint8_t>(n), out.subspan(*done, n), &sw);
    if (!CommandOk(got, sw) || static_cast<std::size_t>(got) != n) return false;
    *done += n;
  }
  return true;
}

std::uint16_t DataFileId(std::uint32_t k) {
  return static_cast<std::uint16_t>(kFirstDataFileId + k);
}

bool SelectDataFile(DEVHANDLE d, std::uint32_t k) {
  const std::uint16_t id = DataFileId(k);
  const std::uint8_t bytes[] = {High(id), Low(id)};
  std::uint16_t sw = 0;
  const int result = QX_Select(d, kSelectEf, 0x00, bytes, &sw);
  return CommandOk(result, sw);
}

bool InRange(std::uint32_t k, int offset, std::size_t length) {
  return k < kDataFileCount && offset >= 0 &&
         static_cast<std::size_t>(offset) + length <= kOffsetLimit;
}

}  // namespace

int QX_WriteBinaryFile(DEVHANDLE device, std::span<const std::uint8_t> data) {
  if (data.size() > kFileDataMax) return -1;
  const std::uint8_t header[kLengthField] = {High(data.size()), Low(data.size())};
  std::uint16_t sw = 0;
  const int result = QX_UpdateBinary(device, kPlainClass, 0x00, 0x00, header, &sw);
  if (!CommandOk(result, sw)) return -1;
  std::size_t done = 0;
  return WritePieces(device, kLengthField, data, &done) ? 0 : -1;
}

int QX_ReadBinaryFile(DEVHANDLE device, std::span<std::uint8_t> data, std::uint32_t *length) {
  std::uint8_t header[kLengthField] = {};
  std::uint16_t sw = 0;
  const int got =
      QX_ReadBinary(device, kPlainClass, 0x00, 0x00, nullptr, kLengthField, header, &sw);
  if (!CommandOk(got, sw) || got != static_cast<int>(kLengthField)) return -1;
  const std::uint32_t n = header[0] << 8 | header[1];
  if (n == kEmptyFile) return -1;
  if (length) *length = n;
  if (data.empty()) return 0;
  if (data.size() < n) return -1;
  std::size_t done = 0;
  return ReadPieces(device, kLengthField, data.first(n), &done) ? 0 : -1;
}

int QX_CreateDataFile(DEVHANDLE device, std::uint32_t k, int size) {
  if (k >= kDataFileCount || size < 0 || size > 0xFFFF) return -1;
  if (QX_AuthDir(device) != 0) return -1;
  const std::uint16_t id = DataFileId(k);
  const auto bytes = static_cast<std::size_t>(size);
  const std::uint8_t descriptor[kDataFileDescriptorSize] = {High(id), Low(id), High(bytes),
                                                            Low(bytes)};
  std::uint16_t sw = 0;
  const int result = QX_CreateFile(device, kCreateDataFile, descriptor, &sw);
  return CommandOk(result, sw) ? 0 : -1;
}

int QX_DeleteDataFile(DEVHANDLE device, int k) {
  if (k < 0 || static_cast<std::uint32_t>(k) >= kDataFileCount) return -1;
  if (QX_AuthDir(device) != 0) return -1;
  const std::uint16_t id = DataFileId(static_cast<std::uint32_t>(k));
  const std::uint8_t bytes[] = {High(id), Low(id)};
  std::uint16_t sw = 0;
  if (QX_DeleteFile(device, bytes, &sw) < 0) return -1;
  if (sw == kSwOk || sw == kSwFileNotFound) return 0;
  return sw == kSwNotSupported ? 1 : -1;
}

int QX_ReadDataFile(DEVHANDLE device, std::uint32_t k, int offset, std::span<std::uint8_t> out,
                    int *count) {
  if (count) *count = 0;
  if (!InRange(k, offset, out.size()) || !SelectDataFile(device, k)) return -1;
  std::size_t done = 0;
  const bool all = ReadPieces(device, static_cast<std::size_t>(offset), out, &done);
  if (count) *count = static_cast<int>(done);
  return all ? 0 : -1;
}

int QX_WriteDataFile(DEVHANDLE device, std::uint32_t k, int offset,
                     std::span<const std::uint8_t> data, int *count) {
  if (count) *count = 0;
  if (!InRange(k, offset, data.size()) || !SelectDataFile(device, k)) return -1;
  std::size_t done = 0;
  const bool all = WritePieces(device, static_cast<std::size_t>(offset), data, &done);
  if (count) *count = static_cast<int>(done);
  return all ? 0 : -1;
}

int QX_SelectFileArea(DEVHANDLE device) {
  const std::uint8_t bytes[] = {High(kFileAreaId), Low(kFileAreaId)};
  std::uint16_t sw = 0;
  QX_Select(device, kSelectChildDf, 0x00, bytes, &sw);
  return 0;
}
