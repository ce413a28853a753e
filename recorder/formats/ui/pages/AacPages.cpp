#include "formats/ui/pages/AacPages.h"

#include <QtWidgets/QButtonGroup>
#include <QtWidgets/QCheckBox>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QGridLayout>
#include <QtWidgets/QGroupBox>
#include <QtWidgets/QHBoxLayout>
#include <QtWidgets/QLabel>
#include <QtWidgets/QRadioButton>
#include <QtWidgets/QSlider>
#include <QtWidgets/QVBoxLayout>

#include <algorithm>

#include "encoders/external/AacWriter.h"
#include "formats/EncoderPrograms.h"
#include "formats/ui/pages/PageKit.h"
#include "widgets/MessageBox.h"

namespace tarvexa {

using namespace pagekit;

namespace {

constexpr int kDefaultContainer = 3;
constexpr int kProfileHe = 2;
constexpr int kProfileHeV2 = 3;

QRadioButton* Radio(const QString& text, QButtonGroup* group, int id, QWidget* parent) {
  auto* button = new QRadioButton(text, parent);
  group->addButton(button, id);
  return button;
}

void Check(QButtonGroup* group, int id) {
  QSignalBlocker block(group);
  for (QAbstractButton* b : group->buttons()) SetChecked(b, group->id(b) == id);
}

// Range and position without signals; a stored value above the range shows
// as its maximum.
void SetRange(QSlider* slider, int min, int max, int value) {
  QSignalBlocker block(slider);
  slider->setRange(min, max);
  slider->setValue(std::min(value, max));
}

QBoxLayout* SliderRow(QSlider* slider, QLabel* caption) {
  auto* row = new QHBoxLayout;
  row->addWidget(slider, 1);
  caption->setMinimumWidth(
      caption->fontMetrics().horizontalAdvance(QStringLiteral("Quality: 0.00 ")) + 8);
  row->addWidget(caption);
  return row;
}

QStringList ContainerTexts() {
  QStringList texts;
  for (const char* t : kAacContainerTexts) texts << QString::fromUtf8(t);
  return texts;
}

}  // namespace

// ---------------------------------------------------------------- container

CAacOption::CAacOption(Settings& settings, QWidget* parent)
    : OptionPage(QStringLiteral("Encoder::AAC"), settings, parent) {
  container_ = List(ContainerTexts(), this);
  auto* grid = new QGridLayout;
  AddRow(grid, 0, tr("Container && Codec:"), container_, this);
  grid->setColumnStretch(1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addStretch(1);
  connect(container_, &QComboBox::currentIndexChanged, this, &CAacOption::ContainerChosen);
}

void CAacOption::Load() { Select(container_, settings_.AAC.ContainerFormat); }

void CAacOption::ContainerChosen(int index) {
  // The Nero and CT encoders are programs the user adds himself.
  const char* missing = nullptr;
  if (AacEncoderOf(index) == AacEncoder::Nero && !NeroAacEncoderPresent())
    missing = kNeroAacNotFound;
  if (AacEncoderOf(index) == AacEncoder::Ct && !CtAacEncoderPresent()) missing = kCtAacNotFound;
  if (missing) {
    ShowMessageBox(this, QString::fromUtf8(missing), QString(), QMessageBox::Critical);
    Select(container_, kDefaultContainer);
  }
  Changed();
}

void CAacOption::Store() {
  if (container_->currentIndex() >= 0)
    settings_.AAC.ContainerFormat = I16(container_->currentIndex());
}

// --------------------------------------------------------------------- FAAC

CFaacOption::CFaacOption(Settings& settings, QWidget* parent)
    : OptionPage(QStringLiteral("Encoder::AAC::FAAC"), settings, parent) {
  auto* versionBox = new QGroupBox(tr("MPEG Version"), this);
  auto* versions = new QButtonGroup(this);
  mpeg2_ = Radio(tr("MPEG2"), versions, 0, versionBox);
  mpeg4_ = Radio(tr("MPEG4"), versions, 1, versionBox);
  auto* versionRow = new QHBoxLayout(versionBox);
  versionRow->addWidget(mpeg2_);
  versionRow->addWidget(mpeg4_);
  versionRow->addStretch(1);

  auto* modeBox = new QGroupBox(tr("Encoding Mode"), this);
  auto* modes = new QButtonGroup(this);
  quality_ = Radio(tr("Quality"), modes, 0, modeBox);
  bitrate_ = Radio(tr("Average Bitrate"), modes, 1, modeBox);
  slider_ = Slider(10, 500, modeBox);
  caption_ = new QLabel(modeBox);
  auto* modeLayout = new QVBoxLayout(modeBox);
  auto* modeRow = new QHBoxLayout;
  modeRow->addWidget(quality_);
  modeRow->addWidget(bitrate_);
  modeRow->addStretch(1);
  modeLayout->addLayout(modeRow);
  modeLayout->addLayout(SliderRow(slider_, caption_));

  blockType_ = List({" Both (Default)", " No Short", " No Long"}, this);
  objectType_ = List({" LC (Low Complexity)", " Main (Main Profile)"}, this);
  tns_ = new QCheckBox(tr("TNS"), this);
  midside_ = new QCheckBox(tr("Midside"), this);
  auto* grid = new QGridLayout;
  AddRow(grid, 0, tr("Enforce Block Type"), blockType_, this);
  AddRow(grid, 1, tr("Object Type"), objectType_, this);
  grid->setColumnStretch(1, 1);
  auto* boxes = new QHBoxLayout;
  boxes->addWidget(tns_);
  boxes->addWidget(midside_);
  boxes->addStretch(1);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(versionBox);
  layout->addWidget(modeBox);
  layout->addLayout(grid);
  layout->addLayout(boxes);
  layout->addStretch(1);

  connect(versions, &QButtonGroup::idToggled, this, [this](int, bool on) {
    if (on) Changed();
  });
  // A new mode shows that mode's stored value.
  connect(modes, &QButtonGroup::idToggled, this, [this](int, bool on) {
    if (!on) return;
    LoadSlider();
    Changed();
  });
  connect(slider_, &QSlider::valueChanged, this, [this] { Changed(); });
  for (QComboBox* list : {blockType_, objectType_})
    connect(list, &QComboBox::currentIndexChanged, this, [this] { Changed(); });
  for (QCheckBox* box : {tns_, midside_})
    connect(box, &QCheckBox::toggled, this, [this] { Changed(); });
}

void CFaacOption::LoadSlider() {
  const auto& a = settings_.AAC;
  if (bitrate_->isChecked())
    SetRange(slider_, 60, 152, a.FAACAbr);
  else
    SetRange(slider_, 10, 500, a.FAACQuality);
}

void CFaacOption::Load() {
  const auto& a = settings_.AAC;
  Check(mpeg2_->group(), a.MPEGVer == 1 ? 1 : 0);
  Check(quality_->group(), a.FAACEncMode == 1 ? 1 : 0);
  LoadSlider();
  Select(blockType_, a.FAACBlkType);
  Select(objectType_, a.FAACObjType);
  SetChecked(tns_, a.FAACTns != 0);
  SetChecked(midside_, a.FAACMidside != 0);
}

void CFaacOption::Stabilize() {
  caption_->setText(bitrate_->isChecked() ? QString::asprintf("ABR: %3d kbps", slider_->value())
                                          : QString::asprintf("Quality: %3d", slider_->value()));
}

void CFaacOption::Store() {
  auto& a = settings_.AAC;
  a.MPEGVer = mpeg4_->isChecked() ? 1 : 0;
  a.FAACEncMode = bitrate_->isChecked() ? 1 : 0;
  if (bitrate_->isChecked())
    a.FAACAbr = I16(slider_->value());
  else
    a.FAACQuality = I16(slider_->value());
  if (blockType_->currentIndex() >= 0) a.FAACBlkType = I16(blockType_->currentIndex());
  if (objectType_->currentIndex() >= 0) a.FAACObjType = I16(objectType_->currentIndex());
  a.FAACTns = tns_->isChecked() ? 1 : 0;
  a.FAACMidside = midside_->isChecked() ? 1 : 0;
}

// --------------------------------------------------------------------- Nero

CNeroOption::CNeroOption(Settings& settings, QWidget* parent)
    : OptionPage(QStringLiteral("Encoder::AAC::Nero"), settings, parent) {
  auto* modeBox = new QGroupBox(tr("Encoding Mode"), this);
  modes_ = new QButtonGroup(this);
  auto* modeRow = new QHBoxLayout;
  modeRow->addWidget(Radio(tr("Quality"), modes_, 0, modeBox));
  modeRow->addWidget(Radio(tr("ABR"), modes_, 1, modeBox));
  modeRow->addWidget(Radio(tr("CBR"), modes_, 2, modeBox));
  modeRow->addStretch(1);
  slider_ = Slider(1, 100, modeBox);
  caption_ = new QLabel(modeBox);
  auto* modeLayout = new QVBoxLayout(modeBox);
  modeLayout->addLayout(modeRow);
  modeLayout->addLayout(SliderRow(slider_, caption_));

  profile_ = List(
      {" Auto ", " LC (Low Complexity) ", " HE (High Efficiency)", " HEV2 (High Efficiency V2) "},
      this);
  auto* grid = new QGridLayout;
  AddRow(grid, 0, tr("Forced Profile"), profile_, this);
  grid->setColumnStretch(1, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(modeBox);
  layout->addLayout(grid);
  layout->addStretch(1);

  connect(modes_, &QButtonGroup::idToggled, this, [this](int, bool on) {
    if (!on) return;
    LoadSlider();
    Changed();
  });
  connect(profile_, &QComboBox::currentIndexChanged, this, [this] {
    LoadSlider();
    Changed();
  });
  connect(slider_, &QSlider::valueChanged, this, [this] { Changed(); });
}

QRadioButton* CNeroOption::ModeButton(int mode) const {
  return qobject_cast<QRadioButton*>(modes_->button(mode));
}

int CNeroOption::Mode() const { return std::max(0, modes_->checkedId()); }

void CNeroOption::LoadSlider() {
  const auto& a = settings_.AAC;
  const int mode = Mode();
  if (mode == 0) {
    SetRange(slider_, 1, 100, a.NEROQuality);
    return;
  }
  const int profile = profile_->currentIndex();
  const int max = profile == kProfileHe ? 128 : profile == kProfileHeV2 ? 64 : 400;
  SetRange(slider_, 16, max, (mode == 1 ? a.NEROAbr : a.NEROEncCbr) / 1000);
}

void CNeroOption::Load() {
  const auto& a = settings_.AAC;
  Check(modes_, a.NEROEncMode >= 0 && a.NEROEncMode <= 2 ? a.NEROEncMode : 0);
  Select(profile_, a.NEROForPro);
  LoadSlider();
}

void CNeroOption::Stabilize() {
  const int v = slider_->value();
  switch (Mode()) {
    case 1: caption_->setText(QString::asprintf("ABR: %3d kbps", v)); break;
    case 2: caption_->setText(QString::asprintf("CBR: %3d kbps", v)); break;
    default: caption_->setText(QString::asprintf("Quality: %3.2lf ", v * 0.01)); break;
  }
}

void CNeroOption::Store() {
  auto& a = settings_.AAC;
  const int mode = Mode();
  a.NEROEncMode = I16(mode);
  if (mode == 0) a.NEROQuality = I16(slider_->value());
  if (mode == 1) a.NEROAbr = slider_->value() * 1000;
  if (mode == 2) a.NEROEncCbr = slider_->value() * 1000;
  if (profile_->currentIndex() >= 0) a.NEROForPro = I16(profile_->currentIndex());
}

// ----------------------------------------------------------------------- CT

CCtOption::CCtOption(Settings& settings, QWidget* parent)
    : OptionPage(QStringLiteral("Encoder::AAC::CT"), settings, parent) {
  profile_ =
      List({" Auto ", " LC (Low Complexity) ", " HE (aacPlus) ", " HEV2 (aacPlusHigh) "}, this);
  slider_ = Slider(16, 320, this);
  caption_ = new QLabel(this);
  ps_ = new QCheckBox(tr("Parametric Stereo"), this);
  is_ = new QCheckBox(tr("Independed Stereo"), this);
  mono_ = new QCheckBox(tr("Mono"), this);
  speech_ = new QCheckBox(tr("Tune for Speech"), this);
  pns_ = new QCheckBox(tr("Perceptual Noise Subsitution"), this);

  auto* grid = new QGridLayout;
  AddRow(grid, 0, tr("Forced Profile"), profile_, this);
  grid->setColumnStretch(1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addLayout(SliderRow(slider_, caption_));
  for (QCheckBox* box : {ps_, is_, mono_, speech_, pns_}) layout->addWidget(box);
  layout->addStretch(1);

  connect(profile_, &QComboBox::currentIndexChanged, this, [this] {
    LoadSlider();
    Changed();
  });
  connect(slider_, &QSlider::valueChanged, this, [this] { Changed(); });
  // Mono and the two stereo tools exclude each other.
  connect(mono_, &QCheckBox::toggled, this, [this](bool on) {
    if (on) {
      SetChecked(ps_, false);
      SetChecked(is_, false);
    }
    Changed();
  });
  for (QCheckBox* stereo : {ps_, is_}) {
    connect(stereo, &QCheckBox::toggled, this, [this](bool on) {
      if (on) SetChecked(mono_, false);
      Changed();
    });
  }
  for (QCheckBox* box : {speech_, pns_})
    connect(box, &QCheckBox::toggled, this, [this] { Changed(); });
}

void CCtOption::LoadSlider() {
  const int profile = profile_->currentIndex();
  const int max = profile == kProfileHe ? 128 : profile == kProfileHeV2 ? 256 : 320;
  SetRange(slider_, 16, max, settings_.AAC.CTCbr / 1000);
}

void CCtOption::Load() {
  const auto& a = settings_.AAC;
  Select(profile_, a.CTForPro);
  LoadSlider();
  SetChecked(ps_, a.CTPs != 0);
  SetChecked(is_, a.CTIs != 0);
  SetChecked(mono_, a.CTMono != 0);
  SetChecked(speech_, a.CTSpeech != 0);
  SetChecked(pns_, a.CTPns != 0);
}

void CCtOption::Stabilize() {
  caption_->setText(QString::asprintf("CBR: %3d kbps", slider_->value()));
}

void CCtOption::Store() {
  auto& a = settings_.AAC;
  if (profile_->currentIndex() >= 0) a.CTForPro = I16(profile_->currentIndex());
  a.CTCbr = slider_->value() * 1000;
  a.CTPs = ps_->isChecked() ? 1 : 0;
  a.CTIs = is_->isChecked() ? 1 : 0;
  a.CTMono = mono_->isChecked() ? 1 : 0;
  a.CTSpeech = speech_->isChecked() ? 1 : 0;
  a.CTPns = pns_->isChecked() ? 1 : 0;
}

namespace {

bool MayChooseAacContainer(QWidget* owner, int container) {
  const AacEncoder encoder = AacEncoderOf(container);
  if (encoder == AacEncoder::Nero && !NeroAacEncoderPresent()) {
    Warn(owner, kNeroAacNotFound);
    return false;
  }
  if (encoder == AacEncoder::Ct && !CtAacEncoderPresent()) {
    Warn(owner, kCtAacNotFound);
    return false;
  }
  // Raw AAC (".aac", by FAAC or CT) cannot be sought in or tagged.
  return (container != 0 && container != 8) || AskYesNo(owner, kRawAacQuestion);
}

}  // namespace

FormatFamilyUi AacFamilyUi() {
  FormatFamilyUi ui;
  for (int container = 0; container < kAacContainerCount; ++container) {
    FormatMenuEntry e;
    e.format = kFormatAAC;
    e.variant = container;
    e.text = QString::fromUtf8(kAacContainerTexts[container]).trimmed();
    e.submenu = SetFormatText("AAC");
    e.mayChoose = [container](QWidget* owner, const Settings&) {
      return MayChooseAacContainer(owner, container);
    };
    e.choose = [container](Settings& s) {
      s.AAC.ContainerFormat = static_cast<int16_t>(container);
    };
    e.isCurrent = [container](const Settings& s) { return s.AAC.ContainerFormat == container; };
    ui.menu.push_back(e);
  }
  ui.pages = {
      {kFormatAAC, [](Settings& s) -> OptionPage* { return new CAacOption(s); }},
      {kFormatAAC, [](Settings& s) -> OptionPage* { return new CFaacOption(s); }},
      {kFormatAAC, [](Settings& s) -> OptionPage* { return new CNeroOption(s); }},
      {kFormatAAC, [](Settings& s) -> OptionPage* { return new CCtOption(s); }},
  };
  return ui;
}

}  // namespace tarvexa
