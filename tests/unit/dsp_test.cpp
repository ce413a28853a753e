// The DSP stage: what amplification, normalisation (with and without
// levelling) and resampling do to the samples, block edges and clip ends
// included, directly on the transform and through real recordings (file
// input, WAV output).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <numeric>

#include "EngineRecording.h"
#include "formats/FormatCatalogue.h"
#include "recording/AudioTransform.h"
#include "recording/Dsp.h"

using namespace tarvexa;
using namespace tarvexa::test;

namespace {

constexpr int kRate = 44100;
constexpr int kBlock = kRate / 10;

Settings WavSettings(int channels) {
  Settings s;
  s.OUTPUT.OutputFormat = kFormatWAV;
  s.WAV.SubFormat = 1;  // 16-bit PCM
  for (size_t i = 0; i < SampleRateTable.size(); ++i)
    if (SampleRateTable[i] == kRate) s.OUTPUT.Freq = static_cast<int16_t>(i);
  s.OUTPUT.Chan = static_cast<int16_t>(channels);
  return s;
}

// Records the whole input file, read as fast as the encoder takes it; the
// session must come to its end.
Recording RecordToEnd(const Settings& s, const std::string& input, const std::string& out) {
  Recording r = RecordFile(s, input, out);
  EXPECT_TRUE(r.finished);
  return r;
}

std::vector<int16_t> Tone(int frames, int channels, const std::vector<double>& amplitude, double hz,
                          int64_t start = 0) {
  std::vector<int16_t> s(static_cast<size_t>(frames) * channels);
  for (int i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c)
      s[static_cast<size_t>(i) * channels + c] = static_cast<int16_t>(
          std::lround(amplitude[c] * 32767.0 *
                      std::sin(2.0 * M_PI * hz * static_cast<double>(start + i) / kRate)));
  return s;
}

int Peak(std::span<const int16_t> s, int channels = 1, int channel = 0) {
  int peak = 0;
  for (size_t i = static_cast<size_t>(channel); i < s.size(); i += channels)
    peak = std::max(peak, std::abs(static_cast<int>(s[i])));
  return peak;
}

int16_t Doubled(int16_t x) { return static_cast<int16_t>(std::clamp(2 * x, -32768, 32767)); }

// Runs `blocks` blocks of a mono tone through the DSP stage and collects what
// comes out, with the position of every block edge in the output.
struct Stream {
  std::vector<int16_t> out;
  std::vector<size_t> edges;
};
Stream RunBlocks(SampleTransform& t, const std::function<Settings::DspSection(int)>& dspAt,
                 int blocks, double hz, double amplitude) {
  Stream r;
  std::vector<int16_t> work;
  for (int b = 0; b < blocks; ++b) {
    const auto in = Tone(kBlock, 1, {amplitude}, hz, static_cast<int64_t>(b) * kBlock);
    auto out = ApplyDsp(t, dspAt(b), in, work);
    r.out.insert(r.out.end(), out.begin(), out.end());
    r.edges.push_back(r.out.size());
  }
  auto tail = FlushDsp(t, work);
  r.out.insert(r.out.end(), tail.begin(), tail.end());
  return r;
}

// Least-squares fit of a*sin + b*cos + c at a known frequency (cycles per
// sample) over [from, to); returns the residue at every sample of the range.
std::vector<double> SineResidue(const std::vector<int16_t>& s, double cycles, size_t from,
                                size_t to) {
  double m[3][4] = {};
  for (size_t i = from; i < to; ++i) {
    const double w = 2.0 * M_PI * cycles * static_cast<double>(i);
    const double f[3] = {std::sin(w), std::cos(w), 1.0};
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 3; ++c) m[r][c] += f[r] * f[c];
      m[r][3] += f[r] * s[i];
    }
  }
  for (int p = 0; p < 3; ++p)  // Gauss-Jordan on the 3x3 normal equations
    for (int r = 0; r < 3; ++r) {
      if (r == p) continue;
      const double k = m[r][p] / m[p][p];
      for (int c = 0; c < 4; ++c) m[r][c] -= k * m[p][c];
    }
  const double a = m[0][3] / m[0][0], b = m[1][3] / m[1][1], c = m[2][3] / m[2][2];
  std::vector<double> res;
  for (size_t i = from; i < to; ++i) {
    const double w = 2.0 * M_PI * cycles * static_cast<double>(i);
    res.push_back(s[i] - (a * std::sin(w) + b * std::cos(w) + c));
  }
  return res;
}

}  // namespace

// ------------------------------------------------------------ recordings

TEST(DspRecording, EverySwitchOffLeavesTheSamplesBitExactMonoAndStereo) {
  const std::string dir = ScratchDir("dsp_off");
  for (int channels : {1, 2}) {
    const std::string input =
        MakeTestWav(dir + "/in" + std::to_string(channels) + ".wav", kRate, channels, 3.05, 0.9);
    Settings s = WavSettings(channels);
    // Values that would change everything if a switch were read wrongly.
    s.DSP.AmpN = 500;
    s.DSP.NorN = 10;
    s.DSP.ResN = 20;
    const std::string out = dir + "/out" + std::to_string(channels) + ".wav";
    const Recording r = RecordToEnd(s, input, out);
    ASSERT_EQ(r.clips.size(), 1u);
    const Audio in = ReadAudio(input), got = ReadAudio(out);
    ASSERT_EQ(got.frames, in.frames) << channels << " channel(s), the short last block included";
    EXPECT_TRUE(got.samples == in.samples) << channels << " channel(s)";
  }
}

TEST(DspRecording, MonoAmplificationWorksOnTheWholeBlockAndClips) {
  const std::string dir = ScratchDir("dsp_mono_amp");
  // 0.7 of full scale doubled clips at the crests and must not wrap.
  const std::string input = MakeTestWav(dir + "/in.wav", kRate, 1, 2.0, 0.7);
  Settings s = WavSettings(1);
  s.DSP.Amp = 1;
  s.DSP.AmpN = 200;
  RecordToEnd(s, input, dir + "/out.wav");
  const Audio in = ReadAudio(input), got = ReadAudio(dir + "/out.wav");
  ASSERT_EQ(got.samples.size(), in.samples.size());
  size_t clipped = 0;
  for (size_t i = 0; i < in.samples.size(); ++i) {
    ASSERT_EQ(got.samples[i], Doubled(in.samples[i])) << "sample " << i;
    if (std::abs(in.samples[i]) > 16383) ++clipped;
  }
  EXPECT_GT(clipped, 1000u) << "the test must reach the clipping region";
}

TEST(DspRecording, StereoNormalisationBringsEachChannelToThePercentOnItsOwn) {
  const std::string dir = ScratchDir("dsp_normalise");
  // Left at a tenth of full scale, right at 40 %: a shared gain would leave
  // the left channel at a quarter of the target.
  const auto tone = Tone(30 * kBlock, 2, {0.1, 0.4}, 440.0);
  WriteWav(dir + "/in.wav", kRate, 2, tone);
  for (int leveling : {0, 1}) {
    Settings s = WavSettings(2);
    s.DSP.Nor = 1;
    s.DSP.NorN = 80;
    s.DSP.NorLev = leveling;
    const std::string out = dir + "/out" + std::to_string(leveling) + ".wav";
    RecordToEnd(s, dir + "/in.wav", out);
    const Audio got = ReadAudio(out);
    ASSERT_EQ(got.frames, 30 * kBlock);
    const int target = static_cast<int>(std::lround(0.8 * 32767));
    for (int c = 0; c < 2; ++c) {
      // Every block after the first, on its own.
      for (int b = 1; b < 30; ++b) {
        std::span<const int16_t> block(got.samples.data() + static_cast<size_t>(b) * kBlock * 2,
                                       static_cast<size_t>(kBlock) * 2);
        EXPECT_NEAR(Peak(block, 2, c), target, 2)
            << "levelling " << leveling << ", channel " << c << ", block " << b;
      }
    }
  }
}

TEST(DspRecording, SplitClipsWithResamplingHoldExactlyTheirInputResampled) {
  const std::string dir = ScratchDir("dsp_split_resample");
  const std::string input = MakeTestWav(dir + "/in.wav", kRate, 2, 12.0, 0.5);
  for (int percent : {200, 150, 50}) {
    Settings s = WavSettings(2);
    s.MISC.Split = 1;
    s.MISC.SplitSec = 5;
    s.DSP.Res = 1;
    s.DSP.ResN = static_cast<int16_t>(percent);
    const Recording r = RecordToEnd(s, input, dir + "/r" + std::to_string(percent) + ".wav");
    ASSERT_EQ(r.clips.size(), 3u) << percent;
    const int blocks[] = {50, 50, 20};
    int64_t total = 0;
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(r.clipBlocks[i], blocks[i]);
      const Audio a = ReadAudio(r.clips[i]);
      EXPECT_EQ(a.rate, kRate);
      // Nothing lost in the filter at the clip's end, nothing added.
      EXPECT_EQ(a.frames, int64_t{blocks[i]} * kBlock * percent / 100)
          << percent << " %, clip " << i;
      total += a.frames;
      // The clip ends in sound, not in a gap the flush would have left.
      const std::span<const int16_t> last(a.samples.end() - 2 * 200, a.samples.end() - 2 * 50);
      EXPECT_GT(Peak(last, 2, 0), 4000) << percent << " %, clip " << i;
    }
    EXPECT_EQ(total, int64_t{120} * kBlock * percent / 100);
  }
}

// ------------------------------------------------------------ the transform

TEST(Amplify, CoefficientIsAPercentAndFullScaleClipsInsteadOfWrapping) {
  AudioTransform t;
  const std::vector<int16_t> in = {0,     1,      -1,     1000,  -1000, 16383,
                                   16384, -16384, -16385, 32767, -32768};
  auto x = in;
  t.Amplify(x, 200.0f);
  EXPECT_EQ(x, (std::vector<int16_t>{0, 2, -2, 2000, -2000, 32766, 32767, -32768, -32768, 32767,
                                     -32768}));
  x = in;
  t.Amplify(x, 100.0f);
  EXPECT_EQ(x, in);
  x = in;
  t.Amplify(x, 500.0f);
  EXPECT_EQ(x, (std::vector<int16_t>{0, 5, -5, 5000, -5000, 32767, 32767, -32768, -32768, 32767,
                                     -32768}));
  x = in;
  t.Amplify(x, 20.0f);
  EXPECT_EQ(x, (std::vector<int16_t>{0, 0, 0, 200, -200, 3277, 3277, -3277, -3277, 6553, -6554}));
}

TEST(Normalize, LevellingHoldsASteadyToneSteadyAndRecoversSlowlyWithoutOvershoot) {
  AudioTransform t;
  t.SetChannels(1);
  t.SetSampleRate(kRate);
  const double target = 0.6 * 32767;
  // 20 s at 0.25 of full scale, then 15 s twelve decibels lower.
  std::vector<double> gains;
  int over = 0;
  for (int b = 0; b < 350; ++b) {
    const double amp = b < 200 ? 0.25 : 0.25 / 3.981;
    auto x = Tone(kBlock, 1, {amp}, 440.0, static_cast<int64_t>(b) * kBlock);
    t.Normalize(x, 60.0f, true, 0);
    gains.push_back(t.NormalizeGain(0));
    if (Peak(x) > target + 1) ++over;
  }
  EXPECT_EQ(over, 0) << "the output never goes above the target";
  auto db = [&](int b) { return 20.0 * std::log10(gains[b] / gains[b - 1]); };
  // Steady tone: the gain moves by less than 0.01 dB from block to block.
  double steady = 0;
  for (int b = 1; b < 200; ++b) steady = std::max(steady, std::abs(db(b)));
  EXPECT_LT(steady, 0.01);
  std::printf("[ measured ] steady tone: largest gain change between blocks %.5f dB\n", steady);
  EXPECT_NEAR(gains[199], 0.6 / 0.25, 0.01);
  // After the drop the gain rises smoothly: never more than the release
  // rate allows in a block (3 dB/s, 0.3 dB a block) and never downwards.
  double fastest = 0;
  for (int b = 201; b < 350; ++b) {
    EXPECT_GE(db(b), -1e-9) << "block " << b;
    fastest = std::max(fastest, db(b));
  }
  EXPECT_LT(fastest, 0.31);
  std::printf("[ measured ] after a 12 dB drop: fastest rise %.3f dB a block\n", fastest);
  EXPECT_GT(fastest, 0.2) << "it does recover";
  // 12 dB at 3 dB/s after half a second's hold: back at the target by 4.5 s.
  EXPECT_NEAR(gains[349], 0.6 / (0.25 / 3.981), 0.05 * 0.6 / (0.25 / 3.981));
}

TEST(Normalize, WithoutLevellingTheGainFollowsTheLoudestPeakAndQuietBlocksAreNotPumped) {
  AudioTransform t;
  t.SetChannels(1);
  t.SetSampleRate(kRate);
  std::vector<double> gains;
  for (int b = 0; b < 60; ++b) {
    const double amp = (b / 10) % 2 == 0 ? 0.5 : 0.05;  // loud and quiet stretches
    auto x = Tone(kBlock, 1, {amp}, 440.0, static_cast<int64_t>(b) * kBlock);
    t.Normalize(x, 90.0f, false, 0);
    gains.push_back(t.NormalizeGain(0));
    if (b < 10) {
      EXPECT_NEAR(Peak(x), 0.9 * 32767, 2) << "block " << b;
    }
  }
  for (double g : gains) EXPECT_NEAR(g, 0.9 / 0.5, 0.001);
}

TEST(Normalize, SilenceGetsTheGainCapAndSoundAfterItStartsAtTheTarget) {
  AudioTransform t;
  t.SetChannels(1);
  t.SetSampleRate(kRate);
  std::vector<int16_t> hiss(kBlock);
  for (int i = 0; i < kBlock; ++i) hiss[i] = static_cast<int16_t>(i % 7 - 3);
  t.Normalize(hiss, 100.0f, true, 0);
  const double cap = std::pow(10.0, AudioTransform::kMaxNormalizeGainDb / 20.0);
  EXPECT_NEAR(t.NormalizeGain(0), cap, 1e-6);
  EXPECT_LE(Peak(hiss), 3 * cap + 1);
  // The first block of a tone: its first rising samples keep their shape
  // (a gain set sample by sample would square them up to the target).
  const auto in = Tone(kBlock, 1, {0.2}, 440.0);
  auto x = in;
  t.Normalize(x, 100.0f, true, 0);
  const double g = 32767.0 / Peak(in);
  for (int i = 0; i < kBlock; ++i) ASSERT_NEAR(x[i], in[i] * g, 0.51) << i;
}

TEST(Resample, TwoHundredPercentDoublesASineWithNoTraceOfTheBlockEdges) {
  AudioTransform t;
  t.SetChannels(1);
  t.SetSampleRate(kRate);
  Settings::DspSection dsp;
  dsp.Res = 1;
  dsp.ResN = 200;
  const int blocks = 40;
  Stream s = RunBlocks(
      t, [&](int) { return dsp; }, blocks, 1000.0, 0.5);
  ASSERT_EQ(s.out.size(), static_cast<size_t>(2 * blocks * kBlock));
  // A 1 kHz tone stretched to twice its length is 500 Hz at the same rate.
  const double cycles = 500.0 / kRate;
  const size_t from = 2000, to = s.out.size() - 2000;  // away from the stream's ends
  const auto res = SineResidue(s.out, cycles, from, to);
  double sum = 0;
  for (double r : res) sum += r * r;
  const double rms = std::sqrt(sum / res.size());
  const double signal = 0.5 * 32767 / std::sqrt(2.0);
  // THD+N of the whole stream below -85 dB (16-bit rounding alone is about -98 dB here).
  const double thdn = 20 * std::log10(rms / signal);
  EXPECT_LT(thdn, -85.0) << "residue rms " << rms;
  // Around every block edge (64 output samples either side) no residue
  // above 4 LSB; a filter restarted at each block leaves hundreds.
  double worstEdge = 0;
  for (size_t e : s.edges) {
    if (e < from + 64 || e + 64 > to) continue;
    double worst = 0;
    for (size_t i = e - 64; i < e + 64; ++i) worst = std::max(worst, std::abs(res[i - from]));
    EXPECT_LT(worst, 4.0) << "edge at " << e;
    worstEdge = std::max(worstEdge, worst);
  }
  std::printf("[ measured ] THD+N %.1f dB, largest residue at a block edge %.2f LSB\n", thdn,
              worstEdge);
}

TEST(Resample, EveryPercentGivesTheExactCountAndAHandEditedOneIsKeptInRange) {
  // {setting, effective percent}: Config.ini values are not range-checked.
  for (auto [setting, percent] :
       {std::pair{50, 50}, {20, 20}, {500, 500}, {137, 137}, {0, 20}, {-5, 20}, {9999, 500}}) {
    AudioTransform t;
    t.SetChannels(1);
    t.SetSampleRate(kRate);
    Settings::DspSection dsp;
    dsp.Res = 1;
    dsp.ResN = static_cast<int16_t>(setting);
    Stream s = RunBlocks(
        t, [&](int) { return dsp; }, 30, 300.0, 0.5);
    EXPECT_EQ(s.out.size(), static_cast<size_t>(std::llround(30.0 * kBlock * percent / 100)))
        << setting;
  }
}

TEST(Resample, SwitchingOffOrChangingTheRateMidwayLosesNothingAndKeepsChannelsAligned) {
  AudioTransform t;
  t.SetChannels(2);
  t.SetSampleRate(kRate);
  std::vector<int16_t> work, all;
  auto dspAt = [](int b) {
    Settings::DspSection d;
    d.Res = b < 10 || b >= 20;
    d.ResN = b < 10 ? 200 : 50;
    return d;
  };
  for (int b = 0; b < 30; ++b) {
    auto in = Tone(kBlock, 2, {0.5, 0.5}, 440.0, static_cast<int64_t>(b) * kBlock);
    auto out = ApplyDsp(t, dspAt(b), in, work);
    ASSERT_EQ(out.size() % 2, 0u);
    all.insert(all.end(), out.begin(), out.end());
    if (b >= 10 && b < 20) {
      EXPECT_FALSE(t.ResamplerPending(0)) << "the tail came out at block 10";
    }
  }
  auto tail = FlushDsp(t, work);
  all.insert(all.end(), tail.begin(), tail.end());
  EXPECT_EQ(all.size() / 2, static_cast<size_t>(10 * kBlock * 2 + 10 * kBlock + 10 * kBlock / 2));
  for (size_t i = 0; i < all.size(); i += 2) ASSERT_EQ(all[i], all[i + 1]) << "frame " << i / 2;
  // Nothing held after the flush: the next clip starts clean.
  EXPECT_TRUE(FlushDsp(t, work).empty());
}

TEST(ApplyDsp, TheOrderIsAmplifyNormaliseResampleAndOffPassesTheBlockItself) {
  AudioTransform t;
  t.SetChannels(2);
  t.SetSampleRate(kRate);
  std::vector<int16_t> work;
  const auto in = Tone(kBlock, 2, {0.3, 0.3}, 440.0);
  Settings::DspSection off;
  auto same = ApplyDsp(t, off, in, work);
  EXPECT_EQ(same.data(), in.data()) << "nothing on: the block itself, not a copy";
  // Normalising after amplifying: the peak is the normaliser's target,
  // whatever the amplification did first (both on only in a hand-made file).
  Settings::DspSection both;
  both.Amp = 1;
  both.AmpN = 500;
  both.Nor = 1;
  both.NorN = 50;
  auto out = ApplyDsp(t, both, in, work);
  EXPECT_NEAR(Peak(out, 2, 0), 0.5 * 32767, 2);
  EXPECT_NEAR(Peak(out, 2, 1), 0.5 * 32767, 2);
}
