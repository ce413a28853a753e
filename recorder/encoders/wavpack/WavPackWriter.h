#pragma once
// Writes WavPack (".wv") in pure lossless or hybrid mode, with an optional
// correction file (".wvc") beside it, through the library's block output.
// Thread affinity: the encoder thread (WavPackLabel is pure and runs on any
// thread).

#include <cstdint>
#include <string>
#include <vector>

#include "encoders/ClipWriter.h"

struct WavpackContext;

namespace tarvexa {

class WavPackWriter final : public ClipWriter {
 public:
  explicit WavPackWriter(const Settings& s);
  ~WavPackWriter() override;

  std::string Open(const std::string& path) override;
  bool Write(const int16_t* samples, size_t frames) override;
  bool Close() override;
  std::string ErrorText() const override { return error_; }
  void RemoveFiles(const std::string& path) const override;

  // The correction file that goes with `path`: ".wv" becomes ".wvc".
  static std::string CorrectionPathFor(const std::string& path);

  // One output stream of the library (the ".wv" or the ".wvc" file).
  struct Stream {
    uint64_t bytesWritten = 0;
    uint32_t firstBlockSize = 0;  // kept to rewrite the sample count at the end
    int fd = -1;
    bool error = false;  // a block could not be written; the stream is closed
    int errorCause = 0;  // errno of that failure
    std::string path;
  };

 private:
  static int BlockOutput(void* id, void* data, int32_t bcount);
  bool PackConverted(size_t samples);
  bool FailedStream();
  void RewriteSampleCount(Stream& stream);
  void Release();

  Settings settings_;
  WavpackContext* context_ = nullptr;
  Stream wv_;
  Stream wvc_;
  bool withCorrection_ = false;
  std::string path_;
  std::string error_;
  int channels_ = 2;
  std::vector<int32_t> converted_;  // 16-bit samples widened for the library
  bool writeFailed_ = false;
};

// "WV:   WavPack Pure Lossless Mode; Compression Level Normal;  44100 Hz;
// Stereo;" and the like.
std::string WavPackLabel(const Settings& s);
inline constexpr char kWavPackLogLine[] = "Set audio format: WV.";

}  // namespace tarvexa
