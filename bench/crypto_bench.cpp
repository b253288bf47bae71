// Throughput of the own SM3, SHA-256 and SM4-ECB beside OpenSSL's, in one process, then one
// line per primitive: "ratio <name> <ours/openssl>" (above 1: ours is faster).
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "skf/crypto/sha256.h"
#include "skf/crypto/sm3.h"
#include "skf/crypto/sm4.h"

namespace {

constexpr size_t kInputSize = 16 * 1024;
// OpenSSL reads its CPU capability mask once, when the library initialises. With the SHA
// extensions masked its SHA-256 runs its fastest code without them (AVX2 assembly).
constexpr char kCapsVariable[] = "OPENSSL_ia32cap";
constexpr char kNoShaExtensions[] = ":~0x20000000";

const std::vector<uint8_t> &Input() {
  static const std::vector<uint8_t> data = [] {
    std::vector<uint8_t> d(kInputSize);
    for (size_t i = 0; i < d.size(); ++i) d[i] = static_cast<uint8_t>(i * 131 + 7);
    return d;
  }();
  return data;
}

const uint8_t kKey[16] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef,
                          0xfe, 0xdc, 0xba, 0x98, 0x76, 0x54, 0x32, 0x10};

void Sm3Ours(benchmark::State &state) {
  uint8_t out[kSm3DigestSize];
  for (auto _ : state) {
    Sm3Context ctx;
    SM3_Init(&ctx);
    SM3_Update(&ctx, Input().data(), kInputSize);
    SM3_Final(&ctx, out);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kInputSize));
}

void Sha256Ours(benchmark::State &state) {
  uint8_t out[kSha256DigestSize];
  uint32_t len = 0;
  for (auto _ : state) {
    SHA256_Digest(Input().data(), kInputSize, out, &len);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kInputSize));
}

void DigestOpenSsl(benchmark::State &state, const char *name) {
  EVP_MD *md = EVP_MD_fetch(nullptr, name, nullptr);
  EVP_MD_CTX *ctx = EVP_MD_CTX_new();
  if (md == nullptr || ctx == nullptr) {
    state.SkipWithError("OpenSSL digest unavailable");
  } else {
    uint8_t out[EVP_MAX_MD_SIZE];
    unsigned len = 0;
    for (auto _ : state) {
      EVP_DigestInit_ex(ctx, md, nullptr);
      EVP_DigestUpdate(ctx, Input().data(), kInputSize);
      EVP_DigestFinal_ex(ctx, out, &len);
      benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kInputSize));
  }
  EVP_MD_CTX_free(ctx);
  EVP_MD_free(md);
}

void Sm4EcbOurs(benchmark::State &state) {
  std::vector<uint8_t> out(kInputSize);
  int len = 0;
  for (auto _ : state) {
    SM4_DecryptEcb(Input().data(), kInputSize, kKey, out.data(), &len, 0);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kInputSize));
}

void Sm4EcbOpenSsl(benchmark::State &state) {
  EVP_CIPHER *cipher = EVP_CIPHER_fetch(nullptr, "SM4-ECB", nullptr);
  EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
  if (cipher == nullptr || ctx == nullptr) {
    state.SkipWithError("OpenSSL SM4-ECB unavailable");
  } else {
    std::vector<uint8_t> out(kInputSize + 16);
    int len = 0;
    for (auto _ : state) {
      EVP_DecryptInit_ex(ctx, cipher, nullptr, kKey, nullptr);
      EVP_CIPHER_CTX_set_padding(ctx, 0);
      EVP_DecryptUpdate(ctx, out.data(), &len, Input().data(), kInputSize);
      EVP_DecryptFinal_ex(ctx, out.data() + len, &len);
      benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kInputSize));
  }
  EVP_CIPHER_CTX_free(ctx);
  EVP_CIPHER_free(cipher);
}

// Console output as usual, and the highest throughput of every benchmark kept by name.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  // Colours only on a terminal, so that piped output has plain "ratio" lines.
  RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &run : runs) {
      const auto it = run.counters.find("bytes_per_second");
      if (run.error_occurred || it == run.counters.end()) continue;
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "max") continue;
      rates_[run.run_name.function_name] = it->second.value;
    }
  }

  void PrintRatios() const {
    for (const char *name : {"sm3", "sha256", "sm4_ecb"}) {
      const auto ours = rates_.find(std::string(name) + "/ours");
      const auto ref = rates_.find(std::string(name) + "/openssl");
      if (ours == rates_.end() || ref == rates_.end() || ref->second <= 0) continue;
      std::printf("ratio %s %.3f\n", name, ours->second / ref->second);
    }
  }

 private:
  std::map<std::string, double> rates_;
};

// Repetitions of all benchmarks run interleaved (see main), and the ratios use the highest
// throughput of each ("max" row): other load on the machine only ever slows a repetition.
void Register(const char *name, void (*fn)(benchmark::State &)) {
  benchmark::RegisterBenchmark(name, fn)
      ->Repetitions(30)
      ->MinTime(0.05)
      ->ReportAggregatesOnly(true)
      ->ComputeStatistics("max", [](const std::vector<double> &v) {
        return *std::max_element(v.begin(), v.end());
      });
}

}  // namespace

int main(int argc, char **argv) {
  if (std::getenv(kCapsVariable) == nullptr) {
    setenv(kCapsVariable, kNoShaExtensions, 1);
    execv("/proc/self/exe", argv);
    std::fprintf(stderr, "crypto_bench: could not restart with %s set\n", kCapsVariable);
    return 1;
  }
  Register("sm3/ours", Sm3Ours);
  Register("sm3/openssl", [](benchmark::State &s) { DigestOpenSsl(s, "SM3"); });
  Register("sha256/ours", Sha256Ours);
  Register("sha256/openssl", [](benchmark::State &s) { DigestOpenSsl(s, "SHA2-256"); });
  Register("sm4_ecb/ours", Sm4EcbOurs);
  Register("sm4_ecb/openssl", Sm4EcbOpenSsl);

  std::vector<char *> args(argv, argv + argc);
  char interleave[] = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, interleave);
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  std::printf("%s=%s\n", kCapsVariable, std::getenv(kCapsVariable));
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
