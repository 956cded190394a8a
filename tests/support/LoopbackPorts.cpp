#include "support/LoopbackPorts.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vantrix::test {

SilentListener::SilentListener() {
  fd_ = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  listen(fd_, 4);
  socklen_t len = sizeof addr;
  getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
}

SilentListener::~SilentListener() { close(fd_); }

int ClosedLoopbackPort() {
  // The port of a listener that has been closed again: nothing answers it.
  SilentListener listener;
  return listener.port();
}

}  // namespace vantrix::test
