#pragma once

#include <optional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/Schema.h"

// What comparing two whole schemas finds, as plain data that the report
// writers and any front end can show: a pure function of the two schemas
// and the options, with no connections and no Qt in its interface.
namespace re2 {
class RE2;
}

namespace vantrix::compare {

// Which tables take part: a table is in scope when its whole name matches
// one of the include patterns (or there is none) and none of the exclude
// patterns. Patterns are RE2 regular expressions, letter case ignored,
// matched in time linear in the name's length, however long it is.
class TableScope {
public:
  // Everything is in scope.
  TableScope() = default;

  // The scope of these patterns, or none with `error` naming the first bad
  // pattern and what is wrong with it.
  static std::optional<TableScope> Make(std::vector<std::string> include,
                                        std::vector<std::string> exclude, std::string& error);

  [[nodiscard]] bool Contains(std::string_view table) const;
  [[nodiscard]] const std::vector<std::string>& Include() const { return include_; }
  [[nodiscard]] const std::vector<std::string>& Exclude() const { return exclude_; }

private:
  std::vector<std::string> include_;
  std::vector<std::string> exclude_;
  // Shared, so that a scope can be copied.
  std::vector<std::shared_ptr<const re2::RE2>> includeRegex_;
  std::vector<std::shared_ptr<const re2::RE2>> excludeRegex_;
};

// The kinds of structure a comparison may leave out (--ignore).
enum class Ignorable {
  kDefaults,
  kIndexes,  // plain and unique, not primary keys
  kForeignKeys,
  kChecks,
  kViews,  // view definitions
  kTriggers,
  kCollations,
};

struct FindingsOptions {
  // The window's question only: is everything of DB 1 in DB 2?
  bool oneWay = false;
  // Letter-case differences of table names and differences in NOT NULL and
  // primary keys count as differences instead of notes; names of indexes,
  // constraints and triggers, collations and column order are compared.
  bool strict = false;
  // Symmetric only: compare the whole structure (what the schemas hold of
  // it) beside the fields; false is --columns-only.
  bool structure = true;
  std::vector<Ignorable> ignore;
  TableScope scope;
  [[nodiscard]] bool Ignores(Ignorable kind) const;
};

enum class TableStatus {
  kSame,        // one-way: "Table ok"
  kDiffers,     // one-way: "Fields not ok"
  kOnlyInDb1,   // one-way: "Table NOT ok"
  kOnlyInDb2,   // symmetric only
  kNotChecked,  // a side lists the table but cannot read its fields
};

enum class FieldKind {
  kSame,               // one-way only: a DB 1 field that DB 2 has with its type
  kMissingInDb2,       // a DB 1 field DB 2 does not have
  kOnlyInDb2,          // symmetric only
  kTypeDiffers,        // same name, another type (see db::SameType)
  kNotNullDiffers,     // a note unless strict
  kPrimaryKeyDiffers,  // a note unless strict
  // Symmetric only. The same type code, declared otherwise (see `detail`):
  // on one engine any difference of the declaration counts; across engines
  // a detail both declare differently counts, one only one declares is a
  // note, and so are an enum's values.
  kDeclaredTypeDiffers,
  // Symmetric only, a note: a side declares no type (a SQLite view's
  // computed column), so there is nothing to compare.
  kTypeNotComparable,
};

// One side's field as the reports show it.
struct FieldFacts {
  std::string declaredType;
  int typeCode = 0;
  std::string typeLabel;  // db::ConvertFieldType of the code
  bool notNull = false;
  bool primaryKey = false;
  bool operator==(const FieldFacts&) const = default;
};

struct FieldFinding {
  FieldKind kind = FieldKind::kSame;
  std::string name;
  std::optional<FieldFacts> db1;
  std::optional<FieldFacts> db2;
  // Whether it counts as a difference; otherwise it is a note.
  bool counts = false;
  // One-way: the window's field note ("Field name OK  - Field type OK").
  std::string note;
  // What differs within a declared type ("length 30 vs 60").
  std::string detail;
  bool operator==(const FieldFinding&) const = default;
};

// The objects of a table's structure a finding is about.
enum class ObjectKind {
  kPrimaryKey,
  kIndex,
  kUnique,
  kForeignKey,
  kCheck,
  kDefault,
  kAutoIncrement,
  kGenerated,
  kCollation,
  kViewDefinition,
  kTrigger,
  kColumnOrder,
};

enum class Change { kOnlyInDb1, kOnlyInDb2, kDiffers, kNotComparable };

// A difference in a table's structure beyond its fields' names and types.
struct StructureFinding {
  ObjectKind object = ObjectKind::kIndex;
  // The index, constraint or trigger's name (DB 1's when both have one), or
  // the column's for defaults, auto-increment, generated and collation.
  std::string name;
  Change change = Change::kDiffers;
  bool counts = true;  // otherwise a note
  // What each side declares, as the engine writes it; none when it has none.
  std::optional<std::string> db1;
  std::optional<std::string> db2;
  bool operator==(const StructureFinding&) const = default;
};

struct TableFinding {
  // The table's name on each side that has it.
  std::optional<std::string> db1Name;
  std::optional<std::string> db2Name;
  TableStatus status = TableStatus::kSame;
  // Both sides have it under names that differ in letter case only; it
  // counts only when strict.
  bool nameCaseDiffers = false;
  // One-way: the window's table note ("Table ok", "Fields not ok", ...).
  std::string note;
  // Why a side's table could not be read; empty when it could.
  std::string db1Reason;
  std::string db2Reason;
  // One-way, a table not checked: the notice the window shows for its fields.
  std::string notice;
  std::vector<FieldFinding> fields;
  // Symmetric, with the structure compared: keys, indexes, references,
  // checks, defaults, triggers, the view's definition.
  std::vector<StructureFinding> structure;

  // DB 1's name if it has the table, else DB 2's.
  [[nodiscard]] const std::string& Name() const { return db1Name ? *db1Name : *db2Name; }
  bool operator==(const TableFinding&) const = default;
};

struct FindingsCounts {
  int db1Tables = 0;  // in scope
  int db2Tables = 0;  // in scope
  int same = 0;
  int differ = 0;
  int onlyInDb1 = 0;
  int onlyInDb2 = 0;
  int notChecked = 0;
  int fieldDifferences = 0;      // field findings that count
  int structureDifferences = 0;  // structure findings that count
  int notes = 0;                 // findings that do not count
  bool operator==(const FindingsCounts&) const = default;
};

struct Findings {
  bool oneWay = false;
  bool strict = false;
  std::vector<TableFinding> tables;
  FindingsCounts counts;

  // Tables that are not the same (differ, only on one side, not checked).
  [[nodiscard]] int DifferingTables() const {
    return counts.differ + counts.onlyInDb1 + counts.onlyInDb2 + counts.notChecked;
  }
  [[nodiscard]] bool HasDifferences() const { return DifferingTables() > 0; }
};

// Compares DB 1's schema with DB 2's by the window's rules: tables matched
// by exact name first, then ignoring letter case; fields by exact name, the
// first field of a name deciding, types by db::SameType.
//
// Symmetric (the default): tables are matched one to one; the findings list
// DB 1's tables in its order, then the tables only DB 2 has in DB 2's
// order. A table that either side cannot read is not checked, which counts
// as a difference.
//
// One-way: one finding per DB 1 table in DB 1's order with the window's
// note, DB 2 looked up as the window does (several DB 1 names may find the
// same DB 2 table); a table whose fields differ lists every DB 1 field with
// the window's field note.
Findings FindDifferences(const db::Schema& db1, const db::Schema& db2,
                         const FindingsOptions& options);

// Stable names for reports ("same", "only_in_db1", "type_differs", ...).
const char* StatusName(TableStatus status);
const char* KindName(FieldKind kind);
const char* ObjectName(ObjectKind object);  // "primary_key", "index", ...
const char* ChangeName(Change change);      // "only_in_db1", "differs", ...
// "defaults", "indexes", "foreign-keys", "checks", "views", "triggers",
// "collations"; none for anything else.
std::optional<Ignorable> IgnorableNamed(std::string_view name);

}  // namespace vantrix::compare
