#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vantrix::db {

// One field of a table as its engine declares it.
struct Column {
  std::string name;
  int typeCode = 0;          // see TypeCodes.h
  std::string declaredType;  // as the engine writes it, e.g. "varchar(255)"
  bool notNull = false;
  bool primaryKey = false;  // part of the primary key
  // An enumerated type's values as SQL literals joined by commas
  // ("'happy','sad'"), for a PostgreSQL enum whose declared type is only
  // its name; empty otherwise.
  std::string enumValues;
  bool operator==(const Column&) const = default;
};

// What an engine could tell about one table or view.
enum class TableState {
  kRead,        // its fields are in `columns`
  kUnreadable,  // listed, but its fields cannot be read (a view over a dropped table)
  kUnknown,     // the engine does not know the name
};

// A table or view with its fields in the engine's order. The name is the
// engine's own bytes, exactly as it lists the table.
struct Table {
  std::string name;
  TableState state = TableState::kRead;
  std::vector<Column> columns;
  std::string error;  // why an unreadable table could not be read
  bool operator==(const Table&) const = default;
};

// Every table and view of a database, in the order the engine lists them.
struct Schema {
  std::vector<Table> tables;
  // The engine it was read from, as CreateDatabase names it ("SQLite",
  // "Mysql", ...): declared types are compared in its words. Empty when
  // not known.
  std::string engine;
  bool operator==(const Schema&) const = default;
};

// Tables of a schema by their exact names; the first of equal names wins.
// The schema must outlive the index.
class ExactNameIndex {
public:
  explicit ExactNameIndex(const Schema& schema);
  [[nodiscard]] const Table* Find(std::string_view name) const;

private:
  std::unordered_map<std::string_view, const Table*> byName_;
};

}  // namespace vantrix::db
