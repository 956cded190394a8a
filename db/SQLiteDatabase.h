#pragma once

#include <functional>

#include "db/Database.h"

struct sqlite3;
struct sqlite3_stmt;

namespace vantrix::db {

// SQLite through its C API. The file is opened where it lies, read-only and
// never created, so comparing can never change it.
// What `path` is when it is something SQLite must not open: "a folder",
// "a named pipe", "a device" or "a socket"; nullptr for a file (or
// nothing).
const char* NotAFile(const std::filesystem::path& path);

// Sets SQLite up for this program, once, before its first use: without
// memory statistics, which take one lock for all threads at every
// allocation (two schemas read at once wait on each other for it). Every
// part of the program that opens SQLite calls it first.
void PrepareSqlite();

class SQLiteDatabase final : public Database {
public:
  SQLiteDatabase() = default;
  ~SQLiteDatabase() override;

  bool Connect() override;
  std::unique_ptr<RecordSet> TableSchema() override;
  std::optional<Table> ReadTable(std::string_view table,
                                       Detail detail = Detail::kColumns) override;
  // One statement over the schema table and the fields of every table; when
  // it fails (a view naming a dropped table fails it), table by table.
  std::optional<Schema> WholeSchema(Detail detail = Detail::kColumns) override;
  std::unique_ptr<RowSet> SelectSQL(std::string_view statement) override;
  void Close() override;
  [[nodiscard]] bool IsConnected() const override { return db_ != nullptr; }

private:
  // The structure beyond the fields (see SqliteStructure.h), of every table
  // or of the one named by a quoted literal.
  bool ReadStructure(Schema& schema, const std::optional<std::string>& onlyTable);
  // Runs one statement with text parameters and reads every row.
  std::unique_ptr<RecordSet> Query(std::string_view sql, const std::vector<std::string>& params);
  // Runs one statement and hands each row, as it is stepped, to `row`;
  // `prepared`, if given, sees the statement once before the first step.
  bool QueryEach(std::string_view sql, const std::vector<std::string>& params,
                 const std::function<void(sqlite3_stmt*)>& row,
                 const std::function<void(sqlite3_stmt*)>& prepared = {});
  static DatabaseField Value(sqlite3_stmt* stmt, int column);

  // The result code of the last failed statement.
  int lastCode_ = 0;
  sqlite3* db_ = nullptr;
};

}  // namespace vantrix::db
