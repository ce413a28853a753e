#include "scheduler/Scheduler.h"

#include <strings.h>

#include <limits>

#include "formats/FormatCatalogue.h"
#include "platform/Text.h"
#include "recording/UnusedPath.h"
#include "scheduler/LaunchLock.h"
#include "scheduler/LocalTime.h"
#include "scheduler/TaskLaunch.h"

namespace tarvexa {

namespace {

constexpr const char* kAnnounceFormat = "%b %d, %Y, %H:%M:%S";

bool SameTitle(const std::string& a, const std::string& b) {
  return a.size() == b.size() && ::strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

std::string Duration(int64_t seconds) {
  if (seconds < 60) return Printf("%lld s", static_cast<long long>(seconds));
  if (seconds < 3600)
    return Printf("%lld min %02lld s", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
  return Printf("%lld h %02lld min", static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60));
}

}  // namespace

std::string ConfirmLaunchText(const CTask& task) {
  return Printf("The Scheduled Task \"%s\" will be Launched in %d Seconds, Continue?",
                task.title.c_str(), static_cast<int>(task.confirmSecs));
}

Scheduler::Scheduler(Settings& settings, const ConfigStore* store, const Clock& clock, LogSink log,
                     bool withAlarm)
    : settings_(settings),
      store_(store),
      now_(clock),
      log_(std::move(log)),
      clock_(clock, withAlarm) {}

void Scheduler::RefreshSchedule() {
  // A start that has come but not yet been seen by the driver (a task
  // changed in the very second, a refresh right after a resume) is
  // launched or skipped by its own rules rather than lost.
  if (clock_.Due() && launcher_ && !busy_) {
    OnWake();
    return;
  }
  busy_ = true;
  firingTask_.clear();
  const std::vector<CTask> rows = rows_ ? rows_() : std::vector<CTask>{};
  int best = -1;
  int64_t bestSpan = std::numeric_limits<int64_t>::max();
  std::time_t bestDue = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    const std::time_t now = now_.Now();  // read anew for each task
    const std::optional<std::time_t> next = UpcomingStartTime(rows[i], now);
    if (!next || !rows[i].active) continue;
    const int64_t span = static_cast<int64_t>(*next) - now;
    if (span > 0 && span < bestSpan) {
      best = static_cast<int>(i);
      bestSpan = span;
      bestDue = *next;
    }
  }
  if (best < 0) {
    if (!rows.empty()) Log(kAllDormant, 1);
    clock_.Disarm();
  } else {
    const CTask& task = rows[static_cast<size_t>(best)];
    firingTask_ = task.title;
    clock_.Arm({task.title, best, bestDue});
    Log(Printf("The task \"%s\" will be launched on %s", task.title.c_str(),
               FormatLocal(bestDue, kAnnounceFormat).c_str()),
        0);
    Log(Printf("after %2d Days %02d Hours %02d Minutes %02d Seconds",
               static_cast<int>(bestSpan / 86400), static_cast<int>(bestSpan / 3600 % 24),
               static_cast<int>(bestSpan / 60 % 60), static_cast<int>(bestSpan % 60)),
        0);
  }
  busy_ = false;
  if (changed_) changed_();
}

void Scheduler::OnWake() {
  // While a launch asks the user the clock is disarmed anyway; without a
  // launcher nothing could be launched, so the deadline stays armed.
  if (busy_ || !launcher_) return;
  const std::optional<SchedulerClock::Fired> fired = clock_.Check();
  if (fired) LaunchScheduledTask(*fired);
}

int Scheduler::FindRow(const std::vector<CTask>& rows, const Deadline& d) const {
  // The row the deadline was armed for, when it still holds the task;
  // otherwise the first row of that title.
  if (d.row >= 0 && static_cast<size_t>(d.row) < rows.size() &&
      SameTitle(rows[static_cast<size_t>(d.row)].title, d.title))
    return d.row;
  for (size_t i = 0; i < rows.size(); ++i)
    if (SameTitle(rows[i].title, d.title)) return static_cast<int>(i);
  return -1;
}

void Scheduler::LaunchScheduledTask(const SchedulerClock::Fired& fired) {
  const Deadline& d = fired.deadline;
  if (lock_ && !lock_->TryAcquire()) {
    // The other program launches it; this one looks on to the next start.
    Log(Printf("The task \"%s\" is launched by %s.", d.title.c_str(), lock_->Holder().c_str()), 0);
    RefreshSchedule();
    return;
  }
  if (launcher_->IsRecording()) {
    // The next start is armed at once, so every start that comes due while
    // this recording goes on gets its line too; the end of the recording
    // looks ahead again.
    Log(kSkippedWhileRecording, 1);
    RefreshSchedule();
    return;
  }
  busy_ = true;
  const std::vector<CTask> rows = rows_ ? rows_() : std::vector<CTask>{};
  const int row = FindRow(rows, d);
  if (row < 0) {
    busy_ = false;
    RefreshSchedule();
    return;
  }
  const CTask task = rows[static_cast<size_t>(row)];

  // Late: the machine slept or the clock was set past the start.
  const int64_t lateSeconds = fired.lateMs / 1000;
  if (lateSeconds > 0) {
    const int stop = StopSecondsFor(task, settings_);
    const int grace = stop > 0 ? stop : kLateGraceWithoutStopSeconds;
    const std::string due = FormatLocal(d.due, kAnnounceFormat);
    if (lateSeconds >= grace) {
      Log(Printf("The task \"%s\" was due on %s and is skipped: it was missed by %s "
                 "(the computer was asleep or its clock was changed).",
                 task.title.c_str(), due.c_str(), Duration(lateSeconds).c_str()),
          1);
      busy_ = false;
      RefreshSchedule();
      return;
    }
    Log(Printf("The task \"%s\" was due on %s and starts %s late "
               "(the computer was asleep or its clock was changed).",
               task.title.c_str(), due.c_str(), Duration(lateSeconds).c_str()),
        1);
  }

  std::string error;
  if (!EnsureOutputFolder(task.outputFile, &error))
    Log("The folder for " + task.outputFile + " could not be created: " + error, 1);
  launcher_->BringToFront();
  if (task.confirm && !launcher_->ConfirmLaunch(task)) {
    busy_ = false;
    RefreshSchedule();
    return;
  }
  if (task.override) {
    taskOverride_ = true;
    ApplyTaskSettings(task);
  }
  scheduledRecording_ = true;

  LaunchPlan plan;
  plan.task = task;
  plan.due = d.due;
  plan.lateSeconds = static_cast<int>(lateSeconds);
  const std::string ext = FileExtensionFor(settings_.OUTPUT.OutputFormat, settings_);
  const std::string wanted = ScheduledOutputPath(task.outputFile, ext);
  // A recurring task would otherwise replace yesterday's recording.
  plan.outputPath = UnusedPathFor(wanted, d.due, {"c"});
  if (plan.outputPath != wanted)
    Log("The file " + wanted + " exists; the task records to " + plan.outputPath + ".", 0);
  plan.basePath = plan.outputPath.substr(0, plan.outputPath.size() - ext.size());

  if (task.runApp && !RunTaskApplication(task.appCommand, &error)) {
    Log(Printf("An error occurred while running the app %s.", task.appCommand.c_str()), 1);
    Log(error, 1);
  }
  if (task.openUrl && !OpenTaskUrl(task.url, &error)) {
    Log(Printf("An error occurred while open the URL %s.", task.url.c_str()), 1);
    Log(error, 1);
  }
  busy_ = false;
  launcher_->Announce(Printf("The scheduled task \"%s\" launched.", task.title.c_str()));
  if (!launcher_->StartScheduledRecording(plan)) {
    // Nothing records: the global settings come back and the next start
    // is announced, as at the end of a recording.
    RecordingFinished();
    return;
  }
  // The next task is armed while this one records: one that comes due
  // meanwhile is skipped with its line instead of passing unseen, and the
  // end of this recording looks ahead again.
  RefreshSchedule();
}

void Scheduler::RecordingFinished() {
  EndScheduledRecording();
  RefreshSchedule();
}

void Scheduler::EndScheduledRecording() {
  if (scheduledRecording_) {
    if (taskOverride_) RestoreRecordingSettings();
    scheduledRecording_ = false;
  }
  taskOverride_ = false;
}

void Scheduler::ApplyTaskSettings(const CTask& task) {
  saved_ = settings_;
  savedToFile_ = store_ && store_->SaveTaskKeys(settings_, log_);
  CopyTaskSettings(task, settings_);
  if (launcher_) launcher_->SettingsChanged();
}

void Scheduler::RestoreRecordingSettings() {
  // From Config.ini as written at the start; from memory when that write
  // failed or there is no file to use, so a failed write can never turn the
  // task's values (or defaults) into the global ones.
  if (!savedToFile_ || !store_->RestoreTaskKeys(settings_, log_))
    CopyTaskSettings(NewTask(saved_, LocalDateTime{}), settings_);
  savedToFile_ = false;
  if (launcher_) launcher_->SettingsChanged();
}

}  // namespace tarvexa
