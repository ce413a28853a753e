// The writers that encode through outside programs: the command lines they
// build, the header they send, the ".ces" file, and recordings through the
// engine into a capture program and into programs that fail, stall or are
// missing (the real encoders are checked end to end from the command line).
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>

#include "EngineRecording.h"
#include "encoders/external/AacWriter.h"
#include "encoders/external/CusSetting.h"
#include "encoders/external/CustomEncoderWriter.h"
#include "encoders/external/MusepackWriter.h"
#include "formats/FormatCatalogue.h"

namespace tarvexa {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

uint32_t Le(const uint8_t* p, int bytes) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= static_cast<uint32_t>(p[i]) << (8 * i);
  return v;
}

TEST(ExternalCommands, MusepackQualityAndAacSwitchesAsTheProgramsReadThem) {
  Settings s;
  const Args mpc = MusepackArguments(s, "mpcenc", "/r/a b.mpc");
  EXPECT_EQ(mpc, Args({"mpcenc", "--quality", "5.00", "--overwrite", "-", "/r/a b.mpc"}));
  s.MPC.Quality = 0;
  EXPECT_EQ(MusepackArguments(s, "mpcenc", "x")[2], "0.00");

  struct Case {
    const char* what;
    void (*set)(Settings::AacSection&);
    const char* switches;
  };
  const Case cases[] = {
      {"defaults (MP4)", [](Settings::AacSection&) {},
       " -q  100  --no-midside  --mpeg-vers 4  -w "},
      {"raw AAC has no wrapper", [](Settings::AacSection& a) { a.ContainerFormat = 0; },
       " -q  100  --no-midside  --mpeg-vers 4 "},
      {"ABR, TNS, mid/side, MPEG-2, Main, no short blocks",
       [](Settings::AacSection& a) {
         a.FAACEncMode = 1, a.FAACAbr = 96, a.FAACTns = 1, a.FAACMidside = 1, a.MPEGVer = 0;
         a.FAACObjType = 1, a.FAACBlkType = 1, a.ContainerFormat = 1;
       },
       " -b  96  --tns  --mpeg-vers 2  --obj-type Main  --shortctl 1  -w "},
      {"Nero quality", [](Settings::AacSection& a) { a.ContainerFormat = 5; },
       " -q  0.350000 -ignorelength"},
      {"Nero CBR, HE",
       [](Settings::AacSection& a) { a.ContainerFormat = 4, a.NEROEncMode = 2, a.NEROForPro = 2; },
       " -cbr  96000  -he -ignorelength"},
      {"CT, mono, speech, HEV2",
       [](Settings::AacSection& a) {
         a.ContainerFormat = 8, a.CTMono = 1, a.CTSpeech = 1, a.CTForPro = 3;
       },
       " --br  128000  --mono  --speech  --high"},
      {"unknown container", [](Settings::AacSection& a) { a.ContainerFormat = 9; }, ""},
  };
  for (const Case& c : cases) {
    Settings t;
    c.set(t.AAC);
    EXPECT_EQ(BuildAacSwitches(t), c.switches) << c.what;
  }

  // The output path is one argument whatever it holds.
  const std::string path = "/r/it's \"a\" b.m4a";
  Settings t;
  Args faac = AacArguments(t, BuildAacSwitches(t), path);
  ASSERT_FALSE(faac.empty());
  EXPECT_EQ(Args(faac.begin() + 1, faac.end()),
            Args({"-q", "100", "--no-midside", "--mpeg-vers", "4", "-w", "-o", path, "-"}));
  t.AAC.ContainerFormat = 7;
  Args nero = AacArguments(t, BuildAacSwitches(t), path);
  EXPECT_EQ(Args(nero.end() - 5, nero.end()), Args({"-ignorelength", "-of", path, "-if", "-"}));
  t.AAC.ContainerFormat = 8;
  Args ct = AacArguments(t, BuildAacSwitches(t), path);
  EXPECT_EQ(Args(ct.begin() + 1, ct.begin() + 5), Args({"-", path, "--br", "128000"}));
}

TEST(ExternalCommands, TheUserEncodersParametersAreWordsWithTheOutputPathInserted) {
  Settings::CustomSection c;
  c.Encoder = "/usr/bin/lame";
  const std::string path = "/rec/my \"best\" it's $HOME.mp3";
  struct Case {
    const char* parameter;
    Args words;
  };
  const Case cases[] = {
      {"-V0 - %of%", {"-V0", "-", path}},
      {"%of% --copy=%of%", {path, "--copy=" + path}},
      {"-o '%of%' --title 'A b' \"$HOME\"", {"-o", path, "--title", "A b", "$HOME"}},
      {"-V2 -", {"-V2", "-"}},
  };
  for (const Case& k : cases) {
    c.Parameter = k.parameter;
    const ExternalCommand cmd = CustomEncoderCommand(c, path);
    ASSERT_TRUE(cmd.error.empty()) << k.parameter;
    EXPECT_EQ(cmd.argv, [&] {
      Args a{c.Encoder};
      a.insert(a.end(), k.words.begin(), k.words.end());
      return a;
    }()) << k.parameter;
    EXPECT_EQ(cmd.expectFile, std::string(k.parameter).find("%of%") != std::string::npos);
  }
  c.Parameter = "-V0 'unclosed %of%";
  EXPECT_FALSE(CustomEncoderCommand(c, path).error.empty());
  EXPECT_FALSE(PrepareCustomEncoder([&] {
                 Settings s;
                 s.CUSTOM = c;
                 return s;
               }())
                   .empty());
}

TEST(ExternalCommands, TheStdinHeaderDescribesTheStream) {
  struct Case {
    int rate, channels;
    uint32_t length, riffSize, byteRate, align;
  };
  const Case cases[] = {{11025, 1, kUnknownDataLength, 35, 22050, 2},
                        {44100, 2, kAacHeaderDataLength, 136, 176400, 4},
                        {48000, 2, kUnknownDataLength, 35, 192000, 4}};
  for (const Case& c : cases) {
    const auto h = StdinWavHeader(c.rate, c.channels, c.length);
    EXPECT_EQ(std::string(h.begin(), h.begin() + 4) + std::string(h.begin() + 8, h.begin() + 16),
              "RIFFWAVEfmt ");
    EXPECT_EQ(std::string(h.begin() + 36, h.begin() + 40), "data");
    EXPECT_EQ(Le(&h[4], 4), c.riffSize);
    EXPECT_EQ(Le(&h[16], 4), 16u);
    EXPECT_EQ(Le(&h[20], 2), 1u);
    EXPECT_EQ(Le(&h[22], 2), static_cast<uint32_t>(c.channels));
    EXPECT_EQ(Le(&h[24], 4), static_cast<uint32_t>(c.rate));
    EXPECT_EQ(Le(&h[28], 4), c.byteRate);
    EXPECT_EQ(Le(&h[32], 2), c.align);
    EXPECT_EQ(Le(&h[34], 2), 16u);
    EXPECT_EQ(Le(&h[40], 4), c.length);
  }
}

TEST(CesFile, GoldenBytesRoundTripAndDamagedFiles) {
  CCusSetting s;
  s.encoder = "/e";
  s.parameter = "-V2 - %of%";
  s.fileExt = "mp3";
  s.input = 1;
  s.detail = 1;
  const std::vector<uint8_t> golden = {2,   '/', 'e', 10,  '-', 'V', '2', ' ', '-', ' ', '%', 'o',
                                       'f', '%', 3,   'm', 'p', '3', 1,   0,   1,   0,   0,   0};
  EXPECT_EQ(s.Serialize(), golden);

  // Long texts take the longer length prefixes.
  s.parameter = std::string(300, 'p');
  std::vector<uint8_t> bytes = s.Serialize();
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 3, bytes.begin() + 6),
            std::vector<uint8_t>({0xFF, 0x2C, 0x01}));
  CCusSetting back;
  ASSERT_TRUE(CCusSetting::Deserialize(bytes, &back));
  EXPECT_EQ(back.Serialize(), bytes);

  const std::string dir = test::ScratchDir("ces");
  ASSERT_TRUE(SaveCesFile(dir + "/a.ces", s, nullptr));
  CCusSetting loaded;
  ASSERT_TRUE(LoadCesFile(dir + "/a.ces", &loaded));
  EXPECT_EQ(loaded.parameter, s.parameter);

  // Every truncation, a trailing byte, an unknown input type, an overlong
  // extension: not a setting. Nothing is changed then.
  const CCusSetting untouched = loaded;
  for (size_t n = 0; n < golden.size(); ++n)
    EXPECT_FALSE(
        CCusSetting::Deserialize({golden.begin(), golden.begin() + static_cast<long>(n)}, &loaded))
        << n;
  auto edited = [&](size_t at, uint8_t v) {
    auto b = golden;
    if (at == b.size())
      b.push_back(v);
    else
      b[at] = v;
    return b;
  };
  for (const auto& bad :
       {edited(golden.size(), 0), edited(18, 2), edited(14, 0x20), edited(0, 0xFF)})
    EXPECT_FALSE(CCusSetting::Deserialize(bad, &loaded));
  EXPECT_EQ(loaded.Serialize(), untouched.Serialize());
  EXPECT_FALSE(LoadCesFile(dir + "/missing.ces", &loaded));

  // Random damage never crashes and never yields a half-read setting.
  std::mt19937 rng(7);
  for (int i = 0; i < 3000; ++i) {
    auto b = golden;
    for (int k = 0; k < 3; ++k) b[rng() % b.size()] = static_cast<uint8_t>(rng());
    b.resize(rng() % (b.size() + 4), static_cast<uint8_t>(rng()));
    CCusSetting out;
    if (CCusSetting::Deserialize(b, &out)) {
      EXPECT_EQ(out.Serialize(), b);
    }
  }
}

// ----------------------------------------------------------- recordings

struct UserEncoder {
  explicit UserEncoder(const std::string& name)
      : dir(test::ScratchDir("user-encoder-" + name)),
        home(dir + "/home"),
        env("TARVEXA_HOME", home) {
    fs::create_directories(home);
    input = test::MakeTestWav(dir + "/in.wav", 22050, 2, 2.0);
    s.OUTPUT.OutputFormat = kFormatUserCustomized;
    s.OUTPUT.Freq = 4;  // 22050 Hz
    s.OUTPUT.Chan = 2;
    s.CUSTOM.Encoder = "/bin/sh";
    s.CUSTOM.FileExt = "raw";
  }
  test::Recording Run(const std::string& parameter, int input = 0) {
    s.CUSTOM.Parameter = parameter;
    s.CUSTOM.Input = static_cast<int16_t>(input);
    return test::RecordFile(s, this->input, out);
  }
  std::string dir, home;
  test::ScopedEnv env;
  std::string input;
  std::string out = dir + "/my \"rec\" it's.raw";
  Settings s;
};

// A "program" that copies what it reads into the output file.
constexpr char kCapture[] = "-c 'cat > \"$1\"' capture %of%";

TEST(UserEncoderRecording, TheProgramReadsTheHeaderOrTheBareSamples) {
  UserEncoder u("capture");
  const test::Audio in = test::ReadAudio(u.input);
  std::string pcm(reinterpret_cast<const char*>(in.samples.data()), in.samples.size() * 2);
  for (int input : {0, 1}) {
    const test::Recording r = u.Run(kCapture, input);
    ASSERT_EQ(r.clips.size(), 1u) << input;
    const std::string got = test::ReadFile(u.out);
    const std::string header =
        input == 0 ? std::string(reinterpret_cast<const char*>(
                                     StdinWavHeader(22050, 2, kUnknownDataLength).data()),
                                 44)
                   : std::string();
    EXPECT_EQ(got.size(), header.size() + pcm.size()) << input;
    EXPECT_TRUE(got == header + pcm) << "input type " << input;
  }
  // The launch, the command line and the end, each at level 0.
  const test::Recording r = u.Run(kCapture, 1);
  for (const std::string& line : {std::string(kLaunchNotice), std::string(kTerminatedNotice)})
    EXPECT_TRUE(r.Logged(line)) << line;
  EXPECT_TRUE(r.LoggedPart("/bin/sh -c 'cat > \"$1\"' capture '" + u.dir)) << "the command line";
  for (const auto& [text, level] : r.logs) EXPECT_LT(level, 2) << text;
}

TEST(UserEncoderRecording, FailuresAreErrorsOfTheRecordingAndDetailsGoToTheLogFiles) {
  UserEncoder u("failures");
  struct Case {
    const char* what;
    std::string encoder, parameter, error;
    int clips;  // the failed clip is still closed and listed; -1: either
  };
  const Case cases[] = {
      {"missing", u.dir + "/no-such-encoder", "%of%", "could not be started", 0},
      {"exits with an error", "/bin/sh", "-c 'cat >/dev/null; echo bad option >&2; exit 1' x %of%",
       "exited with status 1: bad option", 1},
      // Gone before or after the header went in: the clip may or may not start.
      {"exits at once", "/bin/sh", "-c 'echo usage >&2; exit 2' x %of%",
       "stopped reading the audio (it exited with status 2): usage", -1},
      {"writes no file", "/bin/sh", "-c 'cat >/dev/null' x %of%", "wrote no file", 1},
  };
  for (const Case& c : cases) {
    fs::remove(u.out);
    u.s.CUSTOM.Encoder = c.encoder;
    const test::Recording r = u.Run(c.parameter);
    bool error = false;
    for (const auto& [text, level] : r.logs)
      error = error || (level == 2 && text.find(c.error) != std::string::npos);
    EXPECT_TRUE(error) << c.what;
    if (c.clips >= 0) {
      EXPECT_EQ(r.clips.size(), static_cast<size_t>(c.clips)) << c.what;
    }
    EXPECT_TRUE(r.finished) << c.what;
  }
  // "Detail" on: the program's output and our notices are in the data folder.
  EXPECT_NE(test::ReadFile(u.home + "/External.log").find("bad option\n"), std::string::npos);
  EXPECT_NE(test::ReadFile(u.home + "/External.log").find("Child Process Ended"),
            std::string::npos);
  EXPECT_EQ(test::ReadFile(u.home + "/Error.log"), "Redirect console error: 2\n");
  u.s.CUSTOM.Detail = 0;
  fs::remove(u.home + "/External.log");
  u.Run(kCapture);
  EXPECT_FALSE(fs::exists(u.home + "/External.log"));
}

TEST(UserEncoderRecording, AProgramThatNeverReadsEndsTheRecordingWithinSeconds) {
  UserEncoder u("stall");
  u.input = test::MakeTestWav(u.dir + "/long.wav", 22050, 2, 30.0);  // far more than a pipe holds
  const auto start = std::chrono::steady_clock::now();
  const test::Recording r = u.Run("-c 'sleep 60' x %of%");
  EXPECT_LT(std::chrono::steady_clock::now() - start,
            std::chrono::seconds(kEncoderStallMs / 1000 + 5));
  EXPECT_TRUE(r.LoggedPart("took no audio for 5 seconds and was stopped"));
  EXPECT_TRUE(r.finished);
}

}  // namespace
}  // namespace tarvexa
