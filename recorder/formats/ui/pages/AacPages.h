#pragma once
// The AAC pages: "Encoder::AAC" (the container, which also picks the
// encoder program), "Encoder::AAC::FAAC" (our own encoder), and the pages of
// the two encoders a user may add himself, "Encoder::AAC::Nero" and
// "Encoder::AAC::CT".
// Thread affinity: the user-interface thread.

#include "formats/ui/FormatFamilyUi.h"
#include "formats/ui/OptionPage.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QRadioButton;
class QSlider;

namespace tarvexa {

class CAacOption : public OptionPage {
  Q_OBJECT

 public:
  explicit CAacOption(Settings& settings, QWidget* parent = nullptr);
  void Store() override;
  QComboBox* ContainerList() const { return container_; }

 protected:
  void Load() override;

 private:
  void ContainerChosen(int index);
  QComboBox* container_;
};

class CFaacOption : public OptionPage {
  Q_OBJECT

 public:
  explicit CFaacOption(Settings& settings, QWidget* parent = nullptr);
  void Store() override;

  QRadioButton* Mpeg2Button() const { return mpeg2_; }
  QRadioButton* Mpeg4Button() const { return mpeg4_; }
  QRadioButton* QualityButton() const { return quality_; }
  QRadioButton* BitrateButton() const { return bitrate_; }
  QSlider* ValueSlider() const { return slider_; }
  QLabel* ValueCaption() const { return caption_; }
  QComboBox* BlockTypeList() const { return blockType_; }
  QComboBox* ObjectTypeList() const { return objectType_; }
  QCheckBox* TnsBox() const { return tns_; }
  QCheckBox* MidsideBox() const { return midside_; }

 protected:
  void Load() override;
  void Stabilize() override;

 private:
  // The slider's range and position for the mode, from the stored value.
  void LoadSlider();

  QRadioButton* mpeg2_;
  QRadioButton* mpeg4_;
  QRadioButton* quality_;
  QRadioButton* bitrate_;
  QSlider* slider_;
  QLabel* caption_;
  QComboBox* blockType_;
  QComboBox* objectType_;
  QCheckBox* tns_;
  QCheckBox* midside_;
};

class CNeroOption : public OptionPage {
  Q_OBJECT

 public:
  explicit CNeroOption(Settings& settings, QWidget* parent = nullptr);
  void Store() override;

  QRadioButton* ModeButton(int mode) const;  // 0 quality, 1 ABR, 2 CBR
  QComboBox* ProfileList() const { return profile_; }
  QSlider* ValueSlider() const { return slider_; }
  QLabel* ValueCaption() const { return caption_; }

 protected:
  void Load() override;
  void Stabilize() override;

 private:
  int Mode() const;
  void LoadSlider();

  QButtonGroup* modes_;
  QComboBox* profile_;
  QSlider* slider_;
  QLabel* caption_;
};

class CCtOption : public OptionPage {
  Q_OBJECT

 public:
  explicit CCtOption(Settings& settings, QWidget* parent = nullptr);
  void Store() override;

  QComboBox* ProfileList() const { return profile_; }
  QSlider* BitrateSlider() const { return slider_; }
  QLabel* BitrateCaption() const { return caption_; }
  QCheckBox* ParametricStereoBox() const { return ps_; }
  QCheckBox* IndependentStereoBox() const { return is_; }
  QCheckBox* MonoBox() const { return mono_; }
  QCheckBox* SpeechBox() const { return speech_; }
  QCheckBox* NoiseSubstitutionBox() const { return pns_; }

 protected:
  void Load() override;
  void Stabilize() override;

 private:
  void LoadSlider();

  QComboBox* profile_;
  QSlider* slider_;
  QLabel* caption_;
  QCheckBox* ps_;
  QCheckBox* is_;
  QCheckBox* mono_;
  QCheckBox* speech_;
  QCheckBox* pns_;
};

// AAC: one command per container (asking before raw AAC, and only when the
// Nero or CT program is there for theirs) and its four pages.
FormatFamilyUi AacFamilyUi();

}  // namespace tarvexa
