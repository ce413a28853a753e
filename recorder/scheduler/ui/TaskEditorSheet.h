#pragma once
// "Scheduled Task Properties": the modal editor of a new or an existing task,
// with the "General" and "Override" pages. OK checks, in this order, that
// the scheduler is not busy, that the title is given (and, for a new task,
// not taken by another task in any letter case), that the output file is
// given and that the confirmation time is 5 to 180 seconds; then the task
// holds the values and the dialog closes. The caller adds or refills the
// row, logs and refreshes the schedule.
// Thread affinity: the user-interface thread.

#include <QtWidgets/QDialog>

#include <functional>
#include <string>
#include <vector>

#include "scheduler/Task.h"

class QTabWidget;

namespace tarvexa {

struct Settings;
class TaskGeneralPage;
class TaskOverridePage;

class TaskEditorSheet : public QDialog {
  Q_OBJECT

 public:
  // task: a new task's defaults (NewTask) or the task being edited.
  // titles: the titles of the task list's rows, for the duplicate check of
  // a new task. busy: the scheduler is running a routine (OK waits).
  TaskEditorSheet(const CTask& task, bool isNew, std::vector<std::string> titles,
                  const Settings& global, std::function<bool()> busy, QWidget* parent = nullptr);

  const CTask& Task() const { return task_; }
  bool IsNew() const { return isNew_; }
  TaskGeneralPage* General() const { return general_; }
  TaskOverridePage* OverridePage() const { return override_; }
  QTabWidget* Tabs() const { return tabs_; }
  // The extension (with its dot) the output file browser offers.
  std::string OutputExtension() const;

  void accept() override;  // OK

 private:
  void ShowGeneral();

  CTask task_;
  bool isNew_;
  std::vector<std::string> titles_;
  const Settings& global_;
  std::function<bool()> busy_;
  QTabWidget* tabs_;
  TaskGeneralPage* general_;
  TaskOverridePage* override_;
};

}  // namespace tarvexa
