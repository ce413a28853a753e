#include "app/DspGroup.h"

#include <QtWidgets/QCheckBox>
#include <QtWidgets/QGridLayout>
#include <QtWidgets/QLabel>
#include <QtWidgets/QSpinBox>

#include "config/Settings.h"
#include "widgets/SpinBox.h"

namespace tarvexa {

DspGroup::DspGroup(Settings& settings, LogFn log, QWidget* parent)
    : QGroupBox(tr("Digital Signal Processing"), parent),
      settings_(settings),
      log_(std::move(log)) {
  amp_ = new QCheckBox(tr("Enable Amplification"), this);
  ampN_ = MakeSpinBox(20, 500, this);
  nor_ = new QCheckBox(tr("Enable Normalization"), this);
  norN_ = MakeSpinBox(0, 100, this);
  norLev_ = new QCheckBox(tr("Leveling"), this);
  res_ = new QCheckBox(tr("Enable Resampling"), this);
  resN_ = MakeSpinBox(20, 500, this);
  amp_->setToolTip(QString::fromUtf8(kAmplifyTip));
  nor_->setToolTip(QString::fromUtf8(kNormalizeTip));
  res_->setToolTip(QString::fromUtf8(kResampleTip));

  auto* grid = new QGridLayout(this);
  grid->addWidget(amp_, 0, 0);
  grid->addWidget(new QLabel(tr("Coefficient:"), this), 0, 1);
  grid->addWidget(ampN_, 0, 2);
  grid->addWidget(nor_, 1, 0);
  grid->addWidget(new QLabel(tr("Percent:"), this), 1, 1);
  grid->addWidget(norN_, 1, 2);
  grid->addWidget(norLev_, 1, 3);
  grid->addWidget(res_, 2, 0);
  grid->addWidget(new QLabel(tr("Rate: "), this), 2, 1);
  grid->addWidget(resN_, 2, 2);
  grid->setColumnStretch(4, 1);

  // Only what the user clicks is logged; the switch it turns off is not.
  for (QCheckBox* c : {amp_, nor_, res_})
    connect(c, &QCheckBox::clicked, this, [this, c](bool on) { Switched(c, on); });
  connect(norLev_, &QCheckBox::toggled, this, &DspGroup::Store);
  for (QSpinBox* s : {ampN_, norN_, resN_})
    connect(s, &QSpinBox::valueChanged, this, &DspGroup::Store);
}

void DspGroup::Switched(QCheckBox* box, bool on) {
  const char* what = box == amp_ ? "amplify" : box == nor_ ? "normalize" : "resample";
  if (log_) log_(std::string(on ? "Enable " : "Disable ") + what + " DSP.", 0);
  if (on) {
    QCheckBox* other = box == amp_ ? nor_ : box == nor_ ? amp_ : nullptr;
    if (other) {
      const QSignalBlocker block(other);
      other->setChecked(false);
    }
  }
  Store();
}

void DspGroup::Load() {
  const auto& d = settings_.DSP;
  const QSignalBlocker b1(amp_), b2(ampN_), b3(nor_), b4(norN_), b5(norLev_), b6(res_), b7(resN_);
  amp_->setChecked(d.Amp != 0);
  ampN_->setValue(d.AmpN);
  nor_->setChecked(d.Nor != 0);
  norN_->setValue(d.NorN);
  norLev_->setChecked(d.NorLev != 0);
  res_->setChecked(d.Res != 0);
  resN_->setValue(d.ResN);
  Stabilize();
}

void DspGroup::Store() {
  auto& d = settings_.DSP;
  d.Amp = amp_->isChecked() ? 1 : 0;
  d.AmpN = static_cast<int16_t>(ampN_->value());
  d.Nor = nor_->isChecked() ? 1 : 0;
  d.NorN = static_cast<int16_t>(norN_->value());
  d.NorLev = norLev_->isChecked() ? 1 : 0;
  d.Res = res_->isChecked() ? 1 : 0;
  d.ResN = static_cast<int16_t>(resN_->value());
  Stabilize();
  emit dspChanged();
}

void DspGroup::Stabilize() {
  ampN_->setEnabled(amp_->isChecked());
  norN_->setEnabled(nor_->isChecked());
  norLev_->setEnabled(nor_->isChecked());
  resN_->setEnabled(res_->isChecked());
}

}  // namespace tarvexa
