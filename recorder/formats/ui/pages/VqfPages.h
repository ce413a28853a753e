#pragma once
// The VQF page "Encoder::VQF": the eighteen presets (each fixes the sample
// rate, the channels and the bit rate) and the quality slider (1, 2, 4, 8,
// 16 or 32), with a note that other players cannot decode the audio.
// Thread affinity: the user-interface thread.

#include "formats/ui/FormatFamilyUi.h"
#include "formats/ui/OptionPage.h"

class QComboBox;
class QLabel;
class QSlider;

namespace tarvexa {

class CVqfOption : public OptionPage {
  Q_OBJECT

 public:
  explicit CVqfOption(Settings& settings, QWidget* parent = nullptr);
  void Store() override;

  QComboBox* PresetList() const { return presets_; }
  QSlider* QualitySlider() const { return quality_; }
  QLabel* QualityCaption() const { return qualityCaption_; }

 protected:
  void Load() override;
  void Stabilize() override;

 private:
  QComboBox* presets_;
  QSlider* quality_;
  QLabel* qualityCaption_;
};

// VQF: its command and its page.
FormatFamilyUi VqfFamilyUi();

}  // namespace tarvexa
