#include "fuzz/harness/harness.h"

#include "fuzz/harness/families.h"
#include "skf/api/hash_handle.h"

#include <algorithm>
#include <new>

namespace fuzz {

Run::~Run() {
  if (device) SKF_DisConnectDev(device);
  std::sort(records_.begin(), records_.end());
  records_.erase(std::unique(records_.begin(), records_.end()), records_.end());
  for (void *record : records_) ::operator delete(record);
  std::sort(hashes_.begin(), hashes_.end());
  hashes_.erase(std::unique(hashes_.begin(), hashes_.end()), hashes_.end());
  for (void *record : hashes_) delete AsHash(record);
}

bool Run::Connect() {
  if (device) SKF_DisConnectDev(device);
  device = nullptr;
  return SKF_ConnectDev(reader_.c_str(), &device) == SAR_OK && device;
}

void *Run::Keep(void *record) {
  if (record) records_.push_back(record);
  return record;
}

void *Run::KeepHash(void *record) {
  if (record) hashes_.push_back(record);
  return record;
}

void RunScript(std::span<const Operation> table, Script &script, Run &run) {
  SKF_ClearSecureState(nullptr);
  if (!run.Connect()) return;
  while (!script.Done()) {
    const unsigned byte = script.Next();
    const Operation &op = table[byte % table.size()];
    op.run(run, byte / static_cast<unsigned>(table.size()));
  }
}

void RunInput(std::span<const Operation> table, bool caller_data,
              std::span<const std::uint8_t> first, const std::string &reader) {
  Run run(reader);
  if (!caller_data) {
    Script script(first);
    RunScript(table, script, run);
    return;
  }
  const std::size_t head = std::min<std::size_t>(first.size(), 2);
  const std::uint8_t choice[] = {head > 1 ? first[1] : std::uint8_t{0}};
  run.data = first.subspan(head);
  SKF_ClearSecureState(nullptr);
  if (!run.Connect()) return;
  OpenApp(run, 0);
  VerifyUserPin(run, 0);
  OpenContainer(run, choice[0]);
  Script script(first.first(head ? 1 : 0));
  while (!script.Done()) {
    const unsigned byte = script.Next();
    table[byte % table.size()].run(run, byte / static_cast<unsigned>(table.size()));
  }
}

Bytes Filled(std::size_t n, std::uint8_t seed) {
  Bytes out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(seed + 31 * i);
  return out;
}

}  // namespace fuzz
