#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The database arguments of vantrix-diff: URLs such as
// mysql://ann:pw@db.example:3306/shop, or a SQLite file.
namespace vantrix::cli {

struct DatabaseUrl {
  // The engine name for db::CreateDatabase: "Mysql", "CubeSQLserver",
  // "PostgreSQL" or "SQLite"; or "Snapshot", a schema kept in a file.
  std::string engine;
  std::string host;
  int port = 0;  // 0: the engine's default
  std::string user;
  // None when the URL gives no password; an empty one is a password.
  std::optional<std::string> password;
  std::string database;
  std::string schema;  // PostgreSQL's ?schema=
  // How the connection must be encrypted, in libpq's words: empty (the
  // engine's default), "disable", "allow", "prefer", "require", "verify-ca"
  // or "verify-full"; and the certificate authorities' file to verify the
  // server with. PostgreSQL's ?sslmode= and ?sslrootcert=, MySQL's
  // ?ssl-mode= and ?ssl-ca=.
  std::string tlsMode;
  std::string tlsCaFile;
  std::string file;    // SQLite, Snapshot
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
  std::string error;  // why it was refused, when it was; never quotes a secret
};

// A range of an argument's bytes.
struct Span {
  std::size_t start = 0;
  std::size_t length = 0;
  bool operator==(const Span&) const = default;
};

// Parses a database argument:
//   mysql://[user[:password]@]host[:port]/database[?ssl-mode=...&ssl-ca=...]
//     (mariadb:// the same)
//   cubesql://[user[:password]@]host[:port]/database
//   postgresql://[user[:password]@][host][:port][/database][?param=value&...]
//     (postgres:// the same; parameters schema, host, port, dbname, user,
//     password, sslmode, sslrootcert)
//   sqlite:PATH, sqlite:///absolute/path, or a plain path
//   snapshot:PATH, or a plain path ending in .json: a snapshot file
// Schemes ignore letter case. Percent-escapes are decoded in the user,
// password, host, database, parameters and sqlite: paths. IPv6 hosts are
// written in brackets. Parameter names are decoded, then compared ignoring
// letter case.
//
// The password may hold "/", "?", "#" and "@" as they are: the user part
// ends at the first "@" after which the rest reads as a host, a port, a
// database and parameters (so an "@" in a database name is written %40).
// Pure: it looks at nothing but the text.
ParsedUrl ParseDatabaseUrl(std::string_view text);

// Where an argument holds a secret: the password of its user part and the
// value of every parameter whose decoded name holds "pass" (any letter
// case), found by the parser's own rules, in order. A refused argument is
// read as far as it goes, erring on the side of hiding too much.
std::vector<Span> SecretSpans(std::string_view text);

// The argument with every secret span replaced by "***", for messages.
std::string MaskPassword(std::string_view text);

// A short description of where a database is, without its password:
// "mysql://ann@db.example:3306/shop", "sqlite:/data/shop.db".
std::string Describe(const DatabaseUrl& url);

}  // namespace vantrix::cli
