#pragma once
// Writes WAV, AIFF and the eighteen other formats of the sound-file library
// (libsndfile), in any of their sub-encodings.
// Thread affinity: the encoder thread.

#include <sndfile.h>

#include "encoders/ClipWriter.h"

namespace tarvexa {

class SoundFileWriter : public ClipWriter {
 public:
  explicit SoundFileWriter(const Settings& s);
  ~SoundFileWriter() override;

  std::string Open(const std::string& path) override;
  bool Write(const int16_t* samples, size_t frames) override;
  bool Close() override;
  std::string ErrorText() const override { return error_; }

 private:
  Settings settings_;
  SNDFILE* file_ = nullptr;
  std::string path_;
  std::string error_;
  int channels_ = 2;
  int rate_ = 44100;
  int64_t framesSinceHeader_ = 0;  // frames written since the header was last rewritten
  bool writeFailed_ = false;       // a write came up short; the file takes no more data
};

}  // namespace tarvexa
