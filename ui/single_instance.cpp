#include "ui/single_instance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QThread>

namespace ui {

namespace {

QString RuntimeFolder() {
  QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (dir.isEmpty() || !QDir(dir).exists()) dir = QStringLiteral("/tmp");
  return dir;
}

// Paths travel one per line; a name holding a line break cannot be passed on.
constexpr char kSeparator = '\n';

} // namespace

SingleInstance::SingleInstance(const QString& folder, QObject* parent)
    : QObject(parent), folder_(folder.isEmpty() ? RuntimeFolder() : folder) {
  connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::Receive);
}

SingleInstance::~SingleInstance() {
  server_.close();
}

QString SingleInstance::lockPath() const {
  return folder_ + QStringLiteral("/pictofold-gui-%1.lock").arg(qEnvironmentVariable("USER"));
}

QString SingleInstance::socketPath() const {
  return folder_ + QStringLiteral("/pictofold-gui-%1.socket").arg(qEnvironmentVariable("USER"));
}

bool SingleInstance::Acquire() {
  lock_ = std::make_unique<QLockFile>(lockPath());
  // A lock left by a process that is gone is taken over; a live holder is never stale.
  lock_->setStaleLockTime(0);
  if (!lock_->tryLock(0)) {
    lock_.reset();
    return false;
  }
  // The holder of the lock owns the socket name; a leftover socket file is stale.
  QLocalServer::removeServer(socketPath());
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  server_.listen(socketPath());
  return true;
}

bool SingleInstance::Send(const QStringList& paths, int timeoutMs) {
  QByteArray message;
  for (const QString& p : paths) {
    if (p.contains(QLatin1Char(kSeparator))) continue;
    message += p.toUtf8();
    message += kSeparator;
  }
  // The first instance may hold the lock but not listen yet: retry until the deadline.
  QDeadlineTimer deadline(timeoutMs);
  while (true) {
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (socket.waitForConnected(
            static_cast<int>(std::min<qint64>(deadline.remainingTime(), 500)))) {
      socket.write(message);
      bool ok = socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()));
      socket.disconnectFromServer();
      if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(static_cast<int>(deadline.remainingTime()));
      return ok || message.isEmpty();
    }
    if (deadline.hasExpired()) return false;
    QThread::msleep(20);
  }
}

void SingleInstance::Receive() {
  while (QLocalSocket* socket = server_.nextPendingConnection()) {
    auto buffer = std::make_shared<QByteArray>();
    connect(socket, &QLocalSocket::readyRead, socket,
            [socket, buffer] { buffer->append(socket->readAll()); });
    connect(socket, &QLocalSocket::disconnected, this, [this, socket, buffer] {
      buffer->append(socket->readAll());
      QStringList paths;
      for (const QByteArray& line : buffer->split(kSeparator))
        if (!line.isEmpty()) paths << QString::fromUtf8(line);
      socket->deleteLater();
      emit filesReceived(paths);
    });
  }
}

} // namespace ui
