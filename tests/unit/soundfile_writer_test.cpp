#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>

#include "EngineRecording.h"
#include "encoders/ClipWriter.h"
#include "encoders/soundfile/SoundFileWriter.h"
#include "encoders/soundfile/WavWriter.h"
#include "formats/FormatCatalogue.h"

namespace tarvexa {
namespace {

namespace fs = std::filesystem;

Settings ForSubEncoding(int format, int index, int chan, int freq) {
  Settings s;
  s.OUTPUT.OutputFormat = static_cast<int16_t>(format);
  s.OUTPUT.Chan = static_cast<int16_t>(chan);
  s.OUTPUT.Freq = static_cast<int16_t>(freq);
  if (format == kFormatWAV)
    s.WAV.SubFormat = static_cast<int16_t>(index);
  else if (format == kFormatAIFF)
    s.AIFF.SubFormat = static_cast<int16_t>(index);
  else if (format != kFormatHTK)
    s.OTHER.Codec[format - kFormatAU] = static_cast<int16_t>(index);
  return s;
}

// The test signal (sines plus noise), cached per rate and channel count.
const std::vector<int16_t>& Signal(int rate, int chan, double seconds) {
  static std::map<std::tuple<int, int, double>, std::vector<int16_t>> cache;
  auto key = std::make_tuple(rate, chan, seconds);
  auto it = cache.find(key);
  if (it == cache.end()) {
    const std::string dir = test::ScratchDir("writer_signal");
    const test::Audio a =
        test::ReadAudio(test::MakeTestWav(dir + "/signal.wav", rate, chan, seconds));
    it = cache.emplace(key, a.samples).first;
  }
  return it->second;
}

// Feeds the samples to the writer in 100-ms blocks, as the encoder thread does.
::testing::AssertionResult WriteBlocks(ClipWriter& w, const std::vector<int16_t>& samples, int rate,
                                       int chan) {
  const size_t block = static_cast<size_t>(rate / 10);
  const size_t frames = samples.size() / static_cast<size_t>(chan);
  for (size_t at = 0; at < frames; at += block) {
    const size_t n = std::min(block, frames - at);
    if (!w.Write(samples.data() + at * static_cast<size_t>(chan), n)) {
      return ::testing::AssertionFailure()
             << "Write failed at frame " << at << ": " << w.ErrorText();
    }
  }
  return ::testing::AssertionSuccess();
}

// Reads a file back; headerless RAW needs its description up front.
test::Audio ReadBack(const std::string& path, int formatWord, int rate, int chan) {
  if ((formatWord & SF_FORMAT_TYPEMASK) != SF_FORMAT_RAW) return test::ReadAudio(path);
  return test::ReadRawAudio(path, formatWord, rate, chan);
}

// The same samples written by libsndfile in one go, as a plain file of the
// same format word.
void WriteReference(const std::string& path, int formatWord, int rate, int chan,
                    const std::vector<int16_t>& samples) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = chan;
  info.format = formatWord;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
  sf_writef_short(f, samples.data(), static_cast<sf_count_t>(samples.size() / chan));
  sf_close(f);
}

// "rate,channels" of the first stream as ffprobe sees it; "" when it cannot read the file.
std::string FfprobeStream(const std::string& path) {
  std::string out;
  if (test::Run("ffprobe -v error -show_entries stream=sample_rate,channels -of csv=p=0 " +
                    test::Quote(path),
                &out) != 0) {
    return "";
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

double FfprobeDuration(const std::string& path) {
  std::string out;
  if (test::Run("ffprobe -v error -show_entries format=duration -of csv=p=0 " + test::Quote(path),
                &out) != 0) {
    return -1;
  }
  return std::atof(out.c_str());
}

// Containers and codecs ffprobe is expected to read (checked with the
// installed FFmpeg). Not readable: headerless RAW, MAT4/MAT5, HTK, XI, SD2
// (its header lives in a resource fork), DWVW in AIFF and 24-bit PAF.
bool FfprobeReads(int format, int subtype) {
  switch (format) {
    case kFormatRAW:
    case kFormatMAT4:
    case kFormatMAT5:
    case kFormatHTK:
    case kFormatXI:
    case kFormatSD2: return false;
    case kFormatAIFF:
      return subtype != SF_FORMAT_DWVW_12 && subtype != SF_FORMAT_DWVW_16 &&
             subtype != SF_FORMAT_DWVW_24;
    case kFormatPAF: return subtype != SF_FORMAT_PCM_24;
    default: return true;
  }
}

// Sub-encodings that give back exactly the 16-bit samples they were given.
// Not 24-bit SDS: libsndfile 1.2 leaves the last, partial data packet of a
// 24-bit SDS file as zeros (the reference file shows the same).
bool IsLossless(int format, int subtype) {
  if (format == kFormatSDS && subtype == SF_FORMAT_PCM_24) return false;
  switch (subtype) {
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
    case SF_FORMAT_DPCM_16:
    case SF_FORMAT_DWVW_16:
    case SF_FORMAT_DWVW_24: return true;
    default: return false;
  }
}

// The rate each format is tested at: one that its header stores exactly.
// VOC keeps 8-bit rates as a one-byte time constant, HTK and SDS keep a
// sample period (100 ns and 1 ns units), so 44100 Hz does not survive there.
int TestFreqIndex(int format) {
  switch (format) {
    case kFormatVOC: return 0;   // 8000 Hz
    case kFormatHTK: return 3;   // 16000 Hz
    case kFormatSDS: return 3;   // 16000 Hz
    case kFormatPVF: return 8;   // 48000 Hz
    case kFormatCAF: return 10;  // 96000 Hz
    default: return 7;           // 44100 Hz
  }
}

std::vector<int> SoundFileFormats() {
  std::vector<int> v = {kFormatWAV, kFormatAIFF};
  for (int f = kFormatAU; f <= kFormatSD2; ++f) v.push_back(f);
  return v;
}

// Combinations the rate/channel rule allows but libsndfile refuses in
// sf_format_check; the writer must answer "Invalid format!" for them.
//  - HTK: libsndfile writes HTK files in one channel only.
const std::set<std::pair<int, int>> kRefusedByLibsndfile = {
    {kFormatHTK, 2},  // (format, channels), every sub-encoding
};

// Descriptions libsndfile accepts in sf_format_check and sf_open but has no
// encoder for (libsndfile 1.2): the first Write fails and says so.
//  - AIFF with 12 bit DWVW ("File contains data in an unimplemented format.").
const std::set<std::pair<int, int>> kNotEncodedByLibsndfile = {
    {kFormatAIFF, SF_FORMAT_DWVW_12},  // (format, subtype); mono only by the rule
};

// ---------------------------------------------------------------------------

TEST(SoundFileWriter, EverySubEncodingOfEveryFormat) {
  const std::string dir = test::ScratchDir("writer_all");
  ASSERT_TRUE(test::HaveTool("ffprobe")) << "ffprobe (ffmpeg) is missing";
  int written = 0, refused = 0, probed = 0;

  for (int format : SoundFileFormats()) {
    const auto subs = SubEncodingsOf(format);
    ASSERT_FALSE(subs.empty()) << FormatTag(format);
    const int freq = TestFreqIndex(format);
    const int rate = SampleRateTable[freq];
    // PAF is written in both byte orders (chosen by its extension).
    const std::vector<int> extSlots =
        format == kFormatPAF ? std::vector<int>{0, 1} : std::vector<int>{0};
    for (size_t index = 0; index < subs.size(); ++index) {
      for (int extSlot : extSlots) {
        for (int chan = 1; chan <= 2; ++chan) {
          Settings s = ForSubEncoding(format, static_cast<int>(index), chan, freq);
          if (format == kFormatPAF) s.OTHER.Ext[2] = static_cast<int16_t>(extSlot);
          const std::string what = std::string(FormatTag(format)) + " " + subs[index].name +
                                   (chan == 1 ? " mono" : " stereo") +
                                   (format == kFormatPAF ? " ext" + std::to_string(extSlot) : "");
          SCOPED_TRACE(what);
          const std::string base = dir + "/" + FormatTag(format) + "_" + std::to_string(index) +
                                   "_" + std::to_string(extSlot) + "_" + std::to_string(chan);
          const std::string path = base + FileExtensionFor(format, s);

          // The family's writer: WAV in PCM, float and the laws is our own
          // container, the rest libsndfile's.
          const std::unique_ptr<ClipWriter> made = MakeClipWriter(s);
          ClipWriter& writer = *made;
          const bool ruleAllows = FormatMatrixOf(s).allowed[chan - 1][freq];
          if (!ruleAllows || kRefusedByLibsndfile.count({format, chan})) {
            // The rule keeps these from being chosen, because libsndfile
            // cannot write them; the writer must still refuse them cleanly.
            EXPECT_EQ(writer.Open(path), "Invalid format!");
            EXPECT_FALSE(fs::exists(path));
            ++refused;
            continue;
          }

          ASSERT_EQ(writer.Open(path), "");
          const std::vector<int16_t>& input = Signal(rate, chan, 2.0);
          if (kNotEncodedByLibsndfile.count({format, subs[index].subtype})) {
            EXPECT_FALSE(writer.Write(input.data(), static_cast<size_t>(rate / 10)));
            EXPECT_EQ(writer.ErrorText(), "Error writing file " + path +
                                              ": File contains data in an unimplemented format.");
            EXPECT_TRUE(writer.Close());
            EXPECT_EQ(test::ReadAudio(path).frames, 0);
            ++refused;
            continue;
          }
          ASSERT_TRUE(WriteBlocks(writer, input, rate, chan));
          ASSERT_TRUE(writer.Close()) << writer.ErrorText();
          ++written;

          const int word = SndfileFormatCode(s);
          const test::Audio got = ReadBack(path, word, rate, chan);
          ASSERT_EQ(got.rate, rate);
          EXPECT_EQ(got.channels, chan);
          const int64_t expectedFrames = 2 * rate;
          EXPECT_NEAR(static_cast<double>(got.frames), static_cast<double>(expectedFrames),
                      std::max(rate / 20, 2048))
              << "frames";

          // Decodes exactly like libsndfile's own file of that format.
          const std::string refPath = base + ".ref" + FileExtensionFor(format, s);
          WriteReference(refPath, word, rate, chan, input);
          const test::Audio ref = ReadBack(refPath, word, rate, chan);
          EXPECT_EQ(got.frames, ref.frames);
          EXPECT_TRUE(got.samples == ref.samples) << "decoded samples differ from the reference";
          if (IsLossless(format, subs[index].subtype)) {
            // Headerless DWVW reads back a few frames of bit-stream padding.
            if (format == kFormatRAW)
              ASSERT_GE(got.samples.size(), input.size());
            else
              ASSERT_EQ(got.samples.size(), input.size());
            EXPECT_TRUE(std::equal(input.begin(), input.end(), got.samples.begin()))
                << "not bit-exact";
          }

          if (FfprobeReads(format, subs[index].subtype)) {
            EXPECT_EQ(FfprobeStream(path), std::to_string(rate) + "," + std::to_string(chan));
            ++probed;
          }
        }
      }
    }
  }
  std::printf("written %d, refused %d, checked with ffprobe %d\n", written, refused, probed);
  EXPECT_GT(written, 200);
}

// The chunks of a RIFF/RF64 file as they stand on disk (no library that
// mends sizes): id -> (offset of the body, size field).
struct Chunks {
  std::string riff;  // "RIFF" or "RF64"
  uint32_t riffSize = 0;
  std::map<std::string, std::pair<uint64_t, uint32_t>> at;
  std::vector<std::string> order;
};
Chunks ParseRiff(const std::string& path) {
  Chunks c;
  std::ifstream in(path, std::ios::binary);
  char h[12] = {};
  in.read(h, 12);
  c.riff.assign(h, 4);
  std::memcpy(&c.riffSize, h + 4, 4);
  uint64_t pos = 12;
  const uint64_t size = fs::file_size(path);
  while (pos + 8 <= size) {
    char ch[8];
    in.seekg(static_cast<std::streamoff>(pos));
    in.read(ch, 8);
    uint32_t sz = 0;
    std::memcpy(&sz, ch + 4, 4);
    const std::string id(ch, 4);
    c.at[id] = {pos + 8, sz};
    c.order.push_back(id);
    if (id == "data") break;
    pos += 8 + sz + (sz & 1);
  }
  return c;
}
std::vector<unsigned char> Bytes(const std::string& path, uint64_t at, size_t n) {
  std::vector<unsigned char> b(n);
  std::ifstream in(path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(at));
  in.read(reinterpret_cast<char*>(b.data()), static_cast<std::streamsize>(n));
  return b;
}

// Format 1 is a classic RIFF/WAVE file: the format chunk exactly as the
// sound-file library writes it for a plain WAV (format tag 1 for PCM), with
// room kept for RF64 (a JUNK chunk first) in the sub-encodings that can
// grow past 4 GiB; WAVEX is the extensible one. Python's wave module, which
// takes only classic PCM, reads 8- and 16-bit mono and stereo exactly.
TEST(SoundFileWriter, WavIsAClassicRiffWaveThatPythonReads) {
  const std::string dir = test::ScratchDir("writer_riff");
  for (int index = 0; index < 12; ++index) {
    for (int chan = 1; chan <= 2; ++chan) {
      if (chan == 2 && (index == 10 || index == 11)) continue;  // GSM 6.10, G721: mono only
      SCOPED_TRACE(std::string(SubEncodingsOf(kFormatWAV)[index].name) + " " +
                   std::to_string(chan));
      const Settings s = ForSubEncoding(kFormatWAV, index, chan, 7);
      const std::string path =
          dir + "/w" + std::to_string(index) + "_" + std::to_string(chan) + ".wav";
      const std::vector<int16_t>& input = Signal(44100, chan, 1.0);
      const std::unique_ptr<ClipWriter> writer = MakeClipWriter(s);
      ASSERT_EQ(writer->Open(path), "");
      ASSERT_TRUE(WriteBlocks(*writer, input, 44100, chan));
      ASSERT_TRUE(writer->Close());

      const std::string ref =
          dir + "/ref" + std::to_string(index) + "_" + std::to_string(chan) + ".wav";
      WriteReference(ref, SndfileFormatCode(s), 44100, chan, input);
      const Chunks got = ParseRiff(path), want = ParseRiff(ref);
      EXPECT_EQ(got.riff, "RIFF");
      EXPECT_EQ(got.riffSize + 8, fs::file_size(path));
      EXPECT_EQ(got.order.front(), index < 8 ? "JUNK" : "fmt ");
      ASSERT_TRUE(got.at.count("fmt ") && got.at.count("data"));
      // The format chunk is the library's, byte for byte.
      EXPECT_EQ(got.at.at("fmt ").second, want.at.at("fmt ").second);
      EXPECT_EQ(Bytes(path, got.at.at("fmt ").first, got.at.at("fmt ").second),
                Bytes(ref, want.at.at("fmt ").first, want.at.at("fmt ").second));
      EXPECT_EQ(got.at.count("fact"), want.at.count("fact"));
      // The data is the library's too.
      EXPECT_EQ(got.at.at("data").second, want.at.at("data").second);
      EXPECT_EQ(Bytes(path, got.at.at("data").first, got.at.at("data").second),
                Bytes(ref, want.at.at("data").first, want.at.at("data").second));

      if (index <= 1) {  // 8 and 16 bit PCM
        std::string out;
        ASSERT_EQ(
            test::Run("python3 -c 'import sys, wave, hashlib; w = wave.open(sys.argv[1]); "
                      "print(w.getnchannels(), w.getsampwidth(), w.getframerate(), "
                      "w.getnframes(), hashlib.md5(w.readframes(w.getnframes())).hexdigest())' " +
                          test::Quote(path),
                      &out),
            0)
            << out;
        std::string md5;
        test::Run(
            "python3 -c 'import sys, hashlib; d = open(sys.argv[1], \"rb\").read(); "
            "print(hashlib.md5(d[" +
                std::to_string(want.at.at("data").first) + ":" +
                std::to_string(want.at.at("data").first + want.at.at("data").second) +
                "]).hexdigest())' " + test::Quote(ref),
            &md5);
        EXPECT_EQ(out, std::to_string(chan) + " " + std::to_string(index == 0 ? 1 : 2) +
                           " 44100 44100 " + md5);
      }
    }
  }
  // WAVEX: the extensible format tag.
  const Settings x = ForSubEncoding(kFormatWAVEX, 1, 2, 7);
  const std::unique_ptr<ClipWriter> writer = MakeClipWriter(x);
  ASSERT_EQ(writer->Open(dir + "/x.wav"), "");
  ASSERT_TRUE(WriteBlocks(*writer, Signal(44100, 2, 1.0), 44100, 2));
  ASSERT_TRUE(writer->Close());
  const Chunks c = ParseRiff(dir + "/x.wav");
  ASSERT_TRUE(c.at.count("fmt "));
  const auto tag = Bytes(dir + "/x.wav", c.at.at("fmt ").first, 2);
  EXPECT_EQ(tag[0] | (tag[1] << 8), 0xFFFE);
}

// Past the RIFF limit (4 GiB; here lowered to 512 KiB) a WAV turns into RF64
// in place, and a recording killed after that point leaves an RF64 file
// whose ds64 chunk gives the data written so far.
TEST(SoundFileWriter, WavPastTheRiffLimitBecomesRf64EvenWhenKilled) {
  const std::string dir = test::ScratchDir("writer_rf64");
  const Settings s = ForSubEncoding(kFormatWAV, 1, 2, 7);
  const std::vector<int16_t>& input = Signal(44100, 2, 5.0);
  for (const bool killed : {false, true}) {
    const std::string path = dir + (killed ? "/killed.wav" : "/whole.wav");
    int status = 0;
    test::InChild(
        [&] {
          WavWriter writer(s);
          writer.SetRiffLimitForTest(1 << 19);
          if (!writer.Open(path).empty() || !WriteBlocks(writer, input, 44100, 2)) return "failed";
          if (killed) kill(getpid(), SIGKILL);
          return writer.Close() ? "" : "close failed";
        },
        &status);
    ASSERT_EQ(WIFSIGNALED(status), killed);
    const Chunks c = ParseRiff(path);
    EXPECT_EQ(c.riff, "RF64");
    EXPECT_EQ(c.riffSize, 0xFFFFFFFFu);
    ASSERT_EQ(c.order.front(), "ds64");
    const auto ds64 = Bytes(path, c.at.at("ds64").first, 24);
    uint64_t riff = 0, data = 0, frames = 0;
    std::memcpy(&riff, &ds64[0], 8);
    std::memcpy(&data, &ds64[8], 8);
    std::memcpy(&frames, &ds64[16], 8);
    EXPECT_EQ(riff + 8, fs::file_size(path));
    EXPECT_EQ(data, input.size() * 2);
    EXPECT_EQ(frames, input.size() / 2);
    EXPECT_EQ(c.at.at("data").second, 0xFFFFFFFFu);
    EXPECT_NEAR(FfprobeDuration(path), 5.0, 1e-6);
    std::string out;
    ASSERT_EQ(test::Run("sox " + test::Quote(path) + " -t s16 - | md5sum", &out), 0);
    std::string in;
    test::WriteFile(dir + "/in.raw",
                    std::string(reinterpret_cast<const char*>(input.data()), input.size() * 2));
    test::Run("md5sum < " + test::Quote(dir + "/in.raw"), &in);
    EXPECT_EQ(out, in) << "sox reads the whole RF64 file sample-exact";
  }
}

TEST(SoundFileWriter, PafByteOrderFollowsTheExtension) {
  const std::string dir = test::ScratchDir("writer_paf");
  for (int ext : {0, 1}) {
    Settings s = ForSubEncoding(kFormatPAF, 1, 1, 7);
    s.OTHER.Ext[2] = static_cast<int16_t>(ext);
    const std::string path = dir + "/clip" + FileExtensionFor(kFormatPAF, s);
    SoundFileWriter writer(s);
    ASSERT_EQ(writer.Open(path), "");
    ASSERT_TRUE(WriteBlocks(writer, Signal(44100, 1, 0.5), 44100, 1));
    ASSERT_TRUE(writer.Close());
    // The PARIS header starts with " paf" when big-endian, "fap " when little-endian.
    char magic[4] = {};
    std::ifstream(path, std::ios::binary).read(magic, 4);
    EXPECT_EQ(std::string(magic, 4), ext == 0 ? " paf" : "fap ") << path;
    EXPECT_EQ(test::ReadAudio(path).format & SF_FORMAT_ENDMASK,
              ext == 0 ? SF_ENDIAN_BIG : SF_ENDIAN_LITTLE);
  }
}

TEST(SoundFileWriter, RefusedDescriptions) {
  const std::string dir = test::ScratchDir("writer_refused");
  struct Case {
    const char* what;
    Settings s;
  };
  Settings avr24 = ForSubEncoding(kFormatAVR, 3, 1, 7);  // coded but not offered: no 24-bit AVR
  Settings wavBad = ForSubEncoding(kFormatWAV, 99, 2, 7);
  Settings xiBad = ForSubEncoding(kFormatXI, -1, 1, 7);
  Settings htkStereo = ForSubEncoding(kFormatHTK, 0, 2, 3);
  for (const Case& c : {Case{"AVR 24 bit", avr24}, Case{"WAV selector 99", wavBad},
                        Case{"XI selector -1", xiBad}, Case{"HTK stereo", htkStereo}}) {
    SoundFileWriter writer(c.s);
    const std::string path = dir + "/x" + FileExtensionFor(c.s.OUTPUT.OutputFormat, c.s);
    EXPECT_EQ(writer.Open(path), "Invalid format!") << c.what;
    EXPECT_EQ(writer.ErrorText(), "Invalid format!") << c.what;
    EXPECT_FALSE(fs::exists(path)) << c.what;
    const int16_t frame[2] = {1, 2};
    EXPECT_FALSE(writer.Write(frame, 1)) << c.what;
    EXPECT_TRUE(writer.Close()) << c.what;
  }
}

TEST(SoundFileWriter, UncreatableFileIsReported) {
  const std::string dir = test::ScratchDir("writer_nofolder");
  const std::string path = dir + "/missing/folder/clip.wav";
  const std::unique_ptr<ClipWriter> writer = MakeClipWriter(ForSubEncoding(kFormatWAV, 1, 2, 7));
  EXPECT_EQ(writer->Open(path), "Error : could not open file : " + path);
  SoundFileWriter aiff(ForSubEncoding(kFormatAIFF, 2, 2, 7));
  EXPECT_EQ(aiff.Open(path + ".aiff"), "Error : could not open file : " + path + ".aiff");
}

// One writer used for consecutive clips, as a split recording does.
TEST(SoundFileWriter, ReopensForTheNextClip) {
  const std::string dir = test::ScratchDir("writer_clips");
  const auto& input = Signal(44100, 2, 1.0);
  {
    SoundFileWriter writer(ForSubEncoding(kFormatCAF, 1, 2, 7));
    for (int clip = 0; clip < 3; ++clip) {
      const std::string path = dir + "/clip" + std::to_string(clip) + ".caf";
      ASSERT_EQ(writer.Open(path), "");
      ASSERT_TRUE(WriteBlocks(writer, input, 44100, 2));
      if (clip == 0) {
        ASSERT_TRUE(writer.Close());
      }
      // clip 1 is closed by the next Open, clip 2 by the destructor
    }
  }
  for (int clip = 0; clip < 3; ++clip) {
    const test::Audio got = test::ReadAudio(dir + "/clip" + std::to_string(clip) + ".caf");
    EXPECT_EQ(got.frames, 44100) << clip;
    EXPECT_TRUE(got.samples == input) << clip;
  }
}

// ---------------------------------------------------------------------------
// A recording process that dies without closing its file.

// What a file's header declares about its audio, read by hand: libsndfile
// and FFmpeg both repair a header that was never finished (they take the
// data's length from the file's size), so reading the file back through
// them cannot tell whether the writer kept its header up to date.
struct Declared {
  std::string error;    // empty when the header was understood
  uint64_t end = 0;     // where the declared data (or the whole container) ends
  int64_t frames = -1;  // frames the header declares
};

uint64_t Le(const std::string& b, size_t at, int n) {
  uint64_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b.at(at + i));
  return v;
}
uint64_t Be(const std::string& b, size_t at, int n) {
  uint64_t v = 0;
  for (int i = 0; i < n; ++i) v = v << 8 | static_cast<unsigned char>(b.at(at + i));
  return v;
}

// RIFF/RF64 WAVE (and WAVE_FORMAT_EXTENSIBLE) and Sony Wave64: the data
// chunk's size (the ds64 chunk's for RF64) in the fmt chunk's blocks, each
// one frame, or for IMA ADPCM as many as the fmt chunk says.
Declared RiffHeader(const std::string& b, bool w64) {
  Declared d;
  const size_t head = w64 ? 24 : 8;  // chunk id and size
  uint64_t ds64Data = 0, blockAlign = 0, perBlock = 1;
  d.end = w64 ? Le(b, 16, 8) : Le(b, 4, 4) + 8;
  for (size_t at = w64 ? 40 : 12; at + head <= b.size();) {
    const std::string id = b.substr(at, 4);
    const uint64_t size = w64 ? Le(b, at + 16, 8) - head : Le(b, at + 4, 4);
    const size_t body = at + head;
    if (id == "ds64") {
      d.end = Le(b, body, 8) + 8;
      ds64Data = Le(b, body + 8, 8);
    } else if (id == "fmt ") {
      blockAlign = Le(b, body + 12, 2);
      if (Le(b, body, 2) == 0x11) perBlock = Le(b, body + 18, 2);
    } else if (id == "data") {
      const uint64_t bytes = !w64 && size == 0xffffffff ? ds64Data : size;
      if (blockAlign == 0) return {"no fmt chunk before the data", 0, -1};
      d.frames = static_cast<int64_t>(bytes / blockAlign * perBlock);
      if (body + bytes > d.end) return {"the data chunk runs past the container", 0, -1};
      return d;
    }
    at = body + size + (w64 ? (8 - size % 8) % 8 : size % 2);
  }
  return {"no data chunk", 0, -1};
}

// AIFF: the COMM chunk's frame count, checked against the SSND chunk.
Declared AiffHeader(const std::string& b) {
  Declared d;
  d.end = Be(b, 4, 4) + 8;
  int64_t frames = -1;
  uint64_t bytesPerFrame = 0;
  for (size_t at = 12; at + 8 <= b.size();) {
    const std::string id = b.substr(at, 4);
    const uint64_t size = Be(b, at + 4, 4);
    if (id == "COMM") {
      frames = static_cast<int64_t>(Be(b, at + 10, 4));
      bytesPerFrame = Be(b, at + 8, 2) * ((Be(b, at + 14, 2) + 7) / 8);
    } else if (id == "SSND") {
      if (frames < 0) return {"no COMM chunk before the data", 0, -1};
      if (static_cast<uint64_t>(frames) * bytesPerFrame + 8 != size)
        return {"COMM and SSND disagree on the length", 0, -1};
      if (at + 8 + size > d.end) return {"the SSND chunk runs past the container", 0, -1};
      d.frames = frames;
      return d;
    }
    at += 8 + size + size % 2;
  }
  return {"no SSND chunk", 0, -1};
}

// CAF: the data chunk's size (-1, "unknown", is a header never finished)
// over the desc chunk's bytes per packet.
Declared CafHeader(const std::string& b) {
  uint64_t bytesPerPacket = 0;
  for (size_t at = 8; at + 12 <= b.size();) {
    const std::string id = b.substr(at, 4);
    const uint64_t size = Be(b, at + 4, 8);
    if (id == "desc") bytesPerPacket = Be(b, at + 12 + 16, 4);
    if (id == "data") {
      if (size == ~uint64_t{0}) return {"the data chunk's size is unknown", 0, -1};
      if (bytesPerPacket == 0) return {"no desc chunk before the data", 0, -1};
      return {"", at + 12 + size, static_cast<int64_t>((size - 4) / bytesPerPacket)};
    }
    at += 12 + size;
  }
  return {"no data chunk", 0, -1};
}

// Sun/NeXT AU: the data size field (0xffffffff, "unknown", is a header
// never finished), 16-bit linear samples.
Declared AuHeader(const std::string& b) {
  const uint64_t offset = Be(b, 4, 4), size = Be(b, 8, 4), channels = Be(b, 20, 4);
  if (Be(b, 12, 4) != 3) return {"not 16-bit linear", 0, -1};
  if (size == 0xffffffff) return {"the data size is unknown", 0, -1};
  return {"", offset + size, static_cast<int64_t>(size / (2 * channels))};
}

// NIST SPHERE: the text header's sample_count.
Declared NistHeader(const std::string& b) {
  const uint64_t headerBytes = std::strtoull(b.c_str() + 8, nullptr, 10);
  const std::string text = b.substr(0, headerBytes);
  auto field = [&](const std::string& key) -> int64_t {
    const size_t at = text.find("\n" + key + " -i ");
    return at == std::string::npos ? -1 : std::atoll(text.c_str() + at + key.size() + 5);
  };
  const int64_t frames = field("sample_count"), channels = field("channel_count"),
                width = field("sample_n_bytes");
  if (frames < 0 || channels <= 0 || width <= 0)
    return {"sample_count, channel_count or sample_n_bytes missing", 0, -1};
  return {"", headerBytes + static_cast<uint64_t>(frames * channels * width), frames};
}

Declared ReadHeader(const std::string& path) {
  const std::string b = test::ReadFile(path);
  if (b.size() < 64) return {"shorter than any header", 0, -1};
  const std::string magic = b.substr(0, 4);
  try {
    if (magic == "RIFF" || magic == "RF64") return RiffHeader(b, false);
    if (magic == "riff") return RiffHeader(b, true);
    if (magic == "FORM") return AiffHeader(b);
    if (magic == "caff") return CafHeader(b);
    if (magic == ".snd") return AuHeader(b);
    if (b.rfind("NIST_1A", 0) == 0) return NistHeader(b);
  } catch (const std::out_of_range&) {
    return {"the header runs past the end of the file", 0, -1};
  }
  return {"unknown container " + magic, 0, -1};
}

struct KilledCase {
  int format;
  int index;
};

class KilledWhileRecording : public ::testing::TestWithParam<KilledCase> {};

TEST_P(KilledWhileRecording, FileIsReadableUpToTheLastSecond) {
  const KilledCase c = GetParam();
  Settings s = ForSubEncoding(c.format, c.index, 2, 7);
  const std::string dir = test::ScratchDir(std::string("writer_killed_") + FormatTag(c.format));
  const std::string path = dir + "/clip" + FileExtensionFor(c.format, s);
  const auto& input = Signal(44100, 2, 5.0);

  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const std::unique_ptr<ClipWriter> writer = MakeClipWriter(s);
    if (!writer->Open(path).empty()) _exit(2);
    if (!WriteBlocks(*writer, input, 44100, 2)) _exit(3);
    kill(getpid(), SIGKILL);  // no Close, no destructor
    _exit(4);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFSIGNALED(status)) << "child exit " << WEXITSTATUS(status);

  // The header itself covers all but the last second or less, and no more
  // than the file holds.
  const Declared header = ReadHeader(path);
  ASSERT_EQ(header.error, "");
  EXPECT_GE(header.frames, 4 * 44100) << "the header was not kept up to date";
  EXPECT_LE(header.frames, 5 * 44100);
  EXPECT_LE(header.end, fs::file_size(path)) << "the header claims more than the file holds";

  const test::Audio got = test::ReadAudio(path);
  ASSERT_EQ(got.rate, 44100);
  EXPECT_EQ(got.channels, 2);
  EXPECT_GE(got.frames, 4 * 44100);
  EXPECT_LE(got.frames, 5 * 44100);
  if (IsLossless(c.format, SubEncodingsOf(c.format)[c.index].subtype)) {
    EXPECT_TRUE(std::equal(got.samples.begin(), got.samples.end(), input.begin()));
  }
  if (FfprobeReads(c.format, SF_FORMAT_PCM_16)) {
    EXPECT_GE(FfprobeDuration(path), 4.0);
  }
  if (c.format == kFormatWAV && c.index < 8) {
    // Read straight from the header, without a library that mends sizes:
    // it covers every block written, and the file ends with the data.
    const Chunks chunks = ParseRiff(path);
    ASSERT_TRUE(chunks.at.count("data"));
    const auto [dataAt, dataSize] = chunks.at.at("data");
    EXPECT_EQ(dataAt + dataSize, fs::file_size(path));
    EXPECT_EQ(chunks.riffSize + 8, fs::file_size(path));
    EXPECT_EQ(dataSize % 4, 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, KilledWhileRecording,
                         ::testing::Values(KilledCase{kFormatWAV, 1}, KilledCase{kFormatWAV, 4},
                                           KilledCase{kFormatWAV, 8}, KilledCase{kFormatAIFF, 2},
                                           KilledCase{kFormatW64, 1}, KilledCase{kFormatCAF, 1},
                                           KilledCase{kFormatWAVEX, 2}, KilledCase{kFormatAU, 1},
                                           KilledCase{kFormatNIST, 1}),
                         [](const ::testing::TestParamInfo<KilledCase>& info) {
                           return std::string(FormatTag(info.param.format)) + "_" +
                                  std::to_string(info.param.index);
                         });

// ---------------------------------------------------------------------------
// Running out of room while writing.

struct FullResult {
  int64_t framesWritten = -1;  // frames accepted before the failing Write
  int failedWrites = 0;        // Write calls answering false (stops after the second)
  int closeOk = 0;
  char error[512] = {};
};

class WriteFailure : public ::testing::TestWithParam<KilledCase> {};

TEST_P(WriteFailure, IsReportedAndTheFileKeepsWhatWasWritten) {
  const KilledCase c = GetParam();
  Settings s = ForSubEncoding(c.format, c.index, 2, 7);
  const std::string dir = test::ScratchDir(std::string("writer_full_") + FormatTag(c.format));
  const std::string path = dir + "/clip" + FileExtensionFor(c.format, s);
  const auto& input = Signal(44100, 2, 5.0);  // 882 kB of 16-bit stereo
  const size_t block = 4410;

  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    close(fds[0]);
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{200 * 1024, 200 * 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
    FullResult r;
    const std::unique_ptr<ClipWriter> made = MakeClipWriter(s);
    ClipWriter& writer = *made;
    if (writer.Open(path).empty()) {
      for (size_t at = 0; at + block <= input.size() / 2; at += block) {
        if (!writer.Write(input.data() + at * 2, block)) {
          if (++r.failedWrites == 2) break;  // a second try must fail as well
          std::snprintf(r.error, sizeof r.error, "%s", writer.ErrorText().c_str());
        } else if (r.failedWrites == 0) {
          r.framesWritten = static_cast<int64_t>(at + block);
        } else {
          r.failedWrites = 100;  // accepted data after a failure
          break;
        }
      }
      r.closeOk = writer.Close() ? 1 : 0;
    }
    [[maybe_unused]] ssize_t n = write(fds[1], &r, sizeof r);
    _exit(0);
  }
  close(fds[1]);
  FullResult r;
  ASSERT_EQ(read(fds[0], &r, sizeof r), static_cast<ssize_t>(sizeof r));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);

  EXPECT_EQ(r.failedWrites, 2);
  EXPECT_EQ(r.closeOk, 1);
  const std::string error = r.error;
  EXPECT_EQ(error.rfind("Error writing file " + path + ": ", 0), 0u) << error;
  EXPECT_NE(error.find(std::strerror(EFBIG)), std::string::npos) << error;
  ASSERT_GT(r.framesWritten, 0);
  EXPECT_LT(r.framesWritten * 4, 200 * 1024);
  EXPECT_LE(fs::file_size(path), 200u * 1024);

  // Everything accepted before the failure is in the file, and nothing made up.
  const test::Audio got = test::ReadAudio(path);
  ASSERT_EQ(got.rate, 44100);
  EXPECT_GE(got.frames, r.framesWritten);
  EXPECT_LT(got.frames, r.framesWritten + static_cast<int64_t>(block));
  EXPECT_TRUE(std::equal(got.samples.begin(), got.samples.end(), input.begin()));
}

INSTANTIATE_TEST_SUITE_P(Formats, WriteFailure,
                         ::testing::Values(KilledCase{kFormatWAV, 1}, KilledCase{kFormatAIFF, 2},
                                           KilledCase{kFormatW64, 1}, KilledCase{kFormatCAF, 1}),
                         [](const ::testing::TestParamInfo<KilledCase>& info) {
                           return std::string(FormatTag(info.param.format)) + "_" +
                                  std::to_string(info.param.index);
                         });

}  // namespace
}  // namespace tarvexa
