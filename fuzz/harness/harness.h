// What every fuzz target shares: the script that picks its operations, and the run that
// holds the handles the exports gave out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "skf.h"

namespace fuzz {

using Bytes = std::vector<std::uint8_t>;

// The operations of one run, one script byte each: the byte modulo the number of operations
// picks one, the byte divided by it is the variant (which arguments it passes).
class Script {
 public:
  explicit Script(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  bool Done() const { return at_ >= bytes_.size(); }
  std::uint8_t Next() { return Done() ? 0 : bytes_[at_++]; }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t at_ = 0;
};

// The state of one run against one key. The records behind the handles are released when the
// run ends: a host keeps them for its life, a fuzz target would run out of memory.
class Run {
 public:
  explicit Run(std::string reader) : reader_(std::move(reader)) {}
  ~Run();
  Run(const Run &) = delete;
  Run &operator=(const Run &) = delete;

  const std::string &Reader() const { return reader_; }
  // Connects (again) to the run's reader; false when that fails.
  bool Connect();
  DEVHANDLE device = nullptr;
  HAPPLICATION app = nullptr;
  HCONTAINER container = nullptr;
  HANDLE key = nullptr;
  HANDLE hash = nullptr;
  HANDLE agreement = nullptr;
  // The caller's data of the caller-data target.
  std::span<const std::uint8_t> data;
  // Takes ownership of a record the exports handed out (nullptr is ignored): plain records,
  // and the digest records, which own memory of their own.
  void *Keep(void *record);
  void *KeepHash(void *record);

 private:
  std::string reader_;
  std::vector<void *> records_;
  std::vector<void *> hashes_;
};

struct Operation {
  const char *name;
  std::function<void(Run &, unsigned variant)> run;
};

// Runs the script's operations of `table` on `run`; the run is connected first.
void RunScript(std::span<const Operation> table, Script &script, Run &run);

// One input of a target on the reader `reader`. `first` is the answer-to-reset chunk: the
// script, or for the caller-data target one operation byte, one byte choosing the container
// (bit 0: the RSA container) and the caller's data.
void RunInput(std::span<const Operation> table, bool caller_data,
              std::span<const std::uint8_t> first, const std::string &reader);

// Deterministic filler bytes.
Bytes Filled(std::size_t n, std::uint8_t seed);

// PINs and names of a provisioned virtual key, which the recorded seeds use.
inline constexpr char kAppName[] = "KEYSIM-APP";
inline constexpr char kPin[] = "12345678";
inline constexpr char kSm2Container[] = "SM2-CONTAINER";
inline constexpr char kRsaContainer[] = "RSA-CONTAINER";

}  // namespace fuzz
