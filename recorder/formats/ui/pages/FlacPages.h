#pragma once
// The FLAC page "Encoder::FLAC": compression level, block size, Ogg FLAC
// (asked about before it is chosen) and verification.
// Thread affinity: the user-interface thread.

#include "formats/ui/FormatFamilyUi.h"
#include "formats/ui/OptionPage.h"

class QCheckBox;
class QComboBox;

namespace tarvexa {

class CFlacOption : public OptionPage {
  Q_OBJECT

 public:
  explicit CFlacOption(Settings& settings, QWidget* parent = nullptr);
  void Store() override;

  QComboBox* CompressionLevelList() const { return level_; }
  QComboBox* BlockSizeList() const { return blockSize_; }
  QCheckBox* OggFlacBox() const { return ogg_; }
  QCheckBox* VerifyBox() const { return verify_; }

 protected:
  void Load() override;

 private:
  void OggFlacToggled(bool on);

  QComboBox* level_;
  QComboBox* blockSize_;
  QCheckBox* ogg_;
  QCheckBox* verify_;
};

// FLAC: its two commands (native, and Ogg FLAC after a question) and its
// page.
FormatFamilyUi FlacFamilyUi();

}  // namespace tarvexa
