// The single-instance request on Linux. The first instance holds the
// "FennickFWTool" lock and listens on a local socket of the same name
// beside the lock file; a second start connects to it, which asks the
// running window to come forward, and ends.
#pragma once

#include <QLocalServer>
#include <QString>
#include <functional>

namespace padflash {

// "<lock folder>/FennickFWTool.socket".
QString InstanceSocketPath();

// The running instance's side: `raise` is called for every connection.
class InstanceServer {
 public:
  explicit InstanceServer(std::function<void()> raise);
  // Starts listening, replacing a socket file that a dead instance left
  // (the caller holds the lock, so no live instance owns it). False when
  // the socket cannot be created; the program runs on without it.
  bool Listen();
  void Close();

 private:
  QLocalServer server_;
  std::function<void()> raise_;
};

// The second start's side: true when a running instance took the request.
bool AskRunningInstanceToRaise();

}  // namespace padflash
