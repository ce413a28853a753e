#include "app/AdvancedPage.h"

#include <QtWidgets/QCheckBox>
#include <QtWidgets/QGridLayout>
#include <QtWidgets/QGroupBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QSpinBox>
#include <QtWidgets/QVBoxLayout>

#include "app/DspGroup.h"
#include "app/HotkeyGroup.h"
#include "config/Settings.h"
#include "widgets/SpinBox.h"

namespace tarvexa {

AdvancedPage::AdvancedPage(Settings& settings, LogFn log, QWidget* parent)
    : QWidget(parent), settings_(settings), log_(std::move(log)) {
  auto* box = new QGroupBox(tr("Silence Detection"), this);
  detect_ = new QCheckBox(tr("Enable Silence Detection"), box);
  silLev_ = MakeSpinBox(-92, 0, box);
  silTime_ = MakeSpinBox(5, 900, box);
  noiLev_ = MakeSpinBox(-92, 0, box);
  noiTime_ = MakeSpinBox(5, 900, box);
  split_ = new QCheckBox(tr("Split When Silence Detected"), box);
  stop_ = new QCheckBox(tr("Stop When Silence Detected"), box);

  auto* grid = new QGridLayout;
  grid->setColumnMinimumWidth(0, 16);
  grid->addWidget(new QLabel(tr("Pause recording when signal is below"), box), 0, 1);
  grid->addWidget(silLev_, 0, 2);
  grid->addWidget(new QLabel(tr("db for over"), box), 0, 3);
  grid->addWidget(silTime_, 0, 4);
  grid->addWidget(new QLabel(tr("secs"), box), 0, 5);
  grid->addWidget(new QLabel(tr("Resume recording when signal is above"), box), 1, 1);
  grid->addWidget(noiLev_, 1, 2);
  grid->addWidget(new QLabel(tr("db for over"), box), 1, 3);
  grid->addWidget(noiTime_, 1, 4);
  grid->addWidget(new QLabel(tr("secs"), box), 1, 5);
  grid->setColumnStretch(6, 1);

  auto* layout = new QVBoxLayout(box);
  layout->addWidget(detect_);
  layout->addLayout(grid);
  auto* checks = new QGridLayout;
  checks->setColumnMinimumWidth(0, 16);
  checks->addWidget(split_, 0, 1);
  checks->addWidget(stop_, 0, 2);
  checks->setColumnStretch(3, 1);
  layout->addLayout(checks);

  hotkeys_ = new HotkeyGroup(settings_, log_, this);

  auto* page = new QVBoxLayout(this);
  page->addWidget(box);
  dsp_ = new DspGroup(settings_, log_, this);
  page->addWidget(dsp_);
  page->addWidget(hotkeys_);
  page->addStretch(1);

  connect(detect_, &QCheckBox::toggled, this, [this](bool on) {
    if (log_) log_(on ? "Enable silence detection." : "Disable silence detection.", 0);
    Store();
  });
  for (QSpinBox* s : {silLev_, silTime_, noiLev_, noiTime_})
    connect(s, &QSpinBox::valueChanged, this, &AdvancedPage::Store);
  for (QCheckBox* c : {split_, stop_}) connect(c, &QCheckBox::toggled, this, &AdvancedPage::Store);
}

void AdvancedPage::Load() {
  const auto& s = settings_.SIL;
  const QSignalBlocker b1(detect_), b2(silLev_), b3(silTime_), b4(noiLev_), b5(noiTime_),
      b6(split_), b7(stop_);
  detect_->setChecked(s.Det != 0);
  silLev_->setValue(s.SilLev);
  silTime_->setValue(s.SilTime);
  noiLev_->setValue(s.NoiLev);
  noiTime_->setValue(s.NoiTime);
  split_->setChecked(s.Split != 0);
  stop_->setChecked(s.StopSilence != 0);
  Stabilize();
  dsp_->Load();
  hotkeys_->Load();
}

void AdvancedPage::Store() {
  auto& s = settings_.SIL;
  s.Det = detect_->isChecked() ? 1 : 0;
  s.SilLev = static_cast<int16_t>(silLev_->value());
  s.SilTime = static_cast<int16_t>(silTime_->value());
  s.NoiLev = static_cast<int16_t>(noiLev_->value());
  s.NoiTime = static_cast<int16_t>(noiTime_->value());
  s.Split = split_->isChecked() ? 1 : 0;
  s.StopSilence = stop_->isChecked() ? 1 : 0;
  Stabilize();
  emit silenceChanged();
}

void AdvancedPage::Stabilize() {
  const bool on = detect_->isChecked();
  for (QWidget* w :
       std::initializer_list<QWidget*>{silLev_, silTime_, noiLev_, noiTime_, split_, stop_})
    w->setEnabled(on);
}

}  // namespace tarvexa
