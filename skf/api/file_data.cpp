#include "skf/api/file_data.h"

#include "skf/card/files.h"

ULONG ReadFileData(DEVHANDLE device, std::size_t i, std::uint32_t end, ULONG offset, ULONG size,
                   BYTE *out, ULONG *out_length) {
  // Nothing is read from beyond the end.
  if (offset > end) return SAR_INVALIDPARAMERR;
  ULONG n = size;
  if (size == 0 || end - offset < size) n = end - offset;
  if (!out) {
    *out_length = n;
    return SAR_OK;
  }
  if (*out_length < n) {
    *out_length = n;
    return SAR_BUFFER_TOO_SMALL;
  }
  int count = 0;
  const int read = QX_ReadDataFile(device, static_cast<std::uint32_t>(i), static_cast<int>(offset),
                                   {out, n}, &count);
  *out_length = static_cast<ULONG>(count);
  return read == 0 ? SAR_OK : SAR_FAIL;
}

ULONG WriteFileData(DEVHANDLE device, FileTable &table, std::size_t i, ULONG offset,
                    const BYTE *data, ULONG size) {
  int count = 0;
  if (QX_WriteDataFile(device, static_cast<std::uint32_t>(i), static_cast<int>(offset),
                       {data, size}, &count) != 0) {
    return SAR_FAIL;
  }
  if (!SelectEf(device, kFileTableEf)) return SAR_FAIL;
  PutU32(FileRecord(table, i), kDataEnd, offset + size);
  return WriteImage(device, table) ? SAR_OK : SAR_FAIL;
}
