#pragma once
// The MP3 pages of the options sheet: the parent page "Encoder::MP3" and
// its sub-pages CBR, Filtering, VBR, Expert and Preset. Showing the CBR, VBR
// or Preset page makes that the encoding mode (MP3 LameTab 1, 3 or 5).
// Thread affinity: the user-interface thread.

#include "formats/ui/FormatFamilyUi.h"
#include "formats/ui/OptionPage.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QSlider;
class QSpinBox;

namespace tarvexa {

class CLameOption : public OptionPage {
  Q_OBJECT

 public:
  explicit CLameOption(Settings& settings, QWidget* parent = nullptr);

 protected:
  void Load() override {}
};

// "Encoder::MP3::CBR"
class CLameOptionTab1 : public OptionPage {
  Q_OBJECT

 public:
  explicit CLameOptionTab1(Settings& settings, QWidget* parent = nullptr);
  void Store() override;
  void Activated() override;

  QComboBox* BitrateList() const { return bits_; }
  QComboBox* StereoModeList() const { return channel_; }
  QSlider* QualitySlider() const { return quality_; }
  QLabel* QualityCaption() const { return qualityCaption_; }

 protected:
  void Load() override;
  void Stabilize() override;

 private:
  QComboBox* bits_;
  QComboBox* channel_;
  QSlider* quality_;
  QLabel* qualityCaption_;
};

// "Encoder::MP3::Filtering"
class CLameOptionTab2 : public OptionPage {
  Q_OBJECT

 public:
  explicit CLameOptionTab2(Settings& settings, QWidget* parent = nullptr);
  void Store() override;

  struct Filter {
    QCheckBox* enabled;
    QSpinBox* frequency;
    QSpinBox* width;
  };
  const Filter& HighPass() const { return high_; }
  const Filter& LowPass() const { return low_; }

 protected:
  void Load() override;
  void Stabilize() override;

 private:
  Filter MakeFilter(const QString& caption);

  Filter high_;
  Filter low_;
};

// "Encoder::MP3::VBR"
class CLameOptionTab3 : public OptionPage {
  Q_OBJECT

 public:
  explicit CLameOptionTab3(Settings& settings, QWidget* parent = nullptr);
  bool Validate() override;
  void Store() override;
  void Activated() override;

  static const QStringList& CodingModeTexts();

  QComboBox* CodingModeList() const { return mode_; }
  QComboBox* MinimumList() const { return min_; }
  QComboBox* MaximumList() const { return max_; }
  QSpinBox* TargetBitrate() const { return target_; }
  QCheckBox* WriteVbrHeader() const { return writeHead_; }
  QCheckBox* BitReservoir() const { return bitsRes_; }
  QSlider* QualitySlider() const { return quality_; }
  QLabel* QualityCaption() const { return qualityCaption_; }

 protected:
  void Load() override;
  void Stabilize() override;

 private:
  QComboBox* mode_;
  QComboBox* min_;
  QComboBox* max_;
  QSpinBox* target_;
  QCheckBox* writeHead_;
  QCheckBox* bitsRes_;
  QSlider* quality_;
  QLabel* qualityCaption_;
};

// "Encoder::MP3::Expert"
class CLameOptionTab4 : public OptionPage {
  Q_OBJECT

 public:
  explicit CLameOptionTab4(Settings& settings, QWidget* parent = nullptr);
  void Store() override;

  QCheckBox* Copyright() const { return copyright_; }
  QCheckBox* Crc() const { return crc_; }
  QCheckBox* Original() const { return original_; }
  QCheckBox* Private() const { return private_; }
  QCheckBox* ComplyIso() const { return iso_; }

 protected:
  void Load() override;

 private:
  QCheckBox* copyright_;
  QCheckBox* crc_;
  QCheckBox* original_;
  QCheckBox* private_;
  QCheckBox* iso_;
};

// "Encoder::MP3::Preset"
class CLameOptionTab5 : public OptionPage {
  Q_OBJECT

 public:
  explicit CLameOptionTab5(Settings& settings, QWidget* parent = nullptr);
  void Store() override;
  void Activated() override;

  QComboBox* PresetList() const { return preset_; }
  QPlainTextEdit* Description() const { return description_; }

 protected:
  void Load() override;
  void Stabilize() override;

 private:
  QComboBox* preset_;
  QPlainTextEdit* description_;
};

// MP3: its command and its pages.
FormatFamilyUi Mp3FamilyUi();

}  // namespace tarvexa
