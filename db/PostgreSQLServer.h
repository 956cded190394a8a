#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "db/Database.h"

struct pg_conn;
struct pg_result;

namespace vantrix::db {

// PostgreSQL through libpq. The session only reads (every transaction is
// read-only, unless it was made Writable for a scratch database) and reads
// the catalog of one schema: SchemaName, or the session's current schema
// when it is empty.
class PostgreSQLServer final : public Database {
public:
  static constexpr int kDefaultPort = 5432;

  // A field's number in its table (attnum) and its name as PostgreSQL
  // quotes it, by table: what the index read names an index's columns by.
  struct FieldNumber {
    int number = 0;
    std::string name;
    std::string quoted;
  };
  using FieldNumbers = std::unordered_map<std::string, std::vector<FieldNumber>>;

  PostgreSQLServer() = default;
  ~PostgreSQLServer() override;

  bool Connect() override;
  // Tables, views, materialized views, partitioned and foreign tables of the
  // schema, by name in byte order.
  std::unique_ptr<RecordSet> TableSchema() override;
  std::optional<Table> ReadTable(std::string_view table,
                                       Detail detail = Detail::kColumns) override;
  // One statement whatever the number of tables: the schema's relations
  // joined with their fields. The whole structure takes four: the fields
  // with their defaults and the views' queries, then the indexes, the
  // constraints and the triggers of the schema.
  std::optional<Schema> WholeSchema(Detail detail = Detail::kColumns) override;
  std::unique_ptr<RowSet> SelectSQL(std::string_view statement) override;
  bool ExecuteSQL(std::string_view statement) override;
  void Close() override;
  [[nodiscard]] bool IsConnected() const override { return conn_ != nullptr; }

private:
  // Runs one statement with text parameters bound (never pasted into the
  // text) and reads every row; nullptr on failure, with the server's
  // message. Waits at most TimeoutSeconds for the reply.
  std::unique_ptr<RecordSet> Query(std::string_view sql, const std::vector<std::string>& params);
  // The same, each row handed to `each` as it is read from the reply
  // instead of kept (the row is the same object each time, filled again),
  // and the columns' names into `names` when given. With `asTheyArrive`,
  // each row is handed over as soon as it arrives, while the server is
  // still making the next ones (which costs a little more a row).
  bool QueryEach(std::string_view sql, const std::vector<std::string>& params,
                 const std::function<void(const Row&)>& each,
                 std::vector<std::string>* names = nullptr, bool asTheyArrive = false);
  // Adds the keys, indexes, references, checks and triggers of the tables
  // in `schema` (PostgresStructure.cpp), in three statements; of the one
  // table named `onlyTable`, or of the whole schema when it is empty.
  // `fields` are the tables' fields as the field read found them.
  bool ReadStructure(Schema& schema, const std::optional<std::string>& onlyTable,
                     const FieldNumbers& fields);
  // Waits until the reply of the statement sent is complete; false (and
  // the connection given up) when the server does not answer in time.
  bool AwaitReply();

  pg_conn* conn_ = nullptr;
};

// The type code of a type as PostgreSQL's format_type writes it
// ("integer", "character varying(20)", "timestamp(3) with time zone"):
// its words are turned into the shared table's words; anything outside the
// table (domains, enums, arrays, uuid, ...) gets kUnknownTypeCode.
int PostgreSQLTypeCode(std::string_view formattedType);

// Puts tables whose fields were read in any order in order: the tables by
// name in byte order (as the "C" collation sorts them), each table's
// columns by their numbers, `numbers[i]` holding those of `tables[i]`'s
// columns as they stand.
void PutInOrder(std::vector<Table>& tables, const std::vector<std::vector<int>>& numbers);

}  // namespace vantrix::db
