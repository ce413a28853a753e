#pragma once
// The operations of the sample processing stage, as the recording's DSP
// stage calls them (ApplyDsp, Dsp.h): split a stereo block into its
// channels, amplify, normalise and resample each channel, merge them again.
// Normalisation and resampling keep state per channel from block to block
// (channel 0 is mono or left, 1 is right), so a recording is processed as
// one continuous signal. The engine's own AudioTransform implements it; the
// main window hands the session its audio transform component instead.
// Thread affinity: one thread at a time: the owner before and after a
// recording, the recording's encoder thread while it runs.

#include <cstdint>
#include <span>
#include <vector>

namespace tarvexa {

class SampleTransform {
 public:
  // The format of the next recording (channels 1 or 2, rate in Hz). Each
  // call forgets the state of the last recording.
  virtual void SetChannels(int channels) = 0;
  virtual void SetSampleRate(int rate) = 0;
  virtual int Channels() const = 0;
  virtual int SampleRate() const = 0;

  // New mono arrays of the left or the right samples of interleaved stereo.
  virtual std::vector<int16_t> LeftChannel(std::span<const int16_t> stereo) const = 0;
  virtual std::vector<int16_t> RightChannel(std::span<const int16_t> stereo) const = 0;
  // A new interleaved stereo array; a shorter channel is padded with silence.
  virtual std::vector<int16_t> Merge(std::span<const int16_t> left,
                                     std::span<const int16_t> right) const = 0;

  // In place: coefficient in percent (100 leaves the samples as they are,
  // 200 doubles them); results beyond 16 bits are clipped, never wrapped.
  virtual void Amplify(std::vector<int16_t>& samples, float coefficient) = 0;
  // In place: brings the peaks of `channel` to `percent` of full scale.
  virtual void Normalize(std::vector<int16_t>& samples, float percent, bool leveling,
                         int channel) = 0;
  // Replaced by the samples resampled by `percent` (200 gives twice as many:
  // played at the same rate the tempo slows and the pitch drops).
  virtual void Resample(std::vector<int16_t>& samples, float percent, int channel) = 0;
  // True while the resampler of `channel` holds input not yet given out.
  virtual bool ResamplerPending(int channel) const = 0;
  // End of a clip: appends what the resampler of `channel` still holds, as
  // if the input ended here, and readies it for the next clip.
  virtual void FlushResampler(std::vector<int16_t>& samples, int channel) = 0;

 protected:
  ~SampleTransform() = default;
};

}  // namespace tarvexa
