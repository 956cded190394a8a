#include "db/MySQLCommunityServer.h"

#include <mysql.h>

#include "db/TypeCodes.h"

namespace vantrix::db {

MySQLCommunityServer::~MySQLCommunityServer() { Close(); }

bool MySQLCommunityServer::Connect() {
  Close();
  ClearError();
  MYSQL* mysql = mysql_init(nullptr);
  if (!mysql) {
    SetError("Out of memory while preparing the MySQL connection");
    return false;
  }
  const unsigned int timeout = static_cast<unsigned int>(TimeoutSeconds > 0 ? TimeoutSeconds : 10);
  mysql_optionsv(mysql, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
  mysql_optionsv(mysql, MYSQL_OPT_READ_TIMEOUT, &timeout);
  mysql_optionsv(mysql, MYSQL_OPT_WRITE_TIMEOUT, &timeout);
  mysql_optionsv(mysql, MYSQL_SET_CHARSET_NAME, "utf8mb4");
  // Always TCP, so that the port counts even for "localhost".
  const unsigned int protocol = MYSQL_PROTOCOL_TCP;
  mysql_optionsv(mysql, MYSQL_OPT_PROTOCOL, &protocol);

  const unsigned int port = static_cast<unsigned int>(Port > 0 ? Port : kDefaultPort);
  if (!mysql_real_connect(mysql, Host.c_str(), UserName.c_str(), Password.c_str(),
                          DatabaseName.c_str(), port, nullptr, 0)) {
    SetError(mysql_error(mysql));
    mysql_close(mysql);
    return false;
  }
  mysql_ = mysql;
  // This program only reads schemas; a read-only session makes sure of it.
  // Servers that do not know the statement still work, so its result is not
  // checked.
  static constexpr std::string_view kReadOnly = "SET SESSION TRANSACTION READ ONLY";
  mysql_real_query(mysql_, kReadOnly.data(), kReadOnly.size());
  return true;
}

std::string MySQLCommunityServer::Literal(std::string_view text) {
  std::string escaped(text.size() * 2 + 1, '\0');
  const unsigned long length =
      mysql_real_escape_string(mysql_, escaped.data(), text.data(), text.size());
  escaped.resize(length);
  return "'" + escaped + "'";
}

// By name; names that differ only in letter case (two tables on servers
// that tell them apart) come in a fixed order.
std::unique_ptr<RecordSet> MySQLCommunityServer::TableSchema() {
  return Query(
      "SELECT TABLE_NAME FROM information_schema.TABLES "
      "WHERE TABLE_SCHEMA = DATABASE() ORDER BY TABLE_NAME, BINARY TABLE_NAME");
}

std::unique_ptr<RecordSet> MySQLCommunityServer::FieldSchema(std::string_view table) {
  if (!mysql_) {
    SetError("The database is not connected");
    return nullptr;
  }
  // The information schema compares names without case; BINARY keeps
  // "Users" and "users" apart on servers where they are two tables.
  auto info = Query(
      "SELECT COLUMN_NAME, COLUMN_TYPE, IS_NULLABLE, COLUMN_KEY FROM information_schema.COLUMNS "
      "WHERE TABLE_SCHEMA = DATABASE() AND BINARY TABLE_NAME = BINARY " +
      Literal(table) + " ORDER BY ORDINAL_POSITION");
  if (!info) return nullptr;
  std::vector<Row> rows;
  rows.reserve(info->RecordCount());
  for (const Row& r : info->Rows()) {
    const std::string declared = r[1].StringValue();
    rows.push_back(Row{r[0], DatabaseField(std::to_string(TypeCodeForDeclaredType(declared))),
                       DatabaseField(declared),
                       DatabaseField(r[2].StringValue() == "NO" ? "1" : "0"),
                       DatabaseField(r[3].StringValue() == "PRI" ? "1" : "0")});
  }
  return std::make_unique<RecordSet>(
      std::vector<std::string>{"ColumnName", "FieldType", "DeclaredType", "NotNull", "PrimaryKey"},
      std::move(rows));
}

std::unique_ptr<RowSet> MySQLCommunityServer::SelectSQL(std::string_view statement) {
  auto records = Query(statement);
  if (!records) return nullptr;
  return std::make_unique<RowSet>(std::move(*records));
}

std::unique_ptr<RecordSet> MySQLCommunityServer::Query(std::string_view sql) {
  if (!mysql_) {
    SetError("The database is not connected");
    return nullptr;
  }
  if (mysql_real_query(mysql_, sql.data(), sql.size()) != 0) {
    SetError(mysql_error(mysql_));
    return nullptr;
  }
  MYSQL_RES* result = mysql_store_result(mysql_);
  if (!result) {
    if (mysql_field_count(mysql_) != 0) {
      SetError(mysql_error(mysql_));
      return nullptr;
    }
    return std::make_unique<RecordSet>();
  }
  const unsigned int columns = mysql_num_fields(result);
  std::vector<std::string> names;
  MYSQL_FIELD* fields = mysql_fetch_fields(result);
  for (unsigned int c = 0; c < columns; ++c) names.emplace_back(fields[c].name ? fields[c].name : "");
  std::vector<Row> rows;
  rows.reserve(mysql_num_rows(result));
  while (MYSQL_ROW values = mysql_fetch_row(result)) {
    const unsigned long* lengths = mysql_fetch_lengths(result);
    Row row;
    row.reserve(columns);
    for (unsigned int c = 0; c < columns; ++c) {
      if (values[c] == nullptr) {
        row.emplace_back();
      } else {
        row.emplace_back(std::string(values[c], lengths[c]));
      }
    }
    rows.push_back(std::move(row));
  }
  mysql_free_result(result);
  return std::make_unique<RecordSet>(std::move(names), std::move(rows));
}

void MySQLCommunityServer::Close() {
  if (mysql_) {
    mysql_close(mysql_);
    mysql_ = nullptr;
  }
}

}  // namespace vantrix::db
