// An input file converted to the recording's rate and channel count: the
// length a resampled signal must have, the steps of large ratios, channels
// mixed and duplicated, and nothing lost from clip to clip.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "TestSupport.h"
#include "recording/WavFileSource.h"
#include "recording/conversion/ConvertingSource.h"

namespace tarvexa {
namespace {

// Reads the whole converted input in 100-ms blocks, reopened every
// `blocksPerClip` blocks as the session does at each clip.
std::vector<int16_t> ReadAll(const std::string& path, int inRate, int inChannels, int rate,
                             int channels, int blocksPerClip = 1 << 30) {
  ConvertingSource source(std::make_shared<WavFileSource>(path, true), inRate, inChannels);
  InputSource::OpenOptions o;
  o.rate = rate;
  o.channels = channels;
  o.framesPerBlock = rate / 10;
  std::vector<int16_t> all, block(static_cast<size_t>(o.framesPerBlock * channels));
  std::string error;
  int code = 0;
  for (int n = 0;; ++n) {
    if (n % blocksPerClip == 0) {
      source.Close();
      EXPECT_TRUE(source.Open(o, &code, &error)) << error;
    }
    int got = 0;
    const auto r = source.Read(block.data(), o.framesPerBlock, &got, &error);
    EXPECT_NE(r, InputSource::ReadResult::Error) << error;
    all.insert(all.end(), block.begin(), block.begin() + got * channels);
    if (r != InputSource::ReadResult::Ok) break;
  }
  source.Close();
  return all;
}

// Cycles of a tone in the middle half of one channel, from its zero crossings.
double ToneHz(const std::vector<int16_t>& s, int channels, int channel, int rate) {
  const size_t frames = s.size() / static_cast<size_t>(channels);
  int crossings = 0;
  for (size_t f = frames / 4 + 1; f < frames * 3 / 4; ++f)
    if ((s[(f - 1) * channels + channel] < 0) != (s[f * channels + channel] < 0)) ++crossings;
  return crossings / 2.0 / (static_cast<double>(frames / 2) / rate);
}

std::vector<int16_t> Tone(int rate, int channels, double seconds, double hz) {
  std::vector<int16_t> s;
  for (int f = 0; f < static_cast<int>(rate * seconds); ++f)
    for (int c = 0; c < channels; ++c)
      s.push_back(static_cast<int16_t>(12000 * std::sin(2 * M_PI * hz * f / rate)));
  return s;
}

TEST(InputConversion, ResampledToTheRecordingsRateWithTheToneAndLengthKept) {
  const std::string dir = test::ScratchDir("input_conversion");
  const struct {
    int inRate, inChannels, rate, channels, blocksPerClip;
  } cases[] = {
      {48000, 2, 44100, 2, 1 << 30},
      {8000, 1, 192000, 2, 7},  // two steps of the resampler, seven blocks a clip
      {192000, 2, 8000, 1, 3},
      {37800, 2, 32000, 2, 1 << 30},
  };
  for (const auto& c : cases) {
    const std::string path = dir + "/in-" + std::to_string(c.inRate) + ".wav";
    test::WriteWav(path, c.inRate, c.inChannels, Tone(c.inRate, c.inChannels, 1.5, 1000.0));
    const std::vector<int16_t> out =
        ReadAll(path, c.inRate, c.inChannels, c.rate, c.channels, c.blocksPerClip);
    const double frames = static_cast<double>(out.size()) / c.channels;
    EXPECT_NEAR(frames, 1.5 * c.rate, 2.0) << c.inRate << " -> " << c.rate;
    for (int ch = 0; ch < c.channels; ++ch)
      EXPECT_NEAR(ToneHz(out, c.channels, ch, c.rate), 1000.0, 5.0) << c.inRate << " -> " << c.rate;
  }
  EXPECT_EQ(ConvertingSource::RateSteps(8000, 192000).size(), 3u)
      << "a ratio of 24 takes two steps";
  EXPECT_EQ(ConvertingSource::RateSteps(48000, 44100).size(), 2u);
}

TEST(InputConversion, ChannelsAreMixedOrDuplicated) {
  const std::string dir = test::ScratchDir("input_conversion_channels");
  // Six channels, each a level of its own.
  std::vector<int16_t> six;
  for (int f = 0; f < 4410; ++f)
    for (int c = 0; c < 6; ++c) six.push_back(static_cast<int16_t>(1000 * (c + 1)));
  test::WriteWav(dir + "/six.wav", 44100, 6, six);
  const std::vector<int16_t> mono = {1200, -300, 32767, -32768};
  test::WriteWav(dir + "/mono.wav", 44100, 1, mono);

  const std::vector<int16_t> stereo = ReadAll(dir + "/six.wav", 44100, 6, 44100, 2);
  ASSERT_EQ(stereo.size(), 2u * 4410);
  EXPECT_EQ(stereo[0], 3000) << "left: the mean of the first, third and fifth";
  EXPECT_EQ(stereo[1], 4000) << "right: the mean of the second, fourth and sixth";
  EXPECT_EQ(ReadAll(dir + "/six.wav", 44100, 6, 44100, 1)[10], 3500);
  EXPECT_EQ(ReadAll(dir + "/mono.wav", 44100, 1, 44100, 2),
            (std::vector<int16_t>{1200, 1200, -300, -300, 32767, 32767, -32768, -32768}));
}

}  // namespace
}  // namespace tarvexa
