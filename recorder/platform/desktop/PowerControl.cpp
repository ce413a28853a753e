#include "platform/desktop/PowerControl.h"

#include <unistd.h>

#include <QtDBus/QDBusObjectPath>
#include <QtDBus/QDBusVariant>

#include <cstdlib>

#include "platform/desktop/LogindBus.h"

namespace tarvexa {

namespace {

using logind::BusConnection;
using logind::ErrorText;

void SetError(std::string* error, const std::string& text) {
  if (error) *error = text;
}

struct ActionCalls {
  const char* can;     // Can* query, nullptr when logind has none
  const char* method;  // Manager method taking `interactive`
};

ActionCalls CallsFor(PowerAction action) {
  switch (action) {
    case PowerAction::Suspend: return {"CanSuspend", "Suspend"};
    case PowerAction::Hibernate: return {"CanHibernate", "Hibernate"};
    case PowerAction::Reboot: return {"CanReboot", "Reboot"};
    case PowerAction::PowerOff: return {"CanPowerOff", "PowerOff"};
    case PowerAction::LogOff: break;
  }
  return {nullptr, nullptr};
}

QDBusMessage ManagerCall(const char* method) {
  return QDBusMessage::createMethodCall(logind::kService, logind::kPath, logind::kManager,
                                        QString::fromLatin1(method));
}

// The login session this process belongs to, as logind's session id.
bool CallerSession(BusConnection& bus, QString* id, std::string* error) {
  if (const char* env = std::getenv("XDG_SESSION_ID"); env && *env) {
    *id = QString::fromLocal8Bit(env);
    return true;
  }
  QDBusMessage byPid = ManagerCall("GetSessionByPID");
  byPid << static_cast<uint>(getpid());
  QDBusMessage reply = bus.Call(byPid);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
    SetError(error, "Cannot find the login session of this program: " + ErrorText(reply));
    return false;
  }
  const QString path = reply.arguments().at(0).value<QDBusObjectPath>().path();
  QDBusMessage get = QDBusMessage::createMethodCall(
      logind::kService, path, QStringLiteral("org.freedesktop.DBus.Properties"),
      QStringLiteral("Get"));
  get << QStringLiteral("org.freedesktop.login1.Session") << QStringLiteral("Id");
  reply = bus.Call(get);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
    SetError(error, "Cannot read the login session id: " + ErrorText(reply));
    return false;
  }
  *id = reply.arguments().at(0).value<QDBusVariant>().variant().toString();
  if (id->isEmpty()) {
    SetError(error, "Cannot read the login session id: empty answer");
    return false;
  }
  return true;
}

// The desktops' session managers, in the order they are looked for; each
// is asked to log off without a confirmation of its own (the recorder has
// asked already) and without force.
struct SessionManager {
  const char* desktop;
  const char* service;
  const char* path;
  const char* interface;
  const char* method;
  void (*arguments)(QDBusMessage& call);
};

const SessionManager kSessionManagers[] = {
    // Logout(mode): 0 asks, 1 does not ask, 2 forces.
    {"GNOME", "org.gnome.SessionManager", "/org/gnome/SessionManager", "org.gnome.SessionManager",
     "Logout", [](QDBusMessage& call) { call << 1u; }},
    {"KDE Plasma", "org.kde.Shutdown", "/Shutdown", "org.kde.Shutdown", "logout", nullptr},
    // Plasma before 5.25: logout(confirm, type, mode), all 0: no question,
    // log off, when the session's programs have agreed.
    {"KDE Plasma", "org.kde.ksmserver", "/KSMServer", "org.kde.KSMServerInterface", "logout",
     [](QDBusMessage& call) { call << 0 << 0 << 0; }},
    // Logout(show_dialog, allow_save).
    {"Xfce", "org.xfce.SessionManager", "/org/xfce/SessionManager", "org.xfce.Session.Manager",
     "Logout", [](QDBusMessage& call) { call << false << true; }},
    {"MATE", "org.mate.SessionManager", "/org/mate/SessionManager", "org.mate.SessionManager",
     "Logout", [](QDBusMessage& call) { call << 1u; }},
    {"Cinnamon", "org.cinnamon.SessionManager", "/org/cinnamon/SessionManager",
     "org.cinnamon.SessionManager", "Logout", [](QDBusMessage& call) { call << 1u; }},
};

bool HasOwner(BusConnection& bus, const char* service) {
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
  call << QString::fromLatin1(service);
  const QDBusMessage reply = bus.Call(call);
  return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
         reply.arguments().at(0).toBool();
}

// Answers that mean "not this one": the name went away, or the object is an
// older or newer version's.
bool NotThere(const QDBusMessage& reply) {
  static const char* const kNames[] = {
      "org.freedesktop.DBus.Error.ServiceUnknown", "org.freedesktop.DBus.Error.NameHasNoOwner",
      "org.freedesktop.DBus.Error.UnknownObject", "org.freedesktop.DBus.Error.UnknownInterface",
      "org.freedesktop.DBus.Error.UnknownMethod"};
  for (const char* name : kNames)
    if (reply.errorName() == QLatin1String(name)) return true;
  return false;
}

enum class SessionAnswer { LoggingOff, Refused, NoneThere };

SessionAnswer AskSessionManager(std::string* text) {
  BusConnection bus(QDBusConnection::SessionBus);
  if (!bus.isConnected()) {
    *text = "there is no session bus (" + bus.Error() + ")";
    return SessionAnswer::NoneThere;
  }
  for (const SessionManager& sm : kSessionManagers) {
    if (!HasOwner(bus, sm.service)) continue;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(sm.service), QString::fromLatin1(sm.path),
        QString::fromLatin1(sm.interface), QString::fromLatin1(sm.method));
    if (sm.arguments) sm.arguments(call);
    const QDBusMessage reply = bus.Call(call);
    if (reply.type() == QDBusMessage::ReplyMessage) return SessionAnswer::LoggingOff;
    if (NotThere(reply)) continue;
    // Refused, or no answer in time: nothing is forced.
    *text =
        std::string("the ") + sm.desktop + " session manager did not log off: " + ErrorText(reply);
    return SessionAnswer::Refused;
  }
  *text = "no session manager of GNOME, KDE Plasma, Xfce, MATE or Cinnamon is on the session bus";
  return SessionAnswer::NoneThere;
}

// Ends the caller's login session through logind.
bool TerminateSession(std::string* error) {
  BusConnection bus(QDBusConnection::SystemBus);
  if (!bus.isConnected()) {
    SetError(error, "Cannot log off: no connection to the system bus (" + bus.Error() + ")");
    return false;
  }
  QString session;
  std::string why;
  if (!CallerSession(bus, &session, &why)) {
    SetError(error, "Cannot log off: " + why);
    return false;
  }
  QDBusMessage call = ManagerCall("TerminateSession");
  call << session;
  QDBusMessage reply = bus.Call(call);
  if (reply.type() != QDBusMessage::ReplyMessage) {
    SetError(error, "Cannot log off: " + ErrorText(reply));
    return false;
  }
  return true;
}

bool LogOff(std::string* error, const PowerNote& note) {
  std::string text;
  switch (AskSessionManager(&text)) {
    case SessionAnswer::LoggingOff: return true;
    case SessionAnswer::Refused: SetError(error, "Cannot log off: " + text); return false;
    case SessionAnswer::NoneThere: break;
  }
  if (note)
    note(
        "Logging off through logind, which closes every program of the session without letting it "
        "save its work: " +
        text + ".");
  return TerminateSession(error);
}

}  // namespace

const char* PowerActionName(PowerAction action) {
  switch (action) {
    case PowerAction::LogOff: return "log off";
    case PowerAction::Suspend: return "suspend";
    case PowerAction::Hibernate: return "hibernate";
    case PowerAction::Reboot: return "restart";
    case PowerAction::PowerOff: return "shut down";
  }
  return "?";
}

bool RunPowerAction(PowerAction action, std::string* error, const PowerNote& note) {
  if (action == PowerAction::LogOff) return LogOff(error, note);
  const std::string what = PowerActionName(action);
  BusConnection bus(QDBusConnection::SystemBus);
  if (!bus.isConnected()) {
    SetError(error, "Cannot " + what + ": no connection to the system bus (" + bus.Error() + ")");
    return false;
  }

  const ActionCalls calls = CallsFor(action);
  QDBusMessage reply = bus.Call(ManagerCall(calls.can));
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
    SetError(error, "Cannot " + what + ": logind does not answer (" + ErrorText(reply) + ")");
    return false;
  }
  const QString answer = reply.arguments().at(0).toString();
  if (answer == QLatin1String("no") || answer == QLatin1String("na")) {
    SetError(error, "Cannot " + what + ": the system does not allow it (" + calls.can +
                        " answered \"" + answer.toStdString() + "\")");
    return false;
  }

  QDBusMessage call = ManagerCall(calls.method);
  call << false;  // interactive: no password prompt, not forced
  reply = bus.Call(call);
  if (reply.type() != QDBusMessage::ReplyMessage) {
    SetError(error, "Cannot " + what + ": " + ErrorText(reply));
    return false;
  }
  return true;
}

}  // namespace tarvexa
