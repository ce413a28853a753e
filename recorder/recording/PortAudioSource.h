#pragma once
// Capture from a sound-card input through PortAudio: a blocking-read input
// stream of interleaved 32-bit float samples, opened once for the whole
// recording, converted to the recording's 16-bit samples by our own
// SampleConverter (recording/SampleConversion.h), so that "Clipping" and
// "Dithering" apply from the next block when they change.
// Thread affinity: Open/Read/Close/SetConversion on the capture thread;
// Overflows() on any thread. PortAudio must be initialised (AudioSystem);
// Open initialises it when nobody has yet.

#include <portaudio.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "recording/InputSource.h"
#include "recording/SampleConversion.h"

namespace tarvexa {

class PortAudioSource : public InputSource {
 public:
  // device: a PortAudio device index, or -1 for PortAudio's default input.
  explicit PortAudioSource(int device);
  ~PortAudioSource() override;

  PortAudioSource(const PortAudioSource&) = delete;
  PortAudioSource& operator=(const PortAudioSource&) = delete;

  // Opens and starts the stream. On failure *errorCode is the PaError and
  // *error PortAudio's text for it; nothing stays open.
  bool Open(const OpenOptions& options, int* errorCode, std::string* error) override;

  // Waits until `frames` frames have arrived. An input overflow (the device
  // lost audio because it was not read in time) is counted, not reported:
  // the block read is still good audio. Any other failure is Error.
  ReadResult Read(int16_t* dest, int frames, int* got, std::string* error) override;

  void Close() override;
  void SetConversion(bool clip, bool dither) override;
  bool IsRealTime() const override { return true; }
  bool IsDevice() const override { return true; }
  int64_t Overflows() const override { return overflows_.load(); }

  int Device() const { return device_; }
  bool IsOpen() const { return stream_ != nullptr; }

 private:
  int device_;
  PaStream* stream_ = nullptr;
  int channels_ = 2;
  SampleConverter converter_;
  std::vector<float> wide_;  // one block as the library delivers it
  std::atomic<int64_t> overflows_{0};
};

}  // namespace tarvexa
