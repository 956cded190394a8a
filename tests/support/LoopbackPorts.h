#pragma once

namespace vantrix::test {

// A loopback port with nothing listening on it (connections are refused).
int ClosedLoopbackPort();

// A loopback socket that takes connections into its backlog and never
// answers them: a server that has stopped responding.
class SilentListener {
public:
  SilentListener();
  ~SilentListener();
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;
  [[nodiscard]] int port() const { return port_; }

private:
  int fd_ = -1;
  int port_ = 0;
};

}  // namespace vantrix::test
