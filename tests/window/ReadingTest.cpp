// The window while an operation reads schemas on its worker thread: it keeps
// answering, refuses to start a second reading, gives the reading up on
// Escape without a trace, and titles an engine's message with its side.
// Against real servers on loopback: the MariaDB and PostgreSQL test servers,
// the cubeSQL test server, and a listener that never answers.
#include <QGuiApplication>
#include <QKeyEvent>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "FakeCubeSqlServer.h"
#include "WindowFixture.h"
#include "support/LoopbackPorts.h"
#include "support/MariaDbTestServer.h"
#include "support/PostgresTestServer.h"
#include "support/TempSqlite.h"
#include "ui/MenuBar1.h"
#include "ui/toolkit/Worker.h"

namespace vantrix::test {
namespace {

const QString kNoServer = QStringLiteral("You have to input an address for the database server");

// Counts what the window handles while it reads: events posted to it and
// the repaints of its content.
class Liveness : public QObject {
public:
  static constexpr QEvent::Type kProbe = QEvent::User;

  explicit Liveness(ui::FinestraPrincipale& window) : window_(window) {
    window_.installEventFilter(this);
    window_.Content->installEventFilter(this);
  }
  ~Liveness() override {
    window_.removeEventFilter(this);
    window_.Content->removeEventFilter(this);
  }
  Liveness(const Liveness&) = delete;
  Liveness& operator=(const Liveness&) = delete;

  int probes = 0;
  int probesWhileReading = 0;
  int paints = 0;
  int paintsWhileReading = 0;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &window_ && event->type() == kProbe) {
      ++probes;
      if (window_.Reading()) ++probesWhileReading;
      return true;
    }
    if (watched == window_.Content && event->type() == QEvent::Paint) {
      ++paints;
      if (window_.Reading()) ++paintsWhileReading;
    }
    return false;
  }

private:
  ui::FinestraPrincipale& window_;
};

class ReadingTest : public WindowTest {
protected:
  void SetUp() override {
    WindowTest::SetUp();
    W().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&W()));
  }
  void Escape() { QTest::keyClick(&W(), Qt::Key_Escape); }
  // The lists' rows (not their selections), to see that nothing changed.
  QList<QStringList> AllRows() {
    return {RowsOf(W().DB1tables), RowsOf(W().DB1fields),  RowsOf(W().DB2tables),
            RowsOf(W().DB2fields), RowsOf(W().DiffTables), RowsOf(W().DiffFields)};
  }
  // The selected rows of the lists that start readings.
  QList<int> Selections() {
    return {W().DB1tables->ListIndex(), W().DB2tables->ListIndex(), W().DiffTables->ListIndex()};
  }
  QList<bool> ReadingControlsEnabled() {
    return {W().BevelButton1->isEnabled(), W().BevelButton2->isEnabled(),
            W().BevelButton3->isEnabled(), W().DB1tables->isEnabled(),
            W().DB2tables->isEnabled(),    W().DiffTables->isEnabled()};
  }
  static bool Busy() {
    const QCursor* cursor = QGuiApplication::overrideCursor();
    return cursor != nullptr && cursor->shape() == Qt::WaitCursor;
  }
  // Lets every worker thread end (their servers have gone) and every end
  // they might hand back arrive.
  static void LetAbandonedWorkersEnd() {
    ASSERT_TRUE(ui::Worker::WaitForThreads(std::chrono::seconds(60)));
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
  }
};

// Where a server engine keeps two databases: A with the table alpha, B with
// beta and gamma.
struct TwoDatabases {
  std::string host = "127.0.0.1";
  int portA = 0;
  int portB = 0;
  std::string databaseA;
  std::string databaseB;
  std::string user;
  std::string password;
  std::shared_ptr<void> servers;  // what must live while they are used
};
const char* const kSqlA = "CREATE TABLE alpha (a INTEGER);";
const char* const kSqlB = "CREATE TABLE beta (b INTEGER); CREATE TABLE gamma (c INTEGER);";

// Connect to a server that accepts the connection and never says a word,
// for each server engine: the window answers throughout, refuses a second
// reading, and Escape ends the wait as if Connect had not been pressed.
// The abandoned reading's own end (the listener goes away) reaches nothing;
// a second Connect, to a real server, works.
TEST_F(ReadingTest, ConnectToAServerThatNeverAnswersCanBeGivenUp) {
  struct Case {
    QString engine;
    std::function<std::optional<TwoDatabases>()> serve;
  };
  const std::vector<Case> cases = {
      {QStringLiteral("Mysql"),
       []() -> std::optional<TwoDatabases> {
         const auto server = TestMariaDb();
         if (!server) return std::nullopt;
         CreateMariaDbSchema(*server, "vx_reading_a", kSqlA);
         CreateMariaDbSchema(*server, "vx_reading_b", kSqlB);
         return TwoDatabases{server->host,   server->port, server->port,     "vx_reading_a",
                             "vx_reading_b", server->user, server->password, nullptr};
       }},
      {QStringLiteral("PostgreSQL"),
       []() -> std::optional<TwoDatabases> {
         const auto server = TestPostgres();
         if (!server) return std::nullopt;
         CreatePostgresDatabase(*server, "vx_reading_a", kSqlA);
         CreatePostgresDatabase(*server, "vx_reading_b", kSqlB);
         return TwoDatabases{server->host,   server->port, server->port,     "vx_reading_a",
                             "vx_reading_b", server->user, server->password, nullptr};
       }},
      {QStringLiteral("CubeSQLserver"),
       []() -> std::optional<TwoDatabases> {
         auto a = std::make_shared<FakeCubeSqlServer>("admin", "s3cret", "music");
         auto b = std::make_shared<FakeCubeSqlServer>("admin", "s3cret", "music");
         a->Execute(kSqlA);
         b->Execute(kSqlB);
         const int portA = a->Port();
         const int portB = b->Port();
         return TwoDatabases{
             "127.0.0.1", portA,
             portB,       "music",
             "music",     "admin",
             "s3cret",    std::make_shared<std::pair<decltype(a), decltype(b)>>(a, b)};
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.engine.toStdString());
    const auto servers = c.serve();
    if (!servers) {
      ADD_FAILURE() << "no test server for " << c.engine.toStdString() << " (run scripts/test)";
      continue;
    }
    CloseAllWindows();
    W().activateWindow();
    FillServer(2, servers->host, servers->portA, servers->databaseA, servers->user,
               servers->password, c.engine);
    Connect(2);
    Pick(Tables(2), 0);
    ASSERT_EQ(RowsOf(Tables(2)), QStringList{"alpha | "});
    ASSERT_EQ(RowsOf(Fields(2)), QStringList{"a | 3-Integer"});
    const QList<QStringList> before = AllRows();

    std::optional<SilentListener> silent(std::in_place);
    Port(2)->setText(QString::number(silent->port()));
    W().BevelButton2->click();
    ASSERT_TRUE(W().Reading());
    ASSERT_TRUE(QTest::qWaitFor([&] { return silent->Accepted() >= 1; }, kReadingTimeoutMs));

    // Waiting on the server, the window shows it is busy and starts no
    // other reading: DB 1's Connect would refuse its empty server field,
    // Compare its empty table list, and say so.
    EXPECT_TRUE(Busy());
    EXPECT_EQ(ReadingControlsEnabled(), QList<bool>(6, false));
    W().BevelButton1->click();
    W().BevelButton3->click();
    QMetaObject::invokeMethod(W().BevelButton1, "clicked");
    QMetaObject::invokeMethod(W().BevelButton3, "clicked");
    EXPECT_EQ(fake().messages, QStringList());

    // It handles what is posted to it and repaints, again and again, all
    // while the reading still waits.
    constexpr int kRounds = 5;
    Liveness live(W());
    for (int round = 1; round <= kRounds; ++round) {
      const int paintsBefore = live.paints;
      QCoreApplication::postEvent(&W(), new QEvent(Liveness::kProbe));
      W().Content->update();
      ASSERT_TRUE(QTest::qWaitFor(
          [&] { return live.probes == round && live.paints > paintsBefore; }, kReadingTimeoutMs))
          << "round " << round;
    }
    EXPECT_EQ(live.probesWhileReading, kRounds);
    EXPECT_GE(live.paintsWhileReading, kRounds);
    EXPECT_TRUE(W().Reading()) << "the server answered: nothing was shown to wait on it";

    Escape();
    EXPECT_FALSE(W().Reading());
    EXPECT_FALSE(Busy());
    EXPECT_EQ(ReadingControlsEnabled(), QList<bool>(6, true));
    EXPECT_EQ(AllRows(), before);
    EXPECT_EQ(fake().messages, QStringList());

    // The listener goes: the abandoned reading fails on its own thread, and
    // its failure is nowhere to be seen.
    silent.reset();
    LetAbandonedWorkersEnd();
    EXPECT_EQ(AllRows(), before);
    EXPECT_EQ(fake().messages, QStringList());

    FillServer(2, servers->host, servers->portB, servers->databaseB, servers->user,
               servers->password, c.engine);
    Connect(2);
    EXPECT_EQ(ColumnOf(Tables(2)), (QStringList{"beta", "gamma"}));
    EXPECT_EQ(fake().messages, QStringList());
  }
}

// Each of the four readings can be given up while a server keeps it
// waiting, and leaves every list as it was, its selection too; the Compare
// given up leaves the export of the Compare before it. Escape with nothing
// to give up does nothing.
TEST_F(ReadingTest, EscapeGivesUpEachReadingAndLeavesTheListsAsTheyWere) {
  TempSqlite sqlite(kSqlB);
  std::optional<FakeCubeSqlServer> cube(std::in_place, "admin", "s3cret", "music");
  cube->Execute(kSqlB);
  ChooseSQLite(1, sqlite.path());
  FillServer(2, "127.0.0.1", cube->Port(), "music", "admin", "s3cret",
             QStringLiteral("CubeSQLserver"));
  Connect(1);
  Connect(2);
  Pick(Tables(2), 0);
  Compare();
  Select(0);
  ASSERT_EQ(RowsOf(W().DiffTables), (QStringList{"beta | " + kOk, "gamma | " + kOk}));
  ASSERT_EQ(RowsOf(W().DiffFields), QStringList{"b | " + kBothOk});
  ASSERT_EQ(fake().messages, QStringList());
  QAction* exportEntry = ui::MenuBar1::Installed()->FileExportReport;
  ASSERT_TRUE(exportEntry->isEnabled());
  const QList<QStringList> before = AllRows();
  const QList<int> selected = {-1, 0, 0};
  ASSERT_EQ(Selections(), selected);

  Escape();
  EXPECT_EQ(AllRows(), before);

  cube->SetBehaviour({.silent = true});
  struct Case {
    const char* reading;
    std::function<void()> start;
  };
  const std::vector<Case> cases = {
      {"Connect", [this] { W().BevelButton2->click(); }},
      {"Compare", [this] { W().BevelButton3->click(); }},
      {"table selection", [this] { Tables(2)->SetListIndex(1); }},
      {"result selection", [this] { W().DiffTables->SetListIndex(1); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reading);
    const int connections = cube->Connections();
    c.start();
    ASSERT_TRUE(W().Reading());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return cube->Connections() > connections; }, kReadingTimeoutMs));
    Escape();
    EXPECT_FALSE(W().Reading());
    EXPECT_EQ(AllRows(), before);
    EXPECT_EQ(Selections(), selected);
    EXPECT_TRUE(exportEntry->isEnabled());
    EXPECT_EQ(fake().messages, QStringList());
  }

  // The server stops: what the abandoned readings find (their connections
  // closed) reaches nothing.
  cube.reset();
  LetAbandonedWorkersEnd();
  EXPECT_EQ(AllRows(), before);
  EXPECT_EQ(fake().messages, QStringList());
}

// Where a message box shows an engine's or a server's own text, its title
// names the side; the program's own texts keep their boxes as they were.
TEST_F(ReadingTest, AnEnginesMessageIsTitledWithItsSide) {
  const int closed = ClosedLoopbackPort();
  TempDir dir;
  const auto file1 = dir.path() / "one.sqlite";
  const auto file2 = dir.path() / "two.sqlite";
  struct Case {
    const char* what;
    std::function<void()> act;
    QStringList titles;
  };
  const auto both = [&] {
    std::filesystem::remove(file1);
    std::filesystem::remove(file2);
    {
      TempSqlite made(kSqlA);
      std::filesystem::copy_file(made.path(), file1);
      std::filesystem::copy_file(made.path(), file2);
    }
    ChooseSQLite(1, file1);
    ChooseSQLite(2, file2);
    Connect(1);
    Connect(2);
    Compare();
    ASSERT_EQ(RowsOf(W().DiffTables), QStringList{"alpha | " + kOk});
    fake().Reset();
  };
  const std::vector<Case> cases = {
      {"Connect, nothing listening",
       [&] {
         FillServer(2, "127.0.0.1", closed, "db", "u", "p");
         Connect(2);
       },
       {"DB 2"}},
      {"Connect, no server named",
       [&] {
         FillServer(1, "", closed, "db", "u", "p");
         Connect(1);
       },
       {""}},
      {"Connect, SQLite without a file",
       [&] {
         ChooseType(1, QStringLiteral("SQLite"), std::nullopt);
         Connect(1);
       },
       {"DB 1"}},
      {"table selection, the file gone",
       [&] {
         both();
         std::filesystem::remove(file2);
         Pick(Tables(2), 0);
       },
       {"DB 2"}},
      {"Compare, DB 1's file gone",
       [&] {
         both();
         std::filesystem::remove(file1);
         Compare();
       },
       {"DB 1"}},
      {"field comparison, both files gone",
       [&] {
         both();
         std::filesystem::remove(file1);
         std::filesystem::remove(file2);
         Select(0);
       },
       {"DB 1", "DB 2"}},
      {"field comparison, DB 2 refused by the input checks",
       [&] {
         both();
         FillServer(2, "", closed, "db", "u", "p");
         Select(0);
       },
       {""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CloseAllWindows();
    c.act();
    EXPECT_EQ(fake().messageTitles, c.titles) << fake().messages.join(" / ").toStdString();
  }
  EXPECT_EQ(fake().messages, QStringList{kNoServer}) << "the last case";
}

}  // namespace
}  // namespace vantrix::test
