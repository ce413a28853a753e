#pragma once
// The root page of the options sheet, "Encoder" (the output format, the
// sub-encoding and extension of the eighteen further sound-file formats and
// the two thread priorities, and "Reset"), and the WAV and AIFF pages.
// Thread affinity: the user-interface thread.

#include <array>
#include <cstdint>

#include "formats/ui/FormatFamilyUi.h"
#include "formats/ui/OptionPage.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace tarvexa {

class CEncoderOption : public OptionPage {
  Q_OBJECT

 public:
  explicit CEncoderOption(Settings& settings, QWidget* parent = nullptr);

  void Store() override;

  QComboBox* FormatList() const { return format_; }
  QComboBox* CodecList() const { return codec_; }
  QComboBox* ExtensionList() const { return ext_; }
  QComboBox* RecordingThreadList() const { return recPro_; }
  QComboBox* EncodingThreadList() const { return encPro_; }
  QPushButton* ResetButton() const { return reset_; }

  static const QStringList& PriorityTexts();

 signals:
  // "Reset" was confirmed: every setting is to take its default.
  void resetAllRequested();

 protected:
  void Load() override;

 private:
  void FormatChosen(int index);
  void RefreshCodecLists();
  void AskReset();

  QComboBox* format_;
  QPushButton* reset_;
  QComboBox* codec_;
  QComboBox* ext_;
  QComboBox* recPro_;
  QComboBox* encPro_;
  // The choices of the further formats while the page is open (Codec and
  // Ext slots), so that looking at another format does not lose them.
  std::array<int16_t, 18> codecSlots_{};
  std::array<int16_t, 18> extSlots_{};
};

class CWavOption : public OptionPage {
  Q_OBJECT

 public:
  explicit CWavOption(Settings& settings, QWidget* parent = nullptr);
  void Store() override;
  QComboBox* CodecList() const { return codec_; }

 protected:
  void Load() override;

 private:
  QComboBox* codec_;
};

class CAiffOption : public OptionPage {
  Q_OBJECT

 public:
  explicit CAiffOption(Settings& settings, QWidget* parent = nullptr);
  void Store() override;
  QComboBox* CodecList() const { return codec_; }
  QComboBox* ExtensionList() const { return ext_; }

 protected:
  void Load() override;

 private:
  QComboBox* codec_;
  QComboBox* ext_;
};

// WAV, AIFF and the further sound-file formats: their commands, and the WAV
// and AIFF pages.
FormatFamilyUi SoundFileFamilyUi();

}  // namespace tarvexa
