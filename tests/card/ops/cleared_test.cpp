// Decrypted data left in freed memory: this program's operator new and delete look at every
// block freed while a decryption runs for the plaintext the card answered.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "ops_fixture.h"
#include "skf/card/sym_cipher.h"
#include "skf/card/sym_stream.h"

namespace {

constexpr std::size_t kHeader = 16;  // the block's size, keeping the alignment of new
constexpr std::size_t kLarge = 0x10000;

// What the freed blocks held while a watch is on.
struct Watch {
  bool on = false;
  const std::uint8_t *secret = nullptr;
  std::size_t secret_size = 0;
  int holding_secret = 0;
  int large = 0;
} watch;

void *Allocate(std::size_t n) noexcept {
  auto *p = static_cast<unsigned char *>(std::malloc(n + kHeader));
  if (!p) return nullptr;
  std::memcpy(p, &n, sizeof n);
  return p + kHeader;
}

void Release(void *block) noexcept {
  if (!block) return;
  auto *bytes = static_cast<unsigned char *>(block);
  std::size_t n = 0;
  std::memcpy(&n, bytes - kHeader, sizeof n);
  if (watch.on) {
    if (n >= kLarge) ++watch.large;
    if (std::search(bytes, bytes + n, watch.secret, watch.secret + watch.secret_size) !=
        bytes + n) {
      ++watch.holding_secret;
    }
  }
  std::free(bytes - kHeader);
}

void *AllocateOrThrow(std::size_t n) {
  if (void *p = Allocate(n)) return p;
  throw std::bad_alloc();
}

}  // namespace

void *operator new(std::size_t n) { return AllocateOrThrow(n); }
void *operator new[](std::size_t n) { return AllocateOrThrow(n); }
void *operator new(std::size_t n, const std::nothrow_t &) noexcept { return Allocate(n); }
void *operator new[](std::size_t n, const std::nothrow_t &) noexcept { return Allocate(n); }
void operator delete(void *p) noexcept { Release(p); }
void operator delete[](void *p) noexcept { Release(p); }
void operator delete(void *p, std::size_t) noexcept { Release(p); }
void operator delete[](void *p, std::size_t) noexcept { Release(p); }
void operator delete(void *p, const std::nothrow_t &) noexcept { Release(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { Release(p); }

namespace {

const ByteVec kKey = Counting(16, 0xA0);
const char kSecretText[] = "PLAINTEXT-SECRET";

class ClearedTest : public OpsTest {};

TEST_F(ClearedTest, DecryptionsLeaveNoPlaintextInFreedMemory) {
  const ByteVec secret(kSecretText, kSecretText + 16);
  const ByteVec plain = Cat({secret, secret});
  const ByteVec cipher = Counting(32, 0x40);
  struct Case {
    const char *name;
    bool extended;
    std::uint32_t alg;
    bool stream;
  } cases[] = {
      {"short ECB", false, 0x401, false},
      {"extended CBC", true, 0x402, false},
      {"extended ECB stream", true, 0x401, true},
  };
  for (const Case &c : cases) {
    Fake().Reset();
    if (c.extended) {
      Answer("");
      AnswerOk(plain);
    } else {
      Answer("", 0x6700);
      AnswerOk(ByteVec(plain.begin(), plain.begin() + 16));
      AnswerOk(ByteVec(plain.begin() + 16, plain.end()));
    }
    ByteVec out(64, 0);
    ByteVec iv = Counting(16, 0x50);
    SymStreamState s{};
    s.dwAlgID = c.alg;
    s.hDev = device_;
    std::memcpy(s.Key, kKey.data(), 16);
    const ByteVec longer = Cat({cipher, Counting(16)});  // the last block stays for Final
    int length = 0;
    std::uint32_t stream_length = 0;
    watch = Watch{true, secret.data(), secret.size(), 0, 0};
    const int r = c.stream ? StreamDecryptUpdate(s, longer, out, &stream_length)
                           : QX_SymDecrypt(device_, c.alg, 0, kKey.data(), 16, iv.data(), 16,
                                           cipher.data(), 32, out, &length);
    watch.on = false;
    ASSERT_EQ(r, 0) << c.name;
    EXPECT_EQ(ByteVec(out.begin(), out.begin() + 32), plain) << c.name;
    EXPECT_GE(watch.large, 2) << c.name << ": the answer buffers were freed while watched";
    EXPECT_EQ(watch.holding_secret, 0) << c.name;
  }
}

}  // namespace
