// keysimd as a process among processes: restart with the same state, several client
// processes on one key, clients killed mid-command, malformed frames, keysimctl. Native only.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "daemon_harness.h"
#include "net.h"
#include "readerio.h"

using namespace riotest;
using keysim::proto::Op;

namespace {

const uint8_t kChallenge8[] = {0x00, 0x84, 0x00, 0x00, 0x08};

uint32_t challenge(QX_DEVHANDLE h) {
  uint8_t resp[300];
  uint16_t len = 0;
  uint32_t sw = QX_ApduT0(h, kChallenge8, sizeof kChallenge8, resp, &len, 1);
  return sw == READERIO_SW_OK && len != 8 ? 0 : sw;
}

uint32_t max_data(QX_DEVHANDLE h) {
  QX_READER_INFO info{};
  info.cbSize = sizeof info;
  info.dwMaxDataLength = 134;
  return QX_GetReaderInfo(h, &info) == READERIO_SW_OK ? info.dwMaxDataLength : 0;
}

// Exit status of a shell command; its standard output in *out.
int run(const std::string &cmd, std::string *out = nullptr) {
  FILE *p = popen((cmd + " 2>&1").c_str(), "r");
  if (!p) return -1;
  std::string text;
  char buf[512];
  while (size_t n = fread(buf, 1, sizeof buf, p)) text.append(buf, n);
  int status = pclose(p);
  if (out) *out = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class Process : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = make_temp_dir();
    ASSERT_TRUE(start_daemon(d, dir));
    set_addr_env(d.addr);
  }
  void TearDown() override {
    if (d.pid) {
      EXPECT_TRUE(stop_daemon(d));
    }
    remove_dir(dir);
  }
  std::string create(uint32_t serial = 1) {
    std::string name = fresh_key_name("p");
    EXPECT_EQ(control(d.addr, Op::create, {name}, &serial), 0);
    return name;
  }
  QX_DEVHANDLE open(const std::string &key) {
    QX_DEVHANDLE h = nullptr;
    EXPECT_EQ(QX_OpenPath(reader_of(key).c_str(), &h), READERIO_SW_OK);
    return h;
  }
  std::string ctl(const std::string &args) {
    return std::string(KEYSIMCTL_PATH) + " --addr " + d.addr + " " + args;
  }
  std::string dir;
  Daemon d;
};

TEST_F(Process, KeyStateSurvivesARestart) {
  // A provisioned key: a wrong user PIN costs a try, and the card saves that change.
  std::string key = fresh_key_name("p");
  uint32_t serial = 77;
  ASSERT_EQ(control(d.addr, Op::create, {key}, &serial, 1), 0);
  ASSERT_EQ(control(d.addr, Op::knob, {key, "max_data", "3000"}), 0);
  const uint8_t select_app[] = {0x00, 0xA4, 0x01, 0x00, 0x02, 0xAD, 0x01};
  const uint8_t wrong_pin[] = {0x00, 0x20, 0x00, 0x00, 0x06, 1, 2, 3, 4, 5, 6};
  auto wrong_try = [&](QX_DEVHANDLE h) {
    uint8_t atr[32], resp[300];
    uint16_t n = 0;
    EXPECT_EQ(QX_ResetCard(h, atr, &n, 0), READERIO_SW_OK);
    EXPECT_EQ(QX_ApduT0(h, select_app, sizeof select_app, resp, &n, 1), READERIO_SW_OK);
    return QX_ApduT0(h, wrong_pin, sizeof wrong_pin, resp, &n, 1);
  };
  QX_DEVHANDLE h = open(key);
  EXPECT_EQ(wrong_try(h), 0x63C9u);
  char before[65] = {};
  ASSERT_EQ(QX_GetDescriptor(h, before), READERIO_SW_OK);
  ASSERT_TRUE(stop_daemon(d));
  EXPECT_EQ(challenge(h), READERIO_SW_COMM);  // its daemon is gone
  QX_ClosePort(h);

  ASSERT_TRUE(start_daemon(d, dir));
  set_addr_env(d.addr);
  h = open(key);
  EXPECT_EQ(max_data(h), 3000u);
  char after[65] = {};
  ASSERT_EQ(QX_GetDescriptor(h, after), READERIO_SW_OK);
  EXPECT_STREQ(after, before);
  EXPECT_EQ(wrong_try(h), 0x63C8u);
  QX_ClosePort(h);
}

TEST_F(Process, SeveralProcessesShareOneKey) {
  std::string key = create();
  std::vector<pid_t> kids;
  for (int k = 0; k < 3; ++k) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      QX_DEVHANDLE h = nullptr;
      int bad = QX_OpenPath(reader_of(key).c_str(), &h) != READERIO_SW_OK;
      for (int i = 0; i < 200 && !bad; ++i) bad = challenge(h) != READERIO_SW_OK;
      _exit(bad);
    }
    kids.push_back(pid);
  }
  QX_DEVHANDLE h = open(key);
  for (int i = 0; i < 200; ++i) ASSERT_EQ(challenge(h), READERIO_SW_OK);
  for (pid_t pid : kids) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  QX_ClosePort(h);
}

TEST_F(Process, ClientsKilledMidCommandLeaveTheDaemonServing) {
  std::string key = create();
  pid_t busy = fork();
  ASSERT_GE(busy, 0);
  if (busy == 0) {  // exchanges without pause until killed
    QX_DEVHANDLE h = nullptr;
    QX_OpenPath(reader_of(key).c_str(), &h);
    while (true) challenge(h);
  }
  pid_t half = fork();
  ASSERT_GE(half, 0);
  if (half == 0) {  // announces a 100-byte request, sends 10 bytes of it, then hangs
    keysim::net::Socket s = keysim::net::connect_to(d.addr, 0);
    uint8_t part[14] = {0, 0, 0, 100, uint8_t(Op::transmit)};
    keysim::net::send_all(s, part, sizeof part);
    pause();
    _exit(0);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  for (pid_t pid : {busy, half}) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  EXPECT_EQ(kill(pid_t(d.pid), 0), 0);
  QX_DEVHANDLE h = open(key);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(challenge(h), READERIO_SW_OK);
  QX_ClosePort(h);
}

TEST_F(Process, MalformedRequestsAreRefusedAndServiceGoesOn) {
  std::string key = create();
  // Frame length 0 and one above the bound: the daemon drops the connection.
  for (uint32_t n : {0u, uint32_t(keysim::proto::kMaxBody + 1)}) {
    keysim::net::Socket s = keysim::net::connect_to(d.addr, 2000);
    uint8_t head[4];
    keysim::proto::put_be32(head, n);
    ASSERT_TRUE(keysim::net::send_all(s, head, 4));
    keysim::proto::Bytes reply;
    EXPECT_FALSE(keysim::net::recv_frame(s, reply)) << n;
  }
  // Well-framed nonsense gets an answer.
  struct Case {
    const char *what;
    keysim::proto::Bytes body;
  } cases[] = {
      {"unknown op", {0x7E}},
      {"list with a tail", {uint8_t(Op::list), 0}},
      {"transmit without its blob", {uint8_t(Op::transmit), 0, 0, 0, 0, 0, 0, 0, 1}},
      {"blob longer than the frame",
       {uint8_t(Op::transmit), 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0x10, 0, 0x00}},
      {"create flags out of range", {uint8_t(Op::create), 0, 1, 'x', 0, 0, 0, 1, 7}},
      {"name with a path", {uint8_t(Op::create), 0, 4, '.', '.', '/', 'x', 0, 0, 0, 1, 0}},
  };
  keysim::net::Socket s = keysim::net::connect_to(d.addr, 2000);
  for (auto &c : cases) {
    keysim::proto::Bytes reply;
    ASSERT_TRUE(keysim::net::call(s, c.body, reply)) << c.what;
    EXPECT_NE(reply[0], 0) << c.what;
  }
  QX_DEVHANDLE h = open(key);
  EXPECT_EQ(challenge(h), READERIO_SW_OK);
  QX_ClosePort(h);
}

TEST_F(Process, KeysimctlDrivesTheDaemon) {
  std::string out;
  ASSERT_EQ(run(ctl("create c1 0x10"), &out), 0) << out;
  EXPECT_NE(run(ctl("create c1 0x10")), 0);  // exists
  ASSERT_EQ(run(ctl("list"), &out), 0);
  EXPECT_NE(out.find("c1\tinserted"), std::string::npos) << out;

  EXPECT_EQ(run(ctl("knob c1 max_data 4096"), &out), 0) << out;
  EXPECT_NE(run(ctl("knob c1 no_such_knob 1")), 0);
  QX_DEVHANDLE h = open("c1");
  EXPECT_EQ(max_data(h), 4096u);

  EXPECT_EQ(run(ctl("fault c1 reader 1"), &out), 0) << out;
  EXPECT_EQ(challenge(h) >> 8, 0xFFu);
  EXPECT_EQ(challenge(h), READERIO_SW_OK);

  ASSERT_EQ(run(ctl("stats c1"), &out), 0);
  EXPECT_FALSE(out.empty());
  ASSERT_EQ(run(ctl("dump c1"), &out), 0);
  EXPECT_FALSE(out.empty());

  EXPECT_EQ(run(ctl("remove c1")), 0);
  ASSERT_EQ(run(ctl("list"), &out), 0);
  EXPECT_NE(out.find("c1\tremoved"), std::string::npos) << out;
  EXPECT_EQ(challenge(h), READERIO_SW_REMOVED);
  EXPECT_EQ(run(ctl("insert c1")), 0);
  EXPECT_NE(run(ctl("dump nosuch")), 0);
  QX_ClosePort(h);

  // A key file written offline joins on insert.
  ASSERT_EQ(run(std::string(KEYSIMCTL_PATH) + " create --state " + dir + " off1 5", &out), 0)
      << out;
  ASSERT_EQ(run(std::string(KEYSIMCTL_PATH) + " dump --state " + dir + " off1", &out), 0);
  EXPECT_EQ(run(ctl("insert off1")), 0);
  h = open("off1");
  EXPECT_EQ(challenge(h), READERIO_SW_OK);
  QX_ClosePort(h);

  // Provisioned (online and offline) keys hold an application DF; blank ones do not.
  ASSERT_EQ(run(ctl("create --provisioned prov1 9"), &out), 0) << out;
  ASSERT_EQ(
      run(std::string(KEYSIMCTL_PATH) + " create --state " + dir + " --provisioned prov2", &out), 0)
      << out;
  EXPECT_EQ(run(ctl("insert prov2")), 0);
  const uint8_t select_app[] = {0x00, 0xA4, 0x01, 0x00, 0x02, 0xAD, 0x01};
  for (auto [key, want_app] : {std::pair{"prov1", true}, {"prov2", true}, {"off1", false}}) {
    h = open(key);
    uint8_t atr[32], resp[300];
    uint16_t n = 0;
    ASSERT_EQ(QX_ResetCard(h, atr, &n, 0), READERIO_SW_OK);
    EXPECT_EQ(QX_ApduT0(h, select_app, sizeof select_app, resp, &n, 1) == READERIO_SW_OK, want_app)
        << key;
    QX_ClosePort(h);
  }

  EXPECT_EQ(run(ctl("shutdown")), 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid_t(d.pid), &status, 0), pid_t(d.pid));
  d.pid = 0;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// keysimctl takes the card number in decimal or in the hexadecimal form users write, and says
// which forms it takes when it refuses one.
TEST(Keysimctl, ReadsSerialsInDecimalAndHexadecimal) {
  const std::string dir = make_temp_dir();
  const std::string ctl = std::string(KEYSIMCTL_PATH) + " create --state " + dir + " k ";
  const struct {
    const char *text;
    const char *serial;  // as the dump shows it (decimal), or nullptr: refused
  } cases[] = {
      {"12345678", "12345678"},
      {"0A1B2C3D", "169552957"},
      {"0a1b2c3d", "169552957"},
      {"0x0A1B2C3D", "169552957"},
      {"0X1f", "31"},
      {"FFFFFFFF", "4294967295"},
      {"4294967295", "4294967295"},
      {"4294967296", nullptr},
      {"1FFFFFFFF", nullptr},
      {"0x", nullptr},
      {"12G4", nullptr},
      {"-1", nullptr},
      {"0x-1", nullptr},
  };
  for (const auto &c : cases) {
    std::string out;
    const int rc = run(ctl + "'" + c.text + "'", &out);
    if (!c.serial) {
      EXPECT_EQ(rc, 2) << c.text;
      EXPECT_NE(out.find("0A1B2C3D or 0x0A1B2C3D"), std::string::npos) << c.text << ": " << out;
      continue;
    }
    ASSERT_EQ(rc, 0) << c.text << ": " << out;
    ASSERT_EQ(run(std::string(KEYSIMCTL_PATH) + " dump --state " + dir + " k", &out), 0);
    EXPECT_NE(out.find(std::string("serial ") + c.serial + " "), std::string::npos)
        << c.text << ": " << out;
  }
  remove_dir(dir);
}

}  // namespace
