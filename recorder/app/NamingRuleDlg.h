#pragma once
// "Naming Rule": edits the template that names the split clips, the width of
// the clip count and the timestamp type, with a sample of the result. OK
// refuses a rule without "%sc%" or with a character a file name cannot
// hold, and puts the default rule back in that case.
// Thread affinity: the user-interface thread.

#include <QtWidgets/QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace tarvexa {

struct Settings;

class NamingRuleDlg : public QDialog {
  Q_OBJECT

 public:
  explicit NamingRuleDlg(Settings& settings, QWidget* parent = nullptr);

  QLineEdit* RuleEdit() const { return rule_; }
  QSpinBox* WidthSpin() const { return width_; }
  QComboBox* TimestampList() const { return timestamp_; }
  QString SampleText() const;  // the file name the rule makes of the sample title

  static QString OriginalFileName();  // "/home/user/So Far So Good.mp3"

  void accept() override;

 private:
  void RebuildSample();

  Settings& settings_;
  QLineEdit* rule_;
  QSpinBox* width_;
  QComboBox* timestamp_;
  QLabel* sample_;
};

}  // namespace tarvexa
