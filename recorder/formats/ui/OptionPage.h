#pragma once
// One page of the "Encoder Options" sheet. A page fills its controls from
// the settings the first time it is shown (Load), enables and disables the
// controls that depend on others (Stabilize), may refuse to be left or
// accepted (Validate, which shows its own message), and writes its controls
// back into the settings when the sheet is accepted (Store). Pages never
// shown are neither validated nor stored.
// Thread affinity: the user-interface thread.

#include <QtWidgets/QWidget>

#include <string>

#include "config/ConfigStore.h"
#include "config/Settings.h"

namespace tarvexa {

class OptionPage : public QWidget {
  Q_OBJECT

 public:
  // title: the page's place in the sheet's tree, "Encoder::MP3::CBR".
  OptionPage(QString title, Settings& settings, QWidget* parent = nullptr);

  const QString& Title() const { return title_; }

  // Fills the controls from the settings and stabilizes them; the page
  // counts as opened from then on and is no longer modified.
  void LoadPage();
  bool IsLoaded() const { return loaded_; }
  bool IsModified() const { return modified_; }

  // False keeps the sheet on this page (the page has said why).
  virtual bool Validate() { return true; }
  // Writes the controls into the settings.
  virtual void Store() {}
  // Each time the page becomes the current one.
  virtual void Activated() {}

  // Where the page writes event-log lines.
  void SetLogSink(LogSink log) { log_ = std::move(log); }

 signals:
  void modified();

 protected:
  virtual void Load() = 0;
  virtual void Stabilize() {}
  // A control changed: mark the page modified and stabilize it. Ignored
  // while the page is loading.
  void Changed();
  void Log(const std::string& text, int level) const;

  Settings& settings_;

 private:
  QString title_;
  LogSink log_;
  bool loaded_ = false;
  bool loading_ = false;
  bool modified_ = false;
};

}  // namespace tarvexa
