// A support server for trying the version check by hand: the cubeSQL test
// server on a loopback port (4430, the client's default, unless given),
// with this build's support account and a prodotti table that lists
// another version of the program. Runs until interrupted.
//
//   fake_support_server [PORT] [VERSION] [LINK]
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>

#include <unistd.h>

#include "FakeCubeSqlServer.h"
#include "update/AppoggioDbSupporto.h"

namespace {
volatile std::sig_atomic_t stop = 0;
void Stop(int /*signal*/) { stop = 1; }
}  // namespace

int main(int argc, char** argv) {
  namespace Supporto = vantrix::update::AppoggioDbSupporto;
  const int port = argc > 1 ? std::atoi(argv[1]) : 4430;
  const std::string version = argc > 2 ? argv[2] : "2099.1.0";
  const std::string link = argc > 3 ? argv[3] : "https://www.vantrix.example/download";
  const auto& account = Supporto::Account();

  vantrix::test::FakeCubeSqlServer server(Supporto::DecodeSetting(account.UserNameBase64),
                                          Supporto::DecodeSetting(account.PasswordBase64),
                                          Supporto::DecodeSetting(account.DatabaseNameBase64), port);
  if (server.Port() == 0) return 1;
  server.Execute(
      "CREATE TABLE prodotti (nomesw TEXT, versione TEXT, download TEXT, downloadwin TEXT);"
      "INSERT INTO prodotti VALUES ('vantrix', '" + version + "', '" + link + "', '" + link + "');");
  std::cout << "Support server on 127.0.0.1:" << server.Port() << " offering vantrix " << version
            << std::endl;

  std::signal(SIGINT, Stop);
  std::signal(SIGTERM, Stop);
  while (stop == 0) ::pause();
  return 0;
}
