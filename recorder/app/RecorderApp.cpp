#include "app/RecorderApp.h"

#include <fcntl.h>
#include <unistd.h>

#include <QtCore/QSocketNotifier>
#include <QtWidgets/QApplication>

#include <csignal>

#include "app/RecorderDlg.h"
#include "platform/desktop/SingleInstance.h"

namespace tarvexa {

namespace {

// The end of the desktop session (or a kill) arrives as SIGTERM or SIGHUP;
// it ends the program through the exit sequence, as closing the window
// does, so that the recording is closed and the settings are saved.
int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char c = 1;
  [[maybe_unused]] auto n = write(g_signalPipe[1], &c, 1);
}

void CatchEndSignals(CRecorderDlg& dlg) {
  if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &dlg);
  QObject::connect(notifier, &QSocketNotifier::activated, &dlg, [&dlg] {
    char buf[16];
    while (read(g_signalPipe[0], buf, sizeof buf) > 0) {}
    dlg.ExitSequence();
  });
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (int sig : {SIGTERM, SIGHUP, SIGINT}) sigaction(sig, &sa, nullptr);
}

}  // namespace

int RunRecorderWindow(int argc, char** argv) {
  QApplication app(argc, argv);
  // The window may live on in the notification area with no window shown;
  // the exit sequence ends the program.
  app.setQuitOnLastWindowClosed(false);
  // Names the installed launcher, so that the desktop shows its icon and
  // name for the window (packaging/org.tarvexa.SoundRecorder.desktop).
  QGuiApplication::setDesktopFileName(QStringLiteral("org.tarvexa.SoundRecorder"));

  // The application name comes from the executable's name.
  SingleInstance instance;
  if (!instance.TryBecomePrimary(QCoreApplication::applicationName())) return 0;

  CRecorderDlg dlg;
  QObject::connect(&instance, &SingleInstance::raiseRequested, &dlg, &CRecorderDlg::BringToFront);
  // The components could not be created: the boxes have told the user; the
  // exit status tells a script.
  if (!dlg.Initialize()) return 1;
  if (!instance.ListenError().isEmpty())
    dlg.Log().Write("Warning: a second start cannot bring this window to the front: " +
                        instance.ListenError().toStdString(),
                    1);
  QObject::connect(&dlg, &QDialog::finished, &app, &QCoreApplication::quit);
  CatchEndSignals(dlg);
  dlg.show();
  return app.exec();
}

}  // namespace tarvexa
