#pragma once

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "compare/Rules.h"
#include "db/AppoggioMySQL.h"
#include "db/Schema.h"

namespace vantrix::compare {

// Both sides of one comparison. Within one operation the panels cannot
// change, so each side's slot is prepared and connected once, on first need,
// and a side that failed is not tried again: its message is reported once.
// The session's two slots are its own, not the program-wide ones, so that
// sessions on different threads never share a handle.
//
// A table check (Compare) reads each side's whole schema once, in a few
// statements however many tables there are; every later check is answered
// from memory, and a name the schema does not list is asked of the engine
// on that same connection. A field comparison reads only the one table,
// fresh from each side. Either way each side has one connection, open until
// the session ends.
class ComparisonSession {
public:
  ComparisonSession(db::PanelValues db1, db::PanelValues db2);
  ~ComparisonSession();
  ComparisonSession(const ComparisonSession&) = delete;
  ComparisonSession& operator=(const ComparisonSession&) = delete;

  // Messages to show in order, and the side (1 or 2) each one is about.
  struct Reported {
    std::vector<std::string> messages;
    std::vector<int> sides;
    void Add(int side, std::string message);
    void Append(const Reported& more);
  };

  // The outcome of checking one table found on both sides, and the messages
  // that this check produced (DB 1's before DB 2's), to show in order.
  struct TableCheck : Reported {
    TableOutcome outcome = TableOutcome::NotChecked;
  };
  // db2Name is the table's name as DB 2 lists it. A table that a side's
  // engine does not know (any more), or cannot read, is not checked.
  TableCheck CheckTable(const std::string& db1Name, const std::string& db2Name);
  // Connects both sides and reads their whole schemas, as the first table
  // check does (and then no later check reports it again).
  Reported ReadBoth();

  // The field-by-field comparison of one table: either nothing (a side's
  // input was refused), a notice row, or one verdict per DB 1 field.
  struct FieldCheck : Reported {
    std::optional<std::string> notice;
    std::vector<FieldVerdict> verdicts;
  };
  FieldCheck CompareTableFields(const std::string& db1Name, const std::string& db2Name);

  // The whole schema a side's table checks read, if they read it.
  [[nodiscard]] const std::optional<db::Schema>& SchemaOf(int side) const;
  // Hands that schema over; the session's later checks of the side find
  // no table.
  std::optional<db::Schema> TakeSchema(int side);

private:
  enum class State { Untried, Ready, InputRefused, ConnectFailed };
  struct Side {
    int number = 1;
    db::PanelValues panel;
    std::unique_ptr<db::Database> slot;
    State state = State::Untried;
    bool schemaTried = false;
    std::optional<db::Schema> schema;
    std::unique_ptr<db::ExactNameIndex> index;
    // Tables asked for under names the whole schema does not list, read
    // one by one (none when that read failed).
    std::unordered_map<std::string, std::optional<db::Table>> extra;
  };
  // Prepares and connects the side on its first use; a failure's message is
  // reported that one time only.
  State Open(Side& side, Reported& reported);
  // Opens both sides and reads their whole schemas on first use, at the
  // same time. Messages come DB 1's first, each at most once.
  void LoadBoth(Reported& reported);
  void ReadSchema(Side& side, Reported& reported);
  // The side's table of that exact name from its whole schema, when it is
  // known and readable.
  const db::Table* Known(Side& side, const std::string& table);
  // The side's fields of a table read afresh, when it is known and readable.
  std::optional<FieldList> Fields(Side& side, const std::string& table);

  Side db1_;
  Side db2_;
};

}  // namespace vantrix::compare
