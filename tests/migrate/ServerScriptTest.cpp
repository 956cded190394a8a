// The script that makes a MariaDB or PostgreSQL DB 2 like DB 1, proved on
// the real test servers: DB 2 is the shop with a seeded set of mutations and
// rows; the script applied to it on one connection, as a user's client
// would, leaves no difference by every attribute the comparison knows
// (--strict), nor in the engine's own description of the tables (SHOW
// CREATE TABLE, pg_dump --schema-only), and the rows are still there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "compare/Findings.h"
#include "db/MySQLCommunityServer.h"
#include "db/PostgreSQLServer.h"
#include "migrate/Script.h"
#include "support/MariaDbTestServer.h"
#include "support/PostgresTestServer.h"
#include "support/TempSqlite.h"

namespace vantrix::migrate {
namespace {

// One change a DB 2 may have: `from` in the shop's SQL replaced by `to`,
// and in the rows' SQL `rowsFrom` by `rowsTo` where the change renames
// what they fill.
struct Mutation {
  std::string what;
  std::string from;
  std::string to;
  std::string rowsFrom;
  std::string rowsTo;
};

// A server engine the shop is made on, and how to look at it.
struct Engine {
  std::string name;
  std::string shop;
  std::vector<Mutation> mutations;
  std::function<void(const std::string& database, const std::string& sql)> create;
  std::function<db::Schema(const std::string& database)> read;
  std::function<std::string(const std::string& database, const std::vector<std::string>&)> apply;
  std::function<std::vector<std::string>(const std::string& database)> describe;
  std::function<std::vector<std::string>(const std::string& database, const std::string&)> rows;
};

const char* const kRows =
    "INSERT INTO customers (id, email, name) VALUES (1, 'a@example.org', 'Ann'),"
    " (2, 'b@example.org', 'Bob');"
    "INSERT INTO employees (id, manager_id, name) VALUES (1, NULL, 'Boss'), (2, 1, 'Sue');"
    "INSERT INTO orders (id, customer_id, total, status) VALUES (10, 1, 5.5, 'new'),"
    " (11, 2, 7, 'open');"
    "INSERT INTO order_lines (order_id, line_no, product, qty) VALUES (10, 1, 'pen', 2),"
    " (11, 1, 'ink', 1);"
    "INSERT INTO shipments (id, order_id, line_no) VALUES (100, 10, 1);";

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

// The mutations of the shop that read the same on both servers; each
// engine adds its own spellings.
std::vector<Mutation> Mutations(const std::string& integer, const std::string& date,
                                const std::string& autoIncrement, const std::string& quote) {
  const std::string q = quote;
  return {
      {"an index dropped", "CREATE INDEX idx_lines_product ON order_lines (product, qty);", ""},
      {"an index's direction", "(placed DESC, status)", "(placed, status)"},
      {"a foreign key's action", "ON DELETE SET NULL\n);", "ON DELETE CASCADE\n);"},
      {"a default changed", "DEFAULT 'new'", "DEFAULT 'open'"},
      {"a default dropped", "qty " + integer + " NOT NULL DEFAULT 1", "qty " + integer + " NOT NULL"},
      {"a check dropped", ",\n  CONSTRAINT ck_lines_qty CHECK (qty > 0)", ""},
      {"a check changed", "CHECK (score >= 0)", "CHECK (score >= -10)"},
      {"a view rewritten", "SUM(total) AS spent", "MAX(total) AS spent"},
      {"a trigger's timing", "trg_orders_score AFTER INSERT", "trg_orders_score BEFORE INSERT"},
      {"a column missing", "  born " + date + " DEFAULT NULL,\n", ""},
      {"a column extra", "  placed " + date + ",", "  placed " + date + ",\n  legacy TEXT,"},
      {"a type narrower", "name VARCHAR(60) NOT NULL,\n  CONSTRAINT fk_employees_manager",
       "name VARCHAR(30) NOT NULL,\n  CONSTRAINT fk_employees_manager"},
      {"NOT NULL missing", "email VARCHAR(120) NOT NULL", "email VARCHAR(120)"},
      {"a primary key missing", "  id " + integer + " NOT NULL PRIMARY KEY,\n  order_id",
       "  id " + integer + " NOT NULL,\n  order_id"},
      {"auto-increment missing", autoIncrement, "id " + integer + " NOT NULL PRIMARY KEY"},
      {"a generated expression", "(total * 2) STORED", "(total * 3) STORED"},
      {"a unique constraint missing", "  CONSTRAINT uq_customers_email UNIQUE (email),\n", ""},
      {"a column in other letter case", "  sent " + date + ",", "  " + q + "Sent" + q + " " + date + ","},
      {"a table in other letter case", "CREATE TABLE shipments", "CREATE TABLE " + q + "Shipments" + q,
       "INSERT INTO shipments", "INSERT INTO " + q + "Shipments" + q},
      {"a table extra", "CREATE VIEW customer_totals",
       "CREATE TABLE scratch (x " + integer + ");\nCREATE VIEW customer_totals"},
  };
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

Engine MariaDb(const test::MariaDbServer& server) {
  Engine e;
  e.name = "MariaDB";
  e.shop = test::ReadFile(VANTRIX_SOURCE_DIR "/tests/fixtures/every_object/mariadb.sql");
  e.mutations = Mutations("INT", "DATE", "id INT NOT NULL AUTO_INCREMENT PRIMARY KEY", "`");
  e.create = [server](const std::string& database, const std::string& sql) {
    test::CreateMariaDbSchema(server, database, sql);
  };
  e.read = [server](const std::string& database) {
    auto db = test::MariaDbHandle(server, database);
    EXPECT_TRUE(db->Connect()) << db->ErrorMessage();
    auto schema = db->WholeSchema(db::Detail::kStructure);
    EXPECT_TRUE(schema.has_value()) << db->ErrorMessage();
    if (!schema) return db::Schema{};
    schema->engine = "Mysql";
    schema->qualifier = database;
    return *schema;
  };
  e.apply = [server](const std::string& database, const std::vector<std::string>& statements) {
    return test::ApplyMariaDbStatements(server, database, statements);
  };
  e.describe = [server](const std::string& database) {
    std::vector<std::string> statements;
    for (const std::string& row : test::MariaDbRows(
             server, database,
             "SELECT TABLE_NAME, TABLE_TYPE FROM information_schema.TABLES "
             "WHERE TABLE_SCHEMA = DATABASE()")) {
      const std::string name = row.substr(0, row.find('|'));
      const bool view = row.ends_with("|VIEW");
      for (std::string shown : test::MariaDbRows(
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
    for (const std::string& row : test::MariaDbRows(server, database, "SHOW TRIGGERS")) {
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
    return test::MariaDbRows(server, database, sql);
  };
  return e;
}

Engine Postgres(const test::PostgresServer& server) {
  Engine e;
  e.name = "PostgreSQL";
  e.shop = test::ReadFile(VANTRIX_SOURCE_DIR "/tests/fixtures/every_object/postgresql.sql");
  e.mutations = Mutations("integer", "date",
                          "id integer GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY", "\"");
  // PostgreSQL writes its own fixture in lower case: adapt the spellings.
  for (Mutation& m : e.mutations) {
    for (std::string* text : {&m.from, &m.to}) {
      *text = std::regex_replace(*text, std::regex("VARCHAR"), "varchar");
    }
  }
  e.create = [server](const std::string& database, const std::string& sql) {
    test::CreatePostgresDatabase(server, database, sql);
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
    return test::ApplyPostgresStatements(server, database, statements);
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
    return test::PostgresRows(server, database, sql);
  };
  return e;
}

// DB 1 the shop; DB 2 the shop with a seeded set of mutations, and rows.
void ExpectMutatedShopsMadeTheShop(const Engine& e, int rounds) {
  const unsigned first = std::random_device{}();
  const std::string db1Name = "vx_mig_db1";
  e.create(db1Name, e.shop);
  const db::Schema db1 = e.read(db1Name);
  const std::vector<std::string> wanted = e.describe(db1Name);
  ASSERT_FALSE(wanted.empty());
  for (int round = 0; round < rounds; ++round) {
    const unsigned seed = first + static_cast<unsigned>(round);
    std::mt19937 random(seed);
    std::vector<const Mutation*> chosen;
    for (const Mutation& m : e.mutations) {
      if (std::bernoulli_distribution(0.3)(random)) chosen.push_back(&m);
    }
    std::string what;
    for (const Mutation* m : chosen) what += m->what + "; ";
    const std::string context = e.name + " seed " + std::to_string(seed) + ": " + what;

    const std::string db2Sql = Apply(e.shop, chosen, false) + Apply(kRows, chosen, true);
    const std::string db2Name = "vx_mig_db2";
    e.create(db2Name, db2Sql);
    const db::Schema db2 = e.read(db2Name);
    const Script script = PlanScript(db1, db2, {.allowUnsafe = true});
    ASSERT_EQ(e.apply(db2Name, Statements(script, true)), "") << context;
    EXPECT_EQ(Left(db1, e.read(db2Name)), std::vector<std::string>{}) << context;
    EXPECT_EQ(e.describe(db2Name), wanted) << context;
    // The rows of the columns both have are still there.
    EXPECT_EQ(e.rows(db2Name, "SELECT id, name FROM employees ORDER BY id"),
              (std::vector<std::string>{"1|Boss", "2|Sue"}))
        << context;
    EXPECT_EQ(e.rows(db2Name, "SELECT id, total FROM orders ORDER BY id"),
              (std::vector<std::string>{"10|5.50", "11|7.00"}))
        << context;
    EXPECT_EQ(e.rows(db2Name, "SELECT count(*) FROM shipments"), std::vector<std::string>{"1"})
        << context;

    // Without --allow-unsafe the rest runs on a fresh copy.
    e.create(db2Name, db2Sql);
    EXPECT_EQ(e.apply(db2Name, Statements(PlanScript(db1, db2, {}), false)), "") << context;
  }
}

TEST(ServerScript, AnyMutatedShopIsMadeTheShopAgainOnMariaDb) {
  VANTRIX_REQUIRE_MARIADB(server);
  ExpectMutatedShopsMadeTheShop(MariaDb(server), 12);
}

TEST(ServerScript, AnyMutatedShopIsMadeTheShopAgainOnPostgres) {
  VANTRIX_REQUIRE_POSTGRES(server);
  ExpectMutatedShopsMadeTheShop(Postgres(server), 12);
}

}  // namespace
}  // namespace vantrix::migrate
