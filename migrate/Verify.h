#pragma once

#include <string>
#include <vector>

#include "db/Database.h"
#include "db/Schema.h"
#include "migrate/Script.h"

// Proof that a script does what it says: DB 2's structure made again in a
// scratch database, the script applied to it, the result read back and
// compared with DB 1 by every attribute.
namespace vantrix::migrate {

struct Verification {
  bool ran = false;
  // The statement that failed, and the engine's message; empty when none.
  std::string failedStatement;
  std::string message;
  // What still differs after the script, one line each.
  std::vector<std::string> left;
  // What the scratch database could not be given, so was left out of the
  // proof (a table needing a PostgreSQL enum or domain, a trigger's
  // function), one line each.
  std::vector<std::string> notVerified;
  // Why the scratch database could not be emptied afterwards; empty when it was.
  std::string cleanUp;
  [[nodiscard]] bool Clean() const { return ran && failedStatement.empty() && left.empty(); }
};

// For a SQLite (or cubeSQL) DB 2: a scratch SQLite file of DB 2's
// structure, the script's statements (held-back ones left out unless
// `allowUnsafe`) run on it, and the result compared with DB 1. The file is
// a temporary one, or `path`, which must be empty or not there yet and is
// left as it was found.
Verification VerifyOnSqlite(const db::Schema& db1, const db::Schema& db2, const Script& script,
                            bool allowUnsafe, const std::string& path = {});

// For a MariaDB/MySQL or PostgreSQL DB 2, on `scratch`: a connected,
// Writable session on a database of DB 2's engine that the user gave for
// this. The script is planned with `options` and proved as above. MariaDB's
// scratch database must hold no table or view, and is emptied again;
// PostgreSQL's gets a schema of its own (vantrix_verify_...), dropped with
// everything in it. On PostgreSQL, what the scratch cannot be given (types
// and functions outside the compared structure) is left out and named.
Verification VerifyOnServer(db::Database& scratch, const db::Schema& db1,
                            const db::Schema& db2, const ScriptOptions& options,
                            bool allowUnsafe);

// The lines a script's header gets for a verification.
std::vector<std::string> Describe(const Verification& verification);

}  // namespace vantrix::migrate
