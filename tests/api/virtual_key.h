// The virtual keys of the tests: a keysimd of this program's own (natively started here, under
// Wine the one the ctest fixture started), keys made blank or provisioned, and the card read
// and written raw through readerio, independently of the library.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vkey {

using Bytes = std::vector<std::uint8_t>;

// Connects to the daemon, sets KEYSIM_ADDR and takes every key out of its reader, so that the
// reader list holds only what the test puts in. False when there is no daemon.
bool Attach();
// A new key (inserted) and its reader name.
std::string CreateKey(const char *stem, bool provisioned, std::uint32_t serial = 20261210);
// A new key (inserted) whose file is a copy of `source`'s: the same card, made much faster than
// a provisioned one. Empty on failure.
std::string CloneKey(const std::string &source);
bool Insert(const std::string &key);
bool Remove(const std::string &key);
bool Knob(const std::string &key, const char *knob, const char *value);
std::string ReaderOf(const std::string &key);
// Commands the card has answered so far, in all or of one CLA INS.
std::string StatsText(const std::string &key);
std::uint64_t Commands(const std::string &key);
std::uint64_t Commands(const std::string &key, std::uint8_t cla, std::uint8_t ins);

// A reader named as readerio lists it, of either backend.
struct InReader {
  std::string name;
};

// One open key, spoken to through readerio with plain ISO commands.
class RawCard {
 public:
  explicit RawCard(const std::string &key);
  explicit RawCard(const InReader &reader);
  ~RawCard();
  RawCard(const RawCard &) = delete;
  RawCard &operator=(const RawCard &) = delete;

  bool IsOpen() const { return handle_ != nullptr; }
  std::uint16_t Send(const Bytes &command, Bytes *answer = nullptr);
  // SELECT from the MF down: each step a DF (P1 01) except the last, an EF (P1 02).
  bool SelectPath(const std::vector<std::uint16_t> &path);
  // The whole length-prefixed file of the selected EF: its data (nullopt: FF FF or failure).
  std::optional<Bytes> ReadPrefixed();
  bool WritePrefixed(const Bytes &data);
  // GET CHALLENGE and EXTERNAL AUTHENTICATE under the card's built-in key.
  bool Authenticate();
  // Raw bytes of the selected EF.
  std::optional<Bytes> ReadRaw(std::size_t offset, std::size_t length);

 private:
  void *handle_ = nullptr;  // readerio's QX_DEVHANDLE; readerio.h stays out of this header
};

// 32-bit little-endian field of a directory image.
std::uint32_t U32At(const Bytes &image, std::size_t offset);
std::string TextAt(const Bytes &image, std::size_t offset, std::size_t size);

}  // namespace vkey
