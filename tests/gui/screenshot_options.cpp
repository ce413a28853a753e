// Saves pictures of the "Encoder Options" sheet on some of its pages:
//
//   xvfb-run -a build/bin/screenshot_options docs/screenshots [Title ...]
//
// Without titles every page is saved. Each picture is named after the page:
// "Encoder::MP3::VBR" becomes options-mp3-vbr.png, the root page
// options-encoder.png. The sheet shows the settings of $TARVEXA_HOME/Config.ini
// when there is one. The title "menu" saves the Format button's menu as
// format-menu.png. The sheet works on a scratch data folder
// ($TARVEXA_HOME when set); message boxes are answered with their default.
#include <stdlib.h>

#include <QtCore/QDir>
#include <QtCore/QElapsedTimer>
#include <QtWidgets/QApplication>

#include <cstdio>

#include "config/ConfigStore.h"
#include "formats/ui/EncoderOptionsSheet.h"
#include "formats/ui/FormatMenu.h"
#include "formats/ui/OptionPage.h"
#include "platform/Paths.h"
#include "widgets/MessageBox.h"

using namespace tarvexa;

namespace {
void Settle(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

QString FileName(const QString& title) {
  QString name = title.toLower();
  if (name.startsWith(QStringLiteral("encoder::"))) name = name.mid(9);
  name.replace(QStringLiteral("::"), QStringLiteral("-"));
  return QStringLiteral("options-%1.png").arg(name);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER [PAGE_TITLE ...]\n", argv[0]);
    return 2;
  }
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
  const QString out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(out);

  Settings settings;
  ConfigStore store(DataFile("Config.ini"));
  store.Load(settings, nullptr);  // the defaults when there is no Config.ini
  EncoderOptionsSheet sheet(settings, nullptr, [&] { store.Reset(settings, nullptr); });
  sheet.show();
  Settle(300);

  QStringList titles;
  for (int i = 2; i < argc; ++i) titles << QString::fromLocal8Bit(argv[i]);
  if (titles.isEmpty())
    for (OptionPage* p : sheet.Pages()) titles << p->Title();
  for (const QString& title : titles) {
    if (title == QStringLiteral("menu")) {
      FormatMenu menu(settings, {});
      menu.popup(QPoint(0, 0));
      Settle(200);
      const QString name = out + "/format-menu.png";
      if (!menu.grab().save(name)) return 1;
      std::printf("%s\n", name.toUtf8().constData());
      continue;
    }
    if (!sheet.ShowPage(title)) {
      std::fprintf(stderr, "no page %s\n", title.toUtf8().constData());
      return 1;
    }
    Settle(150);
    const QString name = out + "/" + FileName(title);
    if (!sheet.grab().save(name)) {
      std::fprintf(stderr, "cannot write %s\n", name.toUtf8().constData());
      return 1;
    }
    std::printf("%s\n", name.toUtf8().constData());
  }
  return 0;
}
