#include "key_sharing.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <thread>

namespace keyshare {

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kChildFlag[] = "--key-sharing-child";
constexpr std::size_t kFailureKinds = 8;
// Wine starts processes slowly, and all of them at once.
constexpr auto kStartWait = std::chrono::seconds(120);
constexpr auto kPoll = std::chrono::milliseconds(5);

bool WaitFor(const std::string &path) {
  const Clock::time_point give_up = Clock::now() + kStartWait;
  std::error_code ec;
  while (!std::filesystem::exists(path, ec)) {
    if (Clock::now() > give_up) return false;
    std::this_thread::sleep_for(kPoll);
  }
  return true;
}

bool Touch(const std::string &path) { return static_cast<bool>(std::ofstream(path)); }

}  // namespace

void Worker::Fail(const std::string &what) {
  ++failed;
  for (auto &[text, count] : failures) {
    if (text == what) return void(++count);
  }
  if (failures.size() < kFailureKinds) failures.emplace_back(what, 1);
}

std::string ExitText(int code) {
  switch (code) {
    case kChildPassed:
      return "passed";
    case kChildFailed:
      return "results came back wrong (its lines on stderr)";
    case kChildNotSetUp:
      return "its role could not be set up (its line on stderr)";
    case kChildNoStart:
      return "never started its rounds";
    case -1:
      return "could not be started, or did not end normally";
    default:
      return "ended with exit code " + std::to_string(code);
  }
}

std::vector<std::string> ChildArgs(const std::string &reader, const std::string &role, int work_ms,
                                   const std::string &folder, int index) {
  return {kChildFlag, reader, role, std::to_string(work_ms), folder, std::to_string(index)};
}

std::string TurnMark(const std::string &folder, int index) {
  return (std::filesystem::path(folder) / ("turn-" + std::to_string(index))).string();
}

std::string ReadyMark(const std::string &folder, int index) {
  return (std::filesystem::path(folder) / ("ready-" + std::to_string(index))).string();
}

std::string GoMark(const std::string &folder) {
  return (std::filesystem::path(folder) / "go").string();
}

int RunChild(int argc, char **argv, const std::vector<Role> &roles) {
  if (argc < 2 || std::strcmp(argv[1], kChildFlag) != 0) return -1;
  if (argc != 7) return kChildNoStart;
  const std::string reader = argv[2], role_name = argv[3], folder = argv[5];
  const int work_ms = std::atoi(argv[4]), index = std::atoi(argv[6]);
  Worker w;
  w.name = role_name + " (child " + std::to_string(index) + ")";
  const Role *role = nullptr;
  for (const Role &r : roles) role = r.name == role_name ? &r : role;
  if (!WaitFor(TurnMark(folder, index))) return kChildNoStart;
  std::string why = "no such role";
  const Round round = role ? role->setup(reader, why) : Round();
  if (!round) {
    std::fprintf(stderr, "%s: not set up: %s\n", w.name.c_str(), why.c_str());
    Touch(ReadyMark(folder, index));
    return kChildNotSetUp;
  }
  if (!Touch(ReadyMark(folder, index)) || !WaitFor(GoMark(folder))) return kChildNoStart;

  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(work_ms);
  int rounds = 0;
  do {
    try {
      round(w);
    } catch (const std::exception &e) {
      w.Fail(std::string("an answer OpenSSL could not take: ") + e.what());
    }
    ++rounds;
  } while (Clock::now() < end);

  for (const auto &[text, count] : w.failures) {
    std::fprintf(stderr, "%s: %s (%d times)\n", w.name.c_str(), text.c_str(), count);
  }
  if (w.checked == 0) std::fprintf(stderr, "%s: no result came back right\n", w.name.c_str());
  std::fprintf(stderr, "%s: %d rounds, %d results right, %d wrong\n", w.name.c_str(), rounds,
               w.checked, w.failed);
  return w.failed == 0 && w.checked > 0 ? kChildPassed : kChildFailed;
}

}  // namespace keyshare
