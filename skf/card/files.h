// Length-prefixed EFs read and written whole, and the raw data EFs of an application.
// Every operation works on the DF or EF that the caller selected.
#pragma once

#include <cstdint>
#include <span>

#include "skf/card/readerio_api.h"

inline constexpr std::size_t kFilePiece = 128;       // bytes per READ/UPDATE BINARY
inline constexpr std::uint16_t kEmptyFile = 0xFFFF;  // length field of a file that holds nothing
inline constexpr std::size_t kFileDataMax = 0xFFFE;
inline constexpr std::uint32_t kDataFileCount = 20;
inline constexpr std::uint16_t kFirstDataFileId = 0x0021;
inline constexpr std::uint16_t kFileAreaId = 0xDFEA;

// Writes the 2-byte big-endian length and the data. 0 written, -1 on any failure.
int QX_WriteBinaryFile(DEVHANDLE device, std::span<const std::uint8_t> data);
// Stores the data length; with an empty `data` reads only that. -1 on a failure, an empty
// file (FF FF), or when `data` is non-empty and shorter than the length (length stored).
int QX_ReadBinaryFile(DEVHANDLE device, std::span<std::uint8_t> data, std::uint32_t *length);

// Data EF k (0..19) has the identifier 0021 + k.
int QX_CreateDataFile(DEVHANDLE device, std::uint32_t k, int size);
// 0 deleted or not there; 1 when the card answers 6D00; -1 otherwise.
int QX_DeleteDataFile(DEVHANDLE device, int k);
// 0 when all of `out` was read from `offset`; -1 otherwise. *count = bytes read.
int QX_ReadDataFile(DEVHANDLE device, std::uint32_t k, int offset, std::span<std::uint8_t> out,
                    int *count);
int QX_WriteDataFile(DEVHANDLE device, std::uint32_t k, int offset,
                     std::span<const std::uint8_t> data, int *count);
// Selects the file area DF EA when the application has one; always 0.
int QX_SelectFileArea(DEVHANDLE device);
