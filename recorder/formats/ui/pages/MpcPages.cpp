#include "formats/ui/pages/MpcPages.h"

#include <QtWidgets/QComboBox>
#include <QtWidgets/QGridLayout>
#include <QtWidgets/QLabel>
#include <QtWidgets/QSlider>
#include <QtWidgets/QVBoxLayout>

#include "encoders/external/MusepackWriter.h"
#include "formats/ui/pages/PageKit.h"

namespace tarvexa {

using namespace pagekit;

namespace {
QStringList Texts(const auto& items) {
  QStringList texts;
  for (const char* t : items) texts << QString::fromUtf8(t);
  return texts;
}
}  // namespace

CMpcOption::CMpcOption(Settings& settings, QWidget* parent)
    : OptionPage(QStringLiteral("Encoder::MPC"), settings, parent) {
  ext_ = List(Texts(kMusepackExtensionTexts), this);
  preset_ = List(Texts(kMusepackPresetTexts), this);
  quality_ = Slider(0, 100, this);
  quality_->setPageStep(10);
  quality_->setTickInterval(10);
  quality_->setTickPosition(QSlider::TicksBelow);
  caption_ = new QLabel(this);

  auto* grid = new QGridLayout;
  AddRow(grid, 0, tr("File Extension:"), ext_, this);
  AddRow(grid, 1, tr("Preset:"), preset_, this);
  grid->setColumnStretch(1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addSpacing(8);
  layout->addWidget(caption_);
  layout->addWidget(quality_);
  layout->addStretch(1);

  connect(ext_, &QComboBox::currentIndexChanged, this, [this] { Changed(); });
  connect(preset_, &QComboBox::currentIndexChanged, this, [this] {
    ApplyPreset();
    Changed();
  });
  connect(quality_, &QSlider::valueChanged, this, [this] { Changed(); });
}

void CMpcOption::ApplyPreset() {
  const int p = preset_->currentIndex();
  const bool fixed = p >= 0 && p < kMusepackCustomizedPreset;
  SetValue(quality_, fixed ? kMusepackPresetQuality[p] : settings_.MPC.Quality);
  quality_->setEnabled(!fixed);
}

void CMpcOption::Load() {
  Select(ext_, settings_.MPC.Ext);
  Select(preset_, settings_.MPC.Preset);
  ApplyPreset();
}

void CMpcOption::Stabilize() {
  caption_->setText(QString::asprintf("Quality: %3.2f ", quality_->value() * 0.1));
}

void CMpcOption::Store() {
  auto& m = settings_.MPC;
  m.Quality = I16(quality_->value());
  if (ext_->currentIndex() >= 0) m.Ext = I16(ext_->currentIndex());
  if (preset_->currentIndex() >= 0) m.Preset = I16(preset_->currentIndex());
}

FormatFamilyUi MpcFamilyUi() {
  FormatFamilyUi ui;
  ui.menu.push_back(PlainCommand(kFormatMPC));
  ui.pages.push_back({kFormatMPC, [](Settings& s) -> OptionPage* { return new CMpcOption(s); }});
  return ui;
}

}  // namespace tarvexa
