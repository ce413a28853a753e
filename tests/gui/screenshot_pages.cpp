// Saves a picture of the main window on each of its eight pages:
//
//   xvfb-run -a build/bin/screenshot_pages docs/screenshots [--dialogs]
//
// With --dialogs the naming-rule, tip-of-the-day and About dialogs are
// saved too (dialog-<name>.png).
//
// The window starts as it would for a user, in a scratch data folder
// ($TARVEXA_HOME when set), with every message box answered by its default
// button and reported on standard error.
//
// With TARVEXA_TEST_INPUT_FILE set (a WAV file, read in real time with
// TARVEXA_TEST_INPUT_REALTIME=1), the pictures are taken during a recording
// of that file (in place of the sound card) into the data folder, so that
// the displays move.
#include <stdlib.h>

#include <QtCore/QDir>
#include <QtCore/QElapsedTimer>
#include <QtCore/QStandardPaths>
#include <QtWidgets/QApplication>

#include <cstdio>
#include <string>

#include "app/AboutDlg.h"
#include "app/NamingRuleDlg.h"
#include "app/RecorderDlg.h"
#include "app/TipDlg.h"
#include "config/ConfigStore.h"
#include "formats/FormatCatalogue.h"
#include "platform/Paths.h"
#include "widgets/MessageBox.h"

using namespace tarvexa;

namespace {
void Settle(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3 || (argc == 3 && std::string(argv[2]) != "--dialogs")) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER [--dialogs]\n", argv[0]);
    return 2;
  }
  const bool dialogs = argc == 3;
  const QString out = QString::fromLocal8Bit(argv[1]);
  if (!getenv("TARVEXA_HOME")) {
    char dir[] = "/tmp/tarvexa-screenshots-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    setenv("TARVEXA_HOME", dir, 1);
  }
  QApplication app(argc, argv);
  SetMessageBoxHook([](const MessageBoxRequest& r) {
    std::fprintf(stderr, "box: %s\n", r.text.toUtf8().constData());
    return r.defaultButton != QMessageBox::NoButton ? r.defaultButton : QMessageBox::Ok;
  });
  QDir().mkpath(out);

  CRecorderDlg dlg;
  dlg.SetTipAtStartup(false);
  if (!dlg.Initialize()) return 1;
  dlg.show();
  Settle(500);
  if (const char* input = getenv("TARVEXA_TEST_INPUT_FILE"); input && *input) {
    const char* realTime = getenv("TARVEXA_TEST_INPUT_REALTIME");
    dlg.SetInputFactory(FileInsteadOfDevice(input, !(realTime && *realTime == '1')));
    Settings& s = dlg.CurrentSettings();
    // Nothing to keep awake here; its warning would fill the status field.
    s.MISC.PowerAlwOn = s.MISC.DispAlwOn = 0;
    const std::string out = DataFile("screenshots") + FileExtensionFor(s.OUTPUT.OutputFormat, s);
    if (!dlg.StartRecordingTo(QString::fromStdString(out))) return 1;
    Settle(3000);
  }
  for (int page = 0; page < CRecorderDlg::kPageCount; ++page) {
    dlg.SelectPage(page);
    Settle(200);
    const QString name = QStringLiteral("%1/page-%2-%3.png")
                             .arg(out)
                             .arg(page)
                             .arg(QString::fromUtf8(CRecorderDlg::PageName(page)).toLower());
    if (!dlg.grab().save(name)) {
      std::fprintf(stderr, "cannot write %s\n", name.toUtf8().constData());
      return 1;
    }
    std::printf("%s\n", name.toUtf8().constData());
  }
  if (!dialogs) return 0;

  auto save = [&](QWidget& w, const char* name) {
    w.show();
    Settle(300);
    const QString file = QStringLiteral("%1/dialog-%2.png").arg(out, QString::fromUtf8(name));
    w.grab().save(file);
    std::printf("%s\n", file.toUtf8().constData());
    w.hide();
  };
  NamingRuleDlg naming(dlg.CurrentSettings(), &dlg);
  save(naming, "naming-rule");
  ConfigStore store(DataFile("Config.ini"));
  TipDlg tip(QString::fromStdString(ProgramFolder() + "/Tips.tip"), store, 1, &dlg);
  save(tip, "tip");
  AboutDlg about(&dlg);
  save(about, "about");
  return 0;
}
