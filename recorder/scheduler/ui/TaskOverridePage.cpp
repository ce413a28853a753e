#include "scheduler/ui/TaskOverridePage.h"

#include <QtWidgets/QButtonGroup>
#include <QtWidgets/QCheckBox>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QGridLayout>
#include <QtWidgets/QGroupBox>
#include <QtWidgets/QHBoxLayout>
#include <QtWidgets/QLabel>
#include <QtWidgets/QRadioButton>
#include <QtWidgets/QSpinBox>
#include <QtWidgets/QVBoxLayout>

#include "app/AfterRecording.h"
#include "config/Settings.h"
#include "formats/FormatCatalogue.h"
#include "widgets/MessageBox.h"
#include "widgets/SpinBox.h"

namespace tarvexa {

namespace {

constexpr const char* kRates[] = {"      8000 Hz", "    11025 Hz", "    12000 Hz", "    16000 Hz",
                                  "    22050 Hz",  "    24000 Hz", "    32000 Hz", "    44100 Hz",
                                  "    48000 Hz",  "    88200 Hz", "    96000 Hz", "  192000 Hz"};

void Choose(QComboBox* box, int index, int fallback) {
  box->setCurrentIndex(index >= 0 && index < box->count() ? index : fallback);
}

}  // namespace

TaskOverridePage::TaskOverridePage(QWidget* parent) : QWidget(parent) {
  override_ = new QCheckBox(tr("Override Default Setting (Use Task Specific Setting)"), this);
  freq_ = new QComboBox(this);
  for (const char* r : kRates) freq_->addItem(QString::fromLatin1(r));
  channel_ = new QComboBox(this);
  channel_->addItems({QStringLiteral("    Mono"), QStringLiteral("   Stereo")});
  format_ = new QComboBox(this);
  for (int f = kFirstFormat; f <= kLastFormat; ++f)
    format_->addItem(QString::fromUtf8(FormatListText(f)));
  action_ = new QComboBox(this);
  for (int a = 0; a < kAfterRecordingActionCount; ++a)
    action_->addItem(QString::fromUtf8(AfterRecordingOptionText(a)));

  stopManually_ = new QRadioButton(tr("Stop Recording Manually"), this);
  stopAfter_ = new QRadioButton(tr("Stop Recording After"), this);
  noSplit_ = new QRadioButton(tr("Do Not Split"), this);
  splitByTime_ = new QRadioButton(tr("Split By Time: "), this);
  // Two groups of two: each pair excludes only itself.
  for (auto pair : {std::pair{stopManually_, stopAfter_}, std::pair{noSplit_, splitByTime_}}) {
    auto* group = new QButtonGroup(this);
    group->addButton(pair.first);
    group->addButton(pair.second);
  }
  stop_ = MakeLength();
  split_ = MakeLength();

  auto lengthRow = [this](QRadioButton* radio, const Length& l) {
    auto* row = new QHBoxLayout;
    row->addWidget(radio);
    row->addWidget(l.hours);
    row->addWidget(new QLabel(QStringLiteral(":"), this));
    row->addWidget(l.minutes);
    row->addWidget(new QLabel(QStringLiteral(":"), this));
    row->addWidget(l.seconds);
    row->addStretch(1);
    return row;
  };
  auto* stopBox = new QGroupBox(tr("Auto Stop"), this);
  auto* stopLayout = new QVBoxLayout(stopBox);
  stopLayout->addWidget(stopManually_);
  stopLayout->addLayout(lengthRow(stopAfter_, stop_));
  auto* splitBox = new QGroupBox(tr("Auto Split"), this);
  auto* splitLayout = new QVBoxLayout(splitBox);
  splitLayout->addWidget(noSplit_);
  splitLayout->addLayout(lengthRow(splitByTime_, split_));

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(tr("Frequency:"), this), 0, 0);
  grid->addWidget(freq_, 0, 1);
  grid->addWidget(new QLabel(tr("Channel:"), this), 0, 2);
  grid->addWidget(channel_, 0, 3);
  grid->addWidget(new QLabel(tr("Format:"), this), 1, 0);
  grid->addWidget(format_, 1, 1, 1, 3);
  grid->setColumnStretch(1, 1);
  auto* action = new QHBoxLayout;
  action->addWidget(new QLabel(tr("When Recording Stopped:"), this));
  action->addWidget(action_, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(override_);
  layout->addLayout(grid);
  layout->addWidget(stopBox);
  layout->addWidget(splitBox);
  layout->addLayout(action);
  layout->addStretch(1);

  connect(override_, &QCheckBox::toggled, this, &TaskOverridePage::Stabilize);
  for (QRadioButton* r : {stopManually_, stopAfter_, noSplit_, splitByTime_})
    connect(r, &QRadioButton::toggled, this, &TaskOverridePage::Stabilize);
  for (QSpinBox* s : {stop_.hours, stop_.minutes, stop_.seconds})
    connect(s, &QSpinBox::valueChanged, this,
            [this] { CheckLength(stop_, "Minimum Auto Stop Time is 5 Secs!"); });
  for (QSpinBox* s : {split_.hours, split_.minutes, split_.seconds})
    connect(s, &QSpinBox::valueChanged, this,
            [this] { CheckLength(split_, "Minimum Split Time is 5 Secs!"); });
}

TaskOverridePage::Length TaskOverridePage::MakeLength() {
  // Values are taken when editing ends (Enter, leaving the field, the
  // arrows), so typing "30" is not refused at its "3".
  return {MakeSpinBox(0, 23, this), MakeSpinBox(0, 59, this), MakeSpinBox(0, 59, this)};
}

void TaskOverridePage::CheckLength(const Length& l, const char* message) {
  if (loading_) return;
  if (l.hours->value() != 0 || l.minutes->value() != 0 || l.seconds->value() >= 5) return;
  ShowMessageBox(this, tr(message), QString(), QMessageBox::Critical);
  loading_ = true;
  l.seconds->setValue(5);
  loading_ = false;
}

void TaskOverridePage::Load(const CTask& t, const Settings& g) {
  loading_ = true;
  override_->setChecked(t.override != 0);
  Choose(freq_, t.freqIndex, g.OUTPUT.Freq);
  Choose(channel_, t.channels - 1, g.OUTPUT.Chan - 1);
  Choose(format_, t.format - 1, g.OUTPUT.OutputFormat - 1);
  Choose(action_, t.afterRecording, g.MISC.ActAftRec);
  (t.stopAfter ? stopAfter_ : stopManually_)->setChecked(true);
  (t.split ? splitByTime_ : noSplit_)->setChecked(true);
  stop_.hours->setValue(t.stopHour);
  stop_.minutes->setValue(t.stopMinute);
  stop_.seconds->setValue(t.stopSecond);
  split_.hours->setValue(t.splitHour);
  split_.minutes->setValue(t.splitMinute);
  split_.seconds->setValue(t.splitSecond);
  loading_ = false;
  Stabilize();
}

void TaskOverridePage::Store(CTask& t) const {
  for (QSpinBox* s :
       {stop_.hours, stop_.minutes, stop_.seconds, split_.hours, split_.minutes, split_.seconds})
    s->interpretText();
  t.override = override_->isChecked();
  t.freqIndex = static_cast<uint16_t>(freq_->currentIndex());
  t.channels = static_cast<uint16_t>(channel_->currentIndex() + 1);
  t.format = static_cast<uint16_t>(format_->currentIndex() + 1);
  t.afterRecording = static_cast<uint16_t>(action_->currentIndex());
  t.stopAfter = stopAfter_->isChecked();
  t.split = splitByTime_->isChecked();
  t.stopHour = static_cast<uint16_t>(stop_.hours->value());
  t.stopMinute = static_cast<uint16_t>(stop_.minutes->value());
  t.stopSecond = static_cast<uint16_t>(stop_.seconds->value());
  t.splitHour = static_cast<uint16_t>(split_.hours->value());
  t.splitMinute = static_cast<uint16_t>(split_.minutes->value());
  t.splitSecond = static_cast<uint16_t>(split_.seconds->value());
}

void TaskOverridePage::Stabilize() {
  const bool on = override_->isChecked();
  for (QWidget* w : std::initializer_list<QWidget*>{
           freq_, channel_, format_, action_, stopManually_, stopAfter_, noSplit_, splitByTime_})
    w->setEnabled(on);
  for (QSpinBox* s : {stop_.hours, stop_.minutes, stop_.seconds})
    s->setEnabled(on && stopAfter_->isChecked());
  for (QSpinBox* s : {split_.hours, split_.minutes, split_.seconds})
    s->setEnabled(on && splitByTime_->isChecked());
}

int TaskOverridePage::OverrideFormat() const {
  return override_->isChecked() ? format_->currentIndex() + 1 : 0;
}

}  // namespace tarvexa
