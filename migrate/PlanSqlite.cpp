// SQLite's side of the plan: ADD COLUMN and RENAME COLUMN where SQLite
// allows them, otherwise its documented table rebuild.
#include "migrate/Planner.h"

namespace vantrix::migrate::plan {

void Planner::ChangeSqlite(const db::Table& t1, const db::Table& t2) {
  Add("rename columns of " + t1.name, RenameColumns(t1, t2));
  for (const db::Column& c : t1.columns) {
    if (Partner(t1, t2, c)) continue;
    Add("add the column " + c.name + " to " + t1.name,
        {"ALTER TABLE " + Q(t1.name) + " ADD COLUMN " + ColumnDefinition(t_, t1, c)});
  }
}

void Planner::Rebuild(const db::Table& t1, const db::Table& t2) {
  const std::string fresh = "vantrix_new_" + t1.name;
  db::Table shape = t1;
  shape.name = fresh;
  shape.indexes.erase(std::remove_if(shape.indexes.begin(), shape.indexes.end(),
                                     [](const db::Index& i) { return !IsConstraint(i); }),
                      shape.indexes.end());
  std::vector<std::string> statements = migrate::CreateTable(t_, shape, true);
  std::vector<std::string> into;
  std::vector<std::string> from;
  std::vector<std::string> reasons;
  for (const db::Column& c : t1.columns) {
    const db::Column* d = Partner(t1, t2, c);
    if (!d) {
      if (c.notNull && c.defaultValue.kind == db::Default::Kind::kNone && c.generated.empty()) {
        reasons.push_back(c.name + " is new and NOT NULL without a default");
      }
      continue;
    }
    if (!c.generated.empty()) continue;  // computed, not copied
    into.push_back(Q(c.name));
    from.push_back(Q(d->name));
    if (const std::string narrowing = Narrowing(*d, Translated(c)); !narrowing.empty()) {
      reasons.push_back(narrowing);
    }
    if (c.notNull && !d->notNull) reasons.push_back(c.name + " becomes NOT NULL and may hold NULLs");
  }
  std::vector<std::string> dropped;
  for (const db::Column& d : t2.columns) {
    if (!Kept(t1, t2, d)) dropped.push_back(d.name);
  }
  if (!dropped.empty()) {
    std::string names;
    for (const std::string& n : dropped) names += (names.empty() ? "" : ", ") + n;
    reasons.push_back("drops the column" + std::string(dropped.size() > 1 ? "s " : " ") + names +
                      " and their data");
  }
  if (!into.empty()) {
    std::string list1;
    std::string list2;
    for (std::size_t i = 0; i < into.size(); ++i) {
      list1 += (i ? ", " : "") + into[i];
      list2 += (i ? ", " : "") + from[i];
    }
    statements.push_back("INSERT INTO " + Q(fresh) + " (" + list1 + ") SELECT " + list2 +
                         " FROM " + Q(t2.name));
  }
  // AUTOINCREMENT's high-water mark stays where it was.
  const bool counted = std::any_of(t1.columns.begin(), t1.columns.end(),
                                   [](const db::Column& c) { return c.autoIncrement; });
  if (counted) {
    const std::string oldName = Literal(D(), t2.name);
    const std::string newName = Literal(D(), fresh);
    statements.push_back(
        "INSERT INTO sqlite_sequence (name, seq) SELECT " + newName +
        ", 0 WHERE NOT EXISTS (SELECT 1 FROM sqlite_sequence WHERE name = " + newName + ")");
    statements.push_back("UPDATE sqlite_sequence SET seq = (SELECT MAX(seq) FROM "
                         "sqlite_sequence WHERE name IN (" +
                         oldName + ", " + newName + ")) WHERE name = " + newName);
  }
  statements.push_back("DROP TABLE " + Q(t2.name));
  statements.push_back("ALTER TABLE " + Q(fresh) + " RENAME TO " + Q(t1.name));
  for (const db::Index& i : t1.indexes) {
    if (IsConstraint(i)) continue;
    const std::string create = CreateIndex(t_, t1, i);
    if (!create.empty()) statements.push_back(create);
  }
  std::string reason;
  for (const std::string& r : reasons) reason += (reason.empty() ? "" : "; ") + r;
  Add("make the table " + t1.name + " again in its new shape, keeping its rows", statements,
      reason);
}

}  // namespace vantrix::migrate::plan
