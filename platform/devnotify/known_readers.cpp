#include "platform/devnotify/known_readers.h"

#include <algorithm>
#include <mutex>
#include <set>

#include "platform/cardcmd/reader_names.h"

namespace {

std::mutex lock;
std::set<std::string> known;

bool Known(const std::string &name) {
  const std::lock_guard guard(lock);
  return known.contains(name);
}

}  // namespace

std::vector<std::string> ListKeyReaders() {
  std::vector<std::string> names = KeyReaderNames();
  const std::lock_guard guard(lock);
  known.insert(names.begin(), names.end());
  return names;
}

bool IsKeyReader(const std::string &name) {
  if (Known(name)) return true;
  const auto now = ListKeyReaders();
  return std::find(now.begin(), now.end(), name) != now.end();
}
