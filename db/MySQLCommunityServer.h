#pragma once

#include <chrono>
#include <functional>
#include <optional>

#include "db/Database.h"

struct st_mysql;

namespace vantrix::db {

// MySQL / MariaDB through MariaDB Connector/C. The session only reads: it
// runs SELECTs on the information schema and never changes the database,
// unless it was made Writable for a scratch database.
//
// The client library is used in its non-blocking mode, so that one
// deadline of TimeoutSeconds covers the connection and login together, and
// then each statement with all its rows: a server that answers one byte at
// a time cannot hold the program for longer.
class MySQLCommunityServer final : public Database {
public:
  static constexpr int kDefaultPort = 3306;

  MySQLCommunityServer() = default;
  ~MySQLCommunityServer() override;

  // From how many tables a whole database's references are read from
  // InnoDB's dictionary rather than the standard tables. The dictionary
  // costs about a millisecond for each thousand references on the server,
  // whatever database they are in, and holds back other sessions while it
  // is read; the standard tables cost about 45 ms for each thousand tables
  // of this database. Measured on a server holding 15,000 references, they
  // cost the same at a thousand tables.
  std::size_t DictionaryFromTables = 1000;

  bool Connect() override;
  std::unique_ptr<RecordSet> TableSchema() override;
  std::optional<Table> ReadTable(std::string_view table,
                                       Detail detail = Detail::kColumns) override;
  // Three statements whatever the number of tables: the table list, the
  // columns of the whole database, and the primary keys' columns. The whole
  // structure takes seven: the table list, the columns with their defaults,
  // and the indexes, references, checks, views and triggers of the
  // database; references take two more where InnoDB's dictionary does not
  // serve (see ReadDictionaryReferences).
  std::optional<Schema> WholeSchema(Detail detail = Detail::kColumns) override;
  std::unique_ptr<RowSet> SelectSQL(std::string_view statement) override;
  bool ExecuteSQL(std::string_view statement) override;
  void Close() override;
  [[nodiscard]] bool IsConnected() const override { return mysql_ != nullptr; }

private:
  std::unique_ptr<RecordSet> Query(std::string_view sql);
  // Runs a statement and hands each row to `row` as it arrives, after
  // putting the result's column names in `names` when asked; false on
  // failure.
  bool QueryEach(std::string_view sql, const std::function<void(const Row&)>& row,
                 std::vector<std::string>* names = nullptr);
  // Adds the keys, indexes, references, checks, views and triggers of the
  // tables in `schema` (MySqlStructure.cpp), in at most seven statements;
  // `where` gives the condition that picks the tables, from the names of
  // the columns holding a row's database and table; `wholeDatabase` when
  // the schema holds every table of the database.
  using TableCondition = std::function<std::string(std::string_view, std::string_view)>;
  bool ReadStructure(Schema& schema, const TableCondition& where, bool wholeDatabase);
  using TableLookup = std::function<Table*(const std::string&)>;
  bool ReadStandardReferences(const TableCondition& where, const TableLookup& tableNamed);
  std::optional<bool> ReadDictionaryReferences(Schema& schema, const TableLookup& tableNamed);
  // A string literal for SQL, escaped by the connection's own rules.
  std::string Literal(std::string_view text);
  // The database read, for information_schema conditions: as a literal,
  // which lets the server look into that database alone, where DATABASE()
  // has it scan them all.
  std::string ThisDatabase();
  // Drives a non-blocking call from its start's status to its end; false
  // when the deadline passes first or waiting fails, with the socket shut
  // (see Abandon): the caller then closes the connection.
  bool Await(int status, const std::function<int(int)>& resume,
             std::chrono::steady_clock::time_point deadline);
  [[nodiscard]] std::chrono::steady_clock::time_point Deadline() const;
  // Shuts the connection's socket, so that nothing more waits on the
  // server.
  void Abandon();

  st_mysql* mysql_ = nullptr;
  // MariaDB, rather than MySQL: they write defaults differently, and only
  // MariaDB names the table of a check in the information schema.
  bool mariaDb_ = true;
  // MariaDB 10.1.2 or later, which sets a variable for one statement
  // (SET STATEMENT ... FOR).
  bool statementVariables_ = false;
};

}  // namespace vantrix::db
