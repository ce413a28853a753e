#pragma once
// Capture from a sound-card input through PortAudio: a blocking-read input
// stream of interleaved signed 16-bit samples, opened for each clip and
// closed at the clip's end.
// Thread affinity: Open/Read/Close on the capture thread of the current clip;
// Overflows() on any thread. PortAudio must be initialised (AudioSystem);
// Open initialises it when nobody has yet.

#include <portaudio.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "recording/InputSource.h"

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
  bool IsRealTime() const override { return true; }
  bool IsDevice() const override { return true; }
  int64_t Overflows() const override { return overflows_.load(); }

  int Device() const { return device_; }
  bool IsOpen() const { return stream_ != nullptr; }

 private:
  int device_;
  PaStream* stream_ = nullptr;
  std::atomic<int64_t> overflows_{0};
};

}  // namespace tarvexa
