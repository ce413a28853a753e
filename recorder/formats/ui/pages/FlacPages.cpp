#include "formats/ui/pages/FlacPages.h"

#include <QtWidgets/QCheckBox>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QGridLayout>
#include <QtWidgets/QVBoxLayout>

#include "encoders/flac/FlacWriter.h"
#include "formats/FormatCatalogue.h"
#include "formats/ui/pages/PageKit.h"
#include "widgets/MessageBox.h"

namespace tarvexa {

using namespace pagekit;

namespace {
template <size_t N>
QStringList Texts(const std::array<const char*, N>& texts) {
  QStringList list;
  for (const char* t : texts) list << QString::fromUtf8(t);
  return list;
}
}  // namespace

CFlacOption::CFlacOption(Settings& settings, QWidget* parent)
    : OptionPage(QStringLiteral("Encoder::FLAC"), settings, parent) {
  level_ = List(Texts(kFlacCompressionLevelTexts), this);
  blockSize_ = List(Texts(kFlacBlockSizeTexts), this);
  ogg_ = new QCheckBox(tr("Ogg FLAC"), this);
  verify_ = new QCheckBox(tr("Verify"), this);

  auto* grid = new QGridLayout;
  AddRow(grid, 0, tr("Compression Level:"), level_, this);
  AddRow(grid, 1, tr("Block Size:"), blockSize_, this);
  grid->setColumnStretch(1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addSpacing(8);
  layout->addWidget(ogg_);
  layout->addWidget(verify_);
  layout->addStretch(1);

  for (QComboBox* list : {level_, blockSize_})
    connect(list, &QComboBox::currentIndexChanged, this, [this] { Changed(); });
  connect(ogg_, &QCheckBox::toggled, this, &CFlacOption::OggFlacToggled);
  connect(verify_, &QCheckBox::toggled, this, [this] { Changed(); });
}

void CFlacOption::Load() {
  const auto& f = settings_.FLAC;
  Select(level_, f.CompLev);
  Select(blockSize_, f.BlockSize);
  SetChecked(ogg_, f.Native == 0);
  SetChecked(verify_, f.Verify != 0);
}

void CFlacOption::OggFlacToggled(bool on) {
  if (on) {
    const auto answer =
        ShowMessageBox(this, QString::fromUtf8(kOggFlacQuestion), QString(), QMessageBox::Question,
                       QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes) {
      SetChecked(ogg_, false);
      return;
    }
  }
  Changed();
}

void CFlacOption::Store() {
  auto& f = settings_.FLAC;
  f.Native = ogg_->isChecked() ? 0 : 1;
  f.Verify = verify_->isChecked() ? 1 : 0;
  if (level_->currentIndex() >= 0) f.CompLev = I16(level_->currentIndex());
  if (blockSize_->currentIndex() >= 0) f.BlockSize = I16(blockSize_->currentIndex());
}

// -------------------------------------------------------------- the family

FormatFamilyUi FlacFamilyUi() {
  FormatFamilyUi ui;
  for (const int native : {1, 0}) {
    FormatMenuEntry e;
    e.format = kFormatFLAC;
    e.variant = native;
    e.text = SetFormatText(native ? "FLAC" : "Ogg FLAC");
    if (!native) {
      e.mayChoose = [](QWidget* owner, const Settings&) {
        return AskYesNo(owner, kOggFlacQuestion);
      };
    }
    e.choose = [native](Settings& s) { s.FLAC.Native = native; };
    e.isCurrent = [native](const Settings& s) { return (s.FLAC.Native != 0) == (native == 1); };
    ui.menu.push_back(e);
  }
  ui.pages.push_back({kFormatFLAC, [](Settings& s) -> OptionPage* { return new CFlacOption(s); }});
  return ui;
}

}  // namespace tarvexa
