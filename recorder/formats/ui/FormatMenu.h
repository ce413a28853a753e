#pragma once
// The menu of the main window's "Format" button: one command per output
// format ("Set Format: WAV" and the like), two for FLAC (native and Ogg
// FLAC), nine for the AAC containers and one for the user-customised
// encoder. Every command first asks the window whether a running recording
// may be stopped, then sets the format and has the window apply it.
// Command ids run from 32801 in menu order.
// Thread affinity: the user-interface thread.

#include <QtWidgets/QMenu>

#include <functional>
#include <vector>

#include "config/Settings.h"

class QActionGroup;

namespace tarvexa {

class FormatMenu : public QMenu {
  Q_OBJECT

 public:
  struct Hooks {
    std::function<bool()> confirmStop;  // false abandons the command
    std::function<void()> apply;        // makes the new format current
  };

  static constexpr int kFirstCommand = 32801;

  FormatMenu(Settings& settings, Hooks hooks, QWidget* parent = nullptr);

  // The action of a command id; nullptr when there is none.
  QAction* Command(int id) const;
  // The command id of a format's plain entry (for FLAC the native one, for
  // AAC the entry of `container`).
  int CommandFor(int format, int container = -1) const;
  int CommandCount() const { return static_cast<int>(commands_.size()); }
  // Runs a command as if it were chosen; false when nothing changed.
  bool Run(int id);

 private:
  struct Entry {
    int format;
    int variant;  // FLAC: 1 native, 0 Ogg FLAC; AAC: the container; else -1
    QAction* action;
  };
  void Add(QMenu* menu, const QString& text, int format, int variant = -1);
  bool MayChoose(const Entry& c);
  void MarkCurrent();

  Settings& settings_;
  Hooks hooks_;
  QActionGroup* group_;
  std::vector<Entry> commands_;
};

}  // namespace tarvexa
