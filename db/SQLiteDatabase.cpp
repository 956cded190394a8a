#include "db/SQLiteDatabase.h"

#include <sqlite3.h>

#include <array>
#include <fstream>
#include <mutex>

#include "db/SqliteColumns.h"
#include "db/SqliteStructure.h"
#include "db/TypeCodes.h"

namespace vantrix::db {
namespace {

// True for a file in write-ahead-log mode whose log is not there: all its
// content is in the file itself.
bool IsWalFileWithoutLog(const std::filesystem::path& path) {
  std::array<char, 20> header{};
  std::ifstream in(path, std::ios::binary);
  if (!in.read(header.data(), header.size())) return false;
  const bool wal = header[18] == 2 && header[19] == 2;
  std::error_code ec;
  return wal && !std::filesystem::exists(path.string() + "-wal", ec);
}

// A file: URI for a path, with the characters URIs reserve escaped.
std::string FileUri(const std::filesystem::path& path, const char* query) {
  // An absolute path gets an empty authority, so that one starting with
  // "//" is not read as a host name.
  std::string uri = path.string().starts_with('/') ? "file://" : "file:";
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (const char c : path.string()) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '%' || c == '?' || c == '#' || byte < 0x21 || byte >= 0x7f) {
      uri += '%';
      uri += kHex[byte >> 4];
      uri += kHex[byte & 0xf];
    } else {
      uri += c;
    }
  }
  return uri + "?" + query;
}

}  // namespace

const char* NotAFile(const std::filesystem::path& path) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  switch (status.type()) {
    case std::filesystem::file_type::directory:
      return "a folder";
    case std::filesystem::file_type::fifo:
      return "a named pipe";
    case std::filesystem::file_type::block:
    case std::filesystem::file_type::character:
      return "a device";
    case std::filesystem::file_type::socket:
      return "a socket";
    default:
      return nullptr;  // a file, or nothing there: SQLite tells which
  }
}

SQLiteDatabase::~SQLiteDatabase() { Close(); }

void PrepareSqlite() {
  static std::once_flag once;
  // Refused (and harmless) when SQLite was already started.
  std::call_once(once, [] { sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0); });
}

bool SQLiteDatabase::Connect() {
  Close();
  ClearError();
  if (!DatabaseFile || DatabaseFile->empty()) {
    SetError("No database file was chosen");
    return false;
  }
  // Only a file is opened: reading a named pipe or a device would wait
  // for a writer or read without end, and a folder is no database.
  if (const char* kind = NotAFile(*DatabaseFile)) {
    SetError("\"" + DatabaseFile->string() + "\" is " + kind + ", not a database file");
    return false;
  }
  // Read-only, never created. A WAL file opened even read-only would get
  // -wal and -shm files beside it; when it has no log, everything is in the
  // file, so it is opened as immutable and nothing appears next to it.
  const std::string target = IsWalFileWithoutLog(*DatabaseFile)
                                 ? FileUri(*DatabaseFile, "immutable=1")
                                 : FileUri(*DatabaseFile, "mode=ro");
  PrepareSqlite();
  sqlite3* db = nullptr;
  const int rc =
      // One thread at a time uses a handle, so SQLite need not lock.
      sqlite3_open_v2(target.c_str(), &db,
                      SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    SetError(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    sqlite3_close(db);
    return false;
  }
  db_ = db;
  sqlite3_busy_timeout(db_, TimeoutSeconds * 1000);
  // SQLite opens lazily: reading the schema now tells a database from any
  // other file ("file is not a database") before the caller relies on it.
  if (!Query("SELECT count(*) FROM sqlite_master", {})) {
    const std::string message = ErrorMessage();
    Close();
    SetError(message);
    return false;
  }
  return true;
}

std::unique_ptr<RecordSet> SQLiteDatabase::TableSchema() {
  return Query(
      "SELECT name FROM sqlite_master WHERE type IN ('table','view') "
      "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY rowid",
      {});
}

namespace {

// A column from name, type, notnull, pk, dflt_value.
Column ColumnOf(const Row& r, std::size_t first) {
  const std::string declared = r[first + 1].StringValue();
  Column column{r[first].StringValue(), TypeCodeForDeclaredType(declared, TypeRules::kSqlite),
                declared, r[first + 2].IntegerValue() != 0, r[first + 3].IntegerValue() != 0};
  SetDeclaredDefault(column, r[first + 4].Value());
  return column;
}

}  // namespace

std::optional<Table> SQLiteDatabase::ReadTable(std::string_view table, Detail detail) {
  auto info = Query(
      "SELECT name, type, \"notnull\", pk, dflt_value FROM pragma_table_xinfo(?1) "
      "WHERE hidden IN (0, 2, 3)",
      {std::string(table)});
  Table result{std::string(table), TableState::kRead, {}, {}};
  if (!info) {
    // SQLITE_ERROR is about this table (a view whose tables are gone);
    // anything else (busy, I/O, a damaged file) fails the whole read.
    if (lastCode_ != SQLITE_ERROR) return std::nullopt;
    result.state = TableState::kUnreadable;
    result.error = ErrorMessage();
    return result;
  }
  if (info->RecordCount() == 0) {
    auto known = Query("SELECT 1 FROM sqlite_master WHERE type IN ('table','view') AND name = ?1",
                       {result.name});
    if (!known) return std::nullopt;
    if (known->RecordCount() == 0) result.state = TableState::kUnknown;
  }
  result.columns.reserve(info->RecordCount());
  for (const Row& r : info->Rows()) result.columns.push_back(ColumnOf(r, 0));
  MarkRowidAlias(result.columns);
  if (detail == Detail::kStructure && result.state == TableState::kRead) {
    Schema one{{std::move(result)}, {}};
    std::string literal = "'";
    for (const char c : one.tables[0].name) literal += c == '\'' ? std::string("''") : std::string(1, c);
    if (!ReadStructure(one, literal + "'")) return std::nullopt;
    return std::move(one.tables[0]);
  }
  return result;
}

std::optional<Schema> SQLiteDatabase::WholeSchema(Detail detail) {
  Schema schema;
  // Rows go straight into the schema: a large one is never held twice.
  const auto text = [](sqlite3_stmt* stmt, int column) {
    const auto* value = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    return std::string(value ? value : "",
                       static_cast<std::size_t>(sqlite3_column_bytes(stmt, column)));
  };
  const bool read = QueryEach(
      "SELECT m.name, p.name, p.type, p.\"notnull\", p.pk, p.dflt_value "
      "FROM sqlite_master AS m LEFT JOIN pragma_table_xinfo(m.name) AS p "
      "ON p.hidden IN (0, 2, 3) "
      "WHERE m.type IN ('table','view') AND m.name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
      "ORDER BY m.rowid, p.cid",
      {}, [&](sqlite3_stmt* stmt) {
        std::string name = text(stmt, 0);
        if (schema.tables.empty() || schema.tables.back().name != name) {
          schema.tables.push_back(Table{std::move(name), TableState::kRead, {}, {}});
        }
        if (sqlite3_column_type(stmt, 1) == SQLITE_NULL) return;
        std::string declared = text(stmt, 2);
        const int code = TypeCodeForDeclaredType(declared, TypeRules::kSqlite);
        Column column{text(stmt, 1), code, std::move(declared), sqlite3_column_int64(stmt, 3) != 0,
                      sqlite3_column_int64(stmt, 4) != 0};
        SetDeclaredDefault(column, sqlite3_column_type(stmt, 5) == SQLITE_NULL
                                       ? std::nullopt
                                       : std::optional<std::string>(text(stmt, 5)));
        schema.tables.back().columns.push_back(std::move(column));
      });
  if (!read) {
    // A view naming a dropped table fails the one statement; table by table
    // only that view is unreadable.
    if (lastCode_ != SQLITE_ERROR) return std::nullopt;
    return SchemaTableByTable(detail);
  }
  for (Table& table : schema.tables) MarkRowidAlias(table.columns);
  if (detail == Detail::kStructure && !ReadStructure(schema, std::nullopt)) return std::nullopt;
  return schema;
}

bool SQLiteDatabase::ReadStructure(Schema& schema, const std::optional<std::string>& onlyTable) {
  return ReadSqliteStructure(
      schema, [this](const std::string& sql) { return Query(sql, {}); }, onlyTable);
}

std::unique_ptr<RowSet> SQLiteDatabase::SelectSQL(std::string_view statement) {
  auto records = Query(statement, {});
  if (!records) return nullptr;
  return std::make_unique<RowSet>(std::move(*records));
}

std::unique_ptr<RecordSet> SQLiteDatabase::Query(std::string_view sql,
                                                 const std::vector<std::string>& params) {
  std::vector<std::string> names;
  std::vector<Row> rows;
  const bool done = QueryEach(
      sql, params,
      [&](sqlite3_stmt* stmt) {
        Row row;
        row.reserve(names.size());
        for (int c = 0; c < static_cast<int>(names.size()); ++c) row.push_back(Value(stmt, c));
        rows.push_back(std::move(row));
      },
      [&](sqlite3_stmt* stmt) {
        for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
          const char* name = sqlite3_column_name(stmt, c);
          names.emplace_back(name ? name : "");
        }
      });
  if (!done) return nullptr;
  return std::make_unique<RecordSet>(std::move(names), std::move(rows));
}

DatabaseField SQLiteDatabase::Value(sqlite3_stmt* stmt, int column) {
  if (sqlite3_column_type(stmt, column) == SQLITE_NULL) return {};
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
  const int bytes = sqlite3_column_bytes(stmt, column);
  return DatabaseField(std::string(text ? text : "", static_cast<std::size_t>(bytes)));
}

bool SQLiteDatabase::QueryEach(std::string_view sql, const std::vector<std::string>& params,
                               const std::function<void(sqlite3_stmt*)>& row,
                               const std::function<void(sqlite3_stmt*)>& prepared) {
  if (!db_) {
    lastCode_ = SQLITE_MISUSE;
    SetError("The database is not connected");
    return false;
  }
  sqlite3_stmt* stmt = nullptr;
  const char* tail = nullptr;
  CountStatement();
  if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt, &tail) !=
      SQLITE_OK) {
    lastCode_ = sqlite3_errcode(db_);
    SetError(sqlite3_errmsg(db_));
    return false;
  }
  // One statement at a time: SQLite would leave what follows the first
  // unrun without a word. What follows may only be blank or comments,
  // which prepare to no statement.
  const char* end = sql.data() + sql.size();
  if (tail && tail < end) {
    sqlite3_stmt* next = nullptr;
    const int rc = sqlite3_prepare_v2(db_, tail, static_cast<int>(end - tail), &next, nullptr);
    const bool another = rc != SQLITE_OK || next != nullptr;
    sqlite3_finalize(next);
    if (another) {
      sqlite3_finalize(stmt);
      lastCode_ = SQLITE_MISUSE;
      SetError("Only one statement at a time is run");
      return false;
    }
  }
  for (std::size_t i = 0; i < params.size(); ++i) {
    sqlite3_bind_text(stmt, static_cast<int>(i + 1), params[i].data(),
                      static_cast<int>(params[i].size()), SQLITE_TRANSIENT);
  }
  if (prepared) prepared(stmt);
  int rc = SQLITE_OK;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) row(stmt);
  if (rc != SQLITE_DONE) {
    lastCode_ = sqlite3_errcode(db_);
    SetError(sqlite3_errmsg(db_));
    sqlite3_finalize(stmt);
    return false;
  }
  sqlite3_finalize(stmt);
  return true;
}

void SQLiteDatabase::Close() {
  if (db_) {
    sqlite3_close_v2(db_);
    db_ = nullptr;
  }
}

}  // namespace vantrix::db
