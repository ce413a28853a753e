#include "formats/ui/pages/Mp3Pages.h"

#include <QtWidgets/QCheckBox>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QGridLayout>
#include <QtWidgets/QGroupBox>
#include <QtWidgets/QHBoxLayout>
#include <QtWidgets/QLabel>
#include <QtWidgets/QPlainTextEdit>
#include <QtWidgets/QSlider>
#include <QtWidgets/QSpinBox>
#include <QtWidgets/QVBoxLayout>

#include "encoders/mp3/Mp3Writer.h"
#include "formats/FormatCatalogue.h"
#include "formats/ui/pages/PageKit.h"
#include "widgets/MessageBox.h"

namespace tarvexa {

using namespace pagekit;

namespace {

constexpr int kAbrMethod = 4;

QSpinBox* Hertz(QWidget* parent) {
  auto* spin = new QSpinBox(parent);
  spin->setRange(0, 48000);
  spin->setAlignment(Qt::AlignRight);
  spin->setKeyboardTracking(false);
  return spin;
}

QLabel* Note(const QString& text, QWidget* parent) {
  auto* note = new QLabel(text, parent);
  note->setWordWrap(true);
  return note;
}

}  // namespace

// ------------------------------------------------------------------- parent

CLameOption::CLameOption(Settings& settings, QWidget* parent)
    : OptionPage(QStringLiteral("Encoder::MP3"), settings, parent) {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Note(tr("Please Select a Subpage to Set the Lame MP3 Encoder Options"), this));
  layout->addStretch(1);
}

// ---------------------------------------------------------------------- CBR

CLameOptionTab1::CLameOptionTab1(Settings& settings, QWidget* parent)
    : OptionPage(QStringLiteral("Encoder::MP3::CBR"), settings, parent) {
  bits_ = List(BitrateTexts(), this);
  channel_ = List({" Stereo", " Joint Stereo", " Dual Channel"}, this);
  quality_ = Slider(0, 9, this);
  quality_->setTickPosition(QSlider::TicksBelow);
  quality_->setPageStep(1);
  qualityCaption_ = new QLabel(this);

  auto* grid = new QGridLayout;
  AddRow(grid, 0, tr("Bits per Sec:"), bits_, this);
  AddRow(grid, 1, tr("Stereo Mode:"), channel_, this);
  grid->setColumnStretch(1, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addSpacing(8);
  layout->addWidget(qualityCaption_);
  layout->addLayout(SliderWithEnds(quality_, tr("Best"), tr("Fastest"), this));
  layout->addSpacing(8);
  layout->addWidget(Note(tr("The bitrate valid only for stereo 44100 Hz."), this));
  layout->addStretch(1);

  for (QComboBox* list : {bits_, channel_})
    connect(list, &QComboBox::currentIndexChanged, this, [this] { Changed(); });
  connect(quality_, &QSlider::valueChanged, this, [this] { Changed(); });
}

void CLameOptionTab1::Load() {
  const auto& m = settings_.MP3;
  Select(bits_, m.LameBits);
  Select(channel_, m.LameChannel);
  SetValue(quality_, m.LameQuality);
}

void CLameOptionTab1::Stabilize() {
  qualityCaption_->setText(QString::asprintf("Encoder Quality: %d", quality_->value()));
}

void CLameOptionTab1::Activated() { settings_.MP3.LameTab = 1; }

void CLameOptionTab1::Store() {
  auto& m = settings_.MP3;
  if (bits_->currentIndex() >= 0) m.LameBits = I16(bits_->currentIndex());
  if (channel_->currentIndex() >= 0) m.LameChannel = I16(channel_->currentIndex());
  m.LameQuality = I16(quality_->value());
}

// ---------------------------------------------------------------- Filtering

CLameOptionTab2::Filter CLameOptionTab2::MakeFilter(const QString& caption) {
  Filter f{new QCheckBox(caption, this), Hertz(this), Hertz(this)};
  connect(f.enabled, &QCheckBox::toggled, this, [this] { Changed(); });
  for (QSpinBox* spin : {f.frequency, f.width})
    connect(spin, &QSpinBox::valueChanged, this, [this] { Changed(); });
  return f;
}

CLameOptionTab2::CLameOptionTab2(Settings& settings, QWidget* parent)
    : OptionPage(QStringLiteral("Encoder::MP3::Filtering"), settings, parent) {
  high_ = MakeFilter(tr("HighPass Filtering Frequency:"));
  low_ = MakeFilter(tr("LowPass Filtering Frequency:"));

  auto* grid = new QGridLayout;
  int row = 0;
  for (const Filter* f : {&high_, &low_}) {
    grid->addWidget(f->enabled, row, 0, 1, 3);
    ++row;
    grid->addWidget(f->frequency, row, 1);
    grid->addWidget(new QLabel(tr("Hz"), this), row, 2);
    grid->addWidget(Caption(tr("Width:"), f->width, this), row, 3, Qt::AlignRight);
    grid->addWidget(f->width, row, 4);
    grid->addWidget(new QLabel(tr("Hz"), this), row, 5);
    ++row;
  }
  grid->setColumnMinimumWidth(0, 16);
  grid->setColumnMinimumWidth(3, 60);
  grid->setColumnStretch(6, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addSpacing(8);
  layout->addWidget(Note(tr("Warning: the filtering options are for EXPERT users only. Enabling "
                            "them may cause ringing and twinkling!"),
                         this));
  layout->addStretch(1);
}

void CLameOptionTab2::Load() {
  const auto& m = settings_.MP3;
  SetChecked(high_.enabled, m.LameHFil != 0);
  SetChecked(low_.enabled, m.LameLFil != 0);
  for (auto [spin, value] :
       {std::pair{high_.frequency, m.LameHFilFreq}, std::pair{high_.width, m.LameHFilWid},
        std::pair{low_.frequency, m.LameLFilFreq}, std::pair{low_.width, m.LameLFilWid}}) {
    QSignalBlocker block(spin);
    spin->setValue(static_cast<int>(value));
  }
}

void CLameOptionTab2::Stabilize() {
  for (const Filter* f : {&high_, &low_}) {
    f->frequency->setEnabled(f->enabled->isChecked());
    f->width->setEnabled(f->enabled->isChecked());
  }
}

void CLameOptionTab2::Store() {
  auto& m = settings_.MP3;
  m.LameHFil = high_.enabled->isChecked() ? 1 : 0;
  m.LameLFil = low_.enabled->isChecked() ? 1 : 0;
  m.LameHFilFreq = high_.frequency->value();
  m.LameHFilWid = high_.width->value();
  m.LameLFilFreq = low_.frequency->value();
  m.LameLFilWid = low_.width->value();
}

// ---------------------------------------------------------------------- VBR

const QStringList& CLameOptionTab3::CodingModeTexts() {
  static const QStringList texts = {" Default", " Old", " New", " MTRH", " ABR"};
  return texts;
}

CLameOptionTab3::CLameOptionTab3(Settings& settings, QWidget* parent)
    : OptionPage(QStringLiteral("Encoder::MP3::VBR"), settings, parent) {
  mode_ = List(CodingModeTexts(), this);
  min_ = List(BitrateTexts(), this);
  max_ = List(BitrateTexts(), this);
  target_ = new QSpinBox(this);
  target_->setRange(8, 320);
  target_->setAlignment(Qt::AlignRight);
  target_->setKeyboardTracking(false);
  writeHead_ = new QCheckBox(tr("Write VBR Header"), this);
  bitsRes_ = new QCheckBox(tr("Bit Reservoir"), this);
  quality_ = Slider(0, 1000, this);
  quality_->setSingleStep(5);
  quality_->setPageStep(100);
  quality_->setTickInterval(100);
  quality_->setTickPosition(QSlider::TicksBelow);
  qualityCaption_ = new QLabel(this);

  auto* grid = new QGridLayout;
  AddRow(grid, 0, tr("Coding Mode:"), mode_, this);
  AddRow(grid, 1, tr("Minimum VBR Bitrate:"), min_, this);
  AddRow(grid, 2, tr("Maximum VBR Bitrate:"), max_, this);
  auto* targetRow = new QHBoxLayout;
  targetRow->addWidget(target_);
  targetRow->addWidget(new QLabel(tr("kbps"), this));
  targetRow->addStretch(1);
  grid->addWidget(Caption(tr("Target Bitrate for ABR:"), target_, this), 3, 0);
  grid->addLayout(targetRow, 3, 1);
  grid->setColumnStretch(1, 1);

  auto* boxes = new QHBoxLayout;
  boxes->addWidget(writeHead_);
  boxes->addSpacing(16);
  boxes->addWidget(bitsRes_);
  boxes->addStretch(1);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addLayout(boxes);
  layout->addSpacing(8);
  layout->addWidget(qualityCaption_);
  layout->addWidget(quality_);
  layout->addStretch(1);

  for (QComboBox* list : {mode_, min_, max_})
    connect(list, &QComboBox::currentIndexChanged, this, [this] { Changed(); });
  connect(target_, &QSpinBox::valueChanged, this, [this] { Changed(); });
  for (QCheckBox* box : {writeHead_, bitsRes_})
    connect(box, &QCheckBox::toggled, this, [this] { Changed(); });
  connect(quality_, &QSlider::valueChanged, this, [this] { Changed(); });
}

void CLameOptionTab3::Load() {
  const auto& m = settings_.MP3;
  Select(mode_, m.LameCodingMode);
  Select(min_, m.LameMinVBRBit);
  Select(max_, m.LameMaxVBRBit);
  {
    QSignalBlocker block(target_);
    target_->setValue(m.LameTargetBit);
  }
  SetChecked(writeHead_, m.LameWriteHead != 0);
  SetChecked(bitsRes_, m.LameBitsRes != 0);
  SetValue(quality_, m.LameQualityVBR);
}

void CLameOptionTab3::Stabilize() {
  const bool abr = mode_->currentIndex() == kAbrMethod;
  target_->setEnabled(abr);
  for (QWidget* w : std::initializer_list<QWidget*>{min_, max_, quality_}) w->setEnabled(!abr);
  qualityCaption_->setText(QString::asprintf("VBR Quality : %.2f", quality_->value() * 0.01));
}

bool CLameOptionTab3::Validate() {
  // The range only matters to the methods that use it; ABR takes its target.
  if (mode_->currentIndex() == kAbrMethod) return true;
  if (min_->currentIndex() <= max_->currentIndex()) return true;
  ShowMessageBox(this, tr("Invalid VBR Bitrate!"), QString(), QMessageBox::Critical);
  min_->setFocus();
  return false;
}

void CLameOptionTab3::Activated() { settings_.MP3.LameTab = 3; }

void CLameOptionTab3::Store() {
  auto& m = settings_.MP3;
  if (mode_->currentIndex() >= 0) m.LameCodingMode = I16(mode_->currentIndex());
  if (min_->currentIndex() >= 0) m.LameMinVBRBit = I16(min_->currentIndex());
  if (max_->currentIndex() >= 0) m.LameMaxVBRBit = I16(max_->currentIndex());
  m.LameTargetBit = I16(target_->value());
  m.LameWriteHead = writeHead_->isChecked() ? 1 : 0;
  m.LameBitsRes = bitsRes_->isChecked() ? 1 : 0;
  m.LameQualityVBR = I16(quality_->value());
}

// ------------------------------------------------------------------- Expert

CLameOptionTab4::CLameOptionTab4(Settings& settings, QWidget* parent)
    : OptionPage(QStringLiteral("Encoder::MP3::Expert"), settings, parent) {
  copyright_ = new QCheckBox(tr("Copyright"), this);
  crc_ = new QCheckBox(tr("CRC Checksum"), this);
  original_ = new QCheckBox(tr("Original"), this);
  private_ = new QCheckBox(tr("Private"), this);
  iso_ = new QCheckBox(tr("Comply as Much as Possible to ISO MPEG Spec"), this);
  auto* layout = new QVBoxLayout(this);
  for (QCheckBox* box : {copyright_, crc_, original_, private_, iso_}) {
    layout->addWidget(box);
    connect(box, &QCheckBox::toggled, this, [this] { Changed(); });
  }
  layout->addStretch(1);
}

void CLameOptionTab4::Load() {
  const auto& m = settings_.MP3;
  SetChecked(copyright_, m.LameCopyRight != 0);
  SetChecked(crc_, m.LameCRC != 0);
  SetChecked(original_, m.LameOriginal != 0);
  SetChecked(private_, m.LamePrivate != 0);
  SetChecked(iso_, m.LameComplyISO != 0);
}

void CLameOptionTab4::Store() {
  auto& m = settings_.MP3;
  m.LameCopyRight = copyright_->isChecked() ? 1 : 0;
  m.LameCRC = crc_->isChecked() ? 1 : 0;
  m.LameOriginal = original_->isChecked() ? 1 : 0;
  m.LamePrivate = private_->isChecked() ? 1 : 0;
  m.LameComplyISO = iso_->isChecked() ? 1 : 0;
}

// ------------------------------------------------------------------- Preset

CLameOptionTab5::CLameOptionTab5(Settings& settings, QWidget* parent)
    : OptionPage(QStringLiteral("Encoder::MP3::Preset"), settings, parent) {
  QStringList names;
  for (const LamePreset& p : LamePresets()) names << QLatin1Char(' ') + QString::fromUtf8(p.name);
  preset_ = List(names, this);
  description_ = new QPlainTextEdit(this);
  description_->setReadOnly(true);
  description_->setFixedHeight(description_->fontMetrics().lineSpacing() * 5 + 12);

  auto* group = new QGroupBox(tr("Lame Preset"), this);
  auto* inner = new QVBoxLayout(group);
  inner->addWidget(preset_, 0, Qt::AlignLeft);
  inner->addWidget(description_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addStretch(1);
  connect(preset_, &QComboBox::currentIndexChanged, this, [this] { Changed(); });
}

void CLameOptionTab5::Load() { Select(preset_, settings_.MP3.LamePreset); }

void CLameOptionTab5::Stabilize() {
  const int i = preset_->currentIndex();
  const auto& presets = LamePresets();
  description_->setPlainText(i >= 0 && i < static_cast<int>(presets.size())
                                 ? QString::fromUtf8(presets[static_cast<size_t>(i)].description)
                                 : QString());
}

void CLameOptionTab5::Activated() { settings_.MP3.LameTab = 5; }

void CLameOptionTab5::Store() {
  if (preset_->currentIndex() >= 0) settings_.MP3.LamePreset = I16(preset_->currentIndex());
}

// -------------------------------------------------------------- the family

FormatFamilyUi Mp3FamilyUi() {
  FormatFamilyUi ui;
  ui.menu.push_back(PlainCommand(kFormatMP3));
  ui.pages = {
      {kFormatMP3, [](Settings& s) -> OptionPage* { return new CLameOption(s); }},
      {kFormatMP3, [](Settings& s) -> OptionPage* { return new CLameOptionTab1(s); }},
      {kFormatMP3, [](Settings& s) -> OptionPage* { return new CLameOptionTab2(s); }},
      {kFormatMP3, [](Settings& s) -> OptionPage* { return new CLameOptionTab3(s); }},
      {kFormatMP3, [](Settings& s) -> OptionPage* { return new CLameOptionTab4(s); }},
      {kFormatMP3, [](Settings& s) -> OptionPage* { return new CLameOptionTab5(s); }},
  };
  return ui;
}

}  // namespace tarvexa
