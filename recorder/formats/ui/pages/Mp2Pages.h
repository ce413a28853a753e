#pragma once
// The MP2 page "Encoder::MP2": bitrate, stereo mode and the copyright and
// original flags. Settings libtwolame refuses are reset when the format is
// applied.
// Thread affinity: the user-interface thread.

#include "formats/ui/FormatFamilyUi.h"
#include "formats/ui/OptionPage.h"

class QCheckBox;
class QComboBox;

namespace tarvexa {

class CMp2Option : public OptionPage {
  Q_OBJECT

 public:
  explicit CMp2Option(Settings& settings, QWidget* parent = nullptr);
  void Store() override;

  static QStringList BitrateTexts();  // 18 entries, up to 384 kbps

  QComboBox* BitrateList() const { return bits_; }
  QComboBox* StereoModeList() const { return channel_; }
  QCheckBox* CopyrightBox() const { return copyright_; }
  QCheckBox* OriginalBox() const { return original_; }

 protected:
  void Load() override;

 private:
  QComboBox* bits_;
  QComboBox* channel_;
  QCheckBox* copyright_;
  QCheckBox* original_;
};

// MP2: its command and its page.
FormatFamilyUi Mp2FamilyUi();

}  // namespace tarvexa
