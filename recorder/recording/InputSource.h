#pragma once
// Where captured audio comes from: a sound-card input through PortAudio, or a
// WAV file (for tests, benchmarks and the command line). Everything after
// the capture thread is the same code for both.
// Thread affinity: Open/Read/Close on the recording's capture thread, which
// opens the input once and reads it until the recording ends (the clips are
// cut from what it delivers); SetConversion from that thread too.

#include <cstdint>
#include <functional>
#include <string>

namespace tarvexa {

class InputSource {
 public:
  enum class ReadResult { Ok, End, Error };

  struct OpenOptions {
    int rate = 44100;
    int channels = 2;
    int framesPerBlock = 4410;
    bool clip = true;    // "Clipping" at the start (see SetConversion)
    bool dither = true;  // "Dithering" at the start
  };

  virtual ~InputSource() = default;

  // Opens the input for the recording. On failure returns false and fills *error
  // (the library's error number and text where there is one).
  virtual bool Open(const OpenOptions& options, int* errorCode, std::string* error) = 0;

  // Reads exactly `frames` frames unless the input ends (*got tells how many
  // were read; End with *got possibly > 0 for a last partial block) or fails.
  // A source may also return Ok with *got 0 when no block came within a
  // short wait, so that the capture thread looks at its flags in time.
  virtual ReadResult Read(int16_t* dest, int frames, int* got, std::string* error) = 0;

  virtual void Close() = 0;

  // The "Clipping" and "Dithering" switches as they stand now, for the
  // blocks read from here on. An input that delivers 16-bit samples as they
  // are (a file) has nothing to clip or dither.
  virtual void SetConversion(bool /*clip*/, bool /*dither*/) {}

  // A real-time source never waits for the encoder: when the hand-off queue
  // is full the oldest block is dropped. A source that is not real-time (a
  // file read as fast as possible) waits for room instead and never drops.
  virtual bool IsRealTime() const = 0;

  // A live input (a sound card or a sound-server source), not a file: the
  // recording gives it a moment to settle before the encoder starts, and its
  // capture may run at real-time priority.
  virtual bool IsDevice() const { return false; }

  // Blocks of audio the device itself lost (input overflows) since Open.
  virtual int64_t Overflows() const { return 0; }

  // Where the source tells the event log what happens to it while it runs
  // (a source that went away and came back); called on the capture thread.
  // A source with nothing to tell ignores it.
  using Notice = std::function<void(const std::string& text, int level)>;
  virtual void SetNotices(Notice /*notice*/) {}
};

}  // namespace tarvexa
