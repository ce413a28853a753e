// MP2 through the engine, checked with outside decoders (mpg123, FFmpeg):
// rate, channels, length, the bitrate and the quality that goes with it,
// the frame header flags, refused settings, split clips, a killed recording
// and a full disk.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "EngineRecording.h"
#include "encoders/mp2/Mp2Writer.h"
#include "formats/FormatCatalogue.h"

namespace tarvexa {
namespace {

namespace fs = std::filesystem;
using test::Recording;

int FreqIndex(int rate) {
  for (size_t i = 0; i < SampleRateTable.size(); ++i)
    if (SampleRateTable[i] == rate) return static_cast<int>(i);
  return -1;
}

Settings Mp2(int bits, int rate = 44100, int chan = 2) {
  Settings s;
  s.OUTPUT.OutputFormat = kFormatMP2;
  s.OUTPUT.Freq = static_cast<int16_t>(FreqIndex(rate));
  s.OUTPUT.Chan = static_cast<int16_t>(chan);
  s.MP2.Bits = static_cast<int16_t>(bits);
  return s;
}

// Music-like input: inharmonic partials with slow envelopes over a noise
// floor, so the encoder has to spend its bits (pure tones would flatter any
// bitrate) and the signal has no short period to confuse the delay search.
std::vector<int16_t> MusicLike(int rate, int chan, double seconds) {
  std::vector<int16_t> v;
  const int64_t n = static_cast<int64_t>(rate * seconds);
  const double partials[] = {231.7, 377.3, 612.9, 1043.1, 1789.5, 2903.3, 4711.9};
  uint32_t noise = 12345;
  for (int64_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / rate;
    for (int c = 0; c < chan; ++c) {
      double x = 0;
      for (int k = 0; k < 7; ++k) {
        const double f = partials[k] * (c ? 0.89 : 1.0);
        x += std::sin(2 * M_PI * f * t + k) *
             (0.5 + 0.5 * std::sin(2 * M_PI * (0.3 + 0.11 * k) * t)) / (k + 1);
      }
      noise = noise * 1664525u + 1013904223u;
      x = 0.3 * x + 0.02 * (static_cast<double>(noise >> 8) / (1 << 24) - 0.5);
      v.push_back(static_cast<int16_t>(std::lround(x * 32767)));
    }
  }
  return v;
}

std::string MakeInput(const std::string& path, int rate, int chan, double seconds) {
  test::WriteWav(path, rate, chan, MusicLike(rate, chan, seconds));
  return path;
}

// Decodes with an outside tool into a WAV file and reads it back; *errors
// gets what the decoder complained about.
test::Audio Decode(const std::string& tool, const std::string& file, std::string* errors) {
  const std::string wav = file + "." + tool + ".wav";
  std::string out;
  const std::string cmd =
      tool == "mpg123" ? "mpg123 -q -w " + test::Quote(wav) + " " + test::Quote(file)
                       : "ffmpeg -v error -y -i " + test::Quote(file) + " " + test::Quote(wav);
  EXPECT_EQ(test::Run(cmd, &out), 0) << out;
  if (errors) *errors = out;
  return test::ReadAudio(wav);
}

// Signal-to-noise ratio of a decoded stream against the input, after
// finding the codec delay (the shift that best lines up the first channel).
double Snr(const std::vector<int16_t>& in, const std::vector<int16_t>& out, int chan, int* delay) {
  const int64_t frames = static_cast<int64_t>(in.size()) / chan;
  const int64_t outFrames = static_cast<int64_t>(out.size()) / chan;
  auto corr = [&](int64_t d) {
    double sum = 0;
    for (int64_t i = 4000; i < 4000 + 8192 && i + d < outFrames; ++i)
      sum += static_cast<double>(in[i * chan]) * out[(i + d) * chan];
    return sum;
  };
  int64_t best = 0;
  for (int64_t d = -1500; d <= 3000; ++d)
    if (corr(d) > corr(best)) best = d;
  *delay = static_cast<int>(best);
  double signal = 0, noise = 0;
  for (int64_t i = 2048; i + 2048 < frames && i + best + 2048 < outFrames; ++i) {
    for (int c = 0; c < chan; ++c) {
      const double x = in[i * chan + c];
      const double e = x - out[(i + best) * chan + c];
      signal += x * x;
      noise += e * e;
    }
  }
  return 10 * std::log10(signal / std::max(noise, 1.0));
}

// The four bytes of the first frame header.
std::array<uint8_t, 4> FirstHeader(const std::string& path) {
  std::array<uint8_t, 4> h{};
  std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(h.data()), 4);
  return h;
}

// ---------------------------------------------------------------------------

struct QualityCase {
  int bits, kbps, rate, chan;
  double minSnr;  // measured SNR minus a margin
};

void PrintTo(const QualityCase& c, std::ostream* os) {
  *os << c.kbps << " kbps " << c.rate << " Hz " << c.chan << " ch";
}

class Mp2Quality : public ::testing::TestWithParam<QualityCase> {};

TEST_P(Mp2Quality, DecodesWithTheRightShapeBitrateAndQuality) {
  const QualityCase c = GetParam();
  const std::string dir = test::ScratchDir("mp2_quality_" + std::to_string(c.kbps) + "_" +
                                           std::to_string(c.rate) + "_" + std::to_string(c.chan));
  // 6.3 s: the last chunk handed to the encoder is a partial one.
  const double seconds = 6.3;
  const std::string input = MakeInput(dir + "/in.wav", c.rate, c.chan, seconds);
  const Recording r = test::RecordFile(Mp2(c.bits, c.rate, c.chan), input, dir + "/out.mp2");
  ASSERT_EQ(r.clips.size(), 1u);
  const std::string file = r.clips[0];
  const std::vector<int16_t> in = test::ReadAudio(input).samples;
  const int64_t frames = static_cast<int64_t>(in.size()) / c.chan;

  // Constant bitrate: the file size is the bitrate times the duration.
  const double kbps = fs::file_size(file) * 8.0 / 1000 / seconds;
  EXPECT_NEAR(kbps, c.kbps, c.kbps * 0.03);

  for (const std::string tool : {"mpg123", "ffmpeg"}) {
    SCOPED_TRACE(tool);
    std::string errors;
    const test::Audio out = Decode(tool, file, &errors);
    EXPECT_EQ(errors, "");
    ASSERT_EQ(out.rate, c.rate);
    ASSERT_EQ(out.channels, c.chan);
    int delay = 0;
    const double snr = Snr(in, out.samples, c.chan, &delay);
    std::printf("%s %d kbps %d Hz %d ch: SNR %.1f dB, delay %d, %lld of %lld frames\n",
                tool.c_str(), c.kbps, c.rate, c.chan, snr, delay,
                static_cast<long long>(out.frames), static_cast<long long>(frames));
    EXPECT_GT(snr, c.minSnr);
    // Everything was encoded, up to the last sample (the last partial
    // chunk, the tail the filter bank holds back), and no more than the
    // padding of the last frame was added.
    EXPECT_GE(out.frames, frames + delay);
    EXPECT_LT(out.frames, frames + delay + 1152);
  }
}

// SNR measured on this input with twolame 0.4.0, decoded by mpg123 1.31.2
// and FFmpeg 5.1 (both give the same figures); each threshold sits about
// 1.5 dB below the measurement. The codec delay found is 481 samples.
INSTANTIATE_TEST_SUITE_P(
    Bitrates, Mp2Quality,
    ::testing::Values(QualityCase{13, 192, 44100, 2, 29.5},   // measured 31.3 dB
                      QualityCase{17, 384, 44100, 2, 34.0},   // measured 35.8 dB
                      QualityCase{11, 128, 32000, 1, 35.0},   // measured 36.7 dB
                      QualityCase{11, 128, 22050, 1, 34.0}),  // MPEG-2 LSF, measured 35.9 dB
    [](const ::testing::TestParamInfo<QualityCase>& i) {
      return std::to_string(i.param.kbps) + "kbps_" + std::to_string(i.param.rate) + "_" +
             (i.param.chan == 1 ? "mono" : "stereo");
    });

TEST(Mp2Writer, FrameHeaderCarriesModeAndFlags) {
  const std::string dir = test::ScratchDir("mp2_header");
  const std::string input = MakeInput(dir + "/in.wav", 48000, 2, 1.0);
  const std::string monoInput = MakeInput(dir + "/mono.wav", 48000, 1, 1.0);
  struct Case {
    int chan, channel, copyright, original, mode;  // mode: the header's 2 bits
  };
  for (const Case c :
       {Case{2, 1, 1, 0, 0}, Case{2, 2, 0, 1, 1}, Case{2, 3, 1, 1, 2}, Case{1, 2, 0, 0, 3}}) {
    Settings s = Mp2(13, 48000, c.chan);
    s.MP2.Channel = static_cast<int16_t>(c.channel);
    s.MP2.CopyRight = c.copyright;
    s.MP2.Original = c.original;
    const std::string file =
        dir + "/m" + std::to_string(c.channel) + std::to_string(c.chan) + ".mp2";
    ASSERT_EQ(test::RecordFile(s, c.chan == 1 ? monoInput : input, file).clips.size(), 1u);
    const auto h = FirstHeader(file);
    SCOPED_TRACE(file);
    EXPECT_EQ(h[0], 0xFF);
    EXPECT_EQ(h[1] & 0xFE, 0xFC);   // MPEG-1, Layer II
    EXPECT_EQ(h[2] >> 4, 10);       // 192 kbps
    EXPECT_EQ((h[2] >> 2) & 3, 1);  // 48000 Hz
    EXPECT_EQ(h[3] >> 6, c.mode);
    EXPECT_EQ((h[3] >> 3) & 1, c.copyright);
    EXPECT_EQ((h[3] >> 2) & 1, c.original);
  }
}

TEST(Mp2Writer, SplitClipsEachDecodeOnTheirOwn) {
  const std::string dir = test::ScratchDir("mp2_split");
  const std::string input = MakeInput(dir + "/in.wav", 44100, 2, 12.0);
  Settings s = Mp2(11);
  s.MISC.Split = 1;
  s.MISC.SplitSec = 5;
  const Recording r = test::RecordFile(s, input, dir + "/Talk.mp2");
  ASSERT_EQ(r.clips.size(), 3u);
  const double want[] = {5, 5, 2};
  for (size_t i = 0; i < 3; ++i) {
    std::string errors;
    const test::Audio a = Decode("mpg123", r.clips[i], &errors);
    EXPECT_EQ(errors, "") << r.clips[i];
    EXPECT_NEAR(static_cast<double>(a.frames) / 44100, want[i], 0.06) << r.clips[i];
    EXPECT_EQ(FirstHeader(r.clips[i])[0], 0xFF) << "each clip starts with a frame";
  }
}

// ---------------------------------------------------------------------------
// Settings libtwolame refuses.

TEST(Mp2Settings, RefusedSettingsAreResetWhenTheFormatIsApplied) {
  Settings s = Mp2(17, 44100, 1);  // 384 kbps mono: beyond Layer II mono
  s.MP2.Channel = 2;
  s.MP2.CopyRight = 1;
  s.MP2.Original = 1;
  FormatApplied a = ApplyOutputFormat(s, RateChannelMatrix::All());
  EXPECT_EQ(a.logLine, "Set audio format: MP2.");
  ASSERT_EQ(a.extraLog.size(), 1u);
  EXPECT_EQ(a.extraLog[0].first, "Error: configuring Libtwolame encoder failed!");
  EXPECT_EQ(s.MP2.Bits, 11);
  EXPECT_EQ(s.MP2.Channel, 0);
  EXPECT_EQ(s.MP2.CopyRight, 0);
  EXPECT_EQ(s.MP2.Original, 0);
  EXPECT_EQ(a.label, "MP2:  128 kbps; 44100 Hz;  Mono;");

  // 384 kbps stereo is a Layer II bitrate: kept, nothing logged.
  Settings ok = Mp2(17, 48000, 2);
  ok.MP2.Channel = 3;
  a = ApplyOutputFormat(ok, RateChannelMatrix::All());
  EXPECT_TRUE(a.extraLog.empty());
  EXPECT_EQ(ok.MP2.Bits, 17);
  EXPECT_EQ(a.label, "MP2:  384 kbps; 48000 Hz;  Dual Channel;");

  // A rate MP2 does not allow is the rate/channel rule's business: the MP2
  // settings are not blamed for it.
  Settings lowRate = Mp2(16, 8000, 2);
  a = ApplyOutputFormat(lowRate, RateChannelMatrix::All());
  EXPECT_TRUE(a.extraLog.empty());
  EXPECT_EQ(lowRate.MP2.Bits, 16);
  EXPECT_EQ(SampleRateOf(lowRate), 44100);
  EXPECT_EQ(a.label, "MP2:  320 kbps; 44100 Hz;  Auto;");

  // MPEG-2 rates stop at 160 kbps.
  Settings lsf = Mp2(13, 24000, 2);
  a = ApplyOutputFormat(lsf, RateChannelMatrix::All());
  EXPECT_EQ(a.extraLog.size(), 1u);
  EXPECT_EQ(lsf.MP2.Bits, 11);
}

TEST(Mp2Settings, RefusedAtRecordingStartEndsTheSessionWithoutAFile) {
  const std::string dir = test::ScratchDir("mp2_refused");
  const std::string input = MakeInput(dir + "/in.wav", 44100, 1, 1.0);
  const Recording r = test::RecordFile(Mp2(17, 44100, 1), input, dir + "/out.mp2");
  EXPECT_TRUE(r.clips.empty());
  EXPECT_TRUE(r.Logged("Error: configuring libtwolame encoder failed."));
  EXPECT_FALSE(fs::exists(dir + "/out.mp2"));

  Mp2Writer writer(Mp2(11));
  const std::string path = dir + "/no/such/folder/out.mp2";
  EXPECT_EQ(writer.Open(path), "Error creating file " + path);
}

// ---------------------------------------------------------------------------
// Crash and disk-full safety, with the writer driven directly in a child.

TEST(Mp2Writer, KilledRecordingDecodesUpToItsLastSecond) {
  const std::string dir = test::ScratchDir("mp2_killed");
  const std::string path = dir + "/killed.mp2";
  const auto in = MusicLike(44100, 2, 5.0);
  int status = 0;
  test::InChild(
      [&] {
        Mp2Writer w(Mp2(13));
        if (!w.Open(path).empty()) _exit(2);
        test::Feed(w, in, 44100, 2);
        kill(getpid(), SIGKILL);
        return std::string("not killed");
      },
      &status);
  ASSERT_TRUE(WIFSIGNALED(status));
  std::string errors;
  const test::Audio a = Decode("ffmpeg", path, &errors);
  EXPECT_EQ(errors, "");
  EXPECT_GE(a.frames, 4.8 * 44100);
}

TEST(Mp2Writer, FullDiskIsReportedAndTheFileEndsOnAWholeFrame) {
  const std::string dir = test::ScratchDir("mp2_full");
  const std::string path = dir + "/full.mp2";
  const auto in = MusicLike(44100, 2, 20.0);  // 480 kB at 192 kbps
  const std::string report = test::InChild([&] {
    test::LimitFileSize(100 * 1024);
    Mp2Writer w(Mp2(13));
    const std::string text = w.Open(path);
    if (!text.empty()) return text;
    test::Feed(w, in, 44100, 2);
    const bool again = w.Write(in.data(), 4410);  // refused after a failure
    const std::string error = w.ErrorText();
    return std::to_string(again) + std::to_string(w.Close()) + error;
  });
  EXPECT_EQ(report, "01Error writing file " + path + ": " + std::strerror(EFBIG));
  // 192 kbps at 44.1 kHz: frames of 626 or 627 bytes, none cut in half.
  const auto size = fs::file_size(path);
  EXPECT_GT(size, 90u * 1024);
  std::string errors;
  const test::Audio a = Decode("ffmpeg", path, &errors);
  EXPECT_EQ(errors, "");
  EXPECT_NEAR(static_cast<double>(a.frames) / 1152, size / 626.9, 1.0);
}

}  // namespace
}  // namespace tarvexa
