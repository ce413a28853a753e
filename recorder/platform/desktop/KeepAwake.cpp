#include "platform/desktop/KeepAwake.h"

#include <fcntl.h>
#include <unistd.h>

#include <QtDBus/QDBusUnixFileDescriptor>

#include "platform/desktop/LogindBus.h"

namespace tarvexa {

namespace {

const QString kWho = QStringLiteral("Tarvexa Sound Recorder");
const QString kWhy = QStringLiteral("Recording");

const QString kScreenSaverService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kScreenSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");

void AddError(std::string* error, const std::string& text) {
  if (!error) return;
  if (!error->empty()) *error += "; ";
  *error += text;
}

}  // namespace

KeepAwake::KeepAwake() = default;

KeepAwake::~KeepAwake() { Release(); }

bool KeepAwake::Acquire(bool system, bool display, std::string* error) {
  Release();
  if (error) error->clear();
  if (!system && !display) return true;

  QString what;
  if (system) what = QStringLiteral("sleep");
  if (display) what += what.isEmpty() ? QStringLiteral("idle") : QStringLiteral(":idle");

  bool ok = InhibitLogind(what, error);
  if (display && !InhibitScreenSaver(error)) ok = false;
  return ok;
}

bool KeepAwake::InhibitLogind(const QString& what, std::string* error) {
  logind::BusConnection bus(QDBusConnection::SystemBus);
  if (!bus.isConnected()) {
    AddError(error, "Cannot keep the computer awake: no connection to the system bus (" +
                        bus.Error() + ")");
    return false;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(logind::kService, logind::kPath,
                                                     logind::kManager, QStringLiteral("Inhibit"));
  call << what << kWho << kWhy << QStringLiteral("block");
  const QDBusMessage reply = bus.Call(call);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
    AddError(error, "Cannot keep the computer awake: " + logind::ErrorText(reply));
    return false;
  }
  const QDBusUnixFileDescriptor lock = reply.arguments().at(0).value<QDBusUnixFileDescriptor>();
  if (!lock.isValid()) {
    AddError(error, "Cannot keep the computer awake: logind sent no lock descriptor");
    return false;
  }
  // The reply's descriptor closes with the reply; keep a copy of our own,
  // closed on exec so that programs we start do not hold the lock.
  inhibitorFd_ = fcntl(lock.fileDescriptor(), F_DUPFD_CLOEXEC, 3);
  if (inhibitorFd_ < 0) {
    AddError(error, "Cannot keep the computer awake: cannot keep the lock descriptor");
    return false;
  }
  return true;
}

bool KeepAwake::InhibitScreenSaver(std::string* error) {
  // Without a desktop session bus there is no screen saver to ask.
  if (logind::BusAddress(QDBusConnection::SessionBus).isEmpty()) return true;
  auto bus = std::make_unique<logind::BusConnection>(QDBusConnection::SessionBus);
  if (!bus->isConnected()) return true;

  QDBusMessage call = QDBusMessage::createMethodCall(
      kScreenSaverService, kScreenSaverPath, kScreenSaverService, QStringLiteral("Inhibit"));
  call << kWho << kWhy;
  const QDBusMessage reply = bus->Call(call);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
    const QString name = reply.errorName();
    // Desktops without a screen saver service: logind's idle lock is enough.
    if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
        name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
      return true;
    AddError(error, "Cannot keep the display on: " + logind::ErrorText(reply));
    return false;
  }
  screenSaverCookie_ = reply.arguments().at(0).toUInt();
  // The screen saver drops the inhibition when this connection closes, so it
  // stays open until Release.
  screenSaver_ = std::move(bus);
  return true;
}

void KeepAwake::Release() {
  if (inhibitorFd_ >= 0) {
    ::close(inhibitorFd_);
    inhibitorFd_ = -1;
  }
  if (screenSaver_) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        kScreenSaverService, kScreenSaverPath, kScreenSaverService, QStringLiteral("UnInhibit"));
    call << screenSaverCookie_;
    screenSaver_->Call(call);  // closing the connection releases it as well
    screenSaver_.reset();
    screenSaverCookie_ = 0;
  }
}

}  // namespace tarvexa
