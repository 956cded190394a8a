#include "db/MySQLCommunityServer.h"

#include <errmsg.h>
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
