#include "db/CubeSQLServer.h"

namespace vantrix::db {
namespace {
constexpr const char* kNotAvailable = "The cubeSQL client is not available yet";
}

CubeSQLServer::~CubeSQLServer() = default;

bool CubeSQLServer::Connect() {
  SetError(kNotAvailable);
  return false;
}

std::unique_ptr<RecordSet> CubeSQLServer::TableSchema() {
  SetError(kNotAvailable);
  return nullptr;
}

std::unique_ptr<RecordSet> CubeSQLServer::FieldSchema(std::string_view /*table*/) {
  SetError(kNotAvailable);
  return nullptr;
}

std::unique_ptr<RowSet> CubeSQLServer::SelectSQL(std::string_view /*statement*/) {
  SetError(kNotAvailable);
  return nullptr;
}

void CubeSQLServer::Close() {}

}  // namespace vantrix::db
