#pragma once
// The "Misc" page: the tray options, keeping the machine awake while
// recording, "Auto Stop", "Auto Split" with the naming rule, and what to do
// when a recording stops automatically.
// Load() fills the page from the settings; every control stores its value
// at once; TakeValues() (on leaving a time field, choosing a timed stop or
// split, and before recording) enforces the five-second minimum.
// Stabilize() enables what the state allows.
// Thread affinity: the user-interface thread.

#include <QtWidgets/QWidget>

class QCheckBox;
class QComboBox;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace tarvexa {

struct Settings;

class MiscPage : public QWidget {
  Q_OBJECT

 public:
  explicit MiscPage(Settings& settings, QWidget* parent = nullptr);

  void Load();
  // Checks the auto-stop and split times: a time under five seconds is
  // refused with a message and set to 0:0:5. Returns false when something
  // was corrected.
  bool TakeValues();
  void Stabilize(bool recording);

  struct TimeFields {
    QSpinBox* hours;
    QSpinBox* minutes;
    QSpinBox* seconds;
  };
  QRadioButton* StopManually() const { return stopManually_; }
  QRadioButton* StopAfter() const { return stopAfter_; }
  QRadioButton* DoNotSplit() const { return noSplit_; }
  QRadioButton* SplitByTime() const { return splitByTime_; }
  const TimeFields& StopTime() const { return stop_; }
  const TimeFields& SplitTime() const { return split_; }
  QComboBox* ActionList() const { return action_; }
  QPushButton* NamingRuleButton() const { return namingRule_; }

 private:
  void ActionChosen(int index);
  void StoreTimes();
  void OpenNamingRule();
  TimeFields MakeTimeFields();

  Settings& settings_;
  bool recording_ = false;
  bool taking_ = false;
  QCheckBox* minToTray_;
  QCheckBox* closeToTray_;
  QCheckBox* keepAwake_;
  QCheckBox* keepDisplay_;
  QRadioButton* stopManually_;
  QRadioButton* stopAfter_;
  QRadioButton* noSplit_;
  QRadioButton* splitByTime_;
  TimeFields stop_;
  TimeFields split_;
  QPushButton* namingRule_;
  QComboBox* action_;
};

}  // namespace tarvexa
