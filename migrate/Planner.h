#pragma once

// The planner behind PlanScript: it pairs DB 1's tables with DB 2's and
// adds the steps, phase by phase; what differs by dialect (SQLite's table
// rebuild, MySQL's and PostgreSQL's ALTER TABLE) is in PlanSqlite.cpp and
// PlanServers.cpp. Private to migrate/.
#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "compare/Rules.h"
#include "db/Ascii.h"
#include "db/Database.h"
#include "db/Defaults.h"
#include "migrate/Script.h"
#include "migrate/Sql.h"

namespace vantrix::migrate::plan {

using db::Dialect;

inline std::string Folded(std::string_view name) { return compare::FoldCase(name); }
inline bool SameName(std::string_view a, std::string_view b) { return Folded(a) == Folded(b); }

// Names as a key that ignores letter case, in their order.
std::string NamesKey(const std::vector<std::string>& names);

// Why changing a column from `before` to `after` can lose data, or empty
// when every value of the old type fits the new one.
std::string Narrowing(const db::Column& before, const db::Column& after);

class Planner {
public:
  Planner(const db::Schema& db1, const db::Schema& db2, const ScriptOptions& options)
      : db1_(db1), db2_(db2), options_(options) {
    script_.dialect = db::DialectOf(db2.engine);
    t_ = {db::DialectOf(db1.engine), script_.dialect, &script_.notes, db1.qualifier};
    own_ = {script_.dialect, script_.dialect, &script_.notes, db2.qualifier};
  }

  Script Run() {
    Pair();
    DropViews();
    DropTriggers();
    DropForeignKeys();
    DropIndexesAndChecks();
    DropTables();
    CreateTables();
    ChangeTables();
    AddIndexesAndChecks();
    AddForeignKeys();
    CreateTriggers();
    CreateViews();
    return std::move(script_);
  }

private:
  struct Pairing {
    const db::Table* t1 = nullptr;
    const db::Table* t2 = nullptr;
    bool rebuild = false;  // SQLite: made again
  };

  Dialect D() const { return script_.dialect; }
  bool SameEngine() const { return t_.Same(); }
  std::string Q(std::string_view name) const { return Quote(D(), name); }

  void Add(std::string what, std::vector<std::string> statements, std::string unsafeReason = {}) {
    if (statements.empty()) return;
    Step step;
    step.what = std::move(what);
    step.statements = std::move(statements);
    step.unsafe = !unsafeReason.empty();
    step.reason = std::move(unsafeReason);
    script_.steps.push_back(std::move(step));
  }

  // Tables (not views) paired as the comparison pairs them: exact names
  // first, then letter case ignored.
  void Pair() {
    std::vector<bool> taken(db2_.tables.size(), false);
    for (const db::Table& t1 : db1_.tables) {
      if (t1.state != db::TableState::kRead) continue;
      Pairing p{&t1, nullptr, false};
      for (int pass = 0; pass < 2 && !p.t2; ++pass) {
        for (std::size_t j = 0; j < db2_.tables.size(); ++j) {
          const db::Table& t2 = db2_.tables[j];
          if (taken[j] || t2.view != t1.view || t2.state != db::TableState::kRead) continue;
          if (pass == 0 ? t2.name == t1.name : SameName(t2.name, t1.name)) {
            p.t2 = &t2;
            taken[j] = true;
            break;
          }
        }
      }
      pairs_.push_back(p);
    }
    for (std::size_t j = 0; j < db2_.tables.size(); ++j) {
      if (!taken[j] && db2_.tables[j].state == db::TableState::kRead) {
        pairs_.push_back({nullptr, &db2_.tables[j], false});
      }
    }
    for (Pairing& p : pairs_) {
      if (p.t1 && p.t2 && !p.t1->view && D() == Dialect::kSqlite) p.rebuild = NeedsRebuild(p);
    }
  }

  // The column of DB 2 that a DB 1 column is: the same name, the same
  // name in other letter case, or the one a --rename names.
  const db::Column* Partner(const db::Table& t1, const db::Table& t2, const db::Column& c) const {
    for (const Rename& r : options_.renames) {
      if (SameName(r.table, t1.name) && r.to == c.name) {
        for (const db::Column& d : t2.columns) {
          if (d.name == r.from) return &d;
        }
      }
    }
    for (const db::Column& d : t2.columns) {
      if (d.name == c.name) return &d;
    }
    for (const db::Column& d : t2.columns) {
      if (SameName(d.name, c.name) && !HasExact(t1, d.name)) return &d;
    }
    return nullptr;
  }
  static bool HasExact(const db::Table& t, const std::string& name) {
    for (const db::Column& c : t.columns) {
      if (c.name == name) return true;
    }
    return false;
  }
  bool Kept(const db::Table& t1, const db::Table& t2, const db::Column& d) const {
    for (const db::Column& c : t1.columns) {
      if (Partner(t1, t2, c) == &d) return true;
    }
    return false;
  }

  // DB 1's column as DB 2's dialect writes it, to compare with DB 2's.
  db::Column Translated(const db::Column& c) const {
    db::Column out = c;
    std::vector<std::string> ignored;
    Translation quiet = t_;
    quiet.notes = &ignored;
    out.declaredType = ColumnType(quiet, c);
    return out;
  }

  bool TypeChanges(const db::Column& c, const db::Column& d) const {
    const db::Column wanted = Translated(c);
    return db::ParseTypeDetails(wanted.declaredType).normalized !=
           db::ParseTypeDetails(d.declaredType).normalized;
  }
  bool DefaultChanges(const db::Column& c, const db::Column& d) const {
    if (db::SameDefault(c.defaultValue, d.defaultValue)) return false;
    // An expression of another engine cannot be written here.
    return SameEngine() || c.defaultValue.kind != db::Default::Kind::kExpression;
  }
  bool GeneratedChanges(const db::Column& c, const db::Column& d) const {
    if (c.generated.empty() != d.generated.empty()) return SameEngine() || c.generated.empty();
    if (c.generated.empty()) return false;
    return SameEngine() && (db::NormalizedExpression(c.generated, t_.fromQualifier) !=
                                db::NormalizedExpression(d.generated, own_.fromQualifier) ||
                            c.generatedStored != d.generatedStored);
  }
  bool ColumnChanges(const db::Column& c, const db::Column& d) const {
    return TypeChanges(c, d) || c.notNull != d.notNull || DefaultChanges(c, d) ||
           c.autoIncrement != d.autoIncrement || GeneratedChanges(c, d) ||
           (SameEngine() && c.collation != d.collation);
  }

  std::string IndexKey(const db::Index& index, const Translation& t) const {
    std::string key = index.unique ? "u|" : "i|";
    key += db::AsciiLower(index.method) + "|";
    for (const db::IndexPart& p : index.parts) {
      key += p.column.empty() ? "(" + db::NormalizedExpression(p.expression, t.fromQualifier) + ")"
                              : Folded(p.column);
      key += p.descending ? " desc," : ",";
    }
    return key + "|" + db::NormalizedExpression(index.predicate, t.fromQualifier);
  }
  std::string KeyOf(const db::ForeignKey& k) const {
    return NamesKey(k.columns) + "|" + Folded(k.referencedTable) + "|" +
           NamesKey(k.referencedColumns) + "|" + Action(k.onDelete) + "|" + Action(k.onUpdate);
  }
  std::string Action(const std::string& a) const {
    const bool mysql = t_.from == Dialect::kMysql || t_.to == Dialect::kMysql;
    return mysql && a == "RESTRICT" ? "NO ACTION" : a;
  }

  template <typename T, typename Key>
  static bool Contains(const std::vector<T>& items, const std::string& key, Key keyOf) {
    return std::any_of(items.begin(), items.end(), [&](const T& i) { return keyOf(i) == key; });
  }

  bool IndexIn(const db::Index& index, const Translation& tx, const db::Table& other,
               const Translation& otherTx) const {
    const std::string key = IndexKey(index, tx);
    for (const db::Index& i : other.indexes) {
      if (!i.backsForeignKey && IndexKey(i, otherTx) == key) return true;
    }
    return false;
  }

  bool NeedsRebuild(const Pairing& p) const {
    const db::Table& t1 = *p.t1;
    const db::Table& t2 = *p.t2;
    if (NamesKey(t1.primaryKey) != NamesKey(t2.primaryKey)) return true;
    for (const db::Column& c : t1.columns) {
      const db::Column* d = Partner(t1, t2, c);
      if (d ? ColumnChanges(c, *d) : !Addable(t1, c)) return true;
    }
    for (const db::Column& d : t2.columns) {
      if (!Kept(t1, t2, d)) return true;
    }
    for (const db::Index& i : t1.indexes) {
      if (IsConstraint(i) && !IndexIn(i, t_, t2, own_)) return true;
    }
    for (const db::Index& i : t2.indexes) {
      if (IsConstraint(i) && !IndexIn(i, own_, t1, t_)) return true;
    }
    std::set<std::string> keys1;
    std::set<std::string> keys2;
    for (const db::ForeignKey& k : t1.foreignKeys) keys1.insert(KeyOf(k));
    for (const db::ForeignKey& k : t2.foreignKeys) keys2.insert(KeyOf(k));
    if (keys1 != keys2) return true;
    if (SameEngine()) {
      std::multiset<std::string> checks1;
      std::multiset<std::string> checks2;
      for (const db::Check& c : t1.checks) checks1.insert(db::NormalizedExpression(c.expression));
      for (const db::Check& c : t2.checks) checks2.insert(db::NormalizedExpression(c.expression));
      if (checks1 != checks2) return true;
    }
    return false;
  }

  // What SQLite's ADD COLUMN takes: no key, a constant default, NOT NULL
  // only with a default other than NULL, not a stored generated column.
  static bool Addable(const db::Table& t1, const db::Column& c) {
    using Kind = db::Default::Kind;
    for (const std::string& k : t1.primaryKey) {
      if (SameName(k, c.name)) return false;
    }
    for (const db::Index& i : t1.indexes) {
      if (IsConstraint(i)) {
        for (const db::IndexPart& p : i.parts) {
          if (SameName(p.column, c.name)) return false;
        }
      }
    }
    for (const db::ForeignKey& k : t1.foreignKeys) {
      for (const std::string& col : k.columns) {
        if (SameName(col, c.name)) return false;
      }
    }
    const Kind kind = c.defaultValue.kind;
    if (kind == Kind::kCurrentTime || kind == Kind::kExpression) return false;
    if (c.notNull && (kind == Kind::kNone || kind == Kind::kNull)) return false;
    return c.generated.empty() || !c.generatedStored;
  }

  // Views. On one engine every view of DB 2 goes first and DB 1's come back
  // last, so that nothing a view reads is changed under it. Across engines
  // DB 1's queries cannot be written here: DB 2's own views stay (dropped
  // and made again around SQLite's rebuilds), those only DB 2 has go.
  void DropViews() {
    for (const Pairing& p : pairs_) {
      if (!p.t2 || !p.t2->view) continue;
      const bool go = SameEngine() || !p.t1 || D() == Dialect::kSqlite;
      if (!go) continue;
      std::string drop = "DROP VIEW IF EXISTS " + Q(p.t2->name);
      if (D() == Dialect::kPostgres) drop += " CASCADE";
      Add("drop the view " + p.t2->name + (p.t1 ? " (made again below)" : ""), {drop});
    }
  }

  std::vector<const db::Table*> InOrder(std::vector<const db::Table*> views) const {
    // A view reading another comes after it.
    std::vector<const db::Table*> ordered;
    std::set<const db::Table*> placed;
    for (std::size_t round = 0; round <= views.size() && ordered.size() < views.size(); ++round) {
      for (const db::Table* v : views) {
        if (placed.contains(v)) continue;
        bool ready = true;
        for (const db::Table* other : views) {
          if (other != v && !placed.contains(other) &&
              Folded(v->viewDefinition).find(Folded(other->name)) != std::string::npos) {
            ready = false;
          }
        }
        if (ready || round == views.size()) {
          ordered.push_back(v);
          placed.insert(v);
        }
      }
    }
    return ordered;
  }

  void CreateViews() {
    std::vector<const db::Table*> views;
    std::vector<const db::Table*> own;
    for (const Pairing& p : pairs_) {
      if (p.t1 && p.t1->view) {
        if (SameEngine()) {
          views.push_back(p.t1);
        } else {
          // Nothing to write; DB 2's own view of the name comes back on SQLite.
          std::vector<std::string> left = CreateView(t_, *p.t1);
          if (p.t2 && D() == Dialect::kSqlite) own.push_back(p.t2);
        }
      }
    }
    for (const db::Table* v : InOrder(views)) {
      Add("make the view " + v->name, CreateView(t_, *v));
    }
    for (const db::Table* v : InOrder(own)) {
      Add("make DB 2's view " + v->name + " again", CreateView(own_, *v));
    }
  }

  static std::string TriggerKey(const db::Trigger& t) {
    return Folded(t.name) + "|" + t.timing + "|" + t.event + "|" + db::NormalizedExpression(t.body);
  }

  void DropTriggers() {
    if (!SameEngine()) return;
    for (const Pairing& p : pairs_) {
      if (!p.t2 || !p.t1 || p.rebuild) continue;  // gone with its table otherwise
      for (const db::Trigger& tr : p.t2->triggers) {
        if (Contains(p.t1->triggers, TriggerKey(tr), TriggerKey)) continue;
        std::string drop = "DROP TRIGGER IF EXISTS " + Q(tr.name);
        if (D() == Dialect::kPostgres) drop += " ON " + Q(p.t2->name);
        Add("drop the trigger " + tr.name, {drop});
      }
    }
  }

  void CreateTriggers() {
    for (const Pairing& p : pairs_) {
      if (!p.t1) continue;
      if (!SameEngine()) {
        for (const db::Trigger& tr : p.t1->triggers) CreateTrigger(t_, tr, p.t1->name);
        // A rebuilt SQLite table gets DB 2's own triggers back.
        if (p.rebuild && p.t2) {
          for (const db::Trigger& tr : p.t2->triggers) {
            Add("make DB 2's trigger " + tr.name + " again", CreateTrigger(own_, tr, p.t2->name));
          }
        }
        continue;
      }
      for (const db::Trigger& tr : p.t1->triggers) {
        if (p.t2 && !p.rebuild && Contains(p.t2->triggers, TriggerKey(tr), TriggerKey)) continue;
        Add("make the trigger " + tr.name, CreateTrigger(t_, tr, p.t1->name));
      }
    }
  }

  void DropForeignKeys() {
    if (D() == Dialect::kSqlite) return;  // rebuilt with their tables
    for (const Pairing& p : pairs_) {
      if (!p.t2 || p.t2->view) continue;
      for (const db::ForeignKey& k : p.t2->foreignKeys) {
        if (p.t1 && Contains(p.t1->foreignKeys, KeyOf(k),
                             [this](const db::ForeignKey& x) { return KeyOf(x); })) {
          continue;
        }
        const std::string drop = D() == Dialect::kMysql ? " DROP FOREIGN KEY " : " DROP CONSTRAINT ";
        Add("drop the foreign key " + k.name + " of " + p.t2->name,
            {"ALTER TABLE " + Q(p.t2->name) + drop + Q(k.name)});
      }
    }
  }

  void AddForeignKeys() {
    if (D() == Dialect::kSqlite) return;  // written with their tables
    for (const Pairing& p : pairs_) {
      if (!p.t1 || p.t1->view) continue;
      for (const db::ForeignKey& k : p.t1->foreignKeys) {
        if (p.t2 && Contains(p.t2->foreignKeys, KeyOf(k),
                             [this](const db::ForeignKey& x) { return KeyOf(x); })) {
          continue;
        }
        // MySQL numbers the references it names (t_ibfk_1, ...) from the
        // highest number the table has had: a name DB 1's server made is
        // given as such, so that the result is DB 1 to the name.
        const auto keyOf = [this](const db::ForeignKey& x) { return KeyOf(x); };
        // Unless one that stays has the name.
        const bool taken =
            p.t2 && std::any_of(p.t2->foreignKeys.begin(), p.t2->foreignKeys.end(),
                                [&](const db::ForeignKey& x) {
                                  return SameName(x.name, k.name) &&
                                         Contains(p.t1->foreignKeys, KeyOf(x), keyOf);
                                });
        db::ForeignKey named = k;
        const bool sameServer = D() == Dialect::kMysql && SameEngine();
        if (sameServer && k.engineNamed && !k.name.empty() && !taken) named.engineNamed = false;
        std::string clause = ForeignKeyClause(t_, named);
        // MySQL names the index it makes for a reference after the
        // constraint: one DB 1 has under another name is made first, in
        // the same statement, and the reference uses it.
        if (sameServer) {
          for (const db::Index& i : p.t1->indexes) {
            if (!i.backsForeignKey || i.parts.size() != k.columns.size() ||
                (!named.engineNamed && SameName(i.name, k.name))) {
              continue;
            }
            bool same = true;
            for (std::size_t n = 0; n < i.parts.size(); ++n) {
              same = same && SameName(i.parts[n].column, k.columns[n]);
            }
            if (same) {
              clause = "INDEX " + Q(i.name) + " (" + QuoteList(D(), k.columns) + "), ADD " + clause;
              break;
            }
          }
        }
        Add(k.name.empty() ? "add a foreign key of " + p.t1->name + " (" +
                                 QuoteList(Dialect::kSqlite, k.columns) + ") to " +
                                 k.referencedTable
                           : "add the foreign key " + k.name + " of " + p.t1->name,
            {"ALTER TABLE " + Q(p.t1->name) + " ADD " + clause});
      }
    }
  }

  std::string DropIndex(const db::Table& t, const db::Index& i) const {
    if (D() == Dialect::kMysql) return "ALTER TABLE " + Q(t.name) + " DROP INDEX " + Q(i.name);
    if (D() == Dialect::kPostgres && i.constraint) {
      return "ALTER TABLE " + Q(t.name) + " DROP CONSTRAINT " + Q(i.name);
    }
    return "DROP INDEX " + Q(i.name);
  }

  void DropIndexesAndChecks() {
    for (const Pairing& p : pairs_) {
      if (!p.t1 || !p.t2 || p.t1->view) continue;
      for (const db::Index& i : p.t2->indexes) {
        if (i.backsForeignKey || IndexIn(i, own_, *p.t1, t_)) continue;
        if (p.rebuild) continue;  // gone with the old table
        if (D() == Dialect::kSqlite && IsConstraint(i)) continue;
        Add("drop the index " + i.name + " of " + p.t2->name, {DropIndex(*p.t2, i)});
      }
      if (!SameEngine() || D() == Dialect::kSqlite) continue;
      for (const db::Check& c : p.t2->checks) {
        const bool kept = std::any_of(p.t1->checks.begin(), p.t1->checks.end(), [&](const auto& x) {
          return db::NormalizedExpression(x.expression, t_.fromQualifier) ==
                 db::NormalizedExpression(c.expression, own_.fromQualifier);
        });
        if (kept || c.name.empty()) continue;
        Add("drop the check " + c.name + " of " + p.t2->name,
            {"ALTER TABLE " + Q(p.t2->name) + " DROP CONSTRAINT " + Q(c.name)});
      }
    }
  }

  void AddIndexesAndChecks() {
    for (const Pairing& p : pairs_) {
      if (!p.t1 || !p.t2 || p.t1->view || p.rebuild) continue;
      for (const db::Index& i : p.t1->indexes) {
        if (i.backsForeignKey || IndexIn(i, t_, *p.t2, own_)) continue;
        if (IsConstraint(i) && D() != Dialect::kSqlite) {
          Add("add the unique constraint " + i.name + " to " + p.t1->name,
              {"ALTER TABLE " + Q(p.t1->name) + " ADD " + UniqueClause(t_, i)});
        } else {
          const std::string create = CreateIndex(t_, *p.t1, i);
          if (!create.empty()) Add("make the index " + i.name + " of " + p.t1->name, {create});
        }
      }
      if (D() == Dialect::kSqlite) continue;
      for (const db::Check& c : p.t1->checks) {
        const bool there = std::any_of(p.t2->checks.begin(), p.t2->checks.end(), [&](const auto& x) {
          return db::NormalizedExpression(x.expression, own_.fromQualifier) ==
                 db::NormalizedExpression(c.expression, t_.fromQualifier);
        });
        if (there) continue;
        const std::string clause = CheckClause(t_, c, p.t1->name);
        if (!clause.empty()) {
          Add("add a check to " + p.t1->name, {"ALTER TABLE " + Q(p.t1->name) + " ADD " + clause});
        }
      }
    }
  }

  void DropTables() {
    for (const Pairing& p : pairs_) {
      if (p.t1 || !p.t2 || p.t2->view) continue;
      Add("drop the table " + p.t2->name, {"DROP TABLE " + Q(p.t2->name)},
          "drops the table " + p.t2->name + " and its rows");
    }
  }

  void CreateTables() {
    for (const Pairing& p : pairs_) {
      if (!p.t1 || p.t2 || p.t1->view) continue;
      Add("make the table " + p.t1->name, migrate::CreateTable(t_, *p.t1, D() == Dialect::kSqlite));
    }
  }

  void ChangeTables() {
    for (Pairing& p : pairs_) {
      if (!p.t1 || !p.t2 || p.t1->view) continue;
      if (p.t1->name != p.t2->name) RenameTable(*p.t1, *p.t2);
      if (p.rebuild) {
        Rebuild(*p.t1, *p.t2);
      } else if (D() == Dialect::kSqlite) {
        ChangeSqlite(*p.t1, *p.t2);
      } else if (D() == Dialect::kMysql) {
        ChangeMysql(*p.t1, *p.t2);
      } else {
        ChangePostgres(*p.t1, *p.t2);
      }
    }
  }

  void RenameTable(const db::Table& t1, const db::Table& t2);

  // PostgreSQL keeps the names it made up from the old table name (the
  // primary key's "<table>_pkey", "<table>_<column>_key", ..._fkey, ..._check,
  // an identity's sequence) when the table is renamed; DB 1 made fresh would
  // have them from the new name. Those that stay are renamed along.
  void FollowTableName(const db::Table& t1, const db::Table& t2,
                       std::vector<std::string>& statements) const;

  std::vector<std::string> RenameColumns(const db::Table& t1, const db::Table& t2) const {
    std::vector<std::string> statements;
    for (const db::Column& c : t1.columns) {
      const db::Column* d = Partner(t1, t2, c);
      if (!d || d->name == c.name) continue;
      const std::string table = Q(t1.name);
      if (D() == Dialect::kMysql || !SameName(d->name, c.name)) {
        statements.push_back("ALTER TABLE " + table + " RENAME COLUMN " + Q(d->name) + " TO " +
                             Q(c.name));
      } else {
        const std::string step = "vantrix_renaming_" + c.name;
        statements.push_back("ALTER TABLE " + table + " RENAME COLUMN " + Q(d->name) + " TO " +
                             Q(step));
        statements.push_back("ALTER TABLE " + table + " RENAME COLUMN " + Q(step) + " TO " +
                             Q(c.name));
      }
    }
    return statements;
  }

  void ChangeSqlite(const db::Table& t1, const db::Table& t2);

  // SQLite's documented way to change what ALTER TABLE cannot: a new table
  // of the wanted shape, the rows of the common columns copied, the old
  // table dropped and the new one renamed, its indexes made again; its
  // triggers and the views come back in their own steps. The whole script
  // runs with foreign keys off, in one transaction.
  void Rebuild(const db::Table& t1, const db::Table& t2);

  void ChangeMysql(const db::Table& t1, const db::Table& t2);

  void ChangePostgres(const db::Table& t1, const db::Table& t2);

  const db::Schema& db1_;
  const db::Schema& db2_;
  const ScriptOptions& options_;
  Script script_;
  Translation t_;
  Translation own_;
  std::vector<Pairing> pairs_;
};

}  // namespace vantrix::migrate::plan
