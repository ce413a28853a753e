#include "recording/Dsp.h"

namespace tarvexa {

namespace {

void Process(SampleTransform& t, const Settings::DspSection& dsp, bool resample,
             std::vector<int16_t>& samples, int channel) {
  if (dsp.Amp) t.Amplify(samples, static_cast<float>(dsp.AmpN));
  if (dsp.Nor) t.Normalize(samples, static_cast<float>(dsp.NorN), dsp.NorLev != 0, channel);
  // Resampling switched off during a clip still lets out what the filter holds.
  if (resample) t.Resample(samples, dsp.Res ? static_cast<float>(dsp.ResN) : 100.0f, channel);
}

}  // namespace

std::span<const int16_t> ApplyDsp(SampleTransform& t, const Settings::DspSection& dsp,
                                  std::span<const int16_t> block, std::vector<int16_t>& out) {
  const bool stereo = t.Channels() == 2;
  const bool resample = dsp.Res || t.ResamplerPending(0) || (stereo && t.ResamplerPending(1));
  if (!dsp.Amp && !dsp.Nor && !resample) return block;

  if (!stereo) {
    out.assign(block.begin(), block.end());
    Process(t, dsp, resample, out, 0);
    return out;
  }
  std::vector<int16_t> left = t.LeftChannel(block);
  std::vector<int16_t> right = t.RightChannel(block);
  Process(t, dsp, resample, left, 0);
  Process(t, dsp, resample, right, 1);
  out = t.Merge(left, right);
  return out;
}

std::span<const int16_t> FlushDsp(SampleTransform& t, std::vector<int16_t>& out) {
  out.clear();
  if (t.Channels() != 2) {
    t.FlushResampler(out, 0);
    return out;
  }
  std::vector<int16_t> left, right;
  t.FlushResampler(left, 0);
  t.FlushResampler(right, 1);
  if (left.empty() && right.empty()) return out;
  out = t.Merge(left, right);
  return out;
}

}  // namespace tarvexa
