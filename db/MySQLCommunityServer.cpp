#include "db/MySQLCommunityServer.h"

#include <errmsg.h>
#include <mysql.h>

#include <unordered_map>

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

  // The login methods allowed: only those that prove the password without
  // sending it, so that neither the server nor anything posing as it ever
  // receives the password as typed. mysql_native_password answers a
  // challenge with a SHA-1 scramble, client_ed25519 with a signature.
  // Left out: mysql_clear_password and dialog, which send the password
  // itself, and sha256_password and caching_sha2_password, which send it
  // whenever the server asks for a full login: in clear inside TLS, or over
  // plain TCP encrypted with an RSA key that the other end hands over, so an
  // impostor reads it either way (the certificate is not verified, below).
  // caching_sha2_password would even send it in clear over plain TCP when TLS
  // is wanted but the server offers none. Accounts that use those methods
  // (the default of MySQL 8) need mysql_native_password to be reached from
  // here. The first answer uses mysql_native_password whatever the server's
  // greeting proposes, so that such accounts work on a MySQL 8 server too;
  // the server asks for another method if the account has one.
  static constexpr const char* kAllowedLogins = "mysql_native_password,client_ed25519";
  static constexpr const char* kFirstLogin = "mysql_native_password";
  // TLS whenever the server offers it, plain TCP when it does not. The
  // server's certificate is not verified: users reach their own servers by
  // address, usually with self-signed certificates, and the login methods
  // above keep the password from a server that is not the one meant.
  const my_bool useTls = 1;
  const my_bool verifyCertificate = 0;
  if (mysql_optionsv(mysql, MARIADB_OPT_RESTRICTED_AUTH, kAllowedLogins) != 0 ||
      mysql_optionsv(mysql, MYSQL_DEFAULT_AUTH, kFirstLogin) != 0 ||
      mysql_optionsv(mysql, MYSQL_OPT_SSL_ENFORCE, &useTls) != 0 ||
      mysql_optionsv(mysql, MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &verifyCertificate) != 0) {
    SetError(
        "The MariaDB client library cannot restrict the login methods, so no connection is made");
    mysql_close(mysql);
    return false;
  }

  const unsigned int port = static_cast<unsigned int>(Port > 0 ? Port : kDefaultPort);
  if (!mysql_real_connect(mysql, Host.c_str(), UserName.c_str(), Password.c_str(),
                          DatabaseName.c_str(), port, nullptr, 0)) {
    // The library names the refused method unreliably after a switch, so the
    // refusal is told in words of our own.
    SetError(mysql_errno(mysql) == CR_PLUGIN_NOT_ALLOWED
                 ? "The MySQL server asked for a login method that would reveal the password; "
                   "this program only logs in with mysql_native_password or client_ed25519"
                 : mysql_error(mysql));
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

namespace {

// A column from COLUMN_NAME, COLUMN_TYPE, IS_NULLABLE, COLUMN_KEY.
Column ColumnOf(const Row& r, std::size_t first) {
  const std::string declared = r[first + 1].StringValue();
  return Column{r[first].StringValue(), TypeCodeForDeclaredType(declared, TypeRules::kServer),
                declared, r[first + 2].StringValue() == "NO", r[first + 3].StringValue() == "PRI"};
}

// The server lists the table but gives none of its fields: a view whose
// tables are gone (the server only warns about it), or fields this account
// may not see.
std::string NoFieldsMessage(std::string_view table) {
  return "The server gives no fields for \"" + std::string(table) + "\"";
}

}  // namespace

std::optional<Table> MySQLCommunityServer::ReadTable(std::string_view table) {
  if (!mysql_) {
    SetError("The database is not connected");
    return std::nullopt;
  }
  // The information schema compares names without case; the plain equality
  // lets the server open only the named table, and BINARY then keeps
  // "Users" and "users" apart on servers where they are two tables.
  const std::string name = Literal(table);
  const std::string sameName = "TABLE_SCHEMA = DATABASE() AND TABLE_NAME = " + name +
                               " AND BINARY TABLE_NAME = BINARY " + name;
  auto info = Query(
      "SELECT COLUMN_NAME, COLUMN_TYPE, IS_NULLABLE, COLUMN_KEY FROM information_schema.COLUMNS "
      "WHERE " +
      sameName + " ORDER BY ORDINAL_POSITION");
  if (!info) return std::nullopt;
  Table result{std::string(table), TableState::kRead, {}, {}};
  if (info->RecordCount() == 0) {
    // Every table has a field, so none means the name is unknown, or known
    // without readable fields.
    auto known = Query("SELECT 1 FROM information_schema.TABLES WHERE " + sameName);
    if (!known) return std::nullopt;
    if (known->RecordCount() == 0) {
      result.state = TableState::kUnknown;
    } else {
      result.state = TableState::kUnreadable;
      result.error = NoFieldsMessage(table);
      SetError(result.error);
    }
    return result;
  }
  result.columns.reserve(info->RecordCount());
  for (const Row& r : info->Rows()) result.columns.push_back(ColumnOf(r, 0));
  return result;
}

std::optional<Schema> MySQLCommunityServer::WholeSchema() {
  auto names = TableSchema();
  if (!names) return std::nullopt;
  Schema schema;
  schema.tables.reserve(names->RecordCount());
  std::unordered_map<std::string, std::size_t> byName;
  byName.reserve(names->RecordCount());
  for (const Row& r : names->Rows()) {
    std::string name = r[0].StringValue();
    byName.emplace(name, schema.tables.size());
    schema.tables.push_back(Table{std::move(name), TableState::kRead, {}, {}});
  }
  // Grouped by the exact bytes of the name, so that case twins stay apart.
  const bool read = QueryEach(
      "SELECT TABLE_NAME, COLUMN_NAME, COLUMN_TYPE, IS_NULLABLE, COLUMN_KEY "
      "FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = DATABASE() "
      "ORDER BY TABLE_NAME, BINARY TABLE_NAME, ORDINAL_POSITION",
      [&](const Row& r) {
        const auto it = byName.find(r[0].StringValue());
        // A table made since the list was read is not part of this schema.
        if (it != byName.end()) schema.tables[it->second].columns.push_back(ColumnOf(r, 1));
      });
  if (!read) return std::nullopt;
  for (Table& table : schema.tables) {
    if (table.columns.empty()) {
      table.state = TableState::kUnreadable;
      table.error = NoFieldsMessage(table.name);
    }
  }
  return schema;
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
  for (unsigned int c = 0; c < columns; ++c)
    names.emplace_back(fields[c].name ? fields[c].name : "");
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

bool MySQLCommunityServer::QueryEach(std::string_view sql,
                                     const std::function<void(const Row&)>& row) {
  if (!mysql_) {
    SetError("The database is not connected");
    return false;
  }
  if (mysql_real_query(mysql_, sql.data(), sql.size()) != 0) {
    SetError(mysql_error(mysql_));
    return false;
  }
  // Rows are taken one at a time, so a large schema is never held twice.
  MYSQL_RES* result = mysql_use_result(mysql_);
  if (!result) {
    SetError(mysql_error(mysql_));
    return false;
  }
  const unsigned int columns = mysql_num_fields(result);
  Row values;
  while (MYSQL_ROW fetched = mysql_fetch_row(result)) {
    const unsigned long* lengths = mysql_fetch_lengths(result);
    values.clear();
    for (unsigned int c = 0; c < columns; ++c) {
      values.emplace_back(fetched[c] == nullptr
                              ? std::optional<std::string>()
                              : std::optional<std::string>(std::in_place, fetched[c], lengths[c]));
    }
    row(values);
  }
  const bool complete = mysql_errno(mysql_) == 0;
  if (!complete) SetError(mysql_error(mysql_));
  mysql_free_result(result);
  return complete;
}

void MySQLCommunityServer::Close() {
  if (mysql_) {
    mysql_close(mysql_);
    mysql_ = nullptr;
  }
}

}  // namespace vantrix::db
