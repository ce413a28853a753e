#include "formats/ui/pages/ApePages.h"

#include <QtWidgets/QComboBox>
#include <QtWidgets/QGroupBox>
#include <QtWidgets/QVBoxLayout>

#include "encoders/ape/ApeWriter.h"
#include "formats/ui/pages/PageKit.h"

namespace tarvexa {

using namespace pagekit;

CApeOption::CApeOption(Settings& settings, QWidget* parent)
    : OptionPage(QStringLiteral("Encoder::APE"), settings, parent) {
  QStringList levels;
  for (int level = kMacLevelFast; level <= kMacLevelInsane; level += 1000)
    levels << QString::fromUtf8(ApeLevelText(level));
  auto* group = new QGroupBox(tr("Compression Level"), this);
  level_ = List(levels, group);
  auto* inner = new QVBoxLayout(group);
  inner->addWidget(level_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addStretch(1);
  connect(level_, &QComboBox::currentIndexChanged, this, [this] { Changed(); });
}

void CApeOption::Load() { Select(level_, ApeLevelOf(settings_) / 1000 - 1); }

void CApeOption::Store() {
  if (level_->currentIndex() >= 0) settings_.APE.CompLev = I16((level_->currentIndex() + 1) * 1000);
}

FormatFamilyUi ApeFamilyUi() {
  FormatFamilyUi ui;
  ui.menu.push_back(PlainCommand(kFormatAPE));
  ui.pages.push_back({kFormatAPE, [](Settings& s) -> OptionPage* { return new CApeOption(s); }});
  return ui;
}

}  // namespace tarvexa
