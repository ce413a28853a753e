#pragma once
// The menu of the main window's "Format" button: the commands the format
// families give (formats/ui/FormatFamilyUi.h), such as "Set Format: WAV",
// the two FLAC commands (native and Ogg FLAC), the nine AAC containers and
// the user-customised encoder. Every command first asks the window whether
// a running recording may be stopped, then its family whether it may be
// chosen, then sets the format and has the window apply it.
// Command ids run from 32801 in menu order.
// Thread affinity: the user-interface thread.

#include <QtWidgets/QMenu>

#include <functional>
#include <vector>

#include "config/Settings.h"
#include "formats/ui/FormatFamilyUi.h"

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
  // The command id of a format's command of that variant (for AAC the
  // container); -1 gives the format's first command (for FLAC the native
  // one). 0 when there is none.
  int CommandFor(int format, int variant = -1) const;
  int CommandCount() const { return static_cast<int>(commands_.size()); }
  // Runs a command as if it were chosen; false when nothing changed.
  bool Run(int id);

 private:
  struct Entry {
    const FormatMenuEntry* command;
    QAction* action;
  };
  void Add(QMenu* menu, const FormatMenuEntry& command);
  void MarkCurrent();

  Settings& settings_;
  Hooks hooks_;
  QActionGroup* group_;
  std::vector<Entry> commands_;
};

}  // namespace tarvexa
