// tokenbase's side of the export steps that the build variant names (skf/api/variant.h).
#include "skf/api/variant.h"

#include "skf/card/binding.h"
#include "skf/legacy/key_cache_mapping.h"
#include "skf/legacy/key_file_cache.h"

namespace {

// The space fields from the card information bytes r0..r14.
std::uint32_t TotalSpace(const std::uint8_t r[kCardInfoSize]) {
  return ((static_cast<std::uint32_t>(r[7] >> 6) << 8) + r[11]) * 256u + r[12];
}
std::uint32_t FreeSpace(const std::uint8_t r[kCardInfoSize]) {
  return ((static_cast<std::uint32_t>((r[7] >> 2) & 0x03) << 8) + r[13]) * 256u + r[14];
}

}  // namespace

// The two buffer sizes are not written.
void FillDevInfoCapabilities(DEVINFO *info, const std::uint8_t card_info[kCardInfoSize]) {
  info->AlgSymCap = 0x701;
  info->AlgAsymCap = 0x30700;
  info->TotalSpace = TotalSpace(card_info);
  info->FreeSpace = FreeSpace(card_info);
}

// Its result does not change the export's.
void KeyDirectoryChanged() { ClearKeyCacheMapping(); }

// The key-file cache may hold tables that are no longer on the card.
void FileTablesChanged() { ClearKeyFileInfo(); }

// The library's own binding of readerio (by its bare file name), made once and kept.
bool BindReaderListFunctions(ReaderListFunctions *functions) {
  if (BindReaderApi() != 0) return false;
  const ReaderApiTable &api = *BoundReaderApi();
  functions->get = api.QX_GetReaderList;
  functions->destroy = api.QX_DestroyReaderList;
  return true;
}
