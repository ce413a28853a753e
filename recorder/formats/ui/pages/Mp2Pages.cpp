#include "formats/ui/pages/Mp2Pages.h"

#include <QtWidgets/QCheckBox>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QGridLayout>
#include <QtWidgets/QVBoxLayout>

#include "encoders/mp2/Mp2Writer.h"
#include "formats/FormatCatalogue.h"
#include "formats/ui/pages/PageKit.h"

namespace tarvexa {

using namespace pagekit;

QStringList CMp2Option::BitrateTexts() {
  QStringList texts = pagekit::BitrateTexts();
  texts[0] = QStringLiteral("    8 kbits per second");
  texts << QString::asprintf("%4d kbits per second", Mp2Kbps(17));
  return texts;
}

CMp2Option::CMp2Option(Settings& settings, QWidget* parent)
    : OptionPage(QStringLiteral("Encoder::MP2"), settings, parent) {
  bits_ = List(BitrateTexts(), this);
  channel_ = List({" Auto", " Stereo", " Joint Stereo", " Dual Channel"}, this);
  copyright_ = new QCheckBox(tr("Copyright"), this);
  original_ = new QCheckBox(tr("Original"), this);

  auto* grid = new QGridLayout;
  AddRow(grid, 0, tr("Bits per Second:"), bits_, this);
  AddRow(grid, 1, tr("Stereo Mode:"), channel_, this);
  grid->setColumnStretch(1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addSpacing(8);
  layout->addWidget(copyright_);
  layout->addWidget(original_);
  layout->addStretch(1);

  for (QComboBox* list : {bits_, channel_})
    connect(list, &QComboBox::currentIndexChanged, this, [this] { Changed(); });
  for (QCheckBox* box : {copyright_, original_})
    connect(box, &QCheckBox::toggled, this, [this] { Changed(); });
}

void CMp2Option::Load() {
  const auto& m = settings_.MP2;
  Select(bits_, m.Bits);
  Select(channel_, m.Channel);
  SetChecked(copyright_, m.CopyRight != 0);
  SetChecked(original_, m.Original != 0);
}

void CMp2Option::Store() {
  auto& m = settings_.MP2;
  if (bits_->currentIndex() >= 0) m.Bits = I16(bits_->currentIndex());
  if (channel_->currentIndex() >= 0) m.Channel = I16(channel_->currentIndex());
  m.CopyRight = copyright_->isChecked() ? 1 : 0;
  m.Original = original_->isChecked() ? 1 : 0;
}

// -------------------------------------------------------------- the family

FormatFamilyUi Mp2FamilyUi() {
  FormatFamilyUi ui;
  ui.menu.push_back(PlainCommand(kFormatMP2));
  ui.pages.push_back({kFormatMP2, [](Settings& s) -> OptionPage* { return new CMp2Option(s); }});
  return ui;
}

}  // namespace tarvexa
