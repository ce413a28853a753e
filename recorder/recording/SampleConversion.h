#pragma once
// The last step of capture: the input's floating-point samples become the
// recording's signed 16-bit samples, with the "Clipping" and "Dithering"
// switches (DSP Clip, DSP Dither) as they stand at that moment.
//
// The sound-card input is read as 32-bit floats and converted here rather
// than by the audio library, because the library fixes clipping and
// dithering when a stream is opened, and the input stays open for the whole
// recording (a split must not lose a sample). Converting here lets a change
// of either switch reach the very next block.
//
//  - Scale: a float of 1.0 is 32768, the inverse of how 16-bit input is
//    widened to float, so 16-bit audio passes through unchanged.
//  - Dithering adds triangular (TPDF) noise of +-1 step before rounding, and
//    only to samples that fall between two 16-bit steps: audio that already
//    is 16-bit (most sound cards, every sound server's 16-bit source) gets no
//    noise at all; finer input (24-bit, float) has its rounding error turned
//    into benign noise.
//  - Clipping holds samples beyond full scale at full scale. Without it they
//    wrap around, as a plain integer conversion does.
// Thread affinity: Convert on the capture thread; the switches on any thread.

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace tarvexa {

class SampleConverter {
 public:
  SampleConverter(bool clip = true, bool dither = true) : clip_(clip), dither_(dither) {}

  void SetClip(bool on) { clip_.store(on, std::memory_order_relaxed); }
  void SetDither(bool on) { dither_.store(on, std::memory_order_relaxed); }
  bool Clip() const { return clip_.load(std::memory_order_relaxed); }
  bool Dither() const { return dither_.load(std::memory_order_relaxed); }

  void Convert(const float* in, int16_t* out, size_t count);

 private:
  float NextTriangular();

  std::atomic<bool> clip_;
  std::atomic<bool> dither_;
  uint32_t noise_ = 0x9E3779B9u;  // xorshift state, never 0
};

}  // namespace tarvexa
