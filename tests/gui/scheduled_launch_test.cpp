// Scheduled recordings launched by the window, offscreen: the day of
// ScheduledTimeline (the same one the scheduler service is put through),
// recorded through PortAudio from the private virtual capture device while
// a tone plays into it. Each start at its second, the task's own settings
// while it records and the global ones back after it, the skip, two
// recordings onto one path, every file with its length (ffprobe) and the
// tone (sox) and in the output list, and tomorrow announced after the last
// recording.
#include <gtest/gtest.h>

#include <QtTest/QTest>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>

#include "GuiTestSupport.h"
#include "PrivateVirtualAudio.h"
#include "ScheduledTimeline.h"
#include "TestSupport.h"
#include "outputs/ui/OutputPage.h"
#include "scheduler/Scheduler.h"
#include "scheduler/TaskStore.h"

using namespace tarvexa;
using namespace tarvexa::test;
using Wall = std::chrono::system_clock;

namespace {

const auto* const gAudio =
    ::testing::AddGlobalTestEnvironment(new PrivateVirtualAudio("scheduled-launch"));

constexpr int kToneHz = 1500;

}  // namespace

TEST(ScheduledLaunch, TheWindowRecordsADayOfTasksFromTheCaptureDevice) {
  ASSERT_TRUE(PrivateVirtualAudio::available) << PrivateVirtualAudio::why;
  const std::string tone = ScratchDir("scheduled-day-tone") + "/tone.wav";
  ASSERT_EQ(test::Run("sox -n -r 44100 -c 2 -b 16 " + Quote(tone) + " synth 24 sine " +
                      std::to_string(kToneHz) + " vol 0.5"),
            0);
  WindowFixture w("scheduled-day");
  const std::string rec = w.Home() + "/recordings";
  WriteFile(w.Home() + "/Config.ini", ScheduledTimeline::kConfig);
  const ScheduledTimeline day(rec, Wall::to_time_t(Wall::now()) + 4);
  WriteFile(w.Home() + "/Task.ini", SerializeTasks(day.Tasks()));
  CRecorderDlg& dlg = w.Dlg();
  // When each line came.
  std::vector<Wall::time_point> when;
  dlg.Log().AddListener(
      [&when](const std::string&, const std::string&, int) { when.push_back(Wall::now()); });
  ASSERT_TRUE(w.Start());
  ASSERT_FALSE(dlg.InputDevices().empty()) << "PortAudio lists no capture device";
  // The tone sounds from before the first start to after the last end;
  // waited for (at the latest) before the window goes.
  auto player = std::async(std::launch::async, [&] {
    return test::Run(PrivateVirtualAudio::Script() + " play " + Quote(tone));
  });
  const LogLines& log = w.Log();

  ASSERT_TRUE(
      QTest::qWaitFor([&] { return log.Find("Finished recording" + rec + "/show ") >= 0; }, 40000))
      << log.Dump();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dlg.IsSessionActive(); }, 5000));
  QTest::qWait(200);  // the end of the recording's refresh runs behind it

  const int started = log.Find("Start recording  " + rec + "/show.wav");
  ASSERT_GE(started, 0) << log.Dump();
  ASSERT_LT(static_cast<size_t>(started), when.size());
  const double late = std::chrono::duration<double>(when[static_cast<size_t>(started)] -
                                                    Wall::from_time_t(day.At(3)))
                          .count();
  EXPECT_GE(late, 0.0);
  EXPECT_LT(late, 1.0) << "starts within a second of its time";
  EXPECT_GE(log.Find(kSkippedWhileRecording, started), 0) << log.Dump();
  const int again =
      log.Find("The file " + rec + "/show.wav exists; the task records to " + rec + "/show ");
  ASSERT_GE(again, 0) << log.Dump();
  const std::string& text = log.Lines()[static_cast<size_t>(again)].text;
  const std::string tail = text.substr(text.find(rec + "/show "));
  const std::string second = tail.substr(0, tail.size() - 1);  // the closing "."
  const int end = log.Find("Finished recording" + second);
  ASSERT_GE(end, 0) << log.Dump();
  EXPECT_GE(log.Find("The task \"Skipped\" will be launched on " + day.Announced(5, 1), end), 0)
      << "tomorrow announced after the last recording\n"
      << log.Dump();

  // The task's own settings (WAV, four seconds) and the global ones (FLAC,
  // five seconds) each gave their file its exact length, read by ffprobe,
  // the tone is what the device gave, and each file is in the output list
  // with its length.
  const OutputItems& items = dlg.GetOutputPage()->Items();
  EXPECT_EQ(items.Count(), 3);
  for (const auto& f : day.Recordings(second)) {
    SCOPED_TRACE(f.path);
    EXPECT_EQ(ReadAudio(f.path).frames, f.frames);
    std::string probed;
    EXPECT_EQ(
        test::Run("ffprobe -v error -show_entries stream=duration_ts -of csv=p=0 " + Quote(f.path),
                  &probed),
        0);
    EXPECT_EQ(std::atoll(probed.c_str()), f.frames) << probed;
    std::string freq;
    test::Run(
        "sox " + Quote(f.path) + " -n trim 1 2 remix 1 stat 2>&1 | awk '/Rough/ { print $3 }'",
        &freq);
    EXPECT_NEAR(std::atof(freq.c_str()), kToneHz, 20) << "the tone played into the device";
    const int row = items.Find(f.path);
    ASSERT_GE(row, 0);
    EXPECT_EQ(items.At(row).duration, f.duration);
  }
  EXPECT_FALSE(std::filesystem::exists(rec + "/other.wav"));
  // The global settings are in force again.
  EXPECT_EQ(dlg.CurrentSettings().OUTPUT.OutputFormat, kFormatFLAC);
  EXPECT_EQ(dlg.CurrentSettings().MISC.StopSec, 5);
  EXPECT_EQ(player.get(), 0) << "the tone played to its end";
}
