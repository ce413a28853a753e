#pragma once
// The "Output" page: `OutputList`, the recordings this recorder has made,
// with their commands (open, open the folder, move, sort, rename in place,
// remove, delete to the trash, edit the tag) on the item's context menu and
// the page's keys (Ctrl+A, Del, Shift+Del). Every change is written to
// Output.ini at once (atomically), and again at exit.
// Thread affinity: the user-interface thread.

#include <QtCore/QAbstractTableModel>
#include <QtCore/QTimer>
#include <QtWidgets/QTableView>
#include <QtWidgets/QWidget>

#include <functional>
#include <string>
#include <vector>

#include "outputs/OutputItems.h"

class QFileSystemWatcher;
class QMenu;

namespace tarvexa {

class OutputTableModel;

// The list control: one row per item, full-row selection, several rows
// selectable, a grid; the header sorts.
class OutputList : public QTableView {
  Q_OBJECT
 public:
  explicit OutputList(QWidget* parent = nullptr);
};

class OutputPage : public QWidget {
  Q_OBJECT

 public:
  struct Hooks {
    std::function<void(const std::string& text, int level)> log;
    // True for the file a running recording is writing: it is not renamed,
    // deleted or tagged.
    std::function<bool(const std::string& path)> inUse;
  };
  explicit OutputPage(Hooks hooks, QWidget* parent = nullptr);

  // Start-up: reads Output.ini (the data folder's unless set otherwise) and
  // from then on shows what another program (the scheduler service) adds
  // to it.
  void Load();
  void SetStorePath(const std::string& path) { storePath_ = path; }
  const std::string& StorePath() const { return storePath_; }
  // Writes Output.ini now; false with the reason in *error.
  bool Save(std::string* error);

  // A recording file is complete (see OutputItems::AddRecording).
  void AddRecording(const QString& path, qint64 seconds, bool oggFlac);
  // A clip of a recording made with `recording` is complete.
  void AddClip(const ClipResult& clip, const Settings& recording);

  // The commands. Those for one item show "Please select ONE file First!"
  // unless exactly one is selected.
  void Open();
  void OpenDir();
  void Move(MoveTo where);
  void SortBy(int column);
  void Rename();
  void Remove();
  void Delete();
  void EditMetadata();

  const OutputItems& Items() const { return items_; }
  OutputList* List() const { return list_; }
  QMenu* ContextMenu() const { return menu_; }
  std::vector<int> SelectedRows() const;
  void SelectRows(const std::vector<int>& rows);

  // The icon of an item: taggable, not taggable, missing.
  static QIcon StateIcon(const OutputEntry& e);

 signals:
  void editMetadataRequested(const QString& path);

 private:
  void Refresh(const std::vector<int>& select);
  void KeepSelection(const std::function<void()>& change);
  void MergeAdded();
  void Changed(const std::vector<int>& select);
  bool FinishRename(int row, const QString& name);
  int SingleSelection();
  bool CheckExists(int row);
  bool Busy(const std::string& path);
  void Log(const std::string& text, int level) {
    if (hooks_.log) hooks_.log(text, level);
  }

  Hooks hooks_;
  std::string storePath_;
  OutputItems items_;
  OutputTableModel* model_;
  OutputList* list_;
  QMenu* menu_;
  QTimer saveTimer_;
  QFileSystemWatcher* watcher_ = nullptr;
  bool saveFailing_ = false;
};

}  // namespace tarvexa
