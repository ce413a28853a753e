#pragma once
// The "Encoder Options" sheet: the root page "Encoder" and every encoder
// page the format families give (formats/ui/FormatFamilyUi.h), arranged as
// a tree by their titles ("Encoder", "Encoder::WAV", "Encoder::MP3::CBR",
// ...) beside the page shown. A page is loaded the
// first time it is shown; leaving a page or accepting the sheet asks the
// opened pages to validate themselves, and accepting stores them all.
// "Reset" on the root page gives every setting its default (through the
// reset handler of the window) and loads every opened page again.
// Thread affinity: the user-interface thread.

#include <QtWidgets/QDialog>

#include <functional>
#include <vector>

#include "config/ConfigStore.h"
#include "config/Settings.h"

class QLabel;
class QPushButton;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace tarvexa {

class OptionPage;

class EncoderOptionsSheet : public QDialog {
  Q_OBJECT

 public:
  // settings: the process-wide settings, written when the sheet is
  // accepted. log: the event log. resetAll: deletes the configuration file,
  // loads the defaults and re-initialises the window's own pages.
  EncoderOptionsSheet(Settings& settings, LogSink log, std::function<void()> resetAll,
                      QWidget* parent = nullptr);

  // Every page, in tree order.
  const std::vector<OptionPage*>& Pages() const { return pages_; }
  OptionPage* Page(const QString& title) const;
  template <class T>
  T* PageAs(const QString& title) const {
    return qobject_cast<T*>(Page(title));
  }
  OptionPage* CurrentPage() const { return current_; }
  // Makes the page current (loading it on its first showing). False when
  // there is no such page or the current page refuses to be left.
  bool ShowPage(const QString& title);

  QTreeWidget* Tree() const { return tree_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }

  void accept() override;

 private:
  void AddPage(OptionPage* page);
  QTreeWidgetItem* ItemFor(const QString& title);
  void ItemChosen(QTreeWidgetItem* item, QTreeWidgetItem* previous);
  void Activate(OptionPage* page);
  void ResetAll();

  Settings& settings_;
  LogSink log_;
  std::function<void()> resetAll_;
  std::vector<OptionPage*> pages_;
  OptionPage* current_ = nullptr;
  QTreeWidget* tree_;
  QStackedWidget* stack_;
  QLabel* heading_;
  QPushButton* ok_;
  QPushButton* cancel_;
};

}  // namespace tarvexa
