#pragma once
// Writes MPEG-1/2 Audio Layer II (".mp2") through libtwolame.
// Thread affinity: the encoder thread (the label function below is pure
// over a Settings value and runs on any thread).

#include <sys/types.h>

#include <string>
#include <vector>

#include "encoders/ClipWriter.h"

struct twolame_options_struct;

namespace tarvexa {

class Mp2Writer final : public ClipWriter {
 public:
  explicit Mp2Writer(const Settings& s);
  ~Mp2Writer() override;

  std::string Open(const std::string& path) override;
  bool Write(const int16_t* samples, size_t frames) override;
  bool Close() override;
  std::string ErrorText() const override { return error_; }

  // "" when libtwolame accepts the MP2 settings at the current rate and
  // channel count, else the text that ends the recording.
  static std::string CheckSettings(const Settings& s);

  // Samples handed to the encoder per call: 8192 ÷ channels frames.
  static constexpr size_t kChunkSamples = 8192;

 private:
  bool EncodeChunk(const int16_t* pcm, size_t samples);
  bool Flush();
  bool WriteBytes(const unsigned char* data, size_t size);
  void Release();

  Settings settings_;
  twolame_options_struct* encoder_ = nullptr;
  int fd_ = -1;
  std::string path_;
  std::string error_;
  size_t channels_ = 2;
  std::vector<int16_t> pending_;    // samples waiting for a full chunk
  std::vector<unsigned char> out_;  // encoded frames of one call
  off_t fileBytes_ = 0;             // bytes safely in the file
  size_t samplesIn_ = 0;            // samples handed to the encoder
  bool writeFailed_ = false;
};

// Bitrate of MP2.Bits in kbps: 0..16 index BitrateTable, 17 is 384 kbps;
// 0 for anything else (which the encoder refuses).
int Mp2Kbps(int bits);

// "MP2:  128 kbps; 44100 Hz;  Joint Stereo;" and the like.
std::string Mp2Label(const Settings& s);
inline constexpr char kMp2LogLine[] = "Set audio format: MP2.";

}  // namespace tarvexa
