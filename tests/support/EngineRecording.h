#pragma once
// Helpers of the tests that record through the engine or drive a writer:
// a recording session run to its end with what it reported, a writer fed
// directly in the engine's blocks, a child process for the crash and
// disk-full cases, and decoding with FFmpeg.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "config/Settings.h"
#include "recording/InputSource.h"

namespace tarvexa {
class ClipWriter;
class RecordSession;
}  // namespace tarvexa

namespace tarvexa::test {

// What a recording reported through its channel, and the session's counts
// at its end.
struct Recording {
  std::vector<std::string> clips;                 // finished clips, in order
  std::vector<int> clipBlocks;                    // blocks written to each of them
  std::vector<std::string> newClips;              // clips announced when started
  std::vector<size_t> displaySamples;             // samples in each block's display copy
  std::vector<std::pair<std::string, int>> logs;  // text and level
  std::vector<double> logSeconds;  // when each log line arrived, seconds after the start
  bool finished = false;           // the session said it finished
  bool autoStopped = false;
  int ticks = 0;
  int64_t dropped = 0;  // blocks the hand-off queue dropped

  // A log line that is exactly `text`.
  bool Logged(const std::string& text) const;
  // A log line that holds `text`.
  bool LoggedPart(const std::string& text) const;
};

// Called for every captured block with the session and the blocks so far.
using BlockHook = std::function<void(RecordSession&, int)>;

// Records from `source` into `out` (and the clips after it) until the
// session finishes, for two minutes at the most; no start delay. With
// slowEncoderMs each block takes the writer that much longer.
Recording Record(const Settings& s, std::shared_ptr<InputSource> source, const std::string& out,
                 int queueSeconds = 8, const BlockHook& onBlock = nullptr, int slowEncoderMs = 0);

// Records the whole input file, read as fast as the encoder takes it.
Recording RecordFile(const Settings& s, const std::string& input, const std::string& out);

// Hands interleaved samples to a writer in 100-ms blocks, as the engine
// does; false when a write fails (nothing more is written then).
bool Feed(ClipWriter& w, const std::vector<int16_t>& samples, int rate, int chan);

// Runs `body` in a child process and returns the text it reports; the child
// may also die on its own (the text is then what it reported until then).
// *status gets the child's wait status.
std::string InChild(const std::function<std::string()>& body, int* status = nullptr);

// For a child process: a limit of `bytes` on the size of any file stands in
// for a full disk; writes beyond it fail (EFBIG) instead of raising SIGXFSZ.
void LimitFileSize(size_t bytes);

// Decodes with FFmpeg into 16-bit PCM; `decoder` picks one of its decoders.
Audio DecodeWithFfmpeg(const std::string& path, const std::string& decoder = "");

}  // namespace tarvexa::test
