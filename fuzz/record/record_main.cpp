// Records the seed corpora: plays every seed of every target against a fresh provisioned
// virtual key of a keysimd that logs its sessions, and writes each session, its first chunk
// replaced by the seed's script, to OUT/<target>/<seed>. Then replays each one.
//   fuzz_record OUT
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "daemon_harness.h"
#include "fuzz/record/keysim_seeds.h"
#include "fuzz/record/seeds.h"
#include "fuzz/replay/replay_reader.h"
#include "fuzz/replay/stream.h"

namespace {

namespace fs = std::filesystem;
using fuzz::Bytes;

constexpr std::uint32_t kSerial = 20261210;

std::vector<std::uint8_t> ReadFile(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The logged session with `first` in place of its answer-to-reset.
std::vector<std::uint8_t> SeedStream(std::span<const std::uint8_t> log,
                                     std::span<const std::uint8_t> first) {
  std::vector<std::uint8_t> out;
  replay::AppendChunk(out, first);
  replay::Stream stream(log);
  stream.Next();
  while (const auto chunk = stream.Next()) replay::AppendChunk(out, *chunk);
  return out;
}

struct Recorded {
  const fuzz::Target *target;
  std::vector<std::uint8_t> first;
  std::vector<std::uint8_t> stream;
};

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_record OUT\n");
    return 2;
  }
  const fs::path out = argv[1];
  const std::string state = riotest::make_temp_dir();
  const fs::path log = fs::path(state) / "log";
  fs::create_directories(log);
  riotest::Daemon daemon;
  if (!riotest::start_daemon(daemon, state, {"--log", log.string()})) {
    std::fprintf(stderr, "keysimd did not start\n");
    return 1;
  }
  riotest::set_addr_env(daemon.addr);
  std::vector<Recorded> recorded;
  int failed = 0;
  for (const fuzz::Target &target : fuzz::Targets()) {
    for (const fuzz::Seed &seed : fuzz::SeedsOf(target)) {
      const std::vector<std::uint8_t> first = fuzz::FirstChunk(target, seed);
      const std::string key = riotest::fresh_key_name("seed");
      const std::uint32_t serial = kSerial;
      if (first.empty() ||
          riotest::control(daemon.addr, keysim::proto::Op::create, {key}, &serial, 1) != 0) {
        std::fprintf(stderr, "%s/%s: not recorded\n", target.name, seed.name.c_str());
        ++failed;
        continue;
      }
      fuzz::RunInput(target.ops(), target.caller_data, first, riotest::reader_of(key));
      riotest::control(daemon.addr, keysim::proto::Op::remove, {key});
      const auto session = ReadFile(log / (key + ".replay"));
      Recorded r{&target, first, SeedStream(session, first)};
      fs::create_directories(out / target.name);
      std::ofstream file(out / target.name / seed.name, std::ios::binary);
      file.write(reinterpret_cast<const char *>(r.stream.data()),
                 static_cast<std::streamsize>(r.stream.size()));
      // A seed whose operations send no command has no session: its first chunk is all.
      if (!file) {
        std::fprintf(stderr, "%s/%s: not written\n", target.name, seed.name.c_str());
        ++failed;
        continue;
      }
      recorded.push_back(std::move(r));
    }
  }
  riotest::stop_daemon(daemon);
  riotest::remove_dir(state);
  // Before the replays, which bind the library to the replay reader.
  failed += fuzz::RecordKeysimSeeds(out);
  for (const Recorded &r : recorded) {
    replay::Install(r.stream);
    fuzz::RunInput(r.target->ops(), r.target->caller_data, replay::AnswerToReset(),
                   replay::kReaderName);
  }
  std::printf("%zu recorded, %d failed\n", recorded.size(), failed);
  return failed ? 1 : 0;
}
