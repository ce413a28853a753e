#pragma once
// The main window: the displays, the command buttons, the three status
// fields, the eight pages, the menus and accelerators; start-up, the
// reactions to the recording and the exit sequence.
//
// It holds the recording controller for the life of the program and listens
// to it. The session's threads reach the window only through the
// controller's channel: each message wakes one queued PumpChannel() on this
// thread (wake-ups are coalesced, so a burst of blocks costs one call),
// which has the controller handle the messages in order. The end of a clip
// and of the recording are sent, so their handlers never wait on the
// session and never open a box; what must ask the user afterwards (the
// after-recording action) is queued behind them.
// Thread affinity: the user-interface thread.

#include <QtCore/QPointer>
#include <QtCore/QTimer>
#include <QtWidgets/QDialog>

#include <array>
#include <atomic>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/AfterRecording.h"
#include "components/AudioComponents.h"
#include "config/ConfigStore.h"
#include "config/Settings.h"
#include "platform/AudioSystem.h"
#include "platform/EventLog.h"
#include "recording/RecordingController.h"
#include "scheduler/Scheduler.h"

class QAction;
class QActionGroup;
class QLineEdit;
class QMenu;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QTabWidget;

namespace tarvexa {

class AdvancedPage;
class AmpBar;
class AudioDeviceBackend;
class DevicePage;
class CSystemTray;
class EncoderOptionsSheet;
class FormatMenu;
class KeepAwake;
class LaunchLock;
class LogPage;
class MetadataPage;
class MiscPage;
class OutputPage;
class SchedulerDriver;
class TaskListPage;
class TimeDisplay;
class VisualDisplays;
class VisualizePage;
class VisualizerView;

class CRecorderDlg : public QDialog, private RecordingListener {
  Q_OBJECT

 public:
  enum Page {
    kLogPage,
    kDevicePage,
    kVisualizePage,
    kOutputPage,
    kMetadataPage,
    kSchedulerPage,
    kMiscPage,
    kAdvancedPage
  };
  static constexpr int kPageCount = 8;
  static const char* PageName(int page);  // "Log", "Device", ...

  explicit CRecorderDlg(QWidget* parent = nullptr);
  ~CRecorderDlg() override;

  // The start-up sequence. False when the program must end (an audio
  // component could not be created); true otherwise, also when a stage
  // failed and the window stays open with what it has.
  bool Initialize();

  // Commands.
  void StartRecording();  // asks for the output file
  // Starts a recording into path (no question asked); false when a recording
  // is running or the session refused.
  bool StartRecordingTo(const QString& path);
  void TogglePause();
  void StopRecording();
  // While recording, asks whether to stop; true when the caller may go on.
  bool ConfirmStop();
  // The "Encoder Options" sheet (after ConfirmStop); closing it by OK or
  // Cancel applies the output format.
  void OpenOptions();
  EncoderOptionsSheet* OptionsSheet() const;  // the open sheet, else nullptr
  FormatMenu* GetFormatMenu() const { return formatMenu_; }
  // Makes the current output format current: its log line, its label in
  // status field 3, the probe of its encoder settings, the rate rule. The
  // settings the encoder refuses are named in a box, or only in the log
  // when no one may be asked (a scheduled launch).
  void ApplyFormat(bool askUser = true);
  // The sheet's "Reset": deletes Config.ini, gives every setting its
  // default and shows the defaults on the window's pages.
  void ResetAllSettings();
  void SelectPage(int page);
  void NextPage();
  void PreviousPage();
  void ShowTipOfTheDay();
  void ShowAbout();
  void OpenHelp();
  void OpenHomePage();
  void ExitSequence();
  // Shows the window (restored if minimised) and brings it to the front.
  void BringToFront();

  // Free space on the output's file system, and the idle look.
  void ReportDiskSpace(const std::string& outputPath);
  // The action chosen for an automatically stopped recording. False when a
  // power action failed.
  bool RunAfterRecordingAction(int action);

  void SetStatusText(int field, const QString& text);  // field 1..3
  QString StatusText(int field) const;
  QString StatusToolTip(int field) const;

  // Seams for tests, the benchmark and the screenshots.
  void SetSystemPower(SystemPower* power);  // not owned; nullptr for logind
  using OutputPathAsker = std::function<QString(const QString& extension)>;
  void SetOutputPathAsker(OutputPathAsker asker) { askOutputPath_ = std::move(asker); }
  void SetCountdownSeconds(int seconds) { countdownSeconds_ = seconds; }
  void SetTipAtStartup(bool on) { tipAtStartup_ = on; }
  // Devices and mixers other than PortAudio's and the recording component's
  // (not owned; set before Initialize).
  void SetDeviceBackend(AudioDeviceBackend* backend);
  void SetMixerOverride(AudioRecordRole* mixer) { mixerOverride_ = mixer; }
  // Where recordings take their input from (the chosen device until set).
  void SetInputFactory(InputFactory factory) { recorder_.SetInputFactory(std::move(factory)); }

  // What the window shows and holds.
  EventLog& Log() { return log_; }
  Settings& CurrentSettings() { return settings_; }
  const RecordingController& Session() const { return recorder_; }
  bool IsRecording() const { return recorder_.IsRecording(); }
  // From the start of a recording until its end has been handled.
  bool IsSessionActive() const { return recorder_.IsActive(); }
  bool TrayCreated() const;
  CSystemTray* Tray() const { return tray_; }
  int CurrentPage() const;
  QTabWidget* Tabs() const { return tabs_; }
  LogPage* GetLogPage() const { return logPage_; }
  DevicePage* GetDevicePage() const { return devicePage_; }
  MiscPage* GetMiscPage() const { return miscPage_; }
  OutputPage* GetOutputPage() const { return outputPage_; }
  MetadataPage* GetMetadataPage() const { return metadataPage_; }
  AdvancedPage* GetAdvancedPage() const { return advancedPage_; }
  TaskListPage* GetSchedulerPage() const { return schedulerPage_; }
  Scheduler& GetScheduler() { return *scheduler_; }
  TimeDisplay* GetTimeDisplay() const { return time_; }
  AmpBar* LeftBar() const { return left_; }
  AmpBar* RightBar() const { return right_; }
  VisualDisplays* Visuals() const { return visuals_; }
  VisualizePage* GetVisualizePage() const { return visualizePage_; }
  QProgressBar* Progress() const { return progress_; }
  QPushButton* RecordButton() const { return record_; }
  QPushButton* PauseButton() const { return pause_; }
  QPushButton* StopButton() const { return stop_; }
  QPushButton* FormatButton() const { return format_; }
  QMenuBar* MenuBar() const { return menuBar_; }
  // The window menu (a right click on the window, or Alt+Space where the
  // window manager leaves it to us): Minimize, Close, "&About Tarvexa...".
  QMenu* WindowMenu() const { return windowMenu_; }
  const AudioComponents& Components() const { return components_; }
  const std::vector<InputDeviceInfo>& InputDevices() const;
  std::string OutputPath() const { return outputPath_; }

  void reject() override;  // Escape never closes the window

 signals:
  void sessionFinished();  // after the end-of-session handling
  void clipFinished(const QString& path, int blocks);
  void afterRecordingActionDone(int action, bool ok);
  void optionsRequested();  // the options sheet

 protected:
  void closeEvent(QCloseEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void BuildWindow();
  void BuildMenus();
  QAction* AddCommand(QMenu* menu, const QString& text, const QKeySequence& key,
                      void (CRecorderDlg::*slot)());
  void InitMainDialog();
  bool InitComponents();
  void InitAudioDevices();
  void FinishStartup();
  void AudioErrorReport(int code, const std::string& text);

  void Write(const std::string& text, int level) { log_.Write(text, level); }
  void ShowBalloon(const QString& text, const QString& title, int seconds);
  void StartTipTimer();
  void OpenTarget(const std::string& target);
  QString AskOutputPath(const QString& extension);

  void WakeUp();
  void PumpChannel();
  // The recording, as the controller reports it.
  void OnBlock(const std::vector<int16_t>& display) override;
  void OnStatus(const std::string& text) override;
  void OnClipStarted(const std::string& path) override;
  void OnClipDone(const ClipResult& clip) override;
  void OnFinished(const RecordingOutcome& outcome) override;
  void UpdateLook();
  void KeepAwakeWhileRecording(bool recording);
  // Starts the recording into path with these settings (no question asked).
  bool BeginRecording(const std::string& path, Settings settings);
  // The scheduler's part of the end of a recording, behind the end itself:
  // the global settings back after a task's own, the next start looked for.
  void EndOfRecordingForScheduler();
  // What a scheduled launch asks of the window.
  class Launcher;

  // Settings, stores, log.
  Settings settings_;
  std::unique_ptr<ConfigStore> store_;
  EventLog log_;
  std::time_t start_ = 0;
  std::string startText_;

  // The recording.
  RecordingController recorder_{[this](const std::string& t, int l) { Write(t, l); }};
  std::atomic<bool> pumpQueued_{false};
  // Scheduled tasks: the scheduler on the wall clock, driven from the event
  // loop, launching through the window while this program holds the launch
  // lock of the data folder.
  SystemClock clock_;
  std::unique_ptr<Scheduler> scheduler_;
  std::unique_ptr<Launcher> launcher_;
  std::unique_ptr<LaunchLock> launchLock_;
  SchedulerDriver* driver_ = nullptr;
  bool schedulerEndPending_ = false;
  std::string outputPath_;
  int recChannels_ = 2;

  AudioComponents components_;
  AudioRecordRole* mixerOverride_ = nullptr;
  std::unique_ptr<KeepAwake> keepAwake_;
  LogindPower logindPower_;
  SystemPower* power_ = &logindPower_;
  CSystemTray* tray_ = nullptr;

  // Seams.
  OutputPathAsker askOutputPath_;
  int countdownSeconds_ = 60;
  bool tipAtStartup_ = true;

  bool tipShown_ = false;
  bool exiting_ = false;
  bool audioReady_ = false;
  QString lastFolder_;
  QTimer tipTimer_;

  // Widgets.
  QMenuBar* menuBar_ = nullptr;
  QMenu* windowMenu_ = nullptr;
  QMenu* deviceMenu_ = nullptr;
  QAction* recordAction_ = nullptr;
  QAction* pauseAction_ = nullptr;
  QAction* stopAction_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  std::array<QWidget*, kPageCount> pages_{};
  LogPage* logPage_ = nullptr;
  DevicePage* devicePage_ = nullptr;
  MiscPage* miscPage_ = nullptr;
  OutputPage* outputPage_ = nullptr;
  MetadataPage* metadataPage_ = nullptr;
  AdvancedPage* advancedPage_ = nullptr;
  TaskListPage* schedulerPage_ = nullptr;
  QPushButton* format_ = nullptr;
  FormatMenu* formatMenu_ = nullptr;
  QPointer<EncoderOptionsSheet> sheet_;
  QPushButton* record_ = nullptr;
  QPushButton* pause_ = nullptr;
  QPushButton* stop_ = nullptr;
  QPushButton* options_ = nullptr;
  QPushButton* home_ = nullptr;
  QPushButton* about_ = nullptr;
  QPushButton* help_ = nullptr;
  TimeDisplay* time_ = nullptr;
  AmpBar* left_ = nullptr;
  AmpBar* right_ = nullptr;
  VisualizerView* vis1_ = nullptr;
  VisualizerView* vis2_ = nullptr;
  VisualDisplays* visuals_ = nullptr;
  VisualizePage* visualizePage_ = nullptr;
  std::array<QLineEdit*, 3> status_{};
  QProgressBar* progress_ = nullptr;
};

}  // namespace tarvexa
