// The recording session end to end over the file input in fast mode: clip
// lengths, names, auto-stop, silence, failures and the hand-off queue.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <thread>

#include "EngineRecording.h"
#include "formats/FormatCatalogue.h"
#include "recording/RecordSession.h"
#include "recording/WavFileSource.h"

using namespace tarvexa;
using namespace tarvexa::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

Settings WavSettings(int rate = 44100, int channels = 2) {
  Settings s;
  s.OUTPUT.OutputFormat = kFormatWAV;
  s.WAV.SubFormat = 1;
  for (size_t i = 0; i < SampleRateTable.size(); ++i)
    if (SampleRateTable[i] == rate) s.OUTPUT.Freq = static_cast<int16_t>(i);
  s.OUTPUT.Chan = static_cast<int16_t>(channels);
  return s;
}

std::vector<int16_t> Join(const std::vector<std::string>& clips) {
  std::vector<int16_t> all;
  for (auto& c : clips) {
    Audio a = ReadAudio(c);
    all.insert(all.end(), a.samples.begin(), a.samples.end());
  }
  return all;
}

// Blocks of loud (sine) and quiet (zero) audio at 44.1 kHz stereo.
std::string MakePattern(const std::string& path, const std::vector<std::pair<bool, int>>& parts) {
  std::vector<int16_t> s;
  int64_t n = 0;
  for (auto [loud, blocks] : parts) {
    for (int64_t i = 0; i < blocks * 4410LL; ++i, ++n) {
      int16_t v = loud ? static_cast<int16_t>(12000 * std::sin(n * 0.0627)) : 0;
      s.push_back(v);
      s.push_back(v);
    }
  }
  WriteWav(path, 44100, 2, s);
  return path;
}

}  // namespace

TEST(RecordSession, SplitEveryThirtySecondsGivesExactClipsNamedByTheRuleAndLosesNothing) {
  std::string dir = ScratchDir("session_split") + "/My.Music";
  fs::create_directories(dir);
  std::string input = MakeTestWav(dir + "/../input.wav", 44100, 2, 95.0);
  Settings s = WavSettings();
  s.MISC.Split = 1;
  s.MISC.SplitSec = 30;
  Recording r = Record(s, std::make_shared<WavFileSource>(input, true), dir + "/Talk.wav");
  ASSERT_TRUE(r.finished);
  ASSERT_EQ(r.clips.size(), 4u);
  EXPECT_EQ(r.clips[0], dir + "/Talk.wav");
  EXPECT_EQ(r.clips[1], dir + "/Talk(Splitted Clip 00001).wav");
  EXPECT_EQ(r.clips[3], dir + "/Talk(Splitted Clip 00003).wav");
  EXPECT_EQ(r.newClips.size(), 3u);
  const int want[] = {300, 300, 300, 50};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(r.clipBlocks[i], want[i]);
    Audio a = ReadAudio(r.clips[i]);
    EXPECT_EQ(a.frames, want[i] * 4410LL) << r.clips[i];
    EXPECT_EQ(a.rate, 44100);
    EXPECT_EQ(a.channels, 2);
  }
  EXPECT_EQ(Join(r.clips), ReadAudio(input).samples);  // bit-exact across clips
  EXPECT_EQ(r.dropped, 0);
  EXPECT_TRUE(r.LoggedPart("End of input reached."));
  EXPECT_TRUE(r.LoggedPart("Done."));
}

TEST(RecordSession, AutoStopAfterFiveSecondsCountsExactlyFiftyTicks) {
  std::string dir = ScratchDir("session_autostop");
  std::string input = MakeTestWav(dir + "/in.wav", 22050, 1, 20.0);
  Settings s = WavSettings(22050, 1);
  s.MISC.Stop = 1;
  s.MISC.StopHour = 0;
  s.MISC.StopMin = 0;
  s.MISC.StopSec = 5;
  Recording r = Record(s, std::make_shared<WavFileSource>(input, true), dir + "/out.wav");
  ASSERT_EQ(r.clips.size(), 1u);
  EXPECT_TRUE(r.autoStopped);
  EXPECT_EQ(r.ticks, 51);  // the 51st call ends it, after 50 blocks
  EXPECT_EQ(r.clipBlocks[0], 50);
  Audio a = ReadAudio(r.clips[0]);
  EXPECT_EQ(a.frames, 50 * 2205);
  std::vector<int16_t> in = ReadAudio(input).samples;
  in.resize(a.samples.size());
  EXPECT_EQ(a.samples, in);
  EXPECT_TRUE(r.LoggedPart("Automatically stop recording."));
}

TEST(RecordSession, SilencePausesAndResumesDroppingTheQuietTailAndTheResumingSound) {
  std::string dir = ScratchDir("session_silence");
  // 10 s sound, 8 s silence, 10 s sound.
  std::string input = MakePattern(dir + "/in.wav", {{true, 100}, {false, 80}, {true, 100}});
  Settings s = WavSettings();
  s.SIL.Det = 1;
  s.SIL.SilTime = 5;
  s.SIL.NoiTime = 5;
  Recording r = Record(s, std::make_shared<WavFileSource>(input, true), dir + "/out.wav");
  ASSERT_EQ(r.clips.size(), 1u);
  // 100 loud + 50 quiet (the pause is declared on the 50th), then 30 quiet
  // and 50 loud dropped, then the last 50 loud written.
  EXPECT_EQ(r.clipBlocks[0], 200);
  EXPECT_TRUE(r.LoggedPart("Silence detected, pause recording."));
  EXPECT_TRUE(r.LoggedPart("Sound signal detected, resume recording."));
  Audio a = ReadAudio(r.clips[0]);
  Audio in = ReadAudio(input);
  const size_t block = 8820;
  // The written tail is exactly the last 50 blocks of the input.
  std::vector<int16_t> tailOut(a.samples.end() - 50 * block, a.samples.end());
  std::vector<int16_t> tailIn(in.samples.end() - 50 * block, in.samples.end());
  EXPECT_EQ(tailOut, tailIn);
}

TEST(RecordSession, SplitOnSilenceStartsANewClipThatWaitsForSound) {
  std::string dir = ScratchDir("session_silence_split");
  std::string input = MakePattern(dir + "/in.wav", {{true, 100}, {false, 80}, {true, 100}});
  Settings s = WavSettings();
  s.SIL.Det = 1;
  s.SIL.SilTime = 5;
  s.SIL.NoiTime = 5;
  s.SIL.Split = 1;
  Recording r = Record(s, std::make_shared<WavFileSource>(input, true), dir + "/Talk.wav");
  ASSERT_EQ(r.clips.size(), 2u);
  EXPECT_EQ(r.clipBlocks[0], 149);  // the detecting block is not written
  EXPECT_EQ(r.clipBlocks[1], 50);
  EXPECT_EQ(r.clips[1], dir + "/Talk(Splitted Clip 00001).wav");
}

TEST(RecordSession, StopOnSilenceEndsTheRecordingWithoutAfterAction) {
  std::string dir = ScratchDir("session_silence_stop");
  std::string input = MakePattern(dir + "/in.wav", {{true, 100}, {false, 80}, {true, 100}});
  Settings s = WavSettings();
  s.SIL.Det = 1;
  s.SIL.SilTime = 5;
  s.SIL.StopSilence = 1;
  Recording r = Record(s, std::make_shared<WavFileSource>(input, true), dir + "/a.wav");
  ASSERT_EQ(r.clips.size(), 1u);
  EXPECT_EQ(r.clipBlocks[0], 150);
  EXPECT_FALSE(r.autoStopped);
  // With split on silence as well: it stops, and no new clip is made.
  s.SIL.Split = 1;
  Recording r2 = Record(s, std::make_shared<WavFileSource>(input, true), dir + "/b.wav");
  ASSERT_EQ(r2.clips.size(), 1u);
  EXPECT_EQ(r2.clipBlocks[0], 149);
  EXPECT_TRUE(r2.newClips.empty());
}

TEST(RecordSession, UnwritableFolderEndsTheSessionThroughFinished) {
  std::string dir = ScratchDir("session_unwritable");
  std::string input = MakeTestWav(dir + "/in.wav", 44100, 2, 2.0);
  std::string out = dir + "/no/such/folder/out.wav";
  Recording r = Record(WavSettings(), std::make_shared<WavFileSource>(input, true), out);
  EXPECT_TRUE(r.finished);
  EXPECT_TRUE(r.clips.empty());
  EXPECT_TRUE(r.LoggedPart("Error : could not open file : " + out));
}

namespace {
// A device that cannot be opened, or one that delivers blocks faster than
// real time without ever waiting (to overrun the queue).
class FakeDevice : public InputSource {
 public:
  FakeDevice(bool failOpen, int blocks, int sleepMs) : failOpen_(failOpen), blocks_(blocks), sleepMs_(sleepMs) {}
  bool Open(const OpenOptions&, int* code, std::string* error) override {
    if (failOpen_) {
      *code = -9996;
      *error = "Invalid device";
      return false;
    }
    return true;
  }
  ReadResult Read(int16_t* dest, int frames, int* got, std::string*) override {
    if (sleepMs_) std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs_));
    std::fill(dest, dest + frames * 2, static_cast<int16_t>(++n_));
    *got = frames;
    return n_ >= blocks_ ? ReadResult::End : ReadResult::Ok;
  }
  void Close() override {}
  bool IsRealTime() const override { return true; }

 private:
  bool failOpen_;
  int blocks_;
  int sleepMs_;
  int n_ = 0;
};
}  // namespace

TEST(RecordSession, InputThatCannotBeOpenedEndsTheSession) {
  std::string dir = ScratchDir("session_nodevice");
  Recording r = Record(WavSettings(), std::make_shared<FakeDevice>(true, 0, 0), dir + "/out.wav");
  EXPECT_TRUE(r.finished);
  EXPECT_TRUE(r.LoggedPart("Fail to open input stream."));
  EXPECT_TRUE(r.LoggedPart("Error number: -9996    Error message: Invalid device."));
  ASSERT_EQ(r.clips.size(), 1u);
  EXPECT_EQ(r.clipBlocks[0], 0);
}

TEST(RecordSession, OverrunDropsOldestBlocksAndSaysSo) {
  std::string dir = ScratchDir("session_overrun");
  // A device delivering a block every 2 ms into a queue of 20 blocks, and an
  // encoder taking 5 ms a block: blocks are dropped, and the log says so.
  Recording r = Record(WavSettings(), std::make_shared<FakeDevice>(false, 400, 2), dir + "/out.wav", 2,
                    nullptr, 5);
  ASSERT_EQ(r.clips.size(), 1u);
  EXPECT_GT(r.dropped, 0);
  EXPECT_TRUE(r.LoggedPart("block(s) of audio dropped because the encoder fell behind"));
  EXPECT_EQ(r.clipBlocks[0] + r.dropped, 400);  // every block is written or reported
  // What was written keeps its order: block numbers only increase.
  Audio a = ReadAudio(r.clips[0]);
  for (size_t i = 8820; i < a.samples.size(); i += 8820) ASSERT_GT(a.samples[i], a.samples[i - 8820]);
}

TEST(RecordSession, StopWhilePausedClosesTheFileNormally) {
  std::string dir = ScratchDir("session_pause");
  std::string input = MakeTestWav(dir + "/in.wav", 44100, 2, 30.0);
  Recording r = Record(WavSettings(), std::make_shared<WavFileSource>(input, false), dir + "/out.wav", 8,
                    [](RecordSession& s, int blocks) {
                      if (blocks != 5) return;
                      s.TogglePause();
                      std::this_thread::sleep_for(300ms);
                      EXPECT_TRUE(s.IsPaused());
                      s.Stop();
                    });
  ASSERT_TRUE(r.finished);
  ASSERT_EQ(r.clips.size(), 1u);
  EXPECT_TRUE(r.LoggedPart("Recording manually paused:  "));
  Audio a = ReadAudio(r.clips[0]);
  EXPECT_EQ(a.frames % 4410, 0);
  EXPECT_GE(a.frames, 4 * 4410);
}

TEST(RecordSession, FailedFormatPreparationStillEndsThroughFinished) {
  std::string dir = ScratchDir("session_prepare");
  std::string input = MakeTestWav(dir + "/in.wav", 44100, 2, 1.0);
  Settings s = WavSettings();
  s.OUTPUT.OutputFormat = kFormatOGG;
  s.OGG.QualityCompression = -20;  // below what libvorbis takes: refused before any file
  Recording r = Record(s, std::make_shared<WavFileSource>(input, true), dir + "/out.ogg");
  EXPECT_TRUE(r.finished);  // the window must be able to return to idle
  EXPECT_TRUE(r.clips.empty());
  EXPECT_FALSE(fs::exists(dir + "/out.ogg"));
  EXPECT_EQ(std::count(r.logs.begin(), r.logs.end(),
                       std::make_pair(std::string("Invalid Ogg Vorbis format."), 1)),
            1);
}
