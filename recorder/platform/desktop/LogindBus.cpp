#include "platform/desktop/LogindBus.h"

#include <sys/stat.h>

#include <QtCore/QFile>
#include <QtDBus/QDBusError>

#include <atomic>

namespace tarvexa::logind {

namespace {
std::atomic<unsigned> connectionCounter{0};
}

QString BusAddress(QDBusConnection::BusType type) {
  if (type == QDBusConnection::SystemBus) {
    const QString env = qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS");
    return env.isEmpty() ? QStringLiteral("unix:path=/var/run/dbus/system_bus_socket") : env;
  }
  const QString env = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
  if (!env.isEmpty()) return env;
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (runtime.isEmpty()) return {};
  const QString socket = runtime + QStringLiteral("/bus");
  struct stat st {};
  if (::stat(QFile::encodeName(socket).constData(), &st) != 0 || !S_ISSOCK(st.st_mode)) return {};
  return QStringLiteral("unix:path=") + socket;
}

namespace {

// Connects to `address`; with an empty address, a connection that is not
// connected (the name is not used by anything else).
QDBusConnection Connect(const QString& address, const QString& name) {
  if (address.isEmpty()) return QDBusConnection(name);
  return QDBusConnection::connectToBus(address, name);
}

}  // namespace

BusConnection::BusConnection(QDBusConnection::BusType type)
    : name_(QStringLiteral("tarvexa-%1-%2")
                .arg(type == QDBusConnection::SystemBus ? QStringLiteral("system")
                                                        : QStringLiteral("session"))
                .arg(++connectionCounter)),
      connection_(Connect(BusAddress(type), name_)) {}

BusConnection::~BusConnection() { QDBusConnection::disconnectFromBus(name_); }

std::string BusConnection::Error() const {
  if (connection_.isConnected()) return {};
  const QDBusError err = connection_.lastError();
  if (err.isValid() && !err.message().isEmpty()) return err.message().toStdString();
  return "not connected";
}

QDBusMessage BusConnection::Call(const QDBusMessage& call) {
  return connection_.call(call, QDBus::Block, kCallTimeoutMs);
}

std::string ErrorText(const QDBusMessage& reply) {
  if (reply.type() != QDBusMessage::ErrorMessage) return "unexpected reply";
  std::string text = reply.errorName().toStdString();
  const std::string message = reply.errorMessage().toStdString();
  if (!message.empty()) text += ": " + message;
  return text;
}

}  // namespace tarvexa::logind
