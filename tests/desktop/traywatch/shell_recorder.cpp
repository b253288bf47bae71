#include "shell_recorder.h"

#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>

#include "traywatch/tray_icon.h"

namespace traytest {

namespace {

struct State {
  std::mutex lock;
  bool pass_on = false;
  BOOL answer = TRUE;
  std::string log_file;
  std::vector<ShellCall> calls;
};

// Built on first use: the recorded program starts recording from a static initialiser.
State &state() {
  static State s;
  return s;
}

std::string Hex(const std::string &bytes) {
  if (bytes.empty()) return "-";
  std::string out;
  char pair[3];
  for (unsigned char c : bytes) {
    std::snprintf(pair, sizeof pair, "%02x", c);
    out += pair;
  }
  return out;
}

std::string Unhex(const std::string &hex) {
  std::string out;
  if (hex == "-") return out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return out;
}

std::string Line(const ShellCall &c) {
  std::ostringstream o;
  o << c.message << ' ' << c.size << ' ' << c.flags << ' ' << c.id << ' ' << c.callback << ' '
    << c.window << ' ' << c.icon << ' ' << c.timeout << ' ' << c.info_flags << ' ' << c.result
    << ' ' << Hex(c.tip) << ' ' << Hex(c.info) << ' ' << Hex(c.title) << '\n';
  return o.str();
}

BOOL WINAPI Record(DWORD message, PNOTIFYICONDATAA data) {
  ShellCall c;
  c.message = message;
  c.size = data->cbSize;
  c.flags = data->uFlags;
  c.id = data->uID;
  c.callback = data->uCallbackMessage;
  c.window = reinterpret_cast<UINT_PTR>(data->hWnd);
  c.icon = data->hIcon != nullptr;
  c.timeout = data->uTimeout;
  c.info_flags = data->dwInfoFlags;
  c.tip.assign(data->szTip, strnlen(data->szTip, sizeof data->szTip));
  c.info.assign(data->szInfo, strnlen(data->szInfo, sizeof data->szInfo));
  c.title.assign(data->szInfoTitle, strnlen(data->szInfoTitle, sizeof data->szInfoTitle));
  std::lock_guard<std::mutex> hold(state().lock);
  c.result = state().pass_on ? Shell_NotifyIconA(message, data) : state().answer;
  state().calls.push_back(c);
  if (!state().log_file.empty()) {
    std::ofstream(state().log_file, std::ios::app | std::ios::binary) << Line(c);
  }
  return c.result;
}

}  // namespace

void StartRecording(bool pass_on, BOOL answer, const std::string &log_file) {
  std::lock_guard<std::mutex> hold(state().lock);
  state().pass_on = pass_on;
  state().answer = answer;
  state().log_file = log_file;
  g_trayShellCall = &Record;
}

void SetAnswer(BOOL answer) {
  std::lock_guard<std::mutex> hold(state().lock);
  state().answer = answer;
}

std::vector<ShellCall> Recorded() {
  std::lock_guard<std::mutex> hold(state().lock);
  return state().calls;
}

void Clear() {
  std::lock_guard<std::mutex> hold(state().lock);
  state().calls.clear();
}

std::vector<ShellCall> ReadLog(const std::string &log_file) {
  std::vector<ShellCall> calls;
  std::ifstream in(log_file, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    ShellCall c;
    std::string tip, info, title;
    if (fields >> c.message >> c.size >> c.flags >> c.id >> c.callback >> c.window >> c.icon >>
        c.timeout >> c.info_flags >> c.result >> tip >> info >> title) {
      c.tip = Unhex(tip);
      c.info = Unhex(info);
      c.title = Unhex(title);
      calls.push_back(c);
    }
  }
  return calls;
}

}  // namespace traytest
