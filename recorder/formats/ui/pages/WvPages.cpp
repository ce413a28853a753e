#include "formats/ui/pages/WvPages.h"

#include <QtWidgets/QCheckBox>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QGridLayout>
#include <QtWidgets/QGroupBox>
#include <QtWidgets/QHBoxLayout>
#include <QtWidgets/QLabel>
#include <QtWidgets/QSlider>
#include <QtWidgets/QVBoxLayout>

#include "formats/FormatCatalogue.h"
#include "formats/ui/pages/PageKit.h"

namespace tarvexa {

using namespace pagekit;

// ------------------------------------------------------------------ general

CWvOption::CWvOption(Settings& settings, QWidget* parent)
    : OptionPage(QStringLiteral("Encoder::WV"), settings, parent) {
  auto* group = new QGroupBox(tr("General Options"), this);
  mode_ = List({" Pure Lossless Mode", " Hybrid Mode"}, group);
  level_ = List({" Fast", " Normal", " High", " Very High"}, group);
  stereo_ = List({" Default", " Left/Right", " Mid/Side"}, group);
  extra_ = List({" Default", " 1", " 2", " 3", " 4 (Slow)", " 5 (Slower)", " 6 (Slowest)"}, group);
  defaultBlock_ = new QCheckBox(tr("Default"), group);
  blockSize_ = Slider(256, 131072, group);
  blockSize_->setSingleStep(256);
  blockSize_->setPageStep(4096);
  blockCaption_ = new QLabel(group);
  merge_ = new QCheckBox(tr("Merge Blocks"), group);

  auto* grid = new QGridLayout(group);
  AddRow(grid, 0, tr("Encoding Mode:"), mode_, group);
  AddRow(grid, 1, tr("Compression Level:"), level_, group);
  AddRow(grid, 2, tr("Stereo Mode:"), stereo_, group);
  AddRow(grid, 3, tr("Extra Encode Processing:"), extra_, group);
  auto* blockRow = new QHBoxLayout;
  blockRow->addWidget(blockCaption_, 1);
  blockRow->addWidget(defaultBlock_);
  grid->addLayout(blockRow, 4, 0, 1, 2);
  grid->addWidget(blockSize_, 5, 0, 1, 2);
  grid->addWidget(merge_, 6, 0, 1, 2);
  grid->setColumnStretch(1, 1);
  grid->setRowMinimumHeight(4, 28);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addStretch(1);

  for (QComboBox* list : {mode_, level_, stereo_, extra_})
    connect(list, &QComboBox::currentIndexChanged, this, [this] { Changed(); });
  for (QCheckBox* box : {defaultBlock_, merge_})
    connect(box, &QCheckBox::toggled, this, [this] { Changed(); });
  connect(blockSize_, &QSlider::valueChanged, this, [this] { Changed(); });
}

void CWvOption::Load() {
  const auto& w = settings_.WV;
  Select(mode_, w.EncMod != 0 ? 1 : 0);
  Select(level_, w.ComLev);
  Select(stereo_, w.SteMod);
  Select(extra_, w.ExtMod);
  SetChecked(defaultBlock_, w.EnableBlkSize == 0);
  SetValue(blockSize_, w.BlkSize);
  SetChecked(merge_, w.Merge != 0);
}

void CWvOption::Stabilize() {
  const bool own = !defaultBlock_->isChecked();
  blockSize_->setEnabled(own);
  if (!own) SetChecked(merge_, false);
  merge_->setEnabled(own);
  blockCaption_->setText(own ? QString::asprintf("Block Size: %5d Samples", blockSize_->value())
                             : QStringLiteral("Block Size: Default"));
}

void CWvOption::Store() {
  auto& w = settings_.WV;
  w.EncMod = mode_->currentIndex() == 1 ? 1 : 0;
  if (level_->currentIndex() >= 0) w.ComLev = I16(level_->currentIndex());
  if (stereo_->currentIndex() >= 0) w.SteMod = I16(stereo_->currentIndex());
  if (extra_->currentIndex() >= 0) w.ExtMod = I16(extra_->currentIndex());
  w.EnableBlkSize = defaultBlock_->isChecked() ? 0 : 1;
  w.BlkSize = blockSize_->value();
  w.Merge = merge_->isChecked() ? 1 : 0;
}

// ------------------------------------------------------------------- hybrid

CHybridOption::CHybridOption(Settings& settings, QWidget* parent)
    : OptionPage(QStringLiteral("Encoder::WV::Hybrid"), settings, parent) {
  auto* group = new QGroupBox(tr("Hybrid Mode Options"), this);
  kbpsCaption_ = new QLabel(group);
  kbps_ = Slider(20, 9600, group);
  kbps_->setPageStep(64);
  optWvc_ = new QCheckBox(tr("Maximum Hybrid Compression"), group);
  crtWvc_ = new QCheckBox(tr("Create Correction File (.wvc)"), group);
  calNos_ = new QCheckBox(tr("Calculate Average and Peak Quantilization Noise "), group);
  shapeCaption_ = new QLabel(group);
  shape_ = new QCheckBox(tr("Noise Shaping Override"), group);
  dynamic_ = new QCheckBox(tr("Dynamic Shaping"), group);
  shapeSlider_ = Slider(-100, 100, group);
  shapeSlider_->setPageStep(10);
  shapeSlider_->setTickInterval(50);
  shapeSlider_->setTickPosition(QSlider::TicksBelow);

  auto* inner = new QVBoxLayout(group);
  inner->addWidget(kbpsCaption_);
  inner->addWidget(kbps_);
  inner->addWidget(optWvc_);
  inner->addWidget(crtWvc_);
  inner->addWidget(calNos_);
  inner->addSpacing(8);
  inner->addWidget(shapeCaption_);
  auto* shapeBoxes = new QHBoxLayout;
  shapeBoxes->addWidget(shape_);
  shapeBoxes->addSpacing(16);
  shapeBoxes->addWidget(dynamic_);
  shapeBoxes->addStretch(1);
  inner->addLayout(shapeBoxes);
  inner->addWidget(shapeSlider_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addStretch(1);

  for (QSlider* s : {kbps_, shapeSlider_})
    connect(s, &QSlider::valueChanged, this, [this] { Changed(); });
  for (QCheckBox* box : {optWvc_, crtWvc_, calNos_})
    connect(box, &QCheckBox::toggled, this, [this] { Changed(); });
  // The override and dynamic shaping exclude each other.
  connect(shape_, &QCheckBox::toggled, this, [this](bool on) {
    if (on) SetChecked(dynamic_, false);
    Changed();
  });
  connect(dynamic_, &QCheckBox::toggled, this, [this](bool on) {
    if (on) SetChecked(shape_, false);
    Changed();
  });
}

void CHybridOption::Load() {
  const auto& w = settings_.WV;
  SetValue(kbps_, w.Kbps);
  SetChecked(optWvc_, w.OptWvc != 0);
  SetChecked(crtWvc_, w.CrtWvc != 0);
  SetChecked(calNos_, w.CalNos != 0);
  SetChecked(shape_, w.EnableShape != 0);
  SetChecked(dynamic_, w.Dynamic != 0 && w.EnableShape == 0);
  SetValue(shapeSlider_, w.Shape);
}

void CHybridOption::Stabilize() {
  const bool maximum = optWvc_->isChecked();
  kbps_->setEnabled(!maximum);
  kbpsCaption_->setText(maximum ? QStringLiteral("Bitrate: Maximum Hybrid Compression")
                                : QString::asprintf("Bitrate: %3d kbps", kbps_->value()));
  const bool overriding = shape_->isChecked();
  shapeSlider_->setEnabled(overriding);
  if (overriding)
    shapeCaption_->setText(
        QString::asprintf("Noise Shaping Override: %3.2f", shapeSlider_->value() * 0.01));
  else if (dynamic_->isChecked())
    shapeCaption_->setText(QStringLiteral("Dynamic Shaping"));
  else
    shapeCaption_->setText(QStringLiteral("Noise Shaping Override: Off"));
}

void CHybridOption::Store() {
  auto& w = settings_.WV;
  w.Kbps = I16(kbps_->value());
  w.OptWvc = optWvc_->isChecked() ? 1 : 0;
  w.CrtWvc = crtWvc_->isChecked() ? 1 : 0;
  w.CalNos = calNos_->isChecked() ? 1 : 0;
  w.EnableShape = shape_->isChecked() ? 1 : 0;
  w.Dynamic = dynamic_->isChecked() ? 1 : 0;
  w.Shape = I16(shapeSlider_->value());
}

// -------------------------------------------------------------- the family

FormatFamilyUi WavPackFamilyUi() {
  FormatFamilyUi ui;
  ui.menu.push_back(PlainCommand(kFormatWV));
  ui.pages = {
      {kFormatWV, [](Settings& s) -> OptionPage* { return new CWvOption(s); }},
      {kFormatWV, [](Settings& s) -> OptionPage* { return new CHybridOption(s); }},
  };
  return ui;
}

}  // namespace tarvexa
