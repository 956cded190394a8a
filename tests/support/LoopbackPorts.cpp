#include "support/LoopbackPorts.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace vantrix::test {

namespace {

// A listening socket on a loopback port the system picks; answers its port.
int ListenOnLoopback(int& fd) {
  fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::listen(fd, 4);
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  return ntohs(addr.sin_port);
}

// Reads and drops what is there; answers whether the peer closed or reset
// the connection.
bool PeerClosed(int fd) {
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n > 0) continue;
    if (n == 0) return true;
    if (errno == EINTR) continue;
    return errno != EAGAIN && errno != EWOULDBLOCK;
  }
}

// Writes all of the bytes, or as many as the peer takes before it goes.
void SendAll(int fd, const char* data, ssize_t size) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, static_cast<size_t>(size), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    data += n;
    size -= n;
  }
}

}  // namespace

DrippingServer::DrippingServer(std::string bytes, std::chrono::milliseconds interval,
                               bool hangUp)
    : bytes_(std::move(bytes)), interval_(interval), hangUp_(hangUp) {
  port_ = ListenOnLoopback(listener_);
  if (::pipe2(wake_, O_CLOEXEC) != 0) wake_[0] = wake_[1] = -1;
  thread_ = std::thread([this] { Run(); });
}

DrippingServer::~DrippingServer() {
  const char stop = 's';
  (void)!::write(wake_[1], &stop, 1);
  thread_.join();
  ::close(wake_[0]);
  ::close(wake_[1]);
  ::close(listener_);
}

int DrippingServer::Sent() const {
  std::lock_guard lock(mutex_);
  return sent_;
}

bool DrippingServer::Wait(int fd, int timeout) {
  pollfd fds[2] = {{wake_[0], POLLIN, 0}, {fd, POLLIN, 0}};
  for (;;) {
    const int ready = ::poll(fds, fd >= 0 ? 2 : 1, timeout);
    if (ready < 0 && errno == EINTR) continue;
    return ready >= 0 && !(fds[0].revents & POLLIN);
  }
}

void DrippingServer::Run() {
  if (!Wait(listener_, -1)) return;
  const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
  if (client < 0) return;
  for (const char byte : bytes_) {
    SendAll(client, &byte, 1);
    {
      std::lock_guard lock(mutex_);
      ++sent_;
    }
    if (!Wait(-1, static_cast<int>(interval_.count()))) break;
  }
  // Then silence, until the test is over, or the end.
  if (!hangUp_) Wait(-1, -1);
  ::close(client);
}

SilentListener::SilentListener() {
  port_ = ListenOnLoopback(fd_);
  ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
}

SilentListener::~SilentListener() {
  for (const int fd : accepted_) ::close(fd);
  ::close(fd_);
}

int SilentListener::Accepted() {
  for (;;) {
    const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) break;
    accepted_.push_back(fd);
    closed_.push_back(false);
  }
  return static_cast<int>(accepted_.size());
}

bool SilentListener::AllClosedByClients() {
  Accepted();
  bool all = true;
  for (std::size_t i = 0; i < accepted_.size(); ++i) {
    if (!closed_[i]) closed_[i] = PeerClosed(accepted_[i]);
    all = all && closed_[i];
  }
  return all;
}

int ClosedLoopbackPort() {
  // A socket bound to a port the system picks, which never listens: the
  // system refuses connections to it. Had it been let go, the next server
  // to ask for any free port could be given it.
  static std::mutex mutex;
  static std::vector<int> bound;
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ADD_FAILURE() << "cannot bind a loopback port: " << std::strerror(errno);
    return 0;
  }
  const std::lock_guard lock(mutex);
  bound.push_back(fd);
  return ntohs(addr.sin_port);
}

LoopbackForwarder::LoopbackForwarder(int targetPort, std::function<bool()> holdClientsWhen)
    : target_(targetPort), holdClientsWhen_(std::move(holdClientsWhen)) {
  port_ = ListenOnLoopback(listener_);
  if (::pipe2(wake_, O_CLOEXEC) == 0) thread_ = std::thread([this] { Run(); });
}

LoopbackForwarder::~LoopbackForwarder() {
  if (thread_.joinable()) {
    const char byte = 'x';
    [[maybe_unused]] const ssize_t written = ::write(wake_[1], &byte, 1);
    thread_.join();
  }
  for (const int fd : wake_) {
    if (fd >= 0) ::close(fd);
  }
  ::close(listener_);
}

int LoopbackForwarder::Connections() const {
  const std::lock_guard lock(mutex_);
  return connections_;
}

int LoopbackForwarder::ClosedByClients() const {
  const std::lock_guard lock(mutex_);
  return closedByClients_;
}

void LoopbackForwarder::Run() {
  // One client's connection and the one made for it to the target; each
  // direction is open until its sender closes it.
  struct Pair {
    int client;
    int server;
    bool fromClientOpen = true;
    bool fromServerOpen = true;
  };
  std::vector<Pair> pairs;
  bool holding = false;
  char buffer[16384];
  for (;;) {
    std::vector<pollfd> fds = {{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
    // A direction already closed is left out (poll skips negative fds).
    for (const Pair& p : pairs) {
      fds.push_back({p.fromClientOpen ? p.client : -1, POLLIN, 0});
      fds.push_back({p.fromServerOpen ? p.server : -1, POLLIN, 0});
    }
    if (::poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents != 0) break;
    // The pairs polled; one accepted now is polled from the next turn on.
    const std::size_t polled = pairs.size();
    if ((fds[1].revents & POLLIN) != 0) {
      const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client >= 0) {
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<uint16_t>(target_));
        if (::connect(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
          pairs.push_back({client, server});
          const std::lock_guard lock(mutex_);
          ++connections_;
        } else {
          ::close(server);
          ::close(client);
        }
      }
    }
    for (std::size_t i = 0; i < polled; ++i) {
      Pair& p = pairs[i];
      if (p.fromClientOpen && fds[2 + 2 * i].revents != 0) {
        const ssize_t n = ::recv(p.client, buffer, sizeof buffer, 0);
        if (n > 0) {
          holding = holding || (holdClientsWhen_ && holdClientsWhen_());
          if (!holding) SendAll(p.server, buffer, n);
        } else if (n == 0 || errno != EINTR) {
          p.fromClientOpen = false;
          ::shutdown(p.server, SHUT_WR);
          const std::lock_guard lock(mutex_);
          ++closedByClients_;
        }
      }
      if (p.fromServerOpen && fds[3 + 2 * i].revents != 0) {
        const ssize_t n = ::recv(p.server, buffer, sizeof buffer, 0);
        if (n > 0) {
          SendAll(p.client, buffer, n);
        } else if (n == 0 || errno != EINTR) {
          p.fromServerOpen = false;
          ::shutdown(p.client, SHUT_WR);
        }
      }
    }
    // Pairs closed both ways are done.
    for (std::size_t i = pairs.size(); i-- > 0;) {
      if (!pairs[i].fromClientOpen && !pairs[i].fromServerOpen) {
        ::close(pairs[i].client);
        ::close(pairs[i].server);
        pairs.erase(pairs.begin() + static_cast<std::ptrdiff_t>(i));
      }
    }
  }
  for (const Pair& p : pairs) {
    ::close(p.client);
    ::close(p.server);
  }
}

}  // namespace vantrix::test
