// Certificate-store operations: the certificates of a key, named by its reader or by its card
// handle, into and out of the current user's "MY" store.
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/cardcmd/cardcmd.h"
#include "platform/cardcmd/export_guard.h"
#include "platform/cardcmd/key_certificates.h"
#include "platform/cardcmd/open_keys.h"
#include "platform/cardcmd/reader_names.h"
#include "platform/cardcmd/tip_texts.h"
#include "platform/cardcmd/user_store.h"
#include "skf/card/device.h"

namespace {

constexpr std::int32_t kFailed = -1;
constexpr std::size_t kReaderNameMax = READERIO_MAX_NAME;

// The reader name, or an empty text when there is none or it is too long for a reader.
std::string ReaderName(const char *name) {
  if (!name) return {};
  const std::size_t n = strnlen(name, kReaderNameMax + 1);
  return n <= kReaderNameMax ? std::string(name, n) : std::string();
}

int ImportKey(DEVHANDLE device, const std::string &reader) {
  std::vector<CertificateDer> certificates;
  if (!ReadKeyCertificates(device, certificates)) return kFailed;
  return AddKeyCertificates(reader, certificates);
}

int ImportReader(const char *reader_name) {
  const std::string reader = ReaderName(reader_name);
  if (reader.empty()) return kFailed;
  const DEVHANDLE device = QX_OpenByPath(reader.c_str());
  if (!device) return kFailed;
  const int count = ImportKey(device, reader);
  QX_Close(device);
  return count;
}

// The certificates of every key present but the one in `leaving`; a key that cannot be read is
// left out.
std::vector<KeyOnReader> OtherKeysPresent(const std::string &leaving) {
  std::vector<KeyOnReader> keys;
  for (const std::string &reader : KeyReaderNames()) {
    if (reader == leaving) continue;
    const DEVHANDLE device = QX_OpenByPath(reader.c_str());
    if (!device) continue;
    KeyOnReader key{reader, {}};
    if (ReadKeyCertificates(device, key.certificates)) keys.push_back(std::move(key));
    QX_Close(device);
  }
  return keys;
}

// The tip for the user in the 64-byte `out`: the arrival sentence when asked for, then the
// count line when certificates were imported.
void WriteTip(char *out, int count, bool arrival) {
  if (!out) return;
  char line[CARDCMD_OUT_BUFFER] = {};
  if (count > 0) std::snprintf(line, sizeof line, kCountLineFormat, count);
  if (!arrival) {
    std::snprintf(out, CARDCMD_OUT_BUFFER, "%s", line);
  } else {
    std::snprintf(out, CARDCMD_OUT_BUFFER, "%s%s%s", kArrivalText, count > 0 ? "\n" : "", line);
  }
}

}  // namespace

extern "C" {

int32_t CARDCMD_API QX_AddCertToIE(int32_t, const char *reader_name, int32_t, int32_t, int32_t,
                                   int32_t, int32_t, char *) {
  return Guarded(kFailed, [&] { return ImportReader(reader_name); });
}

int32_t CARDCMD_API QX_AddCertToIE_Tip(int32_t, const char *reader_name, int32_t, int32_t, int32_t,
                                       int32_t, int32_t, char *out) {
  return Guarded(kFailed, [&] {
    const int count = ImportReader(reader_name);
    WriteTip(out, count, false);
    return count;
  });
}

int32_t CARDCMD_API QX_AddCertToIE_TipEx(int32_t, const char *reader_name, int32_t, int32_t,
                                         int32_t, int32_t, int32_t, char *out) {
  return Guarded(kFailed, [&] {
    const int count = ImportReader(reader_name);
    WriteTip(out, count, true);
    return count;
  });
}

int32_t CARDCMD_API QX_DelCertFrIE(int32_t, const char *reader_name, int32_t, int32_t, char *) {
  return Guarded(kFailed, [&] {
    const std::string reader = ReaderName(reader_name);
    return reader.empty() ? kFailed : RemoveKeyCertificates(reader, OtherKeysPresent(reader));
  });
}

int32_t CARDCMD_API QX_StoreCert(int32_t, int32_t card, int32_t, int32_t, int32_t) {
  return Guarded(kFailed, [&]() -> std::int32_t {
    OpenKey key;
    if (!FindOpenKey(card, &key)) return kBadArguments;
    SetSelectedApp(card, 0);  // the walk leaves some container current
    return ImportKey(key.device, key.reader);
  });
}

}  // extern "C"
