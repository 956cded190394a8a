#include "db/MySQLCommunityServer.h"

#include <errmsg.h>
#include <mysql.h>

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_map>

#include "db/Defaults.h"
#include "db/TypeCodes.h"

namespace vantrix::db {

namespace {

int SecondsOf(int timeoutSeconds) { return timeoutSeconds > 0 ? timeoutSeconds : 10; }

}  // namespace

MySQLCommunityServer::~MySQLCommunityServer() { Close(); }

std::chrono::steady_clock::time_point MySQLCommunityServer::Deadline() const {
  return std::chrono::steady_clock::now() + std::chrono::seconds(SecondsOf(TimeoutSeconds));
}

bool MySQLCommunityServer::Await(int status, const std::function<int(int)>& resume,
                                 std::chrono::steady_clock::time_point deadline) {
  while (status != 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      const int seconds = SecondsOf(TimeoutSeconds);
      SetError("The server did not answer within " + std::to_string(seconds) +
               (seconds == 1 ? " second" : " seconds"));
      Abandon();
      return false;
    }
    int wait = static_cast<int>(left.count());
    // Whether the library's own timeout ends the wait before the deadline.
    bool libraryTimeout = false;
    if (status & MYSQL_WAIT_TIMEOUT) {
      const unsigned int library = mysql_get_timeout_value_ms(mysql_);
      if (library < static_cast<unsigned int>(wait)) {
        wait = static_cast<int>(library);
        libraryTimeout = true;
      }
    }
    pollfd socket{mysql_get_socket(mysql_), 0, 0};
    if (status & MYSQL_WAIT_READ) socket.events |= POLLIN;
    if (status & MYSQL_WAIT_WRITE) socket.events |= POLLOUT;
    if (status & MYSQL_WAIT_EXCEPT) socket.events |= POLLPRI;
    const int ready = poll(&socket, 1, wait);
    if (ready < 0) {
      if (errno == EINTR) continue;
      SetError(std::string("Waiting for the server failed: ") + std::strerror(errno));
      Abandon();
      return false;
    }
    int happened = 0;
    if (ready == 0) {
      // The deadline is told above; the library's own timeout is handed
      // back to it.
      if (!libraryTimeout) continue;
      happened = MYSQL_WAIT_TIMEOUT;
    } else {
      if (socket.revents & (POLLIN | POLLERR | POLLHUP)) happened |= MYSQL_WAIT_READ;
      if (socket.revents & (POLLOUT | POLLERR | POLLHUP)) happened |= MYSQL_WAIT_WRITE;
      if (socket.revents & POLLPRI) happened |= MYSQL_WAIT_EXCEPT;
      happened &= status | MYSQL_WAIT_READ;
    }
    status = resume(happened);
  }
  return true;
}

void MySQLCommunityServer::Abandon() {
  // Every later read or write on the socket fails at once, so that neither
  // freeing a result nor closing can wait on the server.
  const my_socket socket = mysql_get_socket(mysql_);
  if (socket >= 0) shutdown(socket, SHUT_RDWR);
}

bool MySQLCommunityServer::Connect() {
  Close();
  ClearError();
  MYSQL* mysql = mysql_init(nullptr);
  if (!mysql) {
    SetError("Out of memory while preparing the MySQL connection");
    return false;
  }
  const unsigned int timeout = static_cast<unsigned int>(SecondsOf(TimeoutSeconds));
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
  // impostor reads it either way (the certificate is not verified by
  // default, below). caching_sha2_password would even send it in clear over
  // plain TCP when TLS is wanted but the server offers none. Accounts that
  // use those methods (the default of MySQL 8) need mysql_native_password to
  // be reached from here. The first answer uses mysql_native_password
  // whatever the server's greeting proposes, so that such accounts work on a
  // MySQL 8 server too; the server asks for another method if the account
  // has one.
  static constexpr const char* kAllowedLogins = "mysql_native_password,client_ed25519";
  static constexpr const char* kFirstLogin = "mysql_native_password";
  // By default TLS whenever the server offers it, plain TCP when it does
  // not, and the server's certificate is not verified: users reach their
  // own servers by address, usually with self-signed certificates, and the
  // login methods above keep the password from a server that is not the
  // one meant. What such a session reads could still be seen or changed on
  // the way; ssl-mode=REQUIRED refuses a server without TLS, and
  // VERIFY_IDENTITY also verifies its certificate and host name.
  const bool wantTls = TlsMode != Tls::kDisable;
  const bool verify = TlsMode == Tls::kVerifyCa || TlsMode == Tls::kVerifyFull;
  const my_bool useTls = wantTls ? 1 : 0;
  const my_bool verifyCertificate = verify ? 1 : 0;
  bool configured = mysql_optionsv(mysql, MARIADB_OPT_RESTRICTED_AUTH, kAllowedLogins) == 0 &&
                    mysql_optionsv(mysql, MYSQL_DEFAULT_AUTH, kFirstLogin) == 0 &&
                    mysql_optionsv(mysql, MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &verifyCertificate) == 0;
  if (configured && wantTls) {
    configured = mysql_optionsv(mysql, MYSQL_OPT_SSL_ENFORCE, &useTls) == 0;
  }
  if (configured && !TlsCaFile.empty()) {
    configured = mysql_optionsv(mysql, MYSQL_OPT_SSL_CA, TlsCaFile.c_str()) == 0;
  }
  if (configured) configured = mysql_optionsv(mysql, MYSQL_OPT_NONBLOCK, 0) == 0;
  if (!configured) {
    SetError(
        "The MariaDB client library cannot restrict the login methods, so no connection is made");
    mysql_close(mysql);
    return false;
  }
  mysql_ = mysql;

  const auto deadline = Deadline();
  const unsigned int port = static_cast<unsigned int>(Port > 0 ? Port : kDefaultPort);
  MYSQL* connected = nullptr;
  const int started = mysql_real_connect_start(&connected, mysql_, Host.c_str(), UserName.c_str(),
                                               Password.c_str(), DatabaseName.c_str(), port,
                                               nullptr, 0);
  if (!Await(
          started,
          [&](int happened) { return mysql_real_connect_cont(&connected, mysql_, happened); },
          deadline)) {
    Close();
    return false;
  }
  if (!connected) {
    // The library names the refused method unreliably after a switch, so the
    // refusal is told in words of our own.
    SetError(mysql_errno(mysql_) == CR_PLUGIN_NOT_ALLOWED
                 ? "The MySQL server asked for a login method that would reveal the password; "
                   "this program only logs in with mysql_native_password or client_ed25519"
                 : mysql_error(mysql_));
    Close();
    return false;
  }
  const char* version = mysql_get_server_info(mysql_);
  mariaDb_ = version != nullptr && std::strstr(version, "MariaDB") != nullptr;
  statementVariables_ = mariaDb_ && mysql_get_server_version(mysql_) >= 100102;
  if ((TlsMode == Tls::kRequire || verify) && mysql_get_ssl_cipher(mysql_) == nullptr) {
    SetError("The MySQL server offers no encrypted connection, and one is required (ssl-mode)");
    Close();
    return false;
  }
  // This program only reads schemas; a read-only session makes sure of it.
  // Servers that do not know the statement still work, so its result is not
  // checked, but a server that does not answer it is given up.
  if (Writable) return true;
  static constexpr std::string_view kReadOnly = "SET SESSION TRANSACTION READ ONLY";
  int failed = 0;
  CountStatement();
  if (!Await(
          mysql_real_query_start(&failed, mysql_, kReadOnly.data(), kReadOnly.size()),
          [&](int happened) { return mysql_real_query_cont(&failed, mysql_, happened); },
          deadline)) {
    Close();
    return false;
  }
  return true;
}

std::string MySQLCommunityServer::ThisDatabase() {
  return DatabaseName.empty() ? std::string("DATABASE()") : Literal(DatabaseName);
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
      "WHERE TABLE_SCHEMA = " + ThisDatabase() + " ORDER BY TABLE_NAME, BINARY TABLE_NAME");
}

namespace {

// A column from COLUMN_NAME, COLUMN_TYPE, IS_NULLABLE. Its primary-key
// membership comes from the PRIMARY index: COLUMN_KEY also says "PRI" for
// the first UNIQUE NOT NULL column of a table without a primary key.
Column ColumnOf(const Row& r, std::size_t first) {
  const std::string declared = r[first + 1].StringValue();
  return Column{r[first].StringValue(), TypeCodeForDeclaredType(declared, TypeRules::kServer),
                declared, r[first + 2].StringValue() == "NO", false};
}

// What every read adds to a column's row: COLUMN_DEFAULT, EXTRA.
constexpr std::string_view kColumnDefault = ", COLUMN_DEFAULT, EXTRA";
// What the whole structure adds after them: GENERATION_EXPRESSION,
// COLLATION_NAME, CHARACTER_SET_NAME.
constexpr std::string_view kColumnExtras =
    ", GENERATION_EXPRESSION, COLLATION_NAME, CHARACTER_SET_NAME";

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return text;
}

// The default of kColumnDefault, from `first` on. MariaDB writes a default
// as SQL (a string quoted, current_timestamp()); MySQL writes a string's
// value bare and marks an expression DEFAULT_GENERATED.
void AddDefault(Column& column, const Row& r, std::size_t first, bool mariaDb) {
  // MariaDB writes NULL for a nullable column without a default as for one
  // declared DEFAULT NULL: the two are one here.
  if (r[first].IsNull() || (mariaDb && r[first].StringValue() == "NULL")) return;
  std::string declared = r[first].StringValue();
  if (!mariaDb &&
      LowerAscii(r[first + 1].StringValue()).find("default_generated") == std::string::npos) {
    std::string quoted = "'";
    for (const char c : declared) quoted += c == '\'' ? std::string("''") : std::string(1, c);
    declared = quoted + "'";
  }
  column.defaultValue = ParseDefault(declared, column.typeCode);
}

// The extras of kColumnExtras, from `first` on, which is where
// kColumnDefault's columns start.
void AddExtras(Column& column, const Row& r, std::size_t first) {
  const std::string extra = LowerAscii(r[first + 1].StringValue());
  column.autoIncrement = extra.find("auto_increment") != std::string::npos;
  column.onUpdateCurrentTime = extra.find("on update current_timestamp") != std::string::npos;
  if (extra.find("generated") != std::string::npos && !r[first + 2].IsNull() &&
      !r[first + 2].StringValue().empty()) {
    column.generated = r[first + 2].StringValue();
    column.generatedStored = extra.find("stored") != std::string::npos ||
                             extra.find("persistent") != std::string::npos;
    // A generated column has no default of its own.
    column.defaultValue = Default{};
  }
  column.collation = r[first + 3].StringValue();
  column.charset = r[first + 4].StringValue();
}

// A column's collation counts only where it is not the table's.
void LeaveTableCollation(Table& table) {
  for (Column& column : table.columns) {
    if (table.view || column.collation == table.collation) {
      column.collation.clear();
      column.charset.clear();
    }
  }
}

constexpr std::string_view kPrimaryKeyColumns =
    "SELECT TABLE_NAME, COLUMN_NAME FROM information_schema.STATISTICS "
    "WHERE INDEX_NAME = 'PRIMARY' AND ";

// The server lists the table but gives none of its fields: a view whose
// tables are gone (the server only warns about it), or fields this account
// may not see.
std::string NoFieldsMessage(std::string_view table) {
  return "The server gives no fields for \"" + std::string(table) + "\"";
}

}  // namespace

std::optional<Table> MySQLCommunityServer::ReadTable(std::string_view table, Detail detail) {
  if (!mysql_) {
    SetError("The database is not connected");
    return std::nullopt;
  }
  const bool structure = detail == Detail::kStructure;
  // The information schema compares names without case; the plain equality
  // lets the server open only the named table, and BINARY then keeps
  // "Users" and "users" apart on servers where they are two tables.
  const std::string name = Literal(table);
  const std::string database = ThisDatabase();
  const TableCondition where = [&name, &database](std::string_view schemaColumn,
                                                  std::string_view tableColumn) {
    const std::string column(tableColumn);
    return std::string(schemaColumn) + " = " + database + " AND " + column + " = " + name +
           " AND BINARY " + column + " = BINARY " + name;
  };
  const std::string sameName = where("TABLE_SCHEMA", "TABLE_NAME");
  auto info =
      Query("SELECT COLUMN_NAME, COLUMN_TYPE, IS_NULLABLE" + std::string(kColumnDefault) +
            std::string(structure ? kColumnExtras : "") +
            " FROM information_schema.COLUMNS WHERE " + sameName + " ORDER BY ORDINAL_POSITION");
  if (!info) return std::nullopt;
  Table result{std::string(table), TableState::kRead, {}, {}};
  if (info->RecordCount() == 0 || structure) {
    // Every table has a field, so none means the name is unknown, or known
    // without readable fields.
    auto known = Query("SELECT TABLE_TYPE, TABLE_COLLATION FROM information_schema.TABLES WHERE " +
                       sameName);
    if (!known) return std::nullopt;
    if (known->RecordCount() == 0) {
      result.state = TableState::kUnknown;
      return result;
    }
    if (info->RecordCount() == 0) {
      result.state = TableState::kUnreadable;
      result.error = NoFieldsMessage(table);
      SetError(result.error);
      return result;
    }
    result.view = known->Rows().front()[0].StringValue() == "VIEW";
    result.collation = known->Rows().front()[1].StringValue();
  }
  result.columns.reserve(info->RecordCount());
  for (const Row& r : info->Rows()) {
    result.columns.push_back(ColumnOf(r, 0));
    AddDefault(result.columns.back(), r, 3, mariaDb_);
    if (structure) AddExtras(result.columns.back(), r, 3);
  }
  if (structure) {
    LeaveTableCollation(result);
    Schema one;
    one.tables.push_back(std::move(result));
    if (!ReadStructure(one, where, false)) return std::nullopt;
    return std::move(one.tables.front());
  }
  auto primary = Query(std::string(kPrimaryKeyColumns) + sameName);
  if (!primary) return std::nullopt;
  for (const Row& r : primary->Rows()) {
    for (Column& column : result.columns) {
      if (column.name == r[1].StringValue()) column.primaryKey = true;
    }
  }
  return result;
}

std::optional<Schema> MySQLCommunityServer::WholeSchema(Detail detail) {
  const bool structure = detail == Detail::kStructure;
  // By name; names that differ only in letter case (two tables on servers
  // that tell them apart) come in a fixed order.
  auto names = Query(std::string("SELECT TABLE_NAME") +
                     (structure ? ", TABLE_TYPE, TABLE_COLLATION" : "") +
                     " FROM information_schema.TABLES WHERE TABLE_SCHEMA = " + ThisDatabase() +
                     " ORDER BY TABLE_NAME, BINARY TABLE_NAME");
  if (!names) return std::nullopt;
  Schema schema;
  schema.tables.reserve(names->RecordCount());
  std::unordered_map<std::string, std::size_t> byName;
  byName.reserve(names->RecordCount());
  for (const Row& r : names->Rows()) {
    std::string name = r[0].StringValue();
    byName.emplace(name, schema.tables.size());
    schema.tables.push_back(Table{std::move(name), TableState::kRead, {}, {}});
    if (structure) {
      schema.tables.back().view = r[1].StringValue() == "VIEW";
      schema.tables.back().collation = r[2].StringValue();
    }
  }
  // Grouped by the exact bytes of the name, so that case twins stay apart.
  const bool read = QueryEach(
      "SELECT TABLE_NAME, COLUMN_NAME, COLUMN_TYPE, IS_NULLABLE" + std::string(kColumnDefault) +
          std::string(structure ? kColumnExtras : "") +
          " FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = " + ThisDatabase() +
          " ORDER BY TABLE_NAME, BINARY TABLE_NAME, ORDINAL_POSITION",
      [&](const Row& r) {
        const auto it = byName.find(r[0].StringValue());
        // A table made since the list was read is not part of this schema.
        if (it == byName.end()) return;
        Table& table = schema.tables[it->second];
        table.columns.push_back(ColumnOf(r, 1));
        AddDefault(table.columns.back(), r, 4, mariaDb_);
        if (structure) AddExtras(table.columns.back(), r, 4);
      });
  if (!read) return std::nullopt;
  if (structure) {
    for (Table& table : schema.tables) LeaveTableCollation(table);
    const TableCondition where = [database = ThisDatabase()](std::string_view schemaColumn,
                                                             std::string_view) {
      return std::string(schemaColumn) + " = " + database;
    };
    if (!ReadStructure(schema, where, true)) return std::nullopt;
  } else {
    const bool primaryRead = QueryEach(
        std::string(kPrimaryKeyColumns) + "TABLE_SCHEMA = " + ThisDatabase(), [&](const Row& r) {
          const auto it = byName.find(r[0].StringValue());
          if (it == byName.end()) return;
          for (Column& column : schema.tables[it->second].columns) {
            if (column.name == r[1].StringValue()) column.primaryKey = true;
          }
        });
    if (!primaryRead) return std::nullopt;
  }
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

bool MySQLCommunityServer::ExecuteSQL(std::string_view statement) {
  if (!Writable) return Database::ExecuteSQL(statement);
  return QueryEach(statement, [](const Row&) {});
}

std::unique_ptr<RecordSet> MySQLCommunityServer::Query(std::string_view sql) {
  std::vector<std::string> names;
  std::vector<Row> rows;
  const bool read = QueryEach(sql, [&](const Row& row) { rows.push_back(row); }, &names);
  if (!read) return nullptr;
  return std::make_unique<RecordSet>(std::move(names), std::move(rows));
}

bool MySQLCommunityServer::QueryEach(std::string_view sql,
                                     const std::function<void(const Row&)>& row,
                                     std::vector<std::string>* names) {
  if (!mysql_) {
    SetError("The database is not connected");
    return false;
  }
  const auto deadline = Deadline();
  int failed = 0;
  CountStatement();
  if (!Await(
          mysql_real_query_start(&failed, mysql_, sql.data(), sql.size()),
          [&](int happened) { return mysql_real_query_cont(&failed, mysql_, happened); },
          deadline)) {
    Close();
    return false;
  }
  if (failed != 0) {
    SetError(mysql_error(mysql_));
    return false;
  }
  // Rows are taken one at a time, so a large schema is never held twice.
  MYSQL_RES* result = mysql_use_result(mysql_);
  if (!result) {
    if (mysql_field_count(mysql_) != 0) {
      SetError(mysql_error(mysql_));
      return false;
    }
    return true;  // a statement without rows
  }
  const unsigned int columns = mysql_num_fields(result);
  if (names) {
    MYSQL_FIELD* fields = mysql_fetch_fields(result);
    for (unsigned int c = 0; c < columns; ++c) {
      names->emplace_back(fields[c].name ? fields[c].name : "");
    }
  }
  Row values;
  while (true) {
    MYSQL_ROW fetched = nullptr;
    if (!Await(
            mysql_fetch_row_start(&fetched, result),
            [&](int happened) { return mysql_fetch_row_cont(&fetched, result, happened); },
            deadline)) {
      // The socket is shut: freeing the result reads nothing more.
      mysql_free_result(result);
      Close();
      return false;
    }
    if (!fetched) break;
    const unsigned long* lengths = mysql_fetch_lengths(result);
    // The same row filled again: each text keeps its storage.
    values.resize(columns);
    for (unsigned int c = 0; c < columns; ++c) {
      if (fetched[c] == nullptr) {
        values[c].SetNull();
      } else {
        values[c].Set(std::string_view(fetched[c], lengths[c]));
      }
    }
    row(values);
  }
  const bool complete = mysql_errno(mysql_) == 0;
  if (!complete) SetError(mysql_error(mysql_));
  // Every row has been read, so freeing the result waits for nothing.
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
