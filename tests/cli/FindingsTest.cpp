// The findings of comparing two whole schemas: how tables are paired, what
// each field difference says, what counts, what is in scope, and that the
// one-way findings are what the window's Compare shows.
#include "compare/Findings.h"

#include <gtest/gtest.h>

#include "compare/Rules.h"
#include "compare/Session.h"
#include "db/PostgreSQLServer.h"
#include "db/SQLiteDatabase.h"
#include "db/TypeCodes.h"
#include "support/TempSqlite.h"

namespace vantrix::compare {
namespace {

db::Column Col(const char* name, int code, const char* declared, bool notNull = false,
               bool primaryKey = false) {
  return {name, code, declared, notNull, primaryKey};
}

db::Table T(const char* name, std::vector<db::Column> columns = {Col("id", 3, "INTEGER")}) {
  return {name, db::TableState::kRead, std::move(columns), {}};
}

db::Table Unreadable(const char* name, const char* error) {
  return {name, db::TableState::kUnreadable, {}, error};
}

db::Schema Names(const std::vector<const char*>& names) {
  db::Schema schema;
  for (const char* name : names) schema.tables.push_back(T(name));
  return schema;
}

FieldFacts Facts(int code, const char* declared, const char* label, bool notNull = false,
                 bool primaryKey = false) {
  return {declared, code, label, notNull, primaryKey};
}

using Pair = std::pair<std::optional<std::string>, std::optional<std::string>>;

std::vector<Pair> Pairs(const Findings& findings) {
  std::vector<Pair> pairs;
  for (const TableFinding& t : findings.tables) pairs.emplace_back(t.db1Name, t.db2Name);
  return pairs;
}

std::vector<std::string> Scoped(const Findings& findings) {
  std::vector<std::string> names;
  for (const TableFinding& t : findings.tables) names.push_back(t.Name());
  return names;
}

FindingsOptions OneWay() {
  FindingsOptions options;
  options.oneWay = true;
  return options;
}

const std::nullopt_t none = std::nullopt;

// Fields of one type code declared otherwise: on one engine any difference
// of the declaration counts; across engines a detail both declare counts
// when it differs and is a note when only one declares it.
TEST(FindingsTest, DeclaredTypesAreComparedByWhatEachDeclares) {
  enum Verdict { kNothing, kCounts, kNote };
  struct Case {
    const char* engine1;
    const char* declared1;
    const char* engine2;
    const char* declared2;
    Verdict verdict;
    const char* detail;
    const char* enumValues2 = "";
  };
  const std::vector<Case> cases = {
      {"Mysql", "varchar(30)", "Mysql", "varchar(60)", kCounts, "length 30 vs 60"},
      {"Mysql", "decimal(10,2)", "Mysql", "decimal(12,4)", kCounts,
       "precision 10 vs 12; scale 2 vs 4"},
      {"Mysql", "int", "Mysql", "int unsigned", kCounts, "unsigned in DB 2 only"},
      {"Mysql", "int(11)", "Mysql", "int", kNothing, ""},
      {"Mysql", "enum('a','b')", "Mysql", "enum('a', 'c')", kCounts, "values 'a','b' vs 'a','c'"},
      {"PostgreSQL", "character varying", "PostgreSQL", "text", kCounts,
       "character varying vs text"},
      {"PostgreSQL", "timestamp without time zone", "PostgreSQL", "timestamp with time zone",
       kCounts, "with time zone in DB 2 only"},
      {"PostgreSQL", "mood", "PostgreSQL", "mood", kNote, "values 'a','b' vs 'a','c'", "'a','c'"},
      {"SQLite", "VARCHAR(30)", "Mysql", "varchar(60)", kCounts, "length 30 vs 60"},
      {"SQLite", "TEXT", "Mysql", "varchar(60)", kNote, "length 60 in DB 2 only"},
      {"SQLite", "NVARCHAR(40)", "PostgreSQL", "character varying(40)", kNothing, ""},
      {"Mysql", "decimal(10,0)", "PostgreSQL", "numeric", kNote,
       "precision 10 in DB 1 only; scale 0 in DB 1 only"},
      {"Mysql", "int unsigned", "PostgreSQL", "integer", kNote, "unsigned in DB 1 only"},
      {"Mysql", "timestamp", "PostgreSQL", "timestamp with time zone", kNote,
       "with time zone in DB 2 only"},
      {"Mysql", "enum('a','b')", "PostgreSQL", "mood", kNothing, "", "'a','b'"},
      {"CubeSQLserver", "VARCHAR(10)", "SQLite", "varchar( 10 )", kNothing, ""},
      {"CubeSQLserver", "VARCHAR(10)", "SQLite", "TEXT", kCounts, "varchar vs text; length 10 in DB 1 only"},
  };
  for (const Case& c : cases) {
    const int code1 = c.engine1 == std::string("PostgreSQL")
                          ? db::PostgreSQLTypeCode(c.declared1)
                          : db::TypeCodeForDeclaredType(c.declared1, db::TypeRules::kServer);
    db::Schema db1;
    db1.engine = c.engine1;
    db1.tables = {T("t", {Col("f", c.declared1 == std::string("mood") ? 5 : code1, c.declared1)})};
    db1.tables[0].columns[0].enumValues = c.declared1 == std::string("mood") ? "'a','b'" : "";
    db::Schema db2;
    db2.engine = c.engine2;
    db2.tables = {T("t", {Col("f", db1.tables[0].columns[0].typeCode, c.declared2)})};
    db2.tables[0].columns[0].enumValues = c.enumValues2;
    const std::string what = std::string(c.engine1) + " " + c.declared1 + " against " +
                             c.engine2 + " " + c.declared2;
    const Findings findings = FindDifferences(db1, db2, {});
    ASSERT_EQ(findings.tables.size(), 1U) << what;
    const auto& fields = findings.tables[0].fields;
    if (c.verdict == kNothing) {
      EXPECT_TRUE(fields.empty()) << what << ": " << (fields.empty() ? "" : fields[0].detail);
      continue;
    }
    ASSERT_EQ(fields.size(), 1U) << what;
    EXPECT_EQ(fields[0].kind, FieldKind::kDeclaredTypeDiffers) << what;
    EXPECT_EQ(fields[0].counts, c.verdict == kCounts) << what;
    EXPECT_EQ(fields[0].detail, c.detail) << what;
    EXPECT_EQ(findings.tables[0].status,
              c.verdict == kCounts ? TableStatus::kDiffers : TableStatus::kSame)
        << what;
  }
}

// A column without a declared type (a SQLite view's computed column) has
// nothing to compare: a note, not a difference. One-way keeps the window's
// question, where the codes decide.
TEST(FindingsTest, AColumnWithoutADeclaredTypeIsNotComparable) {
  db::Schema db1;
  db1.engine = "SQLite";
  db1.tables = {T("v", {Col("total", 0, "")})};
  db::Schema db2;
  db2.engine = "Mysql";
  db2.tables = {T("v", {Col("total", 13, "decimal(32,2)")})};
  const Findings symmetric = FindDifferences(db1, db2, {});
  ASSERT_EQ(symmetric.tables[0].fields.size(), 1U);
  EXPECT_EQ(symmetric.tables[0].fields[0].kind, FieldKind::kTypeNotComparable);
  EXPECT_FALSE(symmetric.tables[0].fields[0].counts);
  EXPECT_EQ(symmetric.tables[0].status, TableStatus::kSame);
  const Findings oneWay = FindDifferences(db1, db2, OneWay());
  EXPECT_EQ(oneWay.tables[0].status, TableStatus::kDiffers);
}

TEST(FindingsTest, SymmetricPairsTablesOneToOneExactNamesFirst) {
  struct Case {
    std::vector<const char*> db1;
    std::vector<const char*> db2;
    std::vector<Pair> pairs;
  };
  const std::vector<Case> cases = {
      {{"Users", "USERS"}, {"users"}, {{"Users", "users"}, {"USERS", none}}},
      {{"users", "USERS"}, {"USERS", "users"}, {{"users", "users"}, {"USERS", "USERS"}}},
      {{"Users"}, {"USERS", "users"}, {{"Users", "USERS"}, {none, "users"}}},
      {{"a", "B"}, {"b", "A", "c"}, {{"a", "A"}, {"B", "b"}, {none, "c"}}},
      // Case is folded beyond ASCII.
      {{"ÉTÉ", "x"}, {"y", "été"}, {{"ÉTÉ", "été"}, {"x", none}, {none, "y"}}},
      {{}, {"only"}, {{none, "only"}}},
  };
  for (const Case& c : cases) {
    const Findings findings = FindDifferences(Names(c.db1), Names(c.db2), {});
    EXPECT_EQ(Pairs(findings), c.pairs) << c.db1.size() << " against " << c.db2.size();
  }
}

TEST(FindingsTest, FieldFindingsSayWhatDiffersAndNotesCountOnlyWhenStrict) {
  db::Schema db1;
  db1.tables = {T("Users", {Col("Id", 3, "INTEGER", false, true), Col("Name", 5, "TEXT", true),
                            Col("Email", 5, "VARCHAR(80)")}),
                T("Items", {Col("id", 3, "INTEGER"), Col("sku", 4, "CHAR(8)"),
                            Col("qty", 3, "INTEGER"), Col("geo", -1, "GEOMETRY")})};
  db::Schema db2;
  db2.tables = {
      T("users", {Col("Id", 3, "INTEGER"), Col("Name", 5, "TEXT"), Col("Email", 5, "VARCHAR(80)")}),
      T("Items", {Col("ID", 3, "INTEGER"), Col("sku", 3, "INTEGER"), Col("qty", 3, "INTEGER", true),
                  Col("geo", -1, "geometry"), Col("more", 5, "TEXT"), Col("more", 3, "INT")})};

  const Findings relaxed = FindDifferences(db1, db2, {});
  ASSERT_EQ(relaxed.tables.size(), 2U);
  const TableFinding& users = relaxed.tables[0];
  EXPECT_EQ(users.status, TableStatus::kSame);
  EXPECT_TRUE(users.nameCaseDiffers);
  EXPECT_EQ(users.fields, (std::vector<FieldFinding>{{FieldKind::kPrimaryKeyDiffers,
                                                      "Id",
                                                      Facts(3, "INTEGER", "3-Integer", false, true),
                                                      Facts(3, "INTEGER", "3-Integer"),
                                                      false,
                                                      {}},
                                                     {FieldKind::kNotNullDiffers,
                                                      "Name",
                                                      Facts(5, "TEXT", "5-Text or VarChar", true),
                                                      Facts(5, "TEXT", "5-Text or VarChar"),
                                                      false,
                                                      {}}}));
  const TableFinding& items = relaxed.tables[1];
  EXPECT_EQ(items.status, TableStatus::kDiffers);
  EXPECT_FALSE(items.nameCaseDiffers);
  EXPECT_EQ(
      items.fields,
      (std::vector<FieldFinding>{
          {FieldKind::kMissingInDb2, "id", Facts(3, "INTEGER", "3-Integer"), none, true, {}},
          {FieldKind::kTypeDiffers,
           "sku",
           Facts(4, "CHAR(8)", "4-Char"),
           Facts(3, "INTEGER", "3-Integer"),
           true,
           {}},
          {FieldKind::kNotNullDiffers,
           "qty",
           Facts(3, "INTEGER", "3-Integer"),
           Facts(3, "INTEGER", "3-Integer", true),
           false,
           {}},
          {FieldKind::kOnlyInDb2, "ID", none, Facts(3, "INTEGER", "3-Integer"), true, {}},
          {FieldKind::kOnlyInDb2, "more", none, Facts(5, "TEXT", "5-Text or VarChar"), true, {}},
          {FieldKind::kOnlyInDb2, "more", none, Facts(3, "INT", "3-Integer"), true, {}}}));
  EXPECT_EQ(relaxed.counts, (FindingsCounts{2, 2, 1, 1, 0, 0, 0, 5, 0, 4}));
  EXPECT_TRUE(relaxed.HasDifferences());

  FindingsOptions strictOptions;
  strictOptions.strict = true;
  const Findings strict = FindDifferences(db1, db2, strictOptions);
  EXPECT_EQ(strict.tables[0].status, TableStatus::kDiffers);
  for (const FieldFinding& f : strict.tables[0].fields) EXPECT_TRUE(f.counts) << f.name;
  EXPECT_EQ(strict.counts, (FindingsCounts{2, 2, 0, 2, 0, 0, 0, 8, 0, 0}));

  // A table name differing in letter case alone is enough under --strict.
  const Findings caseOnly = FindDifferences(Names({"Notes"}), Names({"NOTES"}), strictOptions);
  EXPECT_EQ(caseOnly.tables[0].status, TableStatus::kDiffers);
  EXPECT_EQ(FindDifferences(Names({"Notes"}), Names({"NOTES"}), {}).tables[0].status,
            TableStatus::kSame);
}

TEST(FindingsTest, ATableASideCannotReadIsNotCheckedAndCounts) {
  db::Schema db1;
  db1.tables = {Unreadable("Broken", "no such table: main.gone"), T("fine"), T("gone1"),
                Unreadable("lonely", "cannot")};
  db::Schema db2;
  db2.tables = {T("broken"),
                Unreadable("fine", "view over nothing"),
                {"gone1", db::TableState::kUnknown, {}, {}}};

  const Findings both = FindDifferences(db1, db2, {});
  ASSERT_EQ(both.tables.size(), 4U);
  EXPECT_EQ(both.tables[0].status, TableStatus::kNotChecked);
  EXPECT_EQ(both.tables[0].db1Reason, "no such table: main.gone");
  EXPECT_EQ(both.tables[0].db2Reason, "");
  EXPECT_EQ(both.tables[1].status, TableStatus::kNotChecked);
  EXPECT_EQ(both.tables[1].db2Reason, "view over nothing");
  EXPECT_EQ(both.tables[2].status, TableStatus::kNotChecked);
  EXPECT_EQ(both.tables[2].db2Reason, "the engine does not know the table");
  EXPECT_EQ(both.tables[3].status, TableStatus::kOnlyInDb1);
  EXPECT_EQ(both.counts.notChecked, 3);
  EXPECT_EQ(both.DifferingTables(), 4);

  const Findings oneWay = FindDifferences(db1, db2, OneWay());
  ASSERT_EQ(oneWay.tables.size(), 4U);
  EXPECT_EQ(oneWay.tables[0].note, kTableNotChecked);
  EXPECT_EQ(oneWay.tables[0].notice, kDb1HasNoFields);
  EXPECT_EQ(oneWay.tables[1].notice, kDb2HasNoFields);
  EXPECT_EQ(oneWay.tables[3].note, kTableNotOk);
  EXPECT_EQ(oneWay.tables[3].notice, "");
  EXPECT_TRUE(oneWay.HasDifferences());
}

TEST(FindingsTest, OneWayAsksOnlyWhetherDb1IsInDb2) {
  db::Schema db1;
  db1.tables = {
      T("Users", {Col("id", 3, "INTEGER"), Col("name", 5, "TEXT")}),
      T("USERS", {Col("id", 3, "INTEGER"), Col("name", 4, "CHAR(9)"), Col("x", 3, "INT")}),
      T("Orders")};
  db::Schema db2;
  db2.tables = {T("users", {Col("name", 5, "TEXT", true), Col("id", 3, "INTEGER", false, true),
                            Col("extra", 16, "BLOB")}),
                T("only_in_db2")};
  const Findings findings = FindDifferences(db1, db2, OneWay());
  // Both case twins find DB 2's one table; DB 2's own tables are not asked.
  EXPECT_EQ(Pairs(findings),
            (std::vector<Pair>{{"Users", "users"}, {"USERS", "users"}, {"Orders", none}}));
  EXPECT_EQ(findings.tables[0].note, "Table ok");
  EXPECT_EQ(findings.tables[0].fields, std::vector<FieldFinding>{});
  // The names' letter case is told as it is, though one-way it is no note.
  EXPECT_TRUE(findings.tables[0].nameCaseDiffers);
  EXPECT_EQ(findings.counts.notes, 0);
  EXPECT_EQ(findings.tables[1].note, "Fields not ok");
  EXPECT_EQ(
      findings.tables[1].fields,
      (std::vector<FieldFinding>{
          {FieldKind::kSame, "id", Facts(3, "INTEGER", "3-Integer"),
           Facts(3, "INTEGER", "3-Integer", false, true), false, "Field name OK  - Field type OK"},
          {FieldKind::kTypeDiffers, "name", Facts(4, "CHAR(9)", "4-Char"),
           Facts(5, "TEXT", "5-Text or VarChar", true), true, "Field name OK  - Field type NOT OK"},
          {FieldKind::kMissingInDb2, "x", Facts(3, "INT", "3-Integer"), none, true,
           "Field name NOT OK  - Field type NOT OK"}}));
  EXPECT_EQ(findings.tables[2].note, "Table NOT ok");
  EXPECT_EQ(findings.counts, (FindingsCounts{3, 2, 1, 1, 1, 0, 0, 2, 0, 0}));
}

TEST(FindingsTest, ScopeMatchesWholeNamesIgnoringCaseOnBothSides) {
  const db::Schema db1 = Names({"Invoice", "InvoiceLine", "tmp_Invoice", "Track"});
  const db::Schema db2 = Names({"invoice", "INVOICELINE", "Invoice_tmp", "track"});
  struct Case {
    std::vector<std::string> include;
    std::vector<std::string> exclude;
    std::vector<std::string> names;
  };
  const std::vector<Case> cases = {
      {{}, {}, {"Invoice", "InvoiceLine", "tmp_Invoice", "Track", "Invoice_tmp"}},
      {{"invoice"}, {}, {"Invoice"}},
      {{"invoice.*"}, {}, {"Invoice", "InvoiceLine", "Invoice_tmp"}},
      {{"invoice.*", "TRACK"}, {"tmp_.*", ".*_TMP"}, {"Invoice", "InvoiceLine", "Track"}},
      {{}, {".*line", "track"}, {"Invoice", "tmp_Invoice", "Invoice_tmp"}},
      {{"voice"}, {}, {}},
  };
  for (const Case& c : cases) {
    std::string error;
    auto scope = TableScope::Make(c.include, c.exclude, error);
    ASSERT_TRUE(scope) << error;
    FindingsOptions options;
    options.scope = *scope;
    const Findings findings = FindDifferences(db1, db2, options);
    EXPECT_EQ(Scoped(findings), c.names) << ::testing::PrintToString(c.include);
  }
}

TEST(FindingsTest, ABadPatternIsRefusedByName) {
  std::string error;
  EXPECT_FALSE(TableScope::Make({"ok", "inv("}, {}, error));
  EXPECT_EQ(error.rfind("--tables \"inv(\": ", 0), 0U) << error;
  EXPECT_FALSE(TableScope::Make({}, {"[z-a]"}, error));
  EXPECT_EQ(error.rfind("--exclude \"[z-a]\": ", 0), 0U) << error;
}

// The window's Compare, as FinestraPrincipale does it: DB 1's tables in the
// order the engine lists them, each looked up among DB 2's names, checked by
// a comparison session; and for the rows it does not find ok, the field
// comparison the window shows when the row is selected.
struct WindowRow {
  std::string note;
  std::optional<std::string> notice;
  std::vector<std::string> fieldNotes;  // "name: note"
  bool operator==(const WindowRow&) const = default;
};

std::vector<std::string> ListedNames(const std::filesystem::path& file) {
  db::SQLiteDatabase db;
  db.DatabaseFile = file;
  EXPECT_TRUE(db.Connect());
  std::vector<std::string> names;
  auto records = db.TableSchema();
  for (records->MoveFirst(); !records->IsEOF(); records->MoveNext()) {
    names.push_back(records->IdxField(1).StringValue());
  }
  return names;
}

std::vector<WindowRow> WindowCompare(const std::filesystem::path& file1,
                                     const std::filesystem::path& file2) {
  const db::PanelValues panel1{"", "", "", "", "SQLite", "", file1};
  const db::PanelValues panel2{"", "", "", "", "SQLite", "", file2};
  const std::vector<std::string> names2 = ListedNames(file2);
  const TableIndex index2(names2);
  std::vector<WindowRow> rows;
  ComparisonSession session(panel1, panel2);
  for (const std::string& name : ListedNames(file1)) {
    const auto found = index2.Find(name);
    if (!found) {
      rows.push_back({NoteFor(TableOutcome::Missing), std::nullopt, {}});
      continue;
    }
    const auto check = session.CheckTable(name, names2[*found]);
    WindowRow row{NoteFor(check.outcome), std::nullopt, {}};
    if (check.outcome == TableOutcome::FieldsDiffer || check.outcome == TableOutcome::NotChecked) {
      ComparisonSession fieldSession(panel1, panel2);
      const auto fields = fieldSession.CompareTableFields(name, names2[*found]);
      row.notice = fields.notice;
      for (const FieldVerdict& v : fields.verdicts) {
        row.fieldNotes.push_back(v.name + ": " + FieldNote(v));
      }
    }
    rows.push_back(row);
  }
  return rows;
}

std::vector<WindowRow> OneWayRows(const std::filesystem::path& file1,
                                  const std::filesystem::path& file2) {
  const auto read = [](const std::filesystem::path& file) {
    db::SQLiteDatabase db;
    db.DatabaseFile = file;
    EXPECT_TRUE(db.Connect());
    return *db.WholeSchema();
  };
  const Findings findings = FindDifferences(read(file1), read(file2), OneWay());
  std::vector<WindowRow> rows;
  for (const TableFinding& t : findings.tables) {
    WindowRow row{t.note, std::nullopt, {}};
    if (!t.notice.empty()) row.notice = t.notice;
    for (const FieldFinding& f : t.fields) row.fieldNotes.push_back(f.name + ": " + f.note);
    rows.push_back(row);
  }
  return rows;
}

TEST(FindingsTest, OneWayFindingsAreWhatTheWindowsCompareShows) {
  const std::vector<std::pair<const char*, const char*>> pairs = {
      // The window's own Compare test pair.
      {"CREATE TABLE Users (Id INTEGER, Name TEXT, Email VARCHAR(80));"
       "CREATE TABLE Orders (id INTEGER, total NUMERIC(10,2));"
       "CREATE TABLE Items (id INTEGER, sku CHAR(8), qty INTEGER);"
       "CREATE TABLE Notes (body TEXT);"
       "CREATE TABLE Bare (x);",
       "CREATE TABLE users (extra BLOB, Email VARCHAR(20), Name TEXT, Id INTEGER);"
       "CREATE TABLE items (ID INTEGER, sku INTEGER, qty INTEGER, more TEXT);"
       "CREATE TABLE notes (body TEXT);"
       "CREATE TABLE bare (y);"
       "CREATE TABLE only_in_db2 (z);"},
      // Views that cannot be read on either side, and Unicode case.
      {"CREATE TABLE gone (x INTEGER); CREATE VIEW Broken AS SELECT x FROM gone;"
       "CREATE TABLE fine (a INT); CREATE VIEW \"Été\" AS SELECT a FROM fine; DROP TABLE gone;"
       "CREATE TABLE t2 (a TEXT);",
       "CREATE TABLE broken (x INTEGER); CREATE TABLE gone (y); CREATE TABLE fine (a INT);"
       "CREATE VIEW t2 AS SELECT y FROM gone; DROP TABLE gone; CREATE TABLE \"été\" (a INT);"},
  };
  for (const auto& [sql1, sql2] : pairs) {
    test::TempSqlite db1(sql1);
    test::TempSqlite db2(sql2);
    const std::vector<WindowRow> window = WindowCompare(db1.path(), db2.path());
    ASSERT_GE(window.size(), 4U);
    EXPECT_EQ(OneWayRows(db1.path(), db2.path()), window) << sql1;
  }
}

}  // namespace
}  // namespace vantrix::compare
