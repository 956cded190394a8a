// Our cubeSQL client against the test server: login, database choice,
// schema listing, every reply form, and the failures a user can meet.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "FakeCubeSqlServer.h"
#include "db/CubeSQLServer.h"
#include "db/SQLiteDatabase.h"
#include "support/LoopbackPorts.h"
#include "support/RecordSets.h"
#include "support/TempSqlite.h"

namespace vantrix::db {
namespace {

using namespace std::chrono_literals;
using test::ClosedLoopbackPort;
using test::FakeCubeSqlServer;
using Value = std::optional<std::string>;
using Values = std::vector<std::vector<Value>>;

constexpr const char* kUser = "admin";
constexpr const char* kPassword = "pa'ss word";
constexpr const char* kDatabase = "shop";

// A SQL identifier in double quotes.
std::string Ident(const std::string& name) {
  std::string out = "\"";
  for (const char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

using test::Column;

using test::Rows;

class CubeSQLServerTest : public ::testing::Test {
protected:
  CubeSQLServerTest() {
    client.Host = "127.0.0.1";
    client.Port = server.Port();
    client.DatabaseName = kDatabase;
    client.UserName = kUser;
    client.Password = kPassword;
    client.TimeoutSeconds = 1;
  }

  void ConnectOrFail() { ASSERT_TRUE(client.Connect()) << client.ErrorMessage(); }

  FakeCubeSqlServer server{kUser, kPassword, kDatabase};
  CubeSQLServer client;
};

TEST_F(CubeSQLServerTest, LogsInSelectsTheDatabaseAndClosesCleanly) {
  ConnectOrFail();
  EXPECT_TRUE(client.IsConnected());
  EXPECT_TRUE(client.ErrorMessage().empty());

  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].command, 1);
  EXPECT_EQ(requests[0].selector, 20);
  // The user goes as the hex SHA-1 of "admin", NUL-terminated.
  EXPECT_EQ(
      requests[0].fields,
      std::vector<std::string>{std::string("d033e22ae348aeb5660fc2140aec35850c4da997") + '\0'});
  EXPECT_EQ(requests[1].selector, 21);
  EXPECT_EQ(server.Statements(), std::vector<std::string>{"USE DATABASE 'shop';"});

  client.Close();
  EXPECT_FALSE(client.IsConnected());
  EXPECT_EQ(server.Requests().back().command, 7);

  // The same handle connects again, and a second handle may be open beside it,
  // this one reaching the server by name.
  ConnectOrFail();
  CubeSQLServer second;
  second.Host = "localhost";
  second.Port = server.Port();
  second.DatabaseName = kDatabase;
  second.UserName = kUser;
  second.Password = kPassword;
  second.TimeoutSeconds = 1;
  EXPECT_TRUE(second.Connect()) << second.ErrorMessage();
  EXPECT_NE(client.TableSchema(), nullptr) << client.ErrorMessage();
  EXPECT_NE(second.TableSchema(), nullptr) << second.ErrorMessage();
}

TEST_F(CubeSQLServerTest, RefusedLoginsShowTheServersOwnText) {
  struct Case {
    const char* what;
    std::string user;
    std::string password;
    FakeCubeSqlServer::Refusal refusal;
  };
  const std::vector<Case> cases = {
      {"wrong password", kUser, "pa'ss", FakeCubeSqlServer::Refusal::kNone},
      {"empty password", kUser, "", FakeCubeSqlServer::Refusal::kNone},
      {"unknown user", "Admin", kPassword, FakeCubeSqlServer::Refusal::kNone},
      {"refused after step 1", kUser, kPassword, FakeCubeSqlServer::Refusal::kAtStep1},
      {"refused after step 2", kUser, kPassword, FakeCubeSqlServer::Refusal::kAtStep2},
  };
  for (const Case& c : cases) {
    FakeCubeSqlServer::Behaviour behaviour;
    behaviour.refuse = c.refusal;
    server.SetBehaviour(behaviour);
    client.UserName = c.user;
    client.Password = c.password;
    EXPECT_FALSE(client.Connect()) << c.what;
    EXPECT_EQ(client.ErrorMessage(), FakeCubeSqlServer::kLoginRefusedText) << c.what;
    EXPECT_FALSE(client.IsConnected()) << c.what;
    EXPECT_EQ(client.TableSchema(), nullptr) << c.what;
  }
}

TEST_F(CubeSQLServerTest, UnknownDatabaseIsRefusedWithTheNameQuoted) {
  client.DatabaseName = "it's not here";
  EXPECT_FALSE(client.Connect());
  EXPECT_EQ(client.ErrorMessage(), "Database it's not here does not exist.");
  EXPECT_FALSE(client.IsConnected());
  EXPECT_EQ(server.Statements(), std::vector<std::string>{"USE DATABASE 'it''s not here';"});
  // The session was ended politely.
  EXPECT_EQ(server.Requests().back().command, 7);
}

TEST_F(CubeSQLServerTest, NothingListeningIsReportedWithTheAddress) {
  const int port = ClosedLoopbackPort();
  client.Port = port;
  EXPECT_FALSE(client.Connect());
  EXPECT_EQ(client.ErrorMessage(), "Could not connect to the cubeSQL server at 127.0.0.1:" +
                                       std::to_string(port) + ": Connection refused");
  EXPECT_FALSE(client.IsConnected());
}

TEST_F(CubeSQLServerTest, SilentServerTimesOut) {
  FakeCubeSqlServer::Behaviour behaviour;
  behaviour.silent = true;
  server.SetBehaviour(behaviour);
  EXPECT_FALSE(client.Connect());
  EXPECT_EQ(client.ErrorMessage(), "The cubeSQL server did not answer within 1 second");
  EXPECT_FALSE(client.IsConnected());
}

TEST_F(CubeSQLServerTest, CallsBeforeConnectingFail) {
  EXPECT_EQ(client.TableSchema(), nullptr);
  EXPECT_EQ(client.ErrorMessage(), "The database is not connected");
  EXPECT_EQ(client.FieldSchema("t"), nullptr);
  EXPECT_EQ(client.SelectSQL("SELECT 1"), nullptr);
  client.Close();
  EXPECT_FALSE(client.IsConnected());
}

TEST_F(CubeSQLServerTest, ListsTablesAndViewsInSchemaOrderWithoutInternalTables) {
  server.Execute(
      "CREATE TABLE zebra (id INTEGER PRIMARY KEY AUTOINCREMENT);"
      "CREATE TABLE cubesql_settings (k TEXT);"
      "CREATE TABLE apple (id INTEGER);"
      "CREATE INDEX apple_id ON apple(id);"
      "CREATE VIEW middle AS SELECT id FROM apple;"
      "CREATE TABLE cubesqlish (x);"
      "INSERT INTO zebra DEFAULT VALUES;");
  ConnectOrFail();
  auto tables = client.TableSchema();
  ASSERT_NE(tables, nullptr) << client.ErrorMessage();
  EXPECT_EQ(Column(*tables, 1),
            (std::vector<std::string>{"zebra", "apple", "middle", "cubesqlish"}));
}

// Every column's name, type code, declared type, NOT NULL and primary key
// flags and default, for the same declarations read through cubeSQL and through the
// SQLite engine (cubeSQL is SQLite inside, so both must agree with the
// codes of the type table).
TEST_F(CubeSQLServerTest, FieldTypesMatchTheSQLiteEngineForTheSameDeclarations) {
  const std::string sql =
      "CREATE TABLE things (id INTEGER PRIMARY KEY, code varchar(20) NOT NULL DEFAULT 'none', "
      "flag bool DEFAULT 1, small tinyint(1), tiny tinyint, amount decimal(10,2), ratio real, "
      "weight double precision, born date, at datetime, noon time, note text, "
      "big bigint, body blob, raw, loose NUMERIC, n nvarchar(40), c char(3), "
      "k1 int NOT NULL, k2 text);"
      "CREATE TABLE pairs (k1 int NOT NULL, k2 text, v, PRIMARY KEY (k1, k2));";
  // name, type code, declared type, NOT NULL, part of the primary key,
  // default as declared (none for no default).
  // SQLite writes its own type names (INT, INTEGER, REAL, TEXT, BLOB) in
  // capitals and every other declaration as it was written. "id" is the
  // rowid under another name, which is never NULL.
  const test::RowValues things = {
      {"id", "3", "INTEGER", "1", "1", std::nullopt},
      {"code", "5", "varchar(20)", "1", "0", "'none'"},
      {"flag", "12", "bool", "0", "0", "1"},
      {"small", "12", "tinyint(1)", "0", "0", std::nullopt},
      {"tiny", "1", "tinyint", "0", "0", std::nullopt},
      {"amount", "13", "decimal(10,2)", "0", "0", std::nullopt},
      {"ratio", "7", "REAL", "0", "0", std::nullopt},
      {"weight", "7", "double precision", "0", "0", std::nullopt},
      {"born", "8", "date", "0", "0", std::nullopt},
      {"at", "10", "datetime", "0", "0", std::nullopt},
      {"noon", "9", "time", "0", "0", std::nullopt},
      {"note", "5", "TEXT", "0", "0", std::nullopt},
      {"big", "19", "bigint", "0", "0", std::nullopt},
      {"body", "16", "BLOB", "0", "0", std::nullopt},
      {"raw", "0", "", "0", "0", std::nullopt},
      {"loose", "13", "NUMERIC", "0", "0", std::nullopt},
      {"n", "5", "nvarchar(40)", "0", "0", std::nullopt},
      {"c", "4", "char(3)", "0", "0", std::nullopt},
      {"k1", "3", "INT", "1", "0", std::nullopt},
      {"k2", "5", "TEXT", "0", "0", std::nullopt},
  };
  const test::RowValues pairs = {
      {"k1", "3", "INT", "1", "1", std::nullopt},
      {"k2", "5", "TEXT", "0", "1", std::nullopt},
      {"v", "0", "", "0", "0", std::nullopt},
  };
  server.Execute(sql);
  test::TempSqlite file(sql);
  SQLiteDatabase sqlite;
  sqlite.DatabaseFile = file.path();
  ASSERT_TRUE(sqlite.Connect()) << sqlite.ErrorMessage();
  ConnectOrFail();

  for (const auto& [name, expected] : {std::pair{"things", things}, std::pair{"pairs", pairs}}) {
    SCOPED_TRACE(name);
    for (Database* engine : {static_cast<Database*>(&client), static_cast<Database*>(&sqlite)}) {
      auto fields = engine->FieldSchema(name);
      ASSERT_NE(fields, nullptr) << engine->ErrorMessage();
      EXPECT_EQ(fields->ColumnNames(),
                (std::vector<std::string>{"ColumnName", "FieldType", "DeclaredType", "NotNull",
                                          "PrimaryKey", "Default"}));
      EXPECT_EQ(Rows(*fields), expected) << (engine == &client ? "cubeSQL" : "SQLite");
    }
  }
}

TEST_F(CubeSQLServerTest, OddTableNamesAreQuotedProperly) {
  const std::vector<std::string> names = {
      "it's", "two words", "select", "Ünïcødé 表", "1st", "say \"hi\"", "a'); DROP TABLE x; --"};
  for (const std::string& name : names) {
    server.Execute("CREATE TABLE " + Ident(name) + " (" + Ident(name + " col") + " text);");
  }
  ConnectOrFail();
  auto tables = client.TableSchema();
  ASSERT_NE(tables, nullptr) << client.ErrorMessage();
  EXPECT_EQ(Column(*tables, 1), names);
  for (const std::string& name : names) {
    auto fields = client.FieldSchema(name);
    ASSERT_NE(fields, nullptr) << name << ": " << client.ErrorMessage();
    EXPECT_EQ(Column(*fields, kFieldName), std::vector<std::string>{name + " col"}) << name;
  }
}

TEST_F(CubeSQLServerTest, UnknownTableGivesAnEmptyFieldList) {
  ConnectOrFail();
  for (const std::string& name :
       std::vector<std::string>{"missing", "", std::string("nul\0inside", 10)}) {
    auto fields = client.FieldSchema(name);
    ASSERT_NE(fields, nullptr) << client.ErrorMessage();
    EXPECT_EQ(fields->RecordCount(), 0u);
    EXPECT_TRUE(fields->IsEOF());
  }
  EXPECT_TRUE(client.IsConnected());
}

TEST_F(CubeSQLServerTest, ReadsEveryReplyForm) {
  server.Execute(
      "CREATE TABLE sample (id INTEGER, name TEXT, price REAL, data BLOB);"
      "INSERT INTO sample VALUES (1, 'alpha', 2.5, x'00ff00'), (2, NULL, -1, NULL),"
      " (3, '', 0, x'41'), (-9223372036854775808, 'Grüße', 1e300, NULL),"
      " (9223372036854775807, 'x''y', NULL, x'0000'), (6, 'six', 6, NULL),"
      " (7, 'seven', 7, NULL);");
  const Values expected = {
      {"1", "alpha", "2.5", std::string("\0\xff\0", 3)},
      {"2", std::nullopt, "-1.0", std::nullopt},
      {"3", "", "0.0", "A"},
      {"-9223372036854775808", "Grüße", "1.0e+300", std::nullopt},
      {"9223372036854775807", "x'y", std::nullopt, std::string("\0\0", 2)},
      {"6", "six", "6.0", std::nullopt},
      {"7", "seven", "7.0", std::nullopt},
  };
  struct Case {
    const char* what;
    FakeCubeSqlServer::Behaviour behaviour;
    int acks;
  };
  using B = FakeCubeSqlServer::Behaviour;
  const std::vector<Case> cases = {
      {"plain", B{}, 0},
      {"compressed", B{.compress = true}, 0},
      {"chunks of 2 rows", B{.chunkRows = 2}, 4},
      {"chunks of 1 row, compressed", B{.compress = true, .chunkRows = 1}, 7},
      {"chunks larger than the result", B{.chunkRows = 100}, 1},
      {"rowid column", B{.rowidColumn = true}, 0},
      {"table names", B{.tableNames = true}, 0},
      {"everything at once",
       B{.compress = true, .chunkRows = 3, .rowidColumn = true, .tableNames = true}, 3},
  };
  ConnectOrFail();
  for (const Case& c : cases) {
    server.SetBehaviour(c.behaviour);
    const int acksBefore = server.ChunkAcks();
    auto rows = client.SelectSQL("SELECT id, name, price, data FROM sample ORDER BY rowid");
    ASSERT_NE(rows, nullptr) << c.what << ": " << client.ErrorMessage();
    EXPECT_EQ(rows->ColumnCount(), 4) << c.what;
    ASSERT_EQ(rows->RowCount(), expected.size()) << c.what;
    Values got;
    for (; !rows->AfterLastRow(); rows->MoveToNextRow()) {
      std::vector<Value> row;
      for (int i = 0; i < rows->ColumnCount(); ++i) row.push_back(rows->ColumnAt(i).Value());
      got.push_back(row);
    }
    EXPECT_EQ(got, expected) << c.what;
    EXPECT_EQ(server.ChunkAcks() - acksBefore, c.acks) << c.what;
    // Empty results in the same form.
    auto none = client.SelectSQL("SELECT id FROM sample WHERE id = 42");
    ASSERT_NE(none, nullptr) << c.what << ": " << client.ErrorMessage();
    EXPECT_TRUE(none->AfterLastRow()) << c.what;
  }
}

TEST_F(CubeSQLServerTest, SqlErrorsKeepTheConnection) {
  ConnectOrFail();
  EXPECT_EQ(client.SelectSQL("SELECT nope FROM nowhere"), nullptr);
  EXPECT_EQ(client.ErrorMessage(), "no such table: nowhere");
  EXPECT_TRUE(client.IsConnected());
  auto rows = client.SelectSQL("SELECT 'still here'");
  ASSERT_NE(rows, nullptr) << client.ErrorMessage();
  EXPECT_EQ(rows->ColumnAt(0).StringValue(), "still here");
}

TEST_F(CubeSQLServerTest, BrokenRepliesFailCleanlyAndDropTheConnection) {
  using Garbage = FakeCubeSqlServer::Garbage;
  struct Case {
    Garbage garbage;
    std::string message;
  };
  const std::vector<Case> cases = {
      {Garbage::kBadSignature,
       "The cubeSQL server sent a reply that is not valid (wrong signature)"},
      {Garbage::kImpossibleLength,
       "The cubeSQL server sent a reply that is not valid (a body of 4294967280 bytes)"},
      {Garbage::kTruncatedBody, "The cubeSQL server closed the connection"},
  };
  for (const Case& c : cases) {
    // During a query...
    server.SetBehaviour({});
    ConnectOrFail();
    FakeCubeSqlServer::Behaviour behaviour;
    behaviour.garbage = c.garbage;
    server.SetBehaviour(behaviour);
    EXPECT_EQ(client.SelectSQL("SELECT 1"), nullptr);
    EXPECT_EQ(client.ErrorMessage(), c.message);
    EXPECT_FALSE(client.IsConnected());
    EXPECT_EQ(client.TableSchema(), nullptr);
    // ...and during the login.
    EXPECT_FALSE(client.Connect());
    EXPECT_EQ(client.ErrorMessage(), c.message);
    EXPECT_FALSE(client.IsConnected());
  }
}

// A clock for the client that runs with the real one and can also be moved
// forward at once.
class MovableClock {
public:
  void Advance(std::chrono::milliseconds by) { offset_ += by.count(); }
  [[nodiscard]] CubeSQLServer::Clock::time_point Now() const {
    return CubeSQLServer::Clock::now() + std::chrono::milliseconds(offset_.load());
  }

private:
  std::atomic<std::int64_t> offset_{0};
};

TEST_F(CubeSQLServerTest, OneDeadlineCoversAWholeQueryHoweverManyChunksArrive) {
  struct Case {
    const char* what;
    int timeoutSeconds;
    int dripMilliseconds;
    std::chrono::milliseconds clockStepPerChunk;
    std::string message;
    int mostChunks;
  };
  const std::vector<Case> cases = {
      // Each chunk costs 1.5 s on the client's clock: a 2 s deadline is over
      // by the second one.
      {"a chunk every 1.5 s, on the moved clock", 2, 1, 1500ms,
       "The cubeSQL server did not answer within 2 seconds", 2},
      // The same in real time, with a chunk every 300 ms and a 1 s deadline.
      // A timeout for each reply alone would let every chunk through, and the
      // query would end in success.
      {"a chunk every 300 ms in real time", 1, 300, 0ms,
       "The cubeSQL server did not answer within 1 second", FakeCubeSqlServer::kMaxDrips - 1},
  };
  for (const Case& c : cases) {
    auto clock = std::make_shared<MovableClock>();
    client.SetClock([clock] { return clock->Now(); });
    client.TimeoutSeconds = c.timeoutSeconds;
    server.SetBehaviour({});
    ConnectOrFail();
    const int dripsBefore = server.Drips();

    FakeCubeSqlServer::Behaviour dripping;
    dripping.dripMilliseconds = c.dripMilliseconds;
    dripping.beforeDrip = [clock, step = c.clockStepPerChunk] { clock->Advance(step); };
    server.SetBehaviour(dripping);
    EXPECT_EQ(client.SelectSQL("SELECT 1"), nullptr) << c.what;
    EXPECT_EQ(client.ErrorMessage(), c.message) << c.what;
    EXPECT_FALSE(client.IsConnected()) << c.what;
    EXPECT_LE(server.Drips() - dripsBefore, c.mostChunks) << c.what;
  }
}

TEST_F(CubeSQLServerTest, ASlowNameLookupEndsAtTheConnectDeadline) {
  // A lookup that hangs until the test opens its gate (or, should the client
  // wait for it regardless, for 10 s), then finds the test server. It
  // outlives the Connect that started it.
  struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    bool returned = false;
  };
  auto gate = std::make_shared<Gate>();
  client.Host = "slow.example";
  client.SetLookup([gate](const std::string&, int port) {
    {
      std::unique_lock lock(gate->mutex);
      gate->changed.wait_for(lock, 10s, [&] { return gate->open; });
    }
    auto found = CubeSQLServer::SystemLookup("127.0.0.1", port);
    std::lock_guard lock(gate->mutex);
    gate->returned = true;
    gate->changed.notify_all();
    return found;
  });

  EXPECT_FALSE(client.Connect());
  EXPECT_EQ(client.ErrorMessage(),
            "Could not find the cubeSQL server \"slow.example\" within 1 second");
  EXPECT_FALSE(client.IsConnected());
  EXPECT_TRUE(server.Requests().empty());

  // The abandoned lookup finishes after all; its result goes nowhere.
  {
    std::unique_lock lock(gate->mutex);
    gate->open = true;
    gate->changed.notify_all();
    gate->changed.wait(lock, [&] { return gate->returned; });
  }
  // The same handle connects with a lookup that now answers at once.
  ConnectOrFail();
  EXPECT_EQ(server.Statements(), std::vector<std::string>{"USE DATABASE 'shop';"});
}

TEST_F(CubeSQLServerTest, AColumnBombIsRefusedAndTheConnectionDropped) {
  // Making the bomb takes the fake server a while on a busy machine; the
  // refusal must not depend on it.
  client.TimeoutSeconds = 60;
  ConnectOrFail();
  // 60 MB of column types and empty names, compressed to about 60 KB.
  server.SetBehaviour({.columnBomb = 12'000'000});
  EXPECT_EQ(client.SelectSQL("SELECT 1"), nullptr);
  EXPECT_EQ(client.ErrorMessage(),
            "The cubeSQL server sent a reply that is not valid (a result of 12000000 columns, "
            "more than the 32767 a result can have)");
  EXPECT_FALSE(client.IsConnected());
}

}  // namespace
}  // namespace vantrix::db
