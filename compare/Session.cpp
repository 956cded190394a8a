#include "compare/Session.h"

namespace vantrix::compare {

namespace slots = db::AppoggioMySQL;

ComparisonSession::ComparisonSession(db::PanelValues db1, db::PanelValues db2)
    : db1_{1, std::move(db1), State::Untried}, db2_{2, std::move(db2), State::Untried} {}

ComparisonSession::~ComparisonSession() {
  for (const Side* side : {&db1_, &db2_}) {
    if (side->state == State::Ready && slots::Slot(side->number)) slots::Slot(side->number)->Close();
  }
}

ComparisonSession::State ComparisonSession::Open(Side& side, std::vector<std::string>& messages) {
  if (side.state != State::Untried) return side.state;
  const db::Preparation prepared = slots::PrepareSlot(slots::Slot(side.number), side.panel);
  if (!prepared.prepared) {
    messages.push_back(prepared.message);
    side.state = State::InputRefused;
  } else if (!slots::Slot(side.number)->Connect()) {
    messages.push_back(slots::Slot(side.number)->ErrorMessage());
    side.state = State::ConnectFailed;
  } else {
    side.state = State::Ready;
  }
  return side.state;
}

std::optional<FieldList> ComparisonSession::Fields(Side& side, const std::string& table) {
  if (side.state != State::Ready) return std::nullopt;
  auto schema = slots::Slot(side.number)->FieldSchema(table);
  if (!schema) return std::nullopt;
  return FieldsOf(*schema);
}

ComparisonSession::TableCheck ComparisonSession::CheckTable(const std::string& db1Name,
                                                            const std::string& db2Name) {
  TableCheck check;
  // A refused DB 1 panel ends the check before DB 2 is tried.
  if (Open(db1_, check.messages) == State::InputRefused) return check;
  Open(db2_, check.messages);
  const auto fields1 = Fields(db1_, db1Name);
  const auto fields2 = Fields(db2_, db2Name);
  if (!fields1 || !fields2) return check;
  check.outcome = FieldsDiffer(*fields1, *fields2) ? TableOutcome::FieldsDiffer : TableOutcome::Ok;
  return check;
}

ComparisonSession::FieldCheck ComparisonSession::CompareTableFields(const std::string& db1Name,
                                                                    const std::string& db2Name) {
  FieldCheck check;
  if (Open(db1_, check.messages) == State::InputRefused) return check;
  if (Open(db2_, check.messages) == State::InputRefused) return check;
  const auto fields1 = Fields(db1_, db1Name);
  const auto fields2 = Fields(db2_, db2Name);
  if (!fields1) {
    check.notice = kDb1HasNoFields;
  } else if (!fields2) {
    check.notice = kDb2HasNoFields;
  } else {
    check.verdicts = CompareFields(*fields1, *fields2);
  }
  return check;
}

}  // namespace vantrix::compare
