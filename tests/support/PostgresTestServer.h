#pragma once

#include <optional>
#include <string>
#include <vector>

#include "support/ServersRequired.h"

namespace vantrix::test {

// The private PostgreSQL server that scripts/test starts on loopback; its
// address comes from the environment.
struct PostgresServer {
  std::string host;
  int port = 0;
  std::string user;
  std::string password;
  std::string caFile;  // the authority that signed the server's certificate
};

// The server's settings, or none when the tests run without it.
std::optional<PostgresServer> TestPostgres();

// Creates (or recreates) a database on the test server, owned by the test
// user, and runs the SQL in it (several statements allowed). Throws on
// failure.
void CreatePostgresDatabase(const PostgresServer& server, const std::string& database,
                            const std::string& sql);

// Runs SQL in an existing database of the test server. Throws on failure.
void RunPostgresSql(const PostgresServer& server, const std::string& database,
                    const std::string& sql);

// Runs statements one by one in a database, on one connection, as a user's
// client would; the first that fails with the server's message, or empty.
std::string ApplyPostgresStatements(const PostgresServer& server, const std::string& database,
                                    const std::vector<std::string>& statements);

// The rows a statement gives in a database, each as its values joined with
// "|" (NULL as "NULL"). Throws on failure.
std::vector<std::string> PostgresRows(const PostgresServer& server, const std::string& database,
                                      const std::string& sql);

// The statements of a psql script from its "\c" line on: what comes before
// it drops and creates the database, which the tests do themselves.
std::string AfterPsqlConnect(const std::string& script);

// Leaves the current test when there is no test server: a failure under
// scripts/test, a skip otherwise.
#define VANTRIX_REQUIRE_POSTGRES(var)                                          \
  auto var##_opt = ::vantrix::test::TestPostgres();              \
  if (!var##_opt) VANTRIX_MISSING("no PostgreSQL test server (run scripts/test)"); \
  const ::vantrix::test::PostgresServer& var = *var##_opt

}  // namespace vantrix::test
