// Files left unfinished: a recording process killed half-way leaves its
// file in the journal, and the next start repairs it so that the format's
// own checker passes and the length the header declares is the length that
// decodes. The same repair mends a file torn at any byte, and a repaired or
// finished file is left as it is.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <thread>

#include "EngineRecording.h"
#include "formats/FormatCatalogue.h"
#include "formats/FormatFamily.h"
#include "recording/RecordSession.h"
#include "recording/WavFileSource.h"
#include "recovery/RecoveryJournal.h"

namespace tarvexa {
namespace {

namespace fs = std::filesystem;

struct Case {
  const char* name;
  int format;
  std::function<void(Settings&)> tweak;
  const char* checker;    // the format's own tool; %s is the file
  bool lossless = false;  // what decodes is the input itself
  // Decodes to 16-bit samples on standard output; "": FFmpeg.
  const char* decoder = "";
};

Settings For(const Case& c) {
  Settings s;
  s.OUTPUT.OutputFormat = static_cast<int16_t>(c.format);
  s.OUTPUT.Freq = 7;
  s.OUTPUT.Chan = 2;
  if (c.tweak) c.tweak(s);
  return s;
}

std::string Command(const char* format, const std::string& file) {
  std::string cmd = format;
  cmd.replace(cmd.find("%s"), 2, test::Quote(file));
  return cmd;
}

// Seconds the header declares (FFmpeg's reading of it) and frames that
// decode.
double Declared(const std::string& file) {
  std::string out;
  test::Run("ffprobe -v error -show_entries format=duration -of csv=p=0 " + test::Quote(file),
            &out);
  return std::atof(out.c_str());
}
int64_t DecodedFrames(const Case& c, const std::string& file, int channels) {
  std::string out;
  const std::string decode = *c.decoder ? Command(c.decoder, file)
                                        : "ffmpeg -v error -i " + test::Quote(file) + " -f s16le -";
  test::Run(decode + " | wc -c", &out);
  return std::atoll(out.c_str()) / (2 * channels);
}

void ExpectReadsWhole(const Case& c, const std::string& file, const std::string& input) {
  const Settings s = For(c);
  if (c.lossless) {
    // Nothing made up: the file holds the input's beginning.
    const test::Audio got = test::ReadAudio(file), in = test::ReadAudio(input);
    ASSERT_GT(got.frames, 0) << file;
    EXPECT_TRUE(std::equal(got.samples.begin(), got.samples.end(), in.samples.begin())) << file;
  }
  std::string out;
  EXPECT_EQ(test::Run(Command(c.checker, file), &out), 0) << c.checker << " on " << file << ":\n"
                                                          << out;
  const double declared = Declared(file);
  EXPECT_GT(declared, 0.3) << file;
  EXPECT_NEAR(declared * SampleRateOf(s),
              static_cast<double>(DecodedFrames(c, file, ChannelsOf(s))), 1.0)
      << "declared and decoded lengths differ: " << file;
}

class Recovery : public ::testing::TestWithParam<Case> {};

TEST_P(Recovery, KilledRecordingIsRepairedAtTheNextStartAndTornFilesLikewise) {
  const Case c = GetParam();
  const std::string dir = test::ScratchDir(std::string("recovery_") + c.name);
  test::ScopedEnv home("TARVEXA_HOME", dir + "/home");
  const Settings s = For(c);
  const std::string input =
      test::MakeTestWav(dir + "/in.wav", SampleRateOf(s), ChannelsOf(s), 20.0);
  const std::string out = dir + "/rec" + FileExtensionFor(c.format, s);

  // A recording killed (no close, no destructor) after about three seconds.
  int status = 0;
  test::InChild(
      [&] {
        test::Record(s, std::make_shared<WavFileSource>(input, false), out, 8,
                     [](RecordSession&, int blocks) {
                       if (blocks == 15) kill(getpid(), SIGKILL);
                     });
        return std::string("not killed");
      },
      &status);
  ASSERT_TRUE(WIFSIGNALED(status));
  ASSERT_TRUE(fs::exists(out));

  std::vector<std::pair<std::string, int>> log;
  const auto sink = [&](const std::string& t, int l) { log.emplace_back(t, l); };
  EXPECT_EQ(RecoverUnfinishedRecordings(sink), 1);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].second, 1);
  EXPECT_EQ(log[0].first.rfind("Recovered the unfinished recording " + out + ": ", 0), 0u)
      << log[0].first;
  EXPECT_NE(log[0].first.find(" of audio."), std::string::npos) << log[0].first;
  ExpectReadsWhole(c, out, input);
  // The journal is gone: the next start has nothing to do.
  EXPECT_EQ(RecoverUnfinishedRecordings(sink), 0);

  // Torn at an odd byte in the middle (a power loss): cut back to whole
  // frames again; a second repair finds nothing to do.
  const FormatFamily* family = FamilyOf(c.format);
  fs::resize_file(out, fs::file_size(out) * 3 / 5 + 7);
  const RecoveredFile torn = family->recover(c.format, out);
  ASSERT_TRUE(torn.ok) << torn.error;
  EXPECT_TRUE(torn.changed);
  ExpectReadsWhole(c, out, input);
  EXPECT_NEAR(torn.seconds, Declared(out), 0.001);
  const RecoveredFile again = family->recover(c.format, out);
  EXPECT_TRUE(again.ok);
  EXPECT_FALSE(again.changed) << again.done;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, Recovery,
    ::testing::Values(
        Case{"wav", kFormatWAV, nullptr,
             "python3 -c 'import sys,wave; wave.open(sys.argv[1]).readframes(10**9)' %s", true},
        Case{"wav_u8_mono_22k", kFormatWAV,
             [](Settings& s) { s.WAV.SubFormat = 0, s.OUTPUT.Chan = 1, s.OUTPUT.Freq = 4; },
             "sox %s -n"},
        Case{"aiff", kFormatAIFF, nullptr, "sox %s -n", true},
        Case{"w64", kFormatW64, [](Settings& s) { s.OTHER.Codec[kFormatW64 - kFormatAU] = 1; },
             "sox %s -n", true},
        Case{"caf", kFormatCAF, [](Settings& s) { s.OTHER.Codec[kFormatCAF - kFormatAU] = 2; },
             "sox %s -n", true},
        Case{"flac", kFormatFLAC, nullptr, "flac -t -s %s", true},
        Case{"ogg_flac", kFormatFLAC, [](Settings& s) { s.FLAC.Native = 0; },
             "flac -t -s --ogg %s"},
        Case{"ogg_vorbis", kFormatOGG, nullptr, "ogginfo -q %s", false, "oggdec -Q -R -o - %s"},
        Case{"mp3", kFormatMP3, nullptr, "mpg123 -q -t %s"},
        Case{"wavpack_hybrid", kFormatWV,
             [](Settings& s) { s.WV.EncMod = 1, s.WV.Kbps = 256, s.WV.CrtWvc = 1; },
             "wvunpack -q -v %s"}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// What the journal is for: only files of programs that no longer run, each
// reported once, whatever became of it.
TEST(RecoveryJournal, RepairsOnlyWhatFinishedProgramsLeftOpen) {
  const std::string dir = test::ScratchDir("recovery_journal");
  test::ScopedEnv home("TARVEXA_HOME", dir + "/home");
  const std::string wav = test::MakeTestWav(dir + "/left.wav", 44100, 2, 1.0);
  const std::string mp2 = test::MakeTestWav(dir + "/left.mp2", 44100, 2, 1.0);
  fs::create_directories(RecoveryJournal::Folder());
  // A program that is gone (pid 1 never wrote a journal; its start time
  // differs): one file closed, one open, one deleted since, one in a
  // format without a repair; and a line that is not ours.
  test::WriteFile(RecoveryJournal::Folder() + "/1.journal",
                  "tarvexa-journal 1\nprocess 1 1\n"
                  "open 1 " +
                      dir + "/closed.wav\nopen 1 " + wav + "\nclosed " + dir +
                      "/closed.wav\nopen 9 " + dir + "/gone.aiff\nopen 7 " + mp2 + "\nbogus\n");
  test::WriteFile(RecoveryJournal::Folder() + "/other.journal", "not a journal\n");
  // This very program, still running: left alone.
  RecoveryJournal::Opened(kFormatWAV, dir + "/mine.wav");

  std::vector<std::string> lines;
  EXPECT_EQ(RecoverUnfinishedRecordings([&](const std::string& t, int l) {
              EXPECT_EQ(l, 1) << t;
              lines.push_back(t);
            }),
            3);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "Recovered the unfinished recording " + wav +
                          ": it was already complete; it holds 0:01.0 of audio.");
  EXPECT_EQ(lines[1],
            "The unfinished recording " + dir + "/gone.aiff is gone; nothing to recover.");
  EXPECT_EQ(lines[2], "The unfinished recording " + mp2 +
                          " was left as it is (no repair for the MP2 format).");
  EXPECT_FALSE(fs::exists(RecoveryJournal::Folder() + "/1.journal"));
  EXPECT_TRUE(fs::exists(RecoveryJournal::Folder() + "/other.journal"));
  const std::string mine = RecoveryJournal::Folder() + "/" + std::to_string(getpid()) + ".journal";
  EXPECT_TRUE(fs::exists(mine));
  // Closed cleanly: nothing is left behind.
  RecoveryJournal::Closed(dir + "/mine.wav");
  EXPECT_FALSE(fs::exists(mine));
}

}  // namespace
}  // namespace tarvexa
