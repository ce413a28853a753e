// Scheduled recordings launched by the window, offscreen: the day of
// ScheduledTimeline (the same one the scheduler service is put through) with
// the input read from a file in real time. Each start at its second, the
// task's own settings while it records and the global ones back after it,
// the skip, two recordings onto one path, every clip in the output list with
// its written length, and tomorrow announced after the last recording.
#include <gtest/gtest.h>

#include <QtTest/QTest>

#include <chrono>
#include <filesystem>

#include "GuiTestSupport.h"
#include "ScheduledTimeline.h"
#include "TestSupport.h"
#include "outputs/ui/OutputPage.h"
#include "scheduler/Scheduler.h"
#include "scheduler/TaskStore.h"

using namespace tarvexa;
using namespace tarvexa::test;
using Wall = std::chrono::system_clock;

TEST(ScheduledLaunch, TheWindowRecordsADayOfTasks) {
  WindowFixture w("scheduled-day");
  const std::string rec = w.Home() + "/recordings";
  WriteFile(w.Home() + "/Config.ini", ScheduledTimeline::kConfig);
  const ScheduledTimeline day(rec, Wall::to_time_t(Wall::now()) + 4);
  WriteFile(w.Home() + "/Task.ini", SerializeTasks(day.Tasks()));
  w.UseInputFile(MakeTestWav(ScratchDir("scheduled-day-input") + "/in.wav", 44100, 2, 10.0), true);
  CRecorderDlg& dlg = w.Dlg();
  // When each line came.
  std::vector<Wall::time_point> when;
  dlg.Log().AddListener(
      [&when](const std::string&, const std::string&, int) { when.push_back(Wall::now()); });
  ASSERT_TRUE(w.Start());
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
  // five seconds) each gave their file its exact length, and each file is
  // in the output list with that length.
  const struct {
    std::string path;
    int64_t frames;
    std::string duration;
  } files[] = {{rec + "/show.wav", 4 * 44100, "00:00:04"},
               {rec + "/global.flac", 5 * 44100, "00:00:05"},
               {second, 4 * 44100, "00:00:04"}};
  const OutputItems& items = dlg.GetOutputPage()->Items();
  EXPECT_EQ(items.Count(), 3);
  for (const auto& f : files) {
    SCOPED_TRACE(f.path);
    EXPECT_EQ(ReadAudio(f.path).frames, f.frames);
    const int row = items.Find(f.path);
    ASSERT_GE(row, 0);
    EXPECT_EQ(items.At(row).duration, f.duration);
  }
  EXPECT_FALSE(std::filesystem::exists(rec + "/other.wav"));
  // The global settings are in force again.
  EXPECT_EQ(dlg.CurrentSettings().OUTPUT.OutputFormat, kFormatFLAC);
  EXPECT_EQ(dlg.CurrentSettings().MISC.StopSec, 5);
}
