#include "skf/api/directory.h"

#include <cstring>

#include "skf/card/commands.h"
#include "skf/card/files.h"
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

// The stored length is at most the image size, so these never pass the image's entries.
std::size_t AppEntryCount(const AppDirectory &image) { return image.length / kAppEntrySize; }

std::size_t ContainerEntryCount(const ContainerDirectory &image) {
  return image.length / kContainerEntrySize;
}

bool SelectMfChecked(DEVHANDLE device) {
  std::uint16_t sw = 0;
  return QX_Select(device, kSelectMfP1, 0x00, {}, &sw) >= 0 && sw == kSwOk;
}

void SelectMf(DEVHANDLE device) { SelectMfChecked(device); }

bool SelectDf(DEVHANDLE device, std::uint32_t df_id) { return Select(device, kSelectDfP1, df_id); }

bool SelectEf(DEVHANDLE device, std::uint16_t ef_id) { return Select(device, kSelectEfP1, ef_id); }

std::size_t ReadLimit(const AppDirectory &) { return kLibraryVariant.app_directory_size; }

std::size_t ReadLimit(const ContainerDirectory &) {
  return kLibraryVariant.container_directory_size;
}

bool ReadImage(DEVHANDLE device, std::span<std::uint8_t> image, std::uint32_t *length) {
  std::memset(image.data(), 0, image.size());
  std::uint32_t stored = 0;
  if (QX_ReadBinaryFile(device, image, &stored) != 0 || stored > image.size()) return false;
  *length = stored;
  return true;
}

bool WriteImageBytes(DEVHANDLE device, std::span<const std::uint8_t> data) {
  return QX_WriteBinaryFile(device, data) == 0;
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
