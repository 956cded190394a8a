// Compare after a panel was edited since its Connect: the rows speak of the
// database the panel names, and File > Export Report… says what the rows
// say. Real SQLite files and MariaDB databases.
#include <QAction>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <filesystem>
#include <functional>
#include <optional>

#include "WindowFixture.h"
#include "support/MariaDbTestServer.h"
#include "support/TempSqlite.h"
#include "ui/MenuBar1.h"

namespace vantrix::test {
namespace {

// The database left alone, and the one a panel names before and after the
// edit. The names sort as they are created, so that every engine lists
// them in the same order.
const char* const kSqlBase =
    "CREATE TABLE a_users (id INTEGER); CREATE TABLE b_orders (id INTEGER);";
const char* const kSqlOld = "CREATE TABLE a_users (id INTEGER);";
const char* const kSqlNew =
    "CREATE TABLE a_users (id INTEGER); CREATE TABLE b_orders (id INTEGER);"
    "CREATE TABLE c_notes (body TEXT);";

class EditedPanelTest : public WindowTest {
protected:
  static QAction* ExportEntry() { return ui::MenuBar1::Installed()->FileExportReport; }
  // The tables of the one-way JSON report the export writes, as "table |
  // note", the way RowsOf shows the result rows.
  QStringList ExportedRows() {
    const auto file = dir_.path() / "report.json";
    std::filesystem::remove(file);
    fake().saveAnswers.push_back(ui::SaveChoice{file, QStringLiteral("JSON (*.json)")});
    ExportEntry()->trigger();
    const QJsonDocument report = QJsonDocument::fromJson(QByteArray::fromStdString(ReadFile(file)));
    QStringList rows;
    for (const QJsonValue table : report.object().value(QStringLiteral("tables")).toArray()) {
      rows << table[QStringLiteral("db1_name")].toString() + QStringLiteral(" | ") +
                  table[QStringLiteral("note")].toString();
    }
    return rows;
  }
  TempDir dir_;
};

// How one engine serves the three databases: it connects a side to one of
// them, or points the side's panel at another without connecting.
struct Engine {
  const char* name;
  std::function<void(int side, const std::string& which)> connect;
  std::function<void(int side, const std::string& which)> edit;
};

TEST_F(EditedPanelTest, CompareListsAnEditedSideAgainAndTheExportAgreesWithTheRows) {
  TempSqlite base(kSqlBase);
  TempSqlite old(kSqlOld);
  TempSqlite fresh(kSqlNew);
  const std::map<std::string, std::filesystem::path> files = {
      {"base", base.path()}, {"old", old.path()}, {"new", fresh.path()}};
  std::vector<Engine> engines = {
      {"SQLite",
       [&](int side, const std::string& which) {
         ChooseSQLite(side, files.at(which));
         Connect(side);
       },
       [&](int side, const std::string& which) {
         ChooseType(side, QStringLiteral("Mysql"));
         ChooseSQLite(side, files.at(which));
       }},
  };
  const auto maria = TestMariaDb();
  if (maria) {
    for (const auto& [which, sql] : std::map<std::string, const char*>{
             {"base", kSqlBase}, {"old", kSqlOld}, {"new", kSqlNew}}) {
      CreateMariaDbSchema(*maria, "vx_edited_" + which, sql);
    }
    engines.push_back({"MariaDB",
                       [&](int side, const std::string& which) {
                         FillServer(side, maria->host, maria->port, "vx_edited_" + which,
                                    maria->user, maria->password);
                         Connect(side);
                       },
                       [&](int side, const std::string& which) {
                         Database(side)->setText(QString::fromStdString("vx_edited_" + which));
                       }});
  } else {
    ADD_FAILURE() << "no MariaDB test server (run scripts/test)";
  }

  struct Case {
    int edited;
    QStringList rows;
  };
  const std::vector<Case> cases = {
      // DB 2 now names a database that has b_orders.
      {2, {"a_users | " + kOk, "b_orders | " + kOk}},
      // DB 1 now names a database with two more tables: they get rows.
      {1, {"a_users | " + kOk, "b_orders | " + kOk, "c_notes | " + kMissing}},
  };
  for (const Engine& engine : engines) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(engine.name) + ", DB " + std::to_string(c.edited) + " edited");
      CloseAllWindows();
      const int other = 3 - c.edited;
      engine.connect(other, "base");
      engine.connect(c.edited, "old");
      Pick(Tables(c.edited), 0);
      ASSERT_EQ(ColumnOf(Fields(c.edited)), QStringList{"id"});

      engine.edit(c.edited, "new");
      Compare();
      EXPECT_EQ(fake().messages, QStringList());
      EXPECT_EQ(ColumnOf(Tables(c.edited)), (QStringList{"a_users", "b_orders", "c_notes"}));
      EXPECT_EQ(ColumnOf(Tables(other)), (QStringList{"a_users", "b_orders"}));
      EXPECT_EQ(Fields(c.edited)->ListCount(), 0) << "fields of a table of the old database";
      EXPECT_EQ(RowsOf(W().DiffTables), c.rows);
      ASSERT_TRUE(ExportEntry()->isEnabled());
      EXPECT_EQ(ExportedRows(), c.rows);

      // A second Compare with the panel as it is now reads nothing again.
      Compare();
      EXPECT_EQ(RowsOf(W().DiffTables), c.rows);
      EXPECT_EQ(fake().messages, QStringList());
    }
  }
}

}  // namespace
}  // namespace vantrix::test
