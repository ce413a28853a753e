#pragma once
// The APE page "Encoder::APE": the compression level. A level that an
// edited Config.ini put outside the five shows as the one the recorder uses.
// Thread affinity: the user-interface thread.

#include "formats/ui/FormatFamilyUi.h"
#include "formats/ui/OptionPage.h"

class QComboBox;

namespace tarvexa {

class CApeOption : public OptionPage {
  Q_OBJECT

 public:
  explicit CApeOption(Settings& settings, QWidget* parent = nullptr);
  void Store() override;

  QComboBox* CompressionLevelList() const { return level_; }

 protected:
  void Load() override;

 private:
  QComboBox* level_;
};

// APE: its command and its page.
FormatFamilyUi ApeFamilyUi();

}  // namespace tarvexa
