#pragma once
// The WMA page "Encoder::WMA": three linked lists, "Mode:", "Codec:" and
// "Preset:", over the WMA profiles in use. A profile's number is the first
// number of its mode and codec plus its place in the preset list. Profiles
// the recorder cannot write as they promise are listed greyed with the
// reason; choosing one is refused with a message.
// Thread affinity: the user-interface thread.

#include <memory>

#include "encoders/wma/WmaProfiles.h"
#include "formats/ui/FormatFamilyUi.h"
#include "formats/ui/OptionPage.h"

class QComboBox;
class QLabel;

namespace tarvexa {

class CWmaOption : public OptionPage {
  Q_OBJECT

 public:
  explicit CWmaOption(Settings& settings, QWidget* parent = nullptr);

  bool Validate() override;
  void Store() override;

  QComboBox* ModeList() const { return mode_; }
  QComboBox* CodecList() const { return codec_; }
  QComboBox* PresetList() const { return preset_; }
  QLabel* Note() const { return note_; }

  // The profile the lists show; 0 when no preset is chosen.
  int ProfileNumber() const;

 protected:
  void Load() override;
  void Stabilize() override;

 private:
  void FillCodecs();
  // Refills the preset list and chooses its first profile that can be
  // written (none when there is none).
  void FillPresets();
  void ModeChosen();
  void CodecChosen();
  void PresetChosen(int index);
  const WmaProfile* Shown() const;

  std::shared_ptr<const WmaProfileSet> profiles_;
  QComboBox* mode_;
  QComboBox* codec_;
  QComboBox* preset_;
  QLabel* note_;
  int lastPreset_ = -1;  // what a refused choice goes back to
};

// WMA: its command and its page.
FormatFamilyUi WmaFamilyUi();

}  // namespace tarvexa
