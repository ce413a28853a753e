#pragma once
// The "Scheduler" page: the task list with its seven columns ("Title",
// "Mode", "Next Starting Time", "Status", "Override", "Format", "Length"),
// sorted by the next start and re-sortable by any column, and the Add,
// Edit, Delete and Refresh commands. The rows own the tasks; their order is
// the order in which tasks are saved and ties are broken. Task.ini is saved
// after every change. Add, Edit and Delete end by asking for a refresh of
// the schedule.
// Thread affinity: the user-interface thread.

#include <QtWidgets/QWidget>

#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "scheduler/Task.h"

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace tarvexa {

struct Settings;
class TaskEditorSheet;

class TaskListPage : public QWidget {
  Q_OBJECT

 public:
  struct Hooks {
    std::function<void(const std::string& text, int level)> log;
    // A recording runs or the scheduler is busy: the commands wait.
    std::function<bool()> locked;
    // The scheduler is running a routine (the editor's OK waits).
    std::function<bool()> busy;
    // Looks for the soonest task again (after Add, Edit, Delete).
    std::function<void()> refreshSchedule;
    // The wall clock; the system's when empty.
    std::function<std::time_t()> now;
  };

  enum Column { kTitle, kMode, kNextStart, kStatus, kOverride, kFormat, kLength, kColumnCount };

  TaskListPage(Settings& settings, Hooks hooks, QWidget* parent = nullptr);

  // Loads the list from Task.ini; a damaged file shows what could be read
  // and says so in a box and the log. Saves go to the same file.
  void Load(const std::string& path);
  bool Save();
  std::vector<CTask> Tasks() const;  // in row order
  int Count() const;

  // The "Next Starting Time" column of every row.
  void RefreshNextStart();
  // Enables the commands the state allows; called on selection changes and
  // by the window when a recording starts or ends.
  void Stabilize();

  void Add();
  void Edit();
  void Delete();
  void Refresh() { RefreshNextStart(); }

  QTreeWidget* List() const { return list_; }
  QPushButton* AddButton() const { return add_; }
  QPushButton* EditButton() const { return edit_; }
  QPushButton* DeleteButton() const { return delete_; }
  QPushButton* RefreshButton() const { return refresh_; }
  // Runs the editor instead of exec() (tests); returns the dialog result.
  using EditorRunner = std::function<int(TaskEditorSheet& editor)>;
  void SetEditorRunner(EditorRunner runner) { runEditor_ = std::move(runner); }

 private:
  void Fill(QTreeWidgetItem* row, const CTask& task, std::time_t now);
  std::time_t Now() const;
  int RunEditor(TaskEditorSheet& editor);
  bool Locked() const { return hooks_.locked && hooks_.locked(); }
  void Log(const std::string& text, int level) const {
    if (hooks_.log) hooks_.log(text, level);
  }

  Settings& settings_;
  Hooks hooks_;
  std::string path_;
  EditorRunner runEditor_;
  QTreeWidget* list_;
  QPushButton* add_;
  QPushButton* edit_;
  QPushButton* delete_;
  QPushButton* refresh_;
};

}  // namespace tarvexa
