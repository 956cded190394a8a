// The servers' side of the plan: MySQL's and PostgreSQL's ALTER TABLE, and
// renaming a table with what its engine named after it.
#include "migrate/Planner.h"

namespace vantrix::migrate::plan {

void Planner::ChangeMysql(const db::Table& t1, const db::Table& t2) {
  Add("rename columns of " + t1.name, RenameColumns(t1, t2));
  const std::string table = "ALTER TABLE " + Q(t1.name);
  const bool keyChanges = NamesKey(t1.primaryKey) != NamesKey(t2.primaryKey);
  // InnoDB may use the primary key as the index of a foreign key: without
  // a key in between it refuses to drop it, so one key replaces the other
  // in one statement after the columns' changes, unless a column of the
  // old key must first be free of it (it goes, or allows NULL).
  bool replaceKey = keyChanges && !t2.primaryKey.empty() && !t1.primaryKey.empty();
  for (const std::string& k : t2.primaryKey) {
    for (const db::Column& d : t2.columns) {
      if (!SameName(d.name, k)) continue;
      bool stays = false;
      for (const db::Column& c : t1.columns) {
        if (Partner(t1, t2, c) == &d) stays = c.notNull;
      }
      if (!stays) replaceKey = false;
    }
  }
  if (keyChanges && !t2.primaryKey.empty()) {
    // A column that counts must lose its AUTO_INCREMENT before its key.
    std::vector<std::string> statements;
    for (const db::Column& d : t2.columns) {
      if (d.autoIncrement) {
        db::Column plain = d;
        plain.autoIncrement = false;
        statements.push_back(table + " MODIFY COLUMN " + ColumnDefinition(own_, t2, plain));
      }
    }
    if (!replaceKey) statements.push_back(table + " DROP PRIMARY KEY");
    Add((replaceKey ? "stop counting in " : "drop the primary key of ") + t1.name, statements);
  }
  for (const db::Column& c : t1.columns) {
    const db::Column* d = Partner(t1, t2, c);
    db::Column wanted = c;
    if (keyChanges) wanted.autoIncrement = false;  // back below, with its key
    if (!d) {
      Add("add the column " + c.name + " to " + t1.name,
          {table + " ADD COLUMN " + ColumnDefinition(t_, t1, wanted)},
          c.notNull && c.defaultValue.kind == db::Default::Kind::kNone && c.generated.empty()
              ? c.name + " is new and NOT NULL without a default"
              : "");
      continue;
    }
    if (!ColumnChanges(c, *d)) continue;
    std::string reason = Narrowing(*d, Translated(c));
    if (c.notNull && !d->notNull) {
      reason += (reason.empty() ? "" : "; ") + c.name + " becomes NOT NULL and may hold NULLs";
    }
    Add("change the column " + c.name + " of " + t1.name,
        {table + " MODIFY COLUMN " + ColumnDefinition(t_, t1, wanted)}, reason);
  }
  for (const db::Column& d : t2.columns) {
    if (Kept(t1, t2, d)) continue;
    Add("drop the column " + d.name + " of " + t1.name, {table + " DROP COLUMN " + Q(d.name)},
        "drops the column " + d.name + " and its data");
  }
  if (keyChanges && !t1.primaryKey.empty()) {
    std::vector<std::string> statements = {table + (replaceKey ? " DROP PRIMARY KEY," : "") +
                                           " ADD PRIMARY KEY (" +
                                           QuoteList(D(), t1.primaryKey) + ")"};
    for (const db::Column& c : t1.columns) {
      if (c.autoIncrement) {
        statements.push_back(table + " MODIFY COLUMN " + ColumnDefinition(t_, t1, c));
      }
    }
    Add((replaceKey ? "change the primary key of " : "add the primary key of ") + t1.name,
        statements);
  }
}

void Planner::ChangePostgres(const db::Table& t1, const db::Table& t2) {
  Add("rename columns of " + t1.name, RenameColumns(t1, t2));
  const std::string table = "ALTER TABLE " + Q(t1.name);
  const bool keyChanges = NamesKey(t1.primaryKey) != NamesKey(t2.primaryKey);
  if (keyChanges && !t2.primaryKey.empty()) {
    const std::string name =
        t2.primaryKeyName.empty() ? t2.name + "_pkey" : t2.primaryKeyName;
    Add("drop the primary key of " + t1.name, {table + " DROP CONSTRAINT " + Q(name)});
  }
  for (const db::Column& c : t1.columns) {
    const db::Column* d = Partner(t1, t2, c);
    if (!d) {
      Add("add the column " + c.name + " to " + t1.name,
          {table + " ADD COLUMN " + ColumnDefinition(t_, t1, c)},
          c.notNull && c.defaultValue.kind == db::Default::Kind::kNone && c.generated.empty()
              ? c.name + " is new and NOT NULL without a default"
              : "");
      continue;
    }
    const std::string column = table + " ALTER COLUMN " + Q(c.name);
    if (GeneratedChanges(c, *d)) {
      Add("make the generated column " + c.name + " of " + t1.name + " again",
          {table + " DROP COLUMN " + Q(c.name), table + " ADD COLUMN " +
                                                    ColumnDefinition(t_, t1, c)});
      continue;
    }
    if (TypeChanges(c, *d)) {
      const std::string type = ColumnType(t_, c);
      Add("change the type of " + t1.name + "." + c.name,
          {column + " TYPE " + type + " USING " + Q(c.name) + "::" + type},
          Narrowing(*d, Translated(c)));
    }
    if (c.notNull != d->notNull) {
      Add(std::string(c.notNull ? "forbid" : "allow") + " NULL in " + t1.name + "." + c.name,
          {column + (c.notNull ? " SET NOT NULL" : " DROP NOT NULL")},
          c.notNull ? c.name + " may hold NULLs" : "");
    }
    if (DefaultChanges(c, *d)) {
      const std::string def = DefaultClause(t_, c, t1.name);
      Add("change the default of " + t1.name + "." + c.name,
          {column + (def.empty() ? " DROP DEFAULT" : " SET " + def)});
    }
    if (c.autoIncrement != d->autoIncrement) {
      Add("count " + t1.name + "." + c.name + (c.autoIncrement ? "" : " no more"),
          {column + (c.autoIncrement ? " ADD GENERATED BY DEFAULT AS IDENTITY"
                                     : " DROP IDENTITY IF EXISTS")});
    }
  }
  for (const db::Column& d : t2.columns) {
    if (Kept(t1, t2, d)) continue;
    Add("drop the column " + d.name + " of " + t1.name, {table + " DROP COLUMN " + Q(d.name)},
        "drops the column " + d.name + " and its data");
  }
  if (keyChanges && !t1.primaryKey.empty()) {
    std::string key;
    if (!t1.primaryKeyName.empty()) key = "CONSTRAINT " + Q(t1.primaryKeyName) + " ";
    Add("add the primary key of " + t1.name,
        {table + " ADD " + key + "PRIMARY KEY (" + QuoteList(D(), t1.primaryKey) + ")"});
  }
}

void Planner::FollowTableName(const db::Table& t1, const db::Table& t2,
                     std::vector<std::string>& statements) const {
  const std::string table = "ALTER TABLE " + Q(t1.name);
  const auto renamed = [&](const std::string& old, std::string& out) {
    if (old.size() <= t2.name.size() + 1 || old.compare(0, t2.name.size(), t2.name) != 0 ||
        old[t2.name.size()] != '_') {
      return false;
    }
    out = t1.name + old.substr(t2.name.size());
    return out.size() <= 63 && out != old;  // longer ones PostgreSQL shortens its own way
  };
  std::string to;
  if (t2.primaryKeyName.empty() && t1.primaryKeyName.empty() && !t2.primaryKey.empty() &&
      NamesKey(t1.primaryKey) == NamesKey(t2.primaryKey) && renamed(t2.name + "_pkey", to)) {
    statements.push_back(table + " RENAME CONSTRAINT " + Q(t2.name + "_pkey") + " TO " + Q(to));
  }
  for (const db::Index& i : t2.indexes) {
    if (!i.engineNamed || !IndexIn(i, own_, t1, t_) || !renamed(i.name, to)) continue;
    statements.push_back(i.constraint
                             ? table + " RENAME CONSTRAINT " + Q(i.name) + " TO " + Q(to)
                             : "ALTER INDEX " + Q(i.name) + " RENAME TO " + Q(to));
  }
  for (const db::ForeignKey& k : t2.foreignKeys) {
    if (!k.engineNamed || !renamed(k.name, to)) continue;
    if (!Contains(t1.foreignKeys, KeyOf(k), [this](const db::ForeignKey& x) { return KeyOf(x); })) {
      continue;
    }
    statements.push_back(table + " RENAME CONSTRAINT " + Q(k.name) + " TO " + Q(to));
  }
  for (const db::Check& c : t2.checks) {
    if (!c.engineNamed || !renamed(c.name, to)) continue;
    const bool kept = std::any_of(t1.checks.begin(), t1.checks.end(), [&](const auto& x) {
      return db::NormalizedExpression(x.expression, t_.fromQualifier) ==
             db::NormalizedExpression(c.expression, own_.fromQualifier);
    });
    if (kept) statements.push_back(table + " RENAME CONSTRAINT " + Q(c.name) + " TO " + Q(to));
  }
  for (const db::Column& c : t1.columns) {
    const db::Column* d = Partner(t1, t2, c);
    if (!d || !d->autoIncrement || !c.autoIncrement) continue;
    const std::string old = t2.name + "_" + d->name + "_seq";
    to = t1.name + "_" + c.name + "_seq";
    if (old.size() <= 63 && to.size() <= 63) {
      statements.push_back("ALTER SEQUENCE IF EXISTS " + Q(old) + " RENAME TO " + Q(to));
    }
  }
}

void Planner::RenameTable(const db::Table& t1, const db::Table& t2) {
  const std::string& name = t1.name;
  // Names that differ only in letter case go by way of another name, which
  // every engine takes whatever it does with case.
  const std::string step = "vantrix_renaming_" + name;
  const auto rename = [&](const std::string& from, const std::string& to) {
    return D() == Dialect::kMysql ? "RENAME TABLE " + Q(from) + " TO " + Q(to)
                                  : "ALTER TABLE " + Q(from) + " RENAME TO " + Q(to);
  };
  std::vector<std::string> statements = {rename(t2.name, step), rename(step, name)};
  if (D() == Dialect::kPostgres) FollowTableName(t1, t2, statements);
  Add("rename the table " + t2.name + " to " + name, statements);
}

}  // namespace vantrix::migrate::plan
