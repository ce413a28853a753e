#pragma once
// One output file of a recording (a clip) in the current output format.
// Each format family implements this; the encoder worker drives it.
// Thread affinity: created, used and destroyed on the encoder thread.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "config/ConfigStore.h"
#include "config/Settings.h"

namespace tarvexa {

class ClipWriter {
 public:
  virtual ~ClipWriter() = default;

  // Opens the encoder and creates the file. Returns an empty string on
  // success, else the text to log (level 1), one entry per line; nothing is
  // left open then.
  virtual std::string Open(const std::string& path) = 0;

  // Encodes and writes interleaved 16-bit frames. Returns false when the
  // data could not be written (disk full, drive removed); ErrorText() says why.
  virtual bool Write(const int16_t* samples, size_t frames) = 0;

  // Flushes the encoder and closes the file, leaving it complete and
  // readable. Safe to call after a failed Write. Returns false on failure.
  virtual bool Close() = 0;

  virtual std::string ErrorText() const = 0;

  // After Close, for a clip that no audio reached: removes the files Open
  // made for `path`.
  virtual void RemoveFiles(const std::string& path) const { std::remove(path.c_str()); }

  // Where the writer posts log lines of its own besides the error texts
  // above (a warning Open found while the recording goes on, an outside
  // encoder's start and end), each line its own entry at its own level; set
  // by the encoder worker before Open. The sink may be called from any
  // thread.
  using NoticeSink = LogSink;
  void SetNoticeSink(NoticeSink sink) { notice_ = std::move(sink); }

 protected:
  void Notice(const std::string& text, int level) const {
    if (notice_) notice_(text, level);
  }

 private:
  NoticeSink notice_;
};

// The writer for settings.OUTPUT.OutputFormat, configured from the settings.
// Returns nullptr for a format that has no writer in this build.
std::unique_ptr<ClipWriter> MakeClipWriter(const Settings& settings);

// Work done once per recording before the first clip (binding an encoder
// library, checking an outside program). Its lines go to `log` at their own
// levels; false when the recording cannot go on (the reason has been logged,
// at level 1 for a format without a writer).
bool PrepareEncoder(const Settings& settings, const LogSink& log);
// Work done once per recording after the last clip, when PrepareEncoder
// succeeded (letting go of a library).
void FinishEncoder(const Settings& settings, const LogSink& log);

}  // namespace tarvexa
