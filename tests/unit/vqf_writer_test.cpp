// VQF through the engine and the writer, checked with FFmpeg's VQF reader
// (ffprobe) and our decoder vqfdec: every preset's header, the file size
// the frames make, the decoded length and quality, the file name field,
// split clips, a recording shorter than a frame, a killed recording, a full
// disk, the bit writer's limit of 50 open files and the refusals.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>

#include "EngineRecording.h"
#include "encoders/vqf/VqfBitFile.h"
#include "encoders/vqf/VqfWriter.h"
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

// What a preset promises, read from its list text (" 44,100 Hz;  Stereo;
// 96 kbps;"), so the files are held to what the user was shown.
struct Promise {
  int rate = 0, channels = 0, kbps = 0;
};
Promise PromiseOf(int profile) {
  std::string text = VqfPresets()[static_cast<size_t>(profile - 1)].text;
  text.erase(std::remove(text.begin(), text.end(), ','), text.end());
  Promise p;
  std::istringstream in(text);
  std::string hz, mode;
  in >> p.rate >> hz >> mode >> p.kbps;
  p.channels = mode == "Stereo;" ? 2 : 1;
  return p;
}

Settings Vqf(int profile) {
  const Promise p = PromiseOf(profile);
  Settings s;
  s.OUTPUT.OutputFormat = kFormatVQF;
  s.VQF.Profile = static_cast<int16_t>(profile);
  s.OUTPUT.Freq = static_cast<int16_t>(FreqIndex(p.rate));
  s.OUTPUT.Chan = static_cast<int16_t>(p.channels);
  return s;
}

// The three test signals, one after another, 1.5 s each: two steady tones
// per channel, a logarithmic sweep from 60 Hz to 0.45 of the rate, and
// speech-like noise (noise through two moving resonances, in syllables).
constexpr double kPart = 1.5;
std::vector<int16_t> TestSignal(int rate, int chan) {
  const int64_t part = static_cast<int64_t>(kPart * rate);
  std::vector<int16_t> v;
  uint32_t noise = 2024;
  double y1 = 0, y2 = 0, z1 = 0, z2 = 0, phase = 0;
  for (int64_t i = 0; i < 3 * part; ++i) {
    const double t = static_cast<double>(i % part) / rate;
    for (int c = 0; c < chan; ++c) {
      double x = 0;
      if (i < part) {
        x = 0.25 * std::sin(2 * M_PI * (c ? 660.0 : 440.0) * t) +
            0.15 * std::sin(2 * M_PI * 1250.0 * t);
      } else if (i < 2 * part) {
        if (c == 0) phase += 2 * M_PI * 60.0 * std::pow(0.45 * rate / 60.0, t / kPart) / rate;
        x = 0.4 * std::sin(phase) * (c ? 0.7 : 1.0);
      } else {
        if (c == 0) {
          noise = noise * 1664525u + 1013904223u;
          const double e = static_cast<double>(noise >> 8) / (1 << 24) - 0.5;
          const double f1 = 500 + 200 * std::sin(2 * M_PI * 2.1 * t),
                       f2 = 1500 + 400 * std::sin(2 * M_PI * 1.3 * t);
          const double r = 0.97;
          const double y = e + 2 * r * std::cos(2 * M_PI * f1 / rate) * y1 - r * r * y2;
          const double z = e + 2 * r * std::cos(2 * M_PI * f2 / rate) * z1 - r * r * z2;
          y2 = y1, y1 = y, z2 = z1, z1 = z;
        }
        x = (0.04 * y1 + 0.03 * z1) * (0.55 + 0.45 * std::sin(2 * M_PI * 3.0 * t)) *
            (c ? 0.8 : 1.0);
      }
      v.push_back(static_cast<int16_t>(std::lround(std::clamp(x, -1.0, 1.0) * 32767)));
    }
  }
  return v;
}

// Segmental SNR (20 ms segments, each limited to -10..40 dB) of one part,
// leaving out a tenth of a second at its edges.
double SegmentalSnr(const std::vector<int16_t>& in, const std::vector<int16_t>& out, int rate,
                    int chan, int part) {
  const int64_t seg = rate / 50, from = static_cast<int64_t>((part * kPart + 0.1) * rate),
                to = static_cast<int64_t>(((part + 1) * kPart - 0.1) * rate);
  double sum = 0;
  int count = 0;
  for (int64_t s = from; s + seg <= to; s += seg) {
    double signal = 0, noise = 0;
    for (int64_t i = s * chan; i < (s + seg) * chan; ++i) {
      const double d = in[static_cast<size_t>(i)] - out[static_cast<size_t>(i)];
      signal += static_cast<double>(in[static_cast<size_t>(i)]) * in[static_cast<size_t>(i)];
      noise += d * d;
    }
    sum += std::clamp(10 * std::log10(signal / std::max(noise, 1.0)), -10.0, 40.0);
    ++count;
  }
  return sum / count;
}

// ffprobe's view of the stream (the VQF reader of FFmpeg, not ours).
std::map<std::string, std::string> Probe(const std::string& file) {
  std::string out;
  EXPECT_EQ(
      test::Run("ffprobe -v error -count_packets -show_entries "
                "stream=sample_rate,channels,bit_rate,time_base,nb_read_packets -of default=nw=1 " +
                    test::Quote(file),
                &out),
      0)
      << out;
  std::map<std::string, std::string> m;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos) m[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return m;
}

// Frame length in samples as FFmpeg reckons it (its time base is one frame).
int ProbedFrameSize(const std::map<std::string, std::string>& p) {
  const std::string tb = p.at("time_base");
  const int num = std::stoi(tb.substr(0, tb.find('/'))),
            den = std::stoi(tb.substr(tb.find('/') + 1));
  return static_cast<int>(std::lround(std::stod(p.at("sample_rate")) * num / den));
}

uint32_t Be32(const std::string& b, size_t at) {
  return (uint32_t{static_cast<uint8_t>(b[at])} << 24) |
         (uint32_t{static_cast<uint8_t>(b[at + 1])} << 16) |
         (uint32_t{static_cast<uint8_t>(b[at + 2])} << 8) | static_cast<uint8_t>(b[at + 3]);
}

// The header chunk's sub-chunks in order, and where the frames start.
struct Header {
  std::vector<std::pair<std::string, std::string>> chunks;
  size_t dataAt = 0;  // first byte after "DATA"
};
Header ReadHeader(const std::string& bytes) {
  Header h;
  if (bytes.size() < 20 || bytes.compare(0, 12, "TWIN97012000") != 0) return h;
  const size_t end = 16 + Be32(bytes, 12);
  for (size_t at = 16; at + 8 <= end;) {
    const size_t len = Be32(bytes, at + 4);
    h.chunks.emplace_back(bytes.substr(at, 4), bytes.substr(at + 8, len));
    at += 8 + len;
  }
  if (bytes.compare(end, 4, "DATA") == 0) h.dataAt = end + 4;
  return h;
}

test::Audio Vqfdec(const std::string& file) {
  const std::string wav = file + ".wav";
  std::string out;
  EXPECT_EQ(test::Run(test::Quote(std::string(TARVEXA_BIN_DIR) + "/vqfdec") + " " +
                          test::Quote(file) + " " + test::Quote(wav) + " 2>&1",
                      &out),
            0)
      << out;
  return test::ReadAudio(wav);
}

// ---------------------------------------------------------------------------

struct Floors {
  double tones, sweep, speech;  // segmental SNR, dB
};

class VqfPresetTest : public ::testing::TestWithParam<std::pair<int, Floors>> {};

TEST_P(VqfPresetTest, FfmpegReadsTheHeaderAndVqfdecPlaysItBack) {
  const auto [profile, floors] = GetParam();
  const Promise p = PromiseOf(profile);
  const std::string dir = test::ScratchDir("vqf_preset_" + std::to_string(profile));
  const std::vector<int16_t> in = TestSignal(p.rate, p.channels);
  test::WriteWav(dir + "/in.wav", p.rate, p.channels, in);
  const Recording r = test::RecordFile(Vqf(profile), dir + "/in.wav", dir + "/out.vqf");
  ASSERT_EQ(r.clips.size(), 1u);
  const std::string file = r.clips[0];

  const auto probe = Probe(file);
  EXPECT_EQ(probe.at("sample_rate"), std::to_string(p.rate));
  EXPECT_EQ(probe.at("channels"), std::to_string(p.channels));
  EXPECT_EQ(probe.at("bit_rate"), std::to_string(p.kbps * 1000));

  // Header, "DATA" and frames of bit_rate * F / rate bits each, packed
  // without gaps: the size follows from the number of frames.
  const std::string bytes = test::ReadFile(file);
  const Header h = ReadHeader(bytes);
  ASSERT_NE(h.dataAt, 0u);
  ASSERT_EQ(h.chunks.size(), 3u);
  EXPECT_EQ(h.chunks[0].first, "COMM");
  EXPECT_EQ(h.chunks[1], std::make_pair(std::string("FILE"), file));
  EXPECT_EQ(h.chunks[2], std::make_pair(std::string("TRAC"), std::string("\0\x0a", 2)));
  if (profile == 18) {
    EXPECT_EQ(h.chunks[0].second, std::string("\0\0\0\x01\0\0\0\x60\0\0\0\x2c\0\0\0\0", 16));
  }
  const int f = ProbedFrameSize(probe);
  const int64_t frameBits = static_cast<int64_t>(p.kbps) * 1000 * f / p.rate;
  const int64_t frames = std::stoll(probe.at("nb_read_packets"));
  EXPECT_EQ(static_cast<int64_t>(bytes.size()),
            static_cast<int64_t>(h.dataAt) + (frames * frameBits + 7) / 8);

  // Every sample comes back, and less than a frame more.
  const test::Audio out = Vqfdec(file);
  ASSERT_EQ(out.rate, p.rate);
  ASSERT_EQ(out.channels, p.channels);
  const int64_t inFrames = static_cast<int64_t>(in.size()) / p.channels;
  EXPECT_GE(out.frames, inFrames);
  EXPECT_LT(out.frames, inFrames + f);

  const double snr[3] = {SegmentalSnr(in, out.samples, p.rate, p.channels, 0),
                         SegmentalSnr(in, out.samples, p.rate, p.channels, 1),
                         SegmentalSnr(in, out.samples, p.rate, p.channels, 2)};
  std::printf("profile %2d: tones %.1f dB, sweep %.1f dB, speech-like noise %.1f dB\n", profile,
              snr[0], snr[1], snr[2]);
  EXPECT_GT(snr[0], floors.tones);
  EXPECT_GT(snr[1], floors.sweep);
  EXPECT_GT(snr[2], floors.speech);
}

// The floors sit 1.5 dB or more under the segmental SNR measured with the
// codebooks of TvqCodebooks.inc (tones, sweep, speech-like noise in the
// comments), so a change of the coder or the container that costs quality
// fails here, while a new set of codebooks may move them a little. TwinVQ's
// rates leave 0.7 to 1.1 bits per coefficient, hence 11 to 22 dB.
INSTANTIATE_TEST_SUITE_P(
    Presets, VqfPresetTest,
    ::testing::Values(std::make_pair(1, Floors{13.0, 13.5, 9.0}),     // 14.7 15.3 10.7
                      std::make_pair(2, Floors{14.0, 13.5, 9.5}),     // 15.5 15.2 11.0
                      std::make_pair(3, Floors{15.0, 12.5, 9.5}),     // 16.6 14.3 11.1
                      std::make_pair(4, Floors{14.5, 12.0, 10.5}),    // 16.3 13.9 12.2
                      std::make_pair(5, Floors{16.5, 11.5, 10.5}),    // 18.0 13.2 12.4
                      std::make_pair(6, Floors{16.5, 12.0, 11.0}),    // 18.1 13.5 12.5
                      std::make_pair(7, Floors{20.0, 12.5, 12.0}),    // 21.8 14.2 13.7
                      std::make_pair(8, Floors{19.0, 12.0, 12.0}),    // 20.8 13.7 13.5
                      std::make_pair(9, Floors{18.0, 11.0, 13.0}),    // 19.6 12.7 14.8
                      std::make_pair(10, Floors{20.0, 11.0, 13.5}),   // 21.8 12.6 15.3
                      std::make_pair(11, Floors{18.5, 12.5, 14.0}),   // 20.4 14.1 15.5
                      std::make_pair(12, Floors{20.0, 11.0, 13.0}),   // 21.9 12.8 14.7
                      std::make_pair(13, Floors{16.5, 10.5, 13.5}),   // 18.1 12.4 15.2
                      std::make_pair(14, Floors{16.5, 12.5, 12.5}),   // 18.4 14.1 14.3
                      std::make_pair(15, Floors{16.5, 11.5, 12.0}),   // 18.4 13.1 13.8
                      std::make_pair(16, Floors{17.0, 11.0, 12.5}),   // 18.8 12.8 14.2
                      std::make_pair(17, Floors{17.0, 10.5, 10.0}),   // 18.6 12.4 11.6
                      std::make_pair(18, Floors{17.0, 11.0, 12.5})),  // 18.6 12.6 14.2
    [](const ::testing::TestParamInfo<std::pair<int, Floors>>& i) {
      return "profile" + std::to_string(i.param.first);
    });

// ---------------------------------------------------------------------------

TEST(VqfWriter, ShortRecordingsAndLongPathsMakeValidFiles) {
  const std::string dir = test::ScratchDir("vqf_short");
  const Settings s = Vqf(9);  // 22050 Hz mono, frames of 1024 samples
  // A path of 600 characters, in folders of at most 200.
  std::string deep = dir;
  while (deep.size() + 1 + 200 + 1 + 20 < 600) deep += "/" + std::string(200, 'd');
  fs::create_directories(deep);
  const std::string longPath = deep + "/" + std::string(600 - deep.size() - 5, 'f') + ".vqf";
  ASSERT_EQ(longPath.size(), 600u);

  struct Case {
    std::string path;
    int samples;     // fed to the writer
    int64_t frames;  // in the file
  };
  // Nothing at all: one zero-padded frame. 300 samples: the padded frame,
  // and a silent one that brings them out of the coder.
  for (const Case& c : {Case{dir + "/empty.vqf", 0, 1}, Case{longPath, 300, 2}}) {
    SCOPED_TRACE(c.path.size());
    std::vector<int16_t> in(static_cast<size_t>(c.samples));
    for (int i = 0; i < c.samples; ++i)
      in[static_cast<size_t>(i)] = static_cast<int16_t>(8000 * std::sin(i * 0.2));
    VqfWriter w(s);
    ASSERT_EQ(w.Open(c.path), "");
    ASSERT_TRUE(w.Write(in.data(), in.size()));
    ASSERT_TRUE(w.Close());
    EXPECT_EQ(w.FramesWritten(), c.frames);

    const std::string bytes = test::ReadFile(c.path);
    const Header h = ReadHeader(bytes);
    ASSERT_EQ(h.chunks.size(), 3u);
    EXPECT_EQ(h.chunks[1].second, c.path.substr(0, 512));
    const auto probe = Probe(c.path);
    EXPECT_EQ(probe.at("sample_rate"), "22050");
    const int64_t frameBits = 20000LL * 1024 / 22050;
    EXPECT_EQ(static_cast<int64_t>(bytes.size()),
              static_cast<int64_t>(h.dataAt) + (c.frames * frameBits + 7) / 8);

    const test::Audio out = Vqfdec(c.path);
    EXPECT_GE(out.frames, c.samples);
    double energy = 0;
    for (int i = 0; i < std::min<int>(c.samples, static_cast<int>(out.samples.size())); ++i)
      energy += std::abs(out.samples[static_cast<size_t>(i)]);
    EXPECT_EQ(energy > 0, c.samples > 0) << "the short recording is in the file";
  }
}

TEST(VqfWriter, SplitClipsEachDecodeAlone) {
  const std::string dir = test::ScratchDir("vqf_split");
  const std::vector<int16_t> in = TestSignal(22050, 2);  // 4.5 s
  test::WriteWav(dir + "/in.wav", 22050, 2, in);
  Settings s = Vqf(13);  // 22050 Hz stereo 48 kbps
  s.MISC.Split = 1;
  s.MISC.SplitSec = 2;
  const Recording r = test::RecordFile(s, dir + "/in.wav", dir + "/Talk.vqf");
  ASSERT_EQ(r.clips.size(), 3u);
  size_t at = 0;
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(r.clips[i]);
    const int64_t want = i < 2 ? 2 * 22050 : static_cast<int64_t>(in.size() / 2) - 4 * 22050;
    const test::Audio out = Vqfdec(r.clips[i]);
    ASSERT_GE(out.frames, want);
    EXPECT_LT(out.frames, want + 1024);
    // Each clip holds its own part of the input, from its first sample.
    double signal = 0, noise = 0;
    for (int64_t k = 0; k < want * 2; ++k) {
      const double x = in[at + static_cast<size_t>(k)], d = x - out.samples[static_cast<size_t>(k)];
      signal += x * x;
      noise += d * d;
    }
    EXPECT_GT(10 * std::log10(signal / noise), 6.0);
    at += static_cast<size_t>(want * 2);
  }
}

// A file that ends on whole frames: its frame data is exactly the bytes k
// frames fill, for the k frames that fit.
bool EndsOnAWholeFrame(const std::string& file, int64_t frameBits, int64_t* frames) {
  const std::string bytes = test::ReadFile(file);
  const Header h = ReadHeader(bytes);
  if (h.dataAt == 0) return false;
  const int64_t data = static_cast<int64_t>(bytes.size() - h.dataAt);
  *frames = data * 8 / frameBits;
  return data == (*frames * frameBits + 7) / 8;
}

TEST(VqfWriter, KilledOrOutOfSpaceTheFileEndsOnAWholeFrame) {
  const std::string dir = test::ScratchDir("vqf_crash");
  const std::vector<int16_t> in = TestSignal(44100, 2);  // 4.5 s
  const int64_t frameBits = 96000LL * 2048 / 44100;

  const std::string killed = dir + "/killed.vqf";
  int status = 0;
  test::InChild(
      [&] {
        VqfWriter w(Vqf(18));
        if (!w.Open(killed).empty()) _exit(2);
        test::Feed(w, in, 44100, 2);
        kill(getpid(), SIGKILL);
        return std::string("not killed");
      },
      &status);
  ASSERT_TRUE(WIFSIGNALED(status));
  int64_t frames = 0;
  EXPECT_TRUE(EndsOnAWholeFrame(killed, frameBits, &frames));
  EXPECT_EQ(frames, static_cast<int64_t>(in.size() / 2 / 2048));
  EXPECT_EQ(Vqfdec(killed).frames, frames * 2048 - 3 * 1024);

  const std::string full = dir + "/full.vqf";
  const std::string report = test::InChild([&] {
    test::LimitFileSize(20 * 1024);
    VqfWriter w(Vqf(18));
    if (const std::string text = w.Open(full); !text.empty()) return text;
    const bool fed = test::Feed(w, in, 44100, 2);
    const bool again = w.Write(in.data(), 4410);  // refused after a failure
    const std::string error = w.ErrorText();
    return std::to_string(fed) + std::to_string(again) + std::to_string(w.Close()) + error;
  });
  EXPECT_EQ(report, "001Error writing file " + full + ": " + std::strerror(EFBIG));
  EXPECT_TRUE(EndsOnAWholeFrame(full, frameBits, &frames));
  EXPECT_GT(frames, 30);
  EXPECT_EQ(Vqfdec(full).frames, frames * 2048 - 3 * 1024);
}

TEST(VqfBitFile, AtMostFiftyAreOpenAtOnce) {
  const std::string dir = test::ScratchDir("vqf_limit");
  ASSERT_EQ(VqfBitFile::OpenCount(), 0);
  std::vector<std::unique_ptr<VqfBitFile>> files;
  for (int i = 0; i < 50; ++i) {
    files.push_back(std::make_unique<VqfBitFile>());
    ASSERT_TRUE(files.back()->Open(dir + "/" + std::to_string(i), "wb")) << i;
  }
  VqfBitFile extra;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(extra.Open(dir + "/extra", "wb"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "tealloc(): File number exceeds upper limit.\n");
  EXPECT_EQ(extra.Error(), EMFILE);
  EXPECT_FALSE(fs::exists(dir + "/extra"));

  // A writer asking for the 51st reports it and leaves no file.
  VqfWriter w(Vqf(18));
  testing::internal::CaptureStderr();
  EXPECT_EQ(w.Open(dir + "/rec.vqf"), "Output bitstream file open error!");
  testing::internal::GetCapturedStderr();
  EXPECT_FALSE(fs::exists(dir + "/rec.vqf"));

  // Closing one makes room again.
  EXPECT_TRUE(files.back()->Close());
  EXPECT_TRUE(extra.Open(dir + "/extra", "wb"));
  EXPECT_TRUE(extra.Close());
  files.clear();
  EXPECT_EQ(VqfBitFile::OpenCount(), 0);
}

TEST(VqfWriter, RefusalsLeaveNoFile) {
  const std::string dir = test::ScratchDir("vqf_refusals");
  Settings bad = Vqf(18);
  bad.VQF.Profile = 19;  // no such preset: the header has no mode the coder knows
  VqfWriter w(bad);
  EXPECT_EQ(w.Open(dir + "/bad.vqf"), "ErrorCode: 1\nFail to Initialize TwinVQ Encoder!");
  EXPECT_FALSE(fs::exists(dir + "/bad.vqf"));

  VqfWriter nowhere(Vqf(18));
  EXPECT_EQ(nowhere.Open(dir + "/no/such/folder/x.vqf"), "Output bitstream file open error!");

  {
    test::ScopedEnv lib("TARVEXA_LIB_DIR", dir);
    EXPECT_EQ(PrepareVqf(Vqf(18)), "Error loading tvqenc.so.");
    const Recording r = test::RecordFile(Vqf(18), test::MakeTestWav(dir + "/in.wav", 44100, 2, 1.0),
                                         dir + "/out.vqf");
    EXPECT_TRUE(r.clips.empty());
    EXPECT_TRUE(r.Logged("Error loading tvqenc.so."));
    EXPECT_FALSE(fs::exists(dir + "/out.vqf"));
  }
  EXPECT_EQ(PrepareVqf(Vqf(18)), "");
}

}  // namespace
}  // namespace tarvexa
