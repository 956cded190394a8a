// File > Export Report… in the main window: enabled only after a Compare
// that read both sides, it saves, without connecting again, the same report
// that vantrix-diff --one-way writes for the pair; and File > Quit.
#include <QAction>
#include <QKeySequence>

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

  // The file type chosen decides the format, whatever the name says.
  const std::string json = Export(dir_.path() / "named.html", "JSON (*.json)");
  EXPECT_EQ(json.substr(0, 1), "{");

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
