// A stand-in for systemd-logind, a desktop screen saver and the desktops'
// session managers on a private bus, for the power and keep-awake tests:
// nothing here ever suspends, logs off or powers off anything. Every call is
// appended as one line to the log file before it is answered.
//
//   fake_logind LOG CONTROL
//   fake_logind LOG CONTROL SESSION-MANAGERS
//
// The first form connects to $DBUS_SYSTEM_BUS_ADDRESS and owns
// org.freedesktop.login1 and org.freedesktop.ScreenSaver there. The second
// connects to $DBUS_SESSION_BUS_ADDRESS and owns the session managers named
// in the comma-separated list (gnome, kde, ksmserver, xfce, mate, cinnamon).
// CONTROL is read on every call; its "key=value" lines change the answers:
// "CanSuspend=na" and the like, "Hang=Suspend" leaves that method unanswered
// ("Hang=Logout" a session manager's), and "LogoutError=NAME" makes the
// session managers refuse with that error. When everything is in place the
// log gets the line "READY" (the second form: "READY SESSION-MANAGERS").

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
    Log(QStringLiteral("%1 interactive=%2")
            .arg(QLatin1String(method), QLatin1String(Bool(interactive))));
    if (Control(QStringLiteral("Hang")) == QLatin1String(method))
      setDelayedReply(true);  // never answered
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

// The session managers. Each logs "<interface> <method> <arguments>".
class FakeSessionManager : public QObject, protected QDBusContext {
  Q_OBJECT
 protected:
  void Called(const QString& line) {
    Log(line);
    if (Control(QStringLiteral("Hang")) == QLatin1String("Logout")) {
      setDelayedReply(true);  // never answered
      return;
    }
    const QString error = Control(QStringLiteral("LogoutError"));
    if (!error.isEmpty()) sendErrorReply(error, QStringLiteral("refused by the test"));
  }
};

class FakeGnome : public FakeSessionManager {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.gnome.SessionManager")
 public slots:
  void Logout(uint mode) { Called(QStringLiteral("org.gnome.SessionManager Logout %1").arg(mode)); }
};

class FakeMate : public FakeSessionManager {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mate.SessionManager")
 public slots:
  void Logout(uint mode) { Called(QStringLiteral("org.mate.SessionManager Logout %1").arg(mode)); }
};

class FakeCinnamon : public FakeSessionManager {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.cinnamon.SessionManager")
 public slots:
  void Logout(uint mode) {
    Called(QStringLiteral("org.cinnamon.SessionManager Logout %1").arg(mode));
  }
};

class FakeKdeShutdown : public FakeSessionManager {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.Shutdown")
 public slots:
  void logout() { Called(QStringLiteral("org.kde.Shutdown logout")); }
};

class FakeKsmServer : public FakeSessionManager {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.KSMServerInterface")
 public slots:
  void logout(int confirm, int type, int mode) {
    Called(QStringLiteral("org.kde.KSMServerInterface logout %1 %2 %3")
               .arg(confirm)
               .arg(type)
               .arg(mode));
  }
};

class FakeXfce : public FakeSessionManager {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.xfce.Session.Manager")
 public slots:
  void Logout(bool showDialog, bool allowSave) {
    Called(QStringLiteral("org.xfce.Session.Manager Logout %1 %2")
               .arg(QLatin1String(Bool(showDialog)), QLatin1String(Bool(allowSave))));
  }
};

int RunSessionManagers(const QString& list) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    std::fprintf(stderr, "fake_logind: no session bus: %s\n",
                 qPrintable(bus.lastError().message()));
    return 1;
  }
  struct Entry {
    const char* key;
    const char* service;
    const char* path;
    QObject* object;
  };
  FakeGnome gnome;
  FakeKdeShutdown kde;
  FakeKsmServer ksmserver;
  FakeXfce xfce;
  FakeMate mate;
  FakeCinnamon cinnamon;
  const Entry entries[] = {
      {"gnome", "org.gnome.SessionManager", "/org/gnome/SessionManager", &gnome},
      {"kde", "org.kde.Shutdown", "/Shutdown", &kde},
      {"ksmserver", "org.kde.ksmserver", "/KSMServer", &ksmserver},
      {"xfce", "org.xfce.SessionManager", "/org/xfce/SessionManager", &xfce},
      {"mate", "org.mate.SessionManager", "/org/mate/SessionManager", &mate},
      {"cinnamon", "org.cinnamon.SessionManager", "/org/cinnamon/SessionManager", &cinnamon},
  };
  for (const QString& name : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
    bool found = false;
    for (const Entry& e : entries) {
      if (name != QLatin1String(e.key)) continue;
      found =
          bus.registerObject(QLatin1String(e.path), e.object, QDBusConnection::ExportAllSlots) &&
          bus.registerService(QLatin1String(e.service));
    }
    if (!found) {
      std::fprintf(stderr, "fake_logind: cannot be the session manager %s\n", qPrintable(name));
      return 1;
    }
  }
  Log(QStringLiteral("READY ") + list);
  return QCoreApplication::exec();
}

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: fake_logind LOG CONTROL [SESSION-MANAGERS]\n");
    return 2;
  }
  logPath = QString::fromLocal8Bit(argv[1]);
  controlPath = QString::fromLocal8Bit(argv[2]);
  if (argc == 4) return RunSessionManagers(QString::fromLocal8Bit(argv[3]));

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
            bus.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &screenSaver,
                               exportSlots) &&
            bus.registerService(QStringLiteral("org.freedesktop.login1")) &&
            bus.registerService(QStringLiteral("org.freedesktop.ScreenSaver"));
  if (!ok) {
    std::fprintf(stderr, "fake_logind: cannot register: %s\n",
                 qPrintable(bus.lastError().message()));
    return 1;
  }
  Log(QStringLiteral("READY"));
  return app.exec();
}

#include "fake_logind.moc"
