// The prompt through `pinentry` (GnuPG's PIN entry programs) over the Assuan protocol: one
// program run per prompt or message, on a socket pair so that a vanished program cannot raise
// SIGPIPE in the host.
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/os/cancel.h"
#include "platform/os/prompt.h"

extern char **environ;

namespace os {

namespace {

constexpr char kProgram[] = "pinentry";
constexpr std::size_t kLineMax = 1000;  // Assuan's line limit

void Wipe(std::string &s) {
  volatile char *p = s.data();
  for (std::size_t i = 0; i < s.size(); ++i) p[i] = 0;
  s.clear();
}

// A text that may hold a PIN: wiped when it goes, also on a cancelled thread's way out.
struct SecretText {
  std::string text;
  ~SecretText() { Wipe(text); }
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// One pinentry process and its end of the Assuan connection. A thread cancelled while the
// program has a command (the user still at the prompt) leaves it out of step: it is stopped
// then, not waited for.
class Session {
 public:
  Session() = default;
  ~Session() {
    const NoCancel hold;  // runs on a cancelled thread's way out too
    if (fd_ >= 0 && in_step_) Command("BYE");
    Close();
  }
  Session(const Session &) = delete;
  Session &operator=(const Session &) = delete;

  // Starts the program and reads its greeting; false when it cannot.
  bool Start() {
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, sv[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, sv[1], STDOUT_FILENO);
    char *argv[] = {const_cast<char *>(kProgram), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, kProgram, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    {
      const NoCancel hold;
      close(sv[1]);
      if (spawned != 0) close(sv[0]);
    }
    if (spawned != 0) return false;
    fd_ = sv[0];
    pid_ = pid;
    in_step_ = false;
    if (!Answer(nullptr, 0)) Close();
    return IsOpen();
  }

  bool IsOpen() const { return fd_ >= 0; }

  // Sends one command with an optional argument (percent-escaped) and reads up to the final
  // OK or ERR. Data lines are decoded into `data`, at most `data_max` bytes. True for OK.
  bool Command(std::string_view verb, const char *argument = nullptr, std::string *data = nullptr,
               std::size_t data_max = 0) {
    if (fd_ < 0) return false;
    std::string line(verb);
    if (argument) {
      line += ' ';
      for (const char *p = argument; *p; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c == '%' || c < 0x20) {
          static constexpr char kHex[] = "0123456789ABCDEF";
          line += '%';
          line += kHex[c >> 4];
          line += kHex[c & 0x0F];
        } else {
          line += static_cast<char>(c);
        }
      }
    }
    line += '\n';
    if (line.size() > kLineMax) {
      Close();
      return false;
    }
    in_step_ = false;
    if (!Send(line)) {
      Close();
      return false;
    }
    return Answer(data, data_max);
  }

 private:
  // Reads up to the final OK (true) or ERR line; data lines go to `data`. The connection is
  // closed when it ends or breaks the protocol first.
  bool Answer(std::string *data, std::size_t data_max) {
    SecretText answer;
    while (ReadLine(answer.text)) {
      const bool ok = answer.text == "OK" || answer.text.rfind("OK ", 0) == 0;
      if (ok || answer.text.rfind("ERR", 0) == 0) {
        in_step_ = true;
        return ok;
      }
      if (answer.text.rfind("D ", 0) == 0 && data)
        Decode(std::string_view(answer.text).substr(2), *data, data_max);
    }
    Close();
    return false;
  }

  bool Send(const std::string &line) {
    std::size_t done = 0;
    while (done < line.size()) {
      const ssize_t n = send(fd_, line.data() + done, line.size() - done, MSG_NOSIGNAL);
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

  // One line without its LF; false at the end of the connection or on an overlong line.
  bool ReadLine(std::string &line) {
    Wipe(line);
    char c = 0;
    while (line.size() <= kLineMax) {
      const ssize_t n = recv(fd_, &c, 1, 0);
      if (n <= 0) return false;
      if (c == '\n') return true;
      line += c;
    }
    return false;
  }

  static void Decode(std::string_view text, std::string &out, std::size_t max) {
    for (std::size_t i = 0; i < text.size() && out.size() < max; ++i) {
      int v = static_cast<unsigned char>(text[i]);
      if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
          HexValue(text[i + 2]) >= 0) {
        v = HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]);
        i += 2;
      }
      out += static_cast<char>(v);
    }
  }

  // Closes the connection and waits for the program, stopping it first when it is out of step.
  void Close() {
    const NoCancel hold;
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (pid_ > 0) {
      if (!in_step_) kill(pid_, SIGTERM);
      int status = 0;
      while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
    }
    pid_ = -1;
  }

  int fd_ = -1;
  pid_t pid_ = -1;
  bool in_step_ = true;  // no command is waiting for its answer
};

}  // namespace

int RunPinPrompt(ModuleHandle /*module*/, const PinPrompt &prompt) {
  if (prompt.read_max < 1 || static_cast<std::size_t>(prompt.read_max) >= prompt.text.size()) {
    return -1;
  }
  Session s;
  if (!s.Start() || !s.Command("SETTITLE", prompt.caption) ||
      !s.Command("SETDESC", prompt.description) || !s.Command("SETPROMPT", prompt.prompt)) {
    return -1;
  }
  for (;;) {
    SecretText entered;
    std::memset(prompt.text.data(), 0, prompt.text.size());
    const bool ok =
        s.Command("GETPIN", nullptr, &entered.text, static_cast<std::size_t>(prompt.read_max));
    if (!ok) return s.IsOpen() ? kIdCancel : -1;
    std::memcpy(prompt.text.data(), entered.text.data(), entered.text.size());
    const char *message = prompt.check ? prompt.check(prompt.text.data()) : nullptr;
    if (!message) return kIdOk;
    if (!s.Command("SETERROR", message)) return -1;
  }
}

int ShowMessage(const char *text, const char *caption, unsigned style) {
  Session s;
  if (!s.Start() || !s.Command("SETTITLE", caption) || !s.Command("SETDESC", text)) return 0;
  if ((style & 0x0F) == kMbOkCancel) {
    if (s.Command("CONFIRM")) return kIdOk;
    return s.IsOpen() ? kIdCancel : 0;
  }
  return s.Command("MESSAGE") ? kIdOk : 0;
}

}  // namespace os
