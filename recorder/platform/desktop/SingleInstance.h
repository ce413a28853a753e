#pragma once
// One recorder per user: the first instance holds a lock file and listens on
// a local socket; a later one finds the lock taken, asks the first to come to
// the front ("raise") and ends.
//
// Files, per user: <dir>/<appName>-<uid>.lock and <dir>/<appName>-<uid>.sock,
// dir = $XDG_RUNTIME_DIR, or /tmp when it is not set.
// Thread affinity: the thread that owns the object (the GUI thread); its
// event loop delivers raiseRequested().

#include <QtCore/QByteArray>
#include <QtCore/QObject>
#include <QtCore/QString>

class QLocalServer;

namespace tarvexa {

class SingleInstance : public QObject {
  Q_OBJECT

 public:
  explicit SingleInstance(QObject* parent = nullptr);
  ~SingleInstance() override;  // gives up the lock and the socket

  // True when this process is now the one instance: it holds the lock and
  // listens for "raise". False when another instance holds the lock; that
  // instance has then been asked to raise its window (if it could be
  // reached). A socket file left by a crashed instance does not count.
  // Call once.
  bool TryBecomePrimary(const QString& appName);

  // Set when this instance is primary but the guard is incomplete: the lock
  // file could not be opened (so another instance cannot be detected), or the
  // socket could not be set up (so later starts cannot raise this one).
  // Empty otherwise; worth a log line, not a reason to stop.
  QString ListenError() const { return listenError_; }

  QString LockPath() const { return lockPath_; }
  QString SocketPath() const { return socketPath_; }

 signals:
  // A second start asked this instance to show its window.
  void raiseRequested();

 private:
  void OnNewConnection();
  static bool AskPrimaryToRaise(const QString& socketPath);

  int lockFd_ = -1;
  QLocalServer* server_ = nullptr;
  QString lockPath_;
  QString socketPath_;
  QString listenError_;
};

}  // namespace tarvexa
