// WMA through the engine and the WMA component, checked with FFmpeg: the
// profiles that can be written decode as wmav2 at their rate, channels and
// bit rate with the input's length and level, in files not much larger than
// the bit rate; split clips are complete files with an index; the profiles
// that cannot be written end the recording with an error and no file; and
// profile files that cannot be read fall back to the built-in profiles.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "EngineRecording.h"
#include "encoders/wma/WmaProfiles.h"
#include "encoders/wma/WmaWriter.h"
#include "formats/FormatCatalogue.h"

namespace tarvexa {
namespace {

namespace fs = std::filesystem;
using test::Recording;

Settings Wma(int profile, int rate, int chan) {
  Settings s;
  s.OUTPUT.OutputFormat = kFormatWMA;
  for (size_t i = 0; i < SampleRateTable.size(); ++i)
    if (SampleRateTable[i] == rate) s.OUTPUT.Freq = static_cast<int16_t>(i);
  s.OUTPUT.Chan = static_cast<int16_t>(chan);
  s.WMA.Profile = static_cast<int16_t>(profile);
  return s;
}

// Inharmonic partials under slow envelopes over a noise floor: the encoder
// has to spend its bits, and the level is known.
std::vector<int16_t> MusicLike(int rate, int chan, double seconds) {
  std::vector<int16_t> v;
  uint32_t noise = 7;
  for (int64_t i = 0; i < static_cast<int64_t>(rate * seconds); ++i) {
    const double t = static_cast<double>(i) / rate;
    double x = 0;
    for (int k = 0; k < 6; ++k)
      x += std::sin(2 * M_PI * (211.3 + 337.1 * k) * t + k) *
           (0.6 + 0.4 * std::sin(2 * M_PI * (0.4 + 0.13 * k) * t)) / (k + 1);
    noise = noise * 1664525u + 1013904223u;
    x = 0.25 * x + 0.01 * (static_cast<double>(noise >> 8) / (1 << 24) - 0.5);
    for (int c = 0; c < chan; ++c) v.push_back(static_cast<int16_t>(std::lround(x * 32767)));
  }
  return v;
}

double Rms(const std::vector<int16_t>& v) {
  double sum = 0;
  for (int16_t s : v) sum += static_cast<double>(s) * s;
  return v.empty() ? 0 : std::sqrt(sum / static_cast<double>(v.size()));
}

std::string Probe(const std::string& file, const std::string& field) {
  std::string out;
  test::Run("ffprobe -v error -select_streams a:0 -show_entries stream=" + field +
                " -of default=nw=1:nk=1 " + test::Quote(file),
            &out);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

// Seeking makes FFmpeg read the file's simple index, which it reports.
bool HasIndex(const std::string& file) {
  std::string out;
  test::Run("ffmpeg -v debug -ss 1.5 -i " + test::Quote(file) + " -t 0.2 -f null - 2>&1", &out);
  return out.find("pktnum:") != std::string::npos;
}

bool DecodesCleanly(const std::string& file) {
  std::string out;
  return test::Run("ffmpeg -v error -i " + test::Quote(file) + " -f null - 2>&1", &out) == 0 &&
         out.empty();
}

TEST(WmaWriter, ProfilesDecodeAsTheyPromise) {
  struct Row {
    int profile;
    int rate, chan, kbps;  // what the profile's description promises
    int inRate, inChan;    // the recording's input
    double framing;        // ASF's share of the file (more for small superframes)
  };
  const Row rows[] = {
      {30, 32000, 2, 24, 32000, 2, 0.10},   // the lowest bit rate written
      {32, 22050, 2, 32, 44100, 1, 0.10},   // resampled and spread to both channels
      {36, 44100, 1, 48, 44100, 2, 0.10},   // mixed down to mono
      {39, 48000, 2, 63, 48000, 2, 0.10},   // low-delay CBR
      {47, 44100, 2, 128, 44100, 2, 0.03},  // the default
      {53, 48000, 2, 192, 44100, 2, 0.03},  // resampled up
      {55, 44100, 2, 320, 44100, 2, 0.03},  // FFmpeg's usual packets would waste ~70% here
  };
  const std::string dir = test::ScratchDir("wma_profiles");
  const double seconds = 8.0;
  for (const Row& r : rows) {
    SCOPED_TRACE("profile " + std::to_string(r.profile));
    const std::string in = dir + "/in" + std::to_string(r.profile) + ".wav";
    const std::vector<int16_t> input = MusicLike(r.inRate, r.inChan, seconds);
    test::WriteWav(in, r.inRate, r.inChan, input);
    const std::string out = dir + "/p" + std::to_string(r.profile) + ".wma";
    const Recording rec = test::RecordFile(Wma(r.profile, r.inRate, r.inChan), in, out);
    ASSERT_EQ(rec.clips.size(), 1u);

    EXPECT_EQ(Probe(out, "codec_name"), "wmav2");
    EXPECT_EQ(Probe(out, "sample_rate"), std::to_string(r.rate));
    EXPECT_EQ(Probe(out, "channels"), std::to_string(r.chan));
    EXPECT_NEAR(std::stod(Probe(out, "bit_rate")), r.kbps * 1000.0, r.kbps * 50.0);
    // No padding wasted: the bit rate, the framing, and 6 KB for the header,
    // the index and the last, partly filled packet.
    const double bytes = r.kbps * 1000.0 / 8 * seconds;
    EXPECT_GE(static_cast<double>(fs::file_size(out)), 0.97 * bytes);
    EXPECT_LE(static_cast<double>(fs::file_size(out)), (1 + r.framing) * bytes + 6144);
    EXPECT_TRUE(DecodesCleanly(out));

    const test::Audio a = test::DecodeWithFfmpeg(out);
    ASSERT_EQ(a.rate, r.rate);
    EXPECT_NEAR(static_cast<double>(a.frames) / a.rate, seconds, 0.15);
    // The level survives resampling and the channel changes (within 1.5 dB).
    EXPECT_NEAR(20 * std::log10(Rms(a.samples) / Rms(input)), 0.0, 1.5);
  }
}

TEST(WmaWriter, EverySplitClipIsACompleteFileWithItsIndex) {
  const std::string dir = test::ScratchDir("wma_split");
  const std::string in = dir + "/in.wav";
  test::WriteWav(in, 44100, 2, MusicLike(44100, 2, 10.0));
  Settings s = Wma(47, 44100, 2);
  s.MISC.Split = 1;
  s.MISC.SplitSec = 4;
  const Recording r = test::RecordFile(s, in, dir + "/clip.wma");
  ASSERT_EQ(r.clips.size(), 3u);
  const double expected[] = {4.0, 4.0, 2.0};
  for (size_t i = 0; i < r.clips.size(); ++i) {
    SCOPED_TRACE(r.clips[i]);
    EXPECT_TRUE(DecodesCleanly(r.clips[i]));
    EXPECT_TRUE(HasIndex(r.clips[i]));
    const test::Audio a = test::DecodeWithFfmpeg(r.clips[i]);
    EXPECT_NEAR(static_cast<double>(a.frames) / 44100, expected[i], 0.15);
  }
}

TEST(WmaWriter, ProfilesThatCannotBeWrittenEndTheRecordingWithoutAFile) {
  const struct {
    int profile;
    const char* because;
  } rows[] = {
      {5, "not Windows Media Audio Voice 9"},          {13, "below 24 kbps"},
      {71, "not Windows Media Audio 10 Professional"}, {99, "not Quality VBR (Lossy)"},
      {121, "not Windows Media Audio 9.2 Lossless"},
  };
  const std::string dir = test::ScratchDir("wma_refused");
  const std::string in = dir + "/in.wav";
  test::WriteWav(in, 44100, 2, MusicLike(44100, 2, 1.0));
  for (const auto& row : rows) {
    SCOPED_TRACE(row.profile);
    const std::string out = dir + "/r" + std::to_string(row.profile) + ".wma";
    const Recording r = test::RecordFile(Wma(row.profile, 44100, 2), in, out);
    EXPECT_TRUE(r.finished);
    EXPECT_TRUE(r.clips.empty());
    EXPECT_FALSE(fs::exists(out));
    bool reported = false;
    for (const auto& [text, level] : r.logs) {
      reported = reported || (level == 2 && text.find("cannot be recorded") != std::string::npos &&
                              text.find(row.because) != std::string::npos);
    }
    EXPECT_TRUE(reported);
  }
}

TEST(WmaProfiles, ABrokenProfileFileIsRefusedAndTheBuiltInProfilesServe) {
  const struct {
    const char* text;
    const char* why;
  } rows[] = {
      {"1|CBR|Windows Media Audio 9.2| a;|44100|2\n", "line 1: expected 7 fields"},
      {"# two\n1|CBR|C| a;|44100|2|64000\n3|CBR|C| b;|44100|2|64000\n", "line 3: profile 3"},
      {"1|CBR|A| a;|44100|2|64000\n2|CBR|B| b;|44100|2|64000\n3|CBR|A| c;|44100|2|64000\n",
       "line 3: profile 3 (CBR, A) is apart"},
      {"1|CBR|A| a;|44100|3|64000\n", "channel count"},
      {"\n# nothing\n", "no profiles"},
  };
  for (const auto& row : rows) {
    WmaProfileSet set;
    std::string error;
    EXPECT_FALSE(WmaProfileSet::Parse(row.text, &set, &error)) << row.text;
    EXPECT_NE(error.find(row.why), std::string::npos) << error;
  }

  // The label follows the profile file in use, and falls back when it breaks.
  const std::string dir = test::ScratchDir("wma_profile_file");
  const std::string file = dir + "/profiles.prx";
  test::ScopedEnv env("TARVEXA_WMA_PROFILE", file);
  test::WriteFile(file, "1|CBR|Windows Media Audio 9.2| Speech 32;|22050|1|32000\r\n");
  Settings s = Wma(1, 44100, 2);
  EXPECT_EQ(WmaFormatLabel(s), "WMA:   Speech 32;");
  test::WriteFile(file, "1|CBR|Windows Media Audio 9.2| Speech 32;|22050\n");
  EXPECT_EQ(WmaFormatLabel(s), "WMA:  " + WmaProfileSet::BuiltIn().Find(1)->description);
}

// The shipped file is the built-in copy, and numbering by group start plus
// place holds for every profile in it.
TEST(WmaProfiles, TheShippedFileIsTheBuiltInOne) {
  WmaProfileSet shipped;
  std::string error;
  ASSERT_TRUE(LoadWmaProfileFile(std::string(TARVEXA_BIN_DIR) + "/Tarvexa Sound Recorder.prx",
                                 &shipped, &error))
      << error;
  ASSERT_EQ(shipped.All().size(), 125u);
  ASSERT_EQ(WmaProfileSet::BuiltIn().All().size(), 125u);
  for (const WmaProfile& p : shipped.All()) {
    EXPECT_EQ(WmaProfileSet::BuiltIn().Find(p.number)->description, p.description);
    EXPECT_EQ(shipped.NumberAt(shipped.PlaceOf(p.number)), p.number);
  }
}

}  // namespace
}  // namespace tarvexa
