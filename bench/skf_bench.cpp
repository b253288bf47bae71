// tokencore's exports through a virtual key: SKF_Digest with SM3 over 64 MiB beside the raw SM3
// of the same build, SKF_Encrypt of 1 MiB with SM4-ECB with extended commands (reader M = 4096)
// and with short ones, and the exports a host calls one at a time, each taking the key's lock:
// SM2 and RSA signing with the user PIN verified, and one raw command (SKF_Transmit of GET
// CHALLENGE). Counters: MB/s, and the card commands one operation sends.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "skf.h"
#include "skf/crypto/sm3.h"
#include "virtual_key.h"

namespace {

constexpr std::size_t kDigestSize = 64u << 20;
constexpr std::size_t kEncryptSize = 1u << 20;

void SetRate(benchmark::State &state, std::size_t bytes) {
  state.counters["MB/s"] = benchmark::Counter(static_cast<double>(bytes) * state.iterations(),
                                              benchmark::Counter::kIsRate);
}

void BM_RawSm3(benchmark::State &state) {
  std::vector<std::uint8_t> data(kDigestSize, 0x5A);
  std::uint8_t digest[32];
  for (auto _ : state) {
    Sm3Context ctx;
    SM3_Init(&ctx);
    SM3_Update(&ctx, data.data(), static_cast<std::uint32_t>(data.size()));
    SM3_Final(&ctx, digest);
    benchmark::DoNotOptimize(digest);
  }
  SetRate(state, kDigestSize);
}
BENCHMARK(BM_RawSm3)->Unit(benchmark::kMillisecond)->UseRealTime();

// A virtual key connected through tokencore; no device when no daemon starts.
struct Key {
  std::string name;
  DEVHANDLE device = nullptr;
};
Key Connected(const char *stem, bool provisioned) {
  static const bool attached = vkey::Attach();  // once: it takes every key out of its reader
  Key k;
  if (!attached) return k;
  k.name = vkey::CreateKey(stem, provisioned);
  if (SKF_ConnectDev(vkey::ReaderOf(k.name).c_str(), &k.device) != SAR_OK) k.device = nullptr;
  return k;
}
Key &BenchKey() {
  static Key key = Connected("bench", false);
  return key;
}

// A provisioned key's SM2 and RSA containers, with the user PIN verified; none when any step
// failed.
struct Signer {
  Key key;
  HCONTAINER sm2 = nullptr;
  HCONTAINER rsa = nullptr;
};
Signer &SignKey() {
  static Signer signer = [] {
    Signer s;
    s.key = Connected("sign", true);
    char app_name[] = "KEYSIM-APP", pin[] = "12345678";
    char sm2[] = "SM2-CONTAINER", rsa[] = "RSA-CONTAINER";
    HAPPLICATION app = nullptr;
    ULONG retries = 0;
    if (!s.key.device || SKF_OpenApplication(s.key.device, app_name, &app) != SAR_OK ||
        SKF_VerifyPIN(app, USER_TYPE, pin, &retries) != SAR_OK ||
        SKF_OpenContainer(app, sm2, &s.sm2) != SAR_OK ||
        SKF_OpenContainer(app, rsa, &s.rsa) != SAR_OK) {
      s.sm2 = s.rsa = nullptr;
    }
    return s;
  }();
  return signer;
}

void SetCommands(benchmark::State &state, const Key &key, std::uint64_t before) {
  state.counters["commands"] = static_cast<double>(vkey::Commands(key.name) - before) /
                               static_cast<double>(state.iterations());
}

void BM_SkfDigestSm3(benchmark::State &state) {
  Key &key = BenchKey();
  if (!key.device) return state.SkipWithError("no virtual key");
  std::vector<std::uint8_t> data(kDigestSize, 0x5A);
  std::uint8_t digest[32];
  for (auto _ : state) {
    HANDLE hash = nullptr;
    ULONG n = sizeof digest;
    if (SKF_DigestInit(key.device, SGD_SM3, nullptr, nullptr, 0, &hash) != SAR_OK ||
        SKF_Digest(hash, data.data(), static_cast<ULONG>(data.size()), digest, &n) != SAR_OK) {
      return state.SkipWithError("digest failed");
    }
    benchmark::DoNotOptimize(digest);
  }
  SetRate(state, kDigestSize);
}
BENCHMARK(BM_SkfDigestSm3)->Unit(benchmark::kMillisecond)->UseRealTime();

// Argument: 1 for extended commands with M = 4096, 0 for short commands.
void BM_SkfEncryptSm4Ecb(benchmark::State &state) {
  Key &key = BenchKey();
  if (!key.device) return state.SkipWithError("no virtual key");
  const bool extended = state.range(0) != 0;
  vkey::Knob(key.name, "extended", extended ? "on" : "off");
  vkey::Knob(key.name, "max_data", "4096");
  std::uint8_t session[16] = {1, 2, 3, 4};
  HANDLE k = nullptr;
  BLOCKCIPHERPARAM param = {};
  if (SKF_SetSymmKey(key.device, session, SGD_SMS4_ECB, &k) != SAR_OK ||
      SKF_EncryptInit(k, param) != SAR_OK) {
    return state.SkipWithError("no session key");
  }
  std::vector<std::uint8_t> data(kEncryptSize, 0xA5), out(kEncryptSize);
  const std::uint64_t before = vkey::Commands(key.name);
  for (auto _ : state) {
    ULONG n = static_cast<ULONG>(out.size());
    if (SKF_Encrypt(k, data.data(), static_cast<ULONG>(data.size()), out.data(), &n) != SAR_OK) {
      return state.SkipWithError("encrypt failed");
    }
  }
  SetRate(state, kEncryptSize);
  SetCommands(state, key, before);
}
BENCHMARK(BM_SkfEncryptSm4Ecb)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// Runs `op` (true when the export succeeded) once an iteration. Besides the mean it reports the
// median of the single operations (median_us), which a busy machine disturbs least.
template <typename Op>
void TimeEach(benchmark::State &state, const Key &key, Op op) {
  std::vector<double> us;
  us.reserve(1 << 20);
  const std::uint64_t before = vkey::Commands(key.name);
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (!op()) return state.SkipWithError("export failed");
    if (us.size() < us.capacity()) {
      us.push_back(
          std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
              .count());
    }
  }
  if (!us.empty()) {
    std::nth_element(us.begin(), us.begin() + us.size() / 2, us.end());
    state.counters["median_us"] = us[us.size() / 2];
  }
  SetCommands(state, key, before);
}

void BM_SkfEccSign(benchmark::State &state) {
  Signer &s = SignKey();
  if (!s.sm2) return state.SkipWithError("no provisioned key");
  std::uint8_t e[32] = {0x5A};
  ECCSIGNATUREBLOB signature{};
  TimeEach(state, s.key, [&] { return SKF_ECCSignData(s.sm2, e, sizeof e, &signature) == SAR_OK; });
}
BENCHMARK(BM_SkfEccSign)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_SkfRsaSign(benchmark::State &state) {
  Signer &s = SignKey();
  if (!s.rsa) return state.SkipWithError("no provisioned key");
  std::uint8_t data[36] = {0xA5};
  std::uint8_t signature[128];
  TimeEach(state, s.key, [&] {
    ULONG n = sizeof signature;
    return SKF_RSASignData(s.rsa, data, sizeof data, signature, &n) == SAR_OK;
  });
}
BENCHMARK(BM_SkfRsaSign)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The library's round trip of one command beside readerio_bench's: GET CHALLENGE, 8 bytes.
void BM_SkfTransmit(benchmark::State &state) {
  Key &key = BenchKey();
  if (!key.device) return state.SkipWithError("no virtual key");
  const std::uint8_t challenge[] = {0x00, 0x84, 0x00, 0x00, 0x08};
  std::uint8_t answer[10];
  TimeEach(state, key, [&] {
    ULONG n = sizeof answer;
    return SKF_Transmit(key.device, challenge, sizeof challenge, answer, &n) == SAR_OK &&
           n == sizeof answer;
  });
}
BENCHMARK(BM_SkfTransmit)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Fastest of several interleaved runs of each, so that a busy machine does not decide the
// ratio of SKF_Digest to the raw SM3 it wraps.
void PrintDigestRatio() {
  Key &key = BenchKey();
  if (!key.device) return;
  std::vector<std::uint8_t> data(kDigestSize, 0x5A);
  std::uint8_t digest[32];
  double raw = 1e30, skf = 1e30;
  const auto seconds = [](auto start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  for (int i = 0; i < 7; ++i) {
    auto start = std::chrono::steady_clock::now();
    Sm3Context ctx;
    SM3_Init(&ctx);
    SM3_Update(&ctx, data.data(), static_cast<std::uint32_t>(data.size()));
    SM3_Final(&ctx, digest);
    raw = std::min(raw, seconds(start));
    start = std::chrono::steady_clock::now();
    HANDLE hash = nullptr;
    ULONG n = sizeof digest;
    if (SKF_DigestInit(key.device, SGD_SM3, nullptr, nullptr, 0, &hash) != SAR_OK ||
        SKF_Digest(hash, data.data(), static_cast<ULONG>(data.size()), digest, &n) != SAR_OK) {
      return;
    }
    skf = std::min(skf, seconds(start));
  }
  std::printf("ratio skf_digest_sm3/raw_sm3 %.3f\n", raw / skf);
}

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  PrintDigestRatio();
  return 0;
}
