#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "db/Schema.h"
#include "db/TypeDetails.h"

// The SQL that changes DB 2's structure into DB 1's, in DB 2's dialect,
// planned from what comparing them finds: a list of steps, each one or more
// statements, the unsafe ones (those that can lose data) marked with why.
namespace vantrix::migrate {

// A column renamed on purpose: never guessed, always declared.
struct Rename {
  std::string table;  // DB 1's name
  std::string from;   // the column's name in DB 2
  std::string to;     // its name in DB 1
};

struct ScriptOptions {
  bool allowUnsafe = false;
  std::vector<Rename> renames;
};

struct Step {
  std::string what;  // a short description, written as a comment before it
  std::vector<std::string> statements;
  bool unsafe = false;
  std::string reason;  // why it is unsafe
};

struct Script {
  db::Dialect dialect = db::Dialect::kUnknown;
  std::vector<Step> steps;
  // What could not be written in DB 2's dialect, one comment each.
  std::vector<std::string> notes;
  // Objects DB 2 needs that no script makes (PostgreSQL enums, domains,
  // functions a trigger runs).
  std::vector<std::string> outside;
  [[nodiscard]] int Unsafe() const;
};

// Plans the script that makes `db2` like `db1`; `db1.engine` and
// `db2.engine` say whose dialects. DB 2's dialect is the script's.
Script PlanScript(const db::Schema& db1, const db::Schema& db2, const ScriptOptions& options);

// What the script's header says of each side and of the run.
struct ScriptHeader {
  std::string db1;
  std::string db2;
  std::string generatedAt;
  std::string version;
};

// Writes the script: its header (the sides, the time, the version, how many
// steps were held back as unsafe), then every step; an unsafe step is a
// comment starting "-- unsafe:" with the reason, unless `allowUnsafe`.
void WriteScript(std::ostream& out, const Script& script, const ScriptHeader& header,
                 bool allowUnsafe);

// The statements of the script as they would run, held-back steps left
// out, in order, for applying it.
std::vector<std::string> Statements(const Script& script, bool allowUnsafe);

}  // namespace vantrix::migrate
