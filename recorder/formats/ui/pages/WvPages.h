#pragma once
// The WavPack pages: "Encoder::WV" (mode, compression, stereo mode, extra
// processing, block size and merging) and "Encoder::WV::Hybrid" (bitrate,
// correction file, noise figures and noise shaping).
// Thread affinity: the user-interface thread.

#include "formats/ui/FormatFamilyUi.h"
#include "formats/ui/OptionPage.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QSlider;

namespace tarvexa {

class CWvOption : public OptionPage {
  Q_OBJECT

 public:
  explicit CWvOption(Settings& settings, QWidget* parent = nullptr);
  void Store() override;

  QComboBox* EncodingModeList() const { return mode_; }
  QComboBox* CompressionLevelList() const { return level_; }
  QComboBox* StereoModeList() const { return stereo_; }
  QComboBox* ExtraProcessingList() const { return extra_; }
  QCheckBox* DefaultBlockSizeBox() const { return defaultBlock_; }
  QSlider* BlockSizeSlider() const { return blockSize_; }
  QLabel* BlockSizeCaption() const { return blockCaption_; }
  QCheckBox* MergeBox() const { return merge_; }

 protected:
  void Load() override;
  void Stabilize() override;

 private:
  QComboBox* mode_;
  QComboBox* level_;
  QComboBox* stereo_;
  QComboBox* extra_;
  QCheckBox* defaultBlock_;
  QSlider* blockSize_;
  QLabel* blockCaption_;
  QCheckBox* merge_;
};

class CHybridOption : public OptionPage {
  Q_OBJECT

 public:
  explicit CHybridOption(Settings& settings, QWidget* parent = nullptr);
  void Store() override;

  QSlider* BitrateSlider() const { return kbps_; }
  QLabel* BitrateCaption() const { return kbpsCaption_; }
  QCheckBox* MaximumCompressionBox() const { return optWvc_; }
  QCheckBox* CorrectionFileBox() const { return crtWvc_; }
  QCheckBox* NoiseBox() const { return calNos_; }
  QCheckBox* ShapingOverrideBox() const { return shape_; }
  QCheckBox* DynamicShapingBox() const { return dynamic_; }
  QSlider* ShapingSlider() const { return shapeSlider_; }
  QLabel* ShapingCaption() const { return shapeCaption_; }

 protected:
  void Load() override;
  void Stabilize() override;

 private:
  QSlider* kbps_;
  QLabel* kbpsCaption_;
  QCheckBox* optWvc_;
  QCheckBox* crtWvc_;
  QCheckBox* calNos_;
  QCheckBox* shape_;
  QCheckBox* dynamic_;
  QSlider* shapeSlider_;
  QLabel* shapeCaption_;
};

// WavPack: its command and its two pages.
FormatFamilyUi WavPackFamilyUi();

}  // namespace tarvexa
