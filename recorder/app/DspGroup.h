#pragma once
// The "Digital Signal Processing" group of the "Advanced" page: the three
// switches (amplification, normalisation with levelling, resampling) with
// their values. Amplification and normalisation exclude each other. Every
// change is stored at once and reported through dspChanged(), so that a
// running recording follows it from its next block; a switch the user
// clicks is also logged.
// Thread affinity: the user-interface thread.

#include <QtWidgets/QGroupBox>

#include <functional>
#include <string>

class QCheckBox;
class QSpinBox;

namespace tarvexa {

struct Settings;

class DspGroup : public QGroupBox {
  Q_OBJECT

 public:
  static constexpr const char* kAmplifyTip =
      "Changes the amplitude of the audio data.\r\nIf Amplification coefficient  > 100 then "
      "Volume of audio is increased, otherwise it is decreased. ";
  static constexpr const char* kNormalizeTip =
      "Normalizes the audio data.\r\nFor example, choose 30 to compute values needed to amplify "
      "the selection no more than 30 of maximum. ";
  static constexpr const char* kResampleTip =
      "Resamples the audio data. Recalculates the samples using a different rate than which it "
      "was originally created.\r\n If using percentages above 100, the tempo will slow, while "
      "at the same time the pitch will lower. For percentages of 1 to 99, the tempo will speed "
      "up and the pitch will increase. ";

  using LogFn = std::function<void(const std::string& text, int level)>;
  DspGroup(Settings& settings, LogFn log, QWidget* parent = nullptr);

  // Shows the settings; logs nothing.
  void Load();

  QCheckBox* AmplifyCheck() const { return amp_; }
  QSpinBox* Coefficient() const { return ampN_; }
  QCheckBox* NormalizeCheck() const { return nor_; }
  QSpinBox* Percent() const { return norN_; }
  QCheckBox* LevelingCheck() const { return norLev_; }
  QCheckBox* ResampleCheck() const { return res_; }
  QSpinBox* Rate() const { return resN_; }

 signals:
  void dspChanged();

 private:
  void Switched(QCheckBox* box, bool on);
  void Store();
  void Stabilize();

  Settings& settings_;
  LogFn log_;
  QCheckBox* amp_;
  QSpinBox* ampN_;
  QCheckBox* nor_;
  QSpinBox* norN_;
  QCheckBox* norLev_;
  QCheckBox* res_;
  QSpinBox* resN_;
};

}  // namespace tarvexa
