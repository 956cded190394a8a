#include "ScriptEngines.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstdio>
#include <random>
#include <regex>

#include "compare/Findings.h"
#include "db/MySQLCommunityServer.h"
#include "db/PostgreSQLServer.h"
#include "db/SQLiteDatabase.h"
#include "migrate/Script.h"
#include "support/TempSqlite.h"

namespace vantrix::scripttest {
namespace {

namespace vt = vantrix::test;
using migrate::PlanScript;
using migrate::Script;
using migrate::Statements;

std::string Apply(std::string text, const std::vector<const Mutation*>& chosen, bool rows) {
  for (const Mutation* m : chosen) {
    const std::string& from = rows ? m->rowsFrom : m->from;
    const std::string& to = rows ? m->rowsTo : m->to;
    if (from.empty()) continue;
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << m->what;
    if (at != std::string::npos) text.replace(at, from.size(), to);
  }
  return text;
}

// An engine's description as a sorted list of statements, each with its
// lines sorted and without trailing commas: the columns' order is no part
// of what is compared (adding a column puts it last; the comparison counts
// the order only as a note).
std::vector<std::string> Canonical(const std::vector<std::string>& statements) {
  std::vector<std::string> out;
  for (const std::string& statement : statements) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= statement.size()) {
      std::size_t end = statement.find('\n', start);
      if (end == std::string::npos) end = statement.size();
      std::string line = statement.substr(start, end - start);
      while (!line.empty() && (line.back() == ',' || line.back() == ' ')) line.pop_back();
      while (!line.empty() && line.front() == ' ') line.erase(0, 1);
      if (!line.empty()) lines.push_back(line);
      start = end + 1;
    }
    std::sort(lines.begin(), lines.end());
    std::string joined;
    for (const std::string& l : lines) joined += l + "\n";
    out.push_back(joined);
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

db::Schema SqliteRead(const std::filesystem::path& file) {
  db::SQLiteDatabase db;
  db.DatabaseFile = file;
  EXPECT_TRUE(db.Connect()) << db.ErrorMessage();
  auto schema = db.WholeSchema(db::Detail::kStructure);
  EXPECT_TRUE(schema.has_value()) << db.ErrorMessage();
  if (!schema) return {};
  schema->engine = "SQLite";
  return *schema;
}

// SQLite's own account of a database, apart from this program's reader:
// every pragma row of every table, index and foreign key, sorted.
std::vector<std::string> SqliteDescribed(const std::filesystem::path& file) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  std::vector<std::string> rows;
  const auto collect = [&](const char* sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
      rows.push_back(std::string("cannot describe: ") + sqlite3_errmsg(db));
      return;
    }
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      std::string row;
      for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
        row += std::string(text ? text : "NULL") + "|";
      }
      rows.push_back(row);
    }
    sqlite3_finalize(stmt);
  };
  // SQLite's NOT NULL flag follows the text; the rowid (a table's only key
  // column, INTEGER) is never NULL whether the text says so or not.
  collect(
      "SELECT lower(m.name), lower(p.name), upper(p.type),"
      " p.\"notnull\" OR (p.pk = 1 AND upper(p.type) = 'INTEGER' AND"
      " (SELECT count(*) FROM pragma_table_info(m.name) WHERE pk > 0) = 1),"
      " p.dflt_value, p.pk, p.hidden FROM sqlite_master m JOIN pragma_table_xinfo(m.name) p"
      " WHERE m.type = 'table' AND m.name NOT LIKE 'sqlite%'");
  collect(
      "SELECT lower(m.name), CASE WHEN il.name LIKE 'sqlite_autoindex%' THEN '*' ELSE il.name END,"
      " il.\"unique\", il.origin, il.partial, ix.seqno, lower(ix.name), ix.\"desc\""
      " FROM sqlite_master m JOIN pragma_index_list(m.name) il"
      " JOIN pragma_index_xinfo(il.name) ix WHERE m.type = 'table' AND ix.key = 1");
  collect(
      "SELECT lower(m.name), lower(fk.\"table\"), lower(fk.\"from\"), lower(fk.\"to\"),"
      " fk.on_update, fk.on_delete FROM sqlite_master m JOIN pragma_foreign_key_list(m.name) fk"
      " WHERE m.type = 'table'");
  collect("SELECT type, lower(name), lower(tbl_name) FROM sqlite_master WHERE type IN"
          " ('view', 'trigger')");
  sqlite3_close(db);
  std::sort(rows.begin(), rows.end());
  return rows;
}

std::vector<std::string> SqliteRows(const std::filesystem::path& file, const char* sql) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  std::vector<std::string> rows;
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK) {
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      std::string row;
      for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
        row += std::string(c ? "|" : "") + (text ? text : "NULL");
      }
      rows.push_back(row);
    }
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return rows;
}

// Runs a script's statements on a file, as a user's client would; the
// failing statement and SQLite's message, or empty.
std::string SqliteRun(const std::filesystem::path& file,
                      const std::vector<std::string>& statements) {
  sqlite3* db = nullptr;
  sqlite3_open(file.c_str(), &db);
  std::string failure;
  for (const std::string& s : statements) {
    char* error = nullptr;
    if (sqlite3_exec(db, s.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      failure = s + ": " + (error ? error : "?");
      sqlite3_free(error);
      break;
    }
  }
  sqlite3_close(db);
  return failure;
}

// What still counts between two schemas, compared strictly.
std::vector<std::string> Left(const db::Schema& want, const db::Schema& got) {
  compare::FindingsOptions strict;
  strict.strict = true;
  std::vector<std::string> left;
  for (const compare::TableFinding& t : compare::FindDifferences(want, got, strict).tables) {
    if (t.status != compare::TableStatus::kSame) left.push_back(t.Name() + " " + StatusName(t.status));
    for (const compare::FieldFinding& f : t.fields) {
      if (f.counts) left.push_back(t.Name() + "." + f.name + " " + KindName(f.kind));
    }
    for (const compare::StructureFinding& f : t.structure) {
      if (f.counts) left.push_back(t.Name() + " " + ObjectName(f.object) + " " + f.name);
    }
  }
  return left;
}

Engine MariaDbEngine(const vt::MariaDbServer& server) {
  Engine e;
  e.name = "MariaDB";
  e.create = [server](const std::string& database, const std::string& sql) {
    vt::CreateMariaDbSchema(server, database, sql);
  };
  e.read = [server](const std::string& database) {
    auto db = vt::MariaDbHandle(server, database);
    EXPECT_TRUE(db->Connect()) << db->ErrorMessage();
    auto schema = db->WholeSchema(db::Detail::kStructure);
    EXPECT_TRUE(schema.has_value()) << db->ErrorMessage();
    if (!schema) return db::Schema{};
    schema->engine = "Mysql";
    schema->qualifier = database;
    return *schema;
  };
  e.apply = [server](const std::string& database, const std::vector<std::string>& statements) {
    return vt::ApplyMariaDbStatements(server, database, statements);
  };
  e.describe = [server](const std::string& database) {
    std::vector<std::string> statements;
    for (const std::string& row : vt::MariaDbRows(
             server, database,
             "SELECT TABLE_NAME, TABLE_TYPE FROM information_schema.TABLES "
             "WHERE TABLE_SCHEMA = DATABASE()")) {
      const std::string name = row.substr(0, row.find('|'));
      const bool view = row.ends_with("|VIEW");
      for (std::string shown : vt::MariaDbRows(
               server, database,
               std::string(view ? "SHOW CREATE VIEW `" : "SHOW CREATE TABLE `") + name + "`")) {
        // The name, then the statement; for a view the character sets too.
        shown = shown.substr(shown.find('|') + 1);
        if (view) shown = shown.substr(0, shown.find('|'));
        shown = std::regex_replace(shown, std::regex(" AUTO_INCREMENT=[0-9]+"), "");
        shown = std::regex_replace(shown, std::regex("`" + database + "`\\."), "");
        statements.push_back(shown);
      }
    }
    for (const std::string& row : vt::MariaDbRows(server, database, "SHOW TRIGGERS")) {
      // Trigger, Event, Table, Statement, Timing: what it is, not when made.
      std::string kept;
      std::size_t at = 0;
      for (int field = 0; field < 5; ++field) {
        const std::size_t bar = row.find('|', at);
        kept += row.substr(at, bar - at) + "\n";
        at = bar + 1;
      }
      statements.push_back(kept);
    }
    return Canonical(statements);
  };
  e.rows = [server](const std::string& database, const std::string& sql) {
    return vt::MariaDbRows(server, database, sql);
  };
  return e;
}

Engine PostgresEngine(const vt::PostgresServer& server) {
  Engine e;
  e.name = "PostgreSQL";
  e.create = [server](const std::string& database, const std::string& sql) {
    vt::CreatePostgresDatabase(server, database, sql);
  };
  e.read = [server](const std::string& database) {
    db::PostgreSQLServer db;
    db.Host = server.host;
    db.Port = server.port;
    db.UserName = server.user;
    db.Password = server.password;
    db.DatabaseName = database;
    EXPECT_TRUE(db.Connect()) << db.ErrorMessage();
    auto schema = db.WholeSchema(db::Detail::kStructure);
    EXPECT_TRUE(schema.has_value()) << db.ErrorMessage();
    if (!schema) return db::Schema{};
    schema->engine = "PostgreSQL";
    return *schema;
  };
  e.apply = [server](const std::string& database, const std::vector<std::string>& statements) {
    return vt::ApplyPostgresStatements(server, database, statements);
  };
  e.describe = [server](const std::string& database) {
    const std::string command = "PGPASSWORD='" + server.password + "' pg_dump --schema-only" +
                                " --no-owner --no-privileges -h " + server.host + " -p " +
                                std::to_string(server.port) + " -U " + server.user + " " +
                                database + " 2>&1";
    std::string dump;
    if (FILE* pipe = popen(command.c_str(), "r")) {
      char buffer[4096];
      std::size_t read = 0;
      while ((read = fread(buffer, 1, sizeof buffer, pipe)) > 0) dump.append(buffer, read);
      pclose(pipe);
    }
    // Statements without comments, settings and blank lines.
    std::vector<std::string> statements;
    std::string current;
    std::size_t start = 0;
    while (start < dump.size()) {
      std::size_t end = dump.find('\n', start);
      if (end == std::string::npos) end = dump.size();
      const std::string line = dump.substr(start, end - start);
      start = end + 1;
      // pg_dump's \restrict lines carry a key of the run's own.
      if (line.empty() || line.starts_with("--") || line.starts_with("SET ") ||
          line.starts_with("SELECT pg_catalog.set_config") || line.starts_with("\\restrict") ||
          line.starts_with("\\unrestrict")) {
        continue;
      }
      current += line + "\n";
      if (line.ends_with(";")) {
        statements.push_back(current);
        current.clear();
      }
    }
    if (!current.empty()) statements.push_back(current);
    return Canonical(statements);
  };
  e.rows = [server](const std::string& database, const std::string& sql) {
    return vt::PostgresRows(server, database, sql);
  };
  return e;
}

Engine SqliteEngine(const std::filesystem::path& dir) {
  Engine e;
  e.name = "SQLite";
  const auto file = [dir](const std::string& database) { return dir / (database + ".sqlite"); };
  e.apply = [file](const std::string& database, const std::vector<std::string>& statements) {
    return SqliteRun(file(database), statements);
  };
  e.create = [file, apply = e.apply](const std::string& database, const std::string& sql) {
    std::filesystem::remove(file(database));
    const std::string failure = apply(database, {"PRAGMA foreign_keys = OFF", sql});
    EXPECT_EQ(failure, "") << database;
  };
  e.read = [file](const std::string& database) { return SqliteRead(file(database)); };
  e.describe = [file](const std::string& database) {
    return SqliteDescribed(file(database));
  };
  e.rows = [file](const std::string& database, const std::string& sql) {
    return SqliteRows(file(database), sql.c_str());
  };
  return e;
}

std::string DatabaseName(int side) {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = "vx_";
  for (const char c : std::string(test->name())) {
    if (std::isalnum(static_cast<unsigned char>(c))) {
      name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
  }
  return name.substr(0, 40) + "_" + std::to_string(side);
}

int Rounds(int usual) {
  const char* times = std::getenv("VANTRIX_PROPERTY_ROUNDS");
  const int factor = times && *times ? std::atoi(times) : 1;
  return usual * (factor > 0 ? factor : 1);
}

void ExpectMutatedBasesMadeAgain(const Engine& e, const Base& base, int usual) {
  const int rounds = Rounds(usual);
  const unsigned first = std::random_device{}();
  const std::string db1Name = DatabaseName(1);
  e.create(db1Name, base.sql + base.rows);
  const db::Schema db1 = e.read(db1Name);
  const std::vector<std::string> wanted = e.describe(db1Name);
  ASSERT_FALSE(wanted.empty());
  for (int round = 0; round < rounds; ++round) {
    const unsigned seed = first + static_cast<unsigned>(round);
    std::mt19937 random(seed);
    std::vector<const Mutation*> chosen;
    for (const Mutation& m : base.mutations) {
      if (std::bernoulli_distribution(0.3)(random)) chosen.push_back(&m);
    }
    std::string what;
    for (const Mutation* m : chosen) what += m->what + "; ";
    const std::string context =
        e.name + ", " + base.name + ", seed " + std::to_string(seed) + ": " + what;

    const std::string db2Sql = Apply(base.sql, chosen, false) + Apply(base.rows, chosen, true);
    const std::string db2Name = DatabaseName(2);
    e.create(db2Name, db2Sql);
    const db::Schema db2 = e.read(db2Name);
    const Script script = PlanScript(db1, db2, {.allowUnsafe = true});
    ASSERT_EQ(e.apply(db2Name, Statements(script, true)), "") << context;
    EXPECT_EQ(Left(db1, e.read(db2Name)), std::vector<std::string>{}) << context;
    EXPECT_EQ(e.describe(db2Name), wanted) << context;
    // The rows of the columns both have are still there.
    for (const auto& [query, rows] : base.kept) {
      EXPECT_EQ(e.rows(db2Name, query), rows) << context << "\n" << query;
    }

    // Without --allow-unsafe the rest runs on a fresh copy.
    e.create(db2Name, db2Sql);
    EXPECT_EQ(e.apply(db2Name, Statements(PlanScript(db1, db2, {}), false)), "") << context;
  }
}

const char* const kShopRows =
    "INSERT INTO customers (id, email, name) VALUES (1, 'a@example.org', 'Ann'),"
    " (2, 'b@example.org', 'Bob');"
    "INSERT INTO employees (id, manager_id, name) VALUES (1, NULL, 'Boss'), (2, 1, 'Sue');"
    "INSERT INTO orders (id, customer_id, total, status) VALUES (10, 1, 5.5, 'new'),"
    " (11, 2, 7, 'open');"
    "INSERT INTO order_lines (order_id, line_no, product, qty) VALUES (10, 1, 'pen', 2),"
    " (11, 1, 'ink', 1);"
    "INSERT INTO shipments (id, order_id, line_no) VALUES (100, 10, 1);";

Base Employees(const std::string& quote) {
  const std::string dir = VANTRIX_FIXTURES_DIR "/employees/";
  std::string tables = vantrix::test::ReadFile(dir + "tables.sql");
  // The two lines that only report MySQL's storage engine.
  for (const char* line : {"/*!50503 set default_storage_engine = InnoDB */;",
                           "/*!50503 select CONCAT('storage engine: ', @@default_storage_engine) "
                           "as INFO */;"}) {
    const std::size_t at = tables.find(line);
    if (at != std::string::npos) tables.erase(at, std::string(line).size());
  }
  std::string views = vantrix::test::ReadFile(dir + "views.sql");
  // v_full_departments: SQLite 3.40 has no concat() and MariaDB refuses it.
  views = views.substr(0, views.find("--\n-- selects the department list"));
  Base b;
  b.name = "employees";
  b.sql = tables + "\n" + views;
  b.rows =
      "INSERT INTO employees VALUES (1, '1960-01-01', 'Ann', 'Lee', 'F', '1990-01-01'),"
      " (2, '1970-02-02', 'Bob', 'Kay', 'M', '1995-05-05');\n"
      "INSERT INTO departments VALUES ('d001', 'Sales'), ('d002', 'Research');\n"
      "INSERT INTO dept_manager VALUES (1, 'd001', '1990-01-01', '9999-01-01');\n"
      "INSERT INTO dept_emp VALUES (1, 'd001', '1990-01-01', '9999-01-01'),"
      " (2, 'd002', '1995-05-05', '9999-01-01');\n"
      "INSERT INTO titles (emp_no, title, from_date) VALUES (1, 'Manager', '1990-01-01');\n"
      "INSERT INTO salaries VALUES (1, 60000, '1990-01-01', '9999-01-01'),"
      " (2, 50000, '1995-05-05', '9999-01-01');\n";
  const std::string q = quote;
  b.mutations = {
      {"a unique constraint missing", "PRIMARY KEY (dept_no),\n    UNIQUE  (dept_name)",
       "PRIMARY KEY (dept_no)"},
      {"a foreign key's action", "REFERENCES employees   (emp_no)  ON DELETE CASCADE,",
       "REFERENCES employees   (emp_no),"},
      {"a foreign key missing",
       "   FOREIGN KEY (dept_no) REFERENCES departments (dept_no) ON DELETE CASCADE,\n"
       "   PRIMARY KEY (emp_no,dept_no)",
       "   PRIMARY KEY (emp_no,dept_no)"},
      {"a column missing", "    to_date     DATE,\n", ""},
      {"a column extra", "    dept_name   VARCHAR(40)     NOT NULL,",
       "    dept_name   VARCHAR(40)     NOT NULL,\n    budget      INT,", "INSERT INTO departments",
       "INSERT INTO departments (dept_no, dept_name)"},
      {"a type narrower", "last_name   VARCHAR(16)", "last_name   VARCHAR(12)"},
      {"a type wider", "title       VARCHAR(50)", "title       VARCHAR(80)"},
      {"NOT NULL missing", "first_name  VARCHAR(14)     NOT NULL", "first_name  VARCHAR(14)"},
      {"a check dropped", " CHECK(gender in ('M','F'))", ""},
      {"a shorter primary key", "PRIMARY KEY (emp_no,title, from_date)",
       "PRIMARY KEY (emp_no,title)"},
      {"a view rewritten", "max( to_date ) AS to_date", "min( to_date ) AS to_date"},
      {"a table in other letter case", "CREATE TABLE titles", "CREATE TABLE " + q + "Titles" + q,
       "INSERT INTO titles", "INSERT INTO " + q + "Titles" + q},
      {"a table missing",
       "CREATE TABLE salaries (\n    emp_no      INT             NOT NULL,\n"
       "    salary      INT             NOT NULL,\n    from_date   DATE            NOT NULL,\n"
       "    to_date     DATE            NOT NULL,\n"
       "    FOREIGN KEY (emp_no) REFERENCES employees (emp_no) ON DELETE CASCADE,\n"
       "    PRIMARY KEY (emp_no, from_date)\n) \n; ",
       "", "INSERT INTO salaries VALUES (1, 60000, '1990-01-01', '9999-01-01'),"
       " (2, 50000, '1995-05-05', '9999-01-01');\n", ""},
      {"a table extra", "create view v_emp_latest_date",
       "CREATE TABLE scratch (x INT);\ncreate view v_emp_latest_date"},
  };
  b.kept = {
      {"SELECT emp_no, first_name, last_name FROM employees ORDER BY emp_no",
       {"1|Ann|Lee", "2|Bob|Kay"}},
      {"SELECT dept_no, dept_name FROM departments ORDER BY dept_no",
       {"d001|Sales", "d002|Research"}},
      {"SELECT count(*) FROM dept_emp", {"2"}},
      {"SELECT emp_no, title FROM titles", {"1|Manager"}},
  };
  return b;
}

}  // namespace vantrix::scripttest
