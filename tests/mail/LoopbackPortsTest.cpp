// The loopback helpers that the mail tests (and others) stand on, where
// their promises are not checked by a test that uses them.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <set>

#include "support/LoopbackPorts.h"

namespace vantrix::test {
namespace {

// A socket on a loopback port; -1 when the port cannot be had.
int BindTo(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Each closed port refuses connections and stays so: nothing else, in
// this program or another, can listen on it for as long as the tests run.
TEST(LoopbackPortsTest, AClosedPortRefusesConnectionsAndNoServerCanTakeIt) {
  std::set<int> ports;
  for (int i = 0; i < 3; ++i) {
    const int port = ClosedLoopbackPort();
    ASSERT_GT(port, 0);
    ports.insert(port);

    const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    EXPECT_NE(::connect(client, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    EXPECT_EQ(errno, ECONNREFUSED);
    ::close(client);

    const int server = BindTo(port);
    EXPECT_EQ(server, -1) << "port " << port << " could be taken by a server";
    if (server >= 0) ::close(server);
  }
  EXPECT_EQ(ports.size(), 3U) << "a port was given out twice";
}

}  // namespace
}  // namespace vantrix::test
