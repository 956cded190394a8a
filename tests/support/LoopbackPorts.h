#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vantrix::test {

// A loopback port with nothing listening on it: connections are refused.
// The port stays bound (without listening) until the test program ends, so
// that no server, of this program or another, can take it meanwhile.
int ClosedLoopbackPort();

// A loopback socket that takes connections into its backlog and never
// answers them: a server that has stopped responding. It can tell how many
// connections clients made and whether the clients have closed them.
class SilentListener {
public:
  SilentListener();
  ~SilentListener();
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;
  [[nodiscard]] int port() const { return port_; }

  // The connections made to it so far (it takes them from its backlog).
  int Accepted();
  // Whether the client has closed (or reset) every connection made so far;
  // anything a client sent is read and dropped.
  [[nodiscard]] bool AllClosedByClients();

private:
  int fd_ = -1;
  int port_ = 0;
  std::vector<int> accepted_;
  std::vector<bool> closed_;
};

// A loopback server that takes one connection and sends it `bytes` one at
// a time, `interval` apart: a server that answers, too slowly to be of use.
// Then it keeps silent, or, with `hangUp`, closes the connection.
class DrippingServer {
public:
  DrippingServer(std::string bytes, std::chrono::milliseconds interval, bool hangUp = false);
  ~DrippingServer();
  DrippingServer(const DrippingServer&) = delete;
  DrippingServer& operator=(const DrippingServer&) = delete;
  [[nodiscard]] int port() const { return port_; }
  // How many bytes it has sent so far.
  [[nodiscard]] int Sent() const;

private:
  void Run();
  // Waits for the stop signal up to `timeout` ms (-1: forever), or for `fd`
  // to be readable when it is given; false once stopped.
  bool Wait(int fd, int timeout);

  int listener_ = -1;
  int port_ = 0;
  int wake_[2] = {-1, -1};
  std::string bytes_;
  std::chrono::milliseconds interval_;
  bool hangUp_ = false;
  mutable std::mutex mutex_;
  int sent_ = 0;
  std::thread thread_;
};

// A loopback port that passes every connection on to another loopback port,
// byte for byte in both directions, and notes when a client closes its end:
// what a server sees of its clients' connections, for a server that cannot
// tell. Closing is passed on, one direction at a time.
//
// Given `holdClientsWhen`, it asks it each time a client has sent something,
// before passing it on; from the first time it holds, nothing more that
// clients send is passed on (it is read and dropped, so that closing is
// still seen), while the server's replies still are: a server that stops
// answering at a moment the test chooses, such as after a first message.
class LoopbackForwarder {
public:
  explicit LoopbackForwarder(int targetPort, std::function<bool()> holdClientsWhen = {});
  ~LoopbackForwarder();
  LoopbackForwarder(const LoopbackForwarder&) = delete;
  LoopbackForwarder& operator=(const LoopbackForwarder&) = delete;
  [[nodiscard]] int port() const { return port_; }

  // Connections clients made so far.
  [[nodiscard]] int Connections() const;
  // Connections whose client has closed (or reset) its end so far.
  [[nodiscard]] int ClosedByClients() const;

private:
  void Run();

  int listener_ = -1;
  int port_ = 0;
  int target_ = 0;
  std::function<bool()> holdClientsWhen_;
  int wake_[2] = {-1, -1};
  mutable std::mutex mutex_;
  int connections_ = 0;
  int closedByClients_ = 0;
  std::thread thread_;
};

}  // namespace vantrix::test
