// The keys keysimd serves: one Card per key file of the state directory, each in its own
// virtual reader. A key's mutex serialises everything done to its card.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "emulator.h"

namespace keysimd {

struct Key {
  std::mutex lock;
  std::string name;
  std::string path;  // <state>/<name>.key
  keysim::Card card;
  bool inserted = true;
  uint32_t id = 0;           // index in the store, stable for the daemon's life
  uint32_t generation = 1;   // bumped on every insertion; handles of earlier ones are stale
  std::vector<uint8_t> atr;  // last answer-to-reset (vpcd asks for it without a reset)
  bool log_started = false;  // the session log (--log DIR) has its first chunks
  bool log_failed = false;
  uint32_t answer_delay_ms = 0;  // knob answer_delay: each command answered this much later
};

struct Store {
  std::mutex lock;  // guards keys (the vector; each Key has its own lock)
  std::string dir;
  std::string log_dir;  // session logs; empty: none
  std::vector<std::unique_ptr<Key>> keys;
};

std::string key_path(const Store &store, const std::string &name);

// Loads every <name>.key of the state directory; false (with a message) on an unreadable one.
bool load_all(Store &store, std::string *err);

// Adds a key to the store, its id the next index; the caller holds store.lock.
Key *add_key(Store &store, std::unique_ptr<Key> key);

// Key by name or id; nullptr when there is none. Loads <name>.key when asked to.
Key *find_key(Store &store, const std::string &name, bool load_from_disk = false);
Key *key_by_id(Store &store, uint32_t id);

// A new key, blank or provisioned, saved to its file and inserted; nullptr (with a message)
// on failure.
Key *create_key(Store &store, const std::string &name, uint32_t serial, bool provisioned,
                std::string *err);

// Saves the key's file; a failure is reported on stderr and returned.
bool save_key(const Key &key);

}  // namespace keysimd
