// FLAC and Ogg FLAC recordings made through the engine (file input, fast
// mode) and checked with the reference tools (flac, metaflac) and FFmpeg:
// bit-exact decoding, levels, block sizes, verification, split clips, and
// what a killed or starved recording leaves behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>

#include "EngineRecording.h"
#include "encoders/flac/FlacWriter.h"
#include "formats/FormatCatalogue.h"

namespace tarvexa {
namespace {

namespace fs = std::filesystem;

Settings Flac(int freq, int chan, bool native, int level, int blockIndex, bool verify = false) {
  Settings s;
  s.OUTPUT.OutputFormat = kFormatFLAC;
  s.OUTPUT.Freq = static_cast<int16_t>(freq);
  s.OUTPUT.Chan = static_cast<int16_t>(chan);
  s.FLAC.Native = native;
  s.FLAC.CompLev = static_cast<int16_t>(level);
  s.FLAC.BlockSize = static_cast<int16_t>(blockIndex);
  s.FLAC.Verify = verify;
  return s;
}

// Decoded samples by flac (native) or FFmpeg (either); empty on failure.
std::vector<int16_t> DecodeWithFlac(const std::string& path) {
  const std::string wav = path + ".flac-d.wav";
  if (test::Run("flac -s -f -d " + std::string(path.ends_with(".ogg") ? "--ogg " : "") + "-o " +
                test::Quote(wav) + " " + test::Quote(path)) != 0) {
    return {};
  }
  return test::ReadAudio(wav).samples;
}
std::vector<int16_t> DecodeWithFfmpeg(const std::string& path) {
  return test::DecodeWithFfmpeg(path).samples;
}

// The minimum and maximum block size of the stream header: as metaflac
// lists them for native FLAC; read from the first Ogg page for Ogg FLAC
// (metaflac reads native files only), where STREAMINFO follows "fLaC" and
// its block header just as in a native file.
std::pair<int, int> BlockSizes(const std::string& path) {
  if (path.ends_with(".ogg")) {
    std::ifstream in(path, std::ios::binary);
    std::string head(512, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    const size_t at = head.find("fLaC");
    if (at == std::string::npos) return {-1, -1};
    auto u16 = [&](size_t i) {
      return static_cast<uint8_t>(head[i]) << 8 | static_cast<uint8_t>(head[i + 1]);
    };
    return {u16(at + 8), u16(at + 10)};
  }
  std::string out;
  test::Run("metaflac --list --block-type=STREAMINFO " + test::Quote(path), &out);
  auto value = [&](const std::string& key) {
    const size_t at = out.find(key);
    return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + key.size());
  };
  return {value("minimum blocksize: "), value("maximum blocksize: ")};
}

// ---------------------------------------------------------------------------

struct FlacCase {
  const char* name;
  Settings s;
  int blockSize;  // expected in STREAMINFO
};

void PrintTo(const FlacCase& c, std::ostream* os) { *os << c.name; }

class FlacRecordings : public ::testing::TestWithParam<FlacCase> {};

TEST_P(FlacRecordings, DecodeBitExactWithTheChosenBlockSize) {
  const FlacCase& c = GetParam();
  const int rate = SampleRateOf(c.s), chan = ChannelsOf(c.s);
  const std::string dir = test::ScratchDir(std::string("flac_") + c.name);
  const std::string input = test::MakeTestWav(dir + "/in.wav", rate, chan, 6.3);
  const std::string ext = FileExtensionFor(kFormatFLAC, c.s);
  EXPECT_EQ(ext, c.s.FLAC.Native ? ".flac" : ".ogg");
  const auto clips = test::RecordFile(c.s, input, dir + "/out" + ext).clips;
  ASSERT_EQ(clips.size(), 1u);
  const std::vector<int16_t> want = test::ReadAudio(input).samples;

  std::string out;
  EXPECT_EQ(test::Run("flac -s -t " + std::string(c.s.FLAC.Native ? "" : "--ogg ") +
                          test::Quote(clips[0]),
                      &out),
            0)
      << out;  // frame CRCs and the MD5 of the whole stream
  EXPECT_TRUE(DecodeWithFlac(clips[0]) == want);
  EXPECT_TRUE(DecodeWithFfmpeg(clips[0]) == want);
  EXPECT_EQ(BlockSizes(clips[0]), std::make_pair(c.blockSize, c.blockSize));
  std::printf("%s: %ju bytes\n", c.name, static_cast<uintmax_t>(fs::file_size(clips[0])));
}

// Block-size index 0 leaves the size to the encoder: 1152 up to level 2,
// 4096 from level 3.
INSTANTIATE_TEST_SUITE_P(
    Settings, FlacRecordings,
    ::testing::Values(FlacCase{"level5_default", Flac(7, 2, true, 5, 0), 4096},
                      FlacCase{"level0_default", Flac(7, 2, true, 0, 0), 1152},
                      FlacCase{"level8_verify_mono", Flac(8, 1, true, 8, 0, true), 4096},
                      FlacCase{"level8_192_samples", Flac(7, 2, true, 8, 1), 192},
                      FlacCase{"level0_4608_samples_8k", Flac(0, 2, true, 0, 10), 4608},
                      FlacCase{"level5_1024_96k_verify", Flac(10, 2, true, 5, 5, true), 1024},
                      FlacCase{"ogg_level5", Flac(7, 2, false, 5, 0), 4096},
                      FlacCase{"ogg_level1_2048_mono", Flac(4, 1, false, 1, 7, true), 2048}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FlacWriter, SplitClipsDecodeOnTheirOwnAndJoinBitExact) {
  const std::string dir = test::ScratchDir("flac_split");
  const std::string input = test::MakeTestWav(dir + "/in.wav", 44100, 2, 12.0);
  for (bool native : {true, false}) {
    Settings s = Flac(7, 2, native, 5, 0);
    s.MISC.Split = 1;
    s.MISC.SplitSec = 5;
    const auto clips =
        test::RecordFile(s, input, dir + "/talk" + FileExtensionFor(kFormatFLAC, s)).clips;
    ASSERT_EQ(clips.size(), 3u);
    std::vector<int16_t> joined;
    std::set<std::string> serials;
    for (const std::string& clip : clips) {
      SCOPED_TRACE(clip);
      const std::vector<int16_t> part = DecodeWithFlac(clip);
      EXPECT_EQ(part.size(), (&clip == &clips.back() ? 2u : 5u) * 44100 * 2);
      joined.insert(joined.end(), part.begin(), part.end());
      if (!native) {
        char head[18] = {};
        std::ifstream(clip, std::ios::binary).read(head, sizeof head);
        serials.insert(std::string(head + 14, 4));
        EXPECT_TRUE(DecodeWithFfmpeg(clip) == part);
      }
    }
    EXPECT_TRUE(joined == test::ReadAudio(input).samples) << (native ? "native" : "ogg");
    if (!native) {
      EXPECT_EQ(serials.size(), 3u);
    }
  }
}

TEST(FlacWriter, Labels) {
  Settings s = Flac(7, 2, true, 5, 0);
  FormatApplied a = ApplyOutputFormat(s, RateChannelMatrix::All());
  EXPECT_EQ(a.label, "FLAC:  Native Flac; Compression Level 5;  44100 Hz;  Stereo;");
  EXPECT_EQ(a.logLine, "Set audio format: FLAC.");
  EXPECT_EQ(FlacLabel(Flac(0, 1, false, 0, 3)),
            "FLAC:  Ogg Flac; Compression Level 0;  8000 Hz;  Mono;");
  EXPECT_EQ(FlacLabel(Flac(11, 2, true, 9, 0)),
            "FLAC:  Native Flac; Compression Level Customized; 192000 Hz;  Stereo;");
}

TEST(FlacWriter, UncreatableFileFailsAsAnInitialisationOneEntryPerLine) {
  const std::string dir = test::ScratchDir("flac_nofolder");
  const std::string input = test::MakeTestWav(dir + "/in.wav", 44100, 2, 1.0);
  for (bool native : {true, false}) {
    const std::string path = dir + "/missing/x" + (native ? ".flac" : ".ogg");
    const test::Recording r = test::RecordFile(Flac(7, 2, native, 5, 0), input, path);
    EXPECT_TRUE(r.clips.empty());
    const std::vector<std::pair<std::string, int>> want = {
        {"Error Code: " + std::to_string(FLAC__STREAM_ENCODER_INIT_STATUS_ENCODER_ERROR), 1},
        {"Fail to initialize flac file! ", 1},
        {"FLAC Encoder State Code: " + std::to_string(FLAC__STREAM_ENCODER_IO_ERROR), 1},
        {"Error creating file " + path + ": No such file or directory", 1}};
    const auto first = std::find(r.logs.begin(), r.logs.end(), want[0]);
    ASSERT_GE(r.logs.end() - first, static_cast<long>(want.size())) << path;
    EXPECT_EQ(std::vector(first, first + static_cast<long>(want.size())), want) << path;
    EXPECT_FALSE(fs::exists(path));
  }
}

TEST(FlacWriter, KilledRecordingDecodesUpToTheLastSecond) {
  const std::string dir = test::ScratchDir("flac_killed");
  const auto in = test::ReadAudio(test::MakeTestWav(dir + "/in.wav", 44100, 2, 5.0));
  for (bool native : {true, false}) {
    const std::string path = dir + (native ? "/x.flac" : "/x.ogg");
    test::InChild([&] {
      FlacWriter writer(Flac(7, 2, native, 5, 0));
      if (writer.Open(path).empty() && test::Feed(writer, in.samples, 44100, 2)) {
        kill(getpid(), SIGKILL);  // no Close, no destructor
      }
      return std::string("not killed");
    });
    const std::vector<int16_t> got = DecodeWithFfmpeg(path);
    EXPECT_GE(got.size(), 4u * 44100 * 2) << path;
    EXPECT_TRUE(std::equal(got.begin(), got.end(), in.samples.begin())) << path;
  }
}

TEST(FlacWriter, WriteFailureIsReportedAndTheFileKeepsItsFrames) {
  const std::string dir = test::ScratchDir("flac_full");
  const auto in = test::ReadAudio(test::MakeTestWav(dir + "/in.wav", 44100, 2, 10.0));
  const std::string path = dir + "/x.flac";
  const std::string report = test::InChild([&] {
    test::LimitFileSize(256 * 1024);
    FlacWriter writer(Flac(7, 2, true, 5, 0));
    std::string text = writer.Open(path);
    if (!text.empty()) return text;
    const bool fed = test::Feed(writer, in.samples, 44100, 2);
    const bool again = writer.Write(in.samples.data(), 4410);
    return std::string(fed ? "fed" : "failed") + (again ? "+again" : "") + "|" +
           writer.ErrorText() + "|" + (writer.Close() ? "closed" : "close failed");
  });
  EXPECT_EQ(report, "failed|Fail to process flac file! Error writing file " + path +
                        ": File too large|closed");
  const std::vector<int16_t> got = DecodeWithFfmpeg(path);
  EXPECT_GT(got.size(), 44100u * 2);
  EXPECT_TRUE(std::equal(got.begin(), got.end(), in.samples.begin()));
}

}  // namespace
}  // namespace tarvexa
