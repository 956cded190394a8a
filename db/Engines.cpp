#include "db/CubeSQLServer.h"
#include "db/Database.h"
#include "db/MySQLCommunityServer.h"
#include "db/PostgreSQLServer.h"
#include "db/SQLiteDatabase.h"

namespace vantrix::db {

std::unique_ptr<Database> CreateDatabase(std::string_view engineName) {
  if (EqualsIgnoringAsciiCase(engineName, "Mysql")) return std::make_unique<MySQLCommunityServer>();
  if (EqualsIgnoringAsciiCase(engineName, "RealServer") ||
      EqualsIgnoringAsciiCase(engineName, "CubeSQLserver")) {
    return std::make_unique<CubeSQLServer>();
  }
  if (EqualsIgnoringAsciiCase(engineName, "SQLite")) return std::make_unique<SQLiteDatabase>();
  if (EqualsIgnoringAsciiCase(engineName, "PostgreSQL"))
    return std::make_unique<PostgreSQLServer>();
  return nullptr;
}

int DefaultPort(std::string_view engineName) {
  if (EqualsIgnoringAsciiCase(engineName, "Mysql")) return MySQLCommunityServer::kDefaultPort;
  if (EqualsIgnoringAsciiCase(engineName, "RealServer") ||
      EqualsIgnoringAsciiCase(engineName, "CubeSQLserver")) {
    return CubeSQLServer::kDefaultPort;
  }
  if (EqualsIgnoringAsciiCase(engineName, "PostgreSQL")) return PostgreSQLServer::kDefaultPort;
  return 0;
}

}  // namespace vantrix::db
