#pragma once
// An input that reads a sound file (any file libsndfile reads) instead of a
// sound card: paced in real time like a device, or as fast as the encoder
// takes it. The file stays open for the whole recording, so the next clip
// continues where the last one stopped.
// Thread affinity: the capture thread of the current clip.

#include <sndfile.h>

#include <chrono>
#include <string>

#include "recording/InputSource.h"

namespace tarvexa {

class WavFileSource : public InputSource {
 public:
  WavFileSource(std::string path, bool fast);
  ~WavFileSource() override;

  // Reads the file's header. Returns false with *error when it cannot be read.
  bool Probe(int* rate, int* channels, int64_t* frames, std::string* error);

  bool Open(const OpenOptions& options, int* errorCode, std::string* error) override;
  ReadResult Read(int16_t* dest, int frames, int* got, std::string* error) override;
  void Close() override;
  bool IsRealTime() const override { return !fast_; }

 private:
  bool EnsureOpen(std::string* error);
  std::string path_;
  bool fast_;
  SNDFILE* file_ = nullptr;
  SF_INFO info_{};
  int64_t delivered_ = 0;  // frames delivered since this clip's Open
  std::chrono::steady_clock::time_point clipStart_;
};

}  // namespace tarvexa
