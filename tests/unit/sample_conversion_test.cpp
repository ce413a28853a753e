// The capture's own float-to-16-bit conversion: 16-bit audio passes
// unchanged whatever the switches say, clipping holds full scale or lets
// the value wrap, dithering turns the rounding error into noise whose mean
// is the exact value, and a switch changes the very next block.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "recording/SampleConversion.h"

namespace tarvexa {
namespace {

struct Exact {
  float in;
  bool clip;
  int16_t out;
};

TEST(SampleConverter, SixteenBitValuesPassAndFullScaleClipsOrWraps) {
  const Exact cases[] = {
      {0.5f, true, 16384},
      {-0.5f, false, -16384},
      {32767.0f / 32768, true, 32767},
      {-1.0f, true, -32768},
      {-1.0f, false, -32768},
      {1.0f, true, 32767},
      {1.0f, false, -32768},
      {1.5f, true, 32767},
      {1.5f, false, -16384},
      {-1.25f, true, -32768},
      {-1.25f, false, 24576},
      {1e30f, true, 32767},
      {std::numeric_limits<float>::quiet_NaN(), true, 0},
  };
  for (const Exact& c : cases) {
    for (const bool dither : {false, true}) {
      SampleConverter conv(c.clip, dither);
      // A whole block of the value: dithering must add nothing to a value
      // that lies on the 16-bit grid.
      std::vector<float> in(4410, c.in);
      std::vector<int16_t> out(in.size());
      conv.Convert(in.data(), out.data(), in.size());
      for (int16_t v : out)
        ASSERT_EQ(v, c.out) << c.in << " clip " << c.clip << " dither " << dither;
    }
  }
}

TEST(SampleConverter, DitherTurnsTheRoundingErrorIntoNoiseAroundTheExactValue) {
  // 100.25 steps: without dither always 100; with it 99..101, 100.25 on
  // average, so a quiet fine signal is not lost to the rounding.
  const size_t n = 200000;
  std::vector<float> in(n, 100.25f / 32768);
  std::vector<int16_t> out(n);
  SampleConverter conv(true, false);
  conv.Convert(in.data(), out.data(), n);
  for (int16_t v : out) ASSERT_EQ(v, 100);

  conv.SetDither(true);  // the next block already
  conv.Convert(in.data(), out.data(), n);
  double sum = 0;
  bool varied = false;
  for (int16_t v : out) {
    ASSERT_GE(v, 99);
    ASSERT_LE(v, 101);
    sum += v;
    varied = varied || v != out[0];
  }
  EXPECT_TRUE(varied);
  EXPECT_NEAR(sum / n, 100.25, 0.01);

  conv.SetClip(false);
  in.assign(8, 1.0f);
  conv.Convert(in.data(), out.data(), 8);
  EXPECT_EQ(out[0], -32768) << "clipping off takes effect at once";
}

}  // namespace
}  // namespace tarvexa
