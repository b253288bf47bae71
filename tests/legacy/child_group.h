// The parent's side of key_sharing.h: children started at once on one key, each from a thread of
// its own, set up one after the other, told to start their rounds together, and waited for.
#pragma once

#include <atomic>
#include <list>
#include <string>
#include <thread>
#include <vector>

namespace keyshare {

class ChildGroup {
 public:
  // Children on the key in `reader`, each playing its role for `work_ms` once started.
  ChildGroup(std::string reader, int work_ms);
  // Lets children still waiting go, and waits for all of them.
  ~ChildGroup();
  ChildGroup(const ChildGroup &) = delete;
  ChildGroup &operator=(const ChildGroup &) = delete;

  // Starts one child per role.
  void Start(const std::vector<std::string> &roles);
  // Lets the children set up one at a time, each once the one before has set up or ended;
  // false when one did neither within the time a child waits for its turn.
  bool SetUpInTurn();
  // The word to start.
  void Go();
  // Waits for every child to end; one line for each that did not pass, naming it and why.
  std::vector<std::string> Join();

 private:
  struct Child {
    std::string role;
    std::thread thread;
    int exit_code = -1;  // written by its thread before `ended`
    std::atomic<bool> ended{false};
  };

  std::string reader_;
  int work_ms_;
  std::string folder_;
  std::list<Child> children_;
};

}  // namespace keyshare
