#pragma once
// The engine's sample transform: the arithmetic behind the DSP stage.
//
// Amplify multiplies by coefficient / 100 and clips at the 16-bit limits.
//
// Normalize is a peak normaliser that runs on a stream: the gain is
// target / peak, where target is `percent` of full scale and peak is a
// running peak of the channel, so the output never goes above the target
// and the gain changes sample by sample instead of once a block. Without
// levelling the running peak is the loudest sample so far (the gain only
// ever falls, as in normalising a finished file by its peak); with levelling
// it is held for kLevelingHoldSeconds and then falls by
// kLevelingReleaseDbPerSecond, so quieter passages are brought up slowly,
// without pumping from block to block. The first block a channel sees sets
// the starting peak, so the start is not squared off. The gain never goes
// above kMaxNormalizeGainDb, so near silence is not raised to full level.
//
// Resample runs one libsoxr stream resampler per channel (high quality,
// linear phase) that keeps its filter state from block to block; block
// edges therefore leave no trace. 100 percent passes samples through. A
// change of percent during a recording ends the old resampler's stream
// and starts a new one.
// Thread affinity: as SampleTransform.

#include <array>
#include <memory>

#include "recording/SampleTransform.h"

namespace tarvexa {

class AudioTransform final : public SampleTransform {
 public:
  static constexpr double kMaxNormalizeGainDb = 30.0;
  static constexpr double kLevelingHoldSeconds = 0.5;
  static constexpr double kLevelingReleaseDbPerSecond = 3.0;
  static constexpr float kMinResamplePercent = 20.0f;
  static constexpr float kMaxResamplePercent = 500.0f;

  AudioTransform();
  ~AudioTransform();
  AudioTransform(const AudioTransform&) = delete;
  AudioTransform& operator=(const AudioTransform&) = delete;

  void SetChannels(int channels) override;
  void SetSampleRate(int rate) override;
  int Channels() const override { return channels_; }
  int SampleRate() const override { return rate_; }

  std::vector<int16_t> LeftChannel(std::span<const int16_t> stereo) const override;
  std::vector<int16_t> RightChannel(std::span<const int16_t> stereo) const override;
  std::vector<int16_t> Merge(std::span<const int16_t> left,
                             std::span<const int16_t> right) const override;

  void Amplify(std::vector<int16_t>& samples, float coefficient) override;
  void Normalize(std::vector<int16_t>& samples, float percent, bool leveling, int channel) override;
  void Resample(std::vector<int16_t>& samples, float percent, int channel) override;
  bool ResamplerPending(int channel) const override;
  void FlushResampler(std::vector<int16_t>& samples, int channel) override;

  // The gain the normaliser of `channel` applied to its last sample (1 before any).
  double NormalizeGain(int channel) const;

 private:
  struct ChannelState;
  ChannelState& State(int channel) const;
  void ResetState();

  int channels_ = 2;
  int rate_ = 44100;
  std::array<std::unique_ptr<ChannelState>, 2> state_;
};

}  // namespace tarvexa
