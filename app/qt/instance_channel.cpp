#include "app/qt/instance_channel.h"

#include <QLocalSocket>

#include "app/main_window.h"
#include "platform/posix/posix_system_port.h"

namespace padflash {
namespace {
constexpr int kConnectWaitMs = 2000;
}  // namespace

QString InstanceSocketPath() {
  return QString::fromLocal8Bit(PosixSystemPort::RuntimeDirectory()) + QLatin1Char('/') +
         QString::fromLatin1(kInstanceMutexName) + QStringLiteral(".socket");
}

InstanceServer::InstanceServer(std::function<void()> raise) : raise_(std::move(raise)) {
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  QObject::connect(&server_, &QLocalServer::newConnection, &server_, [this] {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
      socket->disconnectFromServer();
      socket->deleteLater();
      if (raise_) raise_();
    }
  });
}

bool InstanceServer::Listen() {
  const QString path = InstanceSocketPath();
  QLocalServer::removeServer(path);
  return server_.listen(path);
}

void InstanceServer::Close() {
  server_.close();
}

bool AskRunningInstanceToRaise() {
  QLocalSocket socket;
  socket.connectToServer(InstanceSocketPath());
  if (!socket.waitForConnected(kConnectWaitMs)) return false;
  socket.disconnectFromServer();
  return true;
}

}  // namespace padflash
