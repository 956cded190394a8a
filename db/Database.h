#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "db/RecordSet.h"
#include "db/Schema.h"

namespace vantrix::db {

// Column layout of a FieldSchema record, counted from 1 as IdxField counts.
enum FieldSchemaColumn : int {
  kFieldName = 1,          // the field's name
  kFieldTypeCode = 2,      // integer type code, see TypeCodes.h
  kFieldDeclaredType = 3,  // the declared type as the engine writes it
  kFieldNotNull = 4,       // 1 when the field refuses NULL, else 0
  kFieldPrimaryKey = 5,    // 1 when the field is part of the primary key
  kFieldDefault = 6,       // the default as the engine declares it; NULL when none
};

// A handle on one database engine. It is configured through its public
// settings, then connected, used and closed; it may connect again after
// Close. Failures are reported by a false or empty result plus ErrorMessage;
// nothing here ever shows a dialog.
class Database {
public:
  Database() = default;
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;
  virtual ~Database() = default;

  std::string Host;
  std::string DatabaseName;
  std::string UserName;
  std::string Password;
  // TCP port; 0 means the engine's default.
  int Port = 0;
  // Engines with schemas inside a database (PostgreSQL): the schema to
  // read; empty means the session's current schema.
  std::string SchemaName;
  // SQLite only: the database file, or none.
  std::optional<std::filesystem::path> DatabaseFile;
  // Seconds allowed for connecting and for each reply of a server.
  int TimeoutSeconds = 10;
  // Servers: how the connection must be encrypted. By default an engine
  // encrypts when the server offers it, without verifying the server.
  enum class Tls {
    kDefault,
    kDisable,     // never encrypted (PostgreSQL, MySQL)
    kAllow,       // PostgreSQL's "allow"
    kRequire,     // encrypted, or no connection; the server is not verified
    kVerifyCa,    // PostgreSQL: the certificate must come from a known authority
    kVerifyFull,  // ...and be issued for the host named
  };
  Tls TlsMode = Tls::kDefault;
  // The certificate authorities to verify the server with; empty: the
  // engine's own default (libpq's ~/.postgresql/root.crt, MariaDB's none).
  std::string TlsCaFile;
  // Set before Connect for a scratch database this program may change (a
  // script proved on it); every other session only reads.
  bool Writable = false;

  virtual bool Connect() = 0;
  // One record per table or view, name in column 1; nullptr on failure.
  virtual std::unique_ptr<RecordSet> TableSchema() = 0;
  // One table's fields, read afresh with a statement that touches only that
  // table. None on failure. A name the engine does not know gives state
  // kUnknown; a table it lists but cannot read gives kUnreadable with the
  // reason, which is also the ErrorMessage.
  // With Detail::kStructure, also its keys, indexes, references, checks,
  // defaults and the rest of Table's structure, in a few more statements.
  virtual std::optional<Table> ReadTable(std::string_view table,
                                         Detail detail = Detail::kColumns) = 0;
  // Every table and view with its fields, in TableSchema's order, in a
  // number of statements that does not grow with the number of tables where
  // the engine allows it. None on failure. This default reads table by
  // table; it is also what engines fall back to when their one statement
  // cannot give the answer.
  // With Detail::kStructure, the whole structure (see Table), still in a
  // number of statements that does not grow with the number of tables.
  virtual std::optional<Schema> WholeSchema(Detail detail = Detail::kColumns);
  // ReadTable as a record set, one record per field (see
  // FieldSchemaColumn): an unknown table gives an empty record set, an
  // unreadable one or a failure nullptr.
  std::unique_ptr<RecordSet> FieldSchema(std::string_view table);
  // Rows of a read-only statement; nullptr on failure.
  virtual std::unique_ptr<RowSet> SelectSQL(std::string_view statement) = 0;
  // Runs one statement that may change the database, on a Writable
  // session only; false with the engine's message on failure.
  virtual bool ExecuteSQL(std::string_view statement);
  virtual void Close() = 0;
  [[nodiscard]] virtual bool IsConnected() const = 0;

  [[nodiscard]] const std::string& ErrorMessage() const { return errorMessage_; }
  // The statements this handle has sent since it was made, its own
  // session set-up included: what a read costs.
  [[nodiscard]] int StatementsSent() const { return statementsSent_; }

protected:
  // TableSchema, then ReadTable for each table listed.
  std::optional<Schema> SchemaTableByTable(Detail detail = Detail::kColumns);

  void SetError(std::string message) { errorMessage_ = std::move(message); }
  void CountStatement() { ++statementsSent_; }
  void ClearError() { errorMessage_.clear(); }

private:
  std::string errorMessage_;
  int statementsSent_ = 0;
};

// The handle for an engine name as the type menus show it ("Mysql",
// "RealServer", "CubeSQLserver", "SQLite", "PostgreSQL"; letter case ignored), or
// nullptr for anything that names no engine.
std::unique_ptr<Database> CreateDatabase(std::string_view engineName);

// The engine's default port for a name, 0 when it has none (SQLite).
int DefaultPort(std::string_view engineName);

// ASCII case-insensitive equality, for engine names and SQL keywords.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

// Whether a text is one SELECT statement: it starts with SELECT (after
// spaces and comments) and holds no ";" outside quotes and comments but,
// perhaps, one at its end. For engines whose sessions cannot be made
// read-only, so that nothing else is ever sent.
bool IsSingleSelect(std::string_view statement);

}  // namespace vantrix::db
