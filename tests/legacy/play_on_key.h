// One run of the tests that put several processes on one key: the key readied for the roles of
// library_roles.h (formatted as tokenbase formats it, the files of the "files" children made),
// the children started (key_sharing.h, child_group.h), and the key checked when they are done.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "key_intact.h"

namespace legacytest {

// Roles played at once, each by a child of its own, under a name for the test.
struct Scenario {
  const char *name;
  std::vector<std::string> roles;
};
inline void PrintTo(const Scenario &scenario, std::ostream *out) { *out << scenario.name; }

// Plays `roles` for `work_ms` on `key`, a provisioned virtual key that no handle holds, with
// gtest failures for every child that did not pass and for every way the key is no longer as
// it was. The key's image from before the children started.
KeyImage PlayOnKey(const std::string &key, const std::vector<std::string> &roles, int work_ms);

}  // namespace legacytest
