#include "migrate/Script.h"

#include <algorithm>

#include "migrate/Planner.h"
#include "migrate/Sql.h"

namespace vantrix::migrate {
namespace {

using plan::Planner;

std::string Commented(const std::string& text) {
  std::string out;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = text.find('\n', start);
    out += "-- " + text.substr(start, end == std::string::npos ? std::string::npos : end - start) +
           "\n";
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return out;
}

std::vector<std::string> Opening(Dialect d) {
  // A table made again is renamed into place while triggers on other
  // tables still name it: the legacy rename leaves them be.
  if (d == Dialect::kSqlite) {
    return {"PRAGMA foreign_keys = OFF", "PRAGMA legacy_alter_table = ON", "BEGIN"};
  }
  if (d == Dialect::kPostgres) return {"BEGIN"};
  return {};
}

std::vector<std::string> Closing(Dialect d) {
  if (d == Dialect::kSqlite) {
    return {"PRAGMA foreign_key_check", "COMMIT", "PRAGMA legacy_alter_table = OFF",
            "PRAGMA foreign_keys = ON"};
  }
  if (d == Dialect::kPostgres) return {"COMMIT"};
  return {};
}

}  // namespace

int Script::Unsafe() const {
  return static_cast<int>(std::count_if(steps.begin(), steps.end(),
                                        [](const Step& s) { return s.unsafe; }));
}

Script PlanScript(const db::Schema& db1, const db::Schema& db2, const ScriptOptions& options) {
  return Planner(db1, db2, options).Run();
}

std::vector<std::string> Statements(const Script& script, bool allowUnsafe) {
  std::vector<std::string> out;
  if (script.steps.empty()) return out;
  for (const std::string& s : Opening(script.dialect)) out.push_back(s);
  for (const Step& step : script.steps) {
    if (step.unsafe && !allowUnsafe) continue;
    out.insert(out.end(), step.statements.begin(), step.statements.end());
  }
  for (const std::string& s : Closing(script.dialect)) out.push_back(s);
  return out;
}

void WriteScript(std::ostream& out, const Script& script, const ScriptHeader& header,
                 bool allowUnsafe) {
  const int held = allowUnsafe ? 0 : script.Unsafe();
  out << "-- The SQL that makes DB 2's structure like DB 1's, written by vantrix-diff "
      << header.version << "\n"
      << Commented("DB 1: " + header.db1) << Commented("DB 2: " + header.db2)
      << "-- " << header.generatedAt << "\n";
  if (script.steps.empty()) {
    out << "-- Nothing to change: DB 2's structure is already DB 1's.\n";
  } else if (held > 0) {
    out << "-- " << held << (held == 1 ? " step" : " steps")
        << " held back as unsafe (they can lose data; --allow-unsafe writes them)\n";
  } else {
    out << "-- No step held back.\n";
  }
  for (const std::string& note : script.notes) out << Commented("not written: " + note);
  for (const std::string& outside : script.outside) {
    out << Commented("needed and not made here: " + outside);
  }
  if (script.steps.empty()) return;
  out << "\n";
  for (const std::string& s : Opening(script.dialect)) out << s << ";\n";
  for (const Step& step : script.steps) {
    out << "\n-- " << step.what << "\n";
    const bool back = step.unsafe && !allowUnsafe;
    if (step.unsafe) out << "-- unsafe: " << step.reason << "\n";
    for (const std::string& statement : step.statements) {
      out << (back ? Commented(statement + ";") : statement + ";\n");
    }
  }
  out << "\n";
  for (const std::string& s : Closing(script.dialect)) out << s << ";\n";
}

}  // namespace vantrix::migrate
