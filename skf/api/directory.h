// Directory images: read whole into a zeroed image of fixed size, changed in memory, written
// back whole with the length read. Selection roads from the MF down.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "skf/api/layout.h"
#include "skf/card/readerio_api.h"

template <std::size_t N>
struct DirectoryImage {
  std::array<std::uint8_t, N> bytes{};
  std::uint32_t length = 0;  // stored length: at most N, or N + beyond.size()
  // The stored bytes past the image, of a directory read whole (skf/card/variant.h); written
  // back as they were.
  std::vector<std::uint8_t> beyond;
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
// The entries looked at: those of the stored length within the library variant's image.
std::size_t AppEntryCount(const AppDirectory &image);
std::size_t ContainerEntryCount(const ContainerDirectory &image);

// Card steps; each false on a transport failure or a status other than 9000.
void SelectMf(DEVHANDLE device);  // status not looked at
bool SelectMfChecked(DEVHANDLE device);
bool SelectDf(DEVHANDLE device, std::uint32_t df_id);
bool SelectEf(DEVHANDLE device, std::uint16_t ef_id);
// Reads the current EF into the zeroed image; false when the stored length is empty, the read
// fails, or the length exceeds the image and `beyond` is NULL. With `beyond`, a longer file is
// read whole and its bytes past the image go there.
bool ReadImage(DEVHANDLE device, std::span<std::uint8_t> image, std::uint32_t *length,
               std::vector<std::uint8_t> *beyond = nullptr);
// Writes `data` with its length prefix to the current EF.
bool WriteImageBytes(DEVHANDLE device, std::span<const std::uint8_t> data);
// Writes the first `length` bytes of `image`, or the whole image followed by `beyond`.
bool WriteImageBytes(DEVHANDLE device, std::span<const std::uint8_t> image, std::uint32_t length,
                     std::span<const std::uint8_t> beyond);
// Whether a read keeps a longer file whole: for the three directories as the library variant
// says (skf/card/variant.h), never for other images.
template <std::size_t N>
bool ReadsBeyond(const DirectoryImage<N> &) {
  return false;
}
bool ReadsBeyond(const AppDirectory &image);
bool ReadsBeyond(const ContainerDirectory &image);
bool ReadsBeyond(const FileTable &image);
template <std::size_t N>
bool ReadImage(DEVHANDLE device, DirectoryImage<N> &image) {
  return ReadImage(device, image.bytes, &image.length,
                   ReadsBeyond(image) ? &image.beyond : nullptr);
}
template <std::size_t N>
bool WriteImage(DEVHANDLE device, const DirectoryImage<N> &image) {
  return WriteImageBytes(device, image.bytes, image.length, image.beyond);
}

// Roads: MF, (application DF,) directory EF, read or write.
bool ReadAppDirectory(DEVHANDLE device, AppDirectory &image);
bool WriteAppDirectory(DEVHANDLE device, const AppDirectory &image);
bool SelectApplication(DEVHANDLE device, std::uint32_t app_id);  // MF, then DF AD0n
bool ReadContainerDirectory(DEVHANDLE device, std::uint32_t app_id, ContainerDirectory &image);
bool WriteContainerDirectory(DEVHANDLE device, std::uint32_t app_id,
                             const ContainerDirectory &image);
