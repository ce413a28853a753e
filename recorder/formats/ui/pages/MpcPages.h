#pragma once
// The Musepack page "Encoder::MPC": the file extension, a preset (each of
// the first seven fixes the quality) or a quality of the user's own.
// Thread affinity: the user-interface thread.

#include "formats/ui/FormatFamilyUi.h"
#include "formats/ui/OptionPage.h"

class QComboBox;
class QLabel;
class QSlider;

namespace tarvexa {

class CMpcOption : public OptionPage {
  Q_OBJECT

 public:
  explicit CMpcOption(Settings& settings, QWidget* parent = nullptr);
  void Store() override;

  QComboBox* ExtensionList() const { return ext_; }
  QComboBox* PresetList() const { return preset_; }
  QSlider* QualitySlider() const { return quality_; }
  QLabel* QualityCaption() const { return caption_; }

 protected:
  void Load() override;
  void Stabilize() override;

 private:
  // The slider for the chosen preset: its quality, or the stored one.
  void ApplyPreset();

  QComboBox* ext_;
  QComboBox* preset_;
  QSlider* quality_;
  QLabel* caption_;
};

// Musepack: its command and its page.
FormatFamilyUi MpcFamilyUi();

}  // namespace tarvexa
