#pragma once

// What the script tests share: the engines a schema is made on and looked
// at (by this program's reader and by the engine's own description), and
// the property every script must have, run on a base schema with a seeded
// set of mutations.
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "db/Schema.h"
#include "support/MariaDbTestServer.h"
#include "support/PostgresTestServer.h"

namespace vantrix::scripttest {

// One change a DB 2 may have: `from` in the base's SQL replaced by `to`,
// and in the rows' SQL `rowsFrom` by `rowsTo` where the change renames or
// drops what they fill.
struct Mutation {
  std::string what;
  std::string from;
  std::string to;
  std::string rowsFrom;
  std::string rowsTo;
};

// An engine a schema is made on, and how to look at it.
struct Engine {
  std::string name;
  std::function<void(const std::string& database, const std::string& sql)> create;
  std::function<db::Schema(const std::string& database)> read;
  // Runs statements as a user's client would: the first failure, or empty.
  std::function<std::string(const std::string& database, const std::vector<std::string>&)> apply;
  // The engine's own description, canonical: sorted, column order aside.
  std::function<std::vector<std::string>(const std::string& database)> describe;
  // Rows of a query, each as its values joined with "|".
  std::function<std::vector<std::string>(const std::string& database, const std::string&)> rows;
};

Engine MariaDbEngine(const vantrix::test::MariaDbServer& server);
Engine PostgresEngine(const vantrix::test::PostgresServer& server);
// SQLite files in `dir`, one per database name.
Engine SqliteEngine(const std::filesystem::path& dir);

// A schema to start from: its SQL, its rows, the mutations a DB 2 may
// have, and queries whose rows must survive every script.
struct Base {
  std::string name;
  std::string sql;
  std::string rows;
  std::vector<Mutation> mutations;
  std::vector<std::pair<std::string, std::vector<std::string>>> kept;
};

// A database name of the running test's own ("vx_<test name>_1"), so that
// tests run at the same time on one server never share a database.
std::string DatabaseName(int side);

// How many seeded rounds a property test runs: `usual`, times
// VANTRIX_PROPERTY_ROUNDS when it is set (the property_soak target sets it).
int Rounds(int usual);

// DB 1 the base; DB 2 the base with a seeded set of mutations, and rows.
// The script with every step applied makes DB 2 DB 1 by every attribute
// the comparison knows (strict) and by the engine's own description, and
// the rows stay; without the unsafe steps it runs too. Seeds are printed
// on failure.
void ExpectMutatedBasesMadeAgain(const Engine& engine, const Base& base, int usual);

// A SQLite file: read by this program (the whole structure), described by
// SQLite's own pragmas (sorted), the rows of a query, and statements run as
// a user's client would (the first failure with SQLite's message, or empty).
db::Schema SqliteRead(const std::filesystem::path& file);
std::vector<std::string> SqliteDescribed(const std::filesystem::path& file);
std::vector<std::string> SqliteRows(const std::filesystem::path& file, const char* sql);
std::string SqliteRun(const std::filesystem::path& file, const std::vector<std::string>& statements);

// What still counts between two schemas, compared strictly.
std::vector<std::string> Left(const db::Schema& want, const db::Schema& got);

// The shop's rows (tests/fixtures/every_object): every table gets some, so
// that a copy is seen; the same SQL on every engine.
extern const char* const kShopRows;

// The employees sample database of the shared fixtures (one DDL for every
// engine; the view SQLite and MariaDB cannot read left out), with rows and
// its mutations; `quote` quotes a name on the engine.
Base Employees(const std::string& quote);

}  // namespace vantrix::scripttest
