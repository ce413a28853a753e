#include "recording/SampleConversion.h"

#include <cmath>

namespace tarvexa {

float SampleConverter::NextTriangular() {
  // Two uniform values in [-0.5, 0.5) summed: triangular in [-1, 1).
  auto uniform = [this] {
    noise_ ^= noise_ << 13;
    noise_ ^= noise_ >> 17;
    noise_ ^= noise_ << 5;
    return static_cast<float>(noise_ >> 8) * (1.0f / 16777216.0f) - 0.5f;
  };
  return uniform() + uniform();
}

void SampleConverter::Convert(const float* in, int16_t* out, size_t count) {
  const bool clip = Clip();
  const bool dither = Dither();
  for (size_t i = 0; i < count; ++i) {
    float v = in[i] * 32768.0f;
    if (!std::isfinite(v)) v = 0.0f;
    if (dither && v != std::nearbyint(v)) v += NextTriangular();
    // Beyond any real signal; keeps the rounding below in range.
    v = std::fmin(std::fmax(v, -2147483648.0f), 2147483520.0f);
    const long r = std::lrint(v);
    if (clip) {
      out[i] = static_cast<int16_t>(r < -32768 ? -32768 : r > 32767 ? 32767 : r);
    } else {
      out[i] = static_cast<int16_t>(static_cast<uint16_t>(static_cast<unsigned long>(r) & 0xFFFFu));
    }
  }
}

}  // namespace tarvexa
