#include "migrate/Verify.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "compare/Findings.h"
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

// DB 2's structure, as statements for a SQLite of its own.
std::vector<std::string> Recreate(const db::Schema& db2) {
  std::vector<std::string> notes;
  const Translation own{db::Dialect::kSqlite, db::Dialect::kSqlite, &notes, db2.qualifier};
  std::vector<std::string> statements;
  for (const db::Table& t : db2.tables) {
    if (t.view || t.state != db::TableState::kRead) continue;
    for (std::string& s : CreateTable(own, t, true)) statements.push_back(std::move(s));
  }
  for (const db::Table& t : db2.tables) {
    if (t.view && t.state == db::TableState::kRead) {
      for (std::string& s : CreateView(own, t)) statements.push_back(std::move(s));
    }
  }
  for (const db::Table& t : db2.tables) {
    for (const db::Trigger& tr : t.triggers) {
      for (std::string& s : CreateTrigger(own, tr, t.name)) statements.push_back(std::move(s));
    }
  }
  return statements;
}

}  // namespace

Verification VerifyOnSqlite(const db::Schema& db1, const db::Schema& db2, const Script& script,
                            bool allowUnsafe) {
  Verification v;
  ScratchFile file;
  if (file.Path().empty()) {
    v.failedStatement = "(making a scratch file)";
    v.message = "no scratch file could be made";
    v.ran = true;
    return v;
  }
  sqlite3* db = nullptr;
  if (sqlite3_open(file.Path().c_str(), &db) != SQLITE_OK) {
    v.ran = true;
    v.failedStatement = "(opening the scratch database)";
    v.message = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    return v;
  }
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
  v.ran = true;
  const bool applied = run(Recreate(db2), true) && run(Statements(script, allowUnsafe), false);
  sqlite3_close(db);
  if (!applied) return v;

  db::SQLiteDatabase reader;
  reader.DatabaseFile = file.Path();
  std::optional<db::Schema> after;
  if (reader.Connect()) after = reader.WholeSchema(db::Detail::kStructure);
  if (!after) {
    v.failedStatement = "(reading the result back)";
    v.message = reader.ErrorMessage();
    return v;
  }
  reader.Close();
  after->engine = "SQLite";
  compare::FindingsOptions options;
  options.strict = true;
  const compare::Findings findings = compare::FindDifferences(db1, *after, options);
  for (const compare::TableFinding& t : findings.tables) {
    if (t.status == compare::TableStatus::kOnlyInDb1 || t.status == compare::TableStatus::kOnlyInDb2) {
      v.left.push_back(t.Name() + ": " + compare::StatusName(t.status));
      continue;
    }
    for (const compare::FieldFinding& f : t.fields) {
      if (f.counts) v.left.push_back(t.Name() + "." + f.name + ": " + compare::KindName(f.kind));
    }
    for (const compare::StructureFinding& f : t.structure) {
      if (f.counts) {
        v.left.push_back(t.Name() + ": " + compare::ObjectName(f.object) + " " + f.name + " " +
                         compare::ChangeName(f.change));
      }
    }
  }
  return v;
}

std::vector<std::string> Describe(const Verification& v) {
  if (!v.ran) return {"not verified"};
  if (!v.failedStatement.empty()) {
    return {"verification failed: " + v.failedStatement, "the engine said: " + v.message};
  }
  if (v.left.empty()) return {"verified: applying the script leaves no difference"};
  std::vector<std::string> lines = {"verified: applying the script leaves " +
                                    std::to_string(v.left.size()) +
                                    (v.left.size() == 1 ? " difference:" : " differences:")};
  for (const std::string& l : v.left) lines.push_back("  " + l);
  return lines;
}

}  // namespace vantrix::migrate
