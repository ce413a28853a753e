// WavPack through the engine, checked with wvunpack and FFmpeg: lossless
// files decode bit-exact, hybrid files with their correction file decode
// bit-exact and without it at a quality that fits the bitrate; every option
// reaches the file; split clips, a killed recording and a full disk.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "EngineRecording.h"
#include "encoders/wavpack/WavPackWriter.h"
#include "formats/FormatCatalogue.h"

namespace tarvexa {
namespace {

namespace fs = std::filesystem;

Settings Wv(int chan = 2, int freq = 7) {
  Settings s;
  s.OUTPUT.OutputFormat = kFormatWV;
  s.OUTPUT.Chan = static_cast<int16_t>(chan);
  s.OUTPUT.Freq = static_cast<int16_t>(freq);
  return s;
}

Settings Hybrid(int kbps, bool wvc) {
  Settings s = Wv();
  s.WV.EncMod = 1;
  s.WV.Kbps = static_cast<int16_t>(kbps);
  s.WV.CrtWvc = wvc;
  return s;
}

// Records a whole input file through the engine (file input, fast mode);
// returns the clips. A warning or an error in the log is a failure.
std::vector<std::string> Record(const Settings& s, const std::string& input,
                                const std::string& out) {
  const test::Recording r = test::RecordFile(s, input, out);
  for (const auto& [text, level] : r.logs)
    if (level >= 1) ADD_FAILURE() << text;
  return r.clips;
}

// Decodes with wvunpack (which takes the ".wvc" beside the file when there
// is one) or FFmpeg (which never does).
test::Audio Decode(const std::string& tool, const std::string& file) {
  const std::string wav = file + "." + tool + ".wav";
  std::string out;
  const std::string cmd =
      tool == "wvunpack" ? "wvunpack -q -y " + test::Quote(file) + " -o " + test::Quote(wav)
                         : "ffmpeg -v error -y -i " + test::Quote(file) + " " + test::Quote(wav);
  EXPECT_EQ(test::Run(cmd, &out), 0) << out;
  EXPECT_EQ(out, "") << tool << " complained about " << file;
  return test::ReadAudio(wav);
}

// The "modalities:" line of wvunpack's summary ("lossless, high, extra-4").
std::string Modalities(const std::string& file) {
  std::string out;
  test::Run("wvunpack -s " + test::Quote(file), &out);
  const size_t at = out.find("modalities:");
  if (at == std::string::npos) return "";
  const size_t begin = out.find_first_not_of(' ', at + 11);
  return out.substr(begin, out.find('\n', begin) - begin);
}

struct BlockInfo {
  uint32_t totalSamples = 0;  // first block's count (0xFFFFFFFF: unknown)
  uint32_t firstBlockSamples = 0;
  uint32_t flagsAll = ~0u;  // AND of the flags of every block
  uint32_t flagsAny = 0;    // OR of them
  int blocks = 0;
};

// Walks the block headers of a WavPack file.
BlockInfo Blocks(const std::string& file) {
  std::ifstream f(file, std::ios::binary);
  const std::string data((std::istreambuf_iterator<char>(f)), {});
  BlockInfo b;
  auto u32 = [&](size_t at) {
    uint32_t v;
    std::memcpy(&v, data.data() + at, 4);
    return v;
  };
  for (size_t at = 0; at + 32 <= data.size() && data.compare(at, 4, "wvpk") == 0;
       at += u32(at + 4) + 8) {
    if (b.blocks++ == 0) {
      b.totalSamples = u32(at + 12);
      b.firstBlockSamples = u32(at + 20);
    }
    b.flagsAll &= u32(at + 24);
    b.flagsAny |= u32(at + 24);
  }
  return b;
}

double Snr(const std::vector<int16_t>& in, const std::vector<int16_t>& out) {
  double signal = 0, noise = 0;
  for (size_t i = 0; i < std::min(in.size(), out.size()); ++i) {
    const double e = static_cast<double>(in[i]) - out[i];
    signal += static_cast<double>(in[i]) * in[i];
    noise += e * e;
  }
  return 10 * std::log10(signal / std::max(noise, 1.0));
}

const std::string& Input(int rate, int chan) {
  static std::map<std::pair<int, int>, std::string> made;
  auto& path = made[{rate, chan}];
  if (path.empty()) {
    path = test::MakeTestWav(
        test::ScratchDir("wv_input_" + std::to_string(rate) + "_" + std::to_string(chan)) +
            "/in.wav",
        rate, chan, 6.3);
  }
  return path;
}

// ---------------------------------------------------------------------------

struct LosslessCase {
  const char* name;
  std::function<void(Settings&)> set;
  const char* modalities;        // wvunpack's summary
  uint32_t flagsAll, flagsNone;  // block flags set in every block / in none
  uint32_t blockSamples;         // 0: the library's choice
  bool merged = false;           // blocks of blockSamples merged into bigger ones
};

void PrintTo(const LosslessCase& c, std::ostream* os) { *os << c.name; }

class WavPackLossless : public ::testing::TestWithParam<LosslessCase> {};

TEST_P(WavPackLossless, DecodesBitExactWithTheOptionsInTheFile) {
  const LosslessCase& c = GetParam();
  Settings s = Wv();
  c.set(s);
  const int rate = SampleRateOf(s), chan = ChannelsOf(s);
  const std::string dir = test::ScratchDir(std::string("wv_lossless_") + c.name);
  const auto clips = Record(s, Input(rate, chan), dir + "/out.wv");
  ASSERT_EQ(clips.size(), 1u);
  const test::Audio in = test::ReadAudio(Input(rate, chan));
  for (const std::string tool : {"wvunpack", "ffmpeg"}) {
    const test::Audio out = Decode(tool, clips[0]);
    EXPECT_EQ(out.rate, rate) << tool;
    EXPECT_EQ(out.channels, chan) << tool;
    EXPECT_TRUE(out.samples == in.samples) << tool << ": not bit-exact";
  }
  EXPECT_EQ(Modalities(clips[0]), c.modalities);
  const BlockInfo b = Blocks(clips[0]);
  EXPECT_EQ(b.totalSamples, in.frames) << "the sample count is rewritten at the end";
  EXPECT_EQ(b.flagsAll & c.flagsAll, c.flagsAll);
  EXPECT_EQ(b.flagsAny & c.flagsNone, 0u);
  if (c.merged) {
    // The test signal is steady, so neighbouring blocks merge.
    EXPECT_EQ(b.firstBlockSamples % c.blockSamples, 0u);
    EXPECT_GT(b.firstBlockSamples, c.blockSamples);
  } else if (c.blockSamples) {
    EXPECT_EQ(b.firstBlockSamples, c.blockSamples);
  }
  EXPECT_FALSE(fs::exists(clips[0] + "c")) << "no correction file in lossless mode";
}

constexpr uint32_t kJointStereo = 0x10, kMono = 0x4, kHybridShape = 0x40;

INSTANTIATE_TEST_SUITE_P(
    Options, WavPackLossless,
    ::testing::Values(
        LosslessCase{"normal", [](Settings&) {}, "lossless", 0, kMono, 0},
        LosslessCase{"fast", [](Settings& s) { s.WV.ComLev = 0; }, "lossless, fast", 0, 0, 0},
        LosslessCase{"high", [](Settings& s) { s.WV.ComLev = 2; }, "lossless, high", 0, 0, 0},
        LosslessCase{"very_high_extra6",
                     [](Settings& s) {
                       s.WV.ComLev = 3;
                       s.WV.ExtMod = 6;
                     },
                     "lossless, very high, extra-6", 0, 0, 0},
        LosslessCase{"mono_48k_extra2",
                     [](Settings& s) {
                       s = Wv(1, 8);
                       s.WV.ExtMod = 2;
                     },
                     "lossless, extra-2", kMono, 0, 0},
        LosslessCase{"left_right", [](Settings& s) { s.WV.SteMod = 1; }, "lossless", 0,
                     kJointStereo, 0},
        LosslessCase{"mid_side", [](Settings& s) { s.WV.SteMod = 2; }, "lossless", kJointStereo, 0,
                     0},
        LosslessCase{"block_4096",
                     [](Settings& s) {
                       s.WV.EnableBlkSize = 1;
                       s.WV.BlkSize = 4096;
                     },
                     "lossless", 0, 0, 4096},
        LosslessCase{"block_4096_merged",
                     [](Settings& s) {
                       s.WV.EnableBlkSize = 1;
                       s.WV.BlkSize = 4096;
                       s.WV.Merge = 1;
                     },
                     "lossless", 0, 0, 4096, true},
        LosslessCase{"block_131072",
                     [](Settings& s) {
                       s.WV.EnableBlkSize = 1;
                       s.WV.BlkSize = 131072;
                     },
                     "lossless", 0, 0, 131072}),
    [](const ::testing::TestParamInfo<LosslessCase>& i) { return std::string(i.param.name); });

// ---------------------------------------------------------------------------

struct HybridCase {
  const char* name;
  Settings s;
  const char* modalities;
  double minSnr;     // of the ".wv" alone: measured minus a margin
  double lossyKbps;  // expected size of the ".wv" alone; 0: not checked
  uint32_t flagsAll, flagsNone;
};

void PrintTo(const HybridCase& c, std::ostream* os) { *os << c.name; }

class WavPackHybrid : public ::testing::TestWithParam<HybridCase> {};

TEST_P(WavPackHybrid, LossyAloneAndLosslessWithTheCorrectionFile) {
  const HybridCase& c = GetParam();
  const std::string dir = test::ScratchDir(std::string("wv_hybrid_") + c.name);
  const auto clips = Record(c.s, Input(44100, 2), dir + "/out.wv");
  ASSERT_EQ(clips.size(), 1u);
  const std::string wv = clips[0];
  const test::Audio in = test::ReadAudio(Input(44100, 2));
  ASSERT_EQ(fs::exists(wv + "c"), c.s.WV.CrtWvc != 0);
  EXPECT_EQ(Modalities(wv), c.modalities);

  if (c.s.WV.CrtWvc) {
    EXPECT_TRUE(Decode("wvunpack", wv).samples == in.samples) << "not bit-exact with the .wvc";
    EXPECT_EQ(Blocks(wv + "c").totalSamples, in.frames) << "count rewritten in the .wvc too";
  }
  // The ".wv" alone: a lossy file of the right shape and quality.
  fs::create_directories(dir + "/alone");
  const std::string alone = dir + "/alone/out.wv";
  fs::copy_file(wv, alone);
  for (const std::string tool : {"wvunpack", "ffmpeg"}) {
    const test::Audio out = Decode(tool, alone);
    EXPECT_EQ(out.rate, 44100);
    EXPECT_EQ(out.channels, 2);
    EXPECT_EQ(out.frames, in.frames);
    const double snr = Snr(in.samples, out.samples);
    std::printf("%s %s: SNR %.1f dB, %.0f kbps\n", c.name, tool.c_str(), snr,
                fs::file_size(wv) * 8 / 1000 / 6.3);
    EXPECT_GT(snr, c.minSnr) << tool;
  }
  if (c.lossyKbps > 0) {
    EXPECT_NEAR(fs::file_size(wv) * 8 / 1000 / 6.3, c.lossyKbps, c.lossyKbps * 0.1);
  }
  const BlockInfo b = Blocks(wv);
  EXPECT_EQ(b.totalSamples, in.frames);
  EXPECT_EQ(b.flagsAll & c.flagsAll, c.flagsAll);
  EXPECT_EQ(b.flagsAny & c.flagsNone, 0u);
}

HybridCase MaxCompression() {
  Settings s = Hybrid(320, true);
  s.WV.OptWvc = 1;
  // Bitrate 0 is the library's floor of 2.25 bits per sample: 198 kbps.
  return {"max_compression", s, "hybrid lossless, dns", 45.0, 198, 0, 0};
}
HybridCase Shaping(const char* name, int shape, double minSnr, uint32_t all, uint32_t none) {
  Settings s = Hybrid(256, false);
  s.WV.EnableShape = 1;
  s.WV.Shape = static_cast<int16_t>(shape);
  return {name, s, "hybrid lossy", minSnr, 256, all, none};
}

// SNR of the ".wv" alone measured with wvunpack 5.6.0 and FFmpeg 5.1 (the
// same figures) on the 440/660 Hz test signal: 320 kbps 59.4 dB, 256 kbps
// 53.5 dB, maximum hybrid compression 47.2 dB, 256 kbps with shaping 0
// 54.1 dB and with shaping 0.5 52.2 dB (shaping moves noise up in
// frequency, which adds to its power). Thresholds about 2 dB below.
INSTANTIATE_TEST_SUITE_P(Modes, WavPackHybrid,
                         ::testing::Values(HybridCase{"320k_wvc", Hybrid(320, true),
                                                      "hybrid lossless, dns", 57.5, 320, 0, 0},
                                           HybridCase{"256k_lossy", Hybrid(256, false),
                                                      "hybrid lossy, dns", 51.5, 256, 0, 0},
                                           MaxCompression(),
                                           Shaping("shaping_0", 0, 52.0, 0, kHybridShape),
                                           Shaping("shaping_050", 50, 50.0, kHybridShape, 0)),
                         [](const ::testing::TestParamInfo<HybridCase>& i) {
                           return std::string(i.param.name);
                         });

// ---------------------------------------------------------------------------

TEST(WavPackWriter, SplitClipsComeInWvAndWvcPairsThatDecodeOnTheirOwn) {
  const std::string dir = test::ScratchDir("wv_split");
  Settings s = Hybrid(256, true);
  s.MISC.Split = 1;
  s.MISC.SplitSec = 5;
  const std::string input = test::MakeTestWav(dir + "/in.wav", 44100, 2, 12.0);
  // A correction file left from an earlier recording takes its name: the
  // clip goes to the next free one and the old file stays as it was.
  const std::string stray = dir + "/Talk(Splitted Clip 00001).wvc";
  test::WriteFile(stray, "an earlier recording's correction file");
  const auto clips = Record(s, input, dir + "/Talk.wv");
  ASSERT_EQ(clips.size(), 3u);
  EXPECT_EQ(clips[1], dir + "/Talk(Splitted Clip 00001) (2).wv");
  EXPECT_EQ(test::ReadFile(stray), "an earlier recording's correction file");
  std::vector<int16_t> joined;
  for (const auto& clip : clips) {
    EXPECT_TRUE(fs::exists(clip + "c")) << clip;
    const test::Audio a = Decode("wvunpack", clip);
    EXPECT_EQ(Blocks(clip).totalSamples, a.frames) << clip;
    joined.insert(joined.end(), a.samples.begin(), a.samples.end());
  }
  EXPECT_TRUE(joined == test::ReadAudio(input).samples) << "clips joined are not the input";
}

TEST(WavPackWriter, UncreatableFilesAreReported) {
  const std::string dir = test::ScratchDir("wv_uncreatable");
  const std::string missing = dir + "/no/such/folder/out.wv";
  WavPackWriter plain(Wv());
  EXPECT_EQ(plain.Open(missing), "Can't create file " + missing + "!\n");

  // The correction file's name is taken by a folder: the ".wv" goes again.
  fs::create_directories(dir + "/out.wvc");
  WavPackWriter hybrid(Hybrid(320, true));
  EXPECT_EQ(hybrid.Open(dir + "/out.wv"), "Can't create correction file " + dir + "/out.wvc!\n");
  EXPECT_FALSE(fs::exists(dir + "/out.wv"));
}

TEST(WavPackWriter, KilledRecordingDecodesUpToItsLastBlock) {
  const std::string dir = test::ScratchDir("wv_killed");
  const std::string path = dir + "/killed.wv";
  const test::Audio in = test::ReadAudio(test::MakeTestWav(dir + "/in.wav", 44100, 2, 5.0));
  int status = 0;
  test::InChild(
      [&] {
        WavPackWriter w(Wv());
        if (!w.Open(path).empty()) _exit(2);
        if (!test::Feed(w, in.samples, 44100, 2)) _exit(3);
        kill(getpid(), SIGKILL);
        return std::string("not killed");
      },
      &status);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(Blocks(path).totalSamples, 0xFFFFFFFFu) << "count unknown";
  const test::Audio out = Decode("wvunpack", path);
  EXPECT_GE(out.frames, 4 * 44100);
  EXPECT_TRUE(std::equal(out.samples.begin(), out.samples.end(), in.samples.begin()));
}

TEST(WavPackWriter, FullDiskIsReportedAndTheFileEndsOnAWholeBlock) {
  const std::string dir = test::ScratchDir("wv_full");
  const std::string path = dir + "/full.wv";
  const test::Audio in = test::ReadAudio(test::MakeTestWav(dir + "/in.wav", 44100, 2, 20.0));
  const std::string report = test::InChild([&] {
    test::LimitFileSize(300 * 1024);
    WavPackWriter w(Wv());
    const std::string text = w.Open(path);
    if (!text.empty()) return text;
    test::Feed(w, in.samples, 44100, 2);
    const bool again = w.Write(in.samples.data(), 4410);
    const std::string error = w.ErrorText();
    return std::to_string(again) + std::to_string(w.Close()) + error;
  });
  EXPECT_EQ(report, "01Error writing file " + path + ": " + std::strerror(EFBIG));
  const test::Audio out = Decode("wvunpack", path);
  EXPECT_GE(out.frames, 44100);
  EXPECT_TRUE(std::equal(out.samples.begin(), out.samples.end(), in.samples.begin()));
}

TEST(WavPackLabel, ShowsModeLevelRateAndChannels) {
  Settings s = Hybrid(320, true);
  s.WV.ComLev = 3;
  FormatApplied a = ApplyOutputFormat(s, RateChannelMatrix::All());
  EXPECT_EQ(a.label,
            "WV:   WavPack Hybrid Lossless Mode; Compression Level Very High;  44100 Hz;  Stereo;");
  EXPECT_EQ(a.logLine, "Set audio format: WV.");
  s = Wv(1, 11);
  s.WV.ComLev = 0;
  EXPECT_EQ(ApplyOutputFormat(s, RateChannelMatrix::All()).label,
            "WV:   WavPack Pure Lossless Mode; Compression Level Fast;  192000 Hz;  Mono;");
}

}  // namespace
}  // namespace tarvexa
