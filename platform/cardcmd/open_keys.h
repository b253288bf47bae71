// The keys opened with QX_Open: card handles (> 0) for readerio devices, with the reader name,
// the application the caller last selected, and the caller's selection with the count of the
// key's takings when the caller's last call ended (see selection.h).
#pragma once

#include <cstdint>
#include <string>

#include "platform/cardcmd/selection.h"
#include "skf/card/readerio_api.h"

inline constexpr int kMaxOpenKeys = 16;

struct OpenKey {
  DEVHANDLE device = nullptr;
  std::string reader;
  std::uint32_t app_id = 0;  // 0xAD00 + n once DF AD0n was selected; 0 otherwise
  Selection selection;
  std::uint64_t takings = 0;  // 0: not known
};

// A new handle for an open device; 0 when the table is full.
std::int32_t AddOpenKey(DEVHANDLE device, const std::string &reader);
// The device of a handle, and with it the key's record; false for an unknown handle.
bool FindOpenKey(std::int32_t card, OpenKey *key);
// The application the card's current DF belongs to after a selection or a reset.
void SetSelectedApp(std::int32_t card, std::uint32_t app_id);
// After a call on `card` that used its key, while the call holds the key: the key's takings now,
// and the selection the call leaves (not known when nullptr).
void RecordCardCall(std::int32_t card, const Selection *selection);

// Records the call's use of the key when it goes (RecordCardCall), with the selection last given
// to Leaves.
class CardCall {
 public:
  explicit CardCall(std::int32_t card) : card_(card) {}
  CardCall(std::int32_t card, const Selection &selection)
      : card_(card), selection_(selection), known_(true) {}
  ~CardCall() { RecordCardCall(card_, known_ ? &selection_ : nullptr); }
  CardCall(const CardCall &) = delete;
  CardCall &operator=(const CardCall &) = delete;
  void Leaves(const Selection &selection) {
    selection_ = selection;
    known_ = true;
  }

 private:
  std::int32_t card_;
  Selection selection_;
  bool known_ = false;
};

// Forgets the handle; its device, or nullptr when it was unknown.
DEVHANDLE RemoveOpenKey(std::int32_t card);
