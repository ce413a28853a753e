#include "app/SchedulerService.h"

#include <fcntl.h>
#include <locale.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "config/ConfigStore.h"
#include "formats/FormatCatalogue.h"
#include "outputs/OutputItems.h"
#include "platform/AudioSystem.h"
#include "platform/FolderWatch.h"
#include "platform/LogindActions.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "recording/InputSources.h"
#include "recording/RecordingController.h"
#include "scheduler/LaunchLock.h"
#include "scheduler/Scheduler.h"
#include "scheduler/TaskLaunch.h"
#include "scheduler/TaskStore.h"

namespace tarvexa {

namespace {

int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char c = 1;
  [[maybe_unused]] const ssize_t n = write(g_signalPipe[1], &c, 1);
}

bool CatchEndSignals() {
  if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);
  std::signal(SIGPIPE, SIG_IGN);  // a closed standard output is no reason to die
  std::signal(SIGXFSZ, SIG_IGN);  // a size limit shows up as a write error
  return true;
}

void Drain(int fd) {
  char buf[64];
  while (read(fd, buf, sizeof buf) > 0) {}
}

// When a clip finished, for the output list: the date and time in the
// user's own short form.
std::string Timestamp() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char text[128];
  size_t n = 0;
  if (locale_t loc = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr))) {
    n = strftime_l(text, sizeof text, "%x %H:%M", &tm, loc);
    freelocale(loc);
  } else {
    n = strftime(text, sizeof text, "%x %H:%M", &tm);
  }
  return std::string(text, n);
}

constexpr const char* kServiceRole = "the scheduler service (TarvexaSoundRecorder --scheduler)";

class Service : public TaskLauncher, public RecordingListener {
 public:
  explicit Service(EventLog& log)
      : log_(log),
        sink_([this](const std::string& t, int l) { log_.Write(t, l); }),
        recorder_(sink_),
        scheduler_(settings_, nullptr, clock_, sink_),
        lock_(DataFile(kLaunchLockFile), kServiceRole) {}

  int Run();

  // TaskLauncher.
  bool IsRecording() const override { return recorder_.IsActive(); }
  void BringToFront() override {}
  bool ConfirmLaunch(const CTask& task) override;
  void SettingsChanged() override {}
  void Announce(const std::string& text) override { log_.Write(text, 0); }
  bool StartScheduledRecording(const LaunchPlan& plan) override;

  // RecordingListener.
  void OnClipDone(const ClipResult& clip) override;
  void OnFinished(const RecordingOutcome& outcome) override;

 private:
  void ReloadTasks();
  // The global settings read afresh from Config.ini (the window saved them).
  void ReloadConfig();
  // Waits, ending early on a signal; false when one came.
  bool Wait(int seconds);
  void EndOfRecording();
  // The power action the finished recording asked for, through logind.
  void RunPowerAction();

  EventLog& log_;
  LogSink sink_;
  Settings settings_;
  SystemClock clock_;
  RecordingController recorder_;
  Scheduler scheduler_;
  LaunchLock lock_;
  std::vector<CTask> tasks_;
  int wakeFd_ = -1;
  bool finished_ = false;
  bool stopping_ = false;
  bool configPending_ = false;  // Config.ini changed during a recording
  bool portAudio_ = false;      // the running recording initialised PortAudio
  int powerAction_ = 0;         // 4..7 after the recording, else 0
};

void Service::ReloadConfig() {
  configPending_ = false;
  Settings fresh;
  if (!ConfigStore(DataFile("Config.ini")).Load(fresh, sink_))
    return;  // said why; the old ones stay
  settings_ = fresh;
  log_.SetWriteLog(settings_.MISC.WriteLog != 0);
  log_.Write("Config.ini has changed: the global settings are read again.", 0);
}

void Service::ReloadTasks() { tasks_ = LoadTaskFile(DataFile("Task.ini"), sink_).tasks; }

bool Service::Wait(int seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return true;
    pollfd p{g_signalPipe[0], POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) > 0 && (p.revents & POLLIN)) {
      Drain(g_signalPipe[0]);
      stopping_ = true;
      return false;
    }
  }
}

bool Service::ConfirmLaunch(const CTask& task) {
  // Nobody to ask: the countdown runs out as the box's would.
  log_.Write(Printf("The scheduled task \"%s\" will be launched in %d seconds.", task.title.c_str(),
                    static_cast<int>(task.confirmSecs)),
             0);
  if (Wait(task.confirmSecs)) return true;
  log_.Write(Printf("The scheduled task \"%s\" is not launched: the scheduler is ending.",
                    task.title.c_str()),
             0);
  return false;
}

bool Service::StartScheduledRecording(const LaunchPlan& plan) {
  Settings settings = settings_;  // the task's own while in force
  ShortenForLateStart(settings, plan.lateSeconds);
  const FormatApplied applied = ApplyOutputFormat(settings, RateChannelMatrix::All());
  if (!applied.logLine.empty()) log_.Write(applied.logLine, 0);
  if (!applied.refusedBox.empty()) log_.Write(applied.refusedBox, 1);
  for (const auto& [text, level] : applied.extraLog) log_.Write(text, level);
  log_.Write("Format: " + applied.label, 0);

  RecordingController::Request request;
  std::string error;
  if (!ChooseSavedInput(settings, sink_, &request.input, &error)) {
    log_.Write("An error occurred while using the stream.", 1);
    log_.Write(error, 1);
    return false;
  }
  // PortAudio is set up for each recording, so that a device plugged in
  // since the last one is seen.
  portAudio_ = request.input.source.empty();
  request.settings = std::move(settings);
  request.outputPath = plan.outputPath;
  if (recorder_.Start(std::move(request))) return true;
  if (portAudio_) AudioSystem::Terminate();
  portAudio_ = false;
  return false;
}

void Service::OnClipDone(const ClipResult& clip) {
  if (clip.frames <= 0) return;  // no audio reached it: it left no file
  // Read afresh: the window may have changed the list since.
  const std::string path = DataFile("Output.ini");
  OutputItems items;
  const OutputItems::LoadReport report = items.Load(path);
  if (report.damaged) {
    log_.Write("An error occurred while loading the output files.", 1);
    log_.Write(report.error + (report.keptAs.empty() ? std::string()
                                                     : "; the file is kept as " + report.keptAs),
               1);
  }
  items.AddClip(clip, recorder_.RecordingSettings(), Timestamp());
  std::string error;
  if (!items.Save(path, &error)) {
    log_.Write("An error occurred while saving the output files.", 1);
    log_.Write(error, 1);
  }
}

void Service::OnFinished(const RecordingOutcome& outcome) {
  finished_ = true;
  // Boxes, balloons and logging off belong to a desktop session: the
  // window carries them out; without it they are only named. Suspend,
  // hibernate, restart and shut down go to logind once the recording's
  // files are closed (EndOfRecording).
  static const char* const kNamedOnly[] = {"", "show a message box", "show a balloon", "log off"};
  const int action = AfterRecordingActionFor(outcome, settings_);
  if (action > 0 && action < static_cast<int>(std::size(kNamedOnly)))
    log_.Write(Printf("After this recording the window would %s; the scheduler service does not.",
                      kNamedOnly[action]),
               1);
  else if (action >= static_cast<int>(std::size(kNamedOnly)))
    powerAction_ = action;
}

void Service::RunPowerAction() {
  struct Power {
    int action;
    LogindAction logind;
    const char* phrase;
  } static const kPower[] = {
      {4, LogindAction::Suspend, "suspend the computer"},
      {5, LogindAction::Hibernate, "hibernate the computer"},
      {6, LogindAction::Reboot, "restart the computer"},
      {7, LogindAction::PowerOff, "shut down the computer"},
  };
  const int action = powerAction_;
  powerAction_ = 0;
  for (const Power& p : kPower) {
    if (p.action != action) continue;
    // Nobody to ask: the countdown runs out as the window's box's would.
    log_.Write(std::string("After the recording: ") + p.phrase + ".", -1);
    std::string error;
    if (!RequestLogindAction(p.logind, &error))
      log_.Write(std::string("Could not ") + p.phrase + ": " + error, 2);
  }
}

void Service::EndOfRecording() {
  finished_ = false;
  recorder_.Join();
  recorder_.Pump();  // the session's last lines
  if (portAudio_) AudioSystem::Terminate();
  portAudio_ = false;
  // The global settings come back; the next start is looked for (also
  // for a task skipped while this one recorded).
  scheduler_.EndScheduledRecording();
  if (stopping_) {
    powerAction_ = 0;  // an interrupted service does not power anything off
    return;
  }
  if (configPending_) ReloadConfig();
  scheduler_.RefreshSchedule();
  // Last, so that the next start is armed (its alarm may wake the
  // computer from a suspend) and announced first.
  if (powerAction_) RunPowerAction();
}

int Service::Run() {
  if (!CatchEndSignals()) {
    log_.Write("The scheduler cannot catch its end signals; it does not start.", 2);
    return 1;
  }
  ConfigStore store(DataFile("Config.ini"));
  if (std::filesystem::exists(store.Path())) store.Load(settings_, sink_);
  log_.SetFile(DataFile("Tarvexa Sound Recorder.log"));
  log_.SetWriteLog(settings_.MISC.WriteLog != 0);
  log_.WriteBanner(std::time(nullptr));
  log_.Write(
      "The scheduler runs the tasks of " + DataFile("Task.ini") + " until it is interrupted.", 0);

  if (!lock_.TryAcquire() && lock_.Holder().rfind(kServiceRole, 0) == 0) {
    // One service a data folder: a second one would only stand by.
    log_.Write("The scheduled tasks of this data folder are already launched by " + lock_.Holder() +
                   "; this scheduler ends.",
               2);
    return 1;
  }
  if (!lock_.Held())
    log_.Write("The scheduled tasks are launched by " + lock_.Holder() +
                   "; this scheduler launches them once it has ended.",
               0);
  else if (!lock_.Problem().empty())
    log_.Write("Warning: whether another program launches the scheduled tasks is not known: " +
                   lock_.Problem(),
               1);

  FolderWatch watch(DataFolder(), {"Task.ini", "Config.ini"});
  if (watch.Fd() < 0)
    log_.Write(
        "Warning: changes to Task.ini and Config.ini are not seen until the scheduler starts "
        "again: " +
            watch.Error(),
        1);

  wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  recorder_.AddListener(this);
  recorder_.SetWakeup([fd = wakeFd_] {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(fd, &one, sizeof one);
  });
  ReloadTasks();
  scheduler_.SetLauncher(this);
  scheduler_.SetLaunchLock(&lock_);
  scheduler_.SetTaskSource([this] { return tasks_; });
  scheduler_.RefreshSchedule();

  for (;;) {
    std::vector<pollfd> fds = {{g_signalPipe[0], POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    const size_t watchAt = fds.size();
    if (watch.Fd() >= 0) fds.push_back({watch.Fd(), POLLIN, 0});
    const size_t alarmAt = fds.size();
    if (scheduler_.GetClock().WakeFd() >= 0)
      fds.push_back({scheduler_.GetClock().WakeFd(), POLLIN, 0});
    const int wait =
        stopping_ ? 100
                  : static_cast<int>(std::max<int64_t>(0, scheduler_.GetClock().MsUntilCheck()));
    const int ready = poll(fds.data(), fds.size(), wait);
    auto readable = [&](size_t i) {
      return ready > 0 && i < fds.size() && (fds[i].revents & POLLIN);
    };

    if (readable(0)) {
      Drain(g_signalPipe[0]);
      stopping_ = true;
      if (recorder_.IsRecording()) {
        log_.Write("Stopping (interrupted).", 0);
        recorder_.Stop();
      }
    }
    if (readable(1)) Drain(wakeFd_);
    recorder_.Pump();
    if (finished_) EndOfRecording();
    if (stopping_) {
      if (!recorder_.IsActive()) break;
      continue;
    }
    for (const std::string& name :
         readable(watchAt) ? watch.TakeChanged() : std::vector<std::string>{}) {
      if (name == "Config.ini") {
        // A recording keeps the settings it started with; a task's own
        // settings give way to the new global ones at its end.
        if (recorder_.IsActive())
          configPending_ = true;
        else
          ReloadConfig();
        continue;
      }
      ReloadTasks();
      log_.Write(Printf("Task.ini has changed: %d task(s).", static_cast<int>(tasks_.size())), 0);
      if (!scheduler_.Busy()) scheduler_.RefreshSchedule();
    }
    if (readable(alarmAt) || ready == 0 || scheduler_.GetClock().Due()) scheduler_.OnWake();
    if (stopping_ && !recorder_.IsActive()) break;  // interrupted during a countdown
  }
  recorder_.Join();
  recorder_.Pump();
  if (portAudio_) AudioSystem::Terminate();
  log_.Write("The scheduler has ended.", 0);
  log_.WriteExitGap();
  close(wakeFd_);
  return 0;
}

}  // namespace

int RunSchedulerService(EventLog& log) {
  Service service(log);
  return service.Run();
}

}  // namespace tarvexa
