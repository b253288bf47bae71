// Directory images: read whole into a zeroed image of fixed size, changed in memory, written
// back whole with the length read. Selection roads from the MF down.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "skf/api/layout.h"
#include "skf/card/readerio_api.h"

template <std::size_t N>
struct DirectoryImage {
  std::array<std::uint8_t, N> bytes{};
  std::uint32_t length = 0;  // stored length, at most N
};
using AppDirectory = DirectoryImage<kAppDirectorySize>;
using ContainerDirectory = DirectoryImage<kContainerDirectorySize>;
using FileTable = DirectoryImage<kFileTableSize>;

// Field access, bounds-checked by the span.
std::uint32_t GetU32(std::span<const std::uint8_t> bytes, std::size_t offset);
void PutU32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value);
// The NUL-terminated text of a field of `size` bytes (at most `size` characters).
std::string_view FieldText(std::span<const std::uint8_t> bytes, std::size_t offset,
                           std::size_t size);
// Writes `text` and its NUL at `offset`; the caller has checked that they fit.
void PutText(std::span<std::uint8_t> bytes, std::size_t offset, std::string_view text);

std::span<std::uint8_t> AppEntry(AppDirectory &image, std::size_t k);
std::span<std::uint8_t> ContainerEntry(ContainerDirectory &image, std::size_t j);
std::span<std::uint8_t> FileRecord(FileTable &image, std::size_t i);
std::size_t AppEntryCount(const AppDirectory &image);
std::size_t ContainerEntryCount(const ContainerDirectory &image);

// Card steps; each false on a transport failure or a status other than 9000.
void SelectMf(DEVHANDLE device);  // status not looked at
bool SelectMfChecked(DEVHANDLE device);
bool SelectDf(DEVHANDLE device, std::uint32_t df_id);
bool SelectEf(DEVHANDLE device, std::uint16_t ef_id);
// Reads the current EF into the zeroed image; false when the stored length is empty,
// exceeds the image or the read fails.
bool ReadImage(DEVHANDLE device, std::span<std::uint8_t> image, std::uint32_t *length);
// Writes `data` with its length prefix to the current EF.
bool WriteImageBytes(DEVHANDLE device, std::span<const std::uint8_t> data);
// The bytes of an image that a read may fill: the whole image, and for the two directories the
// size that the library variant reads (skf/card/variant.h).
template <std::size_t N>
std::size_t ReadLimit(const DirectoryImage<N> &) {
  return N;
}
std::size_t ReadLimit(const AppDirectory &image);
std::size_t ReadLimit(const ContainerDirectory &image);
template <std::size_t N>
bool ReadImage(DEVHANDLE device, DirectoryImage<N> &image) {
  const std::size_t limit = std::min(ReadLimit(image), N);
  return ReadImage(device, std::span<std::uint8_t>(image.bytes).first(limit), &image.length);
}
template <std::size_t N>
bool WriteImage(DEVHANDLE device, const DirectoryImage<N> &image) {
  return WriteImageBytes(device, std::span<const std::uint8_t>(image.bytes).first(image.length));
}

// Roads: MF, (application DF,) directory EF, read or write.
bool ReadAppDirectory(DEVHANDLE device, AppDirectory &image);
bool WriteAppDirectory(DEVHANDLE device, const AppDirectory &image);
bool SelectApplication(DEVHANDLE device, std::uint32_t app_id);  // MF, then DF AD0n
bool ReadContainerDirectory(DEVHANDLE device, std::uint32_t app_id, ContainerDirectory &image);
bool WriteContainerDirectory(DEVHANDLE device, std::uint32_t app_id,
                             const ContainerDirectory &image);
