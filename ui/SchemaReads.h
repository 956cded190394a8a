#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "compare/Rules.h"
#include "compare/Session.h"
#include "db/AppoggioMySQL.h"
#include "db/Database.h"
#include "db/RecordSet.h"
#include "db/Schema.h"

// What the main window's worker does for each operation that reads schemas
// (Connect, a table selection, Compare, a result selection): plain values
// in, plain results out. Nothing here knows a widget; every handle is the
// operation's own, so an abandoned operation still running on its thread
// shares nothing with the next one.
namespace vantrix::ui::reads {

// A text for a message box, and the side (1 or 2) whose engine or server
// wrote it; 0 for the program's own texts (the input checks), which are
// shown as they always were.
struct Message {
  std::string text;
  int side = 0;
  bool operator==(const Message&) const = default;
};

// Whether the input checks refuse a panel (its message is then the
// program's own).
bool InputRefused(const db::PanelValues& panel);

// Connect: a side's table list. `slot` was prepared from the panel before
// the work starts; the work connects it, reads, and closes it.
struct TableListing {
  int side = 1;
  std::unique_ptr<db::Database> slot;
  std::optional<Message> failure;
  std::unique_ptr<db::RecordSet> tables;
};
void ListTables(TableListing& job);

// A table selection: one table's fields, the same way.
struct FieldListing {
  int side = 1;
  std::unique_ptr<db::Database> slot;
  std::string table;
  std::optional<Message> failure;
  std::unique_ptr<db::RecordSet> fields;
};
void ListFields(FieldListing& job);

// Compare: one outcome per name of DB 1's list, each looked up in DB 2's
// list. A side marked for listing again (its panel no longer names the
// database its list came from) takes its names from the whole schema this
// Compare reads, when it can be read; otherwise its list stays.
struct Comparison {
  db::PanelValues db1;
  db::PanelValues db2;
  std::vector<std::string> names1;
  std::vector<std::string> names2;
  bool relist1 = false;
  bool relist2 = false;

  std::vector<Message> messages;
  bool relisted1 = false;
  bool relisted2 = false;
  // A list read again has no tables: there is nothing to compare.
  bool nothingToCompare = false;
  std::vector<compare::TableOutcome> outcomes;
  std::optional<db::Schema> schema1;
  std::optional<db::Schema> schema2;
};
void CompareAll(Comparison& job);

// The per-table check of Compare, for a table found on both sides.
compare::ComparisonSession::TableCheck PreControlloTabelle(compare::ComparisonSession& session,
                                                           const std::string& db1Name,
                                                           const std::string& db2Name);

// A result selection: the field-by-field comparison of one table.
struct FieldComparison {
  db::PanelValues db1;
  db::PanelValues db2;
  std::string db1Name;
  std::string db2Name;

  std::vector<Message> messages;
  std::optional<std::string> notice;
  std::vector<compare::FieldVerdict> verdicts;
};
void CompareFields(FieldComparison& job);

// The names of a schema's tables, in its order.
std::vector<std::string> NamesOf(const db::Schema& schema);

}  // namespace vantrix::ui::reads
