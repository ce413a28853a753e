#include "components/ui/VisualizePage.h"

#include <QtWidgets/QButtonGroup>
#include <QtWidgets/QCheckBox>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QGridLayout>
#include <QtWidgets/QGroupBox>
#include <QtWidgets/QHBoxLayout>
#include <QtWidgets/QLabel>
#include <QtWidgets/QRadioButton>
#include <QtWidgets/QVBoxLayout>
#include <cstdio>

#include "components/ui/VisualDisplays.h"
#include "config/Settings.h"

namespace tarvexa {

namespace {

constexpr const char* kTypeNames[VisualizePage::kTypeCount] = {
    "Analog", "FFTLinear", "FFTNormal", "FFTFire", "FFTGlass", "FFTKryptonite"};
constexpr const char* kBlockSizeEntries[VisualizePage::kBlockSizeCount] = {
    " 64", " 256", " 1024", " 2048", " 4096", " 8192", "16384"};
constexpr int kBlockSizes[VisualizePage::kBlockSizeCount] = {64,   256,  1024, 2048,
                                                             4096, 8192, 16384};

// Visualizer 2's sixteen properties per preset, p1 to p16.
constexpr VisualizePage::PresetRow kPresets[VisualizePage::kPresetCount] = {
    {0, 1, 1, 0, 0, 55, 1, 2, 1, 200, 10, 80, 60, 0x00FF00, 0xFFFF00, 0xFF0000},
    {1, 0, 0, 3, 1, 435, 0, 1, 0, 200, 10, 60, 0, 0x00FF00, 0xFFFF00, 0xFF0000},
    {1, 1, 1, 3, 1, 220, 1, 2, 1, 2000, 10, 70, 20, 0x00FF00, 0xFFFF00, 0xFF0000},
    {3, 1, 1, 3, 1, 220, 1, 2, 1, 2000, 10, 70, 20, 0x00FF00, 0xFFFF00, 0xFF0000},
    {4, 1, 1, 3, 0, 300, 1, 2, 1, 200, 100, 70, 20, 0x00FF00, 0xFFFF00, 0xFF0000},
    {6, 1, 1, 3, 0, 300, 1, 2, 1, 200, 100, 70, 20, 0x00FF00, 0xFFFF00, 0xFF0000},
    {6, 0, 0, 3, 0, 300, 1, 2, 1, 200, 100, 70, 20, 0x00FF00, 0xFFFF00, 0xFF0000},
    {1, 0, 0, 3, 0, 435, 0, 1, 0, 200, 10, 60, 20, 0xFF8000, 0xFFFF00, 0xFFFFFF},
};

}  // namespace

int VisualizePage::BlockSizeOf(int index) {
  return index >= 0 && index < kBlockSizeCount ? kBlockSizes[index] : 0;
}

const VisualizePage::PresetRow* VisualizePage::Preset(int index) {
  return index >= 0 && index < kPresetCount ? &kPresets[index] : nullptr;
}

VisualizePage::VisualizePage(Settings& settings, VisualDisplays& displays, LogFn log,
                             QWidget* parent)
    : QWidget(parent), settings_(settings), displays_(displays), log_(std::move(log)) {
  setObjectName(QStringLiteral("VisualizePage"));

  // Visualizer 1: on/off, the visual type and the block size.
  auto* one = new QGroupBox(tr("Visualizer 1"), this);
  vis1_ = new QCheckBox(tr("Enable"), one);
  auto* typeBox = new QGroupBox(tr("Visual Type"), one);
  typeGroup_ = new QButtonGroup(this);
  auto* typeGrid = new QGridLayout(typeBox);
  for (int i = 0; i < kTypeCount; ++i) {
    types_[static_cast<size_t>(i)] = new QRadioButton(QString::fromLatin1(kTypeNames[i]), typeBox);
    typeGroup_->addButton(types_[static_cast<size_t>(i)], i);
    typeGrid->addWidget(types_[static_cast<size_t>(i)], i % 3, i / 3);
  }
  blockSizeLabel_ = new QLabel(tr("Block Size:"), one);
  blockSize_ = new QComboBox(one);
  blockSizeLabel_->setBuddy(blockSize_);
  auto* sizeRow = new QHBoxLayout;
  sizeRow->addWidget(blockSizeLabel_);
  sizeRow->addWidget(blockSize_);
  sizeRow->addStretch(1);
  auto* oneLayout = new QVBoxLayout(one);
  oneLayout->addWidget(vis1_);
  oneLayout->addWidget(typeBox);
  oneLayout->addLayout(sizeRow);
  oneLayout->addStretch(1);

  // Visualizer 2: on/off and the preset.
  auto* two = new QGroupBox(tr("Visualizer 2"), this);
  vis2_ = new QCheckBox(tr("Enable"), two);
  presetLabel_ = new QLabel(tr("Preset:"), two);
  preset_ = new QComboBox(two);
  presetLabel_->setBuddy(preset_);
  auto* presetRow = new QHBoxLayout;
  presetRow->addWidget(presetLabel_);
  presetRow->addWidget(preset_);
  presetRow->addStretch(1);
  auto* twoLayout = new QVBoxLayout(two);
  twoLayout->addWidget(vis2_);
  twoLayout->addLayout(presetRow);

  // The level bars.
  auto* bars = new QGroupBox(tr("Amplitude Bar "), this);
  ampBar_ = new QCheckBox(tr("Enable"), bars);
  auto* barsLayout = new QVBoxLayout(bars);
  barsLayout->addWidget(ampBar_);

  auto* right = new QVBoxLayout;
  right->addWidget(two);
  right->addWidget(bars);
  right->addStretch(1);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(one, 1);
  layout->addLayout(right, 1);

  for (const char* entry : kBlockSizeEntries) blockSize_->addItem(QString::fromLatin1(entry));
  for (int i = 1; i <= kPresetCount; ++i) preset_->addItem(tr("Preset %1").arg(i));

  connect(vis1_, &QCheckBox::toggled, this, &VisualizePage::Vis1Toggled);
  connect(vis2_, &QCheckBox::toggled, this, &VisualizePage::Vis2Toggled);
  connect(ampBar_, &QCheckBox::toggled, this, &VisualizePage::AmpBarToggled);
  connect(typeGroup_, &QButtonGroup::idClicked, this, &VisualizePage::TypeChosen);
  connect(blockSize_, &QComboBox::activated, this, &VisualizePage::BlockSizeChosen);
  connect(preset_, &QComboBox::activated, this, &VisualizePage::PresetChosen);
}

void VisualizePage::Load() {
  const auto& m = settings_.MISC;
  {
    QSignalBlocker b1(preset_), b2(blockSize_);
    preset_->setCurrentIndex(m.VisPst >= 0 && m.VisPst < kPresetCount ? m.VisPst : -1);
    blockSize_->setCurrentIndex(m.BlockSize >= 0 && m.BlockSize < kBlockSizeCount ? m.BlockSize
                                                                                  : -1);
  }
  for (auto [box, on] :
       {std::pair{vis2_, m.Vis2}, std::pair{vis1_, m.Vis1}, std::pair{ampBar_, m.AmpBar}}) {
    QSignalBlocker b(box);
    box->setChecked(on != 0);
  }
  if (m.VisTyp >= 0 && m.VisTyp < kTypeCount)
    types_[static_cast<size_t>(m.VisTyp)]->setChecked(true);
  Stabilize();
}

void VisualizePage::Initialize() {
  Load();
  // The check boxes take effect as if just clicked; the type is chosen as
  // if its button were pressed. The saved block size is passed too, so that
  // visualizer 1 works with the size the list shows.
  Vis1Toggled(vis1_->isChecked());
  Vis2Toggled(vis2_->isChecked());
  TypeChosen(settings_.MISC.VisTyp);
  if (VisualTypeRole* v = displays_.Visualizer1(); v && BlockSizeOf(settings_.MISC.BlockSize))
    v->SetBlockSize(BlockSizeOf(settings_.MISC.BlockSize));
  displays_.Refresh(1);
}

void VisualizePage::Stabilize() {
  const bool one = vis1_->isChecked();
  for (QRadioButton* b : types_) b->setEnabled(one);
  blockSizeLabel_->setEnabled(one);
  blockSize_->setEnabled(one);
  const bool two = vis2_->isChecked();
  presetLabel_->setEnabled(two);
  preset_->setEnabled(two);
}

void VisualizePage::Vis1Toggled(bool on) {
  settings_.MISC.Vis1 = on ? 1 : 0;
  log_(on ? "Enable audio visualizer 1." : "Disable audio visualizer 1.", 0);
  // A switched-off visualizer shows an empty display, not its last picture.
  if (!on)
    if (VisualizationRole* v = displays_.Visualizer(1)) v->Clear();
  displays_.Refresh(1);
  Stabilize();
}

void VisualizePage::Vis2Toggled(bool on) {
  settings_.MISC.Vis2 = on ? 1 : 0;
  log_(on ? "Enable audio visualizer 2." : "Disable audio visualizer 2.", 0);
  if (!on) displays_.HoldVisualizer2();
  Stabilize();
}

void VisualizePage::AmpBarToggled(bool on) {
  settings_.MISC.AmpBar = on ? 1 : 0;
  log_(on ? "Enable amplitude bars." : "Disable amplitude bars.", 0);
  if (!on) displays_.SetBarsAtRest();
}

void VisualizePage::TypeChosen(int type) {
  if (type < 0 || type >= kTypeCount) return;
  settings_.MISC.VisTyp = static_cast<int16_t>(type);
  types_[static_cast<size_t>(type)]->setChecked(true);
  if (VisualTypeRole* v = displays_.Visualizer1()) v->SetVisualType(type);
  displays_.Refresh(1);
}

void VisualizePage::BlockSizeChosen(int index) {
  settings_.MISC.BlockSize = static_cast<int16_t>(index);
  const int size = BlockSizeOf(index);
  if (VisualTypeRole* v = displays_.Visualizer1(); v && size > 0) v->SetBlockSize(size);
  displays_.Refresh(1);
}

void VisualizePage::PresetChosen(int index) {
  settings_.MISC.VisPst = static_cast<int16_t>(index);
  ApplyPreset();
}

void VisualizePage::ApplyPreset() {
  const int index = settings_.MISC.VisPst;
  VisualPresetRole* v = displays_.Visualizer2();
  if (v) {
    v->SetHold(false);
    if (const PresetRow* row = Preset(index))
      for (int i = 0; i < VisualPresetRole::kPropertyCount; ++i)
        v->SetProperty(i + 1, (*row)[static_cast<size_t>(i)]);
  }
  char line[64];
  std::snprintf(line, sizeof line, "Set Visualization Preset %d", index + 1);
  log_(line, 0);
  displays_.Refresh(2);
}

}  // namespace tarvexa
