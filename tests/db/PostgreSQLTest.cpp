// The PostgreSQL engine against the private test server that scripts/test
// starts on loopback.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <tuple>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "CrossEngineTypes.h"
#include "db/PostgreSQLServer.h"
#include "db/TypeCodes.h"
#include "support/LoopbackPorts.h"
#include "support/PostgresTestServer.h"
#include "support/SchemaReads.h"
#include "support/RecordSets.h"
#include "support/SchemaPrinting.h"
#include "support/TempSqlite.h"

namespace vantrix::db {

namespace {

using test::CreatePostgresDatabase;
using test::PostgresServer;

std::unique_ptr<PostgreSQLServer> Handle(const PostgresServer& server,
                                         const std::string& database) {
  auto db = std::make_unique<PostgreSQLServer>();
  db->Host = server.host;
  db->Port = server.port;
  db->UserName = server.user;
  db->Password = server.password;
  db->DatabaseName = database;
  return db;
}

// Sets an environment variable for the rest of a scope, then puts back what
// was there.
class ScopedEnv {
public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
  const char* name_;
  std::optional<std::string> old_;
};

using test::NamesOf;
using test::TableByTable;

TEST(PostgreSQLServer, TheFactoryKnowsTheEngineAndItsPort) {
  for (const char* name : {"PostgreSQL", "postgresql", "POSTGRESQL"}) {
    EXPECT_NE(dynamic_cast<PostgreSQLServer*>(CreateDatabase(name).get()), nullptr) << name;
    EXPECT_EQ(DefaultPort(name), 5432) << name;
  }
  for (const char* name : {"Postgres", "PostgreSQL ", "pg"}) {
    EXPECT_EQ(CreateDatabase(name), nullptr) << name;
    EXPECT_EQ(DefaultPort(name), 0) << name;
  }
}

TEST(PostgreSQLServer, ConnectFailuresGiveTheServersMessage) {
  VANTRIX_REQUIRE_POSTGRES(server);
  CreatePostgresDatabase(server, "vx_pg_connect", "CREATE TABLE t (a int);");
  test::SilentListener silent;

  struct Case {
    const char* what;
    std::unique_ptr<PostgreSQLServer> db;
    std::string messagePart;
  };
  std::vector<Case> cases;
  cases.push_back({"wrong password", Handle(server, "vx_pg_connect"),
                   "password authentication failed for user \"" + server.user + "\""});
  cases.back().db->Password = "not-the-password";
  cases.push_back({"unknown database", Handle(server, "vx_pg_no_such_db"),
                   "database \"vx_pg_no_such_db\" does not exist"});
  cases.push_back({"closed port", Handle(server, "vx_pg_connect"), "Connection refused"});
  cases.back().db->Port = test::ClosedLoopbackPort();
  cases.push_back({"silent server", Handle(server, "vx_pg_connect"), "timeout expired"});
  cases.back().db->Port = silent.port();
  cases.back().db->TimeoutSeconds = 1;
  for (Case& c : cases) {
    EXPECT_FALSE(c.db->Connect()) << c.what;
    EXPECT_NE(c.db->ErrorMessage().find(c.messagePart), std::string::npos)
        << c.what << ": " << c.db->ErrorMessage();
    EXPECT_FALSE(c.db->ErrorMessage().ends_with('\n')) << c.what;
    EXPECT_FALSE(c.db->IsConnected()) << c.what;
    EXPECT_EQ(c.db->TableSchema(), nullptr) << c.what;
    EXPECT_EQ(c.db->ErrorMessage(), "The database is not connected") << c.what;
  }
}

// The test server has a certificate of its own, issued for 127.0.0.1 by
// the authority in server.caFile.
TEST(PostgreSQLServer, EncryptsAndVerifiesAsTheTlsModeSays) {
  VANTRIX_REQUIRE_POSTGRES(server);
  ASSERT_FALSE(server.caFile.empty()) << "VANTRIX_TEST_PG_CA is not set";
  CreatePostgresDatabase(server, "vx_pg_tls", "");
  const std::string otherAuthority =
      (std::filesystem::path(server.caFile).parent_path() / "other-ca.pem").string();
  using Tls = Database::Tls;
  struct Case {
    const char* what;
    Tls mode;
    std::string caFile;
    const char* host;
    bool connects;
    bool encrypted;
  };
  const std::vector<Case> cases = {
      {"by default, encrypted when offered", Tls::kDefault, "", "127.0.0.1", true, true},
      {"disabled", Tls::kDisable, "", "127.0.0.1", true, false},
      {"required", Tls::kRequire, "", "127.0.0.1", true, true},
      {"verified", Tls::kVerifyFull, server.caFile, "127.0.0.1", true, true},
      {"verified authority, any host name", Tls::kVerifyCa, server.caFile, "localhost", true,
       true},
      {"verified, another host name", Tls::kVerifyFull, server.caFile, "localhost", false, false},
      {"verified by another authority", Tls::kVerifyFull, otherAuthority, "127.0.0.1", false,
       false},
  };
  for (const Case& c : cases) {
    auto db = Handle(server, "vx_pg_tls");
    db->TlsMode = c.mode;
    db->TlsCaFile = c.caFile;
    db->Host = c.host;
    ASSERT_EQ(db->Connect(), c.connects) << c.what << ": " << db->ErrorMessage();
    if (!c.connects) continue;
    auto ssl = db->SelectSQL("SELECT ssl FROM pg_stat_ssl WHERE pid = pg_backend_pid()");
    ASSERT_NE(ssl, nullptr) << c.what << ": " << db->ErrorMessage();
    ASSERT_FALSE(ssl->AfterLastRow()) << c.what;
    EXPECT_EQ(ssl->ColumnAt(0).StringValue() == "t", c.encrypted) << c.what;
  }
}

// What the panel leaves empty stays empty: libpq would otherwise take the
// PG* variables of the environment for it, and connect where the user did
// not say, or with a password the user did not give.
TEST(PostgreSQLServer, EmptySettingsAreNotFilledFromTheEnvironment) {
  VANTRIX_REQUIRE_POSTGRES(server);
  CreatePostgresDatabase(server, "vx_pg_env", "");
  struct Case {
    const char* variable;
    std::string value;  // what would connect
    void (*empty)(Database&);
    const char* messagePart;
  };
  const std::vector<Case> cases = {
      {"PGPASSWORD", server.password, [](Database& db) { db.Password.clear(); },
       "no password supplied"},
      {"PGHOST", server.host, [](Database& db) { db.Host.clear(); }, "socket"},
      {"PGUSER", server.user, [](Database& db) { db.UserName.clear(); },
       "password authentication failed"},
      {"PGDATABASE", "vx_pg_env", [](Database& db) { db.DatabaseName.clear(); }, "does not exist"},
  };
  for (const Case& c : cases) {
    ScopedEnv env(c.variable, c.value);
    auto db = Handle(server, "vx_pg_env");
    c.empty(*db);
    EXPECT_FALSE(db->Connect()) << c.variable;
    EXPECT_NE(db->ErrorMessage().find(c.messagePart), std::string::npos)
        << c.variable << ": " << db->ErrorMessage();
  }
  // The same variables do not change what the panel does say.
  ScopedEnv password("PGPASSWORD", "not-the-password");
  ScopedEnv database("PGDATABASE", "vx_pg_no_such_db");
  ScopedEnv port("PGPORT", std::to_string(test::ClosedLoopbackPort()));
  ScopedEnv options("PGOPTIONS", "-c default_transaction_read_only=off");
  auto db = Handle(server, "vx_pg_env");
  ASSERT_TRUE(db->Connect()) << db->ErrorMessage();
  EXPECT_EQ(db->SelectSQL("CREATE TABLE t (a int)"), nullptr);
}

TEST(PostgreSQLServer, AnEmptyPasswordStillFindsThePasswordFile) {
  VANTRIX_REQUIRE_POSTGRES(server);
  CreatePostgresDatabase(server, "vx_pg_passfile", "");
  test::TempDir dir;
  const auto file = dir.path() / "pgpass";
  std::ofstream(file) << server.host << ':' << server.port << ":vx_pg_passfile:" << server.user
                      << ':' << server.password << '\n';
  std::filesystem::permissions(
      file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  ScopedEnv passfile("PGPASSFILE", file.string());
  auto db = Handle(server, "vx_pg_passfile");
  db->Password.clear();
  EXPECT_TRUE(db->Connect()) << db->ErrorMessage();
}

TEST(PostgreSQLServer, ListsTheRelationsOfTheSchemaAndReadsTheirFields) {
  VANTRIX_REQUIRE_POSTGRES(server);
  CreatePostgresDatabase(
      server, "vx_pg_list",
      "CREATE TABLE zeta (id integer PRIMARY KEY, gone text, note varchar(20) DEFAULT 'n/a',"
      " k int NOT NULL);"
      "ALTER TABLE zeta DROP COLUMN gone;"
      "CREATE TABLE pair (a int, b text, c int, PRIMARY KEY (c, a));"
      "CREATE TABLE \"Alpha\" (x text);"
      "CREATE TABLE nothing ();"
      "CREATE VIEW middle AS SELECT id, note FROM zeta;"
      "CREATE MATERIALIZED VIEW frozen AS SELECT a FROM pair;"
      "CREATE TABLE parted (d date NOT NULL, v int) PARTITION BY RANGE (d);"
      "CREATE TABLE parted_2024 PARTITION OF parted FOR VALUES FROM ('2024-01-01') TO "
      "('2025-01-01');"
      // Not relations with fields to compare:
      "CREATE SEQUENCE counter; CREATE INDEX zeta_note ON zeta (note);"
      "CREATE TYPE pair_type AS (p int, q int);");
  auto db = Handle(server, "vx_pg_list");
  ASSERT_TRUE(db->Connect()) << db->ErrorMessage();
  auto tables = db->TableSchema();
  ASSERT_NE(tables, nullptr) << db->ErrorMessage();
  EXPECT_EQ(test::Column(*tables, 1),
            (std::vector<std::string>{"Alpha", "frozen", "middle", "nothing", "pair", "parted",
                                      "parted_2024", "zeta"}));

  auto fields = db->FieldSchema("zeta");
  ASSERT_NE(fields, nullptr) << db->ErrorMessage();
  // The sixth column is the default as declared, NULL for none.
  EXPECT_EQ(
      test::Rows(*fields),
      (test::RowValues{{"id", "3", "integer", "1", "1", std::nullopt},
                       {"note", "5", "character varying(20)", "0", "0", "'n/a'::character varying"},
                       {"k", "3", "integer", "1", "0", std::nullopt}}));
  const std::vector<std::pair<std::string, std::vector<Column>>> cases = {
      {"pair",
       {{"a", 3, "integer", true, true},
        {"b", 5, "text", false, false},
        {"c", 3, "integer", true, true}}},
      {"middle",
       {{"id", 3, "integer", false, false}, {"note", 5, "character varying(20)", false, false}}},
      {"frozen", {{"a", 3, "integer", false, false}}},
      {"parted", {{"d", 8, "date", true, false}, {"v", 3, "integer", false, false}}},
      {"parted_2024", {{"d", 8, "date", true, false}, {"v", 3, "integer", false, false}}},
      {"nothing", {}},
  };
  for (const auto& [name, columns] : cases) {
    auto table = db->ReadTable(name);
    ASSERT_TRUE(table.has_value()) << name << ": " << db->ErrorMessage();
    EXPECT_EQ(*table, (Table{name, TableState::kRead, columns, {}})) << name;
  }
  for (const char* unknown : {"alpha", "counter", "zeta_note", "pair_type", "no such table"}) {
    auto table = db->ReadTable(unknown);
    ASSERT_TRUE(table.has_value()) << unknown << ": " << db->ErrorMessage();
    EXPECT_EQ(table->state, TableState::kUnknown) << unknown;
    EXPECT_TRUE(table->columns.empty()) << unknown;
  }
  // The record set view: a table without fields and an unknown one are
  // both empty, not failures.
  for (const char* empty : {"nothing", "alpha"}) {
    auto records = db->FieldSchema(empty);
    ASSERT_NE(records, nullptr) << empty;
    EXPECT_TRUE(records->IsEOF()) << empty;
  }
}

TEST(PostgreSQLServer, OddNamesAreEachReadUnderTheirOwnName) {
  VANTRIX_REQUIRE_POSTGRES(server);
  const std::string longName(63, 'n');
  CreatePostgresDatabase(server, "vx_pg_names",
                         "CREATE TABLE \"Users\" (\"Id\" int, \"Name\" text);"
                         "CREATE TABLE users (id int);"
                         "CREATE TABLE \"USERS\" (up int);"
                         "CREATE TABLE \"it's\" (q int);"
                         "CREATE TABLE \"say \"\"hi\"\"\" (h int);"
                         "CREATE TABLE \"with space.dot\" (\"a b\" int);"
                         "CREATE TABLE \"select\" (\"from\" int);"
                         "CREATE TABLE \"Übersicht\" (\"größe\" int);"
                         "CREATE TABLE \"1st\" (n int);"
                         "CREATE TABLE \"x\\'\" (e int);"
                         "CREATE TABLE " +
                             longName + " (l int);");
  auto db = Handle(server, "vx_pg_names");
  ASSERT_TRUE(db->Connect()) << db->ErrorMessage();
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"Users", {"Id", "Name"}}, {"users", {"id"}},        {"USERS", {"up"}},
      {"it's", {"q"}},           {"say \"hi\"", {"h"}},    {"with space.dot", {"a b"}},
      {"select", {"from"}},      {"Übersicht", {"größe"}}, {"1st", {"n"}},
      {"x\\'", {"e"}},           {longName, {"l"}},
  };
  for (const auto& [table, expected] : cases) {
    auto read = db->ReadTable(table);
    ASSERT_TRUE(read.has_value()) << table << ": " << db->ErrorMessage();
    EXPECT_EQ(read->state, TableState::kRead) << table;
    std::vector<std::string> names;
    for (const Column& c : read->columns) names.push_back(c.name);
    EXPECT_EQ(names, expected) << table;
  }
  // Names the database does not hold, however close: another case, a name
  // past the longest the server keeps (it would be cut to an existing one),
  // a NUL byte, SQL text.
  for (const std::string& unknown :
       {std::string("uSERS"), longName + "xyz", std::string("users\0x", 7),
        std::string("' OR '1'='1"), std::string("users\"; --")}) {
    auto read = db->ReadTable(unknown);
    ASSERT_TRUE(read.has_value()) << unknown << ": " << db->ErrorMessage();
    EXPECT_EQ(read->state, TableState::kUnknown) << unknown;
  }
  auto tables = db->TableSchema();
  ASSERT_NE(tables, nullptr);
  EXPECT_EQ(test::Column(*tables, 1),
            (std::vector<std::string>{"1st", "USERS", "Users", "it's", longName, "say \"hi\"",
                                      "select", "users", "with space.dot", "x\\'", "Übersicht"}));
}

// Each PostgreSQL type as format_type writes it, and its code. Types outside
// the shared table are "Unknown" and agree only with the same declaration.
TEST(PostgreSQLServer, TypesGetTheSharedCodesAndKeepTheirDeclaredText) {
  VANTRIX_REQUIRE_POSTGRES(server);
  struct Case {
    const char* declaration;
    const char* formatted;
    int code;
  };
  const std::vector<Case> cases = {
      {"integer", "integer", 3},
      {"int4", "integer", 3},
      {"serial", "integer", 3},
      {"smallint", "smallint", 2},
      {"int2", "smallint", 2},
      {"bigint", "bigint", 19},
      {"int8", "bigint", 19},
      {"bigserial", "bigint", 19},
      {"real", "real", 6},
      {"float4", "real", 6},
      {"float(24)", "real", 6},
      {"double precision", "double precision", 7},
      {"float8", "double precision", 7},
      {"float", "double precision", 7},
      {"numeric", "numeric", 13},
      {"numeric(10,2)", "numeric(10,2)", 13},
      {"decimal(5)", "numeric(5,0)", 13},
      {"boolean", "boolean", 12},
      {"char(10)", "character(10)", 4},
      {"character", "character(1)", 4},
      {"bpchar", "bpchar", 4},
      {"varchar(20)", "character varying(20)", 5},
      {"varchar", "character varying", 5},
      {"text", "text", 5},
      {"bytea", "bytea", 16},
      {"date", "date", 8},
      {"time", "time without time zone", 9},
      {"time(3)", "time(3) without time zone", 9},
      {"timetz", "time with time zone", 9},
      {"timestamp", "timestamp without time zone", 10},
      {"timestamp(0) with time zone", "timestamp(0) with time zone", 10},
      {"timestamptz", "timestamp with time zone", 10},
      {"json", "json", 15},
      {"jsonb", "jsonb", 15},
      // Outside the table.
      {"uuid", "uuid", kUnknownTypeCode},
      {"integer[]", "integer[]", kUnknownTypeCode},
      {"varchar(5)[]", "character varying(5)[]", kUnknownTypeCode},
      {"money", "money", kUnknownTypeCode},
      {"interval", "interval", kUnknownTypeCode},
      {"bit(1)", "bit(1)", kUnknownTypeCode},
      {"\"char\"", "\"char\"", kUnknownTypeCode},
      {"xml", "xml", kUnknownTypeCode},
      // A domain has its base type's code, an enum MySQL's enum's; a type
      // of another schema keeps its qualifier, and so does one whose name
      // alone would be a built-in type's.
      {"posint", "posint", 3},
      {"mood", "mood", 5},
      {"public.int4", "public.int4", 5},
      {"other.kind", "other.kind", 5},
      {"other.rating", "other.rating", 13},
  };
  std::string sql =
      "CREATE DOMAIN posint AS integer CHECK (VALUE > 0);"
      "CREATE TYPE mood AS ENUM ('sad', 'happy');"
      "CREATE DOMAIN public.int4 AS text;"
      "CREATE SCHEMA other; CREATE TYPE other.kind AS ENUM ('a');"
      "CREATE DOMAIN other.rating AS numeric(3,1);"
      "CREATE TABLE types (";
  for (std::size_t i = 0; i < cases.size(); ++i) {
    sql += (i ? ", c" : "c") + std::to_string(i) + " " + cases[i].declaration;
  }
  CreatePostgresDatabase(server, "vx_pg_types", sql + ");");
  auto db = Handle(server, "vx_pg_types");
  ASSERT_TRUE(db->Connect()) << db->ErrorMessage();
  auto table = db->ReadTable("types");
  ASSERT_TRUE(table.has_value()) << db->ErrorMessage();
  ASSERT_EQ(table->columns.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Column& column = table->columns[i];
    EXPECT_EQ(column.declaredType, cases[i].formatted) << cases[i].declaration;
    EXPECT_EQ(column.typeCode, cases[i].code) << cases[i].declaration;
  }
  // An enum's values, in their order, as literals.
  EXPECT_EQ(table->columns[cases.size() - 4].enumValues, "'sad','happy'");
  EXPECT_EQ(table->columns[cases.size() - 2].enumValues, "'a'");
  EXPECT_EQ(table->columns[0].enumValues, "");
  // The same types in the schema read: no qualifier, whatever the search
  // path, so that two schemas with the same types compare the same.
  RunPostgresSql(server, "vx_pg_types",
                 "CREATE TABLE other.uses (k other.kind, r other.rating, m public.mood)");
  db->SchemaName = "other";
  auto uses = db->ReadTable("uses");
  ASSERT_TRUE(uses.has_value()) << db->ErrorMessage();
  ASSERT_EQ(uses->columns.size(), 3U);
  EXPECT_EQ(uses->columns[0].declaredType, "kind");
  EXPECT_EQ(uses->columns[1].declaredType, "rating");
  EXPECT_EQ(uses->columns[1].typeCode, 13);
  EXPECT_EQ(uses->columns[2].declaredType, "mood");  // public is on the search path
  // An unknown type's label, and whom it agrees with.
  EXPECT_EQ(ConvertFieldType(kUnknownTypeCode), "Unknown");
  EXPECT_TRUE(SameType(kUnknownTypeCode, "uuid", kUnknownTypeCode, "uuid"));
  EXPECT_FALSE(SameType(kUnknownTypeCode, "uuid", 5, "text"));
  EXPECT_FALSE(SameType(kUnknownTypeCode, "integer[]", 3, "integer"));
}

TEST(PostgreSQLServer, CrossEngineDeclarationsGetTheSameCodesAsInSQLiteAndMariaDb) {
  VANTRIX_REQUIRE_POSTGRES(server);
  CreatePostgresDatabase(server, "vx_pg_cross", test::PostgresCrossEngineTableSql("types"));
  auto db = Handle(server, "vx_pg_cross");
  ASSERT_TRUE(db->Connect()) << db->ErrorMessage();
  auto table = db->ReadTable("types");
  ASSERT_TRUE(table.has_value()) << db->ErrorMessage();
  auto column = table->columns.begin();
  std::size_t spelled = 0;
  for (const auto& expected : test::CrossEngineColumns()) {
    if (!expected.postgres) continue;
    ++spelled;
    ASSERT_NE(column, table->columns.end());
    EXPECT_EQ(column->name, expected.name);
    EXPECT_EQ(column->typeCode, expected.code)
        << expected.declaration << " spelled " << expected.postgres << " read back as "
        << column->declaredType;
    ++column;
  }
  EXPECT_EQ(table->columns.size(), spelled);
  EXPECT_GE(spelled, 30U);
}

// WholeSchema reads everything in one statement; it must give exactly what
// the table list and each table read by itself give.
TEST(PostgreSQLServer, WholeSchemaEqualsTheListAndEachTableReadAlone) {
  VANTRIX_REQUIRE_POSTGRES(server);
  const std::filesystem::path fixtures = VANTRIX_FIXTURES_DIR "/chinook";
  CreatePostgresDatabase(
      server, "vx_pg_whole_chinook",
      test::AfterPsqlConnect(test::ReadFile(fixtures / "Chinook_PostgreSql.schema.sql")));
  CreatePostgresDatabase(server, "vx_pg_whole_empty", "");
  CreatePostgresDatabase(server, "vx_pg_whole_mixed",
                         "CREATE TABLE \"Users\" (\"Id\" int PRIMARY KEY, \"Name\" text);"
                         "CREATE TABLE users (id bigint, gone int, name varchar(9) NOT NULL);"
                         "ALTER TABLE users DROP COLUMN gone;"
                         "CREATE TABLE \"it's \"\"odd\"\"\" (\"select\" uuid);"
                         "CREATE TABLE \"Übersicht\" (n numeric(4,1));"
                         "CREATE TABLE nothing ();"
                         "CREATE VIEW user_names AS SELECT \"Name\" FROM \"Users\";"
                         "CREATE VIEW names_again AS SELECT * FROM user_names;"
                         "CREATE MATERIALIZED VIEW frozen AS SELECT id FROM users;"
                         "CREATE TABLE parted (d date, v int) PARTITION BY LIST (v);"
                         "CREATE TABLE parted_one PARTITION OF parted FOR VALUES IN (1);"
                         // A second schema with a table of the same name and other fields.
                         "CREATE SCHEMA inventory;"
                         "CREATE TABLE inventory.users (sku char(8) PRIMARY KEY, qty smallint);"
                         "CREATE TABLE inventory.\"Stock\" (at timestamptz);"
                         "CREATE VIEW inventory.stock_view AS SELECT * FROM inventory.\"Stock\";"
                         "CREATE SCHEMA hollow;");

  struct Case {
    const char* database;
    const char* schemaName;
    std::vector<std::string> tables;
  };
  const std::vector<Case> cases = {
      {"vx_pg_whole_chinook",
       "",
       {"album", "artist", "customer", "employee", "genre", "invoice", "invoice_line", "media_type",
        "playlist", "playlist_track", "track"}},
      {"vx_pg_whole_empty", "", {}},
      {"vx_pg_whole_mixed",
       "",
       {"Users", "frozen", "it's \"odd\"", "names_again", "nothing", "parted", "parted_one",
        "user_names", "users", "Übersicht"}},
      {"vx_pg_whole_mixed",
       "public",
       {"Users", "frozen", "it's \"odd\"", "names_again", "nothing", "parted", "parted_one",
        "user_names", "users", "Übersicht"}},
      {"vx_pg_whole_mixed", "inventory", {"Stock", "stock_view", "users"}},
      {"vx_pg_whole_mixed", "hollow", {}},
  };
  for (const Case& c : cases) {
    const std::string what = std::string(c.database) + " schema '" + c.schemaName + "'";
    auto db = Handle(server, c.database);
    db->SchemaName = c.schemaName;
    ASSERT_TRUE(db->Connect()) << what << ": " << db->ErrorMessage();
    const auto whole = db->WholeSchema();
    ASSERT_TRUE(whole.has_value()) << what << ": " << db->ErrorMessage();
    EXPECT_EQ(NamesOf(*whole), c.tables) << what;
    EXPECT_EQ(*whole, TableByTable(*db)) << what;
  }

  // A schema that is not there is no empty schema: the session refuses it.
  CreatePostgresDatabase(server, "vx_pg_whole_nopath", "");
  RunPostgresSql(server, "vx_pg_whole_nopath",
                 "ALTER DATABASE vx_pg_whole_nopath SET search_path = nowhere");
  const std::vector<std::tuple<const char*, const char*, std::string>> missing = {
      {"vx_pg_whole_mixed", "no_such_schema", "The schema \"no_such_schema\" does not exist"},
      {"vx_pg_whole_mixed", "Inventory",
       "The schema \"Inventory\" does not exist (in other letter case: inventory)"},
      {"vx_pg_whole_nopath", "",
       "There is no schema to read: the session's search_path names none that exists"},
  };
  for (const auto& [database, schemaName, message] : missing) {
    auto refused = Handle(server, database);
    refused->SchemaName = schemaName;
    EXPECT_FALSE(refused->Connect()) << schemaName;
    EXPECT_EQ(refused->ErrorMessage(), message);
    EXPECT_FALSE(refused->IsConnected()) << schemaName;
  }

  // A few fields, so that equal answers are also right ones.
  auto db = Handle(server, "vx_pg_whole_mixed");
  db->SchemaName = "inventory";
  ASSERT_TRUE(db->Connect()) << db->ErrorMessage();
  const auto whole = db->WholeSchema();
  ASSERT_TRUE(whole.has_value()) << db->ErrorMessage();
  EXPECT_EQ(whole->tables[2],
            (Table{"users",
                   TableState::kRead,
                   {{"sku", 4, "character(8)", true, true}, {"qty", 2, "smallint", false, false}},
                   {}}));
  db->SchemaName.clear();
  const auto pub = db->WholeSchema();
  ASSERT_TRUE(pub.has_value()) << db->ErrorMessage();
  EXPECT_EQ(pub->tables[4], (Table{"nothing", TableState::kRead, {}, {}}));
  EXPECT_EQ(
      pub->tables[8],
      (Table{"users",
             TableState::kRead,
             {{"id", 19, "bigint", false, false}, {"name", 5, "character varying(9)", true, false}},
             {}}));
}

TEST(PostgreSQLServer, ASlowStatementEndsWithTheServersTimeoutMessage) {
  VANTRIX_REQUIRE_POSTGRES(server);
  CreatePostgresDatabase(server, "vx_pg_slow", "");
  auto db = Handle(server, "vx_pg_slow");
  db->TimeoutSeconds = 1;
  ASSERT_TRUE(db->Connect()) << db->ErrorMessage();
  EXPECT_EQ(db->SelectSQL("SELECT pg_sleep(30)"), nullptr);
  EXPECT_NE(db->ErrorMessage().find("statement timeout"), std::string::npos) << db->ErrorMessage();
  // The connection is still good for the next statement.
  auto rows = db->SelectSQL("SELECT 'still here'");
  ASSERT_NE(rows, nullptr) << db->ErrorMessage();
  EXPECT_EQ(rows->ColumnAt(0).StringValue(), "still here");
}

// A server process that stops answering in the middle of a session (here:
// stopped by a signal) must not hold the program forever.
TEST(PostgreSQLServer, AServerThatStopsAnsweringIsGivenUp) {
  VANTRIX_REQUIRE_POSTGRES(server);
  CreatePostgresDatabase(server, "vx_pg_frozen", "");
  auto db = Handle(server, "vx_pg_frozen");
  db->TimeoutSeconds = 1;
  ASSERT_TRUE(db->Connect()) << db->ErrorMessage();
  auto pid = db->SelectSQL("SELECT pg_backend_pid()");
  ASSERT_NE(pid, nullptr) << db->ErrorMessage();
  const pid_t backend = static_cast<pid_t>(pid->ColumnAt(0).IntegerValue());
  if (kill(backend, SIGSTOP) != 0) VANTRIX_MISSING("cannot stop the server's process");
  struct Resume {
    pid_t pid;
    ~Resume() { kill(pid, SIGCONT); }
  } resume{backend};
  EXPECT_EQ(db->TableSchema(), nullptr);
  EXPECT_EQ(db->ErrorMessage(), "The server did not answer within 2 seconds");
  EXPECT_FALSE(db->IsConnected());
}

// The fields of a schema come in whatever order the server's plan gives
// them: put in order, the tables are by name in byte order and each
// table's fields by number, whatever order they came in.
TEST(PostgreSQLServer, FieldsReadInAnyOrderAreOrderedByTableNameAndNumber) {
  const char* seedText = std::getenv("VANTRIX_PROPERTY_SEED");
  const unsigned seed = seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10))
                                 : std::random_device{}();
  std::mt19937 random(seed);
  // Letters of both cases, a digit, an underscore and bytes of UTF-8:
  // byte order is not the order of a locale.
  const std::vector<std::string> letters = {"a", "B", "b", "Z", "_", "0", "\xC3\xA9", "\xE2\x82\xAC"};
  for (int round = 0; round < 200; ++round) {
    // Tables with fields numbered from 1, some numbers left out as a
    // dropped field leaves them.
    std::map<std::string, std::vector<int>> made;
    const int tableCount = static_cast<int>(random() % 12);
    for (int t = 0; t < tableCount; ++t) {
      std::string name;
      for (std::size_t n = 1 + random() % 3; n > 0; --n) name += letters[random() % letters.size()];
      std::vector<int>& numbers = made[name];
      numbers.clear();
      for (int number = 1, count = static_cast<int>(random() % 8); count > 0; ++number) {
        if (random() % 4 != 0) {
          numbers.push_back(number);
          --count;
        }
      }
    }
    // Their rows shuffled, and taken as the whole-schema read takes them.
    std::vector<std::pair<std::string, int>> rows;
    for (const auto& [name, numbers] : made) {
      if (numbers.empty()) rows.emplace_back(name, 0);  // a table without fields
      for (const int number : numbers) rows.emplace_back(name, number);
    }
    std::shuffle(rows.begin(), rows.end(), random);
    std::vector<Table> tables;
    std::vector<std::vector<int>> numbers;
    for (const auto& [name, number] : rows) {
      auto it = std::find_if(tables.begin(), tables.end(),
                             [&](const Table& t) { return t.name == name; });
      if (it == tables.end()) {
        tables.push_back(Table{name, TableState::kRead, {}, {}});
        numbers.emplace_back();
        it = tables.end() - 1;
      }
      if (number == 0) continue;
      it->columns.push_back(Column{"f" + std::to_string(number), 0, "integer", false, false, {}});
      numbers[static_cast<std::size_t>(it - tables.begin())].push_back(number);
    }

    PutInOrder(tables, numbers);

    std::vector<std::string> names;
    for (const Table& t : tables) names.push_back(t.name);
    std::vector<std::string> expectedNames;
    for (const auto& [name, unused] : made) expectedNames.push_back(name);  // std::map: byte order
    ASSERT_EQ(names, expectedNames) << "seed " << seed << " (VANTRIX_PROPERTY_SEED replays it)";
    for (const Table& t : tables) {
      std::vector<std::string> fields;
      for (const Column& c : t.columns) fields.push_back(c.name);
      std::vector<std::string> expectedFields;
      for (const int number : made[t.name]) expectedFields.push_back("f" + std::to_string(number));
      ASSERT_EQ(fields, expectedFields) << "seed " << seed << ", table " << t.name;
    }
  }
}

}  // namespace
}  // namespace vantrix::db
