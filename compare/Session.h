#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "compare/Rules.h"
#include "db/AppoggioMySQL.h"

namespace vantrix::compare {

// Both sides of one comparison. Within one operation the panels cannot
// change, so each side's slot is prepared and connected once, on first need,
// and a side that failed is not tried again: its message is reported once.
// The connections are closed when the session ends.
class ComparisonSession {
public:
  ComparisonSession(db::PanelValues db1, db::PanelValues db2);
  ~ComparisonSession();
  ComparisonSession(const ComparisonSession&) = delete;
  ComparisonSession& operator=(const ComparisonSession&) = delete;

  // The outcome of checking one table found on both sides, and the messages
  // that this check produced (DB 1's before DB 2's), to show in order.
  struct TableCheck {
    TableOutcome outcome = TableOutcome::NotChecked;
    std::vector<std::string> messages;
  };
  // db2Name is the table's name as DB 2 lists it.
  TableCheck CheckTable(const std::string& db1Name, const std::string& db2Name);

  // The field-by-field comparison of one table: either nothing (a side's
  // input was refused), a notice row, or one verdict per DB 1 field.
  struct FieldCheck {
    std::vector<std::string> messages;
    std::optional<std::string> notice;
    std::vector<FieldVerdict> verdicts;
  };
  FieldCheck CompareTableFields(const std::string& db1Name, const std::string& db2Name);

private:
  enum class State { Untried, Ready, InputRefused, ConnectFailed };
  struct Side {
    int number = 1;
    db::PanelValues panel;
    State state = State::Untried;
  };
  // Prepares and connects the side on its first use; a failure's message is
  // appended to `messages` that one time only.
  State Open(Side& side, std::vector<std::string>& messages);
  // The side's field schema of a table, or none when the engine gave none.
  std::optional<FieldList> Fields(Side& side, const std::string& table);

  Side db1_;
  Side db2_;
};

}  // namespace vantrix::compare
