// The recording session end to end over the file input in fast mode: clip
// lengths, names, auto-stop, silence, failures and the hand-off queue.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <numeric>
#include <regex>
#include <thread>

#include "EngineRecording.h"
#include "encoders/ClipWriter.h"
#include "formats/FormatCatalogue.h"
#include "formats/FormatFamily.h"
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

// A split clip whose name is taken (a clip of an earlier recording into the
// same folder) goes to the first free "NAME (n).EXT": the earlier audio is
// kept, and the new clip is announced and finished under its own name.
TEST(RecordSession, ASplitClipNeverWritesOverAnEarlierRecordingsClip) {
  const std::string dir = ScratchDir("session_split_taken");
  Settings s = WavSettings();
  s.MISC.Split = 1;
  s.MISC.SplitSec = 1;
  const std::string named = dir + "/Talk(Splitted Clip 00001).wav";
  const std::string taken[] = {named, dir + "/Talk(Splitted Clip 00001) (2).wav",
                               dir + "/Talk(Splitted Clip 00001) (3).wav"};
  std::vector<std::vector<int16_t>> kept;
  for (int run = 0; run < 3; ++run) {
    SCOPED_TRACE(run);
    // A different sound each run, so that a clip written over shows.
    const std::string input =
        MakePattern(dir + "/in" + std::to_string(run) + ".wav", {{true, 10 + run}, {false, 5}});
    Recording r = Record(s, std::make_shared<WavFileSource>(input, true), dir + "/Talk.wav");
    ASSERT_TRUE(r.finished);
    ASSERT_EQ(r.clips.size(), 2u);
    EXPECT_EQ(r.clips[1], taken[run]);
    EXPECT_EQ(r.newClips, std::vector<std::string>{taken[run]});
    const std::vector<int16_t> all = ReadAudio(input).samples;
    EXPECT_EQ(ReadAudio(taken[run]).samples,
              std::vector<int16_t>(all.begin() + 10 * 4410 * 2, all.end()));
    kept.push_back(ReadAudio(taken[run]).samples);
    for (int earlier = 0; earlier < run; ++earlier)
      EXPECT_EQ(ReadAudio(taken[earlier]).samples, kept[earlier]) << taken[earlier];
  }
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
// A device that cannot be opened, or one that delivers numbered blocks (every
// sample of block n is n), each after sleepMs, without ever waiting for the
// encoder. It counts how often it is opened and closed and keeps the
// clipping and dithering switches it was last given.
class FakeDevice : public InputSource {
 public:
  FakeDevice(bool failOpen, int blocks, int sleepMs, bool realTime = true)
      : failOpen_(failOpen), blocks_(blocks), sleepMs_(sleepMs), realTime_(realTime) {}
  bool Open(const OpenOptions& o, int* code, std::string* error) override {
    ++opens;
    if (failOpen_) {
      *code = -9996;
      *error = "Invalid device";
      return false;
    }
    channels_ = o.channels;
    clip = o.clip;
    return true;
  }
  ReadResult Read(int16_t* dest, int frames, int* got, std::string*) override {
    if (sleepMs_) std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs_));
    std::fill(dest, dest + frames * channels_, static_cast<int16_t>(++read));
    *got = frames;
    return read >= blocks_ ? ReadResult::End : ReadResult::Ok;
  }
  void Close() override { ++closes; }
  void SetConversion(bool c, bool d) override { clip = c, dither = d; }
  bool IsRealTime() const override { return realTime_; }

  std::atomic<int> opens{0}, closes{0}, read{0};
  std::atomic<bool> clip{true}, dither{true};

 private:
  bool failOpen_;
  int blocks_;
  int sleepMs_;
  bool realTime_;
  int channels_ = 2;
};

// The block numbers of a file written from a FakeDevice, one per block.
std::vector<int> BlockNumbers(const std::string& path, int channels = 2) {
  const Audio a = ReadAudio(path);
  std::vector<int> n;
  for (size_t i = 0; i < a.samples.size(); i += static_cast<size_t>(4410 * channels))
    n.push_back(a.samples[i]);
  return n;
}
}  // namespace

TEST(RecordSession, InputThatCannotBeOpenedEndsTheSession) {
  std::string dir = ScratchDir("session_nodevice");
  Recording r = Record(WavSettings(), std::make_shared<FakeDevice>(true, 0, 0), dir + "/out.wav");
  EXPECT_TRUE(r.finished);
  EXPECT_TRUE(r.LoggedPart("Fail to open input stream."));
  EXPECT_TRUE(r.LoggedPart("Error number: -9996    Error message: Invalid device."));
  // A recording that never got a block leaves no file.
  EXPECT_TRUE(r.clips.empty());
  EXPECT_FALSE(fs::exists(dir + "/out.wav"));
}

TEST(RecordSession, OverrunDropsOldestBlocksAndReportsThemEverySecond) {
  std::string dir = ScratchDir("session_overrun");
  // A device delivering a block every 2 ms for 3 s into a queue of 20
  // blocks, and an encoder taking 20 ms a block: blocks are dropped from the
  // start to the end, and the log says so as it happens, not only at the end.
  constexpr int kBlocks = 1500;
  Recording r = Record(WavSettings(), std::make_shared<FakeDevice>(false, kBlocks, 2),
                       dir + "/out.wav", 2, nullptr, 20);
  ASSERT_EQ(r.clips.size(), 1u);
  EXPECT_GT(r.dropped, kBlocks / 2);
  EXPECT_EQ(r.clipBlocks[0] + r.dropped, kBlocks);  // every block is written or reported

  // Every report: a warning with the blocks dropped since the last one and
  // the running total, which ends at the session's count.
  const std::regex report(
      R"(Warning: (\d+) block\(s\) of audio dropped because the encoder fell behind \((\d+) in all\)\.)");
  std::vector<double> when;
  int64_t total = 0;
  for (size_t i = 0; i < r.logs.size(); ++i) {
    std::smatch m;
    if (!std::regex_match(r.logs[i].first, m, report)) continue;
    SCOPED_TRACE(r.logs[i].first);
    EXPECT_EQ(r.logs[i].second, 1);
    EXPECT_GT(std::stoll(m[1]), 0);
    EXPECT_EQ(total + std::stoll(m[1]), std::stoll(m[2]));
    total = std::stoll(m[2]);
    when.push_back(r.logSeconds[i]);
  }
  EXPECT_EQ(total, r.dropped);
  // The first drop comes within 0.1 s of the start; its report within a
  // second, and the next ones about a second apart while dropping goes on.
  ASSERT_GE(when.size(), 3u) << "dropped blocks are reported only at the end";
  EXPECT_LT(when[0], 1.0);
  for (size_t i = 1; i < when.size(); ++i) EXPECT_LT(when[i] - when[i - 1], 1.5) << "report " << i;

  // What was written keeps its order: block numbers only increase.
  Audio a = ReadAudio(r.clips[0]);
  for (size_t i = 8820; i < a.samples.size(); i += 8820)
    ASSERT_GT(a.samples[i], a.samples[i - 8820]);
}

namespace {
// A device whose third read takes four seconds, and says when it begins.
class StuckDevice : public InputSource {
 public:
  std::atomic<bool> stuck{false};
  bool Open(const OpenOptions&, int*, std::string*) override { return true; }
  ReadResult Read(int16_t* dest, int frames, int* got, std::string*) override {
    if (++n_ == 3) {
      stuck = true;
      std::this_thread::sleep_for(4s);
    }
    std::fill(dest, dest + frames * 2, int16_t{0});
    *got = frames;
    return ReadResult::Ok;
  }
  void Close() override {}
  bool IsRealTime() const override { return true; }

 private:
  int n_ = 0;
};
}  // namespace

TEST(RecordSession, AbortAfterAFaultWaitsTwoSecondsAtMostAndATearDownAsLongAsItTakes) {
  std::string dir = ScratchDir("session_abort");
  for (int source : {1, 0}) {
    SCOPED_TRACE(source);
    auto device = std::make_shared<StuckDevice>();
    double waited = -1;
    Recording r = Record(
        WavSettings(), device, dir + "/out" + std::to_string(source) + ".wav", 8,
        [&](RecordSession& s, int blocks) {
          if (blocks != 2) return;
          while (!device->stuck) std::this_thread::sleep_for(1ms);
          const auto t0 = std::chrono::steady_clock::now();
          s.Abort(source);
          waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        });
    ASSERT_TRUE(r.finished);
    if (source == 0) {
      EXPECT_GT(waited, 3.0) << "the tear-down did not wait for the capture thread";
      EXPECT_TRUE(r.Logged("Deleted Recording Thread!"));
    } else {
      EXPECT_LT(waited, 3.0) << "a fault's abort waited for the capture thread";
      EXPECT_FALSE(r.Logged("Deleted Recording Thread!"));
    }
  }
}

TEST(RecordSession, StopWhilePausedClosesTheFileNormally) {
  std::string dir = ScratchDir("session_pause");
  std::string input = MakeTestWav(dir + "/in.wav", 44100, 2, 30.0);
  Recording r = Record(WavSettings(), std::make_shared<WavFileSource>(input, false),
                       dir + "/out.wav", 8, [](RecordSession& s, int blocks) {
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

// Every format: when a split boundary meets the end (the auto-stop time, or
// an input that ends there), the recording has exactly the clips that hold
// audio; no empty file is created or announced.
TEST(RecordSession, SplitMeetingTheEndMakesNoEmptyClipInAnyFormat) {
  const std::string dir = ScratchDir("session_split_end");
  int formats = 0;
  for (const FormatFamily* family : FormatFamilies()) {
    if (!family->makeWriter) continue;
    for (int format : family->codes) {
      Settings s;
      s.OUTPUT.OutputFormat = static_cast<int16_t>(format);
      ApplyOutputFormat(s, RateChannelMatrix::All());  // a rate and channel count it takes
      if (format == kFormatHTK) s.OUTPUT.Chan = 1;     // libsndfile writes HTK in mono only
      if (format == kFormatUserCustomized) continue;   // runs the user's own program: none here
      std::string refusal;
      const bool prepared =
          PrepareEncoder(s, [&](const std::string& text, int) { refusal += text + "\n"; });
      ASSERT_TRUE(prepared) << FormatTag(format) << ": " << refusal;
      FinishEncoder(s, {});
      ++formats;
      const int rate = SampleRateOf(s), chan = ChannelsOf(s);
      const std::string input =
          MakeTestWav(dir + "/in" + std::to_string(rate) + "_" + std::to_string(chan) + ".wav",
                      rate, chan, 10.0);
      s.MISC.Split = 1;
      s.MISC.SplitSec = 5;
      for (const bool autoStop : {true, false}) {
        const std::string folder = dir + "/" + FormatTag(format) + (autoStop ? "_stop" : "_end");
        fs::create_directories(folder);
        Settings t = s;
        t.MISC.Stop = autoStop;
        t.MISC.StopMin = 0;
        t.MISC.StopSec = 10;
        const std::string first = folder + "/Talk" + FileExtensionFor(format, t);
        Recording r = Record(t, std::make_shared<WavFileSource>(input, true), first);
        SCOPED_TRACE(folder);
        ASSERT_TRUE(r.finished);
        EXPECT_EQ(r.clipBlocks, (std::vector<int>{50, 50}));
        EXPECT_EQ(r.newClips.size(), 1u);
        EXPECT_EQ(r.autoStopped, autoStop);
        int files = 0;
        for (const auto& e : fs::directory_iterator(folder)) {
          if (e.path().filename().string().rfind("._", 0) == 0) continue;  // SD2's resource fork
          ++files;
          EXPECT_GT(fs::file_size(e.path()), 0u) << e.path();
        }
        EXPECT_EQ(files, 2);
      }
    }
  }
  EXPECT_GE(formats, 30);
}

// A stop by hand writes what was already captured, and the split rule still
// cuts it: no clip is longer than the split length.
TEST(RecordSession, BlocksWrittenAfterAStopStillFollowTheSplitRule) {
  const std::string dir = ScratchDir("session_stop_split");
  Settings s = WavSettings();
  s.MISC.Split = 1;
  s.MISC.SplitSec = 5;
  auto device = std::make_shared<FakeDevice>(false, 100000, 10);
  // An encoder at 30 ms a block behind a device at 10 ms: the queue fills.
  Recording r = Record(
      s, device, dir + "/Talk.wav", 20,
      [](RecordSession& session, int blocks) {
        if (blocks == 120) session.Stop();
      },
      30);
  ASSERT_TRUE(r.finished);
  ASSERT_GE(r.clips.size(), 3u);
  int written = 0;
  for (size_t i = 0; i < r.clips.size(); ++i) {
    EXPECT_LE(r.clipBlocks[i], 50) << r.clips[i];
    if (i + 1 < r.clips.size()) {
      EXPECT_EQ(r.clipBlocks[i], 50) << r.clips[i];
    }
    written += r.clipBlocks[i];
  }
  EXPECT_EQ(written + r.dropped, device->read.load()) << "every block read is written or reported";
}

// Pause on a live input: the device is read on and what arrives is thrown
// away, so the paused span is absent from the file and the audio after the
// resume is what the device delivered after the resume. One open of the
// device serves the whole recording.
TEST(RecordSession, PauseLeavesThePausedSpanOutOfTheFile) {
  const std::string dir = ScratchDir("session_live_pause");
  auto device = std::make_shared<FakeDevice>(false, 100000, 100);  // paced like a sound card
  std::atomic<int> pausedAt{0}, resumedAt{0};
  Recording r =
      Record(WavSettings(), device, dir + "/out.wav", 8, [&](RecordSession& session, int blocks) {
        if (blocks == 10) {
          session.TogglePause();
          pausedAt = device->read.load();
          std::this_thread::sleep_for(1500ms);
          resumedAt = device->read.load();
          session.TogglePause();
        }
        if (blocks == 20) session.Stop();
      });
  ASSERT_EQ(r.clips.size(), 1u);
  EXPECT_TRUE(r.LoggedPart("Recording manually paused:  " + dir + "/out.wav"));
  EXPECT_TRUE(r.LoggedPart("Manually resumed recording:  " + dir + "/out.wav"));
  EXPECT_EQ(device->opens.load(), 1);
  const std::vector<int> n = BlockNumbers(r.clips[0]);
  ASSERT_FALSE(n.empty());
  // In order, with one gap: the blocks read while paused.
  int gaps = 0;
  for (size_t i = 1; i < n.size(); ++i) {
    ASSERT_GT(n[i], n[i - 1]);
    if (n[i] != n[i - 1] + 1) {
      ++gaps;
      EXPECT_LE(n[i - 1], pausedAt + 1);
      EXPECT_GE(n[i], resumedAt);
      EXPECT_GE(n[i] - n[i - 1] - 1, 13) << "about 1.5 s of blocks left out";
    }
  }
  EXPECT_EQ(gaps, 1);
  // Written, plus what the pause threw away, is all that was read.
  EXPECT_NEAR(static_cast<double>(n.size() + r.dropped),
              device->read.load() - (resumedAt.load() - pausedAt.load()), 2.0);
}

// One device run for the whole recording: splits cut the clips from the
// queue, so the joined clips hold every block once. Settings changed while
// recording reach it: the naming rule names the next clip, the display
// switches and the clipping and dithering switches apply at once.
TEST(RecordSession, OneDeviceRunAcrossSplitsAndLiveSettings) {
  const std::string dir = ScratchDir("session_one_run");
  Settings s = WavSettings();
  s.MISC.Split = 1;
  s.MISC.SplitSec = 5;
  auto device = std::make_shared<FakeDevice>(false, 150, 5, false);
  Recording r = Record(s, device, dir + "/Talk.wav", 8, [&](RecordSession& session, int blocks) {
    if (blocks != 20) return;
    Settings live = s;
    live.MISC.RenameStr = "%of%-next-%sc%";
    live.MISC.Rename = 1;
    live.MISC.timestamp = 0;
    live.MISC.AmpBar = live.MISC.Vis1 = live.MISC.Vis2 = 0;
    live.DSP.Clip = 0;
    live.DSP.Dither = 0;
    session.UpdateSettings(live);
  });
  ASSERT_EQ(r.clips.size(), 3u);
  EXPECT_EQ(r.clips[1], dir + "/Talk-next-1.wav");
  EXPECT_EQ(r.clips[2], dir + "/Talk-next-2.wav");
  EXPECT_EQ(device->opens.load(), 1);
  EXPECT_EQ(device->closes.load(), 1);
  std::vector<int> all;
  for (const std::string& c : r.clips) {
    const std::vector<int> n = BlockNumbers(c);
    all.insert(all.end(), n.begin(), n.end());
  }
  std::vector<int> want(150);
  std::iota(want.begin(), want.end(), 1);
  EXPECT_EQ(all, want);
  EXPECT_FALSE(device->clip.load());
  EXPECT_FALSE(device->dither.load());
  ASSERT_EQ(r.displaySamples.size(), 150u);
  EXPECT_GT(r.displaySamples.front(), 0u);
  EXPECT_EQ(r.displaySamples.back(), 0u) << "the displays were switched off";
}
