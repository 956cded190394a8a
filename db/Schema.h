#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vantrix::db {

// A default value: as the engine declares it, and as a value that means
// the same whoever wrote it ('0', 0 and 0.0 on a number are one number;
// 'x' and 'x'::character varying one string; now() and CURRENT_TIMESTAMP
// one current time).
struct Default {
  enum class Kind {
    kNone,         // no default (a default of NULL is the same: kNull is kept apart
                   // only while reading, see Normalized())
    kNull,         // DEFAULT NULL
    kNumber,       // value: the number written plainly ("0", "1.5", "-2")
    kString,       // value: the text without quotes or casts
    kBoolean,      // value: "true" or "false"
    kCurrentTime,  // value: "timestamp", "date" or "time"
    kExpression,   // value: the expression as declared
  };
  Kind kind = Kind::kNone;
  std::string value;
  std::string declared;  // as the engine gives it; empty for none
  bool operator==(const Default&) const = default;
};

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
  // Read with the fields (Detail::kColumns too): the window's tooltips show it.
  Default defaultValue;

  // The rest is read only for the whole structure (Detail::kStructure).
  // AUTO_INCREMENT, an identity or serial column, SQLite's AUTOINCREMENT.
  bool autoIncrement = false;
  // A generated column's expression as declared; empty for other columns.
  std::string generated;
  bool generatedStored = false;
  // MariaDB's ON UPDATE CURRENT_TIMESTAMP.
  bool onUpdateCurrentTime = false;
  // Where the engine has them and they are not left to the table's.
  std::string collation;
  std::string charset;
  bool operator==(const Column&) const = default;
};

// One part of an index: a column, or an expression, in either direction.
struct IndexPart {
  std::string column;      // empty for an expression
  std::string expression;  // as declared
  bool descending = false;
  int prefixLength = 0;  // MariaDB's col(10); 0 for the whole column
  bool operator==(const IndexPart&) const = default;
};

// An index, or a UNIQUE constraint (which is one too). A table's primary
// key is not one of its indexes.
struct Index {
  std::string name;
  bool unique = false;
  // Declared as a constraint (UNIQUE (a)) rather than with CREATE INDEX.
  bool constraint = false;
  // Named by the engine, not by whoever made it (SQLite's sqlite_autoindex_*).
  bool engineNamed = false;
  // MariaDB made it only to back a foreign key of the same columns.
  bool backsForeignKey = false;
  std::vector<IndexPart> parts;
  std::string predicate;  // a partial index's condition; empty for a whole one
  std::string method;     // lower-case: "fulltext", "spatial", "hash", "gin", "gist"; empty: b-tree
  std::string declared;   // as the engine writes it, for reports
  bool operator==(const Index&) const = default;
};

struct ForeignKey {
  std::string name;
  bool engineNamed = false;
  std::vector<std::string> columns;
  std::string referencedTable;
  std::vector<std::string> referencedColumns;
  // Upper-case: "NO ACTION", "RESTRICT", "CASCADE", "SET NULL", "SET DEFAULT".
  std::string onDelete = "NO ACTION";
  std::string onUpdate = "NO ACTION";
  std::string declared;
  bool operator==(const ForeignKey&) const = default;
};

struct Check {
  std::string name;
  bool engineNamed = false;
  std::string expression;  // the condition, as the engine gives it
  bool operator==(const Check&) const = default;
};

struct Trigger {
  std::string name;
  std::string timing;  // "BEFORE", "AFTER" or "INSTEAD OF"
  std::string event;   // "INSERT", "UPDATE", "DELETE" (several joined with " OR ")
  std::string body;    // the statements it runs, as declared
  std::string declared;
  bool operator==(const Trigger&) const = default;
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

  // The rest is read only for the whole structure (Detail::kStructure).
  bool view = false;
  std::string viewDefinition;  // a view's query, as the engine gives it
  // The primary key's columns in key order, and its name where it has one
  // of its own (not PostgreSQL's table_pkey or MariaDB's PRIMARY).
  std::vector<std::string> primaryKey;
  std::string primaryKeyName;
  std::vector<Index> indexes;  // by name
  std::vector<ForeignKey> foreignKeys;
  std::vector<Check> checks;
  std::vector<Trigger> triggers;  // the triggers on this table or view, by name
  std::string collation;
  std::string charset;
  bool operator==(const Table&) const = default;
};

// How much of a schema to read: the fields alone (what the window shows),
// or the whole structure.
enum class Detail { kColumns, kStructure };

// Every table and view of a database, in the order the engine lists them.
struct Schema {
  std::vector<Table> tables;
  // The engine it was read from, as CreateDatabase names it ("SQLite",
  // "Mysql", ...): declared types are compared in its words. Empty when
  // not known.
  std::string engine;
  // The database or schema name the engine writes before names in view
  // definitions and checks (MariaDB's database); empty when none.
  std::string qualifier;
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
