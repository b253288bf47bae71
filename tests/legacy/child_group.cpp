#include "child_group.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <utility>

#include "child_process.h"
#include "daemon_harness.h"
#include "key_sharing.h"

namespace keyshare {

namespace {

using Clock = std::chrono::steady_clock;

// Longer than a child waits for its turn: a child that neither sets up nor ends is given up.
constexpr auto kReadyWait = std::chrono::seconds(130);
constexpr auto kPoll = std::chrono::milliseconds(5);

}  // namespace

ChildGroup::ChildGroup(std::string reader, int work_ms)
    : reader_(std::move(reader)), work_ms_(work_ms) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / riotest::fresh_key_name("key-sharing");
  std::filesystem::create_directory(folder);
  folder_ = folder.string();
}

ChildGroup::~ChildGroup() {
  for (int index = 1; index <= static_cast<int>(children_.size()); ++index) {
    std::ofstream turn(TurnMark(folder_, index));
  }
  Go();
  Join();
  std::error_code ec;
  std::filesystem::remove_all(folder_, ec);
}

void ChildGroup::Start(const std::vector<std::string> &roles) {
  for (const std::string &role : roles) {
    Child &child = children_.emplace_back();
    child.role = role;
    const std::vector<std::string> args =
        ChildArgs(reader_, role, work_ms_, folder_, static_cast<int>(children_.size()));
    child.thread = std::thread([&child, args] {
      child.exit_code = RunSelf(args);
      child.ended = true;
    });
  }
}

bool ChildGroup::SetUpInTurn() {
  int index = 0;
  for (const Child &child : children_) {
    ++index;
    if (!std::ofstream(TurnMark(folder_, index))) return false;
    const Clock::time_point give_up = Clock::now() + kReadyWait;
    std::error_code ec;
    while (!child.ended && !std::filesystem::exists(ReadyMark(folder_, index), ec)) {
      if (Clock::now() > give_up) return false;
      std::this_thread::sleep_for(kPoll);
    }
  }
  return true;
}

void ChildGroup::Go() { std::ofstream go(GoMark(folder_)); }

std::vector<std::string> ChildGroup::Join() {
  std::vector<std::string> failed;
  for (Child &child : children_) {
    if (child.thread.joinable()) child.thread.join();
    if (child.exit_code != kChildPassed) {
      failed.push_back(child.role + ": " + ExitText(child.exit_code));
    }
  }
  return failed;
}

}  // namespace keyshare
