// The children of the tests that put several processes on one key: the test program started
// again (child_process.h) to play one role on the key. Each child waits for its turn to set its
// role up (one child at a time, so that only their rounds meet on the key), says it is ready,
// waits for the word to start, then plays rounds for the time it was given, checking every
// result. It reports through its exit code and a few lines on stderr, each naming it.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace keyshare {

// What one child saw go wrong, and how many results it checked.
struct Worker {
  std::string name;
  // Each kind of failure (the first few kinds) and how often it came.
  std::vector<std::pair<std::string, int>> failures;
  int failed = 0;   // results that came back wrong
  int checked = 0;  // results that came back and were right

  void Fail(const std::string &what);
};

using Round = std::function<void(Worker &)>;

// A role: set up on the key in `reader`, its round; an empty round and `why` when that failed.
struct Role {
  std::string name;
  std::function<Round(const std::string &reader, std::string &why)> setup;
};

// Exit codes of a child.
inline constexpr int kChildPassed = 0;
inline constexpr int kChildFailed = 1;    // a result came back wrong, or none came back right
inline constexpr int kChildNotSetUp = 2;  // its role could not be set up
inline constexpr int kChildNoStart = 3;   // the word to start never came, or bad arguments
// What an exit code means, for the parent's report.
std::string ExitText(int code);

// The arguments that start child `index` playing `role` on `reader` for `work_ms`, its marks in
// `folder`.
std::vector<std::string> ChildArgs(const std::string &reader, const std::string &role, int work_ms,
                                   const std::string &folder, int index);
// The child's work when `argv` holds such arguments, with its role taken from `roles`: its exit
// code. -1 when `argv` does not start a child.
int RunChild(int argc, char **argv, const std::vector<Role> &roles);

// The marks in a child's folder: the parent's word that it may set up, the child's that it
// did, and the parent's word to start.
std::string TurnMark(const std::string &folder, int index);
std::string ReadyMark(const std::string &folder, int index);
std::string GoMark(const std::string &folder);

}  // namespace keyshare
