#pragma once
// Writes TwinVQ audio in the VQF container (".vqf"). The coding is done by
// tvqenc.so (encoders/vqf/tvq/TvqEnc.h), loaded at run time from the program
// folder; the writer owns the rest: the set-up record from the eighteen
// presets, fixed-size frames of samples for the library, the header chunk
// and the frame indices packed into a continuous big-endian bit stream.
//
// Our library codes with codebooks of its own: other players read the
// headers of these files (rate, channels, bit rate) but cannot decode their
// audio; vqfdec, beside the recorder, can.
//
// The family's pieces for the format catalogue are the free functions below
// the writer: presets, label, log line, allowed rate/channel pairs and the
// preparation step.
// Thread affinity: TvqEncLibrary::Bind, PrepareVqf and the writer run on
// the encoder thread; the preset, label and matrix functions are pure over a
// Settings value and run on any thread.

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "encoders/ClipWriter.h"
#include "encoders/vqf/VqfBitFile.h"
#include "encoders/vqf/tvq/TvqEnc.h"
#include "formats/FormatCatalogue.h"

namespace tarvexa {

// The bound coding library: the dlopen handle and its entry points.
class TvqEncLibrary {
 public:
  ~TvqEncLibrary();
  TvqEncLibrary(const TvqEncLibrary&) = delete;
  TvqEncLibrary& operator=(const TvqEncLibrary&) = delete;

  // Loads tvqenc.so from LoadFolder() and resolves its entry points; the
  // result becomes Current(). Returns "" or the text to log.
  static std::string Bind();
  static std::shared_ptr<const TvqEncLibrary> Current();
  // The program folder; tests may point $TARVEXA_LIB_DIR somewhere else.
  static std::string LoadFolder();

  TvqGetVersionIDFn* getVersionId = nullptr;
  TvqEncInitializeFn* initialize = nullptr;
  TvqEncGetConfInfoFn* getConfInfo = nullptr;
  TvqEncGetVectorInfoFn* getVectorInfo = nullptr;
  TvqEncGetFrameSizeFn* getFrameSize = nullptr;
  TvqEncGetNumChannelsFn* getNumChannels = nullptr;
  TvqEncodeFrameFn* encodeFrame = nullptr;
  TvqEncUpdateVectorInfoFn* updateVectorInfo = nullptr;
  TvqEncTerminateFn* terminate = nullptr;

 private:
  TvqEncLibrary() = default;
  void* handle_ = nullptr;
};

class VqfWriter final : public ClipWriter {
 public:
  explicit VqfWriter(const Settings& s);
  ~VqfWriter() override;

  std::string Open(const std::string& path) override;
  bool Write(const int16_t* samples, size_t frames) override;
  bool Close() override;
  std::string ErrorText() const override { return error_; }

  // Frames written to the file so far.
  int64_t FramesWritten() const { return framesWritten_; }

 private:
  bool EncodeQueue();
  void PackFrame();
  bool Fail(const std::string& what);
  void Release();

  Settings settings_;
  std::shared_ptr<const TvqEncLibrary> lib_;
  VqfHeaderInfo header_{};
  TvqEncSpecificInfo specific_{};
  std::unique_ptr<TvqIndex> index_;
  bool encoderOpen_ = false;
  TvqConfInfo conf_{};
  std::array<int32_t*, kTvqWidthTables> bits0_{}, bits1_{};
  VqfBitFile file_;
  std::string path_;
  std::string error_;
  int frameSize_ = 0;
  int channels_ = 0;
  std::vector<int16_t> queue_;  // interleaved samples of the frame being filled
  size_t queued_ = 0;
  std::vector<float> planes_;
  int64_t samplesIn_ = 0;  // per channel, since Open
  int64_t framesWritten_ = 0;
  bool failed_ = false;
};

// ---------------------------------------------------------------------------
// The family's pieces for the catalogue.

struct VqfPreset {
  const char* text;  // "  8,000 Hz;    Mono;   8 kbps;", as in the preset list
  int rateCode;      // sampling-rate code of the header (kHz)
  int channelMode;   // 0 mono, 1 stereo
  int kbps;          // bit rate of the header, all channels
  int chan;          // OUTPUT.Chan it fixes
  int freq;          // OUTPUT.Freq (SampleRateTable index) it fixes
};
// Index = VQF.Profile - 1.
const std::array<VqfPreset, 18>& VqfPresets();
// nullptr outside 1..18.
const VqfPreset* FindVqfPreset(int profile);
// The slider's quality values, position 0 to 5.
inline constexpr std::array<int, 6> kVqfQualities = {1, 2, 4, 8, 16, 32};

inline constexpr const char* kVqfLogLine = "Set audio format: VQF.";
// "VQF:   96 kbps; 44100 Hz;  Stereo; Quality 16;"; "VQF:" for a profile
// outside 1..18.
std::string VqfFormatLabel(const Settings& s);
// Exactly the pair of the preset; none for a profile outside 1..18.
RateChannelMatrix VqfFormatMatrix(const Settings& s);
// Once per recording, before the first clip: binds tvqenc.so.
std::string PrepareVqf(const Settings& s);
// The set-up record for the settings: cleared, the library's identifier,
// the preset's channel mode, bit rate and sampling-rate code (0 outside
// 1..18); no texts.
VqfHeaderInfo MakeVqfHeaderInfo(const Settings& s, const TvqEncLibrary& lib);

}  // namespace tarvexa
