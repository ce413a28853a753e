#include "components/visual/Spectrum.h"

#include <kiss_fftr.h>

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace tarvexa {

SpectrumAnalyzer::SpectrumAnalyzer(int size) {
  if (!SetSize(size)) SetSize(2048);
}

SpectrumAnalyzer::~SpectrumAnalyzer() {
  if (cfg_) kiss_fftr_free(cfg_);
}

bool SpectrumAnalyzer::SetSize(int n) {
  if (!ValidSize(n)) return false;
  if (n == size_) return true;
  kiss_fftr_cfg cfg = kiss_fftr_alloc(n, 0, nullptr, nullptr);
  if (!cfg) return false;
  if (cfg_) kiss_fftr_free(cfg_);
  cfg_ = cfg;
  size_ = n;
  signal_.assign(static_cast<size_t>(n), 0.0f);
  spectrum_.assign(static_cast<size_t>(n + 2), 0.0f);
  power_.assign(static_cast<size_t>(n / 2 + 1), 0.0f);
  return true;
}

const std::vector<float>& SpectrumAnalyzer::Window(int length) {
  if (length != windowLength_) {
    window_.resize(static_cast<size_t>(length));
    windowSum_ = 0;
    for (int i = 0; i < length; ++i) {
      const double w = length > 1 ? 0.5 - 0.5 * std::cos(2.0 * M_PI * i / (length - 1)) : 1.0;
      window_[static_cast<size_t>(i)] = static_cast<float>(w);
      windowSum_ += w;
    }
    windowLength_ = length;
  }
  return window_;
}

void SpectrumAnalyzer::Analyze(const int16_t* samples, int frames, int channels, int channel,
                               std::vector<float>& magnitudes) {
  const size_t bins = static_cast<size_t>(size_ / 2 + 1);
  magnitudes.assign(bins, 0.0f);
  if (!samples || frames <= 0 || channels <= 0) return;

  // The channel (or the mix) as floats in -1..1.
  input_.resize(static_cast<size_t>(frames));
  for (int f = 0; f < frames; ++f) {
    const int16_t* frame = samples + static_cast<ptrdiff_t>(f) * channels;
    float v = 0;
    if (channel >= 0 && channel < channels) {
      v = frame[channel];
    } else {
      for (int c = 0; c < channels; ++c) v += frame[c];
      v /= static_cast<float>(channels);
    }
    input_[static_cast<size_t>(f)] = v / 32768.0f;
  }

  const int length = std::min(frames, size_);
  const std::vector<float>& w = Window(length);
  const int hop = std::max(1, size_ / 2);
  const int pieces = frames > size_ ? 1 + (frames - size_) / hop : 1;
  std::fill(power_.begin(), power_.end(), 0.0f);
  auto* out = reinterpret_cast<kiss_fft_cpx*>(spectrum_.data());
  for (int p = 0; p < pieces; ++p) {
    const float* in = input_.data() + static_cast<ptrdiff_t>(p) * hop;
    for (int i = 0; i < length; ++i)
      signal_[static_cast<size_t>(i)] = in[i] * w[static_cast<size_t>(i)];
    std::fill(signal_.begin() + length, signal_.end(), 0.0f);
    kiss_fftr(cfg_, signal_.data(), out);
    for (size_t k = 0; k < bins; ++k) power_[k] += out[k].r * out[k].r + out[k].i * out[k].i;
  }
  // A sine of amplitude A on a bin gives |X| = A * sum(w) / 2.
  const double scale = 2.0 / windowSum_;
  for (size_t k = 0; k < bins; ++k)
    magnitudes[k] = static_cast<float>(std::sqrt(power_[k] / pieces) * scale);
}

double BandEdge(const BandAxis& axis, int bands, int i) {
  const double t = bands > 0 ? static_cast<double>(i) / bands : 0.0;
  if (axis.logarithmic) {
    const double low = std::max(1.0, axis.lowHz);
    return low * std::pow(axis.highHz / low, t);
  }
  return axis.lowHz + (axis.highHz - axis.lowHz) * t;
}

void MapBands(const std::vector<float>& magnitudes, int rate, const BandAxis& axis, int bands,
              float* out) {
  if (bands <= 0) return;
  const int bins = static_cast<int>(magnitudes.size());
  if (bins < 2 || rate <= 0) {
    std::fill(out, out + bands, 0.0f);
    return;
  }
  const double binHz = rate / 2.0 / (bins - 1);
  auto at = [&](double hz) {  // linear interpolation between bins
    const double pos = std::clamp(hz / binHz, 0.0, static_cast<double>(bins - 1));
    const int k = std::min(static_cast<int>(pos), bins - 2);
    const double f = pos - k;
    return static_cast<float>(magnitudes[static_cast<size_t>(k)] * (1 - f) +
                              magnitudes[static_cast<size_t>(k + 1)] * f);
  };
  double lowEdge = BandEdge(axis, bands, 0);
  for (int b = 0; b < bands; ++b) {
    const double highEdge = BandEdge(axis, bands, b + 1);
    // Bins whose centre lies in [lowEdge, highEdge).
    const int first = static_cast<int>(std::ceil(lowEdge / binHz - 1e-9));
    const int last = static_cast<int>(std::ceil(highEdge / binHz - 1e-9)) - 1;
    float v = 0;
    if (first <= last && first < bins) {
      for (int k = std::max(0, first); k <= std::min(last, bins - 1); ++k)
        v = std::max(v, magnitudes[static_cast<size_t>(k)]);
    } else {
      v = at(axis.logarithmic ? std::sqrt(lowEdge * highEdge) : (lowEdge + highEdge) / 2);
    }
    out[b] = v;
    lowEdge = highEdge;
  }
}

float DecibelHeight(float magnitude, float rangeDb) {
  if (magnitude <= 0 || rangeDb <= 0) return 0.0f;
  const float db = 20.0f * std::log10(magnitude);
  return std::clamp((db + rangeDb) / rangeDb, 0.0f, 1.0f);
}

}  // namespace tarvexa
