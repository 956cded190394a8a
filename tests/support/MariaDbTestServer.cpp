#include "support/MariaDbTestServer.h"

#include <mysql.h>

#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include "support/TempSqlite.h"

namespace vantrix::test {

std::optional<MariaDbServer> TestMariaDb() {
  const char* port = std::getenv("VANTRIX_TEST_MYSQL_PORT");
  if (!port || !*port) return std::nullopt;
  auto env = [](const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return std::string(value && *value ? value : fallback);
  };
  return MariaDbServer{env("VANTRIX_TEST_MYSQL_HOST", "127.0.0.1"), std::atoi(port),
                       env("VANTRIX_TEST_MYSQL_USER", "vantrix"),
                       env("VANTRIX_TEST_MYSQL_PASSWORD", ""),
                       env("VANTRIX_TEST_MYSQL_CA", "")};
}

namespace {

MYSQL* ConnectAsTestUser(const MariaDbServer& server) {
  MYSQL* mysql = mysql_init(nullptr);
  const unsigned int protocol = MYSQL_PROTOCOL_TCP;
  mysql_optionsv(mysql, MYSQL_OPT_PROTOCOL, &protocol);
  mysql_optionsv(mysql, MYSQL_SET_CHARSET_NAME, "utf8mb4");
  if (!mysql_real_connect(mysql, server.host.c_str(), server.user.c_str(), server.password.c_str(),
                          nullptr, static_cast<unsigned int>(server.port), nullptr,
                          CLIENT_MULTI_STATEMENTS)) {
    std::string error = mysql_error(mysql);
    mysql_close(mysql);
    throw std::runtime_error("cannot reach the MariaDB test server: " + error);
  }
  return mysql;
}

// Runs every statement of `sql`, draining each result so that errors in
// later ones surface; the connection is closed.
void RunAll(MYSQL* mysql, const std::string& sql) {
  std::string error;
  if (mysql_real_query(mysql, sql.c_str(), sql.size()) != 0) {
    error = mysql_error(mysql);
  } else {
    int status = 0;
    do {
      if (MYSQL_RES* result = mysql_store_result(mysql)) mysql_free_result(result);
      status = mysql_next_result(mysql);
      if (status > 0) error = mysql_error(mysql);
    } while (status == 0);
  }
  mysql_close(mysql);
  if (!error.empty()) throw std::runtime_error("test SQL failed: " + error);
}

}  // namespace

std::unique_ptr<db::MySQLCommunityServer> MariaDbHandle(const MariaDbServer& server,
                                                        const std::string& database) {
  auto db = std::make_unique<db::MySQLCommunityServer>();
  db->Host = server.host;
  db->Port = server.port;
  db->UserName = server.user;
  db->Password = server.password;
  db->DatabaseName = database;
  return db;
}

void RunMariaDbSql(const MariaDbServer& server, const std::string& sql) {
  RunAll(ConnectAsTestUser(server), sql);
}

std::string ApplyMariaDbStatements(const MariaDbServer& server, const std::string& database,
                                   const std::vector<std::string>& statements) {
  MYSQL* mysql = ConnectAsTestUser(server);
  std::string failure;
  if (mysql_select_db(mysql, database.c_str()) != 0) failure = mysql_error(mysql);
  for (const std::string& s : statements) {
    if (!failure.empty()) break;
    if (mysql_real_query(mysql, s.c_str(), s.size()) != 0) {
      failure = s + ": " + mysql_error(mysql);
    } else if (MYSQL_RES* result = mysql_store_result(mysql)) {
      mysql_free_result(result);
    }
  }
  mysql_close(mysql);
  return failure;
}

std::vector<std::string> MariaDbRows(const MariaDbServer& server, const std::string& database,
                                     const std::string& sql) {
  MYSQL* mysql = ConnectAsTestUser(server);
  std::vector<std::string> rows;
  std::string error;
  if (mysql_select_db(mysql, database.c_str()) != 0 ||
      mysql_real_query(mysql, sql.c_str(), sql.size()) != 0) {
    error = mysql_error(mysql);
  } else if (MYSQL_RES* result = mysql_store_result(mysql)) {
    const unsigned int columns = mysql_num_fields(result);
    while (MYSQL_ROW row = mysql_fetch_row(result)) {
      const unsigned long* lengths = mysql_fetch_lengths(result);
      std::string text;
      for (unsigned int c = 0; c < columns; ++c) {
        text += (c ? "|" : "") + (row[c] ? std::string(row[c], lengths[c]) : std::string("NULL"));
      }
      rows.push_back(std::move(text));
    }
    mysql_free_result(result);
  }
  mysql_close(mysql);
  if (!error.empty()) throw std::runtime_error("test query failed: " + error + ": " + sql);
  return rows;
}

MariaDbUserStatistics UserStatistics(const MariaDbServer& server, const std::string& user) {
  MYSQL* mysql = ConnectAsTestUser(server);
  const std::string sql =
      "SELECT TOTAL_CONNECTIONS, SELECT_COMMANDS + UPDATE_COMMANDS + OTHER_COMMANDS "
      "FROM information_schema.USER_STATISTICS WHERE USER = '" +
      user + "'";
  MariaDbUserStatistics statistics;
  if (mysql_real_query(mysql, sql.c_str(), sql.size()) == 0) {
    if (MYSQL_RES* result = mysql_store_result(mysql)) {
      if (MYSQL_ROW row = mysql_fetch_row(result)) {
        statistics.connections = std::atoll(row[0]);
        statistics.statements = std::atoll(row[1]);
      }
      mysql_free_result(result);
    }
  }
  mysql_close(mysql);
  return statistics;
}

void CreateMariaDbSchema(const MariaDbServer& server, const std::string& database,
                         const std::string& sql) {
  MYSQL* mysql = ConnectAsTestUser(server);
  const std::string setup = "DROP DATABASE IF EXISTS `" + database + "`; CREATE DATABASE `" +
                            database + "` CHARACTER SET utf8mb4; USE `" + database + "`" +
                            (sql.empty() ? std::string() : "; " + sql);
  RunAll(mysql, setup);
}

std::string ChinookMySqlScript() {
  std::string sql = ReadFile(VANTRIX_FIXTURES_DIR "/chinook/Chinook_MySql.schema.sql");
  for (const std::string_view statement :
       {"DROP DATABASE IF EXISTS `Chinook`;", "CREATE DATABASE `Chinook`;", "USE `Chinook`;"}) {
    const std::size_t at = sql.find(statement);
    if (at == std::string::npos) {
      throw std::runtime_error("Chinook's MySQL script has no " + std::string(statement));
    }
    sql.erase(at, statement.size());
  }
  return sql;
}

}  // namespace vantrix::test
