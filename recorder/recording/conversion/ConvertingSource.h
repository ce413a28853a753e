#pragma once
// An input whose audio has another rate or channel count than the recording
// (a sound file of its own making), converted on the way in: channels mixed
// (to mono the mean of all; to stereo from more, the mean of the even ones
// left and of the odd ones right) or duplicated (mono to both sides), then
// resampled by the DSP stage's resampler (AudioTransform, libsoxr, high
// quality), in steps where the ratio is beyond what one step takes. The end
// of the input ends the conversion: what the resampler still holds is given
// out before the end is reported, so nothing is cut off. From clip to clip
// the conversion goes on where it stopped.
// Thread affinity: as InputSource (the capture thread of the current clip).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "recording/InputSource.h"

namespace tarvexa {

class AudioTransform;

class ConvertingSource : public InputSource {
 public:
  // `inner` delivers `rate` Hz with `channels` channels.
  ConvertingSource(std::shared_ptr<InputSource> inner, int rate, int channels);
  ~ConvertingSource() override;

  bool Open(const OpenOptions& options, int* errorCode, std::string* error) override;
  ReadResult Read(int16_t* dest, int frames, int* got, std::string* error) override;
  void Close() override;
  bool IsRealTime() const override { return inner_->IsRealTime(); }
  int64_t Overflows() const override { return inner_->Overflows(); }

  // The rates the audio passes through, first to last (the steps of the
  // resampler); just `from` and `to` when one step does.
  static std::vector<int> RateSteps(int from, int to);

 private:
  void Convert(const int16_t* in, int frames);
  void Resample(std::vector<int16_t>& channel, int index, bool flush);

  std::shared_ptr<InputSource> inner_;
  const int inRate_;
  const int inChannels_;
  int outChannels_ = 2;
  std::vector<int> steps_;
  std::vector<std::unique_ptr<AudioTransform>> stages_;
  std::vector<int16_t> block_;    // one block of the inner input
  std::vector<int16_t> pending_;  // converted frames not yet given out
  size_t pendingAt_ = 0;          // first sample of pending_ not yet given out
  bool ended_ = false;
  bool configured_ = false;
};

}  // namespace tarvexa
