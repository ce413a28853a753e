#pragma once
// The Ogg Vorbis page "Encoder::OGG": quality mode with its slider, or a
// nominal bitrate with an optional managed minimum and maximum. Accepting
// the page tries the settings on libvorbis; settings it refuses are
// reported and put back to their defaults.
// Thread affinity: the user-interface thread.

#include "formats/ui/FormatFamilyUi.h"
#include "formats/ui/OptionPage.h"

class QCheckBox;
class QComboBox;
class QSlider;

namespace tarvexa {

class COggOption : public OptionPage {
  Q_OBJECT

 public:
  explicit COggOption(Settings& settings, QWidget* parent = nullptr);
  void Store() override;

  QCheckBox* QualityBox() const { return quality_; }
  QSlider* QualitySlider() const { return slider_; }
  QComboBox* NominalList() const { return nominal_; }
  QCheckBox* VbrBox() const { return vbr_; }
  QComboBox* MinimumList() const { return min_; }
  QComboBox* MaximumList() const { return max_; }

 protected:
  void Load() override;
  void Stabilize() override;

 private:
  QCheckBox* quality_;
  QSlider* slider_;
  QComboBox* nominal_;
  QCheckBox* vbr_;
  QComboBox* min_;
  QComboBox* max_;
};

// Ogg Vorbis: its command and its page.
FormatFamilyUi OggVorbisFamilyUi();

}  // namespace tarvexa
