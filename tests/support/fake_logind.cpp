// A stand-in for systemd-logind and a desktop screen saver on a private bus,
// for the power and keep-awake tests: nothing here ever suspends or powers
// off anything. Every call is appended as one line to the log file before it
// is answered.
//
//   fake_logind LOG CONTROL
//
// Connects to $DBUS_SYSTEM_BUS_ADDRESS and owns org.freedesktop.login1 and
// org.freedesktop.ScreenSaver there. CONTROL is read on every call; its
// "key=value" lines change the answers: "CanSuspend=na" and the like, and
// "Hang=Suspend" leaves that method unanswered. When everything is in place
// the log gets the line "READY".

#include <fcntl.h>
#include <unistd.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QFile>
#include <QtCore/QSocketNotifier>
#include <QtCore/QTextStream>
#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusContext>
#include <QtDBus/QDBusMessage>
#include <QtDBus/QDBusObjectPath>
#include <QtDBus/QDBusUnixFileDescriptor>

#include <cstdio>

namespace {

QString logPath;
QString controlPath;

void Log(const QString& line) {
  QFile f(logPath);
  if (f.open(QIODevice::Append | QIODevice::Text)) {
    f.write(line.toUtf8() + '\n');
    f.flush();
  }
}

QString Control(const QString& key) {
  QFile f(controlPath);
  if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
  QTextStream in(&f);
  QString line;
  while (in.readLineInto(&line)) {
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq > 0 && line.left(eq).trimmed() == key) return line.mid(eq + 1).trimmed();
  }
  return {};
}

const char* Bool(bool b) { return b ? "true" : "false"; }

}  // namespace

class FakeManager : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

 public slots:
  void PowerOff(bool interactive) { Act("PowerOff", interactive); }
  void Reboot(bool interactive) { Act("Reboot", interactive); }
  void Suspend(bool interactive) { Act("Suspend", interactive); }
  void Hibernate(bool interactive) { Act("Hibernate", interactive); }

  QString CanPowerOff() { return Can("CanPowerOff"); }
  QString CanReboot() { return Can("CanReboot"); }
  QString CanSuspend() { return Can("CanSuspend"); }
  QString CanHibernate() { return Can("CanHibernate"); }

  void TerminateSession(const QString& id) { Log(QStringLiteral("TerminateSession ") + id); }

  QDBusObjectPath GetSessionByPID(uint pid) {
    Log(QStringLiteral("GetSessionByPID %1").arg(pid));
    return QDBusObjectPath(QStringLiteral("/org/freedesktop/login1/session/_3fake"));
  }

  // Like logind: hand out one end of a pipe and watch the other; the lock
  // ends when every copy of the handed-out end is closed.
  QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why,
                                  const QString& mode) {
    Log(QStringLiteral("Inhibit %1|%2|%3|%4").arg(what, who, why, mode));
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return {};
    auto* watch = new QSocketNotifier(fds[0], QSocketNotifier::Read, this);
    connect(watch, &QSocketNotifier::activated, this, [watch, what, readEnd = fds[0]] {
      char buf[64];
      if (read(readEnd, buf, sizeof buf) > 0) return;
      Log(QStringLiteral("InhibitorClosed ") + what);
      watch->setEnabled(false);
      watch->deleteLater();
      close(readEnd);
    });
    QDBusUnixFileDescriptor handed(fds[1]);  // keeps a duplicate
    close(fds[1]);
    return handed;
  }

 private:
  void Act(const char* method, bool interactive) {
    Log(QStringLiteral("%1 interactive=%2").arg(QLatin1String(method), QLatin1String(Bool(interactive))));
    if (Control(QStringLiteral("Hang")) == QLatin1String(method)) setDelayedReply(true);  // never answered
  }
  QString Can(const char* method) {
    Log(QLatin1String(method));
    const QString answer = Control(QLatin1String(method));
    return answer.isEmpty() ? QStringLiteral("yes") : answer;
  }
};

class FakeSession : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Session")
  Q_PROPERTY(QString Id READ Id)

 public:
  QString Id() const { return QStringLiteral("c42"); }

 public slots:
  void Terminate() { Log(QStringLiteral("Session.Terminate")); }
};

class FakeScreenSaver : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

 public slots:
  uint Inhibit(const QString& application, const QString& reason) {
    Log(QStringLiteral("ScreenSaver.Inhibit %1|%2").arg(application, reason));
    return 7;
  }
  void UnInhibit(uint cookie) { Log(QStringLiteral("ScreenSaver.UnInhibit %1").arg(cookie)); }
};

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: fake_logind LOG CONTROL\n");
    return 2;
  }
  logPath = QString::fromLocal8Bit(argv[1]);
  controlPath = QString::fromLocal8Bit(argv[2]);

  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected()) {
    std::fprintf(stderr, "fake_logind: no bus: %s\n", qPrintable(bus.lastError().message()));
    return 1;
  }
  FakeManager manager;
  FakeSession session;
  FakeScreenSaver screenSaver;
  const auto exportSlots = QDBusConnection::ExportAllSlots;
  bool ok = bus.registerObject(QStringLiteral("/org/freedesktop/login1"), &manager, exportSlots) &&
            bus.registerObject(QStringLiteral("/org/freedesktop/login1/session/_3fake"), &session,
                               exportSlots | QDBusConnection::ExportAllProperties) &&
            bus.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &screenSaver, exportSlots) &&
            bus.registerService(QStringLiteral("org.freedesktop.login1")) &&
            bus.registerService(QStringLiteral("org.freedesktop.ScreenSaver"));
  if (!ok) {
    std::fprintf(stderr, "fake_logind: cannot register: %s\n", qPrintable(bus.lastError().message()));
    return 1;
  }
  Log(QStringLiteral("READY"));
  return app.exec();
}

#include "fake_logind.moc"
