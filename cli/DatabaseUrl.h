#pragma once

#include <optional>
#include <string>
#include <string_view>

// The database arguments of vantrix-diff: URLs such as
// mysql://ann:pw@db.example:3306/shop, or a SQLite file.
namespace vantrix::cli {

struct DatabaseUrl {
  // The engine name for db::CreateDatabase: "Mysql", "CubeSQLserver",
  // "PostgreSQL" or "SQLite".
  std::string engine;
  std::string host;
  int port = 0;  // 0: the engine's default
  std::string user;
  // None when the URL gives no password; an empty one is a password.
  std::optional<std::string> password;
  std::string database;
  std::string schema;  // PostgreSQL's ?schema=
  std::string file;    // SQLite
  // SQLite: the argument had no known scheme and is taken as a path as it
  // stands, not percent-decoded. When it looked like "name:...",
  // `unknownScheme` holds the name: it is a mistake unless such a file
  // exists.
  bool plainPath = false;
  std::string unknownScheme;
  bool operator==(const DatabaseUrl&) const = default;
};

struct ParsedUrl {
  std::optional<DatabaseUrl> url;
  std::string error;  // why it was refused, when it was
};

// Parses a database argument:
//   mysql://[user[:password]@]host[:port]/database      (mariadb:// the same)
//   cubesql://[user[:password]@]host[:port]/database
//   postgresql://[user[:password]@][host][:port][/database][?param=value&...]
//     (postgres:// the same; parameters schema, host, port, dbname, user,
//     password)
//   sqlite:PATH, sqlite:///absolute/path, or a plain path
// Schemes ignore letter case. Percent-escapes are decoded in the user,
// password, host, database, parameters and sqlite: paths. IPv6 hosts are
// written in brackets. Pure: it looks at nothing but the text.
ParsedUrl ParseDatabaseUrl(std::string_view text);

// The argument with any password in it replaced by "***", for messages.
std::string MaskPassword(std::string_view text);

// A short description of where a database is, without its password:
// "mysql://ann@db.example:3306/shop", "sqlite:/data/shop.db".
std::string Describe(const DatabaseUrl& url);

}  // namespace vantrix::cli
