#include "migrate/Verify.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <filesystem>
#include <optional>

#include "compare/Findings.h"
#include "db/Ascii.h"
#include "db/Database.h"
#include "db/SQLiteDatabase.h"
#include "migrate/Sql.h"

namespace vantrix::migrate {
namespace {

// A scratch file of its own, removed with it.
class ScratchFile {
public:
  ScratchFile() {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/vantrix-verify-XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd >= 0) {
      ::close(fd);
      path_ = pattern;
    }
  }
  ~ScratchFile() {
    if (!path_.empty()) {
      std::error_code ec;
      std::filesystem::remove(path_, ec);
    }
  }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;
  [[nodiscard]] const std::string& Path() const { return path_; }

private:
  std::string path_;
};

// DB 2's structure, as statements of its own dialect: the tables (and,
// on a server, their references once every table is there), then the
// views, then the triggers.
struct Recreation {
  std::vector<std::string> statements;
  std::vector<std::string> views;
  std::vector<std::string> triggers;
};

Recreation Recreate(const db::Schema& db2, Dialect dialect) {
  std::vector<std::string> notes;
  const Translation own{dialect, dialect, &notes, db2.qualifier};
  const bool sqlite = dialect == Dialect::kSqlite;
  Recreation out;
  for (const db::Table& t : db2.tables) {
    if (t.view || t.state != db::TableState::kRead) continue;
    for (std::string& s : CreateTable(own, t, sqlite)) out.statements.push_back(std::move(s));
  }
  for (const db::Table& t : db2.tables) {
    if (t.view || t.state != db::TableState::kRead || sqlite) continue;
    for (const db::ForeignKey& k : t.foreignKeys) {
      out.statements.push_back("ALTER TABLE " + Quote(dialect, t.name) + " ADD " +
                               ForeignKeyClause(own, k));
    }
  }
  for (const db::Table& t : db2.tables) {
    if (t.view && t.state == db::TableState::kRead) {
      for (std::string& s : CreateView(own, t)) out.views.push_back(std::move(s));
    }
  }
  for (const db::Table& t : db2.tables) {
    for (const db::Trigger& tr : t.triggers) {
      for (std::string& s : CreateTrigger(own, tr, t.name)) out.triggers.push_back(std::move(s));
    }
  }
  return out;
}

// What still differs between DB 1 and the scratch database after the
// script, by every attribute, one line each.
std::vector<std::string> Left(const db::Schema& db1, const db::Schema& after) {
  std::vector<std::string> left;
  compare::FindingsOptions options;
  options.strict = true;
  const compare::Findings findings = compare::FindDifferences(db1, after, options);
  for (const compare::TableFinding& t : findings.tables) {
    if (t.status == compare::TableStatus::kOnlyInDb1 || t.status == compare::TableStatus::kOnlyInDb2) {
      left.push_back(t.Name() + ": " + compare::StatusName(t.status));
      continue;
    }
    for (const compare::FieldFinding& f : t.fields) {
      if (f.counts) left.push_back(t.Name() + "." + f.name + ": " + compare::KindName(f.kind));
    }
    for (const compare::StructureFinding& f : t.structure) {
      if (f.counts) {
        left.push_back(t.Name() + ": " + compare::ObjectName(f.object) + " " + f.name + " " +
                       compare::ChangeName(f.change));
      }
    }
  }
  return left;
}

}  // namespace

Verification VerifyOnSqlite(const db::Schema& db1, const db::Schema& db2, const Script& script,
                            bool allowUnsafe, const std::string& path) {
  Verification v;
  v.ran = true;
  std::optional<ScratchFile> own;
  std::string where = path;
  bool existed = false;
  bool wasEmptyFile = false;
  if (where.empty()) {
    own.emplace();
    where = own->Path();
    if (where.empty()) {
      v.failedStatement = "(making a scratch file)";
      v.message = "no scratch file could be made";
      return v;
    }
  } else {
    std::error_code ec;
    existed = std::filesystem::exists(where, ec);
    wasEmptyFile = existed && std::filesystem::file_size(where, ec) == 0 && !ec;
  }
  db::PrepareSqlite();
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(where.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    v.failedStatement = "(opening the scratch database " + where + ")";
    v.message = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    return v;
  }
  // A file the user named must hold nothing yet, and holds nothing after:
  // it was made for this and goes, or it is emptied again.
  const auto count = [&]() -> int {
    sqlite3_stmt* st = nullptr;
    int n = -1;
    if (sqlite3_prepare_v2(db, "SELECT count(*) FROM sqlite_schema", -1, &st, nullptr) ==
            SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW) {
      n = sqlite3_column_int(st, 0);
    }
    sqlite3_finalize(st);
    return n;
  };
  if (!path.empty()) {
    const int objects = count();
    if (objects != 0) {
      v.failedStatement = "(opening the scratch database " + where + ")";
      v.message = objects < 0 ? std::string(sqlite3_errmsg(db))
                              : "it holds " + std::to_string(objects) +
                                    (objects == 1 ? " table, index, view or trigger"
                                                  : " tables, indexes, views or triggers") +
                                    "; a scratch database must be empty, and is left so";
      sqlite3_close(db);
      return v;
    }
  }
  const auto cleanUp = [&] {
    if (path.empty()) return;
    if (!existed) {
      std::error_code ec;
      std::filesystem::remove(where, ec);
      return;
    }
    std::vector<std::pair<std::string, std::string>> objects;
    sqlite3* again = nullptr;
    if (sqlite3_open_v2(where.c_str(), &again, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
      sqlite3_exec(again, "PRAGMA foreign_keys = OFF", nullptr, nullptr, nullptr);
      sqlite3_stmt* st = nullptr;
      if (sqlite3_prepare_v2(again,
                             "SELECT type, name FROM sqlite_schema WHERE type IN ('view', 'table') "
                             "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY type = 'table'",
                             -1, &st, nullptr) == SQLITE_OK) {
        while (sqlite3_step(st) == SQLITE_ROW) {
          objects.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)),
                               reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
        }
      }
      sqlite3_finalize(st);
      for (const auto& [type, name] : objects) {
        const std::string drop = (type == "view" ? "DROP VIEW " : "DROP TABLE ") +
                                 Quote(Dialect::kSqlite, name);
        sqlite3_exec(again, drop.c_str(), nullptr, nullptr, nullptr);
      }
      sqlite3_exec(again, "DELETE FROM sqlite_sequence", nullptr, nullptr, nullptr);
      sqlite3_exec(again, "DROP TABLE IF EXISTS sqlite_sequence", nullptr, nullptr, nullptr);
      sqlite3_exec(again, "VACUUM", nullptr, nullptr, nullptr);
    }
    sqlite3_close(again);
    if (wasEmptyFile) {
      std::error_code ec;
      std::filesystem::resize_file(where, 0, ec);
    }
  };
  const auto run = [&](const std::vector<std::string>& statements, bool recreating) {
    for (const std::string& s : statements) {
      char* error = nullptr;
      if (sqlite3_exec(db, s.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        v.failedStatement = recreating ? "(making DB 2's structure again) " + s : s;
        v.message = error ? error : "failed";
        sqlite3_free(error);
        return false;
      }
    }
    return true;
  };
  const Recreation again = Recreate(db2, Dialect::kSqlite);
  const bool applied = run(again.statements, true) && run(again.views, true) &&
                       run(again.triggers, true) && run(Statements(script, allowUnsafe), false);
  sqlite3_close(db);
  if (!applied) {
    cleanUp();
    return v;
  }

  db::SQLiteDatabase reader;
  reader.DatabaseFile = where;
  std::optional<db::Schema> after;
  if (reader.Connect()) after = reader.WholeSchema(db::Detail::kStructure);
  reader.Close();
  cleanUp();
  if (!after) {
    v.failedStatement = "(reading the result back)";
    v.message = reader.ErrorMessage();
    return v;
  }
  after->engine = "SQLite";
  v.left = Left(db1, *after);
  return v;
}

namespace {

// A name for a PostgreSQL scratch schema no one else uses.
std::string ScratchSchemaName() {
  std::random_device random;
  char name[64];
  std::snprintf(name, sizeof name, "vantrix_verify_%d_%08x", static_cast<int>(::getpid()),
                static_cast<unsigned>(random()));
  return name;
}

// Whether `name` stands in `text` as a word of its own (both in lower case).
bool MentionsName(const std::string& text, const std::string& name) {
  const auto word = [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
  };
  for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1)) {
    const bool before = at == 0 || !word(text[at - 1]);
    const bool after = at + name.size() >= text.size() || !word(text[at + name.size()]);
    if (before && after) return true;
  }
  return false;
}

// Leaves out of both schemas what a PostgreSQL scratch schema cannot be
// given: the tables whose columns use a type this script does not make (an
// enum or a domain of DB 2's schema), those that refer to them, and the
// triggers, whose functions are not part of what is compared. Each is named
// in `v.notVerified`. False with v's failure when the types cannot be looked up.
bool KeepVerifiable(db::Database& scratch, db::Schema& db1, db::Schema& db2, Verification& v) {
  std::set<std::string> types;
  const bool db1Postgres = db::DialectOf(db1.engine) == Dialect::kPostgres;
  for (const db::Schema* schema : {&db1, &db2}) {
    if (schema == &db1 && !db1Postgres) continue;
    for (const db::Table& t : schema->tables) {
      for (const db::Column& c : t.columns) {
        if (!c.declaredType.empty()) types.insert(c.declaredType);
      }
    }
  }
  std::set<std::string> missing;
  if (!types.empty()) {
    std::string values;
    for (const std::string& t : types) {
      values += (values.empty() ? "(" : ", (") + Literal(Dialect::kPostgres, t) + ")";
    }
    auto rows = scratch.SelectSQL("SELECT t FROM (VALUES " + values +
                                  ") AS v(t) WHERE pg_catalog.to_regtype(t) IS NULL");
    if (!rows) {
      v.failedStatement = "(looking up the types DB 2 uses)";
      v.message = scratch.ErrorMessage();
      return false;
    }
    for (; !rows->AfterLastRow(); rows->MoveToNextRow()) {
      missing.insert(rows->ColumnAt(0).StringValue());
    }
  }
  // Tables left out, by folded name, with why.
  std::map<std::string, std::string> out;
  for (const db::Schema* schema : {&db1, &db2}) {
    for (const db::Table& t : schema->tables) {
      for (const db::Column& c : t.columns) {
        if (missing.count(c.declaredType) && !out.count(db::AsciiLower(t.name))) {
          out[db::AsciiLower(t.name)] =
              t.name + ": not verified, it needs the type " + c.declaredType +
              ", which no script here makes";
        }
      }
    }
  }
  for (bool more = true; more;) {
    more = false;
    for (const db::Schema* schema : {&db1, &db2}) {
      for (const db::Table& t : schema->tables) {
        if (out.count(db::AsciiLower(t.name))) continue;
        for (const db::ForeignKey& k : t.foreignKeys) {
          const auto refused = out.find(db::AsciiLower(k.referencedTable));
          if (refused == out.end()) continue;
          out[db::AsciiLower(t.name)] =
              t.name + ": not verified, it refers to " + k.referencedTable + ", which is not";
          more = true;
          break;
        }
      }
    }
  }
  // A view reading a table left out goes too; a mention of its name is
  // taken as reading it.
  if (!out.empty()) {
    for (const db::Schema* schema : {&db1, &db2}) {
      for (const db::Table& t : schema->tables) {
        if (!t.view || out.count(db::AsciiLower(t.name))) continue;
        const std::string query = db::AsciiLower(t.viewDefinition);
        for (const auto& [name, why] : out) {
          if (MentionsName(query, name)) {
            out[db::AsciiLower(t.name)] = t.name + ": not verified, it reads a table that is not";
            break;
          }
        }
      }
    }
  }
  std::set<std::string> triggers;
  for (db::Schema* schema : {&db1, &db2}) {
    auto& tables = schema->tables;
    tables.erase(std::remove_if(tables.begin(), tables.end(),
                                [&](const db::Table& t) { return out.count(db::AsciiLower(t.name)); }),
                 tables.end());
    for (db::Table& t : tables) {
      for (const db::Trigger& tr : t.triggers) {
        triggers.insert(t.name + ": the trigger " + tr.name +
                        " is not verified; the function it runs is not part of what is compared");
      }
      t.triggers.clear();
    }
  }
  for (auto& [name, why] : out) v.notVerified.push_back(why);
  v.notVerified.insert(v.notVerified.end(), triggers.begin(), triggers.end());
  return true;
}

}  // namespace

Verification VerifyOnServer(db::Database& scratch, const db::Schema& db1In,
                            const db::Schema& db2In, const ScriptOptions& options,
                            bool allowUnsafe) {
  Verification v;
  v.ran = true;
  const Dialect dialect = db::DialectOf(db2In.engine);
  const bool postgres = dialect == Dialect::kPostgres;
  db::Schema db1 = db1In;
  db::Schema db2 = db2In;
  const auto fail = [&](std::string what, std::string message) {
    v.failedStatement = std::move(what);
    v.message = std::move(message);
    return v;
  };
  std::string schema;
  if (postgres) {
    // Everything is made in a schema of its own, dropped with all in it.
    schema = ScratchSchemaName();
    if (!scratch.ExecuteSQL("CREATE SCHEMA " + Quote(dialect, schema)) ||
        !scratch.ExecuteSQL("SET search_path TO " + Quote(dialect, schema))) {
      return fail("(making the scratch schema " + schema + ")", scratch.ErrorMessage());
    }
  } else {
    auto rows = scratch.SelectSQL(
        "SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE()");
    if (!rows) return fail("(looking into the scratch database)", scratch.ErrorMessage());
    const std::string objects = rows->ColumnAt(0).StringValue();
    if (objects != "0") {
      return fail("(looking into the scratch database)",
                  "it holds " + objects + (objects == "1" ? " table or view" : " tables or views") +
                      "; a scratch database must be empty, and is left so");
    }
  }
  const auto cleanUp = [&] {
    bool clean = true;
    if (postgres) {
      scratch.ExecuteSQL("ROLLBACK");  // after a failed statement in the script's transaction
      clean = scratch.ExecuteSQL("DROP SCHEMA " + Quote(dialect, schema) + " CASCADE");
    } else {
      auto rows = scratch.SelectSQL(
          "SELECT TABLE_NAME, TABLE_TYPE = 'VIEW' FROM information_schema.TABLES "
          "WHERE TABLE_SCHEMA = DATABASE() ORDER BY TABLE_TYPE = 'VIEW' DESC");
      clean = rows && scratch.ExecuteSQL("SET FOREIGN_KEY_CHECKS = 0");
      for (; clean && !rows->AfterLastRow(); rows->MoveToNextRow()) {
        const bool view = rows->ColumnAt(1).StringValue() == "1";
        clean = scratch.ExecuteSQL((view ? "DROP VIEW " : "DROP TABLE ") +
                                Quote(dialect, rows->ColumnAt(0).StringValue()));
      }
      scratch.ExecuteSQL("SET FOREIGN_KEY_CHECKS = 1");
    }
    if (!clean) v.cleanUp = scratch.ErrorMessage();
  };
  if (postgres && !KeepVerifiable(scratch, db1, db2, v)) {
    cleanUp();
    return v;
  }
  const Script script = PlanScript(db1, db2, options);
  const Recreation again = Recreate(db2, dialect);
  const auto run = [&](const std::vector<std::string>& statements, bool recreating) {
    for (const std::string& s : statements) {
      if (!scratch.ExecuteSQL(s)) {
        v.failedStatement = recreating ? "(making DB 2's structure again) " + s : s;
        v.message = scratch.ErrorMessage();
        return false;
      }
    }
    return true;
  };
  // A view may read another made after it: each round makes those that
  // can be made, until none is left or a round makes none.
  const auto makeViews = [&] {
    std::vector<std::string> pending = again.views;
    while (!pending.empty()) {
      std::vector<std::string> failed;
      std::string message;
      for (const std::string& s : pending) {
        if (!scratch.ExecuteSQL(s)) {
          failed.push_back(s);
          message = scratch.ErrorMessage();
        }
      }
      if (failed.size() == pending.size()) {
        v.failedStatement = "(making DB 2's structure again) " + failed.front();
        v.message = message;
        return false;
      }
      pending = std::move(failed);
    }
    return true;
  };
  const bool applied = run(again.statements, true) && makeViews() &&
                       run(again.triggers, true) && run(Statements(script, allowUnsafe), false);
  std::optional<db::Schema> after;
  if (applied) {
    if (postgres) scratch.SchemaName = schema;
    after = scratch.WholeSchema(db::Detail::kStructure);
    if (!after) {
      v.failedStatement = "(reading the result back)";
      v.message = scratch.ErrorMessage();
    }
  }
  cleanUp();
  if (!after) return v;
  after->engine = db2.engine;
  if (!postgres) after->qualifier = scratch.DatabaseName;
  v.left = Left(db1, *after);
  return v;
}

using db::OneLine;

std::vector<std::string> Describe(const Verification& v) {
  if (!v.ran) return {"not verified"};
  std::vector<std::string> lines;
  if (!v.failedStatement.empty()) {
    lines = {"verification failed: " + OneLine(v.failedStatement),
             "the engine said: " + OneLine(v.message)};
  } else if (v.left.empty()) {
    lines = {"verified: applying the script leaves no difference"};
  } else {
    lines = {"verified: applying the script leaves " + std::to_string(v.left.size()) +
             (v.left.size() == 1 ? " difference:" : " differences:")};
    for (const std::string& l : v.left) lines.push_back("  " + l);
  }
  for (const std::string& n : v.notVerified) lines.push_back(n);
  if (!v.cleanUp.empty()) {
    lines.push_back("the scratch database could not be emptied again: " + OneLine(v.cleanUp));
  }
  return lines;
}

}  // namespace vantrix::migrate
