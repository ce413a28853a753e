// The visualizers' arithmetic: the level rule of the amplitude bars, the
// spectrum and its bands for every block size, how bars and peak marks
// move (hold time, fall, the hold switch), and the two visualizer cores'
// settings as the window sees them in their frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "components/visual/BarDynamics.h"
#include "components/visual/Levels.h"
#include "components/visual/Scope.h"
#include "components/visual/Spectrum.h"
#include "components/visual/VisualizerCore.h"

using namespace tarvexa;

namespace {

// A display block as the recording sends it: 2205 samples at 44.1 kHz
// stereo (a tone on both channels unless right is given).
std::vector<int16_t> Tone(double hz, double amplitude, int channels = 2, int count = 2205,
                          int rate = 44100, double rightHz = -1) {
  std::vector<int16_t> block(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const int frame = i / channels;
    const int c = i % channels;
    const double f = c == 1 && rightHz >= 0 ? rightHz : hz;
    block[static_cast<size_t>(i)] =
        static_cast<int16_t>(std::lround(amplitude * std::sin(2 * M_PI * f * frame / rate)));
  }
  return block;
}

int ArgMax(const std::vector<float>& v) {
  return static_cast<int>(std::max_element(v.begin(), v.end()) - v.begin());
}

std::vector<float> Bands(SpectrumAnalyzer& a, const std::vector<int16_t>& block, int channels,
                         const BandAxis& axis, int bands, int channel = -1) {
  std::vector<float> mags, out(static_cast<size_t>(bands));
  a.Analyze(block.data(), static_cast<int>(block.size()) / channels, channels, channel, mags);
  MapBands(mags, 44100, axis, bands, out.data());
  return out;
}

std::vector<float> Values(const VisualFrame& f, int row = 0) {
  if (!f.values) return {};
  return {f.values + static_cast<ptrdiff_t>(row) * f.points,
          f.values + static_cast<ptrdiff_t>(row + 1) * f.points};
}

}  // namespace

// ------------------------------------------------------------------ levels

TEST(Levels, SilenceIsNoughtAndFullScaleIsNinety) {
  const std::vector<int16_t> silence(2205, 0);
  BlockLevels l = LevelsOf(silence.data(), silence.size(), 2);
  EXPECT_EQ(l.left, 0);
  EXPECT_EQ(l.right, 0);

  const std::vector<int16_t> full(2205, 32767);
  l = LevelsOf(full.data(), full.size(), 2);
  EXPECT_EQ(l.left, 90);  // trunc(20 log10(32768))
  EXPECT_EQ(l.right, 90);
  // The most negative value counts by its size and does not overflow.
  const std::vector<int16_t> negative(2205, -32768);
  EXPECT_EQ(LevelsOf(negative.data(), negative.size(), 2).left, 90);

  EXPECT_EQ(LevelsOf(nullptr, 0, 2).left, 0);
}

TEST(Levels, StereoTakesTheSampleAfterEachStrideMonoShowsLeftTwice) {
  std::vector<int16_t> block(2205, 0);
  for (size_t i = 0; i + 1 < block.size(); i += 2) {
    block[i] = 1000;
    block[i + 1] = -100;
  }
  BlockLevels l = LevelsOf(block.data(), block.size(), 2);
  EXPECT_EQ(l.left, 60);   // 20 log10(1001)
  EXPECT_EQ(l.right, 40);  // 20 log10(101)

  l = LevelsOf(block.data(), block.size(), 1);
  EXPECT_EQ(l.left, 60);
  EXPECT_EQ(l.right, 60) << "mono shows the left level on both bars";

  // Only every 128th position is looked at.
  std::vector<int16_t> sparse(2205, 0);
  for (size_t i = 0; i < sparse.size(); i += 128) sparse[i] = 32767;
  l = LevelsOf(sparse.data(), sparse.size(), 2);
  EXPECT_EQ(l.left, 90);
  EXPECT_EQ(l.right, 0);
}

TEST(Levels, CountRoundsUpAndTheMeanIsAnIntegerDivision) {
  // 129 values: positions 0 and 128, so two values (not one).
  std::vector<int16_t> block(129, 0);
  block[128] = 2000;
  EXPECT_EQ(LevelsOf(block.data(), block.size(), 2).left, 60);  // mean 1000
  // Sum 3 over two values: the mean is 1, not 1.5.
  block[0] = 1;
  block[128] = 2;
  EXPECT_EQ(LevelsOf(block.data(), block.size(), 2).left, 6);  // 20 log10(2)
}

// ---------------------------------------------------------------- spectrum

TEST(Spectrum, APureTonePeaksAtItsBandForEveryBlockSize) {
  // Sixteen bands of 1378 Hz from 0 to 22050 Hz; the tone sits in the
  // middle of band 4 and of band 11.
  const BandAxis axis{0, 22050, false};
  for (int size : {64, 256, 1024, 2048, 4096, 8192, 16384}) {
    SpectrumAnalyzer a(size);
    ASSERT_EQ(a.Size(), size);
    for (int band : {4, 11}) {
      const double hz = (band + 0.5) * 22050.0 / 16;
      const std::vector<float> bands = Bands(a, Tone(hz, 12000), 2, axis, 16);
      EXPECT_EQ(ArgMax(bands), band) << "block size " << size << ", " << hz << " Hz";
      for (int b = 0; b < 16; ++b) {
        if (std::abs(b - band) <= 1) continue;
        EXPECT_LT(bands[static_cast<size_t>(b)], bands[static_cast<size_t>(band)] / 4)
            << "block size " << size << ", band " << b;
      }
    }
  }
}

TEST(Spectrum, WhenBandsAndBinsMatchEachBinLightsOnlyItsOwnBand) {
  // 64 points: bins of 689 Hz; 32 bands of 689 Hz, bin k on the lower edge
  // of band k. A tone on bin 8 fills band 8; its neighbours get the Hann
  // window's half.
  SpectrumAnalyzer a(64);
  const std::vector<float> bands =
      Bands(a, Tone(8 * 44100.0 / 64, 12000), 2, {0, 22050, false}, 32);
  EXPECT_EQ(ArgMax(bands), 8);
  EXPECT_LT(bands[7], 0.6f * bands[8]);
  EXPECT_LT(bands[9], 0.6f * bands[8]);
}

TEST(Spectrum, OnTheOctaveAxisAThousandHertzLandsInItsBand) {
  const BandAxis axis{30, 20000, true};
  int expected = -1;
  for (int b = 0; b < 64; ++b)
    if (BandEdge(axis, 64, b) <= 1000 && 1000 < BandEdge(axis, 64, b + 1)) expected = b;
  ASSERT_GT(expected, 0);
  for (int size : {2048, 4096, 8192, 16384}) {
    SpectrumAnalyzer a(size);
    EXPECT_EQ(ArgMax(Bands(a, Tone(1000, 8000), 2, axis, 64)), expected) << size;
  }
}

TEST(Spectrum, FullScaleIsNoughtDecibelsAndSilenceIsEmpty) {
  SpectrumAnalyzer a(1024);
  // A tone on a bin of the 1024-point analysis: about 0 dB full scale.
  const double hz = 100 * 44100.0 / 1024;
  std::vector<float> mags;
  const std::vector<int16_t> full = Tone(hz, 32767, 1, 1024);
  a.Analyze(full.data(), 1024, 1, 0, mags);
  const float peak = *std::max_element(mags.begin(), mags.end());
  EXPECT_NEAR(20 * std::log10(peak), 0.0, 0.5);
  EXPECT_GT(DecibelHeight(peak, 60), 0.99f);
  EXPECT_FLOAT_EQ(DecibelHeight(0.001f, 60), 0.0f);  // -60 dB: the floor
  EXPECT_NEAR(DecibelHeight(0.1f, 60), 2.0f / 3, 1e-5);

  const std::vector<int16_t> silence(2205, 0);
  a.Analyze(silence.data(), 1102, 2, -1, mags);
  EXPECT_EQ(*std::max_element(mags.begin(), mags.end()), 0.0f);
}

TEST(Spectrum, ChannelsAreAnalysedApartOrMixed) {
  SpectrumAnalyzer a(2048);
  const BandAxis axis{0, 22050, false};
  const double left = 4.5 * 22050 / 16, right = 12.5 * 22050 / 16;
  const std::vector<int16_t> block = Tone(left, 8000, 2, 2205, 44100, right);
  EXPECT_EQ(ArgMax(Bands(a, block, 2, axis, 16, 0)), 4);
  EXPECT_EQ(ArgMax(Bands(a, block, 2, axis, 16, 1)), 12);
  const std::vector<float> mix = Bands(a, block, 2, axis, 16, -1);
  EXPECT_GT(mix[4], 0.1f);
  EXPECT_GT(mix[12], 0.1f);
}

// ------------------------------------------------------------ bar movement

TEST(BarDynamics, BarsRiseAtOnceAndFallSmoothly) {
  BarDynamics d;
  d.SetParams({0.5f, 0, 1.0f});
  const float one = 1, zero = 0;
  d.Update(&one, 1, 100);
  EXPECT_FLOAT_EQ(d.Bars()[0], 1.0f);
  d.Update(&zero, 1, 100);
  EXPECT_FLOAT_EQ(d.Bars()[0], 0.5f);
  d.Update(&zero, 1, 100);
  EXPECT_FLOAT_EQ(d.Bars()[0], 0.25f);
}

TEST(BarDynamics, PeaksStayForTheHoldTimeThenFallAtTheirSpeed) {
  BarDynamics d;
  d.SetParams({0.0f, 200, 1.0f});  // 200 ms, one full height per second
  const float one = 1, zero = 0;
  d.Update(&one, 1, 100);
  d.Update(&zero, 1, 100);
  d.Update(&zero, 1, 100);
  EXPECT_FLOAT_EQ(d.Peaks()[0], 1.0f) << "held for 200 ms";
  d.Update(&zero, 1, 100);
  EXPECT_NEAR(d.Peaks()[0], 0.9f, 1e-6);
  d.Update(&zero, 1, 100);
  EXPECT_NEAR(d.Peaks()[0], 0.8f, 1e-6);
  // A louder block sets the mark again and restarts the hold.
  const float half = 0.85f;
  d.Update(&half, 1, 100);
  EXPECT_FLOAT_EQ(d.Peaks()[0], 0.85f);
  d.Update(&zero, 1, 100);
  EXPECT_FLOAT_EQ(d.Peaks()[0], 0.85f);
}

TEST(BarDynamics, TheHoldSwitchKeepsMarksUntilReleased) {
  BarDynamics d;
  d.SetParams({0.0f, 0, 10.0f});
  const float one = 1, zero = 0;
  d.SetHold(true);
  d.Update(&one, 1, 100);
  for (int i = 0; i < 5; ++i) d.Update(&zero, 1, 100);
  EXPECT_FLOAT_EQ(d.Peaks()[0], 1.0f);
  d.Clear();
  EXPECT_FLOAT_EQ(d.Bars()[0], 0.0f);
  EXPECT_FLOAT_EQ(d.Peaks()[0], 1.0f) << "a clear keeps held marks";
  d.SetHold(false);
  EXPECT_FLOAT_EQ(d.Peaks()[0], 0.0f) << "released marks start again from the bars";
  // Without hold a clear takes the marks too.
  d.Update(&one, 1, 100);
  d.Clear();
  EXPECT_FLOAT_EQ(d.Peaks()[0], 0.0f);
}

// -------------------------------------------------------------- oscilloscope

TEST(Scope, ASteadyToneStartsAtARisingZeroCrossing) {
  // Start the tone a quarter period in, at its top.
  std::vector<int16_t> block(2205);
  for (int i = 0; i < 2205; ++i)
    block[static_cast<size_t>(i)] =
        static_cast<int16_t>(std::lround(10000 * std::cos(2 * M_PI * 441 * (i / 2) / 44100.0)));
  const int start = ScopeTrigger(block.data(), 1102, 2);
  EXPECT_NEAR(start, 75, 1) << "three quarters of a 100-frame period";
  std::vector<float> trace(2 * 200);
  ScopeTrace(block.data(), 1102, 2, 2, 200, trace.data());
  EXPECT_NEAR(trace[0], 0.0f, 0.02f);
  EXPECT_GT(trace[2], trace[0]);
  EXPECT_FLOAT_EQ(trace[200], trace[0]) << "the right row is the right channel";
  for (float v : trace) EXPECT_LE(std::abs(v), 10000 / 32768.0f + 1e-4f);
}

// ------------------------------------------------------------ visualizer 1

TEST(TypeVisualizer, EachTypeHasItsStyleAndBadValuesAreIgnored) {
  TypeVisualizer v;
  v.SetFormat(44100, 2);
  const int styles[] = {VisualFrame::kScope,     VisualFrame::kBars, VisualFrame::kBars,
                        VisualFrame::kWaterfall, VisualFrame::kBars, VisualFrame::kSegments};
  const int palettes[] = {VisualFrame::kPhosphor, VisualFrame::kLinear, VisualFrame::kNormal,
                          VisualFrame::kFire,     VisualFrame::kGlass,  VisualFrame::kKryptonite};
  for (int t = 0; t < TypeVisualizer::kTypeCount; ++t) {
    v.SetVisualType(t);
    EXPECT_EQ(v.VisualType(), t);
    EXPECT_EQ(v.Frame().style, styles[t]) << t;
    EXPECT_EQ(v.Frame().palette, palettes[t]) << t;
  }
  v.SetVisualType(6);
  v.SetVisualType(-1);
  EXPECT_EQ(v.VisualType(), 5);

  EXPECT_EQ(v.BlockSize(), 1024);
  v.SetBlockSize(16384);
  EXPECT_EQ(v.BlockSize(), 16384);
  v.SetBlockSize(1000);
  v.SetBlockSize(32768);
  EXPECT_EQ(v.BlockSize(), 16384);
}

TEST(TypeVisualizer, BlocksMakeFramesThatFitTheViewAndAClearEmptiesThem) {
  TypeVisualizer v;
  v.SetFormat(44100, 2);
  v.SetVisualType(2);  // FFTNormal: bars of 4 pixels and a gap of 1
  v.SetViewSize(250, 100);
  EXPECT_EQ(v.Frame().points, 0) << "nothing to show before the first block";
  const uint64_t before = v.Frame().serial;
  const std::vector<int16_t> block = Tone(1000, 10000);
  v.Feed(block.data(), static_cast<int>(block.size()));
  const VisualFrame& f = v.Frame();
  EXPECT_NE(f.serial, before);
  EXPECT_EQ(f.rows, 1);
  EXPECT_EQ(f.points, 50);
  ASSERT_NE(f.peaks, nullptr);
  const std::vector<float> bars = Values(f);
  const int loudest = ArgMax(bars);
  const BandAxis axis{30, 20000, true};
  EXPECT_LE(BandEdge(axis, 50, loudest), 1000 * 1.01);
  EXPECT_GE(BandEdge(axis, 50, loudest + 1), 1000 / 1.01);

  // The oscilloscope has one trace per channel, one point per pixel.
  v.SetVisualType(0);
  EXPECT_EQ(v.Frame().rows, 2);
  EXPECT_EQ(v.Frame().points, 250);
  // The waterfall has one band per pixel row.
  v.SetVisualType(3);
  EXPECT_EQ(v.Frame().points, 100);
  EXPECT_EQ(v.Frame().peaks, nullptr);

  v.Clear();
  EXPECT_EQ(v.Frame().points, 0);
}

// ------------------------------------------------------------ visualizer 2

TEST(PresetVisualizer, PropertiesDecideTheLook) {
  PresetVisualizer v;
  v.SetFormat(44100, 2);
  v.SetViewSize(260, 100);
  for (int n = 1; n <= 16; ++n) {
    v.SetProperty(n, 100 + n);
    EXPECT_EQ(v.Property(n), 100 + n);
  }
  v.SetProperty(0, 5);
  v.SetProperty(17, 5);
  EXPECT_EQ(v.Property(0), 0);
  EXPECT_EQ(v.Property(17), 0);

  const int32_t row[16] = {4, 1,   0,   3,  1,  300,      1,        2,
                           1, 200, 100, 70, 20, 0xFF8000, 0xFFFF00, 0xFFFFFF};
  for (int n = 1; n <= 16; ++n) v.SetProperty(n, row[n - 1]);
  const std::vector<int16_t> block = Tone(440, 8000);
  v.Feed(block.data(), static_cast<int>(block.size()));
  const VisualFrame& f = v.Frame();
  EXPECT_EQ(f.style, VisualFrame::kMirror);
  EXPECT_EQ(f.palette, VisualFrame::kCustom);
  EXPECT_EQ(f.rows, 2) << "left and right apart";
  EXPECT_EQ(f.points, 65) << "260 pixels in bands of 3 and a gap of 1";
  EXPECT_NE(f.peaks, nullptr);
  EXPECT_FALSE(f.gradient);
  EXPECT_TRUE(f.grid);
  EXPECT_EQ(f.colours[0], 0xFF8000u);
  EXPECT_EQ(f.colours[2], 0xFFFFFFu);

  v.SetProperty(2, 0);
  EXPECT_EQ(v.Frame().peaks, nullptr);
  v.SetProperty(8, 1);
  EXPECT_EQ(v.Frame().rows, 1) << "the mix";
  v.SetProperty(8, 2);
  v.SetFormat(44100, 1);
  EXPECT_EQ(v.Frame().rows, 1) << "a mono recording has one row";
  v.SetProperty(1, 9);
  EXPECT_EQ(v.Frame().style, VisualFrame::kBars) << "unknown styles draw bars";
}

TEST(PresetVisualizer, TheHighestFrequencyLimitsTheAxis) {
  PresetVisualizer v;
  v.SetFormat(44100, 2);
  // Linear axis, decibels; 5 kHz is above 55 x 50 Hz but below 435 x 50 Hz.
  const int32_t row[16] = {1, 0,   0,  3,  1, 55,       0,        1,
                           1, 200, 10, 60, 0, 0x00FF00, 0xFFFF00, 0xFF0000};
  for (int n = 1; n <= 16; ++n) v.SetProperty(n, row[n - 1]);
  const std::vector<int16_t> block = Tone(5000, 16000);
  v.Feed(block.data(), static_cast<int>(block.size()));
  std::vector<float> bars = Values(v.Frame());
  ASSERT_FALSE(bars.empty());
  EXPECT_LT(*std::max_element(bars.begin(), bars.end()), 0.3f);
  v.SetProperty(6, 435);
  v.Feed(block.data(), static_cast<int>(block.size()));
  bars = Values(v.Frame());
  EXPECT_GT(*std::max_element(bars.begin(), bars.end()), 0.8f);
}

TEST(PresetVisualizer, HeldMarksOutliveAClearUntilTheHoldIsReleased) {
  PresetVisualizer v;
  v.SetFormat(44100, 2);
  const std::vector<int16_t> block = Tone(1000, 16000);
  v.Feed(block.data(), static_cast<int>(block.size()));
  ASSERT_NE(v.Frame().peaks, nullptr);
  v.SetHold(true);
  EXPECT_TRUE(v.Hold());
  v.Clear();
  const VisualFrame& held = v.Frame();
  ASSERT_GT(held.points, 0) << "the marks are still shown";
  const std::vector<float> bars = Values(held);
  EXPECT_EQ(*std::max_element(bars.begin(), bars.end()), 0.0f);
  const int n = held.rows * held.points;
  EXPECT_GT(*std::max_element(held.peaks, held.peaks + n), 0.5f);
  v.SetHold(false);
  EXPECT_FALSE(v.Hold());
  EXPECT_EQ(v.Frame().points, 0) << "released: nothing left to show";
}
