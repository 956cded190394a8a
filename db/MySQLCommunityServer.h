#pragma once

#include <functional>

#include "db/Database.h"

struct st_mysql;

namespace vantrix::db {

// MySQL / MariaDB through MariaDB Connector/C. The session only reads: it
// runs SELECTs on the information schema and never changes the database.
class MySQLCommunityServer final : public Database {
public:
  static constexpr int kDefaultPort = 3306;

  MySQLCommunityServer() = default;
  ~MySQLCommunityServer() override;

  bool Connect() override;
  std::unique_ptr<RecordSet> TableSchema() override;
  std::optional<Table> ReadTable(std::string_view table) override;
  // Two statements whatever the number of tables: the table list, then the
  // columns of the whole database.
  std::optional<Schema> WholeSchema() override;
  std::unique_ptr<RowSet> SelectSQL(std::string_view statement) override;
  void Close() override;
  [[nodiscard]] bool IsConnected() const override { return mysql_ != nullptr; }

private:
  std::unique_ptr<RecordSet> Query(std::string_view sql);
  // Runs a statement and hands each row to `row` as it arrives; false on
  // failure.
  bool QueryEach(std::string_view sql, const std::function<void(const Row&)>& row);
  // A string literal for SQL, escaped by the connection's own rules.
  std::string Literal(std::string_view text);

  st_mysql* mysql_ = nullptr;
};

}  // namespace vantrix::db
