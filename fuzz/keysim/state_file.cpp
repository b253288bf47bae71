#include <cstdio>
#include <filesystem>
#include <fstream>

#include "emulator.h"
#include "fuzz/keysim/inputs.h"
#include "fuzz/replay/stream.h"

namespace fuzz::keysim_inputs {

namespace {

namespace fs = std::filesystem;

void WriteText(const fs::path &path, const std::string &text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  Require(static_cast<bool>(out), "state file not written");
}

bool HasEndLine(const std::string &text) {
  if (text.empty() || text.back() != '\n') return false;
  const std::size_t start = text.rfind('\n', text.size() - 2);
  return text.compare(start == std::string::npos ? 0 : start + 1, 3, "end") == 0;
}

// A key the emulator holds is one its file keeps: saved, loaded again and saved again, the
// two files are the same.
void RoundTrip(const keysim::Card &card, const fs::path &dir) {
  std::string err;
  Require(keysim::card_save(card, (dir / "saved.key").string(), &err), "save failed");
  keysim::Card again;
  if (!keysim::card_load(again, (dir / "saved.key").string(), &err)) {
    std::fprintf(stderr, "%s\n", err.c_str());
    Require(false, "a saved key does not load");
  }
  Require(keysim::card_save(again, (dir / "again.key").string(), &err), "save failed");
  Require(ReadText(dir / "saved.key") == ReadText(dir / "again.key"),
          "a saved key loads as another");
}

}  // namespace

void RunStateFile(std::span<const std::uint8_t> input) {
  replay::Stream stream(input);
  const auto first = stream.Next();
  if (!first) return;
  std::string text(first->begin(), first->end());
  if (!HasEndLine(text)) {
    if (!text.empty() && text.back() != '\n') text += '\n';
    text += keysim::card_state_end_line(text);
  }
  const fs::path dir = ScratchDir();
  WriteText(dir / "input.key", text);
  keysim::Card card;
  std::string err;
  if (!keysim::card_load(card, (dir / "input.key").string(), &err)) return;
  RoundTrip(card, dir);
  keysim::card_dump(card);
  keysim::card_descriptor_text(card);
  keysim::card_reset(card);
  bool changed = false;
  while (const auto command = stream.Next()) {
    const keysim::Answer answer = keysim::card_transmit(card, *command);
    changed = changed || answer.changed;
  }
  keysim::card_stats(card);
  if (changed) RoundTrip(card, dir);
}

}  // namespace fuzz::keysim_inputs
