#pragma once
// Writes FLAC with libFLAC's stream encoder, as a native FLAC file (".flac")
// or as Ogg FLAC (".ogg", a fresh random serial number per clip), with the
// compression level, block size and verification of the FLAC settings.
// Also here: the format label and the lists of the options page.
// Thread affinity: the writer lives on the encoder thread; the free
// functions are pure and may be called from any thread.

#include <FLAC/stream_encoder.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "encoders/ClipWriter.h"

namespace tarvexa {

// Samples per block passed to the encoder for each "Block Size:" index;
// 0 leaves the choice to the encoder (it follows the compression level).
inline constexpr std::array<unsigned, 11> kFlacBlockSizes = {0,    192,  256,  512,  576, 1024,
                                                             1152, 2048, 2304, 4096, 4608};
unsigned FlacBlockSizeOf(int index);  // 0 for an index outside the list

// The texts of the options page's lists, in index order.
inline constexpr std::array<const char*, 9> kFlacCompressionLevelTexts = {
    " 0 (Fastest)", " 1", " 2", " 3", " 4", " 5 (Default)", " 6", " 7", " 8 (Best)"};
inline constexpr std::array<const char*, 11> kFlacBlockSizeTexts = {
    "  Use Default", "  192 Samples", "  256 Samples", "  512 Samples",
    "  576 Samples", " 1024 Samples", " 1152 Samples", " 2048 Samples",
    " 2304 Samples", " 4096 Samples", " 4608 Samples"};
// Asked before Ogg FLAC is chosen (Yes/No).
inline constexpr char kOggFlacQuestion[] =
    "     Ogg FLAC is the Compressed FLAC Data Stored in an Ogg Container.\n It is Narrowly "
    "Supported and has Larger File Size. Do You Wish to Continue?";

// "FLAC:  Native Flac; Compression Level 5;  44100 Hz;  Stereo;" and the like.
std::string FlacLabel(const Settings& s);
inline constexpr char kFlacLogLine[] = "Set audio format: FLAC.";

class FlacWriter : public ClipWriter {
 public:
  explicit FlacWriter(const Settings& s);
  ~FlacWriter() override;

  std::string Open(const std::string& path) override;
  bool Write(const int16_t* samples, size_t frames) override;
  bool Close() override;
  std::string ErrorText() const override { return error_; }

 private:
  std::string FailureText(const char* what, int savedErrno) const;
  bool FlushFile();

  Settings settings_;
  std::string path_;
  std::string error_;
  FLAC__StreamEncoder* encoder_ = nullptr;
  FILE* file_ = nullptr;           // owned by the encoder once initialised
  std::vector<FLAC__int32> wide_;  // one block widened to 32 bits
  int channels_ = 2;
  int rate_ = 44100;
  int64_t framesSinceFlush_ = 0;
  bool writeFailed_ = false;  // processing failed; the file takes no more data
};

}  // namespace tarvexa
