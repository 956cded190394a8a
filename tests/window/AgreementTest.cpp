// The window and the command line answer the same question alike: the rows
// of the real window's Compare, and what selecting each row shows, against
// what vantrix-diff --one-way (the built program, run as a process) writes
// for the same pair, table by table and field by field.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "EveryKind.h"
#include "Process.h"
#include "WindowFixture.h"
#include "support/MariaDbTestServer.h"
#include "support/TempSqlite.h"

namespace vantrix::test {
namespace {

// One result row: the DB 1 table, its note, and the rows its selection
// lists ("field | note", or the notice for a table that was not checked).
struct Row {
  QString table;
  QString note;
  QStringList fields;
  bool operator==(const Row&) const = default;
};

void PrintTo(const Row& row, std::ostream* out) {
  *out << row.table.toStdString() << " | " << row.note.toStdString();
  for (const QString& field : row.fields) *out << "\n    " << field.toStdString();
}

class AgreementTest : public WindowTest {
protected:
  // Compare, then every row selected in turn, as a user reads the results.
  // vantrix-diff lists the fields of the tables whose fields are not ok
  // and the notice of those not checked; a "Table ok" row's fields, which
  // it does not list, must each be fine.
  std::vector<Row> WindowRows() {
    Compare();
    EXPECT_EQ(fake().messages, QStringList());
    std::vector<Row> rows;
    for (int i = 0; i < W().DiffTables->ListCount(); ++i) {
      Row row{W().DiffTables->Cell(i, 0), W().DiffTables->Cell(i, 1), {}};
      if (row.note != kMissing) {
        Select(i);
        row.fields = RowsOf(W().DiffFields);
      }
      if (row.note == kOk) {
        EXPECT_FALSE(row.fields.isEmpty()) << row.table.toStdString();
        for (const QString& field : row.fields) {
          EXPECT_TRUE(field.endsWith(" | " + kBothOk)) << field.toStdString();
        }
        row.fields.clear();
      }
      rows.push_back(row);
    }
    EXPECT_EQ(fake().messages, QStringList());
    return rows;
  }

  // What vantrix-diff --one-way reports for the pair, as rows.
  static std::vector<Row> DiffRows(const std::string& db1, const std::string& db2,
                                   const Process::Options& options = {}) {
    const Outcome outcome = RunDiff({"--one-way", "--format", "json", db1, db2}, options);
    EXPECT_LE(outcome.status, 1) << outcome.err;
    const QJsonDocument report = QJsonDocument::fromJson(QByteArray::fromStdString(outcome.out));
    std::vector<Row> rows;
    for (const QJsonValue& value : report.object().value(QStringLiteral("tables")).toArray()) {
      const QJsonObject table = value.toObject();
      Row row{table.value(QStringLiteral("name")).toString(),
              table.value(QStringLiteral("note")).toString(),
              {}};
      if (table.contains(QStringLiteral("notice"))) {
        row.fields << table.value(QStringLiteral("notice")).toString() + QStringLiteral(" | ");
      }
      for (const QJsonValue& f : table.value(QStringLiteral("fields")).toArray()) {
        const QJsonObject field = f.toObject();
        row.fields << field.value(QStringLiteral("name")).toString() + QStringLiteral(" | ") +
                          field.value(QStringLiteral("note")).toString();
      }
      rows.push_back(row);
    }
    return rows;
  }

  // The notes the rows carry, each once, in order of first appearance.
  static QStringList NotesOf(const std::vector<Row>& rows) {
    QStringList notes;
    for (const Row& row : rows) {
      if (!notes.contains(row.note)) notes << row.note;
    }
    return notes;
  }
};

// SQLite pairs that between them give every note of a row and of a field:
// tables missing, the same, differing in every way a field can, and views
// that cannot be read on either side; names in other letter case, also
// beyond ASCII; declared types that share a code and types outside the
// table of codes.
TEST_F(AgreementTest, SQLitePairsGetTheRowsVantrixDiffWritesOneWay) {
  const struct {
    const char* name;
    const char* db1;
    const char* db2;
  } pairs[] = {
      {"every kind of finding", kDb1Sql, kDb2Sql},
      {"the window's own Compare pair",
       "CREATE TABLE Users (Id INTEGER, Name TEXT, Email VARCHAR(80));"
       "CREATE TABLE Orders (id INTEGER, total NUMERIC(10,2));"
       "CREATE TABLE Items (id INTEGER, sku CHAR(8), qty INTEGER);"
       "CREATE TABLE Notes (body TEXT);"
       "CREATE TABLE Bare (x);",
       "CREATE TABLE users (extra BLOB, Email VARCHAR(20), Name TEXT, Id INTEGER);"
       "CREATE TABLE items (ID INTEGER, sku INTEGER, qty INTEGER, more TEXT);"
       "CREATE TABLE notes (body TEXT);"
       "CREATE TABLE bare (y);"
       "CREATE TABLE only_in_db2 (z);"},
      {"views that cannot be read on either side, letter case beyond ASCII",
       "CREATE TABLE gone (x INTEGER); CREATE VIEW Broken AS SELECT x FROM gone;"
       "CREATE TABLE fine (a INT); CREATE VIEW \"Été\" AS SELECT a FROM fine; DROP TABLE gone;"
       "CREATE TABLE t2 (a TEXT);",
       "CREATE TABLE broken (x INTEGER); CREATE TABLE gone (y); CREATE TABLE fine (a INT);"
       "CREATE VIEW t2 AS SELECT y FROM gone; DROP TABLE gone; CREATE TABLE \"été\" (a INT);"},
      {"declared types",
       "CREATE TABLE t (a INT, b VARCHAR(10), c DATETIME, d DECIMAL(5,2), e BOOLEAN, f,"
       " g INTEGER PRIMARY KEY, h DOUBLE, i JSON, j TEXT GENERATED ALWAYS AS (b) VIRTUAL);"
       "CREATE TABLE same (a INTEGER, b TEXT);",
       "CREATE TABLE t (a INTEGER, b TEXT, c DATE, d NUMERIC, e INTEGER, f BLOB,"
       " g INTEGER, h REAL, i TEXT, j TEXT);"
       "CREATE TABLE same (b TEXT, a INTEGER, extra BLOB);"},
  };
  QStringList notes;
  for (const auto& pair : pairs) {
    SCOPED_TRACE(pair.name);
    CloseAllWindows();
    TempSqlite db1(pair.db1);
    TempSqlite db2(pair.db2);
    ChooseSQLite(1, db1.path());
    ChooseSQLite(2, db2.path());
    Connect(1);
    Connect(2);
    const std::vector<Row> window = WindowRows();
    EXPECT_EQ(window, DiffRows(db1.path().string(), db2.path().string()));
    notes << NotesOf(window);
    for (const Row& row : window) {
      for (const QString& field : row.fields) notes << field.section(QStringLiteral(" | "), 1);
    }
  }
  // Between them the pairs give every note there is.
  for (const QString& note :
       {kOk, kMissing, kDiffer, kNotChecked, kBothOk, kTypeDiffers, kNameMissing}) {
    EXPECT_TRUE(notes.contains(note)) << note.toStdString();
  }
}

// The same on a server, where names differ in letter case as the server
// keeps them and types outside the table of codes are compared by their
// declarations.
TEST_F(AgreementTest, AMariaDbPairGetsTheRowsVantrixDiffWritesOneWay) {
  VANTRIX_REQUIRE_MARIADB(server);
  CreateMariaDbSchema(server, "vx_agree_1",
                      "CREATE TABLE Users (Id INT PRIMARY KEY, Name TEXT NOT NULL, Email "
                      "VARCHAR(80));"
                      "CREATE TABLE orders (id INT, total DECIMAL(10,2));"
                      "CREATE TABLE items (id INT, sku CHAR(8), qty INT, spot POINT);"
                      "CREATE TABLE notes (body TEXT, at DATETIME);"
                      "CREATE TABLE gone (x INT);"
                      "CREATE VIEW broken AS SELECT x FROM gone;"
                      "DROP TABLE gone;");
  CreateMariaDbSchema(server, "vx_agree_2",
                      "CREATE TABLE users (Id BIGINT, Name TEXT, Email VARCHAR(20));"
                      "CREATE TABLE items (ID INT, sku INT, qty INT, spot GEOMETRY, more TEXT);"
                      "CREATE TABLE notes (at DATETIME, body TEXT);"
                      "CREATE TABLE broken (x INT);");
  FillServer(1, server.host, server.port, "vx_agree_1", server.user, server.password);
  FillServer(2, server.host, server.port, "vx_agree_2", server.user, server.password);
  Connect(1);
  Connect(2);
  const std::vector<Row> window = WindowRows();
  QStringList notes = NotesOf(window);
  notes.sort();
  EXPECT_EQ(notes, (QStringList{kDiffer, kMissing, kNotChecked, kOk}));

  const auto url = [&](const std::string& database) {
    return "mysql://" + server.user + "@" + server.host + ":" + std::to_string(server.port) + "/" +
           database;
  };
  Process::Options options;
  options.env["VANTRIX_DB1_PASSWORD"] = server.password;
  options.env["VANTRIX_DB2_PASSWORD"] = server.password;
  EXPECT_EQ(window, DiffRows(url("vx_agree_1"), url("vx_agree_2"), options));
}

}  // namespace
}  // namespace vantrix::test
