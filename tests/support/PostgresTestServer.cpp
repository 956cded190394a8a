#include "support/PostgresTestServer.h"

#include <libpq-fe.h>

#include <array>
#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace vantrix::test {
namespace {

using Connection = std::unique_ptr<PGconn, decltype(&PQfinish)>;

Connection Open(const PostgresServer& server, const std::string& database) {
  const std::string port = std::to_string(server.port);
  // Notices ("database ... does not exist, skipping") are of no interest.
  const std::array<const char*, 8> keywords = {
      "host", "port", "dbname", "user", "password", "client_encoding", "options", nullptr};
  const std::array<const char*, 8> values = {server.host.c_str(),
                                             port.c_str(),
                                             database.c_str(),
                                             server.user.c_str(),
                                             server.password.c_str(),
                                             "UTF8",
                                             "-c client_min_messages=warning",
                                             nullptr};
  Connection conn(PQconnectdbParams(keywords.data(), values.data(), 0), &PQfinish);
  if (PQstatus(conn.get()) != CONNECTION_OK) {
    throw std::runtime_error("cannot reach the PostgreSQL test server: " +
                             std::string(PQerrorMessage(conn.get())));
  }
  return conn;
}

void Run(PGconn* conn, const std::string& sql) {
  // The simple protocol runs every statement of the text and stops at the
  // first failure, whose result is the one returned.
  std::unique_ptr<PGresult, decltype(&PQclear)> result(PQexec(conn, sql.c_str()), &PQclear);
  const ExecStatusType status = PQresultStatus(result.get());
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && status != PGRES_EMPTY_QUERY) {
    throw std::runtime_error("test SQL failed: " + std::string(PQerrorMessage(conn)));
  }
}

}  // namespace

std::string ApplyPostgresStatements(const PostgresServer& server, const std::string& database,
                                    const std::vector<std::string>& statements) {
  Connection conn = Open(server, database);
  for (const std::string& s : statements) {
    std::unique_ptr<PGresult, decltype(&PQclear)> result(PQexec(conn.get(), s.c_str()),
                                                         &PQclear);
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && status != PGRES_EMPTY_QUERY) {
      return s + ": " + PQerrorMessage(conn.get());
    }
  }
  return {};
}

std::vector<std::string> PostgresRows(const PostgresServer& server, const std::string& database,
                                      const std::string& sql) {
  Connection conn = Open(server, database);
  std::unique_ptr<PGresult, decltype(&PQclear)> result(PQexec(conn.get(), sql.c_str()),
                                                       &PQclear);
  if (PQresultStatus(result.get()) != PGRES_TUPLES_OK) {
    throw std::runtime_error("test query failed: " + std::string(PQerrorMessage(conn.get())));
  }
  std::vector<std::string> rows;
  for (int r = 0; r < PQntuples(result.get()); ++r) {
    std::string text;
    for (int c = 0; c < PQnfields(result.get()); ++c) {
      text += (c ? "|" : "") + std::string(PQgetisnull(result.get(), r, c)
                                               ? "NULL"
                                               : PQgetvalue(result.get(), r, c));
    }
    rows.push_back(std::move(text));
  }
  return rows;
}

std::optional<PostgresServer> TestPostgres() {
  const char* port = std::getenv("VANTRIX_TEST_PG_PORT");
  if (!port || !*port) return std::nullopt;
  auto env = [](const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return std::string(value && *value ? value : fallback);
  };
  return PostgresServer{env("VANTRIX_TEST_PG_HOST", "127.0.0.1"), std::atoi(port),
                        env("VANTRIX_TEST_PG_USER", "vantrix"),
                        env("VANTRIX_TEST_PG_PASSWORD", ""),
                        env("VANTRIX_TEST_PG_CA", "")};
}

void CreatePostgresDatabase(const PostgresServer& server, const std::string& database,
                            const std::string& sql) {
  {
    Connection admin = Open(server, "postgres");
    char* quoted = PQescapeIdentifier(admin.get(), database.c_str(), database.size());
    const std::string name = quoted;
    PQfreemem(quoted);
    Run(admin.get(), "DROP DATABASE IF EXISTS " + name + " WITH (FORCE)");
    Run(admin.get(), "CREATE DATABASE " + name + " TEMPLATE template0 ENCODING 'UTF8'");
  }
  if (!sql.empty()) RunPostgresSql(server, database, sql);
}

void RunPostgresSql(const PostgresServer& server, const std::string& database,
                    const std::string& sql) {
  Connection conn = Open(server, database);
  Run(conn.get(), sql);
}

std::string AfterPsqlConnect(const std::string& script) {
  std::size_t line = script.rfind("\n\\c ");
  if (line == std::string::npos) return script;
  const std::size_t end = script.find('\n', line + 1);
  return end == std::string::npos ? std::string() : script.substr(end + 1);
}

}  // namespace vantrix::test
