#pragma once

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
  std::unique_ptr<RecordSet> FieldSchema(std::string_view table) override;
  std::unique_ptr<RowSet> SelectSQL(std::string_view statement) override;
  void Close() override;
  [[nodiscard]] bool IsConnected() const override { return mysql_ != nullptr; }

private:
  std::unique_ptr<RecordSet> Query(std::string_view sql);
  // A string literal for SQL, escaped by the connection's own rules.
  std::string Literal(std::string_view text);

  st_mysql* mysql_ = nullptr;
};

}  // namespace vantrix::db
