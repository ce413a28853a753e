// The scheduler with its clock handed in: which task is announced, the launch
// at the announced second with the task's own settings and their return, the
// skip while recording, a cancelled confirmation, starts seen late after a
// suspend or a clock change, paths that never replace a recording, and the
// task's application started without a shell.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "TestSupport.h"
#include "platform/IniStore.h"
#include "recording/UnusedPath.h"
#include "scheduler/LaunchLock.h"
#include "scheduler/Scheduler.h"
#include "scheduler/TaskLaunch.h"

namespace tarvexa {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;

std::time_t Instant(const std::string& text) {
  std::tm tm{};
  strptime(text.c_str(), "%Y-%m-%d %H:%M:%S %z", &tm);
  const long offset = tm.tm_gmtoff;
  return timegm(&tm) - offset;
}

struct FakeClock : Clock {
  int64_t ms = 0;
  int64_t NowMs() const override { return ms; }
  void Set(const std::string& text, int extraMs = 0) { ms = Instant(text) * 1000 + extraMs; }
};

struct FakeLauncher : TaskLauncher {
  explicit FakeLauncher(Settings& s) : settings(s) {}
  Settings& settings;
  bool recording = false;
  bool answer = true;
  std::vector<std::string> calls;
  std::vector<LaunchPlan> plans;
  Settings atStart;
  bool IsRecording() const override { return recording; }
  void BringToFront() override { calls.push_back("front"); }
  bool ConfirmLaunch(const CTask& t) override {
    calls.push_back(ConfirmLaunchText(t));
    return answer;
  }
  void SettingsChanged() override { calls.push_back("settings"); }
  void Announce(const std::string& text) override { calls.push_back(text); }
  bool StartScheduledRecording(const LaunchPlan& p) override {
    calls.push_back("start");
    plans.push_back(p);
    atStart = settings;
    recording = true;
    return true;
  }
};

// Waits for a file that a started program writes.
std::string WaitForFile(const std::string& path) {
  for (int i = 0; i < 100 && !fs::exists(path); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return ReadFile(path);
}

// Writes each argument it gets on a line of its own into `out`.
std::string ArgsScript(const std::string& path, const std::string& out) {
  fs::create_directories(fs::path(path).parent_path());
  test::WriteFile(path,
                  "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + out + "'\n");
  fs::permissions(path, fs::perms::owner_all);
  return path;
}

class SchedulerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tzset();
    global.OUTPUT.OutputFormat = 2;
    global.MISC.Stop = 0;
    settings = global;
    sched.SetLauncher(&launcher);
    sched.SetTaskSource([this] { return rows; });
  }
  void TearDown() override { tzset(); }

  CTask Daily(const std::string& title, int hour) {
    CTask t = NewTask(global, {2026, 6, 1, hour, 0, 0});
    t.title = title;
    t.mode = kModeDaily;
    t.confirm = 0;
    t.outputFile = dir + "/" + title + ".mp3";
    return t;
  }
  int Find(const std::string& text, int level) const {
    for (size_t i = 0; i < log.size(); ++i)
      if (log[i].first.find(text) != std::string::npos && log[i].second == level)
        return static_cast<int>(i);
    return -1;
  }
  std::string Dump() const {
    std::string s;
    for (const auto& [t, l] : log) s += std::to_string(l) + " " + t + "\n";
    return s;
  }

  test::ScopedEnv tz{"TZ", "Europe/Berlin"};
  std::string dir = test::ScratchDir("scheduler_test");
  ConfigStore store{dir + "/Config.ini"};
  Settings global, settings;
  FakeClock clock;
  std::vector<std::pair<std::string, int>> log;
  Scheduler sched{settings, &store, clock,
                  [this](const std::string& t, int l) { log.emplace_back(t, l); }, false};
  FakeLauncher launcher{settings};
  std::vector<CTask> rows;
};

TEST_F(SchedulerTest, LaunchesAtTheAnnouncedSecondWithItsOwnSettingsAndBringsTheGlobalOnesBack) {
  CTask dormant = Daily("Dormant", 6);
  dormant.active = 0;
  CTask task = Daily("Morning show", 7);
  task.outputFile = dir + "/new/sub.folder/Morning show.mp3";
  task.override = 1, task.format = 1, task.freqIndex = 8, task.channels = 1,
  task.afterRecording = 0;
  task.stopAfter = 1, task.stopHour = 0, task.stopMinute = 0, task.stopSecond = 4;
  task.runApp = 1;
  task.appCommand =
      "'" + ArgsScript(dir + "/bin dir/app.sh", dir + "/app.txt") + "' --play \"a b\"";
  task.openUrl = 1;
  task.url = "https://example.org/live?x=1&y=2";
  ArgsScript(dir + "/opener.sh", dir + "/opener.txt");
  test::ScopedEnv opener("TARVEXA_OPENER", dir + "/opener.sh");
  rows = {dormant, Daily("Later", 9), task};

  clock.Set("2026-06-01 06:59:50 +0200");
  sched.RefreshSchedule();
  EXPECT_EQ(sched.FiringTask(), "Morning show");
  EXPECT_GE(Find("The task \"Morning show\" will be launched on Jun 01, 2026, 07:00:00", 0), 0)
      << Dump();
  EXPECT_GE(Find("after  0 Days 00 Hours 00 Minutes 10 Seconds", 0), 0) << Dump();

  clock.Set("2026-06-01 06:59:59 +0200", 900);
  EXPECT_EQ(sched.GetClock().MsUntilCheck(), 100);
  sched.OnWake();
  EXPECT_TRUE(launcher.plans.empty()) << "launched before its second";

  clock.Set("2026-06-01 07:00:00 +0200", 200);
  sched.OnWake();
  ASSERT_EQ(launcher.plans.size(), 1u) << Dump();
  EXPECT_EQ(launcher.calls,
            (std::vector<std::string>{"front", "settings",
                                      "The scheduled task \"Morning show\" launched.", "start"}));
  const LaunchPlan& plan = launcher.plans[0];
  EXPECT_EQ(plan.outputPath, dir + "/new/sub.folder/Morning show.wav");
  EXPECT_EQ(plan.basePath, dir + "/new/sub.folder/Morning show");
  EXPECT_EQ(plan.lateSeconds, 0);
  EXPECT_TRUE(fs::is_directory(dir + "/new/sub.folder"));
  const Settings& at = launcher.atStart;  // format, rate, channels, stop, its seconds, action
  EXPECT_EQ(std::vector<int>({at.OUTPUT.OutputFormat, at.OUTPUT.Freq, at.OUTPUT.Chan, at.MISC.Stop,
                              at.MISC.StopSec, at.MISC.ActAftRec}),
            std::vector<int>({1, 8, 1, 1, 4, 0}));
  EXPECT_TRUE(sched.ScheduledRecording());
  EXPECT_TRUE(sched.TaskOverride());
  // The global values wait in Config.ini meanwhile.
  IniStore ini;
  ASSERT_TRUE(ini.Load(store.Path()));
  EXPECT_EQ(ini.GetInt("OUTPUT", "OutputFormat", -1), 2);
  EXPECT_EQ(ini.GetInt("MISC", "StopSec", -1), global.MISC.StopSec);
  EXPECT_EQ(WaitForFile(dir + "/app.txt"), "--play\na b\n");
  EXPECT_EQ(WaitForFile(dir + "/opener.txt"), task.url + "\n");

  launcher.recording = false;
  clock.Set("2026-06-01 07:00:05 +0200");
  sched.RecordingFinished();
  EXPECT_EQ(test::DumpSettings(settings), test::DumpSettings(global));
  EXPECT_FALSE(sched.ScheduledRecording());
  EXPECT_FALSE(sched.TaskOverride());
  EXPECT_GE(Find("The task \"Later\" will be launched on Jun 01, 2026, 09:00:00", 0), 0) << Dump();
}

TEST_F(SchedulerTest, EachStartDueWhileRecordingIsSkippedWithItsLineAndTheNextDayFollows) {
  rows = {Daily("News", 7), Daily("Talk", 8)};
  clock.Set("2026-06-01 06:00:00 +0200");
  sched.RefreshSchedule();
  launcher.recording = true;  // a recording started by hand, for hours
  for (const char* due : {"2026-06-01 07:00:00 +0200", "2026-06-01 08:00:00 +0200"}) {
    SCOPED_TRACE(due);
    clock.Set(due);
    sched.OnWake();
    EXPECT_TRUE(sched.GetClock().Armed()) << "the next start is still looked for";
  }
  EXPECT_TRUE(launcher.plans.empty());
  int skips = 0;
  for (const auto& [text, level] : log) skips += text == kSkippedWhileRecording && level == 1;
  EXPECT_EQ(skips, 2) << Dump();

  launcher.recording = false;
  clock.Set("2026-06-01 08:30:00 +0200");
  sched.RecordingFinished();  // the manual recording ends
  EXPECT_GE(Find("The task \"News\" will be launched on Jun 02, 2026, 07:00:00", 0), 0) << Dump();
  EXPECT_EQ(test::DumpSettings(settings), test::DumpSettings(global));
}

// The window and the scheduler service of one data folder both run a
// scheduler; only the holder of the launch lock launches, the other one
// leaves the task with a line and looks ahead, and takes over once the
// holder has ended.
TEST_F(SchedulerTest, OnlyTheHolderOfTheLaunchLockLaunches) {
  rows = {Daily("News", 7)};
  auto window = std::make_unique<LaunchLock>(dir + "/" + kLaunchLockFile, "the window");
  ASSERT_TRUE(window->TryAcquire());
  LaunchLock service(dir + "/" + kLaunchLockFile, "the service");
  EXPECT_FALSE(service.TryAcquire());
  EXPECT_EQ(service.Holder(), "the window (process " + std::to_string(::getpid()) + ")");
  sched.SetLaunchLock(&service);

  clock.Set("2026-06-01 06:59:59 +0200");
  sched.RefreshSchedule();
  clock.Set("2026-06-01 07:00:00 +0200", 10);
  sched.OnWake();
  EXPECT_TRUE(launcher.calls.empty()) << Dump();
  EXPECT_GE(Find("The task \"News\" is launched by " + service.Holder() + ".", 0), 0) << Dump();
  EXPECT_GE(Find("will be launched on Jun 02, 2026, 07:00:00", 0), 0) << Dump();

  window.reset();  // the window ends
  clock.Set("2026-06-02 07:00:00 +0200", 10);
  sched.OnWake();
  EXPECT_EQ(launcher.plans.size(), 1u) << Dump();
  EXPECT_TRUE(service.Held());
}

TEST_F(SchedulerTest, ACancelledConfirmationRecordsNothingAndLooksAhead) {
  CTask task = Daily("Ask first", 7);
  task.confirm = 1, task.confirmSecs = 45, task.override = 1, task.format = 1;
  rows = {task};
  launcher.answer = false;
  clock.Set("2026-06-01 06:59:00 +0200");
  sched.RefreshSchedule();
  // Cancelled within the start's own second: tomorrow is still announced.
  clock.Set("2026-06-01 07:00:00 +0200");
  sched.OnWake();
  EXPECT_EQ(
      launcher.calls,
      (std::vector<std::string>{
          "front", "The Scheduled Task \"Ask first\" will be Launched in 45 Seconds, Continue?"}));
  EXPECT_TRUE(launcher.plans.empty());
  EXPECT_EQ(settings.OUTPUT.OutputFormat, global.OUTPUT.OutputFormat);
  EXPECT_FALSE(fs::exists(store.Path())) << "nothing was swapped";
  EXPECT_GE(Find("will be launched on Jun 02, 2026, 07:00:00", 0), 0) << Dump();
}

TEST_F(SchedulerTest, StartsSeenLateRecordTheRestOrAreSkipped) {
  struct Case {
    const char* what;
    int stopSeconds;  // 0: stopped by hand
    int lateSeconds;
    bool launched;
  } cases[] = {
      {"asleep 4 min, 10 min to record", 600, 240, true},
      {"asleep 11 min, 10 min to record", 600, 660, false},
      {"asleep 50 s, stopped by hand", 0, 50, true},
      {"asleep 90 s, stopped by hand", 0, 90, false},
  };
  for (const Case& c : cases) {
    log.clear();
    launcher.plans.clear();
    CTask task = Daily(c.what, 7);
    task.override = 1, task.stopAfter = c.stopSeconds > 0;
    task.stopHour = 0, task.stopMinute = static_cast<uint16_t>(c.stopSeconds / 60),
    task.stopSecond = 0;
    rows = {task};
    clock.Set("2026-06-01 06:00:00 +0200");
    sched.RefreshSchedule();
    // The machine sleeps through the start; the alarm rings on resume.
    clock.Set("2026-06-01 07:00:00 +0200", c.lateSeconds * 1000 + 300);
    sched.OnWake();
    ASSERT_EQ(launcher.plans.size(), c.launched ? 1u : 0u) << c.what << "\n" << Dump();
    if (c.launched) {
      EXPECT_EQ(launcher.plans[0].lateSeconds, c.lateSeconds) << c.what;
      EXPECT_GE(Find("starts", 1), 0) << c.what << "\n" << Dump();
      Settings session = launcher.atStart;
      ShortenForLateStart(session, launcher.plans[0].lateSeconds);
      if (c.stopSeconds > 0) {
        EXPECT_EQ(session.MISC.StopMin * 60 + session.MISC.StopSec, c.stopSeconds - c.lateSeconds)
            << c.what;
      }
      launcher.recording = false;
      sched.RecordingFinished();
    } else {
      EXPECT_GE(Find("is skipped", 1), 0) << c.what << "\n" << Dump();
      EXPECT_GE(Find("will be launched on Jun 02, 2026, 07:00:00", 0), 0) << c.what << "\n"
                                                                          << Dump();
    }
  }
  // A refresh in the very second of a start (a task edited then) launches
  // it rather than losing it to tomorrow.
  launcher.plans.clear();
  rows = {Daily("Edited at the start", 7)};
  clock.Set("2026-06-01 06:00:00 +0200");
  sched.RefreshSchedule();
  clock.Set("2026-06-01 07:00:00 +0200", 400);
  sched.RefreshSchedule();
  EXPECT_EQ(launcher.plans.size(), 1u) << Dump();
}

TEST_F(SchedulerTest, WhichTaskIsAnnounced) {
  // Same second: the earlier row. Equal titles: the row that was chosen.
  CTask first = Daily("Show", 8);
  CTask twin = Daily("SHOW", 7);
  twin.outputFile = dir + "/twin.mp3";
  rows = {Daily("A", 7), Daily("B", 7)};
  clock.Set("2026-06-01 06:00:00 +0200");
  sched.RefreshSchedule();
  EXPECT_EQ(sched.FiringTask(), "A");

  rows = {first, twin};
  sched.RefreshSchedule();
  clock.Set("2026-06-01 07:00:00 +0200");
  sched.OnWake();
  ASSERT_EQ(launcher.plans.size(), 1u);
  EXPECT_EQ(launcher.plans[0].task.outputFile, twin.outputFile);
  launcher.recording = false;

  // Forty days ahead fires forty days ahead, not before.
  CTask once = Daily("Far", 8);
  once.mode = kModeOnce, once.startMonth = 7, once.startDay = 11;
  rows = {once};
  clock.Set("2026-06-01 08:00:00 +0200");
  launcher.plans.clear();
  sched.RefreshSchedule();
  EXPECT_GE(Find("after 40 Days 00 Hours 00 Minutes 00 Seconds", 0), 0) << Dump();
  clock.Set("2026-07-11 07:59:59 +0200", 999);
  sched.OnWake();
  EXPECT_TRUE(launcher.plans.empty());
  clock.Set("2026-07-11 08:00:00 +0200");
  sched.OnWake();
  EXPECT_EQ(launcher.plans.size(), 1u);
  launcher.recording = false;

  // Dormant or expired: said once, nothing armed; an empty list says nothing.
  log.clear();
  once.active = 0;
  rows = {once, Daily("Dormant", 9)};
  rows[1].active = 0;
  sched.RefreshSchedule();
  EXPECT_EQ(log, (std::vector<std::pair<std::string, int>>{{kAllDormant, 1}}));
  EXPECT_FALSE(sched.GetClock().Armed());
  log.clear();
  rows.clear();
  sched.RefreshSchedule();
  EXPECT_TRUE(log.empty());
}

TEST_F(SchedulerTest, ARecurringTaskNeverReplacesItsEarlierRecordings) {
  rows = {Daily("Morning show", 7)};
  for (const char* day : {"2026-06-01", "2026-06-02", "2026-06-03"}) {
    clock.Set(std::string(day) + " 06:00:00 +0200");
    sched.RefreshSchedule();
    clock.Set(std::string(day) + " 07:00:00 +0200");
    sched.OnWake();
    test::WriteFile(launcher.plans.back().outputPath, "recorded");
    launcher.recording = false;
    sched.RecordingFinished();
  }
  // The third day's dated name was free, so no counter is needed.
  std::vector<std::string> paths;
  for (const LaunchPlan& p : launcher.plans) paths.push_back(fs::path(p.outputPath).filename());
  EXPECT_EQ(paths,
            (std::vector<std::string>{"Morning show.mp3", "Morning show 2026-06-02 07-00-00.mp3",
                                      "Morning show 2026-06-03 07-00-00.mp3"}));
  EXPECT_GE(Find("Morning show 2026-06-02 07-00-00.mp3", 0), 0) << Dump();
  // Taken twice over: a counter; a companion file counts as taken.
  test::WriteFile(dir + "/x 2026-06-03 07-00-00.wv", "");
  test::WriteFile(dir + "/x.wvc", "");
  EXPECT_EQ(UnusedPathFor(dir + "/x.wv", Instant("2026-06-03 07:00:00 +0200"), {"c"}),
            dir + "/x 2026-06-03 07-00-00 (2).wv");
}

TEST_F(SchedulerTest, TheApplicationStartsWithoutAShell) {
  const std::string script = ArgsScript(dir + "/app.sh", dir + "/args.txt");
  std::string error;
  ASSERT_TRUE(
      RunTaskApplication(script + " \"a b\" ; touch '" + dir + "/INJECTED' $HOME `id` \\|", &error))
      << error;
  EXPECT_EQ(WaitForFile(dir + "/args.txt"),
            "a b\n;\ntouch\n" + dir + "/INJECTED\n$HOME\n`id`\n|\n");
  EXPECT_FALSE(fs::exists(dir + "/INJECTED"));

  CTask task = Daily("Missing app", 7);
  task.runApp = 1, task.appCommand = "no-such-program-here --now";
  task.openUrl = 1, task.url = "-x";
  rows = {task};
  clock.Set("2026-06-01 06:00:00 +0200");
  sched.RefreshSchedule();
  clock.Set("2026-06-01 07:00:00 +0200");
  sched.OnWake();
  EXPECT_GE(Find("An error occurred while running the app no-such-program-here --now.", 1), 0)
      << Dump();
  EXPECT_GE(Find("An error occurred while open the URL -x.", 1), 0) << Dump();
  EXPECT_EQ(launcher.plans.size(), 1u) << "the recording starts all the same";
  EXPECT_FALSE(RunTaskApplication("unclosed 'quote", &error));
}

}  // namespace
}  // namespace tarvexa
