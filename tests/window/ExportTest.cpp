// File > Export Report… in the main window: enabled only after a Compare
// that read both sides, it saves, without connecting again, the same report
// that vantrix-diff --one-way writes for the pair, in the format the file's
// name asks for, never over a file without asking, and never half written;
// and File > Quit.
#include <QAction>
#include <QKeySequence>

#include <fstream>
#include <map>
#include <set>

#include "Process.h"
#include "WindowFixture.h"
#include "support/MariaDbTestServer.h"
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

  // Cancelling the dialog writes nothing; a folder that is not there is
  // named with the reason.
  ExportEntry()->trigger();
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

// A server side is named by host, port and database, never by its password,
// exactly as vantrix-diff names it; no connection is made for the export.
TEST_F(ExportTest, AMariaDbSideIsNamedLikeVantrixDiffNamesIt) {
  VANTRIX_REQUIRE_MARIADB(server);
  CreateMariaDbSchema(server, "vx_export_2",
                      "CREATE TABLE users (Id INT, Name TEXT, Email VARCHAR(20));");
  TempSqlite db1(kDb1Sql);
  ChooseSQLite(1, db1.path());
  FillServer(2, server.host, server.port, "vx_export_2", server.user, server.password);
  Connect(1);
  Connect(2);
  Compare();
  ASSERT_TRUE(ExportEntry()->isEnabled());
  // The server goes away: the export needs nothing from it.
  Port(2)->setText(QStringLiteral("1"));
  const std::string written = Export(dir_.path() / "r.json", "JSON (*.json)");
  Process::Options options;
  options.env["VANTRIX_DB2_PASSWORD"] = server.password;
  const Outcome expected = RunDiff({"--one-way", "--format", "json", db1.path().string(),
                                    "mysql://" + server.user + "@" + server.host + ":" +
                                        std::to_string(server.port) + "/vx_export_2"},
                                   options);
  EXPECT_EQ(written, expected.out);
  EXPECT_EQ(written.find(server.password), std::string::npos);
  EXPECT_EQ(fake().messages, QStringList());
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
