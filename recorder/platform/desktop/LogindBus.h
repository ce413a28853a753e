#pragma once
// Shared by the logind services: a private connection to a message bus that
// is opened per use (so a changed bus address is always honoured and no
// shared connection is left half-broken), and the timeout for every call.
//
// Bus addresses are found as libdbus does, but read afresh on every use:
// the system bus at $DBUS_SYSTEM_BUS_ADDRESS, else the well-known socket; the
// session bus at $DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus. There
// is no "autolaunch" of a session bus: no session bus means none.

#include <QtCore/QString>
#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusMessage>

#include <string>

namespace tarvexa::logind {

inline constexpr int kCallTimeoutMs = 5000;

inline const QString kService = QStringLiteral("org.freedesktop.login1");
inline const QString kPath = QStringLiteral("/org/freedesktop/login1");
inline const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");

// The address of the system or session bus; empty when there is no session bus.
QString BusAddress(QDBusConnection::BusType type);

// A connection of its own to the system or session bus; disconnected when the
// object goes. isConnected() false (and Error() the reason) when there is no bus.
class BusConnection {
 public:
  explicit BusConnection(QDBusConnection::BusType type);
  ~BusConnection();
  BusConnection(const BusConnection&) = delete;
  BusConnection& operator=(const BusConnection&) = delete;

  bool isConnected() const { return connection_.isConnected(); }
  std::string Error() const;
  // Sends `call` and waits for the reply, at most kCallTimeoutMs.
  QDBusMessage Call(const QDBusMessage& call);

 private:
  QString name_;
  QDBusConnection connection_;
};

// The text of an error reply, e.g. "org.freedesktop.DBus.Error.ServiceUnknown: ...".
std::string ErrorText(const QDBusMessage& reply);

}  // namespace tarvexa::logind
