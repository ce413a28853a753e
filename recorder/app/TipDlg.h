#pragma once
// Tip of the Day: shows the tips of Tips.tip (beside the executable) one at
// a time. A tip is a line that does not start with a blank, a tab or ";";
// after the last tip the first comes again. "&Show tips on startup" is
// "MISC" "Tip" in Config.ini, written when the dialog is closed with OK.
// Thread affinity: the user-interface thread.

#include <QtCore/QFile>
#include <QtWidgets/QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

namespace tarvexa {

class ConfigStore;

class TipDlg : public QDialog {
  Q_OBJECT

 public:
  // skip: how many tips to pass over first (the start-up dialog passes a
  // random number of them so that each start shows another tip).
  TipDlg(const QString& tipsFile, const ConfigStore& store, int skip, QWidget* parent = nullptr);

  QString TipText() const;
  QPushButton* NextButton() const { return next_; }
  QCheckBox* ShowAtStartup() const { return showAtStart_; }

  void accept() override;

  // The next tip from the file; rewinds at the end. Empty with *problem set
  // when no tip can be read.
  static QString NextTip(QFile& file, QString* problem);

 private:
  void ShowNext();

  const ConfigStore& store_;
  QFile file_;
  QLabel* tip_;
  QPushButton* next_;
  QCheckBox* showAtStart_;
};

}  // namespace tarvexa
