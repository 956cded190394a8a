// vantrix-diff across engines, run as a process: the shop written for
// SQLite, MariaDB and PostgreSQL to mean the same, compared each against
// each; and the Chinook schema of the shared fixtures in SQLite and in
// MariaDB.
#include <gtest/gtest.h>

#include <set>

#include <nlohmann/json.hpp>

#include "Process.h"
#include "ReportSchema.h"
#include "support/MariaDbTestServer.h"
#include "support/PostgresTestServer.h"
#include "support/TempSqlite.h"

namespace vantrix::test {
namespace {

using Json = nlohmann::json;

std::string EveryObject(const char* engine) {
  return ReadFile(std::string(VANTRIX_SOURCE_DIR "/tests/fixtures/every_object/") + engine +
                  ".sql");
}

// Every note of a JSON report, as "table: what name change".
std::set<std::string> NotesOf(const Json& doc) {
  std::set<std::string> notes;
  for (const Json& t : doc["tables"]) {
    const std::string table = t["name"];
    for (const Json& f : t.value("fields", Json::array())) {
      if (!f["counts"].get<bool>()) notes.insert(table + ": " + f["name"].get<std::string>() + " " +
                                                 f["kind"].get<std::string>());
    }
    for (const Json& s : t.value("structure", Json::array())) {
      if (!s["counts"].get<bool>()) {
        notes.insert(table + ": " + s["object"].get<std::string>() + " " +
                     s["name"].get<std::string>() + " " + s["change"].get<std::string>());
      }
    }
  }
  return notes;
}

// The three shops mean the same: whichever two are compared, in either
// order, nothing counts. What remains are notes, each for a reason of the
// engines': a view's computed column has no declared type in SQLite and
// MariaDB's is NOT NULL where it groups; PostgreSQL writes expressions back
// with casts of its own and runs a trigger's statements in a function; no
// two engines write a view's query alike.
TEST(CrossEngineProgramTest, TheSameShopOnThreeEnginesHasNoDifferences) {
  VANTRIX_REQUIRE_MARIADB(mariadb);
  VANTRIX_REQUIRE_POSTGRES(postgres);
  CreateMariaDbSchema(mariadb, "vx_cli_shop", EveryObject("mariadb"));
  CreatePostgresDatabase(postgres, "vx_cli_shop", EveryObject("postgresql"));
  TempSqlite sqlite(EveryObject("sqlite"));
  struct Side {
    std::string url;
    std::string password;
  };
  const std::map<std::string, Side> sides = {
      {"SQLite", {sqlite.path().string(), ""}},
      {"MariaDB",
       {"mysql://" + mariadb.user + "@" + mariadb.host + ":" + std::to_string(mariadb.port) +
            "/vx_cli_shop",
        mariadb.password}},
      {"PostgreSQL",
       {"postgresql://" + postgres.user + "@" + postgres.host + ":" +
            std::to_string(postgres.port) + "/vx_cli_shop",
        postgres.password}},
  };
  const std::set<std::string> always = {"customer_totals: view_definition  not_comparable"};
  const std::set<std::string> withPostgres = {
      "orders: generated total_with_tax not_comparable",
      "orders: trigger trg_orders_score not_comparable"};
  struct Case {
    std::string db1;
    std::string db2;
    std::set<std::string> notes;  // besides `always`, and `withPostgres` where it takes part
  };
  const std::vector<Case> cases = {
      {"SQLite", "MariaDB",
       {"customer_totals: customer_id not_null_differs",
        "customer_totals: spent type_not_comparable"}},
      {"SQLite", "PostgreSQL", {"customer_totals: spent type_not_comparable"}},
      {"MariaDB", "PostgreSQL",
       {"customer_totals: customer_id not_null_differs",
        "customer_totals: spent declared_type_differs"}},
  };
  for (const Case& c : cases) {
    for (const bool swapped : {false, true}) {
      const Side& one = sides.at(swapped ? c.db2 : c.db1);
      const Side& two = sides.at(swapped ? c.db1 : c.db2);
      const std::string pair = (swapped ? c.db2 : c.db1) + " against " + (swapped ? c.db1 : c.db2);
      Process::Options options;
      options.env["VANTRIX_DB1_PASSWORD"] = one.password;
      options.env["VANTRIX_DB2_PASSWORD"] = two.password;
      const Outcome outcome = RunDiff({"--format", "json", one.url, two.url}, options);
      ASSERT_EQ(outcome.status, 0) << pair << ": " << outcome.err << outcome.out;
      const Json doc = Json::parse(outcome.out);
      EXPECT_EQ(doc["summary"]["same"], 6) << pair;
      EXPECT_EQ(doc["summary"]["field_differences"], 0) << pair;
      EXPECT_EQ(doc["summary"]["structure_differences"], 0) << pair;
      std::set<std::string> expected = c.notes;
      expected.insert(always.begin(), always.end());
      if (c.db2 == "PostgreSQL") expected.insert(withPostgres.begin(), withPostgres.end());
      EXPECT_EQ(NotesOf(doc), expected) << pair;
    }
  }

  // The shop against itself on each engine, --strict: not even a note.
  for (const auto& [engine, side] : sides) {
    Process::Options options;
    options.env["VANTRIX_DB1_PASSWORD"] = side.password;
    options.env["VANTRIX_DB2_PASSWORD"] = side.password;
    const Outcome outcome = RunDiff({"--strict", side.url, side.url}, options);
    EXPECT_EQ(outcome.status, 0) << engine << outcome.err;
    EXPECT_EQ(outcome.out,
              "Summary: 6 tables in DB 1, 6 in DB 2: 6 same, 0 differ, 0 only in DB 1, 0 only in "
              "DB 2, 0 not checked; 0 field differences, 0 notes\n")
        << engine;
  }
}

// The Chinook schema in SQLite and in MariaDB, from the shared fixtures. The
// MySQL script makes and uses its own database; here it goes into one of
// this test's own.
class ChinookProgramTest : public ::testing::Test {
protected:
  const std::vector<std::string> tables_ = {"Album",    "Artist",        "Customer",    "Employee",
                                            "Genre",    "Invoice",       "InvoiceLine", "MediaType",
                                            "Playlist", "PlaylistTrack", "Track"};
};

TEST_F(ChinookProgramTest, SQLiteAgainstMariaDbHasNoDifferences) {
  VANTRIX_REQUIRE_MARIADB(server);
  CreateMariaDbSchema(server, "vx_cli_chinook", ChinookMySqlScript());
  TempSqlite sqlite(ReadFile(VANTRIX_FIXTURES_DIR "/chinook/Chinook_Sqlite.schema.sql"));
  // No password in the URL: it comes from the environment.
  const std::string mariadb = "mysql://" + server.user + "@" + server.host + ":" +
                              std::to_string(server.port) + "/vx_cli_chinook";
  Process::Options options;
  options.env["VANTRIX_DB2_PASSWORD"] = server.password;

  const Outcome oneWay = RunDiff({"--one-way", sqlite.path().string(), mariadb}, options);
  EXPECT_EQ(oneWay.status, 0) << oneWay.err;
  std::string expected;
  for (const std::string& table : tables_) expected += table + ": Table ok\n";
  expected +=
      "Summary: 11 tables in DB 1: 11 Table ok, 0 Fields not ok, 0 Table NOT ok, 0 Table not "
      "checked\n";
  EXPECT_EQ(oneWay.out, expected);

  // Both ways, every table has the same fields with the same types, NOT
  // NULL flags and primary keys: nothing to report, not even a note.
  const Outcome symmetric = RunDiff({sqlite.path().string(), mariadb}, options);
  EXPECT_EQ(symmetric.status, 0) << symmetric.err;
  EXPECT_EQ(symmetric.out,
            "Summary: 11 tables in DB 1, 11 in DB 2: 11 same, 0 differ, 0 only in DB 1, 0 only "
            "in DB 2, 0 not checked; 0 field differences, 0 notes\n");

  Process::Options db1Password;
  db1Password.env["VANTRIX_DB1_PASSWORD"] = server.password;
  const Outcome json =
      RunDiff({"--format", "json", mariadb, "sqlite:" + sqlite.path().string()}, db1Password);
  EXPECT_EQ(json.status, 0) << json.err;
  EXPECT_EQ(SchemaComplaints(json.out), "");
  Json doc = Json::parse(json.out);
  EXPECT_EQ(doc["status"], "same");
  EXPECT_EQ(doc["db1"], Json({{"engine", "Mysql"},
                              {"host", server.host},
                              {"port", server.port},
                              {"database", "vx_cli_chinook"},
                              {"tables", 11}}));
  std::vector<std::string> names;
  for (Json& t : doc["tables"]) {
    EXPECT_EQ(t["status"], "same");
    EXPECT_EQ(t["fields"], Json::array());
    EXPECT_EQ(t["db1_name"], t["db2_name"]);
    names.push_back(t["name"]);
  }
  EXPECT_EQ(names, tables_);

  // The environment's password is DB 2's only.
  const Outcome refused = RunDiff({mariadb, sqlite.path().string()}, options);
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("no password for DB 1: put it in the URL, set VANTRIX_DB1_PASSWORD, "
                             "or run on a terminal (the server said: Access denied"),
            std::string::npos)
      << refused.err;
}

}  // namespace
}  // namespace vantrix::test
