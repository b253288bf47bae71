#include "skf/api/directory.h"

#include <algorithm>
#include <cstring>

#include "skf/card/commands.h"
#include "skf/card/files.h"
#include "skf/card/heap_bytes.h"
#include "skf/card/variant.h"

namespace {

constexpr std::uint8_t kSelectMfP1 = 0x00;
constexpr std::uint8_t kSelectDfP1 = 0x01;
constexpr std::uint8_t kSelectEfP1 = 0x02;

bool Select(DEVHANDLE device, std::uint8_t p1, std::uint32_t id) {
  const std::uint8_t bytes[] = {static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id)};
  std::uint16_t sw = 0;
  return QX_Select(device, p1, 0x00, bytes, &sw) >= 0 && sw == kSwOk;
}

}  // namespace

std::uint32_t GetU32(std::span<const std::uint8_t> bytes, std::size_t offset) {
  const auto field = bytes.subspan(offset, 4);
  return field[0] | field[1] << 8 | field[2] << 16 | static_cast<std::uint32_t>(field[3]) << 24;
}

void PutU32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
  const auto field = bytes.subspan(offset, 4);
  for (std::size_t i = 0; i < 4; ++i) field[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::string_view FieldText(std::span<const std::uint8_t> bytes, std::size_t offset,
                           std::size_t size) {
  const auto field = bytes.subspan(offset, size);
  const char *text = reinterpret_cast<const char *>(field.data());
  return {text, strnlen(text, field.size())};
}

void PutText(std::span<std::uint8_t> bytes, std::size_t offset, std::string_view text) {
  const auto field = bytes.subspan(offset, text.size() + 1);
  std::memcpy(field.data(), text.data(), text.size());
  field[text.size()] = 0;
}

std::span<std::uint8_t> AppEntry(AppDirectory &image, std::size_t k) {
  return std::span(image.bytes).subspan(kAppEntryOffset + k * kAppEntrySize, kAppEntrySize);
}

std::span<std::uint8_t> ContainerEntry(ContainerDirectory &image, std::size_t j) {
  return std::span(image.bytes)
      .subspan(kContainerEntryOffset + j * kContainerEntrySize, kContainerEntrySize);
}

std::span<std::uint8_t> FileRecord(FileTable &image, std::size_t i) {
  return std::span(image.bytes).subspan(i * kInfDataSize, kInfDataSize);
}

// Never past the image's entries, whatever the stored length.
std::size_t AppEntryCount(const AppDirectory &image) {
  const std::size_t size =
      std::min({std::size_t{image.length}, kLibraryVariant.app_directory_size, kAppDirectorySize});
  return size / kAppEntrySize;
}

std::size_t ContainerEntryCount(const ContainerDirectory &image) {
  const std::size_t size =
      std::min({std::size_t{image.length}, kLibraryVariant.container_directory_size,
                kContainerDirectorySize});
  return size / kContainerEntrySize;
}

bool SelectMfChecked(DEVHANDLE device) {
  std::uint16_t sw = 0;
  return QX_Select(device, kSelectMfP1, 0x00, {}, &sw) >= 0 && sw == kSwOk;
}

void SelectMf(DEVHANDLE device) { SelectMfChecked(device); }

bool SelectDf(DEVHANDLE device, std::uint32_t df_id) { return Select(device, kSelectDfP1, df_id); }

bool SelectEf(DEVHANDLE device, std::uint16_t ef_id) { return Select(device, kSelectEfP1, ef_id); }

bool ReadsBeyond(const AppDirectory &) { return kLibraryVariant.long_directories_read; }
bool ReadsBeyond(const ContainerDirectory &) { return kLibraryVariant.long_directories_read; }
bool ReadsBeyond(const FileTable &) { return kLibraryVariant.long_directories_read; }

bool ReadImage(DEVHANDLE device, std::span<std::uint8_t> image, std::uint32_t *length,
               std::vector<std::uint8_t> *beyond) {
  std::memset(image.data(), 0, image.size());
  std::uint32_t stored = 0;
  if (!beyond) {
    if (QX_ReadBinaryFile(device, image, &stored) != 0 || stored > image.size()) return false;
    *length = stored;
    return true;
  }
  beyond->clear();
  // Room for every length the length field can give.
  const HeapBytes room(kFileDataMax);
  if (!room.ok() || QX_ReadBinaryFile(device, room.span(), &stored) != 0) return false;
  const std::size_t head = std::min<std::size_t>(stored, image.size());
  std::memcpy(image.data(), room.data(), head);
  beyond->assign(room.data() + head, room.data() + stored);
  *length = stored;
  return true;
}

bool WriteImageBytes(DEVHANDLE device, std::span<const std::uint8_t> data) {
  return QX_WriteBinaryFile(device, data) == 0;
}

bool WriteImageBytes(DEVHANDLE device, std::span<const std::uint8_t> image, std::uint32_t length,
                     std::span<const std::uint8_t> beyond) {
  if (beyond.empty()) return length <= image.size() && WriteImageBytes(device, image.first(length));
  if (length != image.size() + beyond.size()) return false;
  const HeapBytes whole(length);
  if (!whole.ok()) return false;
  std::memcpy(whole.data(), image.data(), image.size());
  std::memcpy(whole.data() + image.size(), beyond.data(), beyond.size());
  return WriteImageBytes(device, whole.span());
}

bool ReadAppDirectory(DEVHANDLE device, AppDirectory &image) {
  SelectMf(device);
  return SelectEf(device, kDirectoryEf) && ReadImage(device, image);
}

// The write roads test the MF selection too: after a failed one, the EF01 selected next would
// be that of whatever DF is current, and the image would land in another directory.
bool WriteAppDirectory(DEVHANDLE device, const AppDirectory &image) {
  return SelectMfChecked(device) && SelectEf(device, kDirectoryEf) && WriteImage(device, image);
}

bool SelectApplication(DEVHANDLE device, std::uint32_t app_id) {
  SelectMf(device);
  return SelectDf(device, app_id);
}

bool ReadContainerDirectory(DEVHANDLE device, std::uint32_t app_id, ContainerDirectory &image) {
  return SelectApplication(device, app_id) && SelectEf(device, kDirectoryEf) &&
         ReadImage(device, image);
}

bool WriteContainerDirectory(DEVHANDLE device, std::uint32_t app_id,
                             const ContainerDirectory &image) {
  return SelectMfChecked(device) && SelectDf(device, app_id) && SelectEf(device, kDirectoryEf) &&
         WriteImage(device, image);
}
