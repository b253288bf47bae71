// A readerio stand-in that answers from a replay stream: one reader, "Replay", whose card
// gives the stream's chunks in order. Installed straight into the library's readerio binding.
#pragma once

#include <cstdint>
#include <span>

namespace replay {

inline constexpr char kReaderName[] = "Replay";

enum class ReaderList {
  fixed,        // "Replay" on every list call
  from_stream,  // each list call takes a chunk: its NUL-separated names, at most four; once
                // the stream is exhausted, "Replay" and no reader by turns
};

// Binds the library to the replay reader over `stream` (which must outlive the run). The first
// chunk is the answer-to-reset; QX_ApduT0 takes one chunk a command: its last two bytes are
// the status word, the bytes before it the data, cut to what the command asks for as readerio
// does. A chunk of fewer than two bytes is a reader failure; an exhausted stream answers 6D00.
void Install(std::span<const std::uint8_t> stream, ReaderList list = ReaderList::fixed);

// The answer-to-reset chunk of the installed stream (empty when there is none).
std::span<const std::uint8_t> AnswerToReset();

// One of the ten readerio functions by its exported name, or nullptr.
void *Function(const char *name);

}  // namespace replay
