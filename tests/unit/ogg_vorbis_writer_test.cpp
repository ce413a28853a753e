// Ogg Vorbis recordings made through the engine (file input, fast mode) and
// checked with other people's tools: FFmpeg's own Vorbis decoder, oggenc and
// ogginfo. Also the format label and the check of refused settings.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <tuple>

#include "EngineRecording.h"
#include "encoders/ogg/OggVorbisWriter.h"
#include "formats/FormatCatalogue.h"

namespace tarvexa {
namespace {

namespace fs = std::filesystem;

Settings Quality(int freq, int chan, int q100) {
  Settings s;
  s.OUTPUT.OutputFormat = kFormatOGG;
  s.OUTPUT.Freq = static_cast<int16_t>(freq);
  s.OUTPUT.Chan = static_cast<int16_t>(chan);
  s.OGG.QualityCompression = static_cast<int16_t>(q100);
  return s;
}
Settings Bitrate(int freq, int chan, bool vbr, int minI, int nomI, int maxI) {
  Settings s = Quality(freq, chan, 35);
  s.OGG.Quality = 0;
  s.OGG.VBR = vbr;
  s.OGG.MinBit = static_cast<int16_t>(minI);
  s.OGG.NomiBit = static_cast<int16_t>(nomI);
  s.OGG.MaxBit = static_cast<int16_t>(maxI);
  return s;
}

// A signal without a period, so that the alignment search has one answer:
// an exponential sweep per channel (up on the left, down on the right) at
// about -8 dBFS plus low noise.
std::string MakeSweep(const std::string& path, int rate, int chan, double seconds) {
  const int64_t frames = static_cast<int64_t>(seconds * rate);
  std::vector<int16_t> s;
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> noise(-40, 40);
  const double from[2] = {100, 3000}, to[2] = {4000, 150};
  double phase[2] = {0, 0};
  for (int64_t i = 0; i < frames; ++i) {
    for (int c = 0; c < chan; ++c) {
      const double f = from[c] * std::pow(to[c] / from[c], static_cast<double>(i) / frames);
      phase[c] += 2 * M_PI * f / rate;
      s.push_back(static_cast<int16_t>(13000 * std::sin(phase[c]) + noise(rng)));
    }
  }
  test::WriteWav(path, rate, chan, s);
  return path;
}

test::Audio Decode(const std::string& path) { return test::DecodeWithFfmpeg(path, "vorbis"); }

// Signal-to-noise ratio in dB of `got` against `ref` at the alignment
// (within +-2048 frames) with the least error; *lag receives it.
double Snr(const test::Audio& ref, const test::Audio& got, int* lag) {
  const int ch = ref.channels;
  const int64_t n = std::min(ref.frames, got.frames), mid = n / 2;
  auto at = [&](const test::Audio& a, int64_t f, int c) {
    return static_cast<double>(a.samples[static_cast<size_t>(f * ch + c)]);
  };
  double best = 1e300;
  for (int l = -2048; l <= 2048; ++l) {
    double err = 0;
    for (int64_t f = mid; f < mid + 8192; ++f)
      for (int c = 0; c < ch; ++c) err += std::pow(at(ref, f, c) - at(got, f + l, c), 2);
    if (err < best) best = err, *lag = l;
  }
  double signal = 0, noise = 0;
  for (int64_t f = 4096; f + 4096 < n; ++f) {  // not the codec's ramps at either end
    for (int c = 0; c < ch; ++c) {
      signal += at(ref, f, c) * at(ref, f, c);
      noise += std::pow(at(ref, f, c) - at(got, f + *lag, c), 2);
    }
  }
  return 10.0 * std::log10(signal / std::max(noise, 1.0));
}

// The pages of an Ogg file, read by hand.
struct Page {
  uint8_t flags;
  int64_t granule;
  uint32_t serial, sequence;
  int packetsEnding;  // lacing values below 255
  std::string body;
};
std::vector<Page> Pages(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<Page> pages;
  for (size_t at = 0; at + 27 <= d.size() && d.compare(at, 4, "OggS") == 0;) {
    Page p{static_cast<uint8_t>(d[at + 5]), 0, 0, 0, 0, {}};
    std::memcpy(&p.granule, d.data() + at + 6, 8);
    std::memcpy(&p.serial, d.data() + at + 14, 4);
    std::memcpy(&p.sequence, d.data() + at + 18, 4);
    const size_t segments = static_cast<uint8_t>(d[at + 26]);
    size_t length = 0;
    for (size_t i = 0; i < segments && at + 27 + i < d.size(); ++i) {
      const auto v = static_cast<uint8_t>(d[at + 27 + i]);
      length += v;
      p.packetsEnding += v < 255;
    }
    p.body = d.substr(std::min(d.size(), at + 27 + segments), length);
    pages.push_back(std::move(p));
    at += 27 + segments + length;
  }
  return pages;
}

// ---------------------------------------------------------------------------

struct ModeCase {
  const char* name;
  Settings s;
  double minSnr;              // dB; about 2 dB under the measured value
  std::array<int, 3> header;  // max, nominal, min bitrate in the identification
                              // header (nominal 0: not checked)
  const char* oggencQuality;  // the same setting for oggenc, or nullptr
};

void PrintTo(const ModeCase& c, std::ostream* os) { *os << c.name; }

class OggVorbisModes : public ::testing::TestWithParam<ModeCase> {};

TEST_P(OggVorbisModes, DecodeWithTheRightFormatLengthAndQuality) {
  const ModeCase& c = GetParam();
  const int rate = SampleRateOf(c.s), chan = ChannelsOf(c.s);
  const std::string dir = test::ScratchDir(std::string("ogg_mode_") + c.name);
  const std::string input = MakeSweep(dir + "/in.wav", rate, chan, 8.0);
  const test::Recording r = test::RecordFile(c.s, input, dir + "/out.ogg");
  ASSERT_EQ(r.clips.size(), 1u);
  const test::Audio ref = test::ReadAudio(input);

  // The mode's bitrates reached the library in the right places.
  std::array<int, 3> header{};
  const std::vector<Page> pages = Pages(r.clips[0]);
  ASSERT_FALSE(pages.empty());
  std::memcpy(header.data(), pages[0].body.data() + 16, 12);
  if (c.header[1] == 0) header[1] = 0;
  EXPECT_EQ(header, c.header);

  const test::Audio got = Decode(r.clips[0]);
  ASSERT_EQ(got.rate, rate);
  ASSERT_EQ(got.channels, chan);
  EXPECT_EQ(got.frames, ref.frames);  // the last page's granule trims the end exactly
  int lag = 99;
  const double snr = Snr(ref, got, &lag);
  EXPECT_EQ(lag, 0);
  EXPECT_GE(snr, c.minSnr);
  std::printf("%s: SNR %.1f dB, %.1f kbps\n", c.name, snr,
              static_cast<double>(fs::file_size(r.clips[0])) / 1000);

  // oggenc at the same quality gives the same quality. (Only the first
  // block may differ: libvorbis extrapolates the stream's start from what
  // it has been given so far, and oggenc feeds it in other chunk sizes.)
  if (c.oggencQuality) {
    ASSERT_EQ(test::Run("oggenc -Q -q " + std::string(c.oggencQuality) + " -o " +
                        test::Quote(dir + "/oggenc.ogg") + " " + test::Quote(input)),
              0);
    int oggencLag = 99;
    EXPECT_NEAR(snr, Snr(ref, Decode(dir + "/oggenc.ogg"), &oggencLag), 0.1);
  }
}

// Measured on the 8-s sweep: quality 0.35 stereo 38.0 dB (93 kbps), quality
// -0.1 mono 22.05 kHz 19.0 dB (18 kbps), quality 1.0 stereo 48 kHz 37.6 dB
// (396 kbps; the input's noise floor is not kept), ABR 128 kbps 40.0 dB
// (134 kbps), managed 96..192 kbps 40.0 dB, ABR 16 kbps mono 8 kHz 37.3 dB.
INSTANTIATE_TEST_SUITE_P(
    Modes, OggVorbisModes,
    ::testing::Values(
        ModeCase{"q035_stereo", Quality(7, 2, 35), 36, {0, 0, 0}, "3.5"},
        ModeCase{"qminus01_mono", Quality(4, 1, -10), 17, {0, 0, 0}, "-1"},
        ModeCase{"q100_stereo_48k", Quality(8, 2, 100), 35.5, {0, 0, 0}, "10"},
        ModeCase{"abr128_stereo", Bitrate(7, 2, false, 0, 11, 0), 38, {-1, 128000, -1}, nullptr},
        ModeCase{
            "vbr96_128_192", Bitrate(7, 2, true, 9, 11, 13), 38, {192000, 128000, 96000}, nullptr},
        ModeCase{"abr16_mono_8k", Bitrate(0, 1, false, 0, 1, 0), 35, {-1, 16000, -1}, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OggVorbisWriter, SplitClipsAreCompleteStreamsWithTheirOwnSerials) {
  const std::string dir = test::ScratchDir("ogg_split");
  const std::string input = test::MakeTestWav(dir + "/in.wav", 44100, 2, 12.0);
  Settings s = Quality(7, 2, 35);
  s.MISC.Split = 1;
  s.MISC.SplitSec = 5;
  const test::Recording r = test::RecordFile(s, input, dir + "/talk.ogg");
  ASSERT_EQ(r.clips.size(), 3u);
  std::set<uint32_t> serials;
  const int64_t want[] = {5 * 44100, 5 * 44100, 2 * 44100};
  for (size_t i = 0; i < r.clips.size(); ++i) {
    SCOPED_TRACE(r.clips[i]);
    const std::vector<Page> pages = Pages(r.clips[i]);
    ASSERT_GE(pages.size(), 5u);
    // One logical stream, pages numbered without gaps, the first and last marked.
    for (size_t k = 0; k < pages.size(); ++k) {
      EXPECT_EQ(pages[k].serial, pages[0].serial);
      EXPECT_EQ(pages[k].sequence, k);
    }
    EXPECT_EQ(pages.front().flags & 2, 2);
    EXPECT_EQ(pages.back().flags & 4, 4);
    EXPECT_EQ(pages.back().granule, want[i]);
    serials.insert(pages[0].serial);
    // Each header on a page of its own, then the audio on fresh pages.
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(pages[k].packetsEnding, 1) << "page " << k;
      EXPECT_EQ(pages[k].granule, 0) << "page " << k;
      EXPECT_EQ(pages[k].body.substr(0, 7), std::string(1, char(1 + 2 * k)) + "vorbis");
    }
    EXPECT_GT(pages[3].granule, 0);
    EXPECT_EQ(pages[3].flags & 1, 0);  // no packet continued from the setup page

    std::string out;
    EXPECT_EQ(test::Run("ogginfo " + test::Quote(r.clips[i]), &out), 0) << out;
    EXPECT_EQ(out.find("WARNING"), std::string::npos) << out;
    EXPECT_EQ(Decode(r.clips[i]).frames, want[i]);
  }
  EXPECT_EQ(serials.size(), 3u);
}

TEST(OggVorbisWriter, LabelsOfTheThreeModes) {
  Settings s = Quality(7, 2, 35);
  FormatApplied a = ApplyOutputFormat(s, RateChannelMatrix::All());
  EXPECT_EQ(a.label, "OGG:  Ogg Vorbis Quality : 0.35; Stereo; 44100 Hz;");
  EXPECT_EQ(a.logLine, "Set audio format: OGG.");
  EXPECT_TRUE(a.extraLog.empty());

  s = Quality(0, 1, -10);
  EXPECT_EQ(ApplyOutputFormat(s, RateChannelMatrix::All()).label,
            "OGG:  Ogg Vorbis Quality : -0.10; Mono;  8000 Hz;");
  EXPECT_EQ(s.OGG.QualityCompression, -10);  // accepted, kept
  EXPECT_EQ(OggVorbisLabel(Bitrate(8, 2, true, 9, 11, 13)),
            "OGG:  Ogg Vorbis VBR : Nominate Bitrate 128 kbps; Stereo; 48000 Hz;");
  EXPECT_EQ(OggVorbisLabel(Bitrate(4, 1, false, 0, 6, 16)),
            "OGG:  Ogg Vorbis ABR : Average Bitrate  56 kbps; Mono; 22050 Hz;");
}

TEST(OggVorbisWriter, RefusedSettingsAreResetWhenApplied) {
  // Quality below -0.1; the default 128 kbps ABR at 8 kHz mono; ABR at
  // 96 kHz; a managed range libvorbis cannot reach at 8 kHz.
  for (Settings s : {Quality(7, 2, -20), Bitrate(0, 1, false, 0, 11, 0),
                     Bitrate(10, 2, false, 0, 11, 0), Bitrate(0, 2, true, 15, 16, 16)}) {
    SCOPED_TRACE(OggVorbisLabel(s));
    std::vector<std::pair<std::string, int>> lines;
    EXPECT_FALSE(PrepareEncoder(s, [&](const std::string& t, int l) { lines.emplace_back(t, l); }));
    EXPECT_EQ(lines, (std::vector<std::pair<std::string, int>>{{"Invalid Ogg Vorbis format.", 1}}));
    const FormatApplied a = ApplyOutputFormat(s, RateChannelMatrix::All());
    ASSERT_EQ(a.extraLog.size(), 1u);
    EXPECT_EQ(a.extraLog[0], std::make_pair(std::string("OGG audio format not supported!"), 1));
    auto fields = [](const Settings::OggSection& o) {
      return std::tuple(o.Quality, o.VBR, o.NomiBit, o.MaxBit, o.MinBit, o.QualityCompression);
    };
    EXPECT_EQ(fields(s.OGG), fields(Settings::OggSection{}));
    EXPECT_EQ(a.label.rfind("OGG:  Ogg Vorbis Quality : 0.35; ", 0), 0u) << a.label;
    EXPECT_EQ(a.logLine, "Set audio format: OGG.");
  }
  EXPECT_STREQ(kOggRefusedBoxText,
               "     OGG Audio Format NOT Supported!\nPlease Change the Parameters and Try Again!");
}

TEST(OggVorbisWriter, RefusedOrUncreatableFilesEndTheRecordingCleanly) {
  const std::string dir = test::ScratchDir("ogg_refused");
  const std::string input = test::MakeTestWav(dir + "/in.wav", 8000, 1, 1.0);
  const test::Recording r = test::RecordFile(Bitrate(0, 1, false, 0, 11, 0), input, dir + "/x.ogg");
  EXPECT_TRUE(r.clips.empty());
  EXPECT_TRUE(r.Logged("Invalid Ogg Vorbis format."));
  EXPECT_FALSE(fs::exists(dir + "/x.ogg"));

  const std::string path = dir + "/missing/x.ogg";
  const test::Recording r2 = test::RecordFile(Quality(0, 1, 35), input, path);
  EXPECT_TRUE(r2.clips.empty());
  EXPECT_TRUE(r2.Logged("Error creating file " + path + ": No such file or directory"));
}

// About 3 kbps of audio, where one full page would hold ten seconds: the
// file of a killed process must still play up to about the last second.
TEST(OggVorbisWriter, KilledRecordingPlaysUpToTheLastSecond) {
  const std::string dir = test::ScratchDir("ogg_killed");
  const auto in = test::ReadAudio(MakeSweep(dir + "/in.wav", 8000, 1, 6.0));
  test::InChild([&] {
    OggVorbisWriter writer(Quality(0, 1, -10));
    if (writer.Open(dir + "/x.ogg").empty() && test::Feed(writer, in.samples, 8000, 1)) {
      kill(getpid(), SIGKILL);  // no Close, no destructor
    }
    return std::string("not killed");
  });
  const test::Audio got = Decode(dir + "/x.ogg");
  ASSERT_EQ(got.rate, 8000);
  EXPECT_GE(got.frames, 8000 * 4.8);
}

TEST(OggVorbisWriter, WriteFailureIsReportedAndTheFileKeepsItsPages) {
  const std::string dir = test::ScratchDir("ogg_full");
  const auto in = test::ReadAudio(test::MakeTestWav(dir + "/in.wav", 44100, 2, 10.0));
  const std::string path = dir + "/x.ogg";
  const std::string report = test::InChild([&] {
    test::LimitFileSize(48 * 1024);
    OggVorbisWriter writer(Quality(7, 2, 35));
    std::string text = writer.Open(path);
    if (!text.empty()) return text;
    const bool fed = test::Feed(writer, in.samples, 44100, 2);
    const bool again = writer.Write(in.samples.data(), 4410);
    return std::string(fed ? "fed" : "failed") + (again ? "+again" : "") + "|" +
           writer.ErrorText() + "|" + (writer.Close() ? "closed" : "close failed");
  });
  EXPECT_EQ(report, "failed|Error writing file " + path + ": File too large|closed");
  const test::Audio got = Decode(path);
  EXPECT_EQ(got.channels, 2);
  EXPECT_GT(got.frames, 44100);  // about 3 s fit in 48 KiB at this quality
}

}  // namespace
}  // namespace tarvexa
