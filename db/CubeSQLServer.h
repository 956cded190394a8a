#pragma once

#include "db/Database.h"

namespace vantrix::db {

// A cubeSQL server, reached over its binary protocol on TCP.
class CubeSQLServer final : public Database {
public:
  static constexpr int kDefaultPort = 4430;

  CubeSQLServer() = default;
  ~CubeSQLServer() override;

  bool Connect() override;
  std::unique_ptr<RecordSet> TableSchema() override;
  std::unique_ptr<RecordSet> FieldSchema(std::string_view table) override;
  std::unique_ptr<RowSet> SelectSQL(std::string_view statement) override;
  void Close() override;
  [[nodiscard]] bool IsConnected() const override { return false; }
};

}  // namespace vantrix::db
