#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "fuzz/keysim/inputs.h"

namespace fuzz::keysim_inputs {

namespace {

std::string MakeScratch() {
  const char *tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/keysim-fuzz.XXXXXX";
  if (!mkdtemp(pattern.data())) {
    std::perror("keysim fuzz: mkdtemp");
    std::abort();
  }
  return pattern;
}

}  // namespace

const std::string &ScratchDir() {
  // Kept past the static destructors, for the exit handler.
  static const std::string *dir = [] {
    const auto *made = new std::string(MakeScratch());
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(ScratchDir(), ec);
    });
    return made;
  }();
  return *dir;
}

std::string ReadText(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void Require(bool ok, const char *what) {
  if (ok) return;
  std::fprintf(stderr, "keysim fuzz: %s\n", what);
  std::abort();
}

}  // namespace fuzz::keysim_inputs
