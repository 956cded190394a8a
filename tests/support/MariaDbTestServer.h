#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/ServersRequired.h"

#include "db/MySQLCommunityServer.h"

namespace vantrix::test {

// The private MariaDB server that scripts/test starts on loopback; its
// address comes from the environment.
struct MariaDbServer {
  std::string host;
  int port = 0;
  std::string user;
  std::string password;
  std::string caFile;  // the authority that signed the server's certificate
};

// The server's settings, or none when the tests run without it.
std::optional<MariaDbServer> TestMariaDb();

// Creates (or recreates) a database on the test server and runs the SQL in
// it; the test then compares against it. Throws on failure.
void CreateMariaDbSchema(const MariaDbServer& server, const std::string& database,
                         const std::string& sql);

// A MySQL engine handle, not yet connected, for a database of the server
// as the test account.
std::unique_ptr<db::MySQLCommunityServer> MariaDbHandle(const MariaDbServer& server,
                                                        const std::string& database);

// Chinook's MySQL script from the shared fixtures without its own DROP,
// CREATE and USE of a database named Chinook, so that it goes into the
// database a test makes for it.
std::string ChinookMySqlScript();

// Runs SQL (several statements allowed) outside any database. Throws on
// failure.
void RunMariaDbSql(const MariaDbServer& server, const std::string& sql);

// Runs statements one by one in a database, on one connection, as a user's
// client would; the first that fails with the server's message, or empty.
std::string ApplyMariaDbStatements(const MariaDbServer& server, const std::string& database,
                                   const std::vector<std::string>& statements);

// The rows a statement gives in a database, each as its values joined with
// "|" (NULL as "NULL"). Throws on failure.
std::vector<std::string> MariaDbRows(const MariaDbServer& server, const std::string& database,
                                     const std::string& sql);

// What the server counted for one account since it was made (the server
// runs with user statistics on).
struct MariaDbUserStatistics {
  long long connections = 0;
  long long statements = 0;  // SELECTs, updates and every other command
};
MariaDbUserStatistics UserStatistics(const MariaDbServer& server, const std::string& user);

// Leaves the current test when there is no test server: a failure under
// scripts/test, a skip otherwise.
#define VANTRIX_REQUIRE_MARIADB(var)                                          \
  auto var##_opt = ::vantrix::test::TestMariaDb();                               \
  if (!var##_opt) VANTRIX_MISSING("no MariaDB test server (run scripts/test)"); \
  const ::vantrix::test::MariaDbServer& var = *var##_opt

}  // namespace vantrix::test
