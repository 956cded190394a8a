#include "cli/Side.h"

#include <unistd.h>

#include <re2/re2.h>

#include <cstdlib>
#include <filesystem>

#include "cli/Terminal.h"
#include "db/Ascii.h"
#include "db/SQLiteDatabase.h"
#include "db/SchemaMemory.h"
#include "snapshot/Snapshot.h"

namespace vantrix::cli {
namespace {

db::Database::Tls TlsModeNamed(const std::string& mode) {
  using Tls = db::Database::Tls;
  if (mode == "disable") return Tls::kDisable;
  if (mode == "allow") return Tls::kAllow;
  if (mode == "require") return Tls::kRequire;
  if (mode == "verify-ca") return Tls::kVerifyCa;
  if (mode == "verify-full") return Tls::kVerifyFull;
  return Tls::kDefault;
}

// Why a side could not be reached, in words that point to the fix: where
// it was tried, and, when a server wants the password nobody gave, where
// to give it.
std::string ConnectFailure(const Side& side, const std::string& message) {
  const DatabaseUrl& url = side.url;
  if (url.engine == "SQLite") return "cannot connect: " + message;
  const std::string variable = side.number == 0
                                   ? std::string("VANTRIX_VERIFY_PASSWORD")
                                   : "VANTRIX_DB" + std::to_string(side.number) + "_PASSWORD";
  const std::string whose =
      side.number == 0 ? std::string("the scratch database") : "DB " + std::to_string(side.number);
  const std::string lower = db::AsciiLower(message);
  const bool refusedLogin = lower.find("password") != std::string::npos ||
                            lower.find("access denied") != std::string::npos ||
                            lower.find("authentication") != std::string::npos;
  if (!url.password && refusedLogin) {
    return "no password for " + whose + ": put it in the URL, set " + variable +
           ", or run on a terminal (the server said: " + message + ")";
  }
  const int port = url.port > 0 ? url.port : db::DefaultPort(url.engine);
  std::string where = url.host.empty() ? std::string("the local server")
                      : url.host.find(':') != std::string::npos ? "[" + url.host + "]"
                                                                : url.host;
  return "cannot connect to " + where + ":" + std::to_string(port) + ": " + message;
}

}  // namespace

std::string Side::Shown() const {
  if (number == 0) return "--verify \"" + MaskPassword(argument) + "\"";
  return "DB " + std::to_string(number) + " \"" + MaskPassword(argument) + "\"";
}

// For an argument that names no file but reads like a server's address
// without its scheme ("ann@db.example/shop", "localhost:5432/shop"): the
// URLs probably meant, the port choosing the engine when it is a default
// one. Empty otherwise.
std::string ServerHint(const std::string& argument) {
  static const re2::RE2 kAddress(
      R"((?:[^/@:\s]+(?::[^/@\s]*)?@)?([A-Za-z0-9.-]+|\[[0-9A-Fa-f:.]+\])(?::(\d{1,5}))?/[^/\s]+)");
  std::string host;
  std::string port;
  if (!re2::RE2::FullMatch(argument, kAddress, &host, &port)) return {};
  const bool looksLikeFile = argument.ends_with(".db") || argument.ends_with(".sqlite") ||
                             argument.ends_with(".sqlite3");
  const bool looksLikeHost = argument.find('@') != std::string::npos || !port.empty() ||
                             host == "localhost" || host.find('.') != std::string::npos ||
                             host.starts_with('[');
  if (looksLikeFile || !looksLikeHost) return {};
  const std::string masked = MaskPassword("mysql://" + argument).substr(8);
  if (port == "3306") return " (did you mean mysql://" + masked + "?)";
  if (port == "5432") return " (did you mean postgresql://" + masked + "?)";
  if (port == "4430") return " (did you mean cubesql://" + masked + "?)";
  return " (did you mean mysql://" + masked + ", postgresql://" + masked + " or cubesql://" +
         masked + "?)";
}

std::optional<std::string> Resolve(Side& side) {
  const std::string shown = side.Shown() + ": ";
  ParsedUrl parsed = ParseDatabaseUrl(side.argument);
  if (!parsed.url) {
    return shown + parsed.error;
  }
  side.url = std::move(*parsed.url);
  if (side.url.engine == "Snapshot") {
    // Read at once: a snapshot is the schema.
    snapshot::ReadResult read = snapshot::ReadSnapshotFile(side.url.file);
    if (!read.schema) {
      return shown + "cannot read the snapshot " + side.url.file + ": " + read.error;
    }
    side.schema = std::move(*read.schema);
    return std::nullopt;
  }
  if (side.url.engine == "SQLite") {
    std::error_code ec;
    const auto status = std::filesystem::status(side.url.file, ec);
    if (side.url.plainPath && !side.url.unknownScheme.empty() && !std::filesystem::exists(status)) {
      return shown + "unknown scheme \"" + side.url.unknownScheme +
              "\" (mysql, mariadb, cubesql, postgresql, postgres and sqlite are known)" +
              ServerHint(side.argument);
    }
    if (!std::filesystem::exists(status)) {
      return shown + "no such file: " + side.url.file + ServerHint(side.argument);
    }
    if (std::filesystem::is_directory(status)) {
      return shown + "a directory, not a SQLite file: " + side.url.file;
    }
    if (const char* kind = db::NotAFile(side.url.file)) {
      return shown + kind + ", not a SQLite file: " + side.url.file;
    }
  }
  side.database = db::CreateDatabase(side.url.engine);
  if (!side.database) {
    return shown + "this build of vantrix-diff has no " + side.url.engine + " engine";
  }
  return std::nullopt;
}

void FindPassword(Side& side, bool mayPrompt) {
  DatabaseUrl& url = side.url;
  if (url.password || url.engine == "SQLite" || url.engine == "Snapshot") return;
  const std::string variable = side.number == 0
                                   ? std::string("VANTRIX_VERIFY_PASSWORD")
                                   : "VANTRIX_DB" + std::to_string(side.number) + "_PASSWORD";
  if (const char* password = std::getenv(variable.c_str()); password && *password) {
    url.password = password;
    return;
  }
  if (mayPrompt && !url.user.empty() && IsTerminal(STDIN_FILENO)) {
    const std::string whose = side.number == 0 ? std::string("the scratch database")
                                               : "DB " + std::to_string(side.number);
    url.password = PromptPassword("Password for " + whose + " (" + cli::Describe(url) + "): ");
  }
}

void LeaveOutUnusedCertificates(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    const ParsedUrl parsed = ParseDatabaseUrl(argument);
    if (!parsed.url) continue;  // refused later, never connected
    const DatabaseUrl& url = *parsed.url;
    const bool verifies = url.tlsMode == "verify-ca" || url.tlsMode == "verify-full";
    // libpq's sslrootcert=system is the system's bundle too.
    if (verifies && (url.tlsCaFile.empty() || url.tlsCaFile == "system")) return;
  }
  // Nothing of this run verifies with the bundle, whichever file names it.
  ::setenv("SSL_CERT_FILE", "/dev/null", 1);
}

void Configure(Side& side) {
  db::Database* database = side.database.get();
  database->Host = side.url.host;
  database->Port = side.url.port;
  database->DatabaseName = side.url.database;
  database->UserName = side.url.user;
  database->Password = side.url.password.value_or("");
  database->SchemaName = side.url.schema;
  database->TlsMode = TlsModeNamed(side.url.tlsMode);
  database->TlsCaFile = side.url.tlsCaFile;
  if (side.url.engine == "SQLite") database->DatabaseFile = std::filesystem::path(side.url.file);
}

bool ConnectSide(Side& side, std::string& failure) {
  Configure(side);
  if (side.database->Connect()) return true;
  failure = side.Shown() + ": " + ConnectFailure(side, side.database->ErrorMessage());
  return false;
}

bool ReadSide(Side& side, db::Detail detail, std::string& failure) {
  if (side.url.engine == "Snapshot") return true;  // read already
  db::PrepareThreadForSchema();
  Configure(side);
  db::Database* database = side.database.get();
  std::optional<db::Schema> schema;
  if (!database->Connect()) {
    failure = side.Shown() + ": " + ConnectFailure(side, database->ErrorMessage());
  } else {
    schema = database->WholeSchema(detail);
    if (!schema) failure = side.Shown() + ": cannot read the schema: " + database->ErrorMessage();
    database->Close();
  }
  if (!schema) return false;
  side.schema = std::move(*schema);
  side.schema.engine = side.url.engine;
  // MariaDB writes its database's name before names in view definitions.
  if (side.url.engine == "Mysql") side.schema.qualifier = side.url.database;
  return true;
}

report::SideDescription Describe(const Side& side) {
  report::SideDescription description;
  description.engine = side.url.engine;
  if (side.url.engine == "Snapshot") {
    // Compared as the engine it was taken from.
    description.engine = side.schema.engine;
    description.database = side.url.file;
  } else if (side.url.engine == "SQLite") {
    description.database = side.url.file;
  } else {
    description.host = side.url.host;
    description.port = side.url.port > 0 ? side.url.port : db::DefaultPort(side.url.engine);
    description.database = side.url.database;
    description.schema = side.url.schema;
  }
  description.tableCount = static_cast<int>(side.schema.tables.size());
  return description;
}

}  // namespace vantrix::cli
