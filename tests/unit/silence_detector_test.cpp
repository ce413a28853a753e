#include <gtest/gtest.h>

#include <vector>

#include "recording/SilenceDetector.h"

using namespace tarvexa;
using Verdict = SilenceDetector::Verdict;

namespace {
constexpr size_t kSamples = 8820;  // 100 ms of 44.1 kHz stereo

std::vector<int16_t> Quiet() { return std::vector<int16_t>(kSamples, 0); }
std::vector<int16_t> Loud() { return std::vector<int16_t>(kSamples, 10000); }  // ~80 dB

Settings::SilSection Sil(int silTime = 30, int noiTime = 60) {
  Settings::SilSection s;
  s.Det = 1;
  s.SilLev = -40;
  s.SilTime = static_cast<int16_t>(silTime);
  s.NoiLev = -40;
  s.NoiTime = static_cast<int16_t>(noiTime);
  return s;
}

// Feeds n blocks; returns the index (1-based) of the block whose outcome
// carried a log line, or 0.
int Feed(SilenceDetector& d, const std::vector<int16_t>& b, int n, const Settings::SilSection& s,
         std::vector<Verdict>* verdicts = nullptr) {
  int logged = 0;
  for (int i = 1; i <= n; ++i) {
    auto out = d.Process(b.data(), b.size(), s);
    if (verdicts) verdicts->push_back(out.verdict);
    if (out.log && !logged) logged = i;
  }
  return logged;
}
}  // namespace

TEST(SilenceDetector, LevelSamplesEvery64thOfTheFirstHalf) {
  std::vector<int16_t> b(kSamples, 0);
  for (size_t i = 0; i < kSamples / 2; i += 64) b[i] = 1000;  // only the sampled positions
  EXPECT_EQ(SilenceDetector::BlockLevel(b.data(), b.size()), 1000);
  std::vector<int16_t> right(kSamples, 0);
  for (size_t i = 1; i < kSamples; i += 2) right[i] = 30000;  // right channel only
  EXPECT_EQ(SilenceDetector::BlockLevel(right.data(), right.size()), 0);
  EXPECT_DOUBLE_EQ(SilenceDetector::Loudness(0), 0.0);
  EXPECT_NEAR(SilenceDetector::Loudness(32767), 90.3, 0.01);
}

TEST(SilenceDetector, PauseOnThe300thQuietBlockWhichIsStillWritten) {
  SilenceDetector d;
  auto s = Sil(30);
  std::vector<Verdict> v;
  EXPECT_EQ(Feed(d, Quiet(), 300, s, &v), 300);
  EXPECT_TRUE(d.PausedBySilence());
  for (auto x : v) EXPECT_EQ(x, Verdict::Write);  // all 300 quiet blocks reach the file
  // Paused: everything is dropped.
  EXPECT_EQ(d.Process(Quiet().data(), kSamples, s).verdict, Verdict::Drop);
}

TEST(SilenceDetector, ResumeAfterNoiTimeOfSoundWhichIsDropped) {
  SilenceDetector d;
  auto s = Sil(30, 60);
  Feed(d, Quiet(), 300, s);
  ASSERT_TRUE(d.PausedBySilence());
  std::vector<Verdict> v;
  EXPECT_EQ(Feed(d, Loud(), 600, s, &v), 600);
  EXPECT_FALSE(d.PausedBySilence());
  for (auto x : v) EXPECT_EQ(x, Verdict::Drop);
  EXPECT_EQ(d.Process(Loud().data(), kSamples, s).verdict, Verdict::Write);
}

TEST(SilenceDetector, SplitEndsTheClipOnTheDetectingBlockAndStopAsksToStop) {
  SilenceDetector d;
  auto s = Sil(5);
  s.Split = 1;
  s.StopSilence = 1;
  SilenceDetector::Outcome last;
  for (int i = 0; i < 50; ++i) last = d.Process(Quiet().data(), kSamples, s);
  EXPECT_EQ(last.verdict, Verdict::EndClip);
  EXPECT_TRUE(last.stopRecording);
  EXPECT_STREQ(last.log, "Silence detected, pause recording.");
  EXPECT_EQ(last.logLevel, 1);
}

TEST(SilenceDetector, OddDurationWindowNeverClosesEarlyEvenDurationRestarts) {
  auto feedPattern = [](SilenceDetector& d, const Settings::SilSection& s, int from, int to,
                        int loudEvery) {
    int logged = 0;
    for (int i = from; i <= to; ++i) {
      const auto b = (i % loudEvery == 0) ? Loud() : Quiet();
      if (d.Process(b.data(), kSamples, s).log && !logged) logged = i;
    }
    return logged;
  };
  // SilTime 5: 5 x 12.5 = 62.5 is never reached, so with one loud block in
  // three the quiet count keeps growing past 62 analysed blocks to 50.
  {
    SilenceDetector d;
    auto s = Sil(5);
    EXPECT_EQ(feedPattern(d, s, 1, 73, 3), 0);
    EXPECT_EQ(d.Analysed(), 73);
    EXPECT_EQ(d.QuietRun(), 49);
    EXPECT_EQ(feedPattern(d, s, 74, 74, 3), 0);  // 50 reached, but too sparse (50/67)
    EXPECT_EQ(d.Analysed(), 0);
    EXPECT_FALSE(d.PausedBySilence());
  }
  // With one loud block in ten the 50th quiet block (block 55) pauses.
  {
    SilenceDetector d;
    EXPECT_EQ(feedPattern(d, Sil(5), 1, 200, 10), 55);
    EXPECT_TRUE(d.PausedBySilence());
  }
  // SilTime 6: the counts restart after 75 analysed blocks.
  {
    SilenceDetector d;
    auto s = Sil(6);
    feedPattern(d, s, 1, 74, 3);
    EXPECT_EQ(d.Analysed(), 74);
    feedPattern(d, s, 75, 75, 3);
    EXPECT_EQ(d.Analysed(), 0);
    EXPECT_EQ(d.QuietRun(), 0);
    EXPECT_EQ(feedPattern(d, s, 76, 1000, 3), 0);
    EXPECT_FALSE(d.PausedBySilence());
  }
}

TEST(SilenceDetector, ThresholdEdges) {
  // A threshold of -92 compares against 0: no block is quiet, not even silence.
  SilenceDetector d;
  auto s = Sil(5);
  s.SilLev = -92;
  EXPECT_EQ(Feed(d, Quiet(), 500, s), 0);
  // Level 0 is quiet for any threshold above -92.
  SilenceDetector d2;
  s.SilLev = -91;
  EXPECT_EQ(Feed(d2, Quiet(), 50, s), 50);
}

TEST(SilenceDetector, ResetReturnsToListening) {
  SilenceDetector d;
  auto s = Sil(5);
  Feed(d, Quiet(), 50, s);
  ASSERT_TRUE(d.PausedBySilence());
  d.Reset();
  EXPECT_FALSE(d.PausedBySilence());
  EXPECT_EQ(d.Analysed(), 0);
  EXPECT_EQ(d.Process(Quiet().data(), kSamples, s).verdict, Verdict::Write);
}
