#include "formats/ui/pages/EncoderPages.h"

#include <QtWidgets/QComboBox>
#include <QtWidgets/QGridLayout>
#include <QtWidgets/QGroupBox>
#include <QtWidgets/QHBoxLayout>
#include <QtWidgets/QLabel>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QVBoxLayout>

#include "formats/EncoderPrograms.h"
#include "formats/FormatCatalogue.h"
#include "formats/ui/pages/PageKit.h"
#include "widgets/MessageBox.h"

namespace tarvexa {

using namespace pagekit;

namespace {

constexpr int kUserCustomizedIndex = kFormatUserCustomized - 1;
constexpr int kMp3Index = kFormatMP3 - 1;

bool IsFurtherSoundFileFormat(int format) { return format >= kFormatAU && format <= kFormatSD2; }
size_t SlotOf(int format) { return static_cast<size_t>(format - kFormatAU); }

QStringList SubEncodingTexts(int format) {
  QStringList texts;
  for (const SubEncoding& e : SubEncodingsOf(format))
    texts << QLatin1Char(' ') + QString::fromUtf8(e.name);
  return texts;
}

QStringList ExtensionTexts(int format) {
  QStringList texts;
  for (const std::string& e : ExtensionListOf(format)) texts << QString::fromStdString(e);
  return texts;
}

}  // namespace

// ------------------------------------------------------------------ Encoder

const QStringList& CEncoderOption::PriorityTexts() {
  static const QStringList texts = {" Default", " Lowest",       " Below Normal",
                                    " Normal",  " Above Normal", " Highest"};
  return texts;
}

CEncoderOption::CEncoderOption(Settings& settings, QWidget* parent)
    : OptionPage(QStringLiteral("Encoder"), settings, parent) {
  QStringList formats;
  for (int f = kFirstFormat; f <= kLastFormat; ++f) formats << QString::fromUtf8(FormatListText(f));
  format_ = List(formats, this);
  reset_ = new QPushButton(tr("Reset"), this);
  reset_->setAutoDefault(false);
  codec_ = List({}, this);
  ext_ = List({}, this);
  codec_->setMinimumContentsLength(20);
  ext_->setMinimumContentsLength(8);
  recPro_ = List(PriorityTexts(), this);
  encPro_ = List(PriorityTexts(), this);

  auto* top = new QGridLayout;
  top->addWidget(Caption(tr("Audio Format:"), format_, this), 0, 0);
  auto* formatRow = new QHBoxLayout;
  formatRow->addWidget(format_, 1);
  formatRow->addWidget(reset_);
  top->addLayout(formatRow, 0, 1);
  top->addWidget(Caption(tr("Codec:"), codec_, this), 1, 0);
  top->addWidget(codec_, 1, 1, Qt::AlignLeft);
  top->addWidget(Caption(tr("File Extension:"), ext_, this), 2, 0);
  top->addWidget(ext_, 2, 1, Qt::AlignLeft);
  top->setColumnStretch(1, 1);

  auto* priority = new QGroupBox(tr("Priority"), this);
  auto* grid = new QGridLayout(priority);
  AddRow(grid, 0, tr("Recording Thread:"), recPro_, priority);
  AddRow(grid, 1, tr("Encoding  Thread:"), encPro_, priority);
  auto* note = new QLabel(
      tr("Warning: If Tarvexa Sound Recorder works normally, just leave these settings UNTOUCHED!"),
      priority);
  note->setObjectName(QStringLiteral("priorityNote"));
  note->setWordWrap(true);
  note->setTextInteractionFlags(Qt::TextSelectableByMouse);
  grid->addWidget(note, 2, 0, 1, 2);
  grid->setColumnStretch(1, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addSpacing(8);
  layout->addWidget(priority);
  layout->addStretch(1);

  connect(format_, &QComboBox::currentIndexChanged, this, &CEncoderOption::FormatChosen);
  connect(codec_, &QComboBox::currentIndexChanged, this, [this](int i) {
    const int format = format_->currentIndex() + 1;
    if (IsFurtherSoundFileFormat(format) && i >= 0) codecSlots_[SlotOf(format)] = I16(i);
    Changed();
  });
  connect(ext_, &QComboBox::currentIndexChanged, this, [this](int i) {
    const int format = format_->currentIndex() + 1;
    if (IsFurtherSoundFileFormat(format) && i >= 0) extSlots_[SlotOf(format)] = I16(i);
    Changed();
  });
  for (QComboBox* list : {recPro_, encPro_})
    connect(list, &QComboBox::currentIndexChanged, this, [this] { Changed(); });
  connect(reset_, &QPushButton::clicked, this, &CEncoderOption::AskReset);
}

void CEncoderOption::Load() {
  codecSlots_ = settings_.OTHER.Codec;
  extSlots_ = settings_.OTHER.Ext;
  Select(format_, settings_.OUTPUT.OutputFormat - 1);
  Select(recPro_, settings_.MISC.RecPro);
  Select(encPro_, settings_.MISC.EncPro);
  RefreshCodecLists();
}

void CEncoderOption::RefreshCodecLists() {
  QSignalBlocker blockCodec(codec_), blockExt(ext_);
  codec_->clear();
  ext_->clear();
  const int format = format_->currentIndex() + 1;
  const bool further = IsFurtherSoundFileFormat(format);
  codec_->setEnabled(further);
  ext_->setEnabled(further);
  if (!further) return;
  codec_->addItems(SubEncodingTexts(format));
  ext_->addItems(ExtensionTexts(format));
  Select(codec_, codecSlots_[SlotOf(format)]);
  Select(ext_, extSlots_[SlotOf(format)]);
}

void CEncoderOption::FormatChosen(int index) {
  if (index == kUserCustomizedIndex) {
    const std::string refused = CheckCustomEncoder(settings_.CUSTOM);
    if (!refused.empty()) {
      ShowMessageBox(this, QString::fromStdString(refused), QString(), QMessageBox::Critical);
      Select(format_, kMp3Index);
    }
  }
  RefreshCodecLists();
  Changed();
}

void CEncoderOption::AskReset() {
  const auto answer = ShowMessageBox(
      this, tr("Reset ALL Options(including the Subpages), Are You Sure?"), QString(),
      QMessageBox::Question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
  if (answer == QMessageBox::Yes) emit resetAllRequested();
}

void CEncoderOption::Store() {
  const int index = format_->currentIndex();
  if (index < 0) return;
  const int format = index + 1;
  settings_.OUTPUT.OutputFormat = I16(format);
  if (IsFurtherSoundFileFormat(format)) {
    if (codec_->currentIndex() >= 0)
      settings_.OTHER.Codec[SlotOf(format)] = I16(codec_->currentIndex());
    if (ext_->currentIndex() >= 0) settings_.OTHER.Ext[SlotOf(format)] = I16(ext_->currentIndex());
  }
  if (recPro_->currentIndex() >= 0) settings_.MISC.RecPro = I16(recPro_->currentIndex());
  if (encPro_->currentIndex() >= 0) settings_.MISC.EncPro = I16(encPro_->currentIndex());
}

// ---------------------------------------------------------------------- WAV

CWavOption::CWavOption(Settings& settings, QWidget* parent)
    : OptionPage(QStringLiteral("Encoder::WAV"), settings, parent) {
  codec_ = List(SubEncodingTexts(kFormatWAV), this);
  auto* grid = new QGridLayout;
  AddRow(grid, 0, tr("Codec :"), codec_, this);
  grid->setColumnStretch(1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addStretch(1);
  connect(codec_, &QComboBox::currentIndexChanged, this, [this] { Changed(); });
}

void CWavOption::Load() { Select(codec_, settings_.WAV.SubFormat); }

void CWavOption::Store() {
  if (codec_->currentIndex() >= 0) settings_.WAV.SubFormat = I16(codec_->currentIndex());
}

// --------------------------------------------------------------------- AIFF

CAiffOption::CAiffOption(Settings& settings, QWidget* parent)
    : OptionPage(QStringLiteral("Encoder::AIFF"), settings, parent) {
  codec_ = List(SubEncodingTexts(kFormatAIFF), this);
  ext_ = List(ExtensionTexts(kFormatAIFF), this);
  auto* grid = new QGridLayout;
  AddRow(grid, 0, tr("Codec:"), codec_, this);
  AddRow(grid, 1, tr("File Extension:"), ext_, this);
  grid->setColumnStretch(1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addStretch(1);
  for (QComboBox* list : {codec_, ext_})
    connect(list, &QComboBox::currentIndexChanged, this, [this] { Changed(); });
}

void CAiffOption::Load() {
  Select(codec_, settings_.AIFF.SubFormat);
  Select(ext_, settings_.AIFF.Ext);
}

void CAiffOption::Store() {
  if (codec_->currentIndex() >= 0) settings_.AIFF.SubFormat = I16(codec_->currentIndex());
  if (ext_->currentIndex() >= 0) settings_.AIFF.Ext = I16(ext_->currentIndex());
}

// -------------------------------------------------------------- the family

FormatFamilyUi SoundFileFamilyUi() {
  FormatFamilyUi ui;
  ui.menu.push_back(PlainCommand(kFormatWAV));
  ui.menu.push_back(PlainCommand(kFormatAIFF));
  for (int f = kFormatAU; f <= kFormatSD2; ++f) {
    FormatMenuEntry e = PlainCommand(f, FormatMenuEntry::kFurtherFormats);
    e.submenu = QStringLiteral("Other Formats");
    ui.menu.push_back(e);
  }
  ui.pages.push_back({kFormatWAV, [](Settings& s) -> OptionPage* { return new CWavOption(s); }});
  ui.pages.push_back({kFormatAIFF, [](Settings& s) -> OptionPage* { return new CAiffOption(s); }});
  return ui;
}

}  // namespace tarvexa
