// The keys keysimd serves.
#include "keys.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "protocol.h"
#include "provision.h"

namespace keysimd {

namespace fs = std::filesystem;

std::string key_path(const Store &store, const std::string &name) {
  return (fs::path(store.dir) / (name + ".key")).string();
}

Key *add_key(Store &store, std::unique_ptr<Key> key) {
  key->id = uint32_t(store.keys.size());
  store.keys.push_back(std::move(key));
  return store.keys.back().get();
}

static std::unique_ptr<Key> load_key(const Store &store, const std::string &name,
                                     std::string *err) {
  auto key = std::make_unique<Key>();
  key->name = name;
  key->path = key_path(store, name);
  if (!keysim::card_load(key->card, key->path, err)) return nullptr;
  return key;
}

bool load_all(Store &store, std::string *err) {
  std::error_code ec;
  std::vector<std::string> names;
  for (const auto &entry : fs::directory_iterator(store.dir, ec)) {
    fs::path p = entry.path();
    if (p.extension() != ".key" || !entry.is_regular_file()) continue;
    std::string name = p.stem().string();
    if (keysim::proto::valid_key_name(name)) names.push_back(name);
  }
  if (ec) {
    *err = store.dir + ": " + ec.message();
    return false;
  }
  std::sort(names.begin(), names.end());
  std::lock_guard g(store.lock);
  for (const auto &name : names) {
    std::string why;
    auto key = load_key(store, name, &why);
    if (!key) {
      *err = name + ": " + why;
      return false;
    }
    add_key(store, std::move(key));
  }
  return true;
}

Key *find_key(Store &store, const std::string &name, bool load_from_disk) {
  std::lock_guard g(store.lock);
  for (auto &k : store.keys)
    if (k->name == name) return k.get();
  if (!load_from_disk || !keysim::proto::valid_key_name(name)) return nullptr;
  std::string why;
  auto key = load_key(store, name, &why);
  if (!key) return nullptr;
  key->inserted = false;  // the caller inserts it
  key->generation = 0;
  return add_key(store, std::move(key));
}

Key *key_by_id(Store &store, uint32_t id) {
  std::lock_guard g(store.lock);
  return id < store.keys.size() ? store.keys[id].get() : nullptr;
}

Key *create_key(Store &store, const std::string &name, uint32_t serial, bool provisioned,
                std::string *err) {
  if (!keysim::proto::valid_key_name(name)) {
    *err = "invalid key name";
    return nullptr;
  }
  // The card is built before the store is locked: provisioning takes a while.
  auto key = std::make_unique<Key>();
  key->name = name;
  key->path = key_path(store, name);
  keysim::card_init_blank(key->card, serial);
  if (provisioned && !keysim::card_provision(key->card, keysim::ProvisionPlan{}, err))
    return nullptr;
  std::lock_guard g(store.lock);
  for (auto &k : store.keys)
    if (k->name == name) {
      *err = "key exists";
      return nullptr;
    }
  std::error_code ec;
  if (fs::exists(key->path, ec)) {
    *err = "key file exists";
    return nullptr;
  }
  if (!keysim::card_save(key->card, key->path, err)) return nullptr;
  return add_key(store, std::move(key));
}

bool save_key(const Key &key) {
  std::string err;
  if (keysim::card_save(key.card, key.path, &err)) return true;
  std::fprintf(stderr, "keysimd: saving %s failed: %s\n", key.name.c_str(), err.c_str());
  return false;
}

}  // namespace keysimd
