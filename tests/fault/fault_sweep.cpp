#include "fault_sweep.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>

namespace fault {

namespace {

constexpr char kFailedList[] = "FAIL";
const char *const kKindNames[] = {"status word 6F00", "reader failure", "removal"};

bool SetFault(const std::string &key, Kind kind, int n) {
  const std::string at = std::to_string(n);
  switch (kind) {
    case Kind::status_word:
      return vkey::Knob(key, "fault_sw", (at + ":6F00").c_str());
    case Kind::reader_failure:
      return vkey::Knob(key, "fault_reader", at.c_str());
    case Kind::removal:
      return vkey::Knob(key, "remove_at", at.c_str());
  }
  return false;
}

template <typename Enum, typename Handle>
std::string List(Enum enumerate, Handle handle) {
  ULONG size = 0;
  if (enumerate(handle, nullptr, &size) != SAR_OK || size == 0) return kFailedList;
  std::string list(size, '\0');
  if (enumerate(handle, list.data(), &size) != SAR_OK) return kFailedList;
  list.resize(size);
  return list;
}

// The names of a multi-string.
std::vector<std::string> Names(const std::string &list) {
  std::vector<std::string> names;
  for (std::size_t at = 0; at < list.size() && list[at];) {
    names.push_back(list.c_str() + at);
    at += names.back().size() + 1;
  }
  return names;
}

// A fresh copy of the template key with the export's setup done; its session.
Session Start(VirtualKeyTest &t, const Export &e, const std::string &key_template) {
  Session s;
  s.key = vkey::CloneKey(key_template);
  if (s.key.empty()) {
    ADD_FAILURE() << "no key";
    return s;
  }
  DEVHANDLE dev = nullptr;
  if (SKF(SKF_ConnectDev)(vkey::ReaderOf(s.key).c_str(), &dev) == SAR_OK) s.dev = dev;
  if (e.dev_auth) {
    const BYTE any[16] = {};
    EXPECT_EQ(SKF(SKF_DevAuth)(s.dev, any, sizeof any), SAR_OK);
  }
  if (e.open_app || e.container) s.app = OpenApp(s.dev);
  if (e.setup) e.setup(t, s);
  if (e.container) s.container = OpenContainer(s.app, e.container);
  if (e.login) Login(s.app);
  return s;
}

// A new connection to the key (inserted again after a removal) with the application and the
// setup's container opened again by name.
void Reconnect(Session &s, const char *container) {
  if (s.dev) SKF(SKF_DisConnectDev)(s.dev);
  s.dev = nullptr;
  vkey::Insert(s.key);
  DEVHANDLE dev = nullptr;
  if (SKF(SKF_ConnectDev)(vkey::ReaderOf(s.key).c_str(), &dev) == SAR_OK) s.dev = dev;
  s.app = nullptr;
  s.container = nullptr;
  char name[] = "KEYSIM-APP";
  HAPPLICATION app = nullptr;
  if (SKF(SKF_OpenApplication)(s.dev, name, &app) == SAR_OK) s.app = app;
  if (s.app && container) {
    std::string text = container;
    HCONTAINER c = nullptr;
    if (SKF(SKF_OpenContainer)(s.app, text.data(), &c) == SAR_OK) s.container = c;
  }
}

// Failed commands (count not answered 9000 or 61xx) by CLA INS, from the key's statistics.
std::map<std::string, long long> Failures(const std::string &key) {
  std::map<std::string, long long> failed;
  std::istringstream in(vkey::StatsText(key));
  std::string line;
  while (std::getline(in, line)) {
    unsigned long long count = 0, ok = 0;
    if (line.size() > 5 && std::sscanf(line.c_str() + 5, " count %llu ok %llu", &count, &ok) == 2) {
      failed[line.substr(0, 5)] = static_cast<long long>(count - ok);
    }
  }
  return failed;
}

// The instructions that failed between two statistics, for the failure messages.
std::string NewFailures(const std::map<std::string, long long> &before,
                        const std::map<std::string, long long> &after) {
  std::string text;
  for (const auto &[ins, n] : after) {
    const auto it = before.find(ins);
    const long long more = n - (it == before.end() ? 0 : it->second);
    if (more > 0) text += " " + ins + " x" + std::to_string(more);
  }
  return text.empty() ? " none" : text;
}

void Finish(Session &s) {
  if (s.dev) SKF(SKF_DisConnectDev)(s.dev);
  vkey::Remove(s.key);
}

}  // namespace

int Sweep(VirtualKeyTest &t, const Export &e) {
  // Every run starts from a copy of one new key, out of its reader meanwhile.
  const std::string key_template = vkey::CreateKey("fault", e.provisioned);
  if (key_template.empty() || !vkey::Remove(key_template)) {
    ADD_FAILURE() << e.name << ": no key";
    return 0;
  }
  Session clean = Start(t, e, key_template);
  if (clean.key.empty()) {
    ADD_FAILURE() << e.name << ": no key";
    return 0;
  }
  if (e.prepare) e.prepare(clean);
  const std::uint64_t before = vkey::Commands(clean.key);
  EXPECT_EQ(e.call(clean), SAR_OK) << e.name << " without a fault";
  const int count = static_cast<int>(vkey::Commands(clean.key) - before);
  Reconnect(clean, e.container);
  e.after(t, clean, SAR_OK);
  Finish(clean);

  for (int n = 1; n <= count; ++n) {
    for (Kind kind : {Kind::status_word, Kind::reader_failure, Kind::removal}) {
      SCOPED_TRACE(std::string(e.name) + ": " + kKindNames[int(kind)] + " at command " +
                   std::to_string(n) + " of " + std::to_string(count));
      Session s = Start(t, e, key_template);
      if (!SetFault(s.key, kind, n)) {
        ADD_FAILURE() << "fault not set";
        continue;
      }
      const auto failed_before = Failures(s.key);
      const ULONG result = e.call(s);
      if (kind == Kind::removal || !e.passed_over.count(n)) {
        EXPECT_NE(result, SAR_OK) << "a failed command ended in success; failed commands:"
                                  << NewFailures(failed_before, Failures(s.key));
      }
      Reconnect(s, e.container);
      e.after(t, s, result);
      Finish(s);
    }
  }
  return count;
}

HAPPLICATION OpenApp(DEVHANDLE dev, const char *name) {
  std::string text = name;
  HAPPLICATION app = nullptr;
  EXPECT_EQ(SKF(SKF_OpenApplication)(dev, text.data(), &app), SAR_OK) << name;
  return app;
}

HCONTAINER OpenContainer(HAPPLICATION app, const char *name) {
  std::string text = name;
  HCONTAINER c = nullptr;
  EXPECT_EQ(SKF(SKF_OpenContainer)(app, text.data(), &c), SAR_OK) << name;
  return c;
}

void Login(HAPPLICATION app, const char *pin) {
  std::string text = pin;
  ULONG retries = 0;
  EXPECT_EQ(SKF(SKF_VerifyPIN)(app, USER_TYPE, text.data(), &retries), SAR_OK);
}

void CreateEmptyContainer(VirtualKeyTest &, Session &s) {
  char name[] = "EMPTY";
  HCONTAINER c = nullptr;
  EXPECT_EQ(SKF(SKF_CreateContainer)(s.app, name, &c), SAR_OK);
}

std::string Applications(DEVHANDLE dev) { return List(SKF(SKF_EnumApplication), dev); }
std::string Containers(HAPPLICATION app) { return List(SKF(SKF_EnumContainer), app); }
std::string Files(HAPPLICATION app) { return List(SKF(SKF_EnumFiles), app); }

void ExpectDirectoriesReadable(DEVHANDLE dev) {
  const std::string apps = Applications(dev);
  ASSERT_NE(apps, kFailedList) << "application list";
  for (const std::string &name : Names(apps)) {
    HAPPLICATION app = OpenApp(dev, name.c_str());
    EXPECT_NE(Containers(app), kFailedList) << name;
    EXPECT_NE(Files(app), kFailedList) << name;
    ULONG max = 0, left = 0;
    BOOL is_default = FALSE;
    EXPECT_EQ(SKF(SKF_GetPINInfo)(app, USER_TYPE, &max, &left, &is_default), SAR_OK) << name;
  }
}

}  // namespace fault
