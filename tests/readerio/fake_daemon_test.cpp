// readerio's virtual-key backend against a scripted stand-in for keysimd that answers with
// what a sound keysimd never sends: answers longer than asked, an oversized answer-to-reset,
// bad descriptors, truncated and oversized fields. readerio must refuse them without writing
// past what the caller asked for. Runs natively and under Wine.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "daemon_harness.h"
#include "net.h"
#include "protocol.h"
#include "readerio.h"

namespace {

namespace net = keysim::net;
namespace proto = keysim::proto;
using proto::Op;

using Script = std::function<proto::Bytes(Op op, const proto::Bytes &request)>;

proto::Bytes ok_with(std::function<void(proto::Writer &)> fields) {
  proto::Writer w;
  w.u8(0);
  fields(w);
  return w.body;
}

// Serves one connection at a time with the script's replies.
class FakeDaemon {
 public:
  explicit FakeDaemon(Script s) : script_(std::move(s)) {
    uint16_t port = 0;
    listener_ = net::listen_loopback(0, &port);
    addr_ = "127.0.0.1:" + std::to_string(port);
    thread_ = std::thread([this] { run(); });
  }
  ~FakeDaemon() {
    stop_ = true;
    net::connect_to(addr_, 1000);  // wakes accept
    thread_.join();
  }
  const std::string &addr() const { return addr_; }

 private:
  void run() {
    while (!stop_) {
      net::Socket c = net::accept_from(listener_);
      if (stop_) break;
      proto::Bytes req;
      while (net::recv_frame(c, req)) {
        proto::Bytes reply = script_(Op(req[0]), req);
        if (reply.empty() || !net::send_frame(c, reply)) break;
      }
    }
  }
  Script script_;
  net::Socket listener_;
  std::string addr_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A key that opens; every other op answers as `on_handle` says.
Script key_script(std::function<proto::Bytes(Op, const proto::Bytes &)> on_handle) {
  return [on_handle](Op op, const proto::Bytes &req) -> proto::Bytes {
    if (op == Op::open) return ok_with([](proto::Writer &w) { w.u32(1), w.u32(1); });
    return on_handle(op, req);
  };
}

QX_DEVHANDLE open_fake(const FakeDaemon &d) {
  riotest::set_addr_env(d.addr());
  QX_DEVHANDLE h = nullptr;
  EXPECT_EQ(QX_OpenPath("KeySim fake", &h), READERIO_SW_OK);
  return h;
}

TEST(FakeDaemon, AnswerDataIsCutToWhatTheCommandAsks) {
  size_t answer_len = 300;
  FakeDaemon d(key_script([&](Op, const proto::Bytes &) {
    return ok_with([&](proto::Writer &w) {
      w.u16(0x9000);
      w.blob(proto::Bytes(answer_len, 0x5A));
    });
  }));
  QX_DEVHANDLE h = open_fake(d);
  struct Case {
    const char *what;
    std::vector<uint8_t> cmd;
    size_t answer, want_len;
    uint32_t want_sw;
  } cases[] = {
      {"Le 8", {0x00, 0x84, 0x00, 0x00, 0x08}, 300, 8, READERIO_SW_OK},
      {"no Le", {0x00, 0xA4, 0x00, 0x00, 0x02, 0x3F, 0x00}, 300, 0, READERIO_SW_OK},
      {"Le 00 (256)", {0x00, 0xB0, 0x00, 0x00, 0x00}, 300, 256, READERIO_SW_OK},
      {"shorter answer than Le", {0x00, 0xB0, 0x00, 0x00, 0x00}, 10, 10, READERIO_SW_OK},
      {"extended Le 0000, 65536 bytes",
       {0x80, 0xD8, 0x00, 0x00, 0x00, 0x00, 0x00},
       65536,
       0,
       READERIO_SW_TOO_LONG},
      {"extended Le 0000, 65535 bytes",
       {0x80, 0xD8, 0x00, 0x00, 0x00, 0x00, 0x00},
       65535,
       65535,
       READERIO_SW_OK},
  };
  std::vector<uint8_t> resp(70000);
  for (auto &c : cases) {
    answer_len = c.answer;
    std::fill(resp.begin(), resp.end(), 0xEE);
    uint16_t len = 0x7777;
    uint32_t sw = QX_ApduT0(h, c.cmd.data(), uint32_t(c.cmd.size()), resp.data(), &len, 1);
    EXPECT_EQ(sw, c.want_sw) << c.what;
    size_t written = sw == READERIO_SW_OK ? c.want_len : 0;
    if (sw == READERIO_SW_OK) {
      EXPECT_EQ(len, c.want_len) << c.what;
    }
    EXPECT_EQ(resp[written], 0xEE) << c.what;
    if (written) {
      EXPECT_EQ(resp[written - 1], 0x5A) << c.what;
    }
  }
  QX_ClosePort(h);
}

TEST(FakeDaemon, OversizedOrMalformedAnswersAreRefusedUntouched) {
  FakeDaemon d(key_script([](Op op, const proto::Bytes &) -> proto::Bytes {
    switch (op) {
      case Op::reset:  // 33 bytes: one more than the caller's buffer
        return ok_with([](proto::Writer &w) { w.blob(proto::Bytes(33, 0x3B)); });
      case Op::descriptor:
        return ok_with([](proto::Writer &w) { w.text("4b4559"); });  // lower case
      case Op::reader_info:
        return {0};  // result ok, then nothing
      default:
        return ok_with([](proto::Writer &w) {  // blob length beyond the bound
          w.u16(0x9000);
          w.u32(uint32_t(proto::kMaxAnswer + 1));
        });
    }
  }));
  QX_DEVHANDLE h = open_fake(d);
  uint8_t atr[40];
  std::memset(atr, 0xEE, sizeof atr);
  uint16_t len = 0x7777;
  EXPECT_EQ(QX_ResetCard(h, atr, &len, 0), READERIO_SW_TOO_LONG);
  EXPECT_EQ(atr[0], 0xEE);
  EXPECT_EQ(len, 0x7777);

  char text[80];
  std::memset(text, 'x', sizeof text);
  EXPECT_EQ(QX_GetDescriptor(h, text), READERIO_SW_COMM);
  EXPECT_EQ(text[0], 'x');

  QX_READER_INFO info{};
  info.cbSize = sizeof info;
  info.dwMaxDataLength = 134;
  EXPECT_EQ(QX_GetReaderInfo(h, &info), READERIO_SW_COMM);
  EXPECT_EQ(info.dwMaxDataLength, 134u);
  QX_ClosePort(h);

  // A reply that breaks the stream leaves the handle failing, never hanging or crashing.
  h = open_fake(d);
  const uint8_t cmd[] = {0x00, 0x84, 0x00, 0x00, 0x08};
  uint8_t resp[16];
  EXPECT_EQ(QX_ApduT0(h, cmd, sizeof cmd, resp, &len, 1), READERIO_SW_COMM);
  EXPECT_EQ(QX_ApduT0(h, cmd, sizeof cmd, resp, &len, 1), READERIO_SW_COMM);
  QX_ClosePort(h);
}

TEST(FakeDaemon, MalformedReaderListListsNothing) {
  FakeDaemon d([](Op op, const proto::Bytes &) -> proto::Bytes {
    if (op != Op::list) return {};
    return ok_with([](proto::Writer &w) {
      w.u16(3);  // three names announced, one sent
      w.text("KeySim one");
    });
  });
  riotest::set_addr_env(d.addr());
  uint32_t n = 0;
  char **list = QX_GetReaderList(&n, 0);
  for (uint32_t i = 0; i < n; ++i) EXPECT_NE(std::string(list[i]), "KeySim one");
  QX_DestroyReaderList(list);
}

}  // namespace
