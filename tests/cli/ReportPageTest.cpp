// The HTML report as a reader sees it: the page vantrix-diff writes, opened
// in a real headless browser (Debian's chromium), and the DOM it builds
// read back finding by finding.
#include <gtest/gtest.h>

#include <regex>

#include "EveryKind.h"
#include "Process.h"
#include "support/ServersRequired.h"
#include "support/TempSqlite.h"

namespace vantrix::test {
namespace {

// What html_findings.py reads off the page: the title, headline and
// summary, the overview's rows (with the id they carry or link to), and
// each table's section.
const char* const kPage =
    "title: vantrix-diff: 4 tables differ\n"
    "p: 4 tables differ\n"
    "  row: DB 1 | SQLite one.sqlite | 5 tables\n"
    "  row: DB 2 | SQLite two.sqlite | 5 tables\n"
    "p: 5 tables in DB 1, 5 in DB 2: 2 same, 1 differ, 1 only in DB 1, 1 only in DB 2, 1 not "
    "checked; 4 field differences, 5 notes\n"
    "h2: Tables\n"
    "  row ->table-Users: Users | Users | users | same\n"
    "  row table-Orders: Orders | Orders | - | only in DB 1\n"
    "  row ->table-Items: Items | Items | Items | fields differ\n"
    "  row table-Notes: Notes | Notes | Notes | same\n"
    "  row ->table-Broken: Broken | Broken | broken | not checked\n"
    "  row table-Audit_7CLog_3C_26_3E: Audit|Log<&> | - | Audit|Log<&> | only in DB 2\n"
    "section table-Users class=same\n"
    "h2: Users (DB 2: users) same\n"
    "p: note: table name differs in letter case\n"
    "  row: Id | note: primary key differs | in the primary key | not in the primary key\n"
    "  row: Name | note: NOT NULL differs | NOT NULL | NULL allowed\n"
    "section table-Items class=differs\n"
    "h2: Items fields differ\n"
    "  row: id | missing in DB 2 | INTEGER (3-Integer) | -\n"
    "  row: sku | type differs | CHAR(8) (4-Char) | INTEGER (3-Integer)\n"
    "  row: qty | note: NOT NULL differs | NULL allowed | NOT NULL\n"
    "  row: ID | only in DB 2 | - | INTEGER (3-Integer)\n"
    "  row: *more* | only in DB 2 | - | TEXT (5-Text or VarChar)\n"
    "section table-Broken class=not_checked\n"
    "h2: Broken (DB 2: broken) not checked\n"
    "p: note: table name differs in letter case\n"
    "p: DB 1: no such table: main.gone\n";

TEST(ReportPageTest, TheBrowsersDomHoldsEveryFinding) {
  if (!std::filesystem::exists(VANTRIX_CHROMIUM)) {
    VANTRIX_MISSING("no chromium (scripts/test installs it)");
  }
  TempDir dir;
  {
    TempSqlite db1(kDb1Sql);
    TempSqlite db2(kDb2Sql);
    std::filesystem::copy_file(db1.path(), dir.path() / "one.sqlite");
    std::filesystem::copy_file(db2.path(), dir.path() / "two.sqlite");
  }
  Process::Options here;
  here.workDir = dir.path().string();
  const Outcome written =
      RunDiff({"--format", "html", "--columns-only", "-o", "report.html", "one.sqlite", "two.sqlite"},
              here);
  ASSERT_EQ(written.status, 1) << written.err;
  const std::string page = ReadFile(dir.path() / "report.html");

  // Self-contained: no script, nothing fetched, one style sheet inline
  // with a part for print.
  for (const char* outside : {"<script", "src=", "<link", "@import", "url(", "http:", "https:"}) {
    EXPECT_EQ(page.find(outside), std::string::npos) << outside;
  }
  EXPECT_NE(page.find("@media print"), std::string::npos);
  EXPECT_NE(page.find("<footer>vantrix-diff 2024.7.1, 2024-07-03T09:46:40Z</footer>"),
            std::string::npos);

  // Ids are unique on the page.
  std::set<std::string> ids;
  const std::regex id(" id=\"([^\"]*)\"");
  for (auto it = std::sregex_iterator(page.begin(), page.end(), id); it != std::sregex_iterator();
       ++it) {
    EXPECT_TRUE(ids.insert((*it)[1]).second) << (*it)[1];
  }

  const std::string profile = (dir.path() / "profile").string();
  const Outcome dom =
      RunProcess("/usr/bin/timeout",
                 {"120", VANTRIX_CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu",
                  "--no-first-run", "--disable-background-networking", "--disable-component-update",
                  "--disable-sync", "--user-data-dir=" + profile, "--dump-dom",
                  "file://" + (dir.path() / "report.html").string()});
  ASSERT_EQ(dom.status, 0) << dom.err;
  Process::Options input;
  input.input = dom.out;
  const Outcome read =
      RunProcess(VANTRIX_PYTHON3, {VANTRIX_CLI_TEST_DIR "/html_findings.py"}, input);
  ASSERT_EQ(read.status, 0) << read.err;
  EXPECT_EQ(read.out, kPage);
}

}  // namespace
}  // namespace vantrix::test
