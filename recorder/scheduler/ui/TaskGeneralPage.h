#pragma once
// The "General" page of the task editor: title, start date and time, the
// recurrence, the output file, the application and URL to open first,
// activation and the launch confirmation. Load() shows a task, Store() puts
// the page's values into one; Stabilize() enables what the choices allow.
// Thread affinity: the user-interface thread.

#include <QtWidgets/QWidget>

#include <functional>

#include "scheduler/Task.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTimeEdit;

namespace tarvexa {

class TaskGeneralPage : public QWidget {
  Q_OBJECT

 public:
  // Asks for a file: (save dialog?, caption filter, default suffix) -> path
  // or empty. Tests put their own in place of the file dialogs.
  using FileAsker = std::function<QString(bool save, const QString& filter, const QString& suffix)>;

  explicit TaskGeneralPage(QWidget* parent = nullptr);

  void Load(const CTask& task);
  void Store(CTask& task) const;
  void Stabilize();

  // The output file's extension (with its dot), asked when browsing.
  void SetExtensionSource(std::function<std::string()> extension) {
    extension_ = std::move(extension);
  }
  void SetFileAsker(FileAsker asker) { asker_ = std::move(asker); }

  QLineEdit* Title() const { return title_; }
  QDateEdit* StartDate() const { return date_; }
  QTimeEdit* StartTime() const { return time_; }
  QComboBox* Mode() const { return mode_; }
  QLineEdit* OutputFile() const { return output_; }
  QPushButton* OutputBrowse() const { return outputBrowse_; }
  QCheckBox* RunApp() const { return runApp_; }
  QLineEdit* AppCommand() const { return app_; }
  QPushButton* AppBrowse() const { return appBrowse_; }
  QCheckBox* OpenUrl() const { return openUrl_; }
  QLineEdit* Url() const { return url_; }
  QCheckBox* Active() const { return active_; }
  QCheckBox* Confirm() const { return confirm_; }
  QSpinBox* ConfirmSecs() const { return confirmSecs_; }

  void BrowseOutput();
  void BrowseApp();

 private:
  QString Ask(bool save, const QString& filter, const QString& suffix);

  std::function<std::string()> extension_;
  FileAsker asker_;
  QLineEdit* title_;
  QDateEdit* date_;
  QTimeEdit* time_;
  QComboBox* mode_;
  QLineEdit* output_;
  QPushButton* outputBrowse_;
  QCheckBox* runApp_;
  QLineEdit* app_;
  QPushButton* appBrowse_;
  QCheckBox* openUrl_;
  QLineEdit* url_;
  QCheckBox* active_;
  QCheckBox* confirm_;
  QSpinBox* confirmSecs_;
};

// Quotes a path so that a shell (and SplitShellWords) reads it back as one
// word; a path of plain characters stays as it is.
QString QuoteAsOneWord(const QString& path);

}  // namespace tarvexa
