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
  QDBusMessage get = QDBusMessage::createMethodCall(logind::kService, path,
                                                    QStringLiteral("org.freedesktop.DBus.Properties"),
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

bool RunPowerAction(PowerAction action, std::string* error) {
  const std::string what = PowerActionName(action);
  BusConnection bus(QDBusConnection::SystemBus);
  if (!bus.isConnected()) {
    SetError(error, "Cannot " + what + ": no connection to the system bus (" + bus.Error() + ")");
    return false;
  }

  if (action == PowerAction::LogOff) {
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

  const ActionCalls calls = CallsFor(action);
  QDBusMessage reply = bus.Call(ManagerCall(calls.can));
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
    SetError(error, "Cannot " + what + ": logind does not answer (" + ErrorText(reply) + ")");
    return false;
  }
  const QString answer = reply.arguments().at(0).toString();
  if (answer == QLatin1String("no") || answer == QLatin1String("na")) {
    SetError(error, "Cannot " + what + ": the system does not allow it (" + calls.can + " answered \"" +
                        answer.toStdString() + "\")");
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
