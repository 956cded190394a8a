// File > Export Report… in the main window: enabled only after a Compare
// that read both sides and whose rows come from exactly what it read, it
// saves, without connecting again, the same report that vantrix-diff
// --one-way writes for the pair, in the format the file's name asks for,
// never over a file without asking, never half written, and nothing at all
// when cancelled; and File > Quit.
#include <QAction>
#include <QDir>
#include <QKeySequence>

#include <sqlite3.h>

#include <fstream>
#include <functional>
#include <map>
#include <set>

#include "FakeCubeSqlServer.h"
#include "Process.h"
#include "WindowFixture.h"
#include "support/LoopbackPorts.h"
#include "support/MariaDbTestServer.h"
#include "support/PostgresTestServer.h"
#include "support/TempSqlite.h"
#include "ui/MenuBar1.h"

namespace vantrix::test {
namespace {

const char* const kDb1Sql =
    "CREATE TABLE Users (Id INTEGER, Name TEXT, Email VARCHAR(80));"
    "CREATE TABLE Orders (id INTEGER, total NUMERIC(10,2));"
    "CREATE TABLE Items (id INTEGER, sku CHAR(8), qty INTEGER);";
const char* const kDb2Sql =
    "CREATE TABLE users (extra BLOB, Email VARCHAR(20), Name TEXT, Id INTEGER);"
    "CREATE TABLE items (ID INTEGER, sku INTEGER, qty INTEGER, more TEXT);";

// The time stamp both the window and vantrix-diff take as now.
constexpr const char* kEpoch = "1720000000";

void WriteFile(const std::filesystem::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
}

// Changes a SQLite file behind the window's back.
void RunSqliteSql(const std::filesystem::path& file, const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
}

// Every file and folder under a folder, by its path there, with its bytes
// (a folder's are "<folder>").
std::map<std::string, std::string> FolderContents(const std::filesystem::path& folder) {
  std::map<std::string, std::string> contents;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    const std::string name = std::filesystem::relative(entry.path(), folder).string();
    contents[name] = entry.is_directory() ? std::string("<folder>") : ReadFile(entry.path());
  }
  return contents;
}

class ExportTest : public WindowTest {
protected:
  void SetUp() override {
    WindowTest::SetUp();
    qputenv("SOURCE_DATE_EPOCH", kEpoch);
  }
  void TearDown() override {
    qunsetenv("SOURCE_DATE_EPOCH");
    WindowTest::TearDown();
  }
  static QAction* ExportEntry() { return ui::MenuBar1::Installed()->FileExportReport; }

  // Exports under a file type and answers what was written, or "" when no
  // file appeared.
  std::string Export(const std::filesystem::path& file, const char* filter) {
    fake().saveAnswers.push_back(ui::SaveChoice{file, QString::fromUtf8(filter)});
    ExportEntry()->trigger();
    return std::filesystem::exists(file) ? ReadFile(file) : std::string();
  }

  struct Format {
    const char* filter;
    const char* name;       // vantrix-diff's --format
    const char* extension;  // added to a file name without one
  };
  const std::vector<Format> formats_ = {{"HTML page (*.html)", "html", ".html"},
                                        {"Markdown (*.md)", "markdown", ".md"},
                                        {"JSON (*.json)", "json", ".json"}};
  TempDir dir_;

  // Connects both sides to the SQLite pair and compares them.
  void CompareThePair() {
    ChooseSQLite(1, pair1_.path());
    ChooseSQLite(2, pair2_.path());
    Connect(1);
    Connect(2);
    Compare();
    ASSERT_TRUE(ExportEntry()->isEnabled());
  }
  // What vantrix-diff --one-way writes for the pair in a format.
  std::string Expected(const std::string& format) {
    const Outcome expected =
        RunDiff({"--one-way", "--format", format, pair1_.path().string(), pair2_.path().string()});
    EXPECT_EQ(expected.status, 1) << expected.err;
    return expected.out;
  }
  TempSqlite pair1_{kDb1Sql};
  TempSqlite pair2_{kDb2Sql};
};

TEST_F(ExportTest, EachFormatIsWhatVantrixDiffWritesOneWay) {
  TempSqlite db1(kDb1Sql);
  TempSqlite db2(kDb2Sql);
  W();
  EXPECT_FALSE(ExportEntry()->isEnabled()) << "nothing compared yet";
  ChooseSQLite(1, db1.path());
  ChooseSQLite(2, db2.path());
  Connect(1);
  Connect(2);
  Compare();
  ASSERT_TRUE(ExportEntry()->isEnabled());

  for (const Format& format : formats_) {
    // No extension typed: the file type's is added.
    const std::string written = Export(dir_.path() / format.name, format.filter);
    const Outcome expected =
        RunDiff({"--one-way", "--format", format.name, db1.path().string(), db2.path().string()});
    ASSERT_EQ(expected.status, 1) << expected.err;
    EXPECT_TRUE(
        std::filesystem::exists(dir_.path() / (std::string(format.name) + format.extension)))
        << format.name;
    EXPECT_EQ(ReadFile(dir_.path() / (std::string(format.name) + format.extension)), expected.out)
        << format.name;
    EXPECT_NE(expected.out.find("Orders"), std::string::npos) << format.name;
  }
  EXPECT_EQ(fake().saveFilters.front(),
            (QStringList{"HTML page (*.html)", "Markdown (*.md)", "JSON (*.json)"}));
  EXPECT_EQ(fake().messages, QStringList());

  // A folder that is not there is named with the reason.
  EXPECT_EQ(Export(dir_.path() / "missing" / "r.md", "Markdown (*.md)"), "");
  ASSERT_EQ(fake().messages.size(), 1);
  EXPECT_TRUE(fake().messages[0].startsWith(QStringLiteral("The report could not be saved as \"")));
  EXPECT_TRUE(fake().messages[0].endsWith(QStringLiteral("No such file or directory")))
      << fake().messages[0].toStdString();

  // Nothing to export once a Compare is refused.
  W().DB2tables->DeleteAllRows();
  Compare();
  EXPECT_FALSE(ExportEntry()->isEnabled());
}

// A typed extension names the format, whatever file type the dialog shows;
// without one, the file type's extension is added, and a file of that name
// that exists is replaced only when the user says so (the dialog asked
// about the name as typed).
TEST_F(ExportTest, TheTypedExtensionNamesTheFormatAndNoFileIsReplacedUnasked) {
  CompareThePair();
  const std::map<std::string, std::string> reports = {
      {"html", Expected("html")}, {"markdown", Expected("markdown")}, {"json", Expected("json")}};
  const std::string kOld = "an earlier report";
  struct Case {
    const char* typed;
    const char* filter;
    const char* existing;                     // a file already there, or nullptr
    std::optional<ui::PressedButton> answer;  // to the question, when one is asked
    const char* written;                      // the file that holds the report
    const char* format;  // vantrix-diff's name of its format; nullptr: not written
  };
  const std::vector<Case> cases = {
      {"check.json", "HTML page (*.html)", nullptr, std::nullopt, "check.json", "json"},
      {"named.html", "JSON (*.json)", nullptr, std::nullopt, "named.html", "html"},
      {"notes.MD", "JSON (*.json)", nullptr, std::nullopt, "notes.MD", "markdown"},
      {"page.htm", "Markdown (*.md)", nullptr, std::nullopt, "page.htm", "html"},
      {"summary.txt", "Markdown (*.md)", nullptr, std::nullopt, "summary.txt", "markdown"},
      {"fresh", "Markdown (*.md)", nullptr, std::nullopt, "fresh.md", "markdown"},
      {"report", "HTML page (*.html)", "report.html", ui::PressedButton::Cancel, "report.html",
       nullptr},
      {"report", "HTML page (*.html)", "report.html", ui::PressedButton::Action, "report.html",
       "html"},
      // The typed name exists itself: the dialog has asked already.
      {"kept.json", "JSON (*.json)", "kept.json", std::nullopt, "kept.json", "json"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.typed) + " as " + c.filter);
    TempDir dir;
    if (c.existing != nullptr) WriteFile(dir.path() / c.existing, kOld);
    fake().Reset();
    if (c.answer) fake().modalAnswers.push_back(*c.answer);
    Export(dir.path() / c.typed, c.filter);

    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      names.insert(entry.path().filename().string());
    }
    EXPECT_EQ(names, std::set<std::string>{c.written}) << "the only file in the folder";
    EXPECT_EQ(ReadFile(dir.path() / c.written), c.format ? reports.at(c.format) : kOld);
    ASSERT_EQ(fake().dialogs.size(), c.answer ? 1U : 0U) << "questions asked";
    if (c.answer) {
      EXPECT_EQ(fake().dialogs[0].Message,
                QStringLiteral("\"report.html\" already exists. Do you want to replace it?"));
      EXPECT_EQ(fake().dialogs[0].ActionButton.Caption, QStringLiteral("Replace"));
      EXPECT_TRUE(fake().dialogs[0].CancelButton.Visible);
    }
    EXPECT_EQ(fake().messages, QStringList());
  }
}

// A report takes the place of a file that was there whole, as a new file:
// whatever else refers to the old one (here a second name of it) still
// finds the old report, never one half written over it.
TEST_F(ExportTest, AReportReplacesAFileWholeInsteadOfWritingOverIt) {
  CompareThePair();
  const auto file = dir_.path() / "r.md";
  const auto otherName = dir_.path() / "other-name.md";
  WriteFile(file, "an earlier report");
  std::filesystem::create_hard_link(file, otherName);

  Export(file, "Markdown (*.md)");
  EXPECT_EQ(ReadFile(file), Expected("markdown"));
  EXPECT_EQ(ReadFile(otherName), "an earlier report");
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
    names.insert(entry.path().filename().string());
  }
  EXPECT_EQ(names, (std::set<std::string>{"other-name.md", "r.md"}));
  EXPECT_EQ(fake().messages, QStringList());
}

// Cancelling writes nothing: not the save dialog, nor the question before
// a file is replaced. The folder the dialog opens in (the working folder,
// where the suggested name would go) and the one chosen are left as they
// were, byte for byte.
TEST_F(ExportTest, CancellingWritesNothing) {
  CompareThePair();
  WriteFile(dir_.path() / "vantrix-report.html", "the suggested name, taken");
  WriteFile(dir_.path() / "report.html", "an earlier report");
  std::filesystem::create_directory(dir_.path() / "sub");
  WriteFile(dir_.path() / "sub" / "r.md", "another");
  const auto before = FolderContents(dir_.path());
  // The test's folder is the working folder while the cases run.
  struct WorkingFolder {
    QString before = QDir::currentPath();
    ~WorkingFolder() { QDir::setCurrent(before); }
  } workingFolder;
  ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir_.path().string())));

  struct Case {
    const char* name;
    std::optional<ui::SaveChoice> choice;  // none: the dialog is cancelled
    std::optional<ui::PressedButton> answer;
  };
  const Case cases[] = {
      {"save dialog cancelled", std::nullopt, std::nullopt},
      {"replacing refused", ui::SaveChoice{dir_.path() / "report", "HTML page (*.html)"},
       ui::PressedButton::Cancel},
      {"replacing question closed", ui::SaveChoice{dir_.path() / "report", "HTML page (*.html)"},
       std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake().Reset();
    fake().saveAnswers.push_back(c.choice);
    if (c.answer) fake().modalAnswers.push_back(*c.answer);
    ExportEntry()->trigger();
    EXPECT_EQ(fake().saveFilters.size(), 1U) << "the save dialog was not shown";
    EXPECT_EQ(fake().dialogs.size(), c.choice ? 1U : 0U);
    EXPECT_EQ(FolderContents(dir_.path()), before);
    EXPECT_EQ(fake().messages, QStringList());
  }
}

// A server side is named by engine, host, port and database, never by its
// password, exactly as vantrix-diff names it from its URL, in every format;
// no connection is made for the export.
TEST_F(ExportTest, EachServerSideIsNamedLikeVantrixDiffNamesIt) {
  VANTRIX_REQUIRE_MARIADB(maria);
  VANTRIX_REQUIRE_POSTGRES(pg);
  FakeCubeSqlServer cube("admin", "s3cret", "music");
  CreateMariaDbSchema(maria, "vx_export_2",
                      "CREATE TABLE users (Id INT, Name TEXT, Email VARCHAR(20));"
                      "CREATE TABLE items (ID INT, sku INT, qty INT, more TEXT);");
  CreatePostgresDatabase(pg, "vx_export_2",
                         "CREATE TABLE users (Id integer, Name text, Email varchar(20));"
                         "CREATE TABLE items (ID integer, sku integer, qty integer, more text);");
  cube.Execute(
      "CREATE TABLE users (Id INTEGER, Name TEXT, Email VARCHAR(20));"
      "CREATE TABLE items (ID INTEGER, sku INTEGER, qty INTEGER, more TEXT);");
  struct Case {
    const char* engine;  // as the type menu names it
    std::string host;
    int port;
    std::string database;
    std::string user;
    std::string password;
    std::string scheme;
  };
  const Case cases[] = {
      {"Mysql", maria.host, maria.port, "vx_export_2", maria.user, maria.password, "mysql"},
      {"PostgreSQL", pg.host, pg.port, "vx_export_2", pg.user, pg.password, "postgresql"},
      {"CubeSQLserver", "127.0.0.1", cube.Port(), "music", "admin", "s3cret", "cubesql"},
      {"RealServer", "127.0.0.1", cube.Port(), "music", "admin", "s3cret", "cubesql"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.engine);
    CloseAllWindows();
    ChooseSQLite(1, pair1_.path());
    FillServer(2, c.host, c.port, c.database, c.user, c.password, QString::fromUtf8(c.engine));
    Connect(1);
    Connect(2);
    Compare();
    ASSERT_TRUE(ExportEntry()->isEnabled());
    // The server goes out of reach: the export needs nothing from it.
    Port(2)->setText(QStringLiteral("1"));

    Process::Options options;
    options.env["VANTRIX_DB2_PASSWORD"] = c.password;
    const std::string url =
        c.scheme + "://" + c.user + "@" + c.host + ":" + std::to_string(c.port) + "/" + c.database;
    for (const Format& format : formats_) {
      SCOPED_TRACE(format.name);
      const std::string written =
          Export(dir_.path() / (std::string(c.engine) + format.extension), format.filter);
      const Outcome expected =
          RunDiff({"--one-way", "--format", format.name, pair1_.path().string(), url}, options);
      EXPECT_EQ(expected.status, 1) << expected.err;
      EXPECT_EQ(written, expected.out);
      EXPECT_EQ(written.find(c.password), std::string::npos);
    }
    EXPECT_EQ(fake().messages, QStringList());
  }
}

// A Compare that could not read a side has no findings to export: the
// entry is disabled, also when an earlier Compare had enabled it, and
// nothing is asked when it is triggered all the same.
TEST_F(ExportTest, NothingIsOfferedAfterACompareThatCouldNotReadASide) {
  VANTRIX_REQUIRE_MARIADB(server);
  struct Case {
    const char* name;
    std::function<void(const std::filesystem::path& db1)> spoil;
  };
  const std::vector<Case> cases = {
      {"DB 1's file is no database any more",
       [](const std::filesystem::path& db1) { WriteFile(db1, std::string(4096, 'x')); }},
      {"DB 2's database was dropped",
       [&](const std::filesystem::path&) {
         RunMariaDbSql(server, "DROP DATABASE vx_export_spoilt");
       }},
      {"DB 2's server does not answer",
       [&](const std::filesystem::path&) {
         Port(2)->setText(QString::number(ClosedLoopbackPort()));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CloseAllWindows();
    TempSqlite db1(kDb1Sql);
    CreateMariaDbSchema(server, "vx_export_spoilt",
                        "CREATE TABLE users (Id INT, Name TEXT, Email VARCHAR(20));");
    ChooseSQLite(1, db1.path());
    FillServer(2, server.host, server.port, "vx_export_spoilt", server.user, server.password);
    Connect(1);
    Connect(2);
    Compare();
    ASSERT_TRUE(ExportEntry()->isEnabled());

    c.spoil(db1.path());
    Compare();
    EXPECT_EQ(fake().messages.size(), 1) << "the side's failure, told once";
    EXPECT_EQ(RowsOf(W().DiffTables), (QStringList{"Users | " + kNotChecked, "Orders | " + kMissing,
                                                   "Items | " + kMissing}));
    EXPECT_FALSE(ExportEntry()->isEnabled());
    fake().Reset();
    ExportEntry()->trigger();
    EXPECT_TRUE(fake().saveFilters.empty()) << "the save dialog was shown";
  }
}

// A table dropped since Connect is still a row, "Table not checked", while
// the schema the Compare read has no such table: the export could not say
// what the rows say, so it is not offered. Once the side is listed again,
// it is, and it is whole what vantrix-diff writes for the pair as it is now.
TEST_F(ExportTest, NothingIsOfferedWhileATableDroppedSinceConnectIsARow) {
  VANTRIX_REQUIRE_MARIADB(server);
  const char* const sql1 = "CREATE TABLE a (x INTEGER); CREATE TABLE b (y INTEGER);";
  const char* const sql2 = "CREATE TABLE a (x TEXT); CREATE TABLE b (y INTEGER);";
  struct Case {
    const char* name;
    bool maria;  // MariaDB on both sides, or SQLite
    int dropped;
  };
  const Case cases[] = {
      {"SQLite, DB 1", false, 1},
      {"SQLite, DB 2", false, 2},
      {"MariaDB, DB 1", true, 1},
      {"MariaDB, DB 2", true, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CloseAllWindows();
    TempSqlite file1(sql1);
    TempSqlite file2(sql2);
    std::string url[2];
    Process::Options options;
    if (c.maria) {
      for (int side = 1; side <= 2; ++side) {
        const std::string database = "vx_export_dropped_" + std::to_string(side);
        CreateMariaDbSchema(server, database, side == 1 ? sql1 : sql2);
        FillServer(side, server.host, server.port, database, server.user, server.password);
        url[side - 1] = "mysql://" + server.user + "@" + server.host + ":" +
                        std::to_string(server.port) + "/" + database;
        options.env["VANTRIX_DB" + std::to_string(side) + "_PASSWORD"] = server.password;
      }
    } else {
      ChooseSQLite(1, file1.path());
      ChooseSQLite(2, file2.path());
      url[0] = file1.path().string();
      url[1] = file2.path().string();
    }
    const auto drop = [&] {
      if (c.maria) {
        RunMariaDbSql(server, "DROP TABLE vx_export_dropped_" + std::to_string(c.dropped) + ".b");
      } else {
        RunSqliteSql(c.dropped == 1 ? file1.path() : file2.path(), "DROP TABLE b");
      }
    };
    Connect(1);
    Connect(2);
    Compare();
    ASSERT_EQ(RowsOf(W().DiffTables), (QStringList{"a | " + kDiffer, "b | " + kOk}));
    ASSERT_TRUE(ExportEntry()->isEnabled());

    drop();
    Compare();
    EXPECT_EQ(RowsOf(W().DiffTables), (QStringList{"a | " + kDiffer, "b | " + kNotChecked}));
    EXPECT_FALSE(ExportEntry()->isEnabled());

    Connect(c.dropped);
    Compare();
    const QStringList rows = c.dropped == 1 ? QStringList{"a | " + kDiffer}
                                            : QStringList{"a | " + kDiffer, "b | " + kMissing};
    EXPECT_EQ(RowsOf(W().DiffTables), rows);
    ASSERT_TRUE(ExportEntry()->isEnabled());
    const Outcome expected =
        RunDiff({"--one-way", "--format", "markdown", url[0], url[1]}, options);
    std::filesystem::remove(dir_.path() / "r.md");
    EXPECT_EQ(Export(dir_.path() / "r.md", "Markdown (*.md)"), expected.out);
    EXPECT_EQ(fake().messages, QStringList());
  }
}

TEST_F(ExportTest, QuitClosesTheProgramWithThePlatformsShortcut) {
  W();
  QAction* quit = ui::MenuBar1::Installed()->FileQuit;
  EXPECT_EQ(quit->shortcut(), QKeySequence(QKeySequence::Quit));
  quit->trigger();
  EXPECT_EQ(fake().quitCodes, std::vector<int>{0});
}

}  // namespace
}  // namespace vantrix::test
