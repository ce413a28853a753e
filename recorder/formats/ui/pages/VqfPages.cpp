#include "formats/ui/pages/VqfPages.h"

#include <QtWidgets/QComboBox>
#include <QtWidgets/QGridLayout>
#include <QtWidgets/QLabel>
#include <QtWidgets/QSlider>
#include <QtWidgets/QVBoxLayout>

#include <algorithm>

#include "encoders/vqf/VqfWriter.h"
#include "formats/ui/pages/PageKit.h"

namespace tarvexa {

using namespace pagekit;

namespace {
// A stored quality that is not one of the slider's values shows here (16).
constexpr int kDefaultQualityPosition = 4;
}  // namespace

CVqfOption::CVqfOption(Settings& settings, QWidget* parent)
    : OptionPage(QStringLiteral("Encoder::VQF"), settings, parent) {
  QStringList texts;
  for (const VqfPreset& p : VqfPresets()) texts << QString::fromLatin1(p.text);
  presets_ = List(texts, this);
  quality_ = Slider(0, static_cast<int>(kVqfQualities.size()) - 1, this);
  quality_->setTickPosition(QSlider::TicksBelow);
  quality_->setPageStep(1);
  qualityCaption_ = new QLabel(this);

  auto* grid = new QGridLayout;
  AddRow(grid, 0, tr("Preset:"), presets_, this);
  grid->setColumnStretch(1, 1);

  auto* note = new QLabel(
      tr("These files are coded by this recorder's own TwinVQ encoder, with codebooks of its "
         "own: other players read their headers (rate, channels, bit rate) but cannot play "
         "their audio. Play or convert them with vqfdec, beside the recorder "
         "(vqfdec IN.vqf OUT.wav)."),
      this);
  note->setObjectName(QStringLiteral("vqfNote"));
  note->setWordWrap(true);
  note->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addSpacing(8);
  layout->addWidget(qualityCaption_);
  layout->addLayout(SliderWithEnds(quality_, tr("Fastest"), tr("Best"), this));
  layout->addSpacing(12);
  layout->addWidget(note);
  layout->addStretch(1);

  connect(presets_, &QComboBox::currentIndexChanged, this, [this] { Changed(); });
  connect(quality_, &QSlider::valueChanged, this, [this] { Changed(); });
}

void CVqfOption::Load() {
  const auto& v = settings_.VQF;
  Select(presets_, v.Profile - 1);
  const auto* at =
      std::find(kVqfQualities.begin(), kVqfQualities.end(), static_cast<int>(v.Quality));
  SetValue(quality_, at == kVqfQualities.end() ? kDefaultQualityPosition
                                               : static_cast<int>(at - kVqfQualities.begin()));
}

void CVqfOption::Stabilize() {
  qualityCaption_->setText(
      QString::asprintf("Quality: %2d", kVqfQualities[static_cast<size_t>(quality_->value())]));
}

void CVqfOption::Store() {
  auto& v = settings_.VQF;
  if (presets_->currentIndex() >= 0) v.Profile = I16(presets_->currentIndex() + 1);
  v.Quality = I16(kVqfQualities[static_cast<size_t>(quality_->value())]);
}

FormatFamilyUi VqfFamilyUi() {
  FormatFamilyUi ui;
  ui.menu.push_back(PlainCommand(kFormatVQF));
  ui.pages.push_back({kFormatVQF, [](Settings& s) -> OptionPage* { return new CVqfOption(s); }});
  return ui;
}

}  // namespace tarvexa
