#include "components/visual/Scope.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>

namespace tarvexa {

namespace {
float Mix(const int16_t* samples, int frame, int channels) {
  int sum = 0;
  for (int c = 0; c < channels; ++c) sum += samples[static_cast<ptrdiff_t>(frame) * channels + c];
  return static_cast<float>(sum) / static_cast<float>(channels);
}
}  // namespace

int ScopeTrigger(const int16_t* samples, int frames, int channels) {
  if (!samples || frames < 4 || channels <= 0) return 0;
  // A crossing counts only after the signal was clearly below zero, so
  // that noise around zero does not trigger.
  float low = 0;
  for (int f = 0; f < frames; ++f) low = std::min(low, Mix(samples, f, channels));
  const float arm = low * 0.1f;
  bool armed = false;
  for (int f = 0; f <= frames / 2; ++f) {
    const float v = Mix(samples, f, channels);
    if (v < arm)
      armed = true;
    else if (armed && v >= 0)
      return f;
  }
  return 0;
}

void ScopeTrace(const int16_t* samples, int frames, int channels, int rows, int points,
                float* out) {
  if (points <= 0 || rows <= 0) return;
  if (!samples || frames < 2 || channels <= 0) {
    std::fill(out, out + static_cast<ptrdiff_t>(rows) * points, 0.0f);
    return;
  }
  const int start = ScopeTrigger(samples, frames, channels);
  const int span = std::max(2, frames / 2);
  for (int r = 0; r < rows; ++r) {
    float* row = out + static_cast<ptrdiff_t>(r) * points;
    for (int i = 0; i < points; ++i) {
      const double pos =
          start + (points > 1 ? static_cast<double>(i) * (span - 1) / (points - 1) : 0.0);
      const int a = std::min(static_cast<int>(pos), frames - 2);
      const float t = static_cast<float>(pos - a);
      float va, vb;
      if (rows == 1 || channels == 1) {
        va = Mix(samples, a, channels);
        vb = Mix(samples, a + 1, channels);
      } else {
        const int c = std::min(r, channels - 1);
        va = samples[static_cast<ptrdiff_t>(a) * channels + c];
        vb = samples[static_cast<ptrdiff_t>(a + 1) * channels + c];
      }
      row[i] = (va + (vb - va) * t) / 32768.0f;
    }
  }
}

}  // namespace tarvexa
