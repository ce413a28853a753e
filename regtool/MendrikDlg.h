#pragma once
// Mendrik's window. "Repair" checks the two system libraries the recorder's
// components cannot live without and registers every component library found
// in the "components" folder beside Mendrik, by starting the registration
// helper once per library and waiting for its exit status; the outcome is
// listed line by line, blue for success, red for failure. "Exit" closes it.
// Thread affinity: the user-interface thread.

#include <QtCore/QList>
#include <QtCore/QString>
#include <QtGui/QColor>
#include <QtWidgets/QDialog>
#include <array>
#include <vector>

class QProcess;
class QPushButton;
class QTextEdit;

namespace mendrik {

class MendrikDlg : public QDialog {
  Q_OBJECT

 public:
  // The system libraries every component links: the C++ runtime and the C
  // library, checked in this order.
  static constexpr std::array<const char*, 2> kSystemLibraries = {"libstdc++.so.6", "libc.so.6"};

  // Where a repair looks.
  struct Places {
    QString programFolder;  // the component libraries are in its "components" folder
    QString helper;         // the registration helper program
    // Full paths of kSystemLibraries, "" for one the system does not have.
    std::array<QString, 2> systemLibraries;
  };
  // Mendrik's own folder, the helper beside it, and the system libraries
  // where the dynamic linker finds them.
  static Places DefaultPlaces();

  explicit MendrikDlg(Places places, QWidget* parent = nullptr);
  ~MendrikDlg() override;

  struct Line {
    QString text;
    QColor colour;
  };
  // The log as shown, one entry per line.
  QList<Line> LogLines() const;
  QPushButton* RepairButton() const { return repair_; }
  QPushButton* ExitButton() const { return exit_; }
  bool Busy() const { return running_; }

 public slots:
  // Appends one repair block to the log. Pressed while a repair runs, the
  // new block follows when that one is done.
  void Repair();

 signals:
  // The last line of a repair block is written.
  void repairDone();

 private:
  struct Step {
    QString path;  // "" when there is none
    QString name;  // as shown in the log
    bool system;
  };

  void LogLine(const QString& text, const QColor& colour);
  void StartRun();
  void NextStep();
  void StartHelper(const Step& step);
  void StepDone(QProcess* process, bool ok);

  Places places_;
  QTextEdit* log_;
  QPushButton* repair_;
  QPushButton* exit_;
  std::vector<Step> steps_;
  size_t next_ = 0;
  bool running_ = false;
  int pending_ = 0;
  QProcess* process_ = nullptr;
};

}  // namespace mendrik
