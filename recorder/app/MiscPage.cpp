#include "app/MiscPage.h"

#include <QtWidgets/QButtonGroup>
#include <QtWidgets/QCheckBox>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QGridLayout>
#include <QtWidgets/QGroupBox>
#include <QtWidgets/QHBoxLayout>
#include <QtWidgets/QLabel>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QRadioButton>
#include <QtWidgets/QSpinBox>
#include <QtWidgets/QVBoxLayout>

#include "app/AfterRecording.h"
#include "app/NamingRuleDlg.h"
#include "config/Settings.h"
#include "widgets/MessageBox.h"
#include "widgets/SpinBox.h"

namespace tarvexa {

namespace {
QHBoxLayout* TimeRow(const MiscPage::TimeFields& f, QWidget* parent) {
  auto* row = new QHBoxLayout;
  row->addWidget(f.hours);
  row->addWidget(new QLabel(QObject::tr("Hours"), parent));
  row->addSpacing(6);
  row->addWidget(f.minutes);
  row->addWidget(new QLabel(QObject::tr("Minutes"), parent));
  row->addSpacing(6);
  row->addWidget(f.seconds);
  row->addWidget(new QLabel(QObject::tr("Seconds"), parent));
  row->addStretch(1);
  return row;
}

void Set(const MiscPage::TimeFields& f, int h, int m, int s) {
  QSignalBlocker b1(f.hours), b2(f.minutes), b3(f.seconds);
  f.hours->setValue(h);
  f.minutes->setValue(m);
  f.seconds->setValue(s);
}

bool UnderFiveSeconds(const MiscPage::TimeFields& f) {
  return f.hours->value() == 0 && f.minutes->value() == 0 && f.seconds->value() < 5;
}
}  // namespace

MiscPage::TimeFields MiscPage::MakeTimeFields() {
  TimeFields f{MakeSpinBox(0, 23, this), MakeSpinBox(0, 59, this), MakeSpinBox(0, 59, this)};
  for (QSpinBox* s : {f.hours, f.minutes, f.seconds}) {
    connect(s, &QSpinBox::valueChanged, this, &MiscPage::StoreTimes);
    connect(s, &QSpinBox::editingFinished, this, [this] { TakeValues(); });
  }
  return f;
}

void MiscPage::StoreTimes() {
  auto& m = settings_.MISC;
  m.StopHour = static_cast<int16_t>(stop_.hours->value());
  m.StopMin = static_cast<int16_t>(stop_.minutes->value());
  m.StopSec = static_cast<int16_t>(stop_.seconds->value());
  m.SplitHour = static_cast<int16_t>(split_.hours->value());
  m.SplitMin = static_cast<int16_t>(split_.minutes->value());
  m.SplitSec = static_cast<int16_t>(split_.seconds->value());
}

MiscPage::MiscPage(Settings& settings, QWidget* parent) : QWidget(parent), settings_(settings) {
  // Tray and power.
  auto* tray = new QGroupBox(tr("System Tray"), this);
  minToTray_ = new QCheckBox(tr("Minimize to System Tray"), tray);
  closeToTray_ = new QCheckBox(tr("Close to System Tray"), tray);
  auto* trayLayout = new QVBoxLayout(tray);
  trayLayout->addWidget(minToTray_);
  trayLayout->addWidget(closeToTray_);

  auto* power = new QGroupBox(tr("While Recording"), this);
  keepAwake_ = new QCheckBox(tr("Keep the System Awake"), power);
  keepDisplay_ = new QCheckBox(tr("Keep the Display On"), power);
  auto* powerLayout = new QVBoxLayout(power);
  powerLayout->addWidget(keepAwake_);
  powerLayout->addWidget(keepDisplay_);

  // Auto stop.
  auto* stopBox = new QGroupBox(tr("Auto Stop"), this);
  stopManually_ = new QRadioButton(tr("Stop Recording Manually"), stopBox);
  stopAfter_ = new QRadioButton(tr("Stop Recording After"), stopBox);
  stop_ = MakeTimeFields();
  auto* stopGroup = new QButtonGroup(this);
  stopGroup->addButton(stopManually_, 0);
  stopGroup->addButton(stopAfter_, 1);
  auto* stopLayout = new QVBoxLayout(stopBox);
  stopLayout->addWidget(stopManually_);
  stopLayout->addWidget(stopAfter_);
  auto* stopTimes = TimeRow(stop_, stopBox);
  stopTimes->insertSpacing(0, 22);
  stopLayout->addLayout(stopTimes);

  // Auto split.
  auto* splitBox = new QGroupBox(tr("Auto Split"), this);
  noSplit_ = new QRadioButton(tr("Do Not Split"), splitBox);
  splitByTime_ = new QRadioButton(tr("Split By Time: "), splitBox);
  split_ = MakeTimeFields();
  namingRule_ = new QPushButton(tr("Naming Rule"), splitBox);
  auto* splitGroup = new QButtonGroup(this);
  splitGroup->addButton(noSplit_, 0);
  splitGroup->addButton(splitByTime_, 1);
  auto* splitLayout = new QVBoxLayout(splitBox);
  auto* splitTop = new QHBoxLayout;
  splitTop->addWidget(noSplit_);
  splitTop->addStretch(1);
  splitTop->addWidget(namingRule_);
  splitLayout->addLayout(splitTop);
  splitLayout->addWidget(splitByTime_);
  auto* splitTimes = TimeRow(split_, splitBox);
  splitTimes->insertSpacing(0, 22);
  splitLayout->addLayout(splitTimes);

  // After recording.
  auto* afterBox = new QGroupBox(tr("After Recording"), this);
  action_ = new QComboBox(afterBox);
  for (int i = 0; i < kAfterRecordingActionCount; ++i)
    action_->addItem(QString::fromUtf8(AfterRecordingOptionText(i)));
  auto* afterLayout = new QHBoxLayout(afterBox);
  afterLayout->addWidget(new QLabel(tr("When  Recording Automatically Stopped:"), afterBox));
  afterLayout->addWidget(action_, 1);

  auto* grid = new QGridLayout(this);
  grid->addWidget(tray, 0, 0);
  grid->addWidget(power, 0, 1);
  grid->addWidget(stopBox, 1, 0);
  grid->addWidget(splitBox, 1, 1);
  grid->addWidget(afterBox, 2, 0, 1, 2);
  grid->setRowStretch(3, 1);
  grid->setColumnStretch(0, 1);
  grid->setColumnStretch(1, 1);

  auto store = [](QCheckBox* box, int32_t& field) {
    connect(box, &QCheckBox::toggled, box, [&field](bool on) { field = on ? 1 : 0; });
  };
  store(minToTray_, settings_.MISC.MinToTray);
  store(closeToTray_, settings_.MISC.CloseToTray);
  store(keepAwake_, settings_.MISC.PowerAlwOn);
  store(keepDisplay_, settings_.MISC.DispAlwOn);
  connect(stopGroup, &QButtonGroup::idClicked, this, [this](int id) {
    settings_.MISC.Stop = id;
    if (id) TakeValues();
    Stabilize(recording_);
  });
  connect(splitGroup, &QButtonGroup::idClicked, this, [this](int id) {
    settings_.MISC.Split = static_cast<int16_t>(id);
    if (id) TakeValues();
    Stabilize(recording_);
  });
  connect(action_, &QComboBox::activated, this, &MiscPage::ActionChosen);
  connect(namingRule_, &QPushButton::clicked, this, &MiscPage::OpenNamingRule);
}

void MiscPage::Load() {
  const auto& m = settings_.MISC;
  for (auto [box, on] :
       {std::pair{minToTray_, m.MinToTray}, std::pair{closeToTray_, m.CloseToTray},
        std::pair{keepAwake_, m.PowerAlwOn}, std::pair{keepDisplay_, m.DispAlwOn}}) {
    QSignalBlocker b(box);
    box->setChecked(on != 0);
  }
  (m.Stop ? stopAfter_ : stopManually_)->setChecked(true);
  (m.Split ? splitByTime_ : noSplit_)->setChecked(true);
  Set(stop_, m.StopHour, m.StopMin, m.StopSec);
  Set(split_, m.SplitHour, m.SplitMin, m.SplitSec);
  {
    QSignalBlocker b(action_);
    action_->setCurrentIndex(
        m.ActAftRec >= 0 && m.ActAftRec < kAfterRecordingActionCount ? m.ActAftRec : 0);
  }
  Stabilize(recording_);
}

bool MiscPage::TakeValues() {
  // Showing a box takes the focus from a field, which would take the values
  // again from inside the box.
  if (taking_) return true;
  taking_ = true;
  // A value typed but not yet confirmed counts too (it is stored through
  // valueChanged).
  for (const TimeFields* f : {&stop_, &split_})
    for (QSpinBox* s : {f->hours, f->minutes, f->seconds}) s->interpretText();
  bool ok = true;
  if (UnderFiveSeconds(stop_)) {
    ShowMessageBox(this, tr("Minimum Auto Stop Time is 5 Secs!"), QString(), QMessageBox::Critical);
    Set(stop_, 0, 0, 5);
    ok = false;
  }
  if (UnderFiveSeconds(split_)) {
    ShowMessageBox(this, tr("Minimum Split Time is 5 Secs!"), QString(), QMessageBox::Critical);
    Set(split_, 0, 0, 5);
    ok = false;
  }
  if (!ok) StoreTimes();
  taking_ = false;
  return ok;
}

void MiscPage::Stabilize(bool recording) {
  recording_ = recording;
  for (QWidget* w : {static_cast<QWidget*>(stopManually_), static_cast<QWidget*>(stopAfter_),
                     static_cast<QWidget*>(noSplit_), static_cast<QWidget*>(splitByTime_)})
    w->setEnabled(!recording);
  const bool stopTimes = !recording && stopAfter_->isChecked();
  const bool splitTimes = !recording && splitByTime_->isChecked();
  for (QSpinBox* s : {stop_.hours, stop_.minutes, stop_.seconds}) s->setEnabled(stopTimes);
  for (QSpinBox* s : {split_.hours, split_.minutes, split_.seconds}) s->setEnabled(splitTimes);
}

void MiscPage::ActionChosen(int index) {
  if (index >= kActLogOff) {
    const auto answer =
        ShowMessageBox(this, QString::fromUtf8(AfterRecordingQuestion(index)), QString(),
                       QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes) {
      index = kActDoNothing;
      QSignalBlocker b(action_);
      action_->setCurrentIndex(index);
    }
  }
  settings_.MISC.ActAftRec = static_cast<int16_t>(index);
}

void MiscPage::OpenNamingRule() {
  NamingRuleDlg dlg(settings_, this);
  dlg.exec();
}

}  // namespace tarvexa
