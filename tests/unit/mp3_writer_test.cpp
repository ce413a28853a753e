// MP3 through lame_enc.so: the configuration record, the label, the binding
// of the library, and recordings made through the engine (file input, fast
// mode) checked by outside decoders (mpg123, ffmpeg, ffprobe) and by reading
// the frame headers and the information frame.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "EngineRecording.h"
#include "encoders/mp3/Mp3Writer.h"

using namespace tarvexa;
using namespace tarvexa::test;
namespace fs = std::filesystem;

namespace {

Settings Mp3Settings(int freq = 7, int chan = 2) {
  Settings s;
  s.OUTPUT.OutputFormat = kFormatMP3;
  s.OUTPUT.Freq = static_cast<int16_t>(freq);
  s.OUTPUT.Chan = static_cast<int16_t>(chan);
  return s;
}

// Records a whole input file through the engine (file input, fast mode);
// the session must come to its end.
Recording RecordToEnd(const Settings& s, const std::string& input, const std::string& out) {
  Recording r = RecordFile(s, input, out);
  EXPECT_TRUE(r.finished);
  return r;
}

// Records `input` and expects one clip and no warning.
std::string RecordOne(const Settings& s, const std::string& input, const std::string& out) {
  Recording r = RecordToEnd(s, input, out);
  EXPECT_EQ(r.clips.size(), 1u);
  for (auto& l : r.logs) EXPECT_LT(l.second, 1) << l.first;
  return out;
}

// Deterministic, never-repeating input (so the alignment search has one answer).
std::string MakeNoise(const std::string& path, int rate, int channels, double seconds) {
  EXPECT_EQ(test::Run("sox -R -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) +
                      " -b 16 " + Quote(path) + " synth " + std::to_string(seconds) +
                      " pinknoise vol 0.3"),
            0);
  return path;
}

// mpg123 trims the encoder delay and padding that the LAME tag declares.
Audio DecodeMpg123(const std::string& mp3) {
  EXPECT_EQ(test::Run("mpg123 -q -w " + Quote(mp3 + ".wav") + " " + Quote(mp3)), 0);
  return ReadAudio(mp3 + ".wav");
}

// Decoded sample count per channel from ffmpeg; *errors gets its complaints.
int64_t FfmpegFrames(const std::string& mp3, std::string* errors) {
  test::Run(
      "ffmpeg -nostdin -y -v error -i " + Quote(mp3) + " -c:a pcm_s16le " + Quote(mp3 + ".ff.wav"),
      errors);
  return ReadAudio(mp3 + ".ff.wav").frames;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

struct Frame {
  size_t offset, size;
  int kbps, rate, samples, mode;  // mode 0 stereo, 1 joint, 2 dual, 3 mono
  bool crc, privateBit, copyright, original;
  int mainDataBegin;
};

// The Layer III frames from the start of the file, up to the first byte that
// is not a frame header.
std::vector<Frame> ParseFrames(const std::vector<uint8_t>& d) {
  static const int kKbps[2][15] = {
      {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
      {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}};
  static const int kRates[3][3] = {
      {44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
  std::vector<Frame> frames;
  for (size_t at = 0; at + 6 <= d.size();) {
    const uint8_t* h = &d[at];
    const int v = (h[1] >> 3) & 3, br = h[2] >> 4,
              sr = (h[2] >> 2) & 3;  // v: 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    if (h[0] != 0xFF || (h[1] & 0xE6) != 0xE2 || v == 1 || br == 0 || br == 15 || sr == 3) break;
    const bool m1 = v == 3;
    Frame f{at,
            0,
            kKbps[m1 ? 0 : 1][br],
            kRates[m1       ? 0
                   : v == 2 ? 1
                            : 2][sr],
            m1 ? 1152 : 576,
            h[3] >> 6,
            (h[1] & 1) == 0,
            (h[2] & 1) != 0,
            ((h[3] >> 3) & 1) != 0,
            ((h[3] >> 2) & 1) != 0,
            0};
    f.size = static_cast<size_t>((m1 ? 144000 : 72000) * f.kbps / f.rate + ((h[2] >> 1) & 1));
    const uint8_t* side = h + 4 + (f.crc ? 2 : 0);
    f.mainDataBegin = m1 ? (side[0] << 1) | (side[1] >> 7) : side[0];
    frames.push_back(f);
    at += f.size;
  }
  return frames;
}

// The frame count of the Xing/Info frame that starts the file; -1 without one.
int64_t InfoFrameCount(const std::vector<uint8_t>& d, const Frame& first) {
  const std::string body(d.begin() + static_cast<long>(first.offset),
                         d.begin() + static_cast<long>(first.offset + first.size));
  size_t at = body.find("Xing");
  if (at == std::string::npos) at = body.find("Info");
  if (at == std::string::npos || at + 12 > body.size() || (body[at + 7] & 1) == 0) return -1;
  int64_t n = 0;
  for (size_t i = at + 8; i < at + 12; ++i) n = n * 256 + static_cast<uint8_t>(body[i]);
  return n;
}

// The information frame counts the frames that follow it, and nothing but
// frames follows.
void ExpectInfoFrameMatches(const std::string& mp3) {
  const auto bytes = ReadBytes(mp3);
  const auto frames = ParseFrames(bytes);
  ASSERT_GT(frames.size(), 1u) << mp3;
  EXPECT_EQ(frames.back().offset + frames.back().size, bytes.size()) << mp3;
  EXPECT_EQ(InfoFrameCount(bytes, frames[0]), static_cast<int64_t>(frames.size() - 1)) << mp3;
}

// Signal-to-noise ratio (dB) of `dec` against `in`, after finding the lag
// (within +-2400 frames) that aligns them best; the lag goes to *lag.
double AlignedSnr(const Audio& in, const Audio& dec, int* lag) {
  auto at = [](const Audio& a, int64_t i) {
    return i >= 0 && i < static_cast<int64_t>(a.samples.size()) ? double(a.samples[size_t(i)])
                                                                : 0.0;
  };
  const int ch = in.channels;
  const int64_t from = in.rate / 10 * ch,
                to = std::min(in.samples.size(), dec.samples.size()) - from;
  double best = -1e300;
  for (int l = -2400; l <= 2400; ++l) {
    double corr = 0;
    for (int64_t i = from; i < from + 40000; ++i) corr += at(in, i) * at(dec, i + l * ch);
    if (corr > best) {
      best = corr;
      *lag = l;
    }
  }
  double signal = 0, noise = 0;
  for (int64_t i = from; i < to; ++i) {
    const double x = at(in, i), e = x - at(dec, i + *lag * ch);
    signal += x * x;
    noise += e * e;
  }
  return 10.0 * std::log10(signal / std::max(noise, 1.0));
}

// Amplitude level (dB) of one frequency on channel 0 (Goertzel).
double ToneDb(const Audio& a, double hz) {
  const double k = 2.0 * std::cos(2.0 * M_PI * hz / a.rate);
  double s1 = 0, s2 = 0;
  for (int64_t i = a.frames / 4; i < a.frames * 3 / 4; ++i) {
    const double s = a.samples[size_t(i * a.channels)] + k * s1 - s2;
    s2 = s1, s1 = s;
  }
  const double n = static_cast<double>(a.frames / 2);
  return 10.0 * std::log10((s1 * s1 + s2 * s2 - k * s1 * s2) / (n * n) + 1e-12);
}

std::string Variant(const std::string& name) {
  return std::string(TARVEXA_TEST_WORK) + "/lame_enc_variants/" + name;
}

// The decoders and the peer encoder the checks use (scripts/install-deps.sh).
bool HaveTools() {
  return HaveTool("mpg123") && HaveTool("ffmpeg") && HaveTool("ffprobe") && HaveTool("sox") &&
         HaveTool("lame");
}

// A 331-byte record built from the offsets: the fields every mode has, then
// the mode's own (offset, value) pairs.
using Record331 = std::array<uint8_t, 331>;
Record331 Golden(uint32_t rate, uint32_t mode,
                 std::initializer_list<std::pair<size_t, uint32_t>> fields) {
  Record331 r{};
  auto put = [&r](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) r[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  for (auto [at, v] : {std::pair<size_t, uint32_t>{0, 256},
                       {4, 1},
                       {8, 331},
                       {12, rate},
                       {20, mode},
                       {36, 1},
                       {64, 1}})
    put(at, v);
  for (auto [at, v] : fields) {
    if (at == 92)
      r[92] = uint8_t(v), r[93] = uint8_t(v >> 8);  // the 16-bit quality word
    else
      put(at, v);
  }
  return r;
}
Record331 Bytes(const BeConfig& c) {
  Record331 r;
  std::memcpy(r.data(), &c, sizeof c);
  return r;
}
uint32_t FloatBits(float f) {
  uint32_t v;
  std::memcpy(&v, &f, 4);
  return v;
}
constexpr uint32_t kNoPreset = 0xFFFFFFFFu;

}  // namespace

// ---------------------------------------------------------------------------
// The configuration record, byte for byte, one golden record per mode.

TEST(Mp3Record, GoldenRecordPerMode) {
  // CBR defaults: 128 kbps, joint stereo, quality 5 as 0xFA05, reservoir on.
  EXPECT_EQ(Bytes(MakeBeConfig(Mp3Settings())),
            Golden(44100, 1, {{24, 128}, {32, kNoPreset}, {92, 0xFA05}}));

  Settings cbr = Mp3Settings();
  cbr.MP3.LameBits = 13;
  cbr.MP3.LameQuality = 2;
  cbr.MP3.LameChannel = 0;
  cbr.MP3.LamePrivate = cbr.MP3.LameCRC = cbr.MP3.LameCopyRight = cbr.MP3.LameOriginal = 1;
  cbr.MP3.LameComplyISO = 1;
  cbr.MP3.LameBitsRes = 0;  // "Bit Reservoir" cleared: the no-reservoir flag is set
  EXPECT_EQ(Bytes(MakeBeConfig(cbr)), Golden(44100, 0,
                                             {{24, 192},
                                              {32, kNoPreset},
                                              {48, 1},
                                              {52, 1},
                                              {56, 1},
                                              {60, 1},
                                              {84, 1},
                                              {88, 1},
                                              {92, 0xFD02}}));

  // VBR, mono (channel mode 3 whatever LameChannel says), quality 4.55.
  Settings vbr = Mp3Settings(8, 1);
  vbr.MP3.LameTab = 3;
  vbr.MP3.LameChannel = 2;
  vbr.MP3.LameCodingMode = 3;
  vbr.MP3.LameMinVBRBit = 4;
  vbr.MP3.LameMaxVBRBit = 14;
  vbr.MP3.LameQualityVBR = 455;
  EXPECT_EQ(
      Bytes(MakeBeConfig(vbr)),
      Golden(48000, 3,
             {{24, 40}, {28, 224}, {32, kNoPreset}, {68, 1}, {72, FloatBits(4.55f)}, {80, 3}}));

  Settings abr = Mp3Settings(4, 2);
  abr.MP3.LameTab = 3;
  abr.MP3.LameCodingMode = 4;
  abr.MP3.LameTargetBit = 200;
  EXPECT_EQ(Bytes(MakeBeConfig(abr)),
            Golden(22050, 1, {{32, kNoPreset}, {68, 1}, {76, 200000}, {80, 4}}));

  const uint32_t codes[18] = {14,   13,   7,    6,    9,    8,    10,   4,    1000,
                              2000, 3000, 4000, 5000, 6000, 7000, 8000, 9000, 10000};
  for (int i = 0; i < 18; ++i) {
    Settings preset = Mp3Settings();
    preset.MP3.LameTab = 5;
    preset.MP3.LamePreset = static_cast<int16_t>(i);
    EXPECT_EQ(Bytes(MakeBeConfig(preset)), Golden(44100, 1, {{32, codes[i]}})) << "preset " << i;
  }
  Settings other = Mp3Settings();
  other.MP3.LameTab = 2;
  EXPECT_EQ(Bytes(MakeBeConfig(other)), Golden(44100, 1, {}));
}

TEST(Mp3Label, ShowsEachModeAndTheChannelMode) {
  Settings s = Mp3Settings();
  EXPECT_EQ(Mp3FormatLabel(s), "MP3:  CBR 128 kbps; 44100 Hz; Quality  5; Joint Stereo;");
  s.MP3.LameTab = 3;
  s.MP3.LameQualityVBR = 455;
  s.MP3.LameChannel = 0;
  EXPECT_EQ(Mp3FormatLabel(s), "MP3:  VBR   8 ~ 320 kbps;  44100 Hz; Quality 4.55; Stereo;");
  s.MP3.LameCodingMode = 4;
  s.OUTPUT.Chan = 1;
  s.OUTPUT.Freq = 4;
  EXPECT_EQ(Mp3FormatLabel(s), "MP3:  ABR 128 kbps; 22050 Hz; Mono;");
  s.MP3.LameTab = 5;
  s.MP3.LamePreset = 2;
  s.OUTPUT.Chan = 2;
  s.MP3.LameChannel = 2;
  FormatApplied a = ApplyOutputFormat(s, RateChannelMatrix::All());
  EXPECT_EQ(a.label, "MP3:  Preset Fast Standard; Dual Channel;");
  EXPECT_EQ(a.logLine, "Set audio format: MP3.");
}

// ---------------------------------------------------------------------------
// Binding the library.

TEST(Mp3Binding, MissingOrIncompleteLibraryEndsTheRecordingWithItsMessage) {
  const std::string dir = ScratchDir("mp3_binding");
  const std::string input = MakeTestWav(dir + "/in.wav", 44100, 2, 1.0);
  ASSERT_TRUE(fs::exists(Variant("stub/lame_enc.so"))) << "build the target lame_enc_stub";
  const std::pair<std::string, std::string> cases[] = {
      {dir, "Error loading lame_enc.so."},                  // a program folder without it
      {Variant("stub"), "Unable to get LAME interfaces."},  // a library without the entry points
  };
  for (const auto& [folder, message] : cases) {
    ScopedEnv env("TARVEXA_LIB_DIR", folder);
    Recording r = RecordToEnd(Mp3Settings(), input, dir + "/out.mp3");
    EXPECT_TRUE(r.Logged(message)) << folder;
    EXPECT_TRUE(r.clips.empty());
    EXPECT_FALSE(fs::exists(dir + "/out.mp3"));
  }
}

TEST(Mp3Binding, LibraryWithoutInfoTagEntryFinishesFilesThroughVbrHeader) {
  if (!HaveTools()) GTEST_FAIL() << "mpg123, ffmpeg, ffprobe, sox or lame is missing";
  const std::string dir = ScratchDir("mp3_without_info_tag");
  const std::string input = MakeNoise(dir + "/in.wav", 44100, 2, 3.0);
  ScopedEnv env("TARVEXA_LIB_DIR", Variant("without_info_tag"));
  ASSERT_EQ(LameEncLibrary::Bind(), "");
  ASSERT_EQ(LameEncLibrary::Current()->writeInfoTag, nullptr);  // really the variant
  Settings s = Mp3Settings();
  s.MP3.LameTab = 3;
  const std::string mp3 = RecordOne(s, input, dir + "/vbr.mp3");
  ExpectInfoFrameMatches(mp3);
  EXPECT_EQ(DecodeMpg123(mp3).frames, 3 * 44100);
}

// ---------------------------------------------------------------------------
// Recordings checked by outside decoders.

TEST(Mp3Recording, DecodesGaplessAtTheRightRateLengthAndQuality) {
  if (!HaveTools()) GTEST_FAIL() << "mpg123, ffmpeg, ffprobe, sox or lame is missing";
  const std::string dir = ScratchDir("mp3_quality");
  struct Case {
    std::string name;
    int freq, chan, tab;
    double minSnr;     // set from the measured value, which is deterministic
    std::string lame;  // the same settings for the lame tool
  };
  const Case cases[] = {
      // Pink noise is the hard case for a perceptual coder's waveform error.
      {"cbr128", 7, 2, 1, 13.3, "-b 128 -q 5"},  // measured 13.82 dB
      {"vbr5", 7, 2, 3, 9.5, "-V 5"},            // measured 10.06 dB at 68 kbps
      {"mono22k", 4, 1, 1, 20.3, ""},            // measured 20.81 dB, 128 kbps MPEG-2
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int rate = SampleRateTable[size_t(c.freq)];
    const std::string input = MakeNoise(dir + "/" + c.name + ".wav", rate, c.chan, 10.0);
    Settings s = Mp3Settings(c.freq, c.chan);
    s.MP3.LameTab = static_cast<int16_t>(c.tab);
    if (c.chan == 1) s.MP3.LameChannel = 2;  // dual channel: a mono recording stays mono
    const std::string mp3 = RecordOne(s, input, dir + "/" + c.name + ".mp3");

    const auto bytes = ReadBytes(mp3);
    const auto frames = ParseFrames(bytes);
    ExpectInfoFrameMatches(mp3);
    const std::string head(bytes.begin(), bytes.begin() + static_cast<long>(frames[0].size));
    EXPECT_NE(head.find(c.tab == 3 ? "Xing" : "Info"), std::string::npos);
    for (size_t i = 1; i < frames.size(); ++i) {
      ASSERT_EQ(frames[i].mode, c.chan == 1 ? 3 : 1) << "frame " << i;
      if (c.tab == 1) {
        ASSERT_EQ(frames[i].kbps, 128) << "frame " << i;
      }
    }
    // ffprobe reports the coded length (frames x samples per frame): exact
    // only when the information frame has the right count.
    std::string out;
    test::Run("ffprobe -v error -show_entries stream=duration,sample_rate,channels -of csv=p=0 " +
                  Quote(mp3),
              &out);
    char want[128];
    std::snprintf(want, sizeof want, "%d,%d,%.6f\n", rate, c.chan,
                  (frames.size() - 1.0) * frames[0].samples / rate);
    EXPECT_EQ(out, want);

    const Audio in = ReadAudio(input);
    const Audio dec = DecodeMpg123(mp3);
    EXPECT_EQ(dec.rate, rate);
    EXPECT_EQ(dec.channels, c.chan);
    EXPECT_EQ(dec.frames, in.frames);  // delay and padding trimmed by the LAME tag
    std::string errors;
    EXPECT_EQ(FfmpegFrames(mp3, &errors), in.frames);
    EXPECT_EQ(errors, "");
    int lag = 99;
    const double snr = AlignedSnr(in, dec, &lag);
    std::printf("[ measured ] %s: SNR %.2f dB, lag %d, %.1f kbps\n", c.name.c_str(), snr, lag,
                bytes.size() * 8e-4);
    EXPECT_EQ(lag, 0);
    EXPECT_GT(snr, c.minSnr);
    if (!c.lame.empty()) {
      // The same settings as the tool give the same audio, sample for sample.
      ASSERT_EQ(
          test::Run("lame --quiet " + c.lame + " " + Quote(input) + " " + Quote(mp3 + ".lame.mp3")),
          0);
      EXPECT_EQ(dec.samples, DecodeMpg123(mp3 + ".lame.mp3").samples);
    }
  }
}

TEST(Mp3Recording, RecordingShorterThanOneChunkIsAValidFile) {
  if (!HaveTools()) GTEST_FAIL() << "mpg123, ffmpeg, ffprobe, sox or lame is missing";
  const std::string dir = ScratchDir("mp3_short");
  const std::string input =
      MakeNoise(dir + "/in.wav", 44100, 2, 0.02);  // 882 frames; a chunk is 1152
  const std::string mp3 = RecordOne(Mp3Settings(), input, dir + "/short.mp3");
  ExpectInfoFrameMatches(mp3);
  EXPECT_EQ(DecodeMpg123(mp3).frames, 882);
  std::string errors;
  EXPECT_EQ(FfmpegFrames(mp3, &errors), 882);
  EXPECT_EQ(errors, "");
}

// Every bitrate, VBR method and preset gives a file that decodes cleanly, at
// the right length, with the channels its mode says.
TEST(Mp3Recording, EveryModeProducesADecodableFile) {
  if (!HaveTools()) GTEST_FAIL() << "mpg123, ffmpeg, ffprobe, sox or lame is missing";
  const std::string dir = ScratchDir("mp3_modes");
  const std::string input = MakeNoise(dir + "/in.wav", 44100, 2, 2.0);
  std::vector<std::pair<std::string, Settings>> modes;
  for (int i = 0; i < 17 + 5 + 18; ++i) {
    Settings s = Mp3Settings();
    std::string name;
    if (i < 17) {
      s.MP3.LameBits = static_cast<int16_t>(i);
      s.MP3.LameQuality = static_cast<int16_t>(i % 10);
      s.MP3.LameChannel = static_cast<int16_t>(i % 3);
      name = "cbr" + std::to_string(Mp3Kbps(i));
    } else if (i < 22) {
      s.MP3.LameTab = 3;
      s.MP3.LameCodingMode = static_cast<int16_t>(i - 17);
      s.MP3.LameQualityVBR = static_cast<int16_t>((i - 17) * 250);
      s.MP3.LameMinVBRBit = 3;
      s.MP3.LameMaxVBRBit = 13;
      name = "vbr_method" + std::to_string(i - 17);
    } else {
      s.MP3.LameTab = 5;
      s.MP3.LamePreset = static_cast<int16_t>(i - 22);
      name = std::string("preset_") + LamePresets()[size_t(i - 22)].name;
    }
    modes.emplace_back(name, s);
  }
  for (auto& [name, s] : modes) {
    SCOPED_TRACE(name);
    const std::string mp3 = RecordOne(s, input, dir + "/" + name + ".mp3");
    std::string errors;
    FfmpegFrames(mp3, &errors);
    EXPECT_EQ(errors, "");
    const Audio dec = DecodeMpg123(mp3);
    const bool mono = s.MP3.LameTab == 5 &&
                      std::strstr(LamePresets()[size_t(s.MP3.LamePreset)].description, "Mono");
    EXPECT_EQ(dec.channels, mono ? 1 : 2);
    ASSERT_GT(dec.rate, 0);  // the encoder picks lower rates for low bitrates
    const double seconds = static_cast<double>(dec.frames) / dec.rate;
    const auto bytes = ReadBytes(mp3);
    const auto frames = ParseFrames(bytes);
    ASSERT_FALSE(frames.empty());
    if (InfoFrameCount(bytes, frames[0]) >= 0) {
      ExpectInfoFrameMatches(mp3);
      EXPECT_NEAR(seconds, 2.0, 0.001);
    } else {
      // Frames too small for the information frame (8, 16, 32, 48, 56 kbps
      // CBR): libmp3lame leaves it out, as its own command-line tool does,
      // and the decoder keeps the encoder delay and padding.
      EXPECT_LT(frames[0].size, 192u);
      EXPECT_EQ(frames.back().offset + frames.back().size, bytes.size());
      EXPECT_GE(seconds, 2.0);
      EXPECT_LE(seconds, 2.0 + 3.0 * frames[0].samples / dec.rate);
    }
  }
}

TEST(Mp3Recording, HeaderBitsReservoirAndFiltersFollowTheSettings) {
  if (!HaveTools()) GTEST_FAIL() << "mpg123, ffmpeg, ffprobe, sox or lame is missing";
  const std::string dir = ScratchDir("mp3_options");
  const std::string input = dir + "/in.wav";
  ASSERT_EQ(test::Run("sox -R -n -r 44100 -c 2 -b 16 " + Quote(input) +
                      " synth 3 sine 300 sine 300 synth 3 sine mix 19000 vol 0.4"),
            0);
  Settings plain = Mp3Settings();
  plain.MP3.LameBits = 16;  // 320 kbps: the encoder's own low-pass stays above 19 kHz
  const std::string plainMp3 = RecordOne(plain, input, dir + "/plain.mp3");
  bool borrows = false;
  for (const Frame& f : ParseFrames(ReadBytes(plainMp3))) {
    EXPECT_FALSE(f.crc || f.privateBit || f.copyright || f.original);
    borrows |= f.mainDataBegin > 0;
  }
  EXPECT_TRUE(borrows) << "the \"Bit Reservoir\" box is ticked by default: the reservoir is in use";

  Settings marked = plain;
  marked.MP3.LameCopyRight = marked.MP3.LameCRC = marked.MP3.LameOriginal = marked.MP3.LamePrivate =
      1;
  marked.MP3.LameBitsRes = 0;
  marked.MP3.LameComplyISO = 1;
  const std::string markedMp3 = RecordOne(marked, input, dir + "/marked.mp3");
  const auto frames = ParseFrames(ReadBytes(markedMp3));
  for (size_t i = 1; i < frames.size(); ++i) {
    ASSERT_TRUE(frames[i].crc && frames[i].privateBit && frames[i].copyright && frames[i].original)
        << i;
    ASSERT_EQ(frames[i].mainDataBegin, 0)
        << "frame " << i << " borrows from a reservoir that is off";
  }
  ExpectInfoFrameMatches(markedMp3);
  std::string errors;
  EXPECT_EQ(FfmpegFrames(markedMp3, &errors), 3 * 44100);
  EXPECT_EQ(errors, "");

  // A low-pass at 16 kHz or more keeps the output at 44100 Hz (a lower one
  // makes the encoder resample, which would cut the tone by itself).
  Settings low = plain;
  low.MP3.LameLFil = 1;
  low.MP3.LameLFilFreq = 16000;
  low.MP3.LameLFilWid = 500;
  Settings high = plain;
  high.MP3.LameHFil = 1;
  high.MP3.LameHFilFreq = 1500;
  high.MP3.LameHFilWid = 300;
  const Audio p = DecodeMpg123(plainMp3);
  const Audio l = DecodeMpg123(RecordOne(low, input, dir + "/low.mp3"));
  const Audio h = DecodeMpg123(RecordOne(high, input, dir + "/high.mp3"));
  ASSERT_EQ(l.rate, 44100);
  std::printf(
      "[ measured ] 19 kHz: %.1f dB, low-passed %.1f dB; 300 Hz: %.1f dB, high-passed %.1f dB\n",
      ToneDb(p, 19000), ToneDb(l, 19000), ToneDb(p, 300), ToneDb(h, 300));
  // Measured: 70.3 dB for both tones plain; the low-pass takes the 19 kHz
  // tone to -63.5 dB, the high-pass the 300 Hz tone to -58.2 dB.
  EXPECT_LT(ToneDb(l, 19000), ToneDb(p, 19000) - 40);
  EXPECT_NEAR(ToneDb(l, 300), ToneDb(p, 300), 1.0);
  EXPECT_LT(ToneDb(h, 300), ToneDb(p, 300) - 40);
  EXPECT_NEAR(ToneDb(h, 19000), ToneDb(p, 19000), 1.0);
}

TEST(Mp3Recording, SplitClipsAreEachCompleteFiles) {
  if (!HaveTools()) GTEST_FAIL() << "mpg123, ffmpeg, ffprobe, sox or lame is missing";
  const std::string dir = ScratchDir("mp3_split");
  const std::string input = MakeNoise(dir + "/in.wav", 44100, 2, 12.0);
  Settings s = Mp3Settings();
  s.MP3.LameTab = 3;
  s.MISC.Split = 1;
  s.MISC.SplitSec = 5;
  Recording r = RecordToEnd(s, input, dir + "/talk.mp3");
  ASSERT_EQ(r.clips.size(), 3u);
  EXPECT_EQ(r.clips[2], dir + "/talk(Splitted Clip 00002).mp3");
  const Audio in = ReadAudio(input);
  int64_t offset = 0;
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(r.clips[i]);
    const int64_t want = i < 2 ? 5 * 44100 : 2 * 44100;
    ExpectInfoFrameMatches(r.clips[i]);
    std::string errors;
    EXPECT_EQ(FfmpegFrames(r.clips[i], &errors), want);
    EXPECT_EQ(errors, "");
    // Each clip decodes on its own to its own part of the input.
    const Audio dec = DecodeMpg123(r.clips[i]);
    ASSERT_EQ(dec.frames, want);
    Audio part = in;
    part.samples.assign(in.samples.begin() + offset * 2, in.samples.begin() + (offset + want) * 2);
    int lag = 99;
    EXPECT_GT(AlignedSnr(part, dec, &lag), 9.5);  // measured 9.97 to 10.07 dB, as for a whole file
    EXPECT_EQ(lag, 0);
    offset += want;
  }
}

// ---------------------------------------------------------------------------
// Refusals and failures.

TEST(Mp3Failures, RefusedSettingsAndUncreatableFilesEndTheRecordingWithTheirMessages) {
  const std::string dir = ScratchDir("mp3_refused");
  const std::string input = MakeTestWav(dir + "/in.wav", 44100, 2, 1.0);
  Settings abr = Mp3Settings(), range = Mp3Settings(), quality = Mp3Settings();
  abr.MP3.LameTab = range.MP3.LameTab = quality.MP3.LameTab = 3;
  abr.MP3.LameCodingMode = 4;
  abr.MP3.LameTargetBit = 400;   // above 320 kbps
  range.MP3.LameMinVBRBit = 12;  // a 160 kbps minimum above a 64 kbps maximum
  range.MP3.LameMaxVBRBit = 7;
  quality.MP3.LameQualityVBR = 1200;  // 12.00, beyond the worst quality, 10
  for (const Settings& s : {abr, range, quality}) {
    Recording r = RecordToEnd(s, input, dir + "/out.mp3");
    EXPECT_TRUE(r.Logged("Error opening encoding stream (2)"));
    EXPECT_TRUE(r.clips.empty());
    EXPECT_FALSE(fs::exists(dir + "/out.mp3"));  // no empty file left behind
  }
  Recording r = RecordToEnd(Mp3Settings(), input, dir + "/no/such/folder/out.mp3");
  EXPECT_TRUE(r.Logged("Error creating file " + dir + "/no/such/folder/out.mp3"));
  EXPECT_TRUE(r.clips.empty());
}
