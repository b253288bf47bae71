// The scripted user as a fake pinentry: the answers go to a file it reads, its log comes back.
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "pin_ui.h"
#include "skf/card/pin_texts.h"

struct ScriptedUser::State {
  std::string folder;
};

namespace {

std::string Unescape(const std::string &s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

}  // namespace

bool UiAvailable() { return true; }

ScriptedUser::ScriptedUser(std::vector<UiStep> steps) : state_(new State) {
  char folder[] = "/tmp/pin-ui.XXXXXX";
  state_->folder = mkdtemp(folder) ? folder : "/tmp";
  std::ofstream answers(state_->folder + "/answers");
  for (const UiStep &s : steps) {
    switch (s.action) {
      case UiAction::kEnterPin:
        answers << s.pin << '\n';
        break;
      case UiAction::kCancelDialog:
      case UiAction::kMessageCancel:
        answers << "CANCEL\n";
        break;
      case UiAction::kMessageOk:
        answers << "OK\n";
        break;
      case UiAction::kDialogMessageOk:  // pinentry shows it in the prompt itself
        break;
    }
  }
  setenv("FAKE_PINENTRY_ANSWERS", (state_->folder + "/answers").c_str(), 1);
  setenv("FAKE_PINENTRY_LOG", (state_->folder + "/log").c_str(), 1);
  static const bool in_path = [] {
    const char *path = getenv("PATH");
    setenv("PATH", (std::string(FAKE_PINENTRY_DIR) + ":" + (path ? path : "/usr/bin")).c_str(), 1);
    return true;
  }();
  (void)in_path;
}

ScriptedUser::~ScriptedUser() {
  unlink((state_->folder + "/answers").c_str());
  unlink((state_->folder + "/log").c_str());
  rmdir(state_->folder.c_str());
  delete state_;
}

std::vector<UiSeen> ScriptedUser::Finish() {
  std::vector<UiSeen> seen;
  std::ifstream log(state_->folder + "/log");
  std::string line, desc;
  while (std::getline(log, line)) {
    const std::size_t space = line.find(' ');
    const std::string verb = line.substr(0, space);
    const std::string arg = space == std::string::npos ? "" : Unescape(line.substr(space + 1));
    if (verb == "SETDESC") desc = arg;
    if (verb == "SETTITLE") {
      EXPECT_EQ(arg, kPinCaption);
    }
    if (verb == "GETPIN") {
      EXPECT_EQ(desc, kPinDialogText);
      seen.push_back({UiSeen::kDialog, ""});
    }
    if (verb == "SETPROMPT") {
      EXPECT_EQ(arg, kPinFieldLabel);
    }
    if (verb == "SETERROR") seen.push_back({UiSeen::kDialogMessage, arg});
    if (verb == "CONFIRM") seen.push_back({UiSeen::kOkCancel, desc});
    if (verb == "MESSAGE") seen.push_back({UiSeen::kOkOnly, desc});
  }
  return seen;
}
