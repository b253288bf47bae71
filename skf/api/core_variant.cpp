// tokencore's side of the export steps that the build variant names (skf/api/variant.h).
#include "skf/api/variant.h"

#include "platform/os/os.h"
#include "skf/card/binding.h"

namespace {

constexpr std::uint32_t kReservedSpace = 256;

std::uint32_t TotalSpace(const std::uint8_t r[kCardInfoSize]) {
  return ((r[7] & 0x03u) << 16) + (r[5] * 256u + r[6]);
}
std::uint32_t FreeSpace(const std::uint8_t r[kCardInfoSize]) {
  const std::uint32_t free = (((r[7] >> 4) & 0x03u) << 16) + (r[13] * 256u + r[14]);
  return free > kReservedSpace ? free - kReservedSpace : 0;
}

}  // namespace

void FillDevInfoCapabilities(DEVINFO *info, const std::uint8_t card_info[kCardInfoSize]) {
  info->AlgSymCap = 0x703;
  info->AlgAsymCap = 0x30E00;
  info->TotalSpace = TotalSpace(card_info);
  info->FreeSpace = FreeSpace(card_info);
  info->MaxECCBufferSize = 160;
  info->MaxBufferSize = 4000;
}

void KeyDirectoryChanged() {}

void FileTablesChanged() {}

// Each wait loads readerio again by its bare file name; the reference is kept.
bool BindReaderListFunctions(ReaderListFunctions *functions) {
  void *module = os::OpenLibrary(kReaderLibName.data());
  if (!module) return false;
  functions->get =
      reinterpret_cast<QX_GetReaderList_t>(os::LibrarySymbol(module, "QX_GetReaderList"));
  functions->destroy =
      reinterpret_cast<QX_DestroyReaderList_t>(os::LibrarySymbol(module, "QX_DestroyReaderList"));
  return functions->get && functions->destroy;
}
