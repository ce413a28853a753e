#include "platform/desktop/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QThread>
#include <QtNetwork/QLocalServer>
#include <QtNetwork/QLocalSocket>

#include <cerrno>
#include <cstring>
#include <memory>

namespace tarvexa {

namespace {

const QByteArray kRaise = QByteArrayLiteral("raise\n");
constexpr int kConnectTimeoutMs = 500;
constexpr int kConnectAttempts = 6;  // the first instance may still be starting

QString RuntimeDir() {
  const QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!dir.isEmpty() && QDir(dir).exists()) return dir;
  return QStringLiteral("/tmp");
}

}  // namespace

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {}

SingleInstance::~SingleInstance() {
  if (server_) {
    server_->close();  // removes the socket file
    delete server_;
    server_ = nullptr;
  }
  if (lockFd_ >= 0) ::close(lockFd_);  // releases the lock; the file stays
}

bool SingleInstance::TryBecomePrimary(const QString& appName) {
  const QString base =
      RuntimeDir() + QLatin1Char('/') + appName + QLatin1Char('-') + QString::number(getuid());
  lockPath_ = base + QStringLiteral(".lock");
  socketPath_ = base + QStringLiteral(".sock");

  const QByteArray lockFile = QFile::encodeName(lockPath_);
  const int fd = ::open(lockFile.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    // Without a lock file there is no way to tell; better two instances than none.
    listenError_ = QStringLiteral("cannot open %1: %2")
                       .arg(lockPath_, QString::fromLocal8Bit(strerror(errno)));
    return true;
  }
  int rc;
  do {
    rc = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0 && errno == EWOULDBLOCK) {
    ::close(fd);
    AskPrimaryToRaise(socketPath_);
    return false;
  }
  if (rc != 0) {
    // A file system without locks: as above, run rather than refuse.
    listenError_ = QStringLiteral("cannot lock %1: %2")
                       .arg(lockPath_, QString::fromLocal8Bit(strerror(errno)));
  }
  lockFd_ = fd;

  // We hold the lock, so no live instance listens: a socket file still there
  // was left by a crash and is removed.
  QLocalServer::removeServer(socketPath_);
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  connect(server_, &QLocalServer::newConnection, this, &SingleInstance::OnNewConnection);
  if (!server_->listen(socketPath_)) listenError_ = server_->errorString();
  return true;
}

void SingleInstance::OnNewConnection() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    auto buffer = std::make_shared<QByteArray>();
    // Messages are lines; the last one may come without its line feed.
    auto consume = [this, socket, buffer](bool atEnd) {
      buffer->append(socket->readAll());
      qsizetype newline;
      while ((newline = buffer->indexOf('\n')) >= 0) {
        const QByteArray message = buffer->left(newline).trimmed();
        buffer->remove(0, newline + 1);
        if (message == "raise") emit raiseRequested();
      }
      if (atEnd && buffer->trimmed() == "raise") emit raiseRequested();
      if (atEnd || buffer->size() > 256) buffer->clear();  // a partial or foreign message
    };
    connect(socket, &QLocalSocket::readyRead, this, [consume] { consume(false); });
    connect(socket, &QLocalSocket::disconnected, this, [consume, socket] {
      consume(true);
      socket->deleteLater();
    });
    consume(false);  // data may have come with the connection
  }
}

bool SingleInstance::AskPrimaryToRaise(const QString& socketPath) {
  for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (socket.waitForConnected(kConnectTimeoutMs)) {
      socket.write(kRaise);
      bool sent = socket.waitForBytesWritten(kConnectTimeoutMs) || socket.bytesToWrite() == 0;
      socket.disconnectFromServer();
      if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(kConnectTimeoutMs);
      return sent;
    }
    QThread::msleep(100);
  }
  return false;
}

}  // namespace tarvexa
