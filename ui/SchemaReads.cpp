#include "ui/SchemaReads.h"

namespace vantrix::ui::reads {

namespace {

// The session's messages, each titled with its side unless that side's
// panel was refused by the input checks (its one message is then theirs).
void Keep(const compare::ComparisonSession::Reported& reported, const db::PanelValues& db1,
          const db::PanelValues& db2, std::vector<Message>& messages) {
  const bool refused[2] = {InputRefused(db1), InputRefused(db2)};
  for (std::size_t i = 0; i < reported.messages.size(); ++i) {
    const int side = reported.sides[i];
    messages.push_back({reported.messages[i], refused[side == 2 ? 1 : 0] ? 0 : side});
  }
}

}  // namespace

bool InputRefused(const db::PanelValues& panel) {
  // Preparing makes a handle and checks the texts; it connects nothing.
  std::unique_ptr<db::Database> scratch;
  return !db::AppoggioMySQL::PrepareSlot(scratch, panel).prepared;
}

std::vector<std::string> NamesOf(const db::Schema& schema) {
  std::vector<std::string> names;
  names.reserve(schema.tables.size());
  for (const db::Table& table : schema.tables) names.push_back(table.name);
  return names;
}

void ListTables(TableListing& job) {
  db::Database& db = *job.slot;
  if (!db.Connect()) {
    job.failure = Message{db.ErrorMessage(), job.side};
    return;
  }
  job.tables = db.TableSchema();
  if (!job.tables) job.failure = Message{db.ErrorMessage(), job.side};
  db.Close();
}

void ListFields(FieldListing& job) {
  db::Database& db = *job.slot;
  if (!db.Connect()) {
    job.failure = Message{db.ErrorMessage(), job.side};
    return;
  }
  job.fields = db.FieldSchema(job.table);
  if (!job.fields) job.failure = Message{db.ErrorMessage(), job.side};
  db.Close();
}

compare::ComparisonSession::TableCheck PreControlloTabelle(compare::ComparisonSession& session,
                                                           const std::string& db1Name,
                                                           const std::string& db2Name) {
  return session.CheckTable(db1Name, db2Name);
}

void CompareAll(Comparison& job) {
  compare::ComparisonSession session(job.db1, job.db2);
  if (job.relist1 || job.relist2) {
    // Both sides are read now rather than at the first table found on both,
    // since the names to look up may change.
    Keep(session.ReadBoth(), job.db1, job.db2, job.messages);
    if (job.relist1 && session.SchemaOf(1)) {
      job.names1 = NamesOf(*session.SchemaOf(1));
      job.relisted1 = true;
    }
    if (job.relist2 && session.SchemaOf(2)) {
      job.names2 = NamesOf(*session.SchemaOf(2));
      job.relisted2 = true;
    }
    if (job.names1.empty() || job.names2.empty()) {
      job.nothingToCompare = true;
      return;
    }
  }
  // DB 2's names are indexed once for the whole Compare; each side is asked
  // under its own spelling of the name.
  const compare::TableIndex index2(job.names2);
  job.outcomes.reserve(job.names1.size());
  for (const std::string& name : job.names1) {
    const auto found = index2.Find(name);
    if (!found) {
      job.outcomes.push_back(compare::TableOutcome::Missing);
      continue;
    }
    const auto check = PreControlloTabelle(session, name, job.names2[*found]);
    Keep(check, job.db1, job.db2, job.messages);
    job.outcomes.push_back(check.outcome);
  }
  job.schema1 = session.TakeSchema(1);
  job.schema2 = session.TakeSchema(2);
}

void CompareFields(FieldComparison& job) {
  compare::ComparisonSession session(job.db1, job.db2);
  auto check = session.CompareTableFields(job.db1Name, job.db2Name);
  Keep(check, job.db1, job.db2, job.messages);
  job.notice = std::move(check.notice);
  job.verdicts = std::move(check.verdicts);
}

}  // namespace vantrix::ui::reads
