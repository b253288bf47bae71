#include "skf/api/export_util.h"

ULONG CopyNameList(std::span<const char> list, LPSTR out, ULONG *size) {
  if (!out) {
    *size = static_cast<ULONG>(list.size() + 1);
    return SAR_OK;
  }
  if (*size < list.size()) return SAR_BUFFER_TOO_SMALL;
  std::memcpy(out, list.data(), list.size());
  *size = static_cast<ULONG>(list.size());
  return SAR_OK;
}
