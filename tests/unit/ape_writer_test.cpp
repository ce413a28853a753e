// Monkey's Audio through MACDll.so: files decoded by FFmpeg with CRC
// checking, bit for bit, at every level, layout and frame size; the edge
// cases of the writer (one sample, no sample, split clips, seeking, a full
// disk); the tag and stream-property calls; binding failures and the level
// correction.
#include <dlfcn.h>
#include <nettle/md5.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>

#include "EngineRecording.h"
#include "encoders/ape/ApeWriter.h"

using namespace tarvexa;
using namespace tarvexa::test;
namespace fs = std::filesystem;

namespace {

constexpr int kRate = 44100;

// MACDll.so opened by the test itself, for the calls the writer does not make.
struct Dll {
  void* h = dlopen(TARVEXA_BIN_DIR "/MACDll.so", RTLD_NOW);
  template <class Fn>
  Fn* Get(const char* name) const {
    return reinterpret_cast<Fn*>(h ? dlsym(h, name) : nullptr);
  }
};
const Dll& Library() {
  static const Dll dll;
  return dll;
}

Settings ApeSettings(int level = 3000, int chan = 2) {
  Settings s;
  s.OUTPUT.OutputFormat = kFormatAPE;
  s.OUTPUT.Freq = 7;
  s.OUTPUT.Chan = int16_t(chan);
  s.APE.CompLev = int16_t(level);
  return s;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  const std::string s = ReadFile(path);
  return {s.begin(), s.end()};
}

// Decodes with FFmpeg checking every frame's CRC; *errors gets what FFmpeg
// said (nothing for a clean file).
std::vector<uint8_t> Decode(const std::string& path, int bits, std::string* errors,
                            const std::string& before = "") {
  const char* pcm = bits == 8 ? "u8" : bits == 24 ? "s24le" : "s16le";
  const std::string raw = path + ".raw";
  fs::remove(raw);
  test::Run("ffmpeg -nostdin -y -v error -err_detect crccheck " + before + " -i " + Quote(path) +
                " -f " + pcm + " -c:a pcm_" + pcm + " " + Quote(raw),
            errors);
  return ReadBytes(raw);
}

std::vector<uint8_t> AsBytes(const std::vector<int16_t>& s) {
  std::vector<uint8_t> b(s.size() * 2);
  std::memcpy(b.data(), s.data(), b.size());
  return b;
}
std::vector<int16_t> AsSamples(const std::vector<uint8_t>& b) {
  std::vector<int16_t> s(b.size() / 2);
  std::memcpy(s.data(), b.data(), s.size() * 2);
  return s;
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
         uint32_t(b[at + 3]) << 24;
}

// The MD5 the descriptor holds is that of the frame data, the header block
// and the seek table of the finished file.
bool Md5Matches(const std::vector<uint8_t>& f) {
  const uint32_t seekBytes = Le32(f, 16);
  const uint64_t dataBytes = Le32(f, 24) | uint64_t(Le32(f, 28)) << 32;
  const size_t first = 76 + seekBytes;
  if (f.size() < first + dataBytes) return false;
  md5_ctx c;
  md5_init(&c);
  md5_update(&c, dataBytes, &f[first]);
  md5_update(&c, 24, &f[52]);
  md5_update(&c, seekBytes, &f[76]);
  uint8_t digest[16];
  md5_digest(&c, 16, digest);
  return std::memcmp(digest, &f[36], 16) == 0;
}

// Test signals as interleaved samples of `bits` (8-bit unsigned).
enum class Signal { Silence, SameChannels, OppositeSquares, WhiteNoise, PinkNoise, Sweep };
const char* Name(Signal s) {
  const char* names[] = {"silence", "same", "squares", "white", "pink", "sweep"};
  return names[int(s)];
}

std::vector<uint8_t> MakeSignal(Signal sig, int channels, int bits, int frames) {
  std::mt19937 rng(uint32_t(int(sig) * 7 + channels));
  const int64_t top = (int64_t(1) << (bits - 1)) - 1;
  double pink[2][7] = {};
  auto white = [&] { return double(int32_t(rng())) / 2147483648.0; };
  auto pinkNext = [&](int c) {  // a sum of octave-spaced low-passed noises
    double sum = 0;
    for (int k = 0; k < 7; ++k)
      sum += pink[c][k] = pink[c][k] * (1.0 - 1.0 / (1 << k)) + white() * 0.25;
    return std::clamp(sum * 0.2, -1.0, 1.0);
  };
  std::vector<uint8_t> out;
  for (int i = 0; i < frames; ++i) {
    const double t = double(i) / kRate;
    // 20 Hz to 20 kHz in 2.5 s, the right channel a radian ahead.
    const double phase = 2 * M_PI * 20 * (std::pow(1000.0, t / 2.5) - 1) * 2.5 / std::log(1000.0);
    const double shared = pinkNext(0);
    for (int c = 0; c < channels; ++c) {
      int64_t v = 0;
      switch (sig) {
        case Signal::Silence: break;
        case Signal::SameChannels: v = std::lround(shared * top); break;
        case Signal::OppositeSquares: v = ((i / 50) % 2 == 0) == (c == 0) ? top : -top - 1; break;
        case Signal::WhiteNoise: v = int64_t(rng() >> (32 - bits)) - (top + 1); break;
        case Signal::PinkNoise: v = std::lround((c == 0 ? shared : pinkNext(1)) * top); break;
        case Signal::Sweep: v = std::lround(0.9 * std::sin(phase + c) * top); break;
      }
      for (int b = 0; b < bits / 8; ++b)
        out.push_back(uint8_t((bits == 8 ? v + 128 : v) >> (8 * b)));
    }
  }
  return out;
}

// Compresses `pcm` through the library's entry points, in pieces that do not
// line up with sample frames; frameBlocks 0 keeps the level's own.
std::string Compress(const std::string& path, const std::vector<uint8_t>& pcm, int channels,
                     int bits, int level, int frameBlocks) {
  const Dll& d = Library();
  int err = 0;
  MacCompressHandle h = d.Get<MacCompressCreateFn>(kMacCompressCreateName)(&err);
  if (frameBlocks)
    d.Get<MacCompressSetFrameBlocksFn>(kMacCompressSetFrameBlocksName)(h, frameBlocks);
  const uint16_t align = uint16_t(channels * bits / 8);
  const MacWaveFormat f{1,     uint16_t(channels), kRate, uint32_t(kRate * align),
                        align, uint16_t(bits),     0};
  std::string problem;
  if (int rc = d.Get<MacCompressStartFn>(kMacCompressStartName)(
          h, path.c_str(), &f, int64_t(pcm.size()), level, nullptr, -1)) {
    problem = "start " + std::to_string(rc);
  }
  for (size_t at = 0; problem.empty() && at < pcm.size(); at += 9973) {
    const int n = int(std::min<size_t>(9973, pcm.size() - at));
    if (int rc = d.Get<MacCompressAddDataFn>(kMacCompressAddDataName)(h, &pcm[at], n))
      problem = "add " + std::to_string(rc);
  }
  if (int rc = d.Get<MacCompressFinishFn>(kMacCompressFinishName)(h, nullptr, 0, 0);
      problem.empty() && rc)
    problem = "finish " + std::to_string(rc);
  d.Get<MacCompressDestroyFn>(kMacCompressDestroyName)(h);
  return problem;
}

}  // namespace

// ---------------------------------------------------------------------------

TEST(ApeRoundTrip, EveryLevelLayoutSignalAndFrameSizeDecodesBitExactWithValidCrcs) {
  const std::string dir = ScratchDir("ape_round_trip");
  struct Case {
    int level, channels, bits;
    Signal signal;
    int frameBlocks;
  };
  std::vector<Case> cases;
  const Signal all[] = {Signal::Silence,    Signal::SameChannels, Signal::OppositeSquares,
                        Signal::WhiteNoise, Signal::PinkNoise,    Signal::Sweep};
  for (int level = 1000; level <= 5000; level += 1000)
    for (int channels : {1, 2})
      for (Signal s : all)
        for (int frameBlocks : {0, 4099}) cases.push_back({level, channels, 16, s, frameBlocks});
  for (int bits : {8, 24})
    for (int level : {1000, 3000, 5000})
      for (int channels : {1, 2})
        for (Signal s : {Signal::WhiteNoise, Signal::PinkNoise})
          cases.push_back({level, channels, bits, s, 1021});

  const int frames = kRate * 5 / 2;  // 2.5 s: one whole frame and a shorter one by default
  std::map<std::string, size_t> sizes;
  for (const Case& c : cases) {
    const std::string name = std::to_string(c.level) + "_" + std::to_string(c.channels) + "ch_" +
                             std::to_string(c.bits) + "bit_" + Name(c.signal) + "_" +
                             std::to_string(c.frameBlocks);
    SCOPED_TRACE(name);
    const std::string ape = dir + "/" + name + ".ape";
    const auto pcm = MakeSignal(c.signal, c.channels, c.bits, frames);
    {
      // The small frames go through the NN filters' portable loop, the
      // others through the AVX2 one where the processor has it.
      ScopedEnv portable("MACDLL_NO_AVX2", c.frameBlocks ? "1" : nullptr);
      ASSERT_EQ(Compress(ape, pcm, c.channels, c.bits, c.level, c.frameBlocks), "");
    }
    std::string errors;
    EXPECT_TRUE(Decode(ape, c.bits, &errors) == pcm) << "not bit-exact";
    EXPECT_EQ(errors, "");
    const auto file = ReadBytes(ape);
    EXPECT_TRUE(Md5Matches(file));
    sizes[name] = file.size();
  }
  // The frame flags: identical channels cost what one channel costs, and
  // digital silence next to nothing.
  for (int level = 1000; level <= 5000; level += 1000) {
    const std::string at = std::to_string(level) + "_";
    EXPECT_LT(sizes[at + "2ch_16bit_same_4099"], sizes[at + "1ch_16bit_same_4099"] + 28 * 16)
        << level;
    EXPECT_LT(sizes[at + "2ch_16bit_silence_4099"], 76u + 28 * 4 + 28 * 24) << level;
  }
}

TEST(ApeWriter, OneSampleNoSampleSplitClipsAndSeekingDecodeExactly) {
  const std::string dir = ScratchDir("ape_writer_edges");
  std::string errors;
  {  // One sample frame, and a clip closed before any sample.
    ApeWriter one(ApeSettings(2000));
    ASSERT_EQ(one.Open(dir + "/one.ape"), "");
    const std::vector<int16_t> sample = {-12345, 321};
    ASSERT_TRUE(Feed(one, sample, kRate, 2));
    ASSERT_TRUE(one.Close());
    EXPECT_EQ(Decode(dir + "/one.ape", 16, &errors), AsBytes(sample));
    EXPECT_EQ(errors, "");

    ApeWriter none(ApeSettings(5000, 1));
    ASSERT_EQ(none.Open(dir + "/none.ape"), "");
    ASSERT_TRUE(none.Close());
    EXPECT_EQ(Decode(dir + "/none.ape", 16, &errors), std::vector<uint8_t>(2, 0))
        << "a recording without samples is one silent sample, so the output list's file plays";
    EXPECT_EQ(errors, "");
  }

  // Split clips through the engine, each ending in mid-frame.
  const auto pcm = MakeSignal(Signal::PinkNoise, 2, 16, kRate * 5);
  const std::vector<int16_t> samples = AsSamples(pcm);
  WriteWav(dir + "/in.wav", kRate, 2, samples);
  Settings s = ApeSettings(2000);
  s.MISC.Split = 1;
  s.MISC.SplitSec = 2;
  Recording r = RecordFile(s, dir + "/in.wav", dir + "/talk.ape");
  ASSERT_TRUE(r.finished);
  ASSERT_EQ(r.clips.size(), 3u);
  // The library is bound once for the whole recording and let go after it.
  std::vector<std::pair<std::string, int>> binding;
  for (const auto& line : r.logs)
    if (line.first.find("MACDll.so") != std::string::npos) binding.push_back(line);
  EXPECT_EQ(binding, (std::vector<std::pair<std::string, int>>{{"Load MACDll.so", 0},
                                                               {"Free MACDll.so", 0}}));
  EXPECT_EQ(MacLibrary::Current(), nullptr);
  size_t offset = 0;
  for (size_t i = 0; i < 3; ++i) {
    const size_t bytes = size_t(i < 2 ? 2 : 1) * kRate * 4;
    EXPECT_TRUE(
        Decode(r.clips[i], 16, &errors) ==
        std::vector<uint8_t>(pcm.begin() + long(offset), pcm.begin() + long(offset + bytes)))
        << r.clips[i];
    EXPECT_EQ(errors, "");
    offset += bytes;
  }

  // Seeking lands on the right sample, in the first frame and in the last.
  ApeWriter whole(ApeSettings(2000));
  ASSERT_EQ(whole.Open(dir + "/whole.ape"), "");
  ASSERT_TRUE(Feed(whole, samples, kRate, 2));
  ASSERT_TRUE(whole.Close());
  for (double at : {0.5, 3.7}) {
    const auto got = Decode(dir + "/whole.ape", 16, &errors, "-ss " + std::to_string(at));
    const size_t from = size_t(std::lround(at * kRate)) * 4;
    ASSERT_GE(got.size(), size_t(kRate));
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + kRate, pcm.begin() + long(from))) << at;
    EXPECT_EQ(errors, "");
  }
}

TEST(ApeLibrary, TagsAndStreamPropertiesLeaveTheAudioAlone) {
  const std::string dir = ScratchDir("ape_tags");
  const std::string ape = dir + "/tagged.ape";
  const auto pcm = MakeSignal(Signal::Sweep, 1, 16, kRate * 3);
  const std::vector<int16_t> samples = AsSamples(pcm);
  ApeWriter w(ApeSettings(3000, 1));
  ASSERT_EQ(w.Open(ape), "");
  ASSERT_TRUE(Feed(w, samples, kRate, 1));
  ASSERT_TRUE(w.Close());
  const auto untagged = fs::file_size(ape);

  const auto lib = MacLibrary::LoadForTags(nullptr);
  ASSERT_NE(lib, nullptr);
  auto tagFile = lib->tagFileSimple;
  auto getTag = lib->getId3Tag;
  MacId3Tag tag;
  EXPECT_EQ(getTag(ape.c_str(), &tag), kMacErrorNoTag);
  ASSERT_EQ(tagFile(ape.c_str(), "Artist A", "Album B", "A Title Longer Than Thirty Bytes", "Note",
                    "Jazz", "2026", "7", 1, 0),
            0);
  ASSERT_EQ(getTag(ape.c_str(), &tag), 0);
  EXPECT_EQ(std::string(tag.artist, strnlen(tag.artist, 30)), "Artist A");
  EXPECT_EQ(std::string(tag.title, 30), "A Title Longer Than Thirty Byt");
  EXPECT_EQ(std::string(tag.year, 4), "2026");
  EXPECT_EQ(tag.track, 7);
  EXPECT_EQ(tag.genre, 8);  // "Jazz" in the ID3v1 list
  for (const auto& [key, value] :
       {std::pair<std::string, std::string>{"title", "A Title Longer Than Thirty Bytes"},
        {"genre", "Jazz"}}) {
    std::string out;
    test::Run("ffprobe -v error -show_entries format_tags=" + key + " -of default=nw=1:nk=1 " +
                  Quote(ape),
              &out);
    EXPECT_EQ(out, value + "\n");
  }
  std::string errors;
  EXPECT_TRUE(Decode(ape, 16, &errors) == pcm);
  EXPECT_EQ(errors, "");

  int err = -1;
  MacDecompressHandle h = lib->decompressCreate(ape.c_str(), &err);
  ASSERT_NE(h, nullptr);
  auto info = [&](int field) { return lib->decompressGetInfo(h, field); };
  EXPECT_EQ(info(kMacInfoSampleRate), kRate);
  EXPECT_EQ(info(kMacInfoChannels), 1);
  EXPECT_EQ(info(kMacInfoBitsPerSample), 16);
  EXPECT_EQ(info(kMacInfoTotalBlocks), kRate * 3);
  EXPECT_EQ(info(kMacInfoLengthMs), 3000);
  EXPECT_EQ(info(kMacInfoCompressionLevel), 3000);
  EXPECT_EQ(info(kMacInfoApeFileBytes), int64_t(untagged));
  lib->decompressDestroy(h);
  EXPECT_EQ(lib->decompressCreate((dir + "/in.none").c_str(), &err), nullptr);
  EXPECT_EQ(err, kMacErrorOpenFile);
}

// ---------------------------------------------------------------------------
// Failures.

TEST(ApeBinding, MissingIncompatibleOrIncompleteLibrariesAreRefusedWithTheirReason) {
  const std::string dir = ScratchDir("ape_binding");
  const std::string variants = std::string(TARVEXA_TEST_WORK) + "/macdll_variants/";
  struct Case {
    std::string folder, line;
    int level;
  } cases[] = {
      {dir, "Fail to load MACDll.so!", 1},
      {variants + "incompatible", "MACDll.so is not compatible with this recorder", 2},
      {variants + "without_add_data", "MACDll.so lacks the entry point c_APECompress_AddData", 2},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(c.folder == dir || fs::exists(c.folder + "/MACDll.so")) << c.folder;
    ScopedEnv env("TARVEXA_LIB_DIR", c.folder);
    std::vector<std::pair<std::string, int>> lines;
    EXPECT_FALSE(PrepareApeRecording(ApeSettings(), [&](const std::string& t, int l) {
      lines.push_back({t, l});
    }));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].first.substr(0, c.line.size()), c.line);
    EXPECT_EQ(lines[0].second, c.level);
    EXPECT_EQ(MacLibrary::Current(), nullptr);
  }
  // Through a recording: nothing is created.
  ScopedEnv env("TARVEXA_LIB_DIR", dir);
  Recording r =
      RecordFile(ApeSettings(), MakeTestWav(dir + "/in.wav", kRate, 2, 0.5), dir + "/out.ape");
  EXPECT_TRUE(r.Logged("Fail to load MACDll.so!"));
  EXPECT_TRUE(r.clips.empty());
  EXPECT_FALSE(fs::exists(dir + "/out.ape"));
}

TEST(ApeFailures, FailedStartLeavesNoFileAndAFullDiskEndsOnTheLastWholeFrame) {
  const std::string dir = ScratchDir("ape_failures");
  std::vector<std::pair<std::string, int>> notes;
  ApeWriter w(ApeSettings());
  w.SetNoticeSink([&](const std::string& t, int l) { notes.push_back({t, l}); });
  EXPECT_EQ(w.Open(dir + "/no/such/folder/out.ape"), "Error starting encoder.\n");
  EXPECT_FALSE(fs::exists(dir + "/no/such/folder/out.ape"));
  EXPECT_TRUE(notes.empty()) << "nothing was created, so nothing is deleted";

  // A full disk (a file-size limit stands in for it) during the second frame.
  const auto pcm = MakeSignal(Signal::WhiteNoise, 2, 16, kRate * 6);
  const std::vector<int16_t> samples = AsSamples(pcm);
  const std::string ape = dir + "/full.ape";
  const std::string said = InChild([&] {
    LimitFileSize(560 * 1024);  // the 24-hour seek table and one frame fit
    ApeWriter full(ApeSettings(1000));
    if (std::string e = full.Open(ape); !e.empty()) return e;
    const bool fed = Feed(full, samples, kRate, 2);
    return std::string(fed ? "fed" : full.ErrorText()) + (full.Close() ? "" : " close failed");
  });
  EXPECT_EQ(said, "Encoding error (error code: 1001)\r\n");
  std::string errors;
  const auto got = Decode(ape, 16, &errors);
  EXPECT_EQ(errors, "");
  EXPECT_EQ(got.size(), 73728u * 4) << "exactly the first whole frame";
  EXPECT_TRUE(std::equal(got.begin(), got.end(), pcm.begin()));
  EXPECT_TRUE(Md5Matches(ReadBytes(ape)));
}

TEST(ApeSettings, ALevelOutsideTheFiveBecomesTheNearestWithAWarning) {
  const struct {
    int stored, used;
  } cases[] = {{1000, 1000}, {5000, 5000}, {7000, 5000}, {-5, 1000}, {2499, 2000}, {2500, 3000}};
  for (const auto& c : cases) {
    Settings s = ApeSettings(c.stored);
    const FormatApplied a = ApplyOutputFormat(s, RateChannelMatrix::All());
    EXPECT_EQ(s.APE.CompLev, c.used) << c.stored;
    EXPECT_EQ(a.extraLog.size(), c.stored == c.used ? 0u : 1u) << c.stored;
    for (const auto& [text, level] : a.extraLog) EXPECT_EQ(level, 1) << text;
    EXPECT_EQ(a.label, ApeFormatLabel(s));
    EXPECT_EQ(a.refusedBox, "");
  }
  Settings fast = ApeSettings(1000, 1);
  fast.OUTPUT.Freq = 0;
  EXPECT_EQ(ApeFormatLabel(fast), "APE:  Compression Level Fast;  8000 Hz;  Mono;");
  EXPECT_EQ(ApeFormatLabel(ApeSettings(4000)),
            "APE: Compression Level Extra High;  44100 Hz;  Stereo;");
}
