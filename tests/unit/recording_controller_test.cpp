// The recording controller as its clients see it: the receiver's log lines
// in their order, what its listeners hear, the outcome that the command
// line's exit status and the window's after-recording action come from, and
// the input factory it is given.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "TestSupport.h"
#include "formats/FormatCatalogue.h"
#include "recording/RecordingController.h"

using namespace tarvexa;
using namespace tarvexa::test;
namespace fs = std::filesystem;

namespace {

struct Heard : RecordingListener {
  void OnClipStarted(const std::string& path) override { started.push_back(path); }
  void OnClipDone(const ClipResult& clip) override { done.push_back(clip); }
  void OnFinished(const RecordingOutcome& o) override {
    ++finished;
    activeAtFinish = controller->IsActive();
    outcome = o;
  }
  const RecordingController* controller = nullptr;
  std::vector<std::string> started;
  std::vector<ClipResult> done;
  int finished = 0;
  bool activeAtFinish = true;
  RecordingOutcome outcome;
};

struct Rig {
  Rig() {
    controller.AddListener(&heard);
    heard.controller = &controller;
  }
  // Pumps until the recording has ended and its thread has said its last.
  void RunToEnd() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (heard.finished == 0 && std::chrono::steady_clock::now() < deadline) controller.Pump(50);
    controller.Join();
    controller.Pump();
  }
  int Find(const std::string& text) const {
    for (size_t i = 0; i < log.size(); ++i)
      if (log[i].first == text) return static_cast<int>(i);
    return -1;
  }

  std::vector<std::pair<std::string, int>> log;
  RecordingController controller{[this](const std::string& t, int l) { log.emplace_back(t, l); }};
  Heard heard;
};

Settings Wav(int rateIndex = 7, int chan = 2) {
  Settings s;
  s.OUTPUT.OutputFormat = kFormatWAV;
  s.OUTPUT.Freq = static_cast<int16_t>(rateIndex);
  s.OUTPUT.Chan = static_cast<int16_t>(chan);
  return s;
}

}  // namespace

TEST(RecordingController, SplitClipsAreAnnouncedLoggedOnceAndReported) {
  const std::string dir = ScratchDir("controller-split");
  Rig rig;
  rig.controller.SetInputFactory(
      FileInsteadOfDevice(MakeTestWav(dir + "/in.wav", 44100, 2, 12.0), true));
  RecordingController::Request r;
  r.settings = Wav();
  r.settings.MISC.Split = 1;
  r.settings.MISC.SplitSec = 5;
  r.settings.MISC.RenameStr = "%of%-%sc%";
  r.settings.MISC.Rename = 2;
  r.outputPath = dir + "/talk.wav";
  ASSERT_TRUE(rig.controller.Start(r));
  EXPECT_TRUE(rig.controller.IsActive());
  EXPECT_FALSE(rig.controller.Start(r)) << "one recording at a time";
  rig.RunToEnd();

  const std::vector<std::string> clips = {dir + "/talk.wav", dir + "/talk-01.wav",
                                          dir + "/talk-02.wav"};
  const std::vector<int> blocks = {50, 50, 20};
  EXPECT_EQ(rig.Find("Start recording  " + clips[0]), 0);
  for (size_t i = 0; i < clips.size(); ++i) {
    const int finished = rig.Find("Finished recording" + clips[i]);
    ASSERT_GE(finished, 0) << clips[i];
    if (i > 0) {
      const int created = rig.Find("Creating splitted clip " + clips[i] + " ...");
      EXPECT_GT(created, rig.Find("Finished recording" + clips[i - 1]));
      EXPECT_EQ(rig.Find("Start recording  " + clips[i]), created + 1);
      EXPECT_LT(created, finished);
    }
    ASSERT_EQ(rig.heard.done.size(), clips.size());
    EXPECT_EQ(rig.heard.done[i].path, clips[i]);
    EXPECT_EQ(rig.heard.done[i].blocks, blocks[i]);
    EXPECT_EQ(rig.heard.done[i].rate, 44100);
    EXPECT_EQ(rig.heard.done[i].frames, blocks[i] * 4410) << "the frames the writer took";
    EXPECT_EQ(ReadAudio(clips[i]).frames, rig.heard.done[i].frames);
  }
  EXPECT_EQ(rig.heard.started, std::vector<std::string>(clips.begin() + 1, clips.end()));
  EXPECT_EQ(rig.heard.finished, 1);
  EXPECT_FALSE(rig.heard.activeAtFinish);
  const RecordingOutcome& o = rig.heard.outcome;
  EXPECT_EQ(o.ClipsWithAudio(), 3);
  EXPECT_EQ(o.Blocks(), 120);
  EXPECT_TRUE(o.Succeeded());
  EXPECT_FALSE(o.autoStopped);
  Settings live = Wav();
  live.MISC.ActAftRec = 7;
  EXPECT_EQ(AfterRecordingActionFor(o, live), 0) << "no action after an end that was not automatic";

  // The same recording again: the path chosen in the dialog is the user's
  // to replace, the clip names the recorder chose replace nothing.
  Rig again;
  again.controller.SetInputFactory(FileInsteadOfDevice(dir + "/in.wav", true));
  ASSERT_TRUE(again.controller.Start(r));
  again.RunToEnd();
  ASSERT_EQ(again.heard.done.size(), clips.size());
  EXPECT_EQ(again.heard.done[0].path, clips[0]);
  for (size_t i = 1; i < clips.size(); ++i) {
    const std::string& path = again.heard.done[i].path;
    EXPECT_NE(path, clips[i]);
    EXPECT_EQ(ReadAudio(clips[i]).frames, rig.heard.done[i].frames) << "the first one stays";
  }
}

// The window's after-recording action comes from the outcome and the
// settings in force at the end; the command line's exit status from
// Succeeded().
TEST(RecordingController, OutcomesOfAutoStopFailureAndAMissingInput) {
  const std::string dir = ScratchDir("controller-outcomes");
  const std::string input = MakeTestWav(dir + "/in.wav", 22050, 1, 8.0);

  {  // Auto-stop; the file's rate and channels become the recording's.
    Rig rig;
    rig.controller.SetInputFactory(FileInsteadOfDevice(input, true));
    RecordingController::Request r;
    r.settings = Wav();
    r.settings.MISC.Stop = 1;
    r.settings.MISC.StopMin = 0;
    r.settings.MISC.StopSec = 5;
    r.settings.MISC.ActAftRec = 1;
    r.outputPath = dir + "/auto.wav";
    ASSERT_TRUE(rig.controller.Start(r));
    EXPECT_EQ(SampleRateOf(rig.controller.RecordingSettings()), 22050);
    EXPECT_EQ(ChannelsOf(rig.controller.RecordingSettings()), 1);
    rig.RunToEnd();
    const RecordingOutcome& o = rig.controller.Outcome();
    EXPECT_TRUE(o.autoStopped);
    EXPECT_TRUE(o.Succeeded());
    Settings live = Wav();
    live.MISC.ActAftRec = 7;  // changed while recording: the end takes this one
    EXPECT_EQ(AfterRecordingActionFor(o, live), 7);
    const Audio a = ReadAudio(dir + "/auto.wav");
    EXPECT_EQ(a.rate, 22050);
    EXPECT_EQ(a.frames, 5 * 22050);
  }
  {  // A file that cannot be created: the recording ends without a clip.
    Rig rig;
    rig.controller.SetInputFactory(FileInsteadOfDevice(input, true));
    RecordingController::Request r;
    r.settings = Wav(4, 1);
    r.outputPath = dir + "/no/such/folder/out.wav";
    ASSERT_TRUE(rig.controller.Start(r));
    rig.RunToEnd();
    EXPECT_EQ(rig.heard.finished, 1);
    EXPECT_TRUE(rig.controller.Outcome().clips.empty());
    EXPECT_FALSE(rig.controller.Outcome().Succeeded());
  }
  {  // An input that cannot be made starts nothing and says why.
    Rig rig;
    rig.controller.SetInputFactory(FileInsteadOfDevice(dir + "/missing.wav", true));
    RecordingController::Request r;
    r.settings = Wav();
    r.outputPath = dir + "/never.wav";
    EXPECT_FALSE(rig.controller.Start(r));
    EXPECT_FALSE(rig.controller.IsActive());
    ASSERT_EQ(rig.log.size(), 1u);
    EXPECT_EQ(rig.log[0].second, 2);
    EXPECT_NE(rig.log[0].first.find("missing.wav"), std::string::npos) << rig.log[0].first;
    EXPECT_FALSE(fs::exists(dir + "/never.wav"));
    EXPECT_EQ(rig.controller.Pump(200), 0);
  }
}
