#include "recording/AudioTransform.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace tarvexa {

namespace {

int16_t Clip16(double v) {
  if (v >= 32767.0) return 32767;
  if (v <= -32768.0) return -32768;
  return static_cast<int16_t>(std::lround(v));
}

int PeakOf(const std::vector<int16_t>& s) {
  int peak = 0;
  for (int16_t x : s) peak = std::max(peak, std::abs(static_cast<int>(x)));
  return peak;
}

}  // namespace

struct AudioTransform::ChannelState {
  // Normaliser.
  double peak = 0.0;  // running peak, in sample units
  long hold = 0;      // samples left before a levelling peak starts to fall
  double gain = 1.0;  // last gain applied

  // Resampler: created at the first block, kept for the recording.
  soxr_t soxr = nullptr;
  double percent = 0.0;
  bool fed = false;  // input given since the last flush
  std::vector<float> in, out;

  ~ChannelState() {
    if (soxr) soxr_delete(soxr);
  }

  void Check(soxr_error_t e) {
    if (e) throw std::runtime_error(std::string("Resampling failed: ") + e);
  }

  void Create(double pct) {
    if (soxr) soxr_delete(soxr);
    soxr = nullptr;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, SOXR_LINEAR_PHASE);
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_error_t e = nullptr;
    // Only the ratio matters: 100 samples in give pct samples out.
    soxr = soxr_create(100.0, pct, 1, &e, &io, &quality, &runtime);
    if (!soxr) Check(e ? e : "cannot create the resampler");
    percent = pct;
    fed = false;
  }

  void Append(std::vector<int16_t>& dest, size_t count) {
    for (size_t i = 0; i < count; ++i) dest.push_back(Clip16(out[i] * 32768.0));
  }

  // Ends the input stream and appends everything the filter still holds.
  void Drain(std::vector<int16_t>& dest) {
    if (!soxr || !fed) return;
    if (out.size() < 4096) out.resize(4096);
    for (;;) {
      size_t odone = 0;
      Check(soxr_process(soxr, nullptr, 0, nullptr, out.data(), out.size(), &odone));
      if (odone == 0) break;
      Append(dest, odone);
    }
    Check(soxr_clear(soxr));
    fed = false;
  }
};

AudioTransform::AudioTransform() { ResetState(); }
AudioTransform::~AudioTransform() = default;

void AudioTransform::ResetState() {
  for (auto& s : state_) s = std::make_unique<ChannelState>();
}

AudioTransform::ChannelState& AudioTransform::State(int channel) const {
  return *state_[channel == 1 ? 1 : 0];
}

void AudioTransform::SetChannels(int channels) {
  channels_ = channels == 1 ? 1 : 2;
  ResetState();
}

void AudioTransform::SetSampleRate(int rate) {
  rate_ = rate > 0 ? rate : 44100;
  ResetState();
}

std::vector<int16_t> AudioTransform::LeftChannel(std::span<const int16_t> stereo) const {
  std::vector<int16_t> out(stereo.size() / 2);
  for (size_t i = 0; i < out.size(); ++i) out[i] = stereo[2 * i];
  return out;
}

std::vector<int16_t> AudioTransform::RightChannel(std::span<const int16_t> stereo) const {
  std::vector<int16_t> out(stereo.size() / 2);
  for (size_t i = 0; i < out.size(); ++i) out[i] = stereo[2 * i + 1];
  return out;
}

std::vector<int16_t> AudioTransform::Merge(std::span<const int16_t> left,
                                           std::span<const int16_t> right) const {
  const size_t frames = std::max(left.size(), right.size());
  std::vector<int16_t> out(2 * frames, 0);
  for (size_t i = 0; i < left.size(); ++i) out[2 * i] = left[i];
  for (size_t i = 0; i < right.size(); ++i) out[2 * i + 1] = right[i];
  return out;
}

void AudioTransform::Amplify(std::vector<int16_t>& samples, float coefficient) {
  const double gain = std::max(0.0, static_cast<double>(coefficient)) / 100.0;
  if (gain == 1.0) return;
  for (int16_t& x : samples) x = Clip16(x * gain);
}

void AudioTransform::Normalize(std::vector<int16_t>& samples, float percent, bool leveling,
                               int channel) {
  if (samples.empty()) return;
  ChannelState& st = State(channel);
  const double target = std::clamp(static_cast<double>(percent), 0.0, 100.0) / 100.0 * 32767.0;
  const double maxGain = std::pow(10.0, kMaxNormalizeGainDb / 20.0);
  // Peaks below the floor get the highest gain.
  const double floor = target / maxGain;
  const long holdSamples = std::lround(kLevelingHoldSeconds * rate_);
  const double release = std::pow(10.0, -kLevelingReleaseDbPerSecond / 20.0 / rate_);

  // Sound after (near) silence: start from this block's peak, so that the
  // first samples of the sound are not raised to the target one by one.
  // What the gain jumps on here is quiet, so the jump is not heard.
  if (st.peak < floor) st.peak = std::max(st.peak, static_cast<double>(PeakOf(samples)));

  for (int16_t& x : samples) {
    const double a = std::abs(static_cast<double>(x));
    if (a >= st.peak) {
      st.peak = a;
      st.hold = holdSamples;
    } else if (leveling) {
      if (st.hold > 0)
        --st.hold;
      else
        st.peak *= release;
    }
    const double level = std::max(st.peak, floor);
    st.gain = level > 0.0 ? target / level : 0.0;
    x = Clip16(x * st.gain);
  }
}

double AudioTransform::NormalizeGain(int channel) const { return State(channel).gain; }

void AudioTransform::Resample(std::vector<int16_t>& samples, float percent, int channel) {
  ChannelState& st = State(channel);
  const double pct = std::clamp(percent, kMinResamplePercent, kMaxResamplePercent);
  std::vector<int16_t> result;
  // A new rate ends the old stream here; its tail comes first.
  if (st.soxr && st.percent != pct) st.Drain(result);
  if (pct == 100.0) {
    if (result.empty()) return;
    result.insert(result.end(), samples.begin(), samples.end());
    samples.swap(result);
    return;
  }
  if (!st.soxr || st.percent != pct) st.Create(pct);
  if (samples.empty()) {
    samples.swap(result);
    return;
  }

  const size_t n = samples.size();
  st.in.resize(n);
  for (size_t i = 0; i < n; ++i) st.in[i] = static_cast<float>(samples[i] / 32768.0);
  const size_t room = static_cast<size_t>(n * pct / 100.0) + 4096;
  if (st.out.size() < room) st.out.resize(room);
  result.reserve(result.size() + room);
  size_t used = 0;
  while (used < n) {
    size_t idone = 0, odone = 0;
    st.Check(soxr_process(st.soxr, st.in.data() + used, n - used, &idone, st.out.data(),
                          st.out.size(), &odone));
    st.Append(result, odone);
    used += idone;
    if (idone == 0 && odone == 0) break;
  }
  st.fed = true;
  samples.swap(result);
}

bool AudioTransform::ResamplerPending(int channel) const {
  const ChannelState& st = State(channel);
  return st.soxr && st.fed;
}

void AudioTransform::FlushResampler(std::vector<int16_t>& samples, int channel) {
  State(channel).Drain(samples);
}

}  // namespace tarvexa
