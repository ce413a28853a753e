// `TarvexaSoundRecorder --scheduler` as a user runs it, on the private
// virtual capture device: a day of tasks (ScheduledTimeline) with some of
// them added to Task.ini while it runs, each start at its second, the
// recordings' exact lengths, the skip and the next day's announcement, two
// recordings onto one path, the output list, Config.ini never written; a
// confirmation by countdown, one service a data folder, SIGTERM in the
// middle of a recording, and the power action after a recording asked of a
// stand-in logind on a private bus (never the machine's own).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

#include "PrivateVirtualAudio.h"
#include "ScheduledTimeline.h"
#include "TestSupport.h"
#include "outputs/OutputStore.h"
#include "platform/AtomicFile.h"
#include "scheduler/Scheduler.h"
#include "scheduler/TaskStore.h"

using namespace tarvexa;
using namespace tarvexa::test;
namespace fs = std::filesystem;
using Wall = std::chrono::system_clock;

namespace {

const auto* const gAudio =
    ::testing::AddGlobalTestEnvironment(new PrivateVirtualAudio("scheduler-service"));

// The service as a child process, its output read line by line with the
// wall-clock time each line came.
class Service {
 public:
  // The system bus is `systemBus` (by default none at all), so nothing
  // the service asks of logind can reach the machine's own.
  explicit Service(const std::string& home,
                   const std::string& systemBus = "unix:path=/nonexistent/tarvexa-test-bus") {
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      setenv("TARVEXA_HOME", home.c_str(), 1);
      setenv("DBUS_SYSTEM_BUS_ADDRESS", systemBus.c_str(), 1);
      dup2(out[1], 1);
      dup2(out[1], 2);
      close(out[0]);
      close(out[1]);
      const std::string bin = std::string(TARVEXA_BIN_DIR) + "/TarvexaSoundRecorder";
      execl(bin.c_str(), bin.c_str(), "--scheduler", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    reader_ = std::thread([this, fd = out[0]] {
      std::string partial;
      char buf[4096];
      ssize_t n;
      while ((n = read(fd, buf, sizeof buf)) > 0) {
        partial.append(buf, static_cast<size_t>(n));
        for (size_t nl; (nl = partial.find('\n')) != std::string::npos; partial.erase(0, nl + 1)) {
          std::lock_guard<std::mutex> lock(mutex_);
          lines_.push_back({partial.substr(0, nl), Wall::now(), lines_.size()});
          changed_.notify_all();
        }
      }
      close(fd);
    });
  }
  ~Service() {
    if (pid_ > 0 && status_ < 0) Stop();
    if (reader_.joinable()) reader_.join();
  }

  // The first line holding text; waits up to `seconds` for it.
  // `after`: only lines that came after that one count.
  struct Line {
    std::string text;
    Wall::time_point at;
    size_t index = 0;
  };
  std::optional<Line> WaitFor(const std::string& text, int seconds = 30,
                              const std::optional<Line>& after = std::nullopt) {
    std::unique_lock<std::mutex> lock(mutex_);
    std::optional<Line> found;
    changed_.wait_for(lock, std::chrono::seconds(seconds), [&] {
      for (size_t i = after ? after->index + 1 : 0; i < lines_.size(); ++i)
        if (lines_[i].text.find(text) != std::string::npos) return found = lines_[i], true;
      return false;
    });
    return found;
  }
  std::string Dump() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string s;
    for (const Line& l : lines_) s += l.text + "\n";
    return s;
  }
  // SIGTERM, and the exit status.
  int Stop() {
    kill(pid_, SIGTERM);
    int st = 0;
    waitpid(pid_, &st, 0);
    status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return status_;
  }

 private:
  pid_t pid_ = -1;
  int status_ = -1;
  std::thread reader_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Line> lines_;
};

std::time_t NextSecond(int ahead) { return Wall::to_time_t(Wall::now()) + 1 + ahead; }

double SecondsAfter(Wall::time_point at, std::time_t instant) {
  return std::chrono::duration<double>(at - Wall::from_time_t(instant)).count();
}

#define REQUIRE_AUDIO() ASSERT_TRUE(PrivateVirtualAudio::available) << PrivateVirtualAudio::why

}  // namespace

TEST(SchedulerService, LaunchesADayOfTasksWithoutAWindow) {
  REQUIRE_AUDIO();
  const std::string home = ScratchDir("scheduler-service-day");
  const std::string rec = home + "/recordings";
  // The global settings change while "First" records (as the window saves
  // them): "Global" records with the new ones, a balloon after it included.
  const std::string timeline = ScheduledTimeline::kConfig;
  auto with = [&](const std::string& key, const std::string& value) {
    std::string text = timeline;
    return text.replace(text.find(key + "="), key.size() + 2, key + "=" + value);
  };
  const std::string config = with("ActAftRec", "2");
  WriteFile(home + "/Config.ini", with("StopSec", "9"));
  ScheduledTimeline day(rec, NextSecond(2));
  std::vector<CTask> tasks = day.Tasks();
  // Two tasks only reach Task.ini once the service runs.
  const std::vector<CTask> later(tasks.begin() + 2, tasks.end());
  tasks.resize(2);
  WriteFile(home + "/Task.ini", SerializeTasks(tasks));

  Service service(home);
  ASSERT_TRUE(service.WaitFor("The task \"First\" will be launched on " + day.Announced(3), 5))
      << service.Dump();
  tasks.insert(tasks.end(), later.begin(), later.end());
  ASSERT_TRUE(
      WriteFileAtomically(home + "/Task.ini", SerializeTasks(tasks)));  // as the window saves
  EXPECT_TRUE(service.WaitFor("Task.ini has changed: 4 task(s).", 5)) << service.Dump();

  const auto first = service.WaitFor("Start recording  " + rec + "/show.wav");
  ASSERT_TRUE(first) << service.Dump();
  ASSERT_TRUE(WriteFileAtomically(home + "/Config.ini", config));
  const double late = SecondsAfter(first->at, day.At(3));
  EXPECT_GE(late, 0.0);
  EXPECT_LT(late, 1.0) << "starts within a second of its time";
  EXPECT_TRUE(service.WaitFor(kSkippedWhileRecording)) << service.Dump();
  const auto reread =
      service.WaitFor("Config.ini has changed: the global settings are read again.");
  ASSERT_TRUE(reread) << service.Dump();
  EXPECT_TRUE(service.WaitFor("Finished recording" + rec + "/show.wav", 1, reread) == std::nullopt)
      << "read again once the recording has ended";
  const auto global = service.WaitFor("Finished recording" + rec + "/global.flac");
  ASSERT_TRUE(global) << service.Dump();
  EXPECT_TRUE(service.WaitFor(
      "After this recording the window would show a balloon; the scheduler service does not.", 5,
      global))
      << service.Dump();
  const auto again = service.WaitFor("The file " + rec + "/show.wav exists; the task records to " +
                                     rec + "/show ");
  ASSERT_TRUE(again) << service.Dump();
  const std::string second =
      again->text.substr(again->text.find(rec + "/show "), std::string::npos);
  const std::string secondPath = second.substr(0, second.size() - 1);  // the closing "."
  const auto last = service.WaitFor("Finished recording" + secondPath, 30, again);
  ASSERT_TRUE(last) << service.Dump();
  EXPECT_TRUE(
      service.WaitFor("The task \"Skipped\" will be launched on " + day.Announced(5, 1), 5, last))
      << "tomorrow's start announced after the last recording\n"
      << service.Dump();
  EXPECT_EQ(service.Stop(), 0) << service.Dump();
  EXPECT_TRUE(service.WaitFor("The scheduler has ended.", 1));

  // Each file holds exactly its length: the task's own, then the global
  // settings back (FLAC, five seconds), then the task's own again; ffprobe
  // reads each as a whole file of that length.
  std::vector<OutputEntry> listed;
  ASSERT_TRUE(DecodeOutputList(ReadFile(home + "/Output.ini"), &listed));
  for (const auto& f : day.Recordings(secondPath)) {
    SCOPED_TRACE(f.path);
    EXPECT_EQ(ReadAudio(f.path).frames, f.frames);
    std::string probed;
    EXPECT_EQ(
        test::Run("ffprobe -v error -show_entries stream=duration_ts -of csv=p=0 " + Quote(f.path),
                  &probed),
        0);
    EXPECT_EQ(std::atoll(probed.c_str()), f.frames) << probed;
    const auto it = std::find_if(listed.begin(), listed.end(),
                                 [&](const OutputEntry& e) { return e.FullPath() == f.path; });
    ASSERT_NE(it, listed.end()) << "in the output list";
    EXPECT_EQ(it->duration, f.duration);
  }
  EXPECT_EQ(listed.size(), 3u);
  EXPECT_FALSE(fs::exists(rec + "/other.wav"));
  EXPECT_EQ(ReadFile(home + "/Config.ini"), config) << "never written";
}

TEST(SchedulerService, ConfirmsByCountdownAndSigtermStopsARecordingCleanly) {
  REQUIRE_AUDIO();
  const std::string home = ScratchDir("scheduler-service-stop");
  ScheduledTimeline day(home, NextSecond(1));
  CTask task = day.Task("Long", kModeDaily, 2, "long.wav", 50);
  task.confirm = 1;
  task.confirmSecs = 5;
  WriteFile(home + "/Task.ini", SerializeTasks({task}));
  Service service(home);
  // Nobody to ask: a line, and the launch when the countdown has run out.
  const auto asked =
      service.WaitFor("The scheduled task \"Long\" will be launched in 5 seconds.", 10);
  ASSERT_TRUE(asked) << service.Dump();
  const auto started = service.WaitFor("Start recording  " + home + "/long.wav", 10, asked);
  ASSERT_TRUE(started) << service.Dump();
  EXPECT_GE(SecondsAfter(started->at, day.At(2)), 5.0);
  {
    Service second(home);  // one service a data folder
    EXPECT_TRUE(second.WaitFor("; this scheduler ends.", 10)) << second.Dump();
    EXPECT_EQ(second.Stop(), 1) << second.Dump();
  }
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const double recorded = std::chrono::duration<double>(Wall::now() - started->at).count();
  EXPECT_EQ(service.Stop(), 0) << service.Dump();
  EXPECT_TRUE(service.WaitFor("Stopping (interrupted).", 1)) << service.Dump();
  EXPECT_TRUE(service.WaitFor("Finished recording" + home + "/long.wav", 1)) << service.Dump();
  // What came until the signal, less the session's 200-ms start delay, is
  // in a whole file.
  const Audio a = ReadAudio(home + "/long.wav");
  EXPECT_GE(a.frames, static_cast<int64_t>((recorded - 0.5) * 44100));
  EXPECT_LE(a.frames, static_cast<int64_t>((recorded + 0.5) * 44100));
  EXPECT_EQ(test::Run("ffprobe -v error " + Quote(home + "/long.wav")), 0) << "a whole file";
}

// After a recording its stop time ended, the task's power action is asked of
// logind once the file is finished; a refusal is an error line and the
// service goes on.
TEST(SchedulerService, AsksLogindForThePowerActionAfterTheRecording) {
  REQUIRE_AUDIO();
  const std::string fake = std::string(TARVEXA_BIN_DIR) + "/fake_logind";
  ASSERT_TRUE(fs::exists(fake)) << fake;
  const struct {
    int action;
    std::string control;
    std::vector<std::string> calls;
    std::string line;
  } cases[] = {
      {7,
       "",
       {"CanPowerOff", "PowerOff interactive=false"},
       "After the recording: shut down the computer."},
      {4,
       "CanSuspend=na",
       {"CanSuspend"},
       "Could not suspend the computer: logind answers CanSuspend with \"na\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    PrivateBus bus("scheduler-service-bus");
    ASSERT_TRUE(bus.ok()) << "dbus-daemon could not be started";
    const std::string calls = bus.dir() + "/calls.log", control = bus.dir() + "/control";
    WriteFile(control, c.control);
    // The stand-in is a Qt program; in a ThreadSanitizer build Qt's own
    // threads, built without it, would be reported and end it. What is
    // checked for races is the service.
    pid_t logind = Spawn({fake, calls, control},
                         {"DBUS_SYSTEM_BUS_ADDRESS=" + bus.address(), "TSAN_OPTIONS=report_bugs=0"},
                         bus.dir() + "/fake_logind.out");
    ASSERT_TRUE(WaitFor([&] { return ReadFile(calls).find("READY\n") != std::string::npos; }, 10));
    WriteFile(calls, "");

    const std::string home = ScratchDir("scheduler-service-power");
    ScheduledTimeline day(home, NextSecond(1));
    CTask task = day.Task("Power", kModeOnce, 2, "power.wav", 2);
    task.afterRecording = static_cast<uint16_t>(c.action);
    WriteFile(home + "/Task.ini", SerializeTasks({task}));
    Service service(home, bus.address());
    const auto finished = service.WaitFor("Finished recording" + home + "/power.wav", 20);
    ASSERT_TRUE(finished) << service.Dump();
    EXPECT_TRUE(service.WaitFor(c.line, 10, finished)) << service.Dump();
    // The line comes before the call; logind's log is read until it holds
    // as many calls as expected (a few seconds at most).
    std::vector<std::string> asked;
    WaitFor(
        [&] {
          asked.clear();
          std::istringstream in(ReadFile(calls));
          for (std::string l; std::getline(in, l);) asked.push_back(l);
          return asked.size() >= c.calls.size();
        },
        5);
    EXPECT_EQ(asked, c.calls);
    EXPECT_EQ(service.Stop(), 0) << service.Dump();
    EXPECT_EQ(ReadAudio(home + "/power.wav").frames, 2 * 44100) << "finished before the action";
    StopChild(logind);
  }
}
