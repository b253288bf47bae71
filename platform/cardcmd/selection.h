// The caller's selection on an open key: its SELECT commands since it last selected the master
// file, so that they can be made current again when another program used the card between two
// of the caller's calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "skf/card/readerio_api.h"

inline constexpr int kMaxSelectSteps = 8;
inline constexpr std::size_t kMaxSelectData = 16;

struct SelectStep {
  std::uint8_t p1;
  std::uint8_t p2;
  std::uint8_t lc;
  std::uint8_t data[kMaxSelectData];
};

struct Selection {
  int count = -1;  // below 0: not known
  SelectStep steps[kMaxSelectSteps] = {};
};

// The selection after the caller's SELECT (P1, P2, data) succeeded.
void AddSelect(Selection &selection, std::uint8_t p1, std::uint8_t p2,
               std::span<const std::uint8_t> data);
// Selects the steps again: 0 when done, 1 when the card refused one (its status word in *sw), or
// the transport's negative result.
int Reselect(DEVHANDLE device, const Selection &selection, std::uint16_t *sw);
