// The keys opened with QX_Open: card handles (> 0) for readerio devices, with the reader name
// and the application the caller last selected.
#pragma once

#include <cstdint>
#include <string>

#include "skf/card/readerio_api.h"

inline constexpr int kMaxOpenKeys = 16;

struct OpenKey {
  DEVHANDLE device = nullptr;
  std::string reader;
  std::uint32_t app_id = 0;  // 0xAD00 + n once DF AD0n was selected; 0 otherwise
};

// A new handle for an open device; 0 when the table is full.
std::int32_t AddOpenKey(DEVHANDLE device, const std::string &reader);
// The device of a handle, and with it the key's record; false for an unknown handle.
bool FindOpenKey(std::int32_t card, OpenKey *key);
// The application the card's current DF belongs to after a selection or a reset.
void SetSelectedApp(std::int32_t card, std::uint32_t app_id);
// Forgets the handle; its device, or nullptr when it was unknown.
DEVHANDLE RemoveOpenKey(std::int32_t card);
