#include "components/visual/BarDynamics.h"

#include <algorithm>

namespace tarvexa {

void BarDynamics::Resize(int count) {
  count = std::max(0, count);
  if (count == Count()) return;
  bars_.assign(static_cast<size_t>(count), 0.0f);
  peaks_.assign(static_cast<size_t>(count), 0.0f);
  age_.assign(static_cast<size_t>(count), 0);
}

void BarDynamics::Update(const float* targets, int count, int elapsedMs) {
  Resize(count);
  const float keep = std::clamp(params_.smoothing, 0.0f, 1.0f);
  const float fall = params_.fallPerSecond * static_cast<float>(elapsedMs) / 1000.0f;
  for (size_t i = 0; i < bars_.size(); ++i) {
    const float t = std::clamp(targets[i], 0.0f, 1.0f);
    float& bar = bars_[i];
    bar = t >= bar ? t : keep * bar + (1.0f - keep) * t;

    float& peak = peaks_[i];
    if (bar >= peak) {
      peak = bar;
      age_[i] = 0;
      continue;
    }
    if (hold_) continue;
    // The first block past the hold time starts the fall.
    if (age_[i] < params_.holdMs) {
      age_[i] += elapsedMs;
      if (age_[i] <= params_.holdMs) continue;
    }
    peak = std::max(bar, peak - fall);
  }
}

void BarDynamics::SetHold(bool on) {
  if (hold_ && !on) {
    peaks_ = bars_;
    std::fill(age_.begin(), age_.end(), 0);
  }
  hold_ = on;
}

void BarDynamics::Clear() {
  std::fill(bars_.begin(), bars_.end(), 0.0f);
  if (!hold_) std::fill(peaks_.begin(), peaks_.end(), 0.0f);
  std::fill(age_.begin(), age_.end(), 0);
}

}  // namespace tarvexa
