#pragma once

#include <string>
#include <vector>

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
  [[nodiscard]] bool Clean() const { return ran && failedStatement.empty() && left.empty(); }
};

// For a SQLite (or cubeSQL) DB 2: a scratch SQLite file of DB 2's
// structure, the script's statements (held-back ones left out unless
// `allowUnsafe`) run on it, and the result compared with DB 1.
Verification VerifyOnSqlite(const db::Schema& db1, const db::Schema& db2, const Script& script,
                            bool allowUnsafe);

// The lines a script's header gets for a verification.
std::vector<std::string> Describe(const Verification& verification);

}  // namespace vantrix::migrate
