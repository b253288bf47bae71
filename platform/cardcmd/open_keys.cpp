#include "platform/cardcmd/open_keys.h"

#include <array>
#include <mutex>

#include "skf/card/key_lock.h"

namespace {

struct Slot {
  bool used = false;
  std::uint32_t generation = 0;
  OpenKey key;
};

// A handle is (generation << 8) | (slot + 1), so a closed handle never names a later key.
constexpr std::uint32_t kSlotBits = 8;
constexpr std::uint32_t kGenerationMask = 0x7FFFFF;  // keeps handles positive

std::mutex lock;
std::array<Slot, kMaxOpenKeys> slots;
std::uint32_t next_generation = 1;

Slot *SlotOf(std::int32_t card) {
  if (card <= 0) return nullptr;
  const auto value = static_cast<std::uint32_t>(card);
  const std::uint32_t index = (value & ((1u << kSlotBits) - 1)) - 1;
  if (index >= slots.size()) return nullptr;
  Slot &slot = slots[index];
  if (!slot.used || slot.generation != value >> kSlotBits) return nullptr;
  return &slot;
}

}  // namespace

std::int32_t AddOpenKey(DEVHANDLE device, const std::string &reader) {
  const std::lock_guard guard(lock);
  for (std::size_t i = 0; i < slots.size(); ++i) {
    Slot &slot = slots[i];
    if (slot.used) continue;
    slot.used = true;
    slot.generation = next_generation;
    next_generation = next_generation % kGenerationMask + 1;  // 1..mask
    slot.key = OpenKey{};
    slot.key.device = device;
    slot.key.reader = reader;
    return static_cast<std::int32_t>(slot.generation << kSlotBits | (i + 1));
  }
  return 0;
}

bool FindOpenKey(std::int32_t card, OpenKey *key) {
  const std::lock_guard guard(lock);
  const Slot *slot = SlotOf(card);
  if (!slot) return false;
  *key = slot->key;
  return true;
}

void SetSelectedApp(std::int32_t card, std::uint32_t app_id) {
  const std::lock_guard guard(lock);
  if (Slot *slot = SlotOf(card)) slot->key.app_id = app_id;
}

void RecordCardCall(std::int32_t card, const Selection *selection) {
  OpenKey key;
  if (!FindOpenKey(card, &key)) return;
  const std::uint64_t takings = KeyTakings(key.device);
  const std::lock_guard guard(lock);
  if (Slot *slot = SlotOf(card)) {
    slot->key.takings = takings;
    slot->key.selection = selection ? *selection : Selection{};
  }
}

DEVHANDLE RemoveOpenKey(std::int32_t card) {
  const std::lock_guard guard(lock);
  Slot *slot = SlotOf(card);
  if (!slot) return nullptr;
  const DEVHANDLE device = slot->key.device;
  *slot = Slot{false, slot->generation, {}};
  return device;
}
