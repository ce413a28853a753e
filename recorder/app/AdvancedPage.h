#pragma once
// The "Advanced" page: silence detection. Every change is stored at once and
// reported through silenceChanged(), so that a running recording follows it
// from its next block. The DSP group (DspGroup) and the hotkey group
// (HotkeyGroup) below it look after their own settings.
// Thread affinity: the user-interface thread.

#include <QtWidgets/QWidget>

#include <functional>
#include <string>

class QCheckBox;
class QSpinBox;

namespace tarvexa {

class DspGroup;
class HotkeyGroup;
struct Settings;

class AdvancedPage : public QWidget {
  Q_OBJECT

 public:
  using LogFn = std::function<void(const std::string& text, int level)>;
  AdvancedPage(Settings& settings, LogFn log, QWidget* parent = nullptr);

  void Load();

  QCheckBox* DetectCheck() const { return detect_; }
  QSpinBox* SilenceLevel() const { return silLev_; }
  QSpinBox* SilenceTime() const { return silTime_; }
  QSpinBox* NoiseLevel() const { return noiLev_; }
  QSpinBox* NoiseTime() const { return noiTime_; }
  QCheckBox* SplitCheck() const { return split_; }
  QCheckBox* StopCheck() const { return stop_; }
  HotkeyGroup* Hotkeys() const { return hotkeys_; }
  DspGroup* Dsp() const { return dsp_; }

 signals:
  void silenceChanged();

 private:
  void Store();
  void Stabilize();

  Settings& settings_;
  LogFn log_;
  QCheckBox* detect_;
  QSpinBox* silLev_;
  QSpinBox* silTime_;
  QSpinBox* noiLev_;
  QSpinBox* noiTime_;
  QCheckBox* split_;
  QCheckBox* stop_;
  HotkeyGroup* hotkeys_;
  DspGroup* dsp_;
};

}  // namespace tarvexa
