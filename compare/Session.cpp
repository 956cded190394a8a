#include "compare/Session.h"

#include <future>

namespace vantrix::compare {

ComparisonSession::ComparisonSession(db::PanelValues db1, db::PanelValues db2) {
  db1_.number = 1;
  db1_.panel = std::move(db1);
  db2_.number = 2;
  db2_.panel = std::move(db2);
}

ComparisonSession::~ComparisonSession() {
  for (const Side* side : {&db1_, &db2_}) {
    if (side->state == State::Ready && side->slot) side->slot->Close();
  }
}

void ComparisonSession::Reported::Add(int side, std::string message) {
  messages.push_back(std::move(message));
  sides.push_back(side);
}

void ComparisonSession::Reported::Append(const Reported& more) {
  messages.insert(messages.end(), more.messages.begin(), more.messages.end());
  sides.insert(sides.end(), more.sides.begin(), more.sides.end());
}

const std::optional<db::Schema>& ComparisonSession::SchemaOf(int side) const {
  return side == 2 ? db2_.schema : db1_.schema;
}

std::optional<db::Schema> ComparisonSession::TakeSchema(int side) {
  Side& taken = side == 2 ? db2_ : db1_;
  taken.index.reset();
  taken.extra.clear();
  std::optional<db::Schema> schema = std::move(taken.schema);
  taken.schema.reset();
  return schema;
}

ComparisonSession::State ComparisonSession::Open(Side& side, Reported& reported) {
  if (side.state != State::Untried) return side.state;
  const db::Preparation prepared = db::AppoggioMySQL::PrepareSlot(side.slot, side.panel);
  if (!prepared.prepared) {
    reported.Add(side.number, prepared.message);
    side.state = State::InputRefused;
  } else if (!side.slot->Connect()) {
    reported.Add(side.number, side.slot->ErrorMessage());
    side.state = State::ConnectFailed;
  } else {
    side.state = State::Ready;
  }
  return side.state;
}

ComparisonSession::Reported ComparisonSession::ReadBoth() {
  Reported reported;
  LoadBoth(reported);
  return reported;
}

void ComparisonSession::LoadBoth(Reported& reported) {
  // Both sides connect in order, so that their messages come in order and
  // a refused DB 1 panel keeps DB 2 untried; then both schemas are read at
  // the same time, each on its own connection.
  Reported side1;
  Reported side2;
  if (Open(db1_, side1) != State::InputRefused) Open(db2_, side2);
  const auto needsRead = [](const Side& side) {
    return side.state == State::Ready && !side.schemaTried;
  };
  std::future<void> reading2;
  if (needsRead(db2_)) {
    reading2 = std::async(std::launch::async, [this, &side2] { ReadSchema(db2_, side2); });
  }
  if (needsRead(db1_)) ReadSchema(db1_, side1);
  if (reading2.valid()) reading2.get();
  reported.Append(side1);
  reported.Append(side2);
}

void ComparisonSession::ReadSchema(Side& side, Reported& reported) {
  side.schemaTried = true;
  db::Database& db = *side.slot;
  side.schema = db.WholeSchema();
  if (side.schema) {
    side.index = std::make_unique<db::ExactNameIndex>(*side.schema);
  } else {
    reported.Add(side.number, db.ErrorMessage());
    db.Close();
  }
}

const db::Table* ComparisonSession::Known(Side& side, const std::string& table) {
  if (!side.index) return nullptr;
  const db::Table* found = side.index->Find(table);
  if (!found) {
    // Not listed under these exact bytes: the engine may still know the
    // name (SQLite ignores letter case in names), so it decides, as it
    // would for a single table, on the connection the schema was read on:
    // a Compare never connects a side twice. Such names are rare (a table
    // dropped since Connect), so this costs nothing in an ordinary Compare.
    auto [it, added] = side.extra.try_emplace(table);
    if (added) {
      db::Database& db = *side.slot;
      if (db.IsConnected()) {
        if (auto read = db.ReadTable(table)) it->second = std::move(*read);
      }
    }
    if (it->second) found = &*it->second;
  }
  return found && found->state == db::TableState::kRead ? found : nullptr;
}

std::optional<FieldList> ComparisonSession::Fields(Side& side, const std::string& table) {
  if (side.state != State::Ready) return std::nullopt;
  db::Database& db = *side.slot;
  // A whole-schema read of this session that failed has let the
  // connection go.
  if (!db.IsConnected() && !db.Connect()) return std::nullopt;
  auto read = db.ReadTable(table);
  if (!read || read->state != db::TableState::kRead) return std::nullopt;
  return std::move(read->columns);
}

ComparisonSession::TableCheck ComparisonSession::CheckTable(const std::string& db1Name,
                                                            const std::string& db2Name) {
  TableCheck check;
  LoadBoth(check);
  // A refused DB 1 panel ends the check before DB 2 is tried.
  if (db1_.state == State::InputRefused) return check;
  const db::Table* table1 = Known(db1_, db1Name);
  const db::Table* table2 = Known(db2_, db2Name);
  if (!table1 || !table2) return check;
  check.outcome = FieldsDiffer(table1->columns, table2->columns) ? TableOutcome::FieldsDiffer
                                                                 : TableOutcome::Ok;
  return check;
}

ComparisonSession::FieldCheck ComparisonSession::CompareTableFields(const std::string& db1Name,
                                                                    const std::string& db2Name) {
  FieldCheck check;
  if (Open(db1_, check) == State::InputRefused) return check;
  if (Open(db2_, check) == State::InputRefused) return check;
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
