#include "formats/ui/pages/OggPages.h"

#include <QtWidgets/QCheckBox>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QGridLayout>
#include <QtWidgets/QGroupBox>
#include <QtWidgets/QSlider>
#include <QtWidgets/QVBoxLayout>

#include "encoders/ogg/OggVorbisWriter.h"
#include "formats/FormatCatalogue.h"
#include "formats/ui/pages/PageKit.h"
#include "widgets/MessageBox.h"

namespace tarvexa {

using namespace pagekit;

COggOption::COggOption(Settings& settings, QWidget* parent)
    : OptionPage(QStringLiteral("Encoder::OGG"), settings, parent) {
  // The box carries the slider's value as its caption.
  quality_ = new QCheckBox(tr("Quality :"), this);
  slider_ = Slider(-10, 100, this);
  slider_->setPageStep(10);
  slider_->setTickInterval(10);
  slider_->setTickPosition(QSlider::TicksBelow);
  nominal_ = List(BitrateTexts(), this);
  vbr_ = new QCheckBox(tr("VBR"), this);
  min_ = List(BitrateTexts(), this);
  max_ = List(BitrateTexts(), this);

  auto* nominalGrid = new QGridLayout;
  AddRow(nominalGrid, 0, tr("Nominal Bitrate:"), nominal_, this);
  nominalGrid->setColumnStretch(1, 1);

  auto* expert = new QGroupBox(tr("Expert Options"), this);
  auto* expertGrid = new QGridLayout(expert);
  expertGrid->addWidget(vbr_, 0, 0, 1, 2);
  AddRow(expertGrid, 1, tr("Minimum Bitrate:"), min_, expert);
  AddRow(expertGrid, 2, tr("Maximum Bitrate:"), max_, expert);
  expertGrid->setColumnStretch(1, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(quality_);
  layout->addLayout(SliderWithEnds(slider_, tr("Fastest"), tr("Best"), this));
  layout->addSpacing(8);
  layout->addLayout(nominalGrid);
  layout->addSpacing(8);
  layout->addWidget(expert);
  layout->addStretch(1);

  for (QCheckBox* box : {quality_, vbr_})
    connect(box, &QCheckBox::toggled, this, [this] { Changed(); });
  connect(slider_, &QSlider::valueChanged, this, [this] { Changed(); });
  for (QComboBox* list : {nominal_, min_, max_})
    connect(list, &QComboBox::currentIndexChanged, this, [this] { Changed(); });
}

void COggOption::Load() {
  const auto& o = settings_.OGG;
  SetChecked(quality_, o.Quality != 0);
  SetChecked(vbr_, o.VBR != 0);
  SetValue(slider_, o.QualityCompression);
  Select(nominal_, o.NomiBit);
  Select(min_, o.MinBit);
  Select(max_, o.MaxBit);
}

void COggOption::Stabilize() {
  quality_->setText(QString::asprintf("Quality : %.2f", slider_->value() * 0.01));
  const bool quality = quality_->isChecked();
  slider_->setEnabled(quality);
  nominal_->setEnabled(!quality);
  vbr_->setEnabled(!quality);
  min_->setEnabled(!quality && vbr_->isChecked());
  max_->setEnabled(!quality && vbr_->isChecked());
}

void COggOption::Store() {
  auto& o = settings_.OGG;
  o.Quality = quality_->isChecked() ? 1 : 0;
  o.VBR = vbr_->isChecked() ? 1 : 0;
  o.QualityCompression = I16(slider_->value());
  if (nominal_->currentIndex() >= 0) o.NomiBit = I16(nominal_->currentIndex());
  if (min_->currentIndex() >= 0) o.MinBit = I16(min_->currentIndex());
  if (max_->currentIndex() >= 0) o.MaxBit = I16(max_->currentIndex());

  // The settings must work at the rate and channel count now chosen.
  if (OggVorbisSettingsAccepted(settings_)) return;
  ShowMessageBox(this, QString::fromUtf8(kOggRefusedBoxText), QString(), QMessageBox::Critical);
  Log(kOggRefusedLogText, 1);
  ResetOggVorbisSettings(settings_);
  LoadPage();
}

// -------------------------------------------------------------- the family

FormatFamilyUi OggVorbisFamilyUi() {
  FormatFamilyUi ui;
  ui.menu.push_back(PlainCommand(kFormatOGG));
  ui.pages.push_back({kFormatOGG, [](Settings& s) -> OptionPage* { return new COggOption(s); }});
  return ui;
}

}  // namespace tarvexa
