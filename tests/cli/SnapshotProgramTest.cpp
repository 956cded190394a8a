// Snapshots from the command line: --dump writes one, and a snapshot is a
// side like a live database, compared by the rules of its engine.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "Process.h"
#include "support/TempSqlite.h"

namespace vantrix::test {
namespace {

class SnapshotProgramTest : public ::testing::Test {
protected:
  void SetUp() override {
    TempSqlite shop(ReadFile(VANTRIX_SOURCE_DIR "/tests/fixtures/every_object/sqlite.sql"));
    std::filesystem::copy_file(shop.path(), dir_.path() / "shop.sqlite");
  }
  Outcome Diff(const std::vector<std::string>& args, Process::Options options = {}) {
    options.workDir = dir_.path().string();
    return RunDiff(args, std::move(options));
  }
  // Validates a document with python3-jsonschema; the complaints, or "".
  static std::string Complaints(const std::string& document) {
    Process::Options options;
    options.input = document;
    const Outcome checked = RunProcess(
        VANTRIX_PYTHON3,
        {VANTRIX_CLI_TEST_DIR "/validate_json.py",
         VANTRIX_SOURCE_DIR "/snapshot/vantrix-snapshot.schema.json"},
        options);
    return checked.status == 0 ? std::string() : checked.out + checked.err;
  }
  TempDir dir_;
};

TEST_F(SnapshotProgramTest, ADumpFollowsItsSchemaAndIsTheSameEveryTime) {
  // No time stamp unless SOURCE_DATE_EPOCH asks for one.
  Process::Options noEpoch;
  noEpoch.env["SOURCE_DATE_EPOCH"] = "";
  const Outcome first = Diff({"--dump", "shop.sqlite"}, noEpoch);
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(first.err, "");
  EXPECT_EQ(Complaints(first.out), "");
  EXPECT_EQ(first.out.find("generated_at"), std::string::npos);
  EXPECT_EQ(Diff({"--dump", "shop.sqlite"}, noEpoch).out, first.out);
  const Outcome stamped = Diff({"--dump", "shop.sqlite"});
  EXPECT_NE(stamped.out.find("\"generated_at\": \"2024-07-03T09:46:40Z\""), std::string::npos);
  EXPECT_EQ(Complaints(stamped.out), "");

  // To a file, whole.
  const Outcome toFile = Diff({"--dump", "shop.sqlite", "-o", "shop.json"}, noEpoch);
  EXPECT_EQ(toFile.status, 0) << toFile.err;
  EXPECT_EQ(toFile.out, "");
  EXPECT_EQ(ReadFile(dir_.path() / "shop.json"), first.out);

  for (const std::vector<std::string>& wrong : std::vector<std::vector<std::string>>{
           {"--dump", "shop.sqlite", "other.sqlite"}, {"--dump", "--strict", "shop.sqlite"}}) {
    const Outcome refused = Diff(wrong);
    EXPECT_EQ(refused.status, 2) << ::testing::PrintToString(wrong);
    EXPECT_EQ(refused.out, "");
  }
}

TEST_F(SnapshotProgramTest, ASnapshotIsComparedWithTheDatabaseItCameFrom) {
  ASSERT_EQ(Diff({"--dump", "shop.sqlite", "-o", "shop.json"}).status, 0);
  const Outcome same = Diff({"shop.json", "shop.sqlite"});
  EXPECT_EQ(same.status, 0) << same.out << same.err;
  EXPECT_EQ(Diff({"snapshot:shop.json", "snapshot:shop.json", "--strict"}).status, 0);

  // After a change to the database: that change, and nothing else.
  TempSqlite changed(ReadFile(VANTRIX_SOURCE_DIR "/tests/fixtures/every_object/sqlite.sql") +
                     "DROP INDEX idx_orders_placed;");
  std::filesystem::copy_file(changed.path(), dir_.path() / "changed.sqlite");
  const Outcome differs = Diff({"shop.json", "changed.sqlite"});
  EXPECT_EQ(differs.status, 1);
  EXPECT_EQ(differs.out,
            "orders: structure differs\n"
            "  index idx_orders_placed: only in DB 1 (DB 1: CREATE INDEX idx_orders_placed ON "
            "orders (placed DESC, status))\n"
            "Summary: 6 tables in DB 1, 6 in DB 2: 5 same, 1 differ, 0 only in DB 1, 0 only in "
            "DB 2, 0 not checked; 0 field differences, 1 structure difference, 0 notes\n");

  // The report names the snapshot, as the engine it was taken from.
  const Outcome json = Diff({"-f", "json", "shop.json", "shop.sqlite"});
  EXPECT_NE(json.out.find("\"engine\": \"SQLite\",\n    \"database\": \"shop.json\""),
            std::string::npos)
      << json.out;

  // A report is never written over a snapshot compared.
  const Outcome over = Diff({"shop.json", "shop.sqlite", "-o", "shop.json"});
  EXPECT_EQ(over.status, 2);
  EXPECT_NE(over.err.find("the report would overwrite the snapshot"), std::string::npos);
}

TEST_F(SnapshotProgramTest, WhatIsNoSnapshotIsRefusedNamingTheFile) {
  {
    std::ofstream(dir_.path() / "v2.json") << "{\"snapshot_version\": 2}";
    std::ofstream(dir_.path() / "report.json") << "{\"format_version\": 2}";
    std::ofstream(dir_.path() / "broken.json") << "{\"snapshot_version\": 1, \"tab";
  }
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"v2.json", "its snapshot_version is 2; this program reads version 1"},
      {"report.json", "it is no vantrix-diff snapshot (it has no \"snapshot_version\")"},
      {"broken.json", "it is not JSON"},
      {"missing.json", "no such file"},
      {"snapshot:.", "it is not a regular file"},
  };
  for (const auto& [file, reason] : cases) {
    const Outcome outcome = Diff({file, "shop.sqlite"});
    EXPECT_EQ(outcome.status, 2) << file;
    const std::string path = file.starts_with("snapshot:") ? file.substr(9) : file;
    EXPECT_EQ(outcome.err, "vantrix-diff: DB 1 \"" + file + "\": cannot read the snapshot " +
                               path + ": " + reason + "\n");
  }
}

}  // namespace
}  // namespace vantrix::test
