#include "session_log.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

namespace keysimd {

namespace {

constexpr uint16_t kReaderFailure = 0xFF01;
constexpr uint16_t kRemoved = 0xFF02;

void append_chunk(std::vector<uint8_t> &out, std::span<const uint8_t> bytes) {
  const size_t n = std::min<size_t>(bytes.size(), 0xFFFF);
  out.push_back(uint8_t(n >> 8));
  out.push_back(uint8_t(n));
  out.insert(out.end(), bytes.begin(), bytes.begin() + std::ptrdiff_t(n));
}

}  // namespace

void log_answer(const std::string &dir, Key &key, keysim::proto::Result result,
                std::span<const uint8_t> data, uint16_t sw) {
  if (dir.empty() || key.log_failed) return;
  std::vector<uint8_t> out;
  if (!key.log_started) append_chunk(out, keysim::card_answer_to_reset(key.card));
  std::vector<uint8_t> answer;
  if (result == keysim::proto::Result::ok) answer.assign(data.begin(), data.end());
  if (result == keysim::proto::Result::reader_failure) sw = kReaderFailure;
  if (result == keysim::proto::Result::removed) sw = kRemoved;
  answer.push_back(uint8_t(sw >> 8));
  answer.push_back(uint8_t(sw));
  append_chunk(out, answer);
  const auto path = std::filesystem::path(dir) / (key.name + ".replay");
  std::ofstream file(path, std::ios::binary | (key.log_started ? std::ios::app : std::ios::trunc));
  file.write(reinterpret_cast<const char *>(out.data()), std::streamsize(out.size()));
  if (!file) {
    std::fprintf(stderr, "keysimd: cannot write %s\n", path.string().c_str());
    key.log_failed = true;
    return;
  }
  key.log_started = true;
}

}  // namespace keysimd
