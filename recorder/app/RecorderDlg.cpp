#include "app/RecorderDlg.h"

#include "platform/Text.h"

#include <portaudio.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QDateTime>
#include <QtCore/QDir>
#include <QtCore/QElapsedTimer>
#include <QtCore/QStandardPaths>
#include <QtCore/QThread>
#include <QtGui/QAction>
#include <QtGui/QActionGroup>
#include <QtGui/QCloseEvent>
#include <QtGui/QContextMenuEvent>
#include <QtGui/QKeyEvent>
#include <QtWidgets/QApplication>
#include <QtWidgets/QFileDialog>
#include <QtWidgets/QHBoxLayout>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QMenu>
#include <QtWidgets/QMenuBar>
#include <QtWidgets/QProgressBar>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QTabWidget>
#include <QtWidgets/QVBoxLayout>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>

#include "app/AboutDlg.h"
#include "app/AdvancedPage.h"
#include "app/DevicePage.h"
#include "app/DspGroup.h"
#include "app/HotkeyGroup.h"
#include "app/LogPage.h"
#include "app/MiscPage.h"
#include "app/SystemTray.h"
#include "app/TipDlg.h"
#include "components/ui/VisualDisplays.h"
#include "components/ui/VisualizePage.h"
#include "encoders/wma/WmaProfiles.h"
#include "formats/FormatCatalogue.h"
#include "formats/ui/EncoderOptionsSheet.h"
#include "formats/ui/FormatMenu.h"
#include "outputs/ui/MetadataPage.h"
#include "outputs/ui/OutputPage.h"
#include "platform/DiskSpace.h"
#include "platform/Paths.h"
#include "platform/ShellOpen.h"
#include "platform/Version.h"
#include "platform/desktop/KeepAwake.h"
#include "recording/DeviceProbe.h"
#include "recovery/RecoveryJournal.h"
#include "scheduler/LaunchLock.h"
#include "scheduler/TaskLaunch.h"
#include "scheduler/ui/LaunchConfirmation.h"
#include "scheduler/ui/SchedulerDriver.h"
#include "scheduler/ui/TaskListPage.h"
#include "widgets/AmpBar.h"
#include "widgets/CountdownMessageBox.h"
#include "widgets/Icons.h"
#include "widgets/MessageBox.h"
#include "widgets/TimeDisplay.h"
#include "widgets/VisualizerView.h"

namespace tarvexa {

namespace fs = std::filesystem;

namespace {

constexpr const char* kIdleTrayTip = "Tarvexa Sound Recorder\nDouble click here to restore";
constexpr const char* kStatusCaptions[3] = {
    "Last Event:  ", "Current Status:  ", "Output Audio Format:  "};
constexpr const char* kPageNames[CRecorderDlg::kPageCount] = {
    "Log", "Device", "Visualize", "Output", "Metadata", "Scheduler", "Misc", "Advanced"};

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

const char* CRecorderDlg::PageName(int page) {
  return page >= 0 && page < kPageCount ? kPageNames[page] : "";
}

// ------------------------------------------------------------- scheduler

// A scheduled launch through the window: it comes to the front, asks with
// the countdown box, shows the task's settings while they are in force,
// announces the launch in a balloon and records without the Save As dialog.
class CRecorderDlg::Launcher : public TaskLauncher {
 public:
  explicit Launcher(CRecorderDlg& dlg) : dlg_(dlg) {}

  bool IsRecording() const override {
    // The end of the last recording is behind it: finish it first, so that
    // its restore can never fall on the new recording.
    if (dlg_.schedulerEndPending_) dlg_.EndOfRecordingForScheduler();
    return dlg_.recorder_.IsActive();
  }
  void BringToFront() override { dlg_.BringToFront(); }
  bool ConfirmLaunch(const CTask& task) override { return AskLaunchConfirmation(&dlg_, task); }
  void SettingsChanged() override {
    dlg_.miscPage_->Load();
    dlg_.ApplyFormat(false);
  }
  void Announce(const std::string& text) override {
    dlg_.ShowBalloon(Q(text), QString::fromUtf8(kAppCaption), 60);
  }
  bool StartScheduledRecording(const LaunchPlan& plan) override {
    Settings settings = dlg_.settings_;
    ShortenForLateStart(settings, plan.lateSeconds);
    return dlg_.BeginRecording(plan.outputPath, std::move(settings));
  }

 private:
  CRecorderDlg& dlg_;
};

void CRecorderDlg::EndOfRecordingForScheduler() {
  if (!schedulerEndPending_) return;
  schedulerEndPending_ = false;
  scheduler_->RecordingFinished();
}

// ------------------------------------------------------------------ window

CRecorderDlg::CRecorderDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8(kProgramName) + QLatin1Char(' ') +
                 QString::fromUtf8(kProgramVersion));
  setWindowIcon(icons::Program());
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  store_ = std::make_unique<ConfigStore>(DataFile("Config.ini"));
  BuildWindow();
  BuildMenus();

  // The tray object lives from here; its icon appears late in start-up.
  tray_ = new CSystemTray(this);
  connect(tray_, &CSystemTray::restoreRequested, this, &CRecorderDlg::BringToFront);
  connect(tray_, &CSystemTray::exitRequested, this, &CRecorderDlg::ExitSequence);
  tray_->AttachWindow(
      this, [this] { return settings_.MISC.MinToTray != 0; },
      [this] { return settings_.MISC.CloseToTray != 0; },
      [this](const std::string& t, int l) { Write(t, l); });

  // Every event-log line: status field 1 and the Log page.
  log_.AddListener([this](const std::string& stamp, const std::string& message, int level) {
    SetStatusText(1, Q(stamp + message));
    logPage_->Append(Q(stamp + " " + message), level);
  });

  recorder_.AddListener(this);
  recorder_.SetWakeup([this] { WakeUp(); });
  // The threads read the silence, DSP, display and naming settings live.
  recorder_.SetLiveSettings(&settings_);
  tipTimer_.setSingleShot(true);
  connect(&tipTimer_, &QTimer::timeout, this, [this] {
    if (!tipShown_ && tipAtStartup_ && store_->ReadTip() != 0) ShowTipOfTheDay();
  });
  qApp->installEventFilter(this);
  UpdateLook();
}

CRecorderDlg::~CRecorderDlg() {
  qApp->removeEventFilter(this);
  delete driver_;
  driver_ = nullptr;
  scheduler_->SetLauncher(nullptr);
  // A tag program still running may be using the WMA component.
  metadataPage_->SetWmaInfo(nullptr);
  // Nothing may wake this window any more. A recording's DSP stage runs on
  // the transform component: its thread must be gone before the components
  // are released with the members.
  recorder_.Shutdown();
  if (keepAwake_) keepAwake_->Release();
}

void CRecorderDlg::BuildWindow() {
  // Displays: elapsed time, the two visualizers, the level bars.
  time_ = new TimeDisplay(this);
  vis1_ = new VisualizerView(this);
  vis2_ = new VisualizerView(this);
  left_ = new AmpBar(tr("L"), this);
  right_ = new AmpBar(tr("R"), this);
  auto* levels = new QVBoxLayout;
  levels->addStretch(1);
  levels->addWidget(left_);
  levels->addWidget(right_);
  auto* timeAndLevels = new QVBoxLayout;
  timeAndLevels->addWidget(time_);
  timeAndLevels->addLayout(levels);
  auto* displays = new QHBoxLayout;
  displays->addLayout(timeAndLevels);
  displays->addWidget(vis1_, 1);
  displays->addWidget(vis2_, 1);

  // Command buttons.
  auto button = [this](const QString& text, const char* tip, const QIcon& icon = QIcon()) {
    auto* b = new QPushButton(icon, text, this);
    b->setToolTip(QString::fromUtf8(tip));
    b->setAutoDefault(false);
    return b;
  };
  format_ = button(tr("Format"), "Quickly Set the Output Format");
  record_ = button(tr("Record"), "Record Sound", icons::Record());
  pause_ = button(tr("Pause"), "Pause/Resume Recording", icons::Pause());
  stop_ = button(tr("Stop"), "Stop Recording", icons::Stop());
  options_ = button(tr("Options"), "Open the Options Dialog Box to Set the Options ");
  home_ = button(tr("Home"), "Visit the Homepage of Tarvexa Sound Recorder");
  about_ = button(tr("About"), "About Tarvexa Sound Recorder");
  help_ = button(tr("Help"), "Launch the Help of Tarvexa Sound Recorder");
  format_->setMinimumWidth(
      format_->fontMetrics().horizontalAdvance(QStringLiteral("Format: WAVEX")) + 24);
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {format_, record_, pause_, stop_, options_, home_, about_, help_})
    buttons->addWidget(b);
  connect(record_, &QPushButton::clicked, this, &CRecorderDlg::StartRecording);
  connect(pause_, &QPushButton::clicked, this, &CRecorderDlg::TogglePause);
  connect(stop_, &QPushButton::clicked, this, &CRecorderDlg::StopRecording);
  connect(options_, &QPushButton::clicked, this, &CRecorderDlg::optionsRequested);
  connect(this, &CRecorderDlg::optionsRequested, this, &CRecorderDlg::OpenOptions);
  formatMenu_ = new FormatMenu(settings_,
                               {[this] { return ConfirmStop(); }, [this] { ApplyFormat(); }}, this);
  format_->setMenu(formatMenu_);
  connect(home_, &QPushButton::clicked, this, &CRecorderDlg::OpenHomePage);
  connect(about_, &QPushButton::clicked, this, &CRecorderDlg::ShowAbout);
  connect(help_, &QPushButton::clicked, this, &CRecorderDlg::OpenHelp);

  // Status fields and the auto-stop progress.
  auto* statusLayout = new QVBoxLayout;
  statusLayout->setSpacing(2);
  for (int i = 0; i < 3; ++i) {
    status_[i] = new QLineEdit(this);
    status_[i]->setReadOnly(true);
    status_[i]->setFocusPolicy(Qt::NoFocus);
    status_[i]->setToolTip(QString::fromUtf8(kStatusCaptions[i]));
    status_[i]->setObjectName(QStringLiteral("status%1").arg(i + 1));
    statusLayout->addWidget(status_[i]);
  }
  progress_ = new QProgressBar(this);
  progress_->setRange(0, 1000);
  progress_->setValue(1000);
  progress_->setTextVisible(false);
  progress_->setFixedHeight(10);
  statusLayout->addWidget(progress_);

  // The pages.
  tabs_ = new QTabWidget(this);
  logPage_ = new LogPage(settings_, log_, tabs_);
  miscPage_ = new MiscPage(settings_, tabs_);
  devicePage_ = new DevicePage(settings_,
                               {[this](const std::string& t, int l) { Write(t, l); },
                                [this] { return recorder_.IsActive(); }, [this] { ApplyFormat(); }},
                               tabs_);
  devicePage_->setObjectName(QStringLiteral("DevicePage"));
  advancedPage_ = new AdvancedPage(
      settings_, [this](const std::string& t, int l) { Write(t, l); }, tabs_);
  visuals_ = new VisualDisplays(settings_, vis1_, vis2_, left_, right_, this);
  visualizePage_ = new VisualizePage(
      settings_, *visuals_, [this](const std::string& t, int l) { Write(t, l); }, tabs_);
  scheduler_ = std::make_unique<Scheduler>(settings_, store_.get(), clock_,
                                           [this](const std::string& t, int l) { Write(t, l); });
  schedulerPage_ = new TaskListPage(settings_,
                                    {[this](const std::string& t, int l) { Write(t, l); },
                                     [this] { return recorder_.IsActive() || scheduler_->Busy(); },
                                     [this] { return scheduler_->Busy(); },
                                     [this] { scheduler_->RefreshSchedule(); },
                                     {}},
                                    tabs_);
  scheduler_->SetTaskSource([this] { return schedulerPage_->Tasks(); });
  scheduler_->SetScheduleChanged([this] {
    schedulerPage_->RefreshNextStart();
    schedulerPage_->Stabilize();
    if (driver_) driver_->Rearm();
  });
  launcher_ = std::make_unique<Launcher>(*this);
  scheduler_->SetLauncher(launcher_.get());
  driver_ = new SchedulerDriver(*scheduler_, this);
  // A file a recording is writing is not renamed, deleted or tagged.
  auto inUse = [this](const std::string& path) {
    return recorder_.IsActive() &&
           fs::path(path).lexically_normal() == fs::path(outputPath_).lexically_normal();
  };
  auto log = [this](const std::string& t, int l) { Write(t, l); };
  outputPage_ = new OutputPage({log, inUse}, tabs_);
  metadataPage_ = new MetadataPage({log, inUse, ProgramFolder(), DataFolder()}, tabs_);
  connect(outputPage_, &OutputPage::editMetadataRequested, this, [this](const QString& path) {
    metadataPage_->Load(path);
    SelectPage(kMetadataPage);
  });
  pages_ = {logPage_,      devicePage_,    visualizePage_, outputPage_,
            metadataPage_, schedulerPage_, miscPage_,      advancedPage_};
  for (int i = 0; i < kPageCount; ++i) tabs_->addTab(pages_[i], tr(kPageNames[i]));
  connect(logPage_, &LogPage::cleared, this, [this] { SetStatusText(1, QString()); });
  connect(advancedPage_->Hotkeys(), &HotkeyGroup::hotkeyPressed, this, [this](int id) {
    // Exactly what the buttons do.
    if (id == HotkeyGroup::kRecordHotkey) StartRecording();
    if (id == HotkeyGroup::kPauseHotkey) TogglePause();
    if (id == HotkeyGroup::kStopHotkey) StopRecording();
  });
  connect(advancedPage_, &AdvancedPage::silenceChanged, this,
          [this] { recorder_.UpdateSilence(settings_.SIL); });
  connect(advancedPage_->Dsp(), &DspGroup::dspChanged, this,
          [this] { recorder_.UpdateDsp(settings_.DSP); });

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(displays);
  layout->addLayout(buttons);
  layout->addLayout(statusLayout);
  layout->addWidget(tabs_, 1);
  resize(sizeHint().expandedTo(QSize(760, 620)));
}

QAction* CRecorderDlg::AddCommand(QMenu* menu, const QString& text, const QKeySequence& key,
                                  void (CRecorderDlg::*slot)()) {
  QAction* a = menu->addAction(text);
  if (!key.isEmpty()) a->setShortcut(key);
  a->setShortcutContext(Qt::WindowShortcut);
  connect(a, &QAction::triggered, this, slot);
  return a;
}

void CRecorderDlg::BuildMenus() {
  menuBar_ = new QMenuBar(this);
  layout()->setMenuBar(menuBar_);

  QMenu* file = menuBar_->addMenu(tr("&File"));
  deviceMenu_ = file->addMenu(tr("Device(s)"));
  deviceMenu_->addAction(tr("No Device"))->setEnabled(false);
  devicePage_->AttachMenu(deviceMenu_);
  file->addSeparator();
  AddCommand(file, tr("Exit"), QKeySequence(), &CRecorderDlg::ExitSequence);

  QMenu* action = menuBar_->addMenu(tr("&Action"));
  recordAction_ = AddCommand(action, tr("Record"), QKeySequence(Qt::CTRL | Qt::Key_R),
                             &CRecorderDlg::StartRecording);
  pauseAction_ = AddCommand(action, tr("Pause/Resume"), QKeySequence(Qt::CTRL | Qt::Key_U),
                            &CRecorderDlg::TogglePause);
  stopAction_ = AddCommand(action, tr("Stop"), QKeySequence(Qt::CTRL | Qt::Key_S),
                           &CRecorderDlg::StopRecording);

  QMenu* tools = menuBar_->addMenu(tr("&Tools"));
  for (int i = 0; i < kPageCount; ++i) {
    QAction* a = tools->addAction(tr(kPageNames[i]));
    a->setShortcut(QKeySequence(Qt::Key_F2 + i));
    a->setShortcutContext(Qt::WindowShortcut);
    connect(a, &QAction::triggered, this, [this, i] { SelectPage(i); });
  }
  tools->addSeparator();
  AddCommand(tools, tr("Next Tool"), QKeySequence(Qt::CTRL | Qt::Key_Tab), &CRecorderDlg::NextPage);
  QAction* previous = AddCommand(tools, tr("Previous Tool"), QKeySequence(Qt::SHIFT | Qt::Key_Tab),
                                 &CRecorderDlg::PreviousPage);
  // Shift+Tab reaches the window as Backtab on most keyboards.
  previous->setShortcuts(
      {QKeySequence(Qt::SHIFT | Qt::Key_Tab), QKeySequence(Qt::SHIFT | Qt::Key_Backtab)});
  tools->addSeparator();
  QAction* options = tools->addAction(tr("Options"));
  options->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  connect(options, &QAction::triggered, this, &CRecorderDlg::optionsRequested);

  QMenu* help = menuBar_->addMenu(tr("&Help"));
  AddCommand(help, tr("Help Contents"), QKeySequence(Qt::Key_F1), &CRecorderDlg::OpenHelp);
  AddCommand(help, tr("Tip of the Day"), QKeySequence(), &CRecorderDlg::ShowTipOfTheDay);
  AddCommand(help, tr("HomePage"), QKeySequence(), &CRecorderDlg::OpenHomePage);
  QMenu* support = help->addMenu(tr("Support"));
  connect(support->addAction(tr("Email Support")), &QAction::triggered, this,
          [this] { OpenTarget(std::string("mailto:") + kSupportMail); });
  connect(support->addAction(tr("Online Support")), &QAction::triggered, this,
          [this] { OpenTarget(kSupportPage); });
  help->addSeparator();
  AddCommand(help, tr("About"), QKeySequence(), &CRecorderDlg::ShowAbout);

  // The window's own menu, as a window manager's menu would have it, with
  // the About item after a separator.
  windowMenu_ = new QMenu(this);
  windowMenu_->setObjectName(QStringLiteral("WindowMenu"));
  connect(windowMenu_->addAction(tr("Mi&nimize")), &QAction::triggered, this,
          &QWidget::showMinimized);
  connect(windowMenu_->addAction(tr("&Close")), &QAction::triggered, this, &QWidget::close);
  windowMenu_->addSeparator();
  AddCommand(windowMenu_, tr("&About Tarvexa..."), QKeySequence(), &CRecorderDlg::ShowAbout);
  auto* openWindowMenu = new QAction(this);
  openWindowMenu->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Space));
  openWindowMenu->setShortcutContext(Qt::WindowShortcut);
  connect(openWindowMenu, &QAction::triggered, this,
          [this] { windowMenu_->popup(mapToGlobal(QPoint(0, 0))); });
  addAction(openWindowMenu);
}

// ---------------------------------------------------------------- start-up

bool CRecorderDlg::Initialize() {
  try {
    InitMainDialog();
  } catch (const std::exception& e) {
    ShowMessageBox(this, tr("Error on Initializing Main Dialog!"), QString(),
                   QMessageBox::Critical);
    Write("Error on initializing main dialog!", 2);
    Write(e.what(), 2);
    return true;
  }

  try {
    if (!InitComponents()) return false;
  } catch (const std::exception& e) {
    ShowMessageBox(this, tr("Error on Initializing ActiveX Controls!"), QString(),
                   QMessageBox::Critical);
    Write("Error on initializing activeX controls!", 2);
    Write(e.what(), 2);
    return true;
  }

  try {
    InitAudioDevices();
    if (audioReady_) FinishStartup();
  } catch (const std::exception& e) {
    ShowMessageBox(this, tr("Error on Initializing Audio Devices!"), QString(),
                   QMessageBox::Critical);
    Write("Error on initializing audio devices!", 2);
    AudioErrorReport(paInternalError, e.what());
  }
  return true;
}

void CRecorderDlg::InitMainDialog() {
  progress_->setValue(1000);

  // First start: an empty Config.ini, and the built-in values.
  const std::string config = store_->Path();
  std::error_code ec;
  if (!fs::exists(config, ec)) {
    std::ofstream create(config, std::ios::binary);
    if (!create) Write("Warning: cannot create " + config + ".", 1);
  } else if (!store_->Load(settings_, [this](const std::string& t, int l) { Write(t, l); })) {
    ShowMessageBox(this, tr("Error on loading settings!"), QString(), QMessageBox::Critical);
  }

  start_ = std::time(nullptr);
  startText_ = EventLog::StartTimeText(start_);
  log_.SetFile(DataFile("Tarvexa Sound Recorder.log"));
  log_.SetWriteLog(settings_.MISC.WriteLog != 0);
  log_.WriteBanner(start_);
  // Files an earlier run left unfinished (a crash, a kill, a power loss).
  RecoverUnfinishedRecordings([this](const std::string& t, int l) { Write(t, l); });

  format_->setText(
      tr("Format: %1").arg(QString::fromUtf8(FormatTag(settings_.OUTPUT.OutputFormat))));

  logPage_->Load();
  devicePage_->Load();
  miscPage_->Load();
  advancedPage_->Load();
  visualizePage_->Load();
  schedulerPage_->Load(DataFile("Task.ini"));
  outputPage_->Load();
  SelectPage(kLogPage);

  Write("Initializing main dialog...", -1);
}

bool CRecorderDlg::InitComponents() {
  Write("Initializing activeX controls...", -1);
  const int failures = components_.CreateAll(
      ComponentFolder(),
      [this](const std::string& text, const std::string& caption) {
        ShowMessageBox(this, Q(text), Q(caption), QMessageBox::Critical);
      },
      [this](const std::string& text, int level) { Write(text, level); });

  time_->SetColors(palette().color(QPalette::Button), QColor(0, 0, 153));
  visuals_->Attach(components_);
  metadataPage_->SetWmaInfo(components_.WmaInfo());

  if (WmaFileRole* wma = components_.WmaFile()) {
    const std::string profile = WmaProfileFile();
    std::error_code ec;
    if (!fs::exists(profile, ec)) {
      Write(Printf("Warning: WMA profile file %s not found!", profile.c_str()), 1);
    } else if (!wma->LoadProfileFile(profile.c_str())) {
      // A damaged file is no reason to stop: the built-in profiles are used.
      Write(Printf("Warning: WMA profile file %s could not be read (%s); the built-in profiles "
                   "are used.",
                   profile.c_str(), wma->LastError()),
            1);
    }
  }

  if (failures > 0) {
    ShowMessageBox(this, tr("Error !"), tr("Error !"), QMessageBox::Critical);
    Write("Error on init ActiveX controls!!", 2);
    done(0);
    return false;
  }
  return true;
}

void CRecorderDlg::AudioErrorReport(int code, const std::string& text) {
  AudioSystem::Terminate();
  Write("An error occurred while using the stream.", 1);
  Write(Printf("Error number: %d    Error message: %s.", code, text.c_str()), 1);
}

void CRecorderDlg::InitAudioDevices() {
  Write("Initializing audio devices...", -1);
  audioReady_ = false;
  int code = 0;
  std::string error;
  AudioRecordRole* mixer = mixerOverride_ ? mixerOverride_ : components_.AudioRecord();
  switch (devicePage_->InitDevices(mixer, &code, &error)) {
    case DevicePage::InitResult::Failed: AudioErrorReport(code, error); return;
    case DevicePage::InitResult::NoDevice:
      audioReady_ = true;
      ShowMessageBox(this, tr("Warning: No Device Found !"), QString(), QMessageBox::Critical);
      Write("Warning: No Device Found !", 2);
      return;
    case DevicePage::InitResult::Ready: audioReady_ = true; return;
  }
}

void CRecorderDlg::SetDeviceBackend(AudioDeviceBackend* backend) {
  devicePage_->SetBackend(backend);
}

const std::vector<InputDeviceInfo>& CRecorderDlg::InputDevices() const {
  return devicePage_->Devices();
}

void CRecorderDlg::ApplyFormat(bool askUser) {
  FormatApplied applied = ApplyOutputFormat(settings_, devicePage_->RuleMatrix());
  if (!applied.logLine.empty()) Write(applied.logLine, 0);
  // Settings the encoder refused have been reset: say so.
  if (!applied.refusedBox.empty()) {
    if (askUser)
      ShowMessageBox(this, Q(applied.refusedBox), QString(), QMessageBox::Critical);
    else
      Write(applied.refusedBox, 1);
  }
  for (const auto& [text, level] : applied.extraLog) Write(text, level);
  SetStatusText(3, Q(applied.label));
  format_->setText(
      tr("Format: %1").arg(QString::fromUtf8(FormatTag(settings_.OUTPUT.OutputFormat))));
  devicePage_->ShowRateChannel(applied.rule);
}

void CRecorderDlg::FinishStartup() {
  std::srand(static_cast<unsigned>(QDateTime::currentMSecsSinceEpoch()));

  std::string title = startText_;
  if (!title.empty() && title.back() == '\n') title.pop_back();
  if (!tray_->Create(QString(), icons::Program(), tr("Tarvexa Sound Recorder Launched"), Q(title),
                     10)) {
    // Many desktops have no notification area: the recorder works without
    // its icon, and what a balloon would say goes to the log.
    Write(
        "Warning: the desktop has no notification area; the recorder runs without its tray "
        "icon.",
        1);
    Write("Tarvexa Sound Recorder Launched", 0);
  }

  visualizePage_->Initialize();
  visualizePage_->ApplyPreset();
  ApplyFormat();
  StartTipTimer();
  ReportDiskSpace(std::string());
  visuals_->ClearBoth();
  // The scheduler service of this data folder may be launching the tasks.
  launchLock_ = std::make_unique<LaunchLock>(DataFile(kLaunchLockFile),
                                             "the window of Tarvexa Sound Recorder");
  if (!launchLock_->TryAcquire())
    Write("The scheduled tasks are launched by " + launchLock_->Holder() +
              "; this window launches them once it has ended.",
          0);
  else if (!launchLock_->Problem().empty())
    Write("Warning: whether another program launches the scheduled tasks is not known: " +
              launchLock_->Problem(),
          1);
  scheduler_->SetLaunchLock(launchLock_.get());
  scheduler_->RefreshSchedule();
  Write("Finished Initialization.", -1);
}

void CRecorderDlg::StartTipTimer() { tipTimer_.start(1000); }

// --------------------------------------------------------------- commands

QString CRecorderDlg::AskOutputPath(const QString& extension) {
  if (lastFolder_.isEmpty()) {
    lastFolder_ = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (lastFolder_.isEmpty() || !QDir(lastFolder_).exists()) lastFolder_ = QDir::homePath();
  }
  QFileDialog dlg(this, tr("Save As"), lastFolder_);
  dlg.setAcceptMode(QFileDialog::AcceptSave);
  dlg.setFileMode(QFileDialog::AnyFile);
  dlg.setNameFilter(QStringLiteral("(*%1)").arg(extension));
  dlg.setDefaultSuffix(extension.mid(1));
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return QString();
  const QString path = dlg.selectedFiles().first();
  lastFolder_ = QFileInfo(path).absolutePath();
  return path;
}

void CRecorderDlg::StartRecording() {
  if (recorder_.IsActive()) return;
  miscPage_->TakeValues();
  const QString ext = Q(FileExtensionFor(settings_.OUTPUT.OutputFormat, settings_));
  const QString path = askOutputPath_ ? askOutputPath_(ext) : AskOutputPath(ext);
  if (path.isEmpty()) return;
  StartRecordingTo(path);
}

bool CRecorderDlg::StartRecordingTo(const QString& path) {
  if (recorder_.IsActive() || path.isEmpty()) return false;
  miscPage_->TakeValues();
  return BeginRecording(path.toStdString(), settings_);
}

bool CRecorderDlg::BeginRecording(const std::string& path, Settings settings) {
  if (recorder_.IsActive() || path.empty()) return false;
  RecordingController::Request request;
  request.settings = std::move(settings);
  request.outputPath = path;
  request.input.device = devicePage_->InputDevice();
  request.input.source = devicePage_->SourceName();
  request.input.sourceDescription = devicePage_->SourceDescription();
  // The DSP stage of the recording runs on the transform component.
  request.transform = components_.Transform();
  if (!recorder_.Start(std::move(request))) return false;

  const Settings& recording = recorder_.RecordingSettings();
  recChannels_ = ChannelsOf(recording);
  visuals_->RecordingStarted(SampleRateOf(recording), recChannels_);
  outputPath_ = path;
  progress_->setValue(recorder_.AutoStopOn() ? 0 : 1000);
  KeepAwakeWhileRecording(true);
  UpdateLook();
  return true;
}

void CRecorderDlg::TogglePause() {
  if (!recorder_.IsRecording()) return;
  recorder_.TogglePause();
  UpdateLook();
}

void CRecorderDlg::StopRecording() {
  if (!recorder_.IsRecording()) return;
  recorder_.Stop();
  UpdateLook();
}

bool CRecorderDlg::ConfirmStop() {
  if (!recorder_.IsRecording()) return true;
  const auto answer =
      ShowMessageBox(this, tr("You MUST Stop Recording to Do the Job! Do You Wish to Continue?"),
                     QString::fromUtf8(kAppCaption), QMessageBox::Warning,
                     QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
  if (answer != QMessageBox::Yes) return false;
  StopRecording();
  return true;
}

void CRecorderDlg::OpenOptions() {
  if (sheet_) {
    sheet_->raise();
    sheet_->activateWindow();
    return;
  }
  if (!ConfirmStop()) return;
  auto* sheet = new EncoderOptionsSheet(
      settings_, [this](const std::string& t, int l) { Write(t, l); },
      [this] { ResetAllSettings(); }, this);
  sheet->setAttribute(Qt::WA_DeleteOnClose);
  // OK or Cancel: either way the format is applied again.
  connect(sheet, &QDialog::finished, this, [this] { ApplyFormat(); });
  sheet_ = sheet;
  sheet->open();
}

EncoderOptionsSheet* CRecorderDlg::OptionsSheet() const { return sheet_; }

void CRecorderDlg::ResetAllSettings() {
  store_->Reset(settings_, [this](const std::string& t, int l) { Write(t, l); });
  log_.SetWriteLog(settings_.MISC.WriteLog != 0);
  logPage_->Load();
  if (devicePage_) devicePage_->Load();  // channels and rate
  if (visualizePage_) visualizePage_->Load();
  miscPage_->Load();
  advancedPage_->Load();
}

int CRecorderDlg::CurrentPage() const { return tabs_->currentIndex(); }

void CRecorderDlg::SelectPage(int page) {
  if (page < 0 || page >= kPageCount) return;
  tabs_->setCurrentIndex(page);
}

void CRecorderDlg::NextPage() { SelectPage((CurrentPage() + 1) % kPageCount); }
void CRecorderDlg::PreviousPage() { SelectPage((CurrentPage() + kPageCount - 1) % kPageCount); }

void CRecorderDlg::ShowTipOfTheDay() {
  tipShown_ = true;
  // Each opening passes over a random number of tips first.
  const int skip = static_cast<int>(std::rand() / static_cast<double>(RAND_MAX) * 55) + 1;
  auto* dlg = new TipDlg(Q(ProgramFolder() + "/Tips.tip"), *store_, skip, this);
  dlg->setAttribute(Qt::WA_DeleteOnClose);
  dlg->open();
}

void CRecorderDlg::ShowAbout() {
  AboutDlg dlg(this);
  dlg.exec();
}

void CRecorderDlg::OpenTarget(const std::string& target) {
  std::string error;
  if (!ShellOpen(target, &error)) Write("Cannot open " + target + ": " + error, 1);
}

void CRecorderDlg::OpenHelp() { OpenTarget(ProgramFolder() + "/Help.html"); }
void CRecorderDlg::OpenHomePage() { OpenTarget(kHomePage); }

void CRecorderDlg::BringToFront() {
  if (isMinimized())
    showNormal();
  else
    show();
  raise();
  activateWindow();
}

bool CRecorderDlg::TrayCreated() const { return tray_ && tray_->IsCreated(); }

void CRecorderDlg::ShowBalloon(const QString& text, const QString& title, int seconds) {
  if (tray_ && tray_->ShowBalloon(text, title, QSystemTrayIcon::Information, seconds)) return;
  Write(text.toStdString(), 0);
}

// ------------------------------------------------------------ status fields

void CRecorderDlg::SetStatusText(int field, const QString& text) {
  if (field < 1 || field > 3) return;
  QLineEdit* edit = status_[static_cast<size_t>(field - 1)];
  edit->setText(text);
  edit->setCursorPosition(0);
  edit->setToolTip(QString::fromUtf8(kStatusCaptions[field - 1]) + text);
}

QString CRecorderDlg::StatusText(int field) const {
  return field >= 1 && field <= 3 ? status_[static_cast<size_t>(field - 1)]->text() : QString();
}

QString CRecorderDlg::StatusToolTip(int field) const {
  return field >= 1 && field <= 3 ? status_[static_cast<size_t>(field - 1)]->toolTip() : QString();
}

// ------------------------------------------------------- the recording

void CRecorderDlg::WakeUp() {
  // Called on the recording threads; one queued pump at a time.
  if (!pumpQueued_.exchange(true))
    QMetaObject::invokeMethod(this, &CRecorderDlg::PumpChannel, Qt::QueuedConnection);
}

void CRecorderDlg::PumpChannel() {
  pumpQueued_ = false;
  recorder_.Pump();
}

void CRecorderDlg::OnStatus(const std::string& text) { SetStatusText(2, Q(text)); }

void CRecorderDlg::OnClipStarted(const std::string& path) {
  outputPath_ = path;
  SetStatusText(2, Q("Recording:  " + path));
}

void CRecorderDlg::OnClipDone(const ClipResult& clip) {
  // With the length the writer wrote.
  outputPage_->AddClip(clip, recorder_.RecordingSettings());
  emit clipFinished(Q(clip.path), clip.blocks);
}

void CRecorderDlg::OnBlock(const std::vector<int16_t>& display) {
  // Minimised, in the tray or after the stop: the block is only dropped.
  const bool shown = recorder_.IsRecording() && isVisible() && !isMinimized();
  if (!shown) {
    visuals_->Block(display, recChannels_, false);
    return;
  }
  const int ticks = recorder_.Ticks();
  time_->SetTime(static_cast<qint64>(ticks) * 100);
  if (recorder_.AutoStopOn() && recorder_.AutoStopTicks() > 0)
    progress_->setValue(std::min(
        1000, static_cast<int>(static_cast<int64_t>(ticks) * 1000 / recorder_.AutoStopTicks())));
  visuals_->Block(display, recChannels_, true);
}

void CRecorderDlg::OnFinished(const RecordingOutcome& outcome) {
  // Sent: the encoder thread waits until this returns. Nothing here waits on
  // the session or asks the user.
  time_->SetTime(0);
  visuals_->RecordingFinished();
  progress_->setValue(1000);
  KeepAwakeWhileRecording(false);
  ReportDiskSpace(outputPath_);
  // After any recording: the global settings come back after a task's own,
  // and the next start is looked for (also after a manual recording, so a
  // task skipped meanwhile is not lost). Behind this handler, which the
  // session waits on: the refresh may launch the next task.
  schedulerEndPending_ = true;
  QTimer::singleShot(0, this, [this] { EndOfRecordingForScheduler(); });
  UpdateLook();
  const int action = AfterRecordingActionFor(outcome, settings_);
  if (action != kActDoNothing && !exiting_) {
    QTimer::singleShot(0, this, [this, action] {
      const bool ok = RunAfterRecordingAction(action);
      emit afterRecordingActionDone(action, ok);
    });
  }
  emit sessionFinished();
}

void CRecorderDlg::KeepAwakeWhileRecording(bool recording) {
  if (!recording) {
    if (keepAwake_) keepAwake_->Release();
    return;
  }
  const bool system = settings_.MISC.PowerAlwOn != 0;
  const bool display = settings_.MISC.DispAlwOn != 0;
  if (!system && !display) return;
  if (!keepAwake_) keepAwake_ = std::make_unique<KeepAwake>();
  std::string error;
  if (!keepAwake_->Acquire(system, display, &error))
    Write(
        "Warning: the computer may go to sleep or blank the screen during this recording: " + error,
        1);
}

void CRecorderDlg::UpdateLook() {
  const bool active = recorder_.IsActive();
  const bool recording = recorder_.IsRecording();
  const bool paused = recording && recorder_.IsPaused();
  record_->setEnabled(!active);
  recordAction_->setEnabled(!active);
  for (QPushButton* b : {pause_, stop_}) b->setEnabled(recording);
  for (QAction* a : {pauseAction_, stopAction_}) a->setEnabled(recording);
  pause_->setText(paused ? tr("Resume") : tr("Pause"));
  miscPage_->Stabilize(active);
  devicePage_->Stabilize(active);
  schedulerPage_->Stabilize();

  const QIcon icon = paused ? icons::Paused() : recording ? icons::Recording() : icons::Program();
  setWindowIcon(icon);
  if (tray_) {
    tray_->SetIcon(icon);
    tray_->SetTooltipText(paused      ? tr("Recording Paused")
                          : recording ? tr("Recording")
                                      : QString::fromUtf8(kIdleTrayTip));
  }
}

void CRecorderDlg::ReportDiskSpace(const std::string& outputPath) {
  const DiskSpaceInfo info = QueryDiskSpace(outputPath);
  if (auto warning = LowDiskWarning(info)) Write(*warning, 2);
  if (info.ok)
    SetStatusText(2, Q(DiskSpaceLine(info)));
  else
    Write("Warning: the free space for " +
              (outputPath.empty() ? std::string("the home folder") : outputPath) +
              " could not be read: " + info.error,
          1);
  UpdateLook();
}

bool CRecorderDlg::RunAfterRecordingAction(int action) {
  switch (action) {
    case kActMessageBox:
      ShowMessageBox(this, tr("Sound Recording Finished!"), QString::fromUtf8(kAppCaption),
                     QMessageBox::Information);
      return true;
    case kActBalloon:
      ShowBalloon(tr("Sound Recording Finished!"), QString::fromUtf8(kAppCaption), 30);
      return true;
    case kActLogOff:
    case kActStandBy:
    case kActHibernate:
    case kActRestart:
    case kActShutdown: {
      const PowerAction power = *AfterRecordingPowerAction(action);
      BringToFront();
      const auto answer = CountdownMessageBox::Ask(
          this, QString::fromUtf8(AfterRecordingConfirmation(action)),
          QString::fromUtf8(kAppCaption), QMessageBox::Warning,
          QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok, countdownSeconds_);
      const std::string what = AfterRecordingPhrase(action);
      if (answer != QMessageBox::Ok) {
        Write("Cancelled: " + what + " after the recording.", 0);
        return true;
      }
      Write("After the recording: " + what + ".", -1);
      std::string error;
      if (!power_->Run(power, &error, [this](const std::string& note) { Write(note, 1); })) {
        Write("Could not " + what + ": " + error, 2);
        return false;
      }
      return true;
    }
    default: return true;
  }
}

void CRecorderDlg::SetSystemPower(SystemPower* power) { power_ = power ? power : &logindPower_; }

// -------------------------------------------------------------------- exit

void CRecorderDlg::ExitSequence() {
  if (exiting_) return;
  exiting_ = true;
  Write("Exiting...", -1);
  if (recorder_.IsRecording()) recorder_.Stop();
  // Let the recording close its files and report them, for a few seconds
  // at most; the handlers run here as they would in the event loop.
  QElapsedTimer waited;
  waited.start();
  while (recorder_.SessionRunning() && waited.elapsed() < 5000) {
    PumpChannel();
    QThread::msleep(20);
  }
  PumpChannel();
  // No launch from here on; a task's own settings give way to the global
  // ones before those are saved.
  delete driver_;
  driver_ = nullptr;
  scheduler_->SetLauncher(nullptr);
  schedulerEndPending_ = false;
  scheduler_->EndScheduledRecording();

  log_.WriteExitGap();
  devicePage_->SaveChoice();
  miscPage_->TakeValues();
  // The last moment the user can learn that the settings were not written.
  if (!store_->Save(settings_, [this](const std::string& t, int l) { Write(t, l); }))
    ShowMessageBox(this, tr("Error on saving settings!"), QString(), QMessageBox::Critical);
  std::error_code ec;
  fs::remove(DataFile("temp.tag"), ec);
  schedulerPage_->Save();
  std::string error;
  if (!outputPage_->Save(&error)) {
    Write("An error occurred while saving the output files.", 1);
    Write(error, 1);
    ShowMessageBox(this, tr("An Error Occurred While Saving the Output Files."), QString(),
                   QMessageBox::Critical);
  }

  if (tray_) tray_->RemoveIcon();
  advancedPage_->Hotkeys()->Release();
  if (!recorder_.SessionRunning()) {
    AudioSystem::Terminate();
    visuals_->Detach();                  // the views draw from the visualizer components
    metadataPage_->SetWmaInfo(nullptr);  // after a tag program still running
    components_.ReleaseAll();            // else the recording still uses the transform
  }
  done(1);
}

void CRecorderDlg::reject() {}

void CRecorderDlg::contextMenuEvent(QContextMenuEvent* e) {
  // Reaches the window where no control has a menu of its own.
  windowMenu_->popup(e->globalPos());
  e->accept();
}

void CRecorderDlg::closeEvent(QCloseEvent* e) {
  e->accept();
  ExitSequence();
}

bool CRecorderDlg::eventFilter(QObject* watched, QEvent* e) {
  // Neither Escape nor Enter may close the window or press a button in it.
  if (e->type() == QEvent::KeyPress) {
    auto* w = qobject_cast<QWidget*>(watched);
    if (w && w->window() == this) {
      const int key = static_cast<QKeyEvent*>(e)->key();
      // A multi-line text or an in-place edit keeps them for itself.
      const bool ownKeys = w->property("takesEnterAndEscape").toBool();
      if (!ownKeys && (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter))
        return true;
    }
  }
  return QDialog::eventFilter(watched, e);
}

}  // namespace tarvexa
