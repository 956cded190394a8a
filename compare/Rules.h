#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "db/RecordSet.h"
#include "db/Schema.h"

// The comparison rules of DB 1 against DB 2, as plain functions over table
// names and field schemas: no widgets, no connections.
namespace vantrix::compare {

inline constexpr const char* kTableOk = "Table ok";
inline constexpr const char* kTableNotOk = "Table NOT ok";
inline constexpr const char* kFieldsNotOk = "Fields not ok";
inline constexpr const char* kTableNotChecked = "Table not checked";
inline constexpr const char* kConnectBoth = "You have to connect to both databases";
inline constexpr const char* kNotOkRefused =
    "It is not possible to compare a 'not ok' table, sorry";
inline constexpr const char* kDb1HasNoFields = "Selected table on DB1 has no fields";
inline constexpr const char* kDb2HasNoFields = "Selected table on DB2 has no fields";
inline constexpr const char* kNameOk = "Field name OK ";
inline constexpr const char* kNameNotOk = "Field name NOT OK ";
inline constexpr const char* kTypeOk = " - Field type OK";
inline constexpr const char* kTypeNotOk = " - Field type NOT OK";

// One field as the comparison sees it: its name, its type code and the
// declared type behind the code.
using Field = db::Column;
using FieldList = std::vector<Field>;

// The fields of a field schema record set (see db::FieldSchemaColumn), in
// the engine's order. The record set is left rewound.
FieldList FieldsOf(db::RecordSet& schema);

enum class TableOutcome { Ok, Missing, FieldsDiffer, NotChecked };

// The note a table result row shows for an outcome.
const char* NoteFor(TableOutcome outcome);

// Table names as DB 2 lists them, for looking up DB 1's names. A name DB 2
// lists exactly as asked wins; otherwise the first name equal to it ignoring
// letter case, so that of twins "USERS" and "users", "users" finds its own.
class TableIndex {
public:
  explicit TableIndex(const std::vector<std::string>& names);
  // The position of the name, exact first, then ignoring case.
  [[nodiscard]] std::optional<std::size_t> Find(std::string_view name) const;

private:
  std::unordered_map<std::string, std::size_t> firstByExact_;
  std::unordered_map<std::string, std::size_t> firstByFolded_;
};

// Letter case folded for comparing names (full Unicode, not only ASCII, and
// the same under every locale).
std::string FoldCase(std::string_view text);

// Whether two fields have the same type (see db::SameType).
bool SameType(const Field& a, const Field& b);

// True when some DB 1 field has no DB 2 field of the same name (letter case
// counts) or the first such DB 2 field has another type. Extra DB 2 fields
// and the order of the fields do not count.
bool FieldsDiffer(const FieldList& db1, const FieldList& db2);

// A field's type as a verdict saw it: the declared type and its code, and
// the field's default as the engine declares it (none when it has none).
struct FieldType {
  std::string declaredType;
  int typeCode = 0;
  std::optional<std::string> declaredDefault;
  bool operator==(const FieldType&) const = default;
};

// The verdict on one DB 1 field, with the types it was reached on.
struct FieldVerdict {
  std::string name;
  bool nameFound = false;
  bool typeEqual = false;
  FieldType db1;                 // the DB 1 field's
  std::optional<FieldType> db2;  // the DB 2 field's that decided; none when not found
  bool operator==(const FieldVerdict&) const = default;
};

// One verdict per DB 1 field, in DB 1's order.
std::vector<FieldVerdict> CompareFields(const FieldList& db1, const FieldList& db2);

// "Field name OK  - Field type OK" and its three siblings.
std::string FieldNote(const FieldVerdict& verdict);

}  // namespace vantrix::compare
