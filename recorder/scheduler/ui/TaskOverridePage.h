#pragma once
// The "Override" page of the task editor: the task's own rate, channels,
// format, auto-stop and auto-split lengths and after-recording action, used
// instead of the global settings while "Override Default Setting" is ticked.
// A stop or split length under five seconds is refused as it is entered and
// set to 0:0:5.
// Thread affinity: the user-interface thread.

#include <QtWidgets/QWidget>

#include "scheduler/Task.h"

class QCheckBox;
class QComboBox;
class QRadioButton;
class QSpinBox;

namespace tarvexa {

struct Settings;

class TaskOverridePage : public QWidget {
  Q_OBJECT

 public:
  explicit TaskOverridePage(QWidget* parent = nullptr);

  // Values out of a list's range (a damaged Task.ini) show the global
  // setting instead.
  void Load(const CTask& task, const Settings& global);
  void Store(CTask& task) const;
  void Stabilize();
  // The format the task will record in: its own while overriding, else 0.
  int OverrideFormat() const;

  struct Length {
    QSpinBox* hours;
    QSpinBox* minutes;
    QSpinBox* seconds;
  };
  QCheckBox* Override() const { return override_; }
  QComboBox* Frequency() const { return freq_; }
  QComboBox* Channel() const { return channel_; }
  QComboBox* Format() const { return format_; }
  QRadioButton* StopManually() const { return stopManually_; }
  QRadioButton* StopAfter() const { return stopAfter_; }
  QRadioButton* DoNotSplit() const { return noSplit_; }
  QRadioButton* SplitByTime() const { return splitByTime_; }
  const Length& StopLength() const { return stop_; }
  const Length& SplitLength() const { return split_; }
  QComboBox* AfterRecording() const { return action_; }

 private:
  Length MakeLength();
  void CheckLength(const Length& length, const char* message);

  bool loading_ = false;
  QCheckBox* override_;
  QComboBox* freq_;
  QComboBox* channel_;
  QComboBox* format_;
  QRadioButton* stopManually_;
  QRadioButton* stopAfter_;
  QRadioButton* noSplit_;
  QRadioButton* splitByTime_;
  Length stop_;
  Length split_;
  QComboBox* action_;
};

}  // namespace tarvexa
