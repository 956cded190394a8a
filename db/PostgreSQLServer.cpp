#include "db/PostgreSQLServer.h"

#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "db/Ascii.h"
#include "db/Defaults.h"
#include "db/TypeCodes.h"

namespace vantrix::db {
namespace {

// libpq's messages end in a new line, some with a hint on a second line.
std::string Trimmed(const char* message) {
  std::string_view text = message ? message : "";
  while (!text.empty() && IsAsciiSpace(text.back())) text.remove_suffix(1);
  while (!text.empty() && IsAsciiSpace(text.front())) text.remove_prefix(1);
  return std::string(text);
}

// The relations of the schema that have fields to compare: ordinary tables
// (partitions too, which are tables of their own), views, materialized
// views, partitioned tables and foreign tables. Sequences, indexes,
// composite types and TOAST tables are left out. $1 is the schema; empty
// means the session's current schema.
constexpr std::string_view kRelationsOfTheSchema =
    " FROM pg_catalog.pg_class AS c"
    " JOIN pg_catalog.pg_namespace AS n ON n.oid = c.relnamespace";
constexpr std::string_view kInTheSchema =
    " WHERE n.nspname = COALESCE(NULLIF($1::text, ''), pg_catalog.current_schema())"
    " AND c.relkind IN ('r', 'v', 'm', 'p', 'f')";
// Each relation with its live fields, one row per field, or one row with a
// NULL field name for a table without fields (PostgreSQL allows them). A
// table has at most one primary key index.
//
// With each field its type's kind (typtype), whether the type belongs to
// the schema read (so that its qualifier, which format_type writes for a
// schema outside the search path, is no part of it), that qualifier as
// format_type writes it, a domain's base type, and an enum's values.
constexpr std::string_view kFields =
    " a.attname, pg_catalog.format_type(a.atttypid, a.atttypmod), a.attnotnull,"
    " COALESCE(a.attnum = ANY (i.indkey), false), t.typtype,"
    " t.typnamespace = n.oid, CASE WHEN t.typnamespace = n.oid"
    " THEN pg_catalog.quote_ident(n.nspname) END,"
    " CASE WHEN t.typtype = 'd' THEN pg_catalog.format_type(t.typbasetype, t.typtypmod) END,"
    " CASE WHEN t.typtype = 'e' THEN (SELECT pg_catalog.string_agg("
    "pg_catalog.quote_literal(e.enumlabel), ',' ORDER BY e.enumsortorder)"
    " FROM pg_catalog.pg_enum AS e WHERE e.enumtypid = t.oid) END";
constexpr std::string_view kFieldJoins =
    " LEFT JOIN pg_catalog.pg_attribute AS a"
    " ON a.attrelid = c.oid AND a.attnum > 0 AND NOT a.attisdropped"
    " LEFT JOIN pg_catalog.pg_index AS i ON i.indrelid = c.oid AND i.indisprimary"
    " LEFT JOIN pg_catalog.pg_type AS t ON t.oid = a.atttypid";
// What every read adds to a field's row: its default (or a generated
// column's expression) and its generation. A default names no column, so
// it is written without its table, which the server would otherwise open
// for each one (a tenth of a millisecond a table in a new session); only
// an expression that names a field (a Var in the stored tree: a generated
// column's) needs it. A table's defaults are fetched together, once a
// table (kDefaultJoins), and each field takes its own: a look-up for each
// field costs the server three times as much, and a join is left to the
// catalog's statistics, which on a server that has not analyzed them since
// the tables were made hash the whole field list before the first row.
constexpr std::string_view kDefaultFields =
    ", CASE WHEN a.atthasdef THEN"
    " ds.expressions[pg_catalog.array_position(ds.numbers, a.attnum)] END, a.attgenerated";
constexpr std::string_view kDefaultJoins =
    " LEFT JOIN LATERAL (SELECT pg_catalog.array_agg(d.adnum) AS numbers,"
    " pg_catalog.array_agg(pg_catalog.pg_get_expr(d.adbin,"
    " CASE WHEN d.adbin::text LIKE '%{VAR %' THEN d.adrelid ELSE 0 END)) AS expressions"
    " FROM pg_catalog.pg_attrdef AS d WHERE d.adrelid = c.oid) AS ds ON true";
// What the whole structure adds after them: identity, a collation of its
// own, the relation's kind, a view's query with its first field, and the
// field's number and quoted name, by which the indexes name their columns.
constexpr std::string_view kStructureFields =
    ", a.attidentity,"
    " CASE WHEN a.attcollation <> t.typcollation THEN (SELECT co.collname"
    " FROM pg_catalog.pg_collation AS co WHERE co.oid = a.attcollation) END,"
    " c.relkind, CASE WHEN c.relkind IN ('v', 'm') AND a.attnum = 1"
    " THEN pg_catalog.pg_get_viewdef(c.oid) END, a.attnum, pg_catalog.quote_ident(a.attname)";
// Where a field stands: its number, and its table's count of fields.
constexpr std::string_view kPlace = ", a.attnum, c.relnatts";
// Names in byte order, whatever the database's collation.
constexpr std::string_view kByName = " ORDER BY c.relname::text COLLATE \"C\"";

std::string Sql(std::initializer_list<std::string_view> parts) {
  std::string sql;
  for (const std::string_view part : parts) sql += part;
  return sql;
}

// A field from the columns of kFields. A type of the schema read is
// written without its schema, so that the same type in two schemas
// compared is the same; a domain has its base type's code, an enum the
// code of MySQL's enum.
Column ColumnOf(const Row& r, std::size_t first) {
  std::string declared = r[first + 1].StringValue();
  const std::string kind = r[first + 4].StringValue();
  if (r[first + 5].StringValue() == "t") {
    // Unless the name alone would be a built-in type's ("public.int4").
    const std::string qualifier = r[first + 6].StringValue() + ".";
    if (declared.starts_with(qualifier) &&
        PostgreSQLTypeCode(std::string_view(declared).substr(qualifier.size())) ==
            kUnknownTypeCode) {
      declared.erase(0, qualifier.size());
    }
  }
  int code = PostgreSQLTypeCode(declared);
  std::string enumValues;
  if (kind == "d" && !r[first + 7].IsNull()) {
    code = PostgreSQLTypeCode(r[first + 7].StringValue());
  } else if (kind == "e") {
    code = TypeCodeForDeclaredType("enum", TypeRules::kServer);
    enumValues = r[first + 8].StringValue();
  }
  return Column{r[first].StringValue(), code, std::move(declared),
                r[first + 2].StringValue() == "t", r[first + 3].StringValue() == "t",
                std::move(enumValues)};
}

// The default of kDefaultFields, from `first` on. A generated column's
// expression is no default, nor is a serial column's, which takes the next
// value of its sequence.
void AddDefault(Column& column, const Row& r, std::size_t first) {
  const std::string expression = r[first].StringValue();
  if (r[first].IsNull() || !r[first + 1].StringValue().empty() ||
      expression.starts_with("nextval(")) {
    return;
  }
  column.defaultValue = ParseDefault(expression, column.typeCode);
}

// The extras of kStructureFields, from `first` on, which is where
// kDefaultFields' columns start, for the table `table` the field belongs
// to. A serial column is an auto-increment one.
void AddExtras(Table& table, Column& column, const Row& r, std::size_t first) {
  const std::string kind = r[first + 4].StringValue();
  table.view = kind == "v" || kind == "m";
  if (!r[first + 5].IsNull()) {
    // The query as PostgreSQL writes it back, without its last semicolon.
    std::string query = r[first + 5].StringValue();
    while (!query.empty() && (query.back() == ';' || IsAsciiSpace(query.back()))) {
      query.pop_back();
    }
    while (!query.empty() && IsAsciiSpace(query.front())) query.erase(0, 1);
    table.viewDefinition = std::move(query);
  }
  const std::string expression = r[first].StringValue();
  const std::string generated = r[first + 1].StringValue();
  const std::string identity = r[first + 2].StringValue();
  if (!generated.empty()) {
    column.generated = expression;
    column.generatedStored = generated == "s";
  } else if (expression.starts_with("nextval(")) {
    column.autoIncrement = true;
  }
  if (!identity.empty()) column.autoIncrement = true;
  column.collation = r[first + 3].StringValue();
}

// The field's number and quoted name, after AddExtras' columns.
void AddFieldNumber(std::vector<PostgreSQLServer::FieldNumber>& fields, const Column& column,
                    const Row& r, std::size_t first) {
  fields.push_back(
      {static_cast<int>(r[first + 6].IntegerValue()), column.name, r[first + 7].StringValue()});
}

}  // namespace

void PutInOrder(std::vector<Table>& tables, const std::vector<std::vector<int>>& numbers) {
  for (std::size_t i = 0; i < tables.size() && i < numbers.size(); ++i) {
    const std::vector<int>& order = numbers[i];
    std::vector<Column>& columns = tables[i].columns;
    if (order.size() != columns.size() || std::is_sorted(order.begin(), order.end())) continue;
    std::vector<std::size_t> at(order.size());
    for (std::size_t k = 0; k < at.size(); ++k) at[k] = k;
    std::sort(at.begin(), at.end(), [&](std::size_t a, std::size_t b) { return order[a] < order[b]; });
    std::vector<Column> sorted;
    sorted.reserve(at.size());
    for (const std::size_t k : at) sorted.push_back(std::move(columns[k]));
    columns = std::move(sorted);
  }
  const auto byName = [](const Table& a, const Table& b) { return a.name < b.name; };
  if (!std::is_sorted(tables.begin(), tables.end(), byName)) {
    std::sort(tables.begin(), tables.end(), byName);
  }
}

int PostgreSQLTypeCode(std::string_view formattedType) {
  // Arrays, and names that format_type quotes or qualifies with their
  // schema (types of the database's own), are never built-in types.
  if (formattedType.find_first_of("[\".") != std::string_view::npos) return kUnknownTypeCode;
  // The words without the modifiers in parentheses: "character varying(20)"
  // and "timestamp(3) with time zone" give "character varying" and
  // "timestamp with time zone".
  std::string words;
  int depth = 0;
  bool space = false;
  for (const char c : formattedType) {
    if (c == '(') {
      ++depth;
    } else if (c == ')') {
      if (depth > 0) --depth;
    } else if (depth == 0) {
      if (IsAsciiSpace(c)) {
        space = !words.empty();
      } else {
        if (space) words += ' ';
        space = false;
        words += AsciiLower(c);
      }
    }
  }
  // PostgreSQL's names, and the catalog names format_type may also show,
  // in the shared table's words. Its real is a four-byte float.
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 27> kWords = {{
      {"integer", "integer"},
      {"int4", "integer"},
      {"smallint", "smallint"},
      {"int2", "smallint"},
      {"bigint", "bigint"},
      {"int8", "bigint"},
      {"real", "float"},
      {"float4", "float"},
      {"double precision", "double precision"},
      {"float8", "double precision"},
      {"numeric", "numeric"},
      {"boolean", "boolean"},
      {"bool", "boolean"},
      {"character", "character"},
      {"bpchar", "character"},
      {"character varying", "character varying"},
      {"varchar", "character varying"},
      {"text", "text"},
      {"bytea", "blob"},
      {"date", "date"},
      {"time without time zone", "time"},
      {"time with time zone", "time"},
      {"timetz", "time"},
      {"timestamp without time zone", "timestamp"},
      {"timestamp with time zone", "timestamp"},
      {"timestamptz", "timestamp"},
      {"json", "json"},
  }};
  if (words == "jsonb") return TypeCodeForDeclaredType("json", TypeRules::kServer);
  for (const auto& [postgres, shared] : kWords) {
    if (words == postgres) return TypeCodeForDeclaredType(shared, TypeRules::kServer);
  }
  return kUnknownTypeCode;
}

PostgreSQLServer::~PostgreSQLServer() { Close(); }

bool PostgreSQLServer::Connect() {
  Close();
  ClearError();
  const int seconds = TimeoutSeconds > 0 ? TimeoutSeconds : 10;
  const std::string port = std::to_string(Port > 0 ? Port : kDefaultPort);
  const std::string connectTimeout = std::to_string(seconds);
  // Every transaction of the session is read-only; a statement the server
  // works on for longer than the timeout is cancelled by the server itself.
  const std::string options = std::string(Writable ? "" : "-c default_transaction_read_only=on ") +
                              "-c statement_timeout=" + std::to_string(seconds) + "s";
  // libpq takes an empty value as no value and then falls back to the
  // environment (PGPASSWORD, PGHOST, PGUSER, PGDATABASE), so that an empty
  // password we were given would become the environment's. The first
  // dbname is therefore this fixed text, which libpq expands: it sets those
  // keywords to an empty value that counts as given; the values below then
  // replace it, and later dbname values are never expanded. An empty
  // password still lets libpq look in the password file (~/.pgpass).
  static constexpr const char* kGivenButEmpty = "host='' hostaddr='' dbname='' user='' password=''";
  const char* sslMode = "prefer";
  switch (TlsMode) {
    case Tls::kDefault:
      break;
    case Tls::kDisable:
      sslMode = "disable";
      break;
    case Tls::kAllow:
      sslMode = "allow";
      break;
    case Tls::kRequire:
      sslMode = "require";
      break;
    case Tls::kVerifyCa:
      sslMode = "verify-ca";
      break;
    case Tls::kVerifyFull:
      sslMode = "verify-full";
      break;
  }
  const auto open = [&](const std::string& startOptions) {
    std::vector<const char*> keywords = {"dbname",          "host",    "port",    "dbname",
                                         "user",            "password", "connect_timeout",
                                         "options",         "sslmode", "client_encoding",
                                         "application_name"};
    std::vector<const char*> values = {kGivenButEmpty,         Host.c_str(),
                                       port.c_str(),           DatabaseName.c_str(),
                                       UserName.c_str(),       Password.c_str(),
                                       connectTimeout.c_str(), startOptions.c_str(),
                                       sslMode,                "UTF8",
                                       "Vantrix"};
    if (!TlsCaFile.empty()) {
      keywords.push_back("sslrootcert");
      values.push_back(TlsCaFile.c_str());
    }
    keywords.push_back(nullptr);
    values.push_back(nullptr);
    return PQconnectdbParams(keywords.data(), values.data(), 1);
  };
  // Compiling a query (JIT) pays off for long queries over large tables,
  // not for reading the catalog: on a schema of 2,000 tables it makes the
  // index read eight times slower (0.6 s of compiling for 0.08 s of work).
  // A server older than PostgreSQL 11 knows no jit and refuses the
  // connection for it: it is connected to again without.
  PGconn* conn = open(options + " -c jit=off");
  if (conn && PQstatus(conn) != CONNECTION_OK &&
      std::string_view(PQerrorMessage(conn)).find("\"jit\"") != std::string_view::npos) {
    PQfinish(conn);
    conn = open(options);
  }
  if (!conn) {
    SetError("Out of memory while preparing the PostgreSQL connection");
    return false;
  }
  if (PQstatus(conn) != CONNECTION_OK) {
    SetError(Trimmed(PQerrorMessage(conn)));
    PQfinish(conn);
    return false;
  }
  // The server's notices are not errors; libpq would print them on the
  // standard error.
  PQsetNoticeProcessor(
      conn, [](void*, const char*) {}, nullptr);
  conn_ = conn;
  // The schema must be there: a schema that does not exist would read as
  // an empty one, the same as any other empty schema.
  static constexpr std::string_view kSchemaThere =
      "SELECT s.wanted, n.nspname IS NOT NULL,"
      " (SELECT pg_catalog.string_agg(pg_catalog.quote_ident(o.nspname), ', ' ORDER BY o.nspname)"
      " FROM pg_catalog.pg_namespace AS o WHERE pg_catalog.lower(o.nspname) ="
      " pg_catalog.lower(s.wanted))"
      " FROM (SELECT COALESCE(NULLIF($1::text, ''), pg_catalog.current_schema()) AS wanted) AS s"
      " LEFT JOIN pg_catalog.pg_namespace AS n ON n.nspname = s.wanted";
  auto there = Query(kSchemaThere, {SchemaName});
  if (!there) {
    const std::string message = ErrorMessage();
    Close();
    SetError(message);
    return false;
  }
  std::string missing;
  const Row& row = there->Rows().front();
  if (row[0].IsNull()) {
    missing = "There is no schema to read: the session's search_path names none that exists";
  } else if (row[1].StringValue() != "t") {
    missing = "The schema \"" + row[0].StringValue() + "\" does not exist";
    if (!row[2].IsNull()) missing += " (in other letter case: " + row[2].StringValue() + ")";
  }
  if (!missing.empty()) {
    Close();
    SetError(missing);
    return false;
  }
  return true;
}

std::unique_ptr<RecordSet> PostgreSQLServer::TableSchema() {
  static const std::string sql =
      Sql({"SELECT c.relname", kRelationsOfTheSchema, kInTheSchema, kByName});
  return Query(sql, {SchemaName});
}

std::optional<Table> PostgreSQLServer::ReadTable(std::string_view table, Detail detail) {
  if (!conn_) {
    SetError("The database is not connected");
    return std::nullopt;
  }
  const bool structure = detail == Detail::kStructure;
  // The name is compared as text, exactly: as the catalog's type it would
  // be cut to the longest name the server keeps, and find another table.
  static const std::string sql =
      Sql({"SELECT", kFields, kDefaultFields, kRelationsOfTheSchema, kDefaultJoins, kFieldJoins,
           kInTheSchema, " AND c.relname = $2::text ORDER BY a.attnum"});
  static const std::string structureSql =
      Sql({"SELECT", kFields, kDefaultFields, kStructureFields, kRelationsOfTheSchema,
           kDefaultJoins, kFieldJoins, kInTheSchema, " AND c.relname = $2::text ORDER BY a.attnum"});
  Table result{std::string(table), TableState::kRead, {}, {}};
  FieldNumbers fields;
  // No name the server keeps holds a NUL byte.
  if (table.find('\0') != std::string_view::npos) {
    result.state = TableState::kUnknown;
    return result;
  }
  auto info = Query(structure ? structureSql : sql, {SchemaName, std::string(table)});
  if (!info) return std::nullopt;
  if (info->RecordCount() == 0) {
    result.state = TableState::kUnknown;
    return result;
  }
  result.columns.reserve(info->RecordCount());
  for (const Row& r : info->Rows()) {
    if (r[0].IsNull()) continue;
    result.columns.push_back(ColumnOf(r, 0));
    AddDefault(result.columns.back(), r, 9);
    if (structure) {
      AddExtras(result, result.columns.back(), r, 9);
      AddFieldNumber(fields[result.name], result.columns.back(), r, 9);
    }
  }
  if (structure) {
    Schema one;
    one.tables.push_back(std::move(result));
    if (!ReadStructure(one, std::string(table), fields)) return std::nullopt;
    return std::move(one.tables.front());
  }
  return result;
}

std::optional<Schema> PostgreSQLServer::WholeSchema(Detail detail) {
  const bool structure = detail == Detail::kStructure;
  // Each row ends with the field's number and its table's count of fields
  // (dropped ones too), which the rows are put in order by: the server
  // would sort them on disk past its work_mem, a third of the statement's
  // time, where this program sorts the few tables that came out of order.
  static const std::string sql =
      Sql({"SELECT c.relname,", kFields, kDefaultFields, kPlace, kRelationsOfTheSchema,
           kDefaultJoins, kFieldJoins, kInTheSchema});
  static const std::string structureSql =
      Sql({"SELECT c.relname,", kFields, kDefaultFields, kStructureFields, kPlace,
           kRelationsOfTheSchema, kDefaultJoins, kFieldJoins, kInTheSchema});
  // The rows are taken as they come, while the server makes the next ones:
  // 40,000 of them kept as texts would cost more than the reading.
  Schema schema;
  FieldNumbers fields;
  std::unordered_map<std::string, std::size_t> byName;
  std::vector<std::vector<int>> numbers;  // of each table's columns, in their order
  std::size_t current = 0;
  std::vector<FieldNumber>* currentFields = nullptr;
  const bool read = QueryEach(structure ? structureSql : sql, {SchemaName}, [&](const Row& r) {
    const std::string& name = *r[0].Value();
    if (schema.tables.empty() || schema.tables[current].name != name) {
      const auto [it, added] = byName.try_emplace(name, schema.tables.size());
      const auto count =
          static_cast<std::size_t>(std::max<std::int64_t>(r[r.size() - 1].IntegerValue(), 0));
      if (added) {
        schema.tables.push_back(Table{name, TableState::kRead, {}, {}});
        schema.tables.back().columns.reserve(count);
        numbers.emplace_back().reserve(count);
      }
      current = it->second;
      if (structure) {
        currentFields = &fields[name];
        currentFields->reserve(count);
      }
    }
    if (r[1].IsNull()) return;
    Table& table = schema.tables[current];
    table.columns.push_back(ColumnOf(r, 1));
    numbers[current].push_back(static_cast<int>(r[r.size() - 2].IntegerValue()));
    AddDefault(table.columns.back(), r, 10);
    if (structure) {
      AddExtras(table, table.columns.back(), r, 10);
      AddFieldNumber(*currentFields, table.columns.back(), r, 10);
    }
  }, nullptr, true);
  if (!read) return std::nullopt;
  PutInOrder(schema.tables, numbers);
  if (structure && !ReadStructure(schema, std::nullopt, fields)) return std::nullopt;
  return schema;
}

std::unique_ptr<RowSet> PostgreSQLServer::SelectSQL(std::string_view statement) {
  auto records = Query(statement, {});
  if (!records) return nullptr;
  return std::make_unique<RowSet>(std::move(*records));
}

bool PostgreSQLServer::AwaitReply() {
  // A second more than the server's own statement timeout, so that a slow
  // statement ends with the server's message; past that the server has
  // stopped answering.
  const int seconds = (TimeoutSeconds > 0 ? TimeoutSeconds : 10) + 1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (PQisBusy(conn_)) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    int ready = 0;
    if (left.count() > 0) {
      pollfd socket{PQsocket(conn_), POLLIN, 0};
      ready = poll(&socket, 1, static_cast<int>(left.count()));
      if (ready < 0 && errno == EINTR) continue;
    }
    if (ready == 0) {
      SetError("The server did not answer within " + std::to_string(seconds) + " seconds");
      Close();
      return false;
    }
    if (ready < 0 || !PQconsumeInput(conn_)) {
      SetError(Trimmed(PQerrorMessage(conn_)));
      return false;
    }
  }
  return true;
}

std::unique_ptr<RecordSet> PostgreSQLServer::Query(std::string_view sql,
                                                   const std::vector<std::string>& params) {
  std::vector<std::string> names;
  std::vector<Row> rows;
  const bool read = QueryEach(sql, params, [&](const Row& row) { rows.push_back(row); }, &names);
  if (!read) return nullptr;
  return std::make_unique<RecordSet>(std::move(names), std::move(rows));
}

bool PostgreSQLServer::QueryEach(std::string_view sql, const std::vector<std::string>& params,
                                 const std::function<void(const Row&)>& each,
                                 std::vector<std::string>* names, bool asTheyArrive) {
  if (!conn_) {
    SetError("The database is not connected");
    return false;
  }
  std::vector<const char*> values;
  std::vector<int> lengths;
  values.reserve(params.size());
  lengths.reserve(params.size());
  for (const std::string& p : params) {
    values.push_back(p.c_str());
    lengths.push_back(static_cast<int>(p.size()));
  }
  // libpq takes texts up to their first NUL byte, which would run a part of
  // the statement or look up a shorter name.
  if (sql.find('\0') != std::string_view::npos) {
    SetError("The statement contains a NUL character");
    return false;
  }
  for (const std::string& p : params) {
    if (p.find('\0') != std::string::npos) {
      SetError("A name contains a NUL character");
      return false;
    }
  }
  // Bound parameters also mean one statement only: the server refuses a
  // second one in the same text.
  const std::string text(sql);
  CountStatement();
  if (!PQsendQueryParams(conn_, text.c_str(), static_cast<int>(params.size()), nullptr,
                         values.data(), lengths.data(), nullptr, 0)) {
    SetError(Trimmed(PQerrorMessage(conn_)));
    return false;
  }
  if (asTheyArrive) PQsetSingleRowMode(conn_);
  // Every result is taken, so that the connection is ready for the next
  // statement whatever happened.
  bool answered = false;
  bool named = false;
  // One row, filled again for each row of the reply.
  Row row;
  std::string error;
  while (true) {
    if (!AwaitReply()) return false;
    PGresult* result = PQgetResult(conn_);
    if (!result) break;
    const ExecStatusType status = PQresultStatus(result);
    if (status == PGRES_COPY_OUT || status == PGRES_COPY_IN || status == PGRES_COPY_BOTH) {
      // A copy holds the connection until its data has been moved, which
      // this program never does: the connection is given up.
      PQclear(result);
      SetError("Copying data is not supported");
      Close();
      return false;
    }
    if (!error.empty()) {
      // The first failure is the one reported.
    } else if (status == PGRES_TUPLES_OK || status == PGRES_SINGLE_TUPLE) {
      const int columns = PQnfields(result);
      if (names && !named) {
        named = true;
        for (int c = 0; c < columns; ++c) names->emplace_back(PQfname(result, c));
      }
      row.resize(static_cast<std::size_t>(columns));
      for (int r = 0; r < PQntuples(result); ++r) {
        for (int c = 0; c < columns; ++c) {
          DatabaseField& field = row[static_cast<std::size_t>(c)];
          if (PQgetisnull(result, r, c)) {
            field.SetNull();
          } else {
            field.Set(std::string_view(PQgetvalue(result, r, c),
                                       static_cast<std::size_t>(PQgetlength(result, r, c))));
          }
        }
        each(row);
      }
      answered = true;
    } else if (status == PGRES_COMMAND_OK) {
      answered = true;
    } else if (status == PGRES_EMPTY_QUERY) {
      error = "The statement is empty";
    } else {
      error = Trimmed(PQresultErrorMessage(result));
      if (error.empty()) error = Trimmed(PQerrorMessage(conn_));
      if (error.empty()) error = std::string("The server answered ") + PQresStatus(status);
    }
    PQclear(result);
  }
  if (!error.empty()) {
    SetError(error);
    return false;
  }
  if (!answered) {
    SetError(Trimmed(PQerrorMessage(conn_)));
    return false;
  }
  return true;
}

bool PostgreSQLServer::ExecuteSQL(std::string_view statement) {
  if (!Writable) return Database::ExecuteSQL(statement);
  return Query(statement, {}) != nullptr;
}

void PostgreSQLServer::Close() {
  if (conn_) {
    PQfinish(conn_);
    conn_ = nullptr;
  }
}

}  // namespace vantrix::db
