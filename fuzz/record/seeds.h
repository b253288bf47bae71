// The seed sessions: per target, scripts of operation names that the recorder plays against
// provisioned virtual keys.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "fuzz/harness/families.h"

namespace fuzz {

struct Target {
  const char *name;
  std::span<const Operation> (*ops)();
  bool caller_data;
};
std::span<const Target> Targets();

struct Seed {
  std::string name;
  // Operation names, each optionally followed by ":variant"; for the caller-data target one
  // operation and `data` as the caller's data.
  std::vector<std::string> script;
  unsigned container = 0;  // caller-data target: bit 0 the RSA container
  std::vector<std::uint8_t> data;
};
std::vector<Seed> SeedsOf(const Target &target);

// The answer-to-reset chunk that plays `seed`; empty when a name is unknown.
std::vector<std::uint8_t> FirstChunk(const Target &target, const Seed &seed);

}  // namespace fuzz
