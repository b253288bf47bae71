// A fuzz target as a plain program: replays every file named on the command line, and every
// file of every folder named, in name order. Fails when nothing was replayed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

namespace {

namespace fs = std::filesystem;

bool Replay(const fs::path &file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i) {
    const fs::path path = argv[i];
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
      for (const auto &entry : fs::directory_iterator(path, ec)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
    } else {
      files.push_back(path);
    }
  }
  std::sort(files.begin(), files.end());
  std::size_t replayed = 0;
  for (const auto &file : files) {
    if (!Replay(file)) {
      std::fprintf(stderr, "cannot read %s\n", file.string().c_str());
      return 1;
    }
    ++replayed;
  }
  std::printf("%zu replayed, 0 failed\n", replayed);
  return replayed ? 0 : 1;
}
