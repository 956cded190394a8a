// vantrix-diff against the PostgreSQL test server, run as a process: the
// PostgreSQL Chinook against SQLite's, and two schemas of one database
// chosen with ?schema=.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "Process.h"
#include "support/PostgresTestServer.h"
#include "support/TempSqlite.h"

namespace vantrix::test {
namespace {

using Json = nlohmann::json;

std::string Url(const PostgresServer& pg, const std::string& database,
                const std::string& query = {}) {
  return "postgresql://" + pg.user + "@" + pg.host + ":" + std::to_string(pg.port) + "/" +
         database + query;
}

// The password from our own variable, never from libpq's, and no password
// file of the user's.
Process::Options Passwords(const PostgresServer& pg, const TempDir& home) {
  Process::Options options;
  options.env["VANTRIX_DB1_PASSWORD"] = pg.password;
  options.env["VANTRIX_DB2_PASSWORD"] = pg.password;
  options.env["HOME"] = home.path().string();
  options.env["PGPASSWORD"] = std::nullopt;
  return options;
}

std::vector<std::string> TablesOf(const Json& doc) {
  std::vector<std::string> tables;
  for (const Json& t : doc["tables"]) {
    tables.push_back(
        t["name"].get<std::string>() + " " +
        (t.contains("note") ? t["note"].get<std::string>() : t["status"].get<std::string>()));
  }
  return tables;
}

// The PostgreSQL Chinook spells its names in lower case with underscores
// (genre.genre_id) where SQLite's says Genre.GenreId: the tables whose names
// differ only in letter case pair up but no field name matches, and
// invoice_line, media_type and playlist_track have no counterpart at all.
TEST(PostgresProgramTest, ChinookInPostgreSQLAgainstChinookInSQLite) {
  VANTRIX_REQUIRE_POSTGRES(pg);
  CreatePostgresDatabase(
      pg, "vx_cli_pg_chinook",
      AfterPsqlConnect(ReadFile(VANTRIX_FIXTURES_DIR "/chinook/Chinook_PostgreSql.schema.sql")));
  TempSqlite sqlite(ReadFile(VANTRIX_FIXTURES_DIR "/chinook/Chinook_Sqlite.schema.sql"));
  TempDir home;
  const Process::Options options = Passwords(pg, home);

  const Outcome oneWay = RunDiff(
      {"--one-way", "--format", "json", Url(pg, "vx_cli_pg_chinook"), sqlite.path().string()},
      options);
  ASSERT_EQ(oneWay.status, 1) << oneWay.err;
  const Json one = Json::parse(oneWay.out);
  EXPECT_EQ(one["db1"]["engine"], "PostgreSQL");
  EXPECT_EQ(TablesOf(one),
            (std::vector<std::string>{
                "album Fields not ok", "artist Fields not ok", "customer Fields not ok",
                "employee Fields not ok", "genre Fields not ok", "invoice Fields not ok",
                "invoice_line Table NOT ok", "media_type Table NOT ok", "playlist Fields not ok",
                "playlist_track Table NOT ok", "track Fields not ok"}));

  const Outcome symmetric =
      RunDiff({"--format", "json", Url(pg, "vx_cli_pg_chinook"), sqlite.path().string()}, options);
  ASSERT_EQ(symmetric.status, 1) << symmetric.err;
  const Json both = Json::parse(symmetric.out);
  EXPECT_EQ(both["summary"]["differ"], 8);
  EXPECT_EQ(both["summary"]["only_in_db1"], 3);
  EXPECT_EQ(both["summary"]["only_in_db2"], 3);
  const auto genre = std::find_if(both["tables"].begin(), both["tables"].end(),
                                  [](const Json& t) { return t["name"] == "genre"; });
  ASSERT_NE(genre, both["tables"].end());
  EXPECT_EQ((*genre)["db2_name"], "Genre");
  std::vector<std::string> fields;
  for (const Json& f : (*genre)["fields"]) {
    fields.push_back(f["name"].get<std::string>() + " " + f["kind"].get<std::string>());
  }
  EXPECT_EQ(fields, (std::vector<std::string>{"genre_id missing_in_db2", "name missing_in_db2",
                                              "GenreId only_in_db2", "Name only_in_db2"}));
}

TEST(PostgresProgramTest, SchemasOfOneDatabaseAreChosenWithTheQuery) {
  VANTRIX_REQUIRE_POSTGRES(pg);
  CreatePostgresDatabase(
      pg, "vx_cli_pg_schemas",
      "CREATE SCHEMA a; CREATE SCHEMA b; CREATE SCHEMA sales;"
      "CREATE TABLE a.t (id integer, v text); CREATE TABLE b.t (id bigint, v text);"
      "CREATE TABLE public.t (id integer, v text, extra date);"
      // The same types in two schemas: the same, whatever their schema.
      "CREATE SCHEMA staging; CREATE SCHEMA prod; CREATE SCHEMA next;"
      "CREATE TYPE staging.mood AS ENUM ('sad', 'happy');"
      "CREATE TYPE prod.mood AS ENUM ('sad', 'happy');"
      "CREATE TYPE next.mood AS ENUM ('sad', 'happy', 'meh');"
      "CREATE DOMAIN staging.year AS integer; CREATE DOMAIN prod.year AS integer;"
      "CREATE DOMAIN next.year AS integer;"
      "CREATE TABLE staging.p (m staging.mood, y staging.year);"
      "CREATE TABLE prod.p (m prod.mood, y prod.year);"
      "CREATE TABLE next.p (m next.mood, y next.year);");
  TempDir home;
  const Process::Options options = Passwords(pg, home);
  const auto url = [&](const char* query) { return Url(pg, "vx_cli_pg_schemas", query); };
  const char* const kSummary = "Summary: 1 table in DB 1, 1 in DB 2: ";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out;
  };
  const std::vector<Case> cases = {
      {{url("?schema=a"), url("?schema=b")},
       1,
       "t: fields differ\n"
       "  id: type differs (DB 1: integer (3-Integer), DB 2: bigint (19-Int64))\n" +
           std::string(kSummary) +
           "0 same, 1 differ, 0 only in DB 1, 0 only in DB 2, 0 not checked; 1 field "
           "difference, 0 notes\n"},
      // DB 2's schema counts as much as DB 1's.
      {{url("?schema=b"), url("?schema=a")},
       1,
       "t: fields differ\n"
       "  id: type differs (DB 1: bigint (19-Int64), DB 2: integer (3-Integer))\n" +
           std::string(kSummary) +
           "0 same, 1 differ, 0 only in DB 1, 0 only in DB 2, 0 not checked; 1 field "
           "difference, 0 notes\n"},
      // Without a schema, the current one: public.
      {{url("?schema=a"), url("")},
       1,
       "t: fields differ\n"
       "  extra: only in DB 2 (DB 2: date (8-Date))\n" +
           std::string(kSummary) +
           "0 same, 1 differ, 0 only in DB 1, 0 only in DB 2, 0 not checked; 1 field "
           "difference, 0 notes\n"},
      {{"--one-way", url("?schema=a"), url("")},
       0,
       "t: Table ok\nSummary: 1 table in DB 1: 1 Table ok, 0 Fields not ok, 0 Table NOT ok, 0 "
       "Table not checked\n"},
      {{"--strict", url("?schema=staging"), url("?schema=prod")},
       0,
       std::string(kSummary) +
           "1 same, 0 differ, 0 only in DB 1, 0 only in DB 2, 0 not checked; 0 field "
           "differences, 0 notes\n"},
      {{url("?schema=staging"), url("?schema=next")},
       0,
       "p: same\n"
       "  note: m: declared type differs (DB 1: mood (5-Text or VarChar), DB 2: mood (5-Text or "
       "VarChar); values 'sad','happy' vs 'sad','happy','meh')\n" +
           std::string(kSummary) +
           "1 same, 0 differ, 0 only in DB 1, 0 only in DB 2, 0 not checked; 0 field "
           "differences, 1 note\n"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = RunDiff(c.args, options);
    EXPECT_EQ(outcome.status, c.status) << ::testing::PrintToString(c.args) << outcome.err;
    EXPECT_EQ(outcome.out, c.out) << ::testing::PrintToString(c.args);
  }

  // A schema that is not there is trouble, not an empty schema.
  const Outcome missing = RunDiff({url("?schema=Sales"), url("?schema=nosuch")}, options);
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.out, "");
  EXPECT_NE(missing.err.find(": The schema \"Sales\" does not exist (in other "
                             "letter case: sales)"),
            std::string::npos)
      << missing.err;

  // libpq's own password variable is not ours.
  Process::Options pgOnly = options;
  pgOnly.env["VANTRIX_DB1_PASSWORD"] = std::nullopt;
  pgOnly.env["VANTRIX_DB2_PASSWORD"] = std::nullopt;
  pgOnly.env["PGPASSWORD"] = pg.password;
  const Outcome refused =
      RunDiff({Url(pg, "vx_cli_pg_schemas"), Url(pg, "vx_cli_pg_schemas")}, pgOnly);
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("DB 1"), std::string::npos) << refused.err;
  EXPECT_NE(refused.err.find("password"), std::string::npos) << refused.err;
}

}  // namespace
}  // namespace vantrix::test
