#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "db/RecordSet.h"

// The comparison rules of DB 1 against DB 2, as plain functions over table
// names and field schemas: no widgets, no connections.
namespace vantrix::compare {

inline constexpr const char* kTableOk = "Table ok";
inline constexpr const char* kTableNotOk = "Table NOT ok";
inline constexpr const char* kFieldsNotOk = "Fields not ok";
inline constexpr const char* kTableNotChecked = "Table not checked";
inline constexpr const char* kConnectBoth = "You have to connect to both databases";
inline constexpr const char* kNotOkRefused = "It is not possible to compare a 'not ok' table, sorry";
inline constexpr const char* kDb1HasNoFields = "Selected table on DB1 has no fields";
inline constexpr const char* kDb2HasNoFields = "Selected table on DB2 has no fields";
inline constexpr const char* kNameOk = "Field name OK ";
inline constexpr const char* kNameNotOk = "Field name NOT OK ";
inline constexpr const char* kTypeOk = " - Field type OK";
inline constexpr const char* kTypeNotOk = " - Field type NOT OK";

// One field as the comparison sees it: its name and its type code.
struct Field {
  std::string name;
  long long typeCode = 0;
  bool operator==(const Field&) const = default;
};
using FieldList = std::vector<Field>;

// The fields of a field schema record set (column 1 name, column 2 code),
// in the engine's order. The record set is left rewound.
FieldList FieldsOf(db::RecordSet& schema);

enum class TableOutcome { Ok, Missing, FieldsDiffer, NotChecked };

// The note a table result row shows for an outcome.
const char* NoteFor(TableOutcome outcome);

// Table names as DB 2 lists them, for looking up DB 1's names without regard
// to letter case. The first of several names that differ only in case wins.
class TableIndex {
public:
  explicit TableIndex(const std::vector<std::string>& names);
  // The position of the first name equal to `name` ignoring case.
  [[nodiscard]] std::optional<std::size_t> Find(std::string_view name) const;

private:
  std::unordered_map<std::string, std::size_t> firstByFolded_;
};

// Letter case folded for comparing names (full Unicode, not only ASCII).
std::string FoldCase(std::string_view text);

// True when some DB 1 field has no DB 2 field of the same name (letter case
// counts) or the first such DB 2 field has another type code. Extra DB 2
// fields and the order of the fields do not count.
bool FieldsDiffer(const FieldList& db1, const FieldList& db2);

// The verdict on one DB 1 field.
struct FieldVerdict {
  std::string name;
  bool nameFound = false;
  bool typeEqual = false;
  bool operator==(const FieldVerdict&) const = default;
};

// One verdict per DB 1 field, in DB 1's order.
std::vector<FieldVerdict> CompareFields(const FieldList& db1, const FieldList& db2);

// "Field name OK  - Field type OK" and its three siblings.
std::string FieldNote(const FieldVerdict& verdict);

}  // namespace vantrix::compare
