#pragma once
// The "Log" page: the event log as coloured lines (information blue,
// warnings dark red, errors red), "Clear", and "Write Log File".
// Thread affinity: the user-interface thread.

#include <QtWidgets/QWidget>

class QCheckBox;
class QPlainTextEdit;
class QPushButton;

namespace tarvexa {

struct Settings;
class EventLog;

class LogPage : public QWidget {
  Q_OBJECT

 public:
  LogPage(Settings& settings, EventLog& log, QWidget* parent = nullptr);

  // Loads the check box from the settings.
  void Load();
  // Appends one line in the colour of its level; other levels are not shown.
  void Append(const QString& line, int level);
  void Clear();

  QPlainTextEdit* View() const { return view_; }
  QPushButton* ClearButton() const { return clear_; }
  QCheckBox* WriteLogCheck() const { return writeLog_; }

  static QColor LevelColor(int level, bool* shown = nullptr);

 signals:
  void cleared();

 private:
  void Stabilize();

  Settings& settings_;
  EventLog& log_;
  QPlainTextEdit* view_;
  QPushButton* clear_;
  QCheckBox* writeLog_;
};

}  // namespace tarvexa
