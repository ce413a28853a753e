#pragma once
// The NN filter's inner loop, included by ApeNNFilter.cpp and by
// ApeNNFilterAvx2.cpp (built for AVX2): everything here has internal
// linkage, so each file keeps its own copy built for its own instructions.
// Ops supplies Dot (the wrapping 16x16-bit dot product) and Adapt
// (coefficients += or -= adaptation values, 16-bit wrapping); orders are
// multiples of 16.

#include <cstring>

#include "ApeNNFilter.h"

namespace tarvexa::ape {
namespace {

template <class Ops>
inline void CompressNN(NNState& s, int32_t* data, size_t count) {
  const uint32_t round = 1u << (s.shift - 1);
  for (size_t i = 0; i < count; ++i) {
    const int32_t x = data[i];
    const int32_t dot = Ops::Dot(s.coeffs, s.hist + (s.pos - s.order), s.order);
    const int32_t prediction = int32_t(uint32_t(dot) + round) >> s.shift;
    const int32_t r = int32_t(uint32_t(x) - uint32_t(prediction));
    // The coefficients step against the residual's sign.
    if (r != 0) Ops::Adapt(s.coeffs, s.adapt + (s.pos - s.order), s.order, r < 0);

    s.hist[s.pos] = int16_t(x < -32768 ? -32768 : x > 32767 ? 32767 : x);
    const uint32_t mag = x < 0 ? 0u - uint32_t(x) : uint32_t(x);
    int16_t step = 0;
    if (mag != 0) {
      const uint32_t avg = uint32_t(s.avg);
      const int scale = (mag > avg * 3) + (mag > avg + avg / 3);
      step = int16_t((x > 0 ? -8 : 8) << scale);
    }
    s.adapt[s.pos] = step;
    s.avg += (int32_t(mag) - s.avg) / 16;
    s.adapt[s.pos - 1] >>= 1;
    s.adapt[s.pos - 2] >>= 1;
    s.adapt[s.pos - 8] >>= 1;
    if (++s.pos == s.order + s.window) {
      std::memmove(s.hist, s.hist + s.window, size_t(s.order) * sizeof(int16_t));
      std::memmove(s.adapt, s.adapt + s.window, size_t(s.order) * sizeof(int16_t));
      s.pos = s.order;
    }
    data[i] = r;
  }
}

}  // namespace
}  // namespace tarvexa::ape
