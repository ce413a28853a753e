#pragma once
// Capture from one source of the sound server (PulseAudio, or PipeWire's
// PulseAudio service): a microphone, a line input, or the monitor of an
// output, which carries what the computer plays. The server converts to the
// recording's rate and channels; blocks are interleaved signed 16-bit.
//
// The server's audio is taken off the connection as it arrives and held in
// a buffer of a few seconds; a reader that falls further behind loses the
// oldest audio, and each read after such a loss counts one overflow, as a
// sound card's input overflow is counted.
//
// A chosen source is never swapped for another behind the user's back: when
// it vanishes during a recording (a USB microphone unplugged, an output
// removed, the sound server restarted) the source says so in the log and the
// recording waits for it: reads return silence at the pace of the clock, so
// that the file keeps to the clock and a stop or split after a set time
// comes on time, and the source is looked for again every second. When it
// is back the recording goes on and the log says how long it was gone. The
// default source (no name) follows the server's default as it changes.
// Thread affinity: Open/Read/Close on the capture thread; Overflows() on any
// thread; SetNotices before Open, its lines come from the capture thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "recording/InputSource.h"

namespace tarvexa {

class PulseSource : public InputSource {
 public:
  struct Options {
    std::string source;          // the server's name of the source; empty: its default
    std::string description;     // what the messages call it; the name when empty
    double bufferSeconds = 4.0;  // audio held for a reader that is late
    int retryMs = 1000;          // how often a vanished source is looked for
  };

  explicit PulseSource(Options options);
  ~PulseSource() override;
  PulseSource(const PulseSource&) = delete;
  PulseSource& operator=(const PulseSource&) = delete;

  // Connects to the server and starts the stream. On failure *errorCode is
  // libpulse's error number and *error its text with the source's name.
  bool Open(const OpenOptions& options, int* errorCode, std::string* error) override;

  // Returns a whole block as soon as the server has delivered it (or, while
  // the source is gone, when its time has come). Without one within a
  // quarter of a second returns Ok with *got 0, so that the capture thread
  // sees a stop in time.
  ReadResult Read(int16_t* dest, int frames, int* got, std::string* error) override;

  void Close() override;
  bool IsRealTime() const override { return true; }
  bool IsDevice() const override { return true; }
  int64_t Overflows() const override;
  void SetNotices(Notice notice) override;

  const std::string& source() const;
  // True while the source is gone and waited for.
  bool Waiting() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tarvexa
