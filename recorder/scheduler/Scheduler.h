#pragma once
// The scheduler: finds the soonest active task, arms the clock for it and
// announces it; when the clock fires, launches the task (confirmation, the
// output folder, the task's own settings, its application and URL, the
// recording); when any recording ends, brings the global settings back and
// looks for the next start. What a launch needs from the program that
// records (a window, or a loop without one) comes through TaskLauncher.
//
// Starts missed while the machine slept or the clock was changed: a start
// seen less than the task's auto-stop length late (60 s for a task stopped
// by hand) is launched at once and records the rest of its length, with a
// warning saying how late; an older one is skipped with a warning.
// Thread affinity: one thread (the window's, or the loop's).

#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "config/ConfigStore.h"
#include "config/Settings.h"
#include "scheduler/SchedulerClock.h"
#include "scheduler/Task.h"

namespace tarvexa {

inline constexpr const char* kSkippedWhileRecording =
    "Tarvexa Sound Recorder is recording, the scheduled task is skipped.";
inline constexpr const char* kAllDormant = "All scheduled tasks are dormant or expired.";
inline constexpr int kLateGraceWithoutStopSeconds = 60;

// What the recorder is asked to record.
struct LaunchPlan {
  CTask task;
  std::string outputPath;  // with the extension of the format in force; never an existing file
  std::string basePath;    // outputPath without its extension, for split clips
  std::time_t due = 0;     // the announced start
  int lateSeconds = 0;     // > 0: record only the rest (ShortenForLateStart)
};

// Implemented by whatever records: the window, or the loop without one.
class TaskLauncher {
 public:
  virtual ~TaskLauncher() = default;
  // A recording runs (a launch is then skipped).
  virtual bool IsRecording() const = 0;
  // The window comes to the front, restored; nothing without a window.
  virtual void BringToFront() = 0;
  // Asks whether to launch, going on by itself after task.confirmSecs
  // seconds (the window's countdown box; a log line and a wait without one).
  // True to launch.
  virtual bool ConfirmLaunch(const CTask& task) = 0;
  // The settings in force changed (the task's own, or the global ones came
  // back): refresh what shows them and the output format.
  virtual void SettingsChanged() = 0;
  // "The scheduled task "..." launched." (the tray balloon, or the log).
  virtual void Announce(const std::string& text) = 0;
  // Starts the recording into plan.outputPath with the settings in force
  // (shortened by plan.lateSeconds). False when it did not start. Once it
  // has started, the launcher calls Scheduler::RecordingFinished() at its end.
  virtual bool StartScheduledRecording(const LaunchPlan& plan) = 0;
};

class LaunchLock;

class Scheduler {
 public:
  // settings: the process's settings, changed while a task's own are in
  // force. store: where the twelve overridden keys are kept meanwhile;
  // nullptr keeps them in memory only (a program that never writes
  // Config.ini).
  Scheduler(Settings& settings, const ConfigStore* store, const Clock& clock, LogSink log,
            bool withAlarm = true);

  void SetLauncher(TaskLauncher* launcher) { launcher_ = launcher; }
  // Another program of the same data folder may launch the tasks: a task
  // that comes due is launched only when this lock can be held, else it is
  // left to its holder with a line. Not owned; nullptr: always launch.
  void SetLaunchLock(LaunchLock* lock) { lock_ = lock; }
  // The tasks in row order (the order that breaks ties and that is saved).
  void SetTaskSource(std::function<std::vector<CTask>()> rows) { rows_ = std::move(rows); }
  // Called after every refresh, to refresh the "Next Starting Time" column.
  void SetScheduleChanged(std::function<void()> changed) { changed_ = std::move(changed); }

  SchedulerClock& GetClock() { return clock_; }
  // While set, the task list's commands and the editor's OK wait.
  bool Busy() const { return busy_; }
  const std::string& FiringTask() const { return firingTask_; }
  bool ScheduledRecording() const { return scheduledRecording_; }
  bool TaskOverride() const { return taskOverride_; }

  // Finds the soonest active task, arms the clock, logs the announcement
  // (or that every task is dormant or expired).
  void RefreshSchedule();
  // The driver's call when the clock's descriptor is readable or its check
  // time has come: launches or skips a due task.
  void OnWake();
  // The end of every recording, scheduled or not: the global settings come
  // back after a task's own, and the next start is looked for.
  void RecordingFinished();
  // Only the first half, for a program that ends: the global settings come
  // back (before they are saved), no start is looked for.
  void EndScheduledRecording();

  void ApplyTaskSettings(const CTask& task);
  void RestoreRecordingSettings();

 private:
  void LaunchScheduledTask(const SchedulerClock::Fired& fired);
  int FindRow(const std::vector<CTask>& rows, const Deadline& d) const;
  void Log(const std::string& text, int level) const {
    if (log_) log_(text, level);
  }

  Settings& settings_;
  const ConfigStore* store_;
  const Clock& now_;
  LogSink log_;
  SchedulerClock clock_;
  TaskLauncher* launcher_ = nullptr;
  LaunchLock* lock_ = nullptr;
  std::function<std::vector<CTask>()> rows_;
  std::function<void()> changed_;

  std::string firingTask_;
  bool busy_ = false;
  bool scheduledRecording_ = false;
  bool taskOverride_ = false;
  bool savedToFile_ = false;
  Settings saved_;  // the global values while a task's own are in force
};

// "The Scheduled Task "%s" will be Launched in %d Seconds, Continue?"
std::string ConfirmLaunchText(const CTask& task);

}  // namespace tarvexa
