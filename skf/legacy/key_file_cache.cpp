#include "skf/legacy/key_file_cache.h"

#include <cstring>

#include "skf/api/directory.h"
#include "skf/card/commands.h"
#include "skf/card/device.h"
#include "skf/legacy/key_file_store.h"
#include "skf/legacy/record_lock.h"

namespace {

constexpr std::uint32_t kFirstApp = kAppIdBase + 1;

// The cached copy when it describes the key with serial `serial` and nothing emptied it since.
bool CachedCopy(const char *serial, KeyFileInfo *out) {
  SharedKeyFileRecord &r = KeyFileRecord();
  const RecordLock lock(r);
  if (!lock.held() || r.filled_generation != r.generation.load(std::memory_order_acquire) ||
      strncmp(r.m_keyfileInfo.szSN, serial, kKeyFileSerialSize) != 0) {
    return false;
  }
  std::memcpy(out, &r.m_keyfileInfo, sizeof *out);
  return true;
}

// Publishes a copy read from the card, unless the cache was emptied while it was read.
void Publish(const KeyFileInfo &info, std::uint32_t read_under) {
  SharedKeyFileRecord &r = KeyFileRecord();
  const RecordLock lock(r);
  if (!lock.held()) return;
  std::memcpy(&r.m_keyfileInfo, &info, sizeof info);
  r.filled_generation = read_under;
}

// MF, the application's DF and its file table EF02, read whole; false at the first failure.
bool ReadAppFileTable(DEVHANDLE device, std::uint32_t app_id, FileTable &table) {
  return SelectMfChecked(device) && FindKeyApp(device, app_id) == 0 && SelectDf(device, app_id) &&
         SelectEf(device, kFileTableEf) && ReadImage(device, table);
}

}  // namespace

int KeyFileSlot(std::uint32_t app_id) {
  const std::uint32_t slot = app_id - kFirstApp;
  return slot < kKeyFileSlots ? static_cast<int>(slot) : -1;
}

int FindKeyApp(DEVHANDLE device, std::uint32_t app_id) {
  AppDirectory directory;
  if (!SelectEf(device, kDirectoryEf) || !ReadImage(device, directory)) return -1;
  for (std::size_t k = 0; k < kKeyFileSlots; ++k) {
    const auto entry = AppEntry(directory, k);
    if (GetU32(entry, kAppInUse) != 0 && kFirstApp + k == app_id) return 0;
  }
  return -1;
}

int QX_GetKeyFileInfo(DEVHANDLE device, KeyFileInfo *out) {
  char serial[kSerialTextSize] = {};
  if (QX_GET_BCDSN(device, serial) != 0) return -1;
  if (CachedCopy(serial, out)) return 0;
  const std::uint32_t read_under = KeyFileRecord().generation.load(std::memory_order_acquire);
  std::memset(out, 0, sizeof *out);
  for (std::size_t slot = 0; slot < kKeyFileSlots; ++slot) {
    FileTable table;
    if (ReadAppFileTable(device, kFirstApp + static_cast<std::uint32_t>(slot), table)) {
      std::memcpy(out->FileTable[slot], table.bytes.data(), kFileTableSize);
    }
  }
  // A key swapped in the reader meanwhile: these tables may be another key's.
  char again[kSerialTextSize] = {};
  if (QX_GET_BCDSN(device, again) != 0 || std::memcmp(serial, again, sizeof serial) != 0) {
    return -1;
  }
  std::memcpy(out->szSN, serial, kSerialTextSize);
  Publish(*out, read_under);
  return 0;
}

void ClearKeyFileInfo() { KeyFileRecord().generation.fetch_add(1, std::memory_order_acq_rel); }
