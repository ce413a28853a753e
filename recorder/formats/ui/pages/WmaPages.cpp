#include "formats/ui/pages/WmaPages.h"

#include <QtGui/QBrush>
#include <QtGui/QPalette>
#include <QtWidgets/QAbstractItemView>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QGridLayout>
#include <QtWidgets/QLabel>
#include <QtWidgets/QVBoxLayout>

#include "formats/FormatCatalogue.h"
#include "formats/ui/pages/PageKit.h"
#include "widgets/MessageBox.h"

namespace tarvexa {

using namespace pagekit;

namespace {

constexpr int kRefusalRole = Qt::UserRole + 1;  // why a preset cannot be written, "" if it can

QString Item(const std::string& name) { return QString::fromStdString(" " + name); }

}  // namespace

CWmaOption::CWmaOption(Settings& settings, QWidget* parent)
    : OptionPage(QStringLiteral("Encoder::WMA"), settings, parent) {
  mode_ = List({}, this);
  codec_ = List({}, this);
  preset_ = List({}, this);
  preset_->view()->setMinimumWidth(400);
  note_ = new QLabel(this);
  note_->setWordWrap(true);

  auto* grid = new QGridLayout;
  AddRow(grid, 0, tr("Mode:"), mode_, this);
  AddRow(grid, 1, tr("Codec:"), codec_, this);
  AddRow(grid, 2, tr("Preset:"), preset_, this);
  grid->setColumnStretch(1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addSpacing(8);
  layout->addWidget(note_);
  layout->addStretch(1);

  connect(mode_, &QComboBox::currentIndexChanged, this, [this] { ModeChosen(); });
  connect(codec_, &QComboBox::currentIndexChanged, this, [this] { CodecChosen(); });
  connect(preset_, &QComboBox::currentIndexChanged, this, [this](int i) { PresetChosen(i); });
}

void CWmaOption::Load() {
  profiles_ = WmaProfilesInUse();
  QStringList modes;
  for (const std::string& m : profiles_->Modes()) modes << Item(m);
  {
    QSignalBlocker block(mode_);
    mode_->clear();
    mode_->addItems(modes);
  }
  const WmaProfilePlace place = profiles_->PlaceOf(settings_.WMA.Profile);
  if (place.mode < 0) {
    // A number the profiles in use do not have: offer the first mode's.
    Select(mode_, 0);
    FillCodecs();
    FillPresets();
    return;
  }
  Select(mode_, place.mode);
  FillCodecs();
  Select(codec_, place.codec);
  FillPresets();
  // The stored profile is shown even when it cannot be written; the note
  // says why.
  Select(preset_, place.preset);
  lastPreset_ = place.preset;
}

void CWmaOption::FillCodecs() {
  QSignalBlocker block(codec_);
  codec_->clear();
  const std::vector<std::string> codecs = profiles_->Codecs(mode_->currentIndex());
  int chosen = 0;
  for (size_t i = 0; i < codecs.size(); ++i) {
    codec_->addItem(Item(codecs[i]));
    if (codecs[i] == kWmaCodec92) chosen = static_cast<int>(i);
  }
  // Windows Media Audio 9.2 where the mode offers it, else the first codec.
  codec_->setCurrentIndex(codecs.empty() ? -1 : chosen);
}

void CWmaOption::FillPresets() {
  QSignalBlocker block(preset_);
  preset_->clear();
  lastPreset_ = -1;
  const QBrush grey = palette().brush(QPalette::Disabled, QPalette::Text);
  int i = 0;
  for (const WmaProfile* p : profiles_->Presets(mode_->currentIndex(), codec_->currentIndex())) {
    preset_->addItem(QString::fromStdString(p->description));
    const QString why = QString::fromStdString(WmaRefusal(*p));
    preset_->setItemData(i, why, kRefusalRole);
    if (!why.isEmpty()) {
      preset_->setItemData(i, grey, Qt::ForegroundRole);
      preset_->setItemData(i, why, Qt::ToolTipRole);
    } else if (lastPreset_ < 0) {
      lastPreset_ = i;
    }
    ++i;
  }
  preset_->setCurrentIndex(lastPreset_);
}

void CWmaOption::ModeChosen() {
  FillCodecs();
  FillPresets();
  Changed();
}

void CWmaOption::CodecChosen() {
  FillPresets();
  Changed();
}

void CWmaOption::PresetChosen(int index) {
  const QString why = index >= 0 ? preset_->itemData(index, kRefusalRole).toString() : QString();
  if (!why.isEmpty()) {
    ShowMessageBox(this, tr("This profile cannot be recorded.\n%1").arg(why), QString(),
                   QMessageBox::Warning);
    Select(preset_, lastPreset_);
    Stabilize();
    return;
  }
  lastPreset_ = index;
  Changed();
}

const WmaProfile* CWmaOption::Shown() const {
  return profiles_ ? profiles_->Find(ProfileNumber()) : nullptr;
}

int CWmaOption::ProfileNumber() const {
  if (!profiles_) return 0;
  return profiles_->NumberAt(
      {mode_->currentIndex(), codec_->currentIndex(), preset_->currentIndex()});
}

void CWmaOption::Stabilize() {
  const WmaProfile* p = Shown();
  if (!p) {
    const auto presets = profiles_
                             ? profiles_->Presets(mode_->currentIndex(), codec_->currentIndex())
                             : std::vector<const WmaProfile*>{};
    note_->setText(presets.empty()
                       ? QString()
                       : tr("None of these profiles can be recorded. %1")
                             .arg(QString::fromStdString(WmaRefusal(*presets.front()))));
    return;
  }
  const std::string why = WmaRefusal(*p);
  note_->setText(why.empty() ? tr("Profile %1").arg(p->number)
                             : tr("Profile %1 cannot be recorded. %2")
                                   .arg(p->number)
                                   .arg(QString::fromStdString(why)));
}

bool CWmaOption::Validate() {
  if (!IsModified()) return true;
  const WmaProfile* p = Shown();
  if (p && WmaRefusal(*p).empty()) return true;
  ShowMessageBox(this, tr("Choose a WMA profile that can be recorded."), QString(),
                 QMessageBox::Warning);
  preset_->setFocus();
  return false;
}

void CWmaOption::Store() {
  const WmaProfile* p = Shown();
  // A profile that cannot be written is never stored by this page; one that
  // was stored already stays until another is chosen.
  if (p && WmaRefusal(*p).empty()) settings_.WMA.Profile = static_cast<int16_t>(p->number);
}

FormatFamilyUi WmaFamilyUi() {
  FormatFamilyUi ui;
  ui.menu.push_back(PlainCommand(kFormatWMA));
  ui.pages.push_back({kFormatWMA, [](Settings& s) -> OptionPage* { return new CWmaOption(s); }});
  return ui;
}

}  // namespace tarvexa
