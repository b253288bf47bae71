// The fault sweep: a write export run on fresh virtual keys once per command position N of its
// fault-free run, with a fault at N: a failing status word, a reader failure, a removed key.
// Every faulted run must end in an error (except at the commands the export passes over by
// design), and what the key holds afterwards is checked over a fresh connection.
#pragma once

#include <functional>
#include <set>
#include <string>

#include "tests/api/keysim_fixture.h"

namespace fault {

enum class Kind { status_word, reader_failure, removal };

// One key and the handles a sweep step works with.
struct Session {
  std::string key;
  DEVHANDLE dev = nullptr;
  HAPPLICATION app = nullptr;
  HCONTAINER container = nullptr;
};

struct Export {
  const char *name = "";
  bool provisioned = true;
  // Before the export, fault-free, after the connection: device authentication, the
  // application KEYSIM-APP, any further steps, this container, the user PIN.
  bool dev_auth = false;
  bool open_app = false;
  const char *container = nullptr;
  bool login = false;
  std::function<void(VirtualKeyTest &, Session &)> setup;
  // Once, on the first fault-free session before its call: what the calls need from the key
  // (all runs start from copies of one key).
  std::function<void(Session &)> prepare;
  std::function<ULONG(Session &)> call;
  // Positions whose failing status word or reader failure the export passes over by design
  // (an unchecked MF selection, an optional selection, a fallback); it may then succeed.
  std::set<int> passed_over;
  // What holds afterwards, on a fresh connection with the application (and the setup's
  // container) opened again; `result` is what the export returned.
  std::function<void(VirtualKeyTest &, Session &, ULONG result)> after;
};

// Runs the sweep of `e` in the test `t`; returns the fault-free command count.
int Sweep(VirtualKeyTest &t, const Export &e);

// Helpers of the tables.
HAPPLICATION OpenApp(DEVHANDLE dev, const char *name = "KEYSIM-APP");
HCONTAINER OpenContainer(HAPPLICATION app, const char *name);
void Login(HAPPLICATION app, const char *pin = "12345678");
// A container named EMPTY in the session's application.
void CreateEmptyContainer(VirtualKeyTest &t, Session &s);
std::string Applications(DEVHANDLE dev);  // the multi-string list; "FAIL" when it fails
std::string Containers(HAPPLICATION app);
std::string Files(HAPPLICATION app);
// The directories a host reads stay readable: the application list, and for every
// application its containers, files and PIN information.
void ExpectDirectoriesReadable(DEVHANDLE dev);

}  // namespace fault
