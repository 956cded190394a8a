#include "migrate/Script.h"

#include <algorithm>
#include <map>
#include <set>

#include "compare/Rules.h"
#include "db/Ascii.h"
#include "db/Database.h"
#include "db/Defaults.h"
#include "migrate/Sql.h"

namespace vantrix::migrate {
namespace {

using db::Dialect;

std::string Folded(std::string_view name) { return compare::FoldCase(name); }
bool SameName(std::string_view a, std::string_view b) { return Folded(a) == Folded(b); }

std::string NamesKey(const std::vector<std::string>& names) {
  std::string key;
  for (const std::string& n : names) key += Folded(n) + '\x1f';
  return key;
}

// The widening changes of type code that keep every value.
bool Widens(int from, int to) {
  static const std::set<std::pair<int, int>> kWider = {
      {1, 2},  {1, 3},  {1, 19}, {1, 13}, {2, 3},  {2, 19}, {2, 13}, {3, 19}, {3, 13},
      {19, 13}, {6, 7}, {4, 5},  {4, 15}, {5, 15}, {12, 1}, {12, 2}, {12, 3}, {12, 19},
      {1, 5},  {2, 5},  {3, 5},  {19, 5}, {13, 5}, {6, 5},  {7, 5},  {8, 5},  {9, 5},
      {10, 5}, {8, 10}};
  return kWider.contains({from, to});
}

// Why changing a column from `before` to `after` can lose data, or empty
// when every value of the old type fits the new one.
std::string Narrowing(const db::Column& before, const db::Column& after) {
  const db::TypeDetails a = db::ParseTypeDetails(before.declaredType, before.enumValues);
  const db::TypeDetails b = db::ParseTypeDetails(after.declaredType, after.enumValues);
  const std::string change =
      before.name + " changes from " + before.declaredType + " to " + after.declaredType;
  if (before.typeCode != after.typeCode) {
    if (!Widens(before.typeCode, after.typeCode)) return change + ", which may not hold its values";
    // Text widened to a text with a length must still be long enough.
    if (b.length && (!a.length || *a.length > *b.length)) return change + ", which is shorter";
    return {};
  }
  if (b.length && (!a.length || *a.length > *b.length)) return change + ", which is shorter";
  if (a.precision && b.precision) {
    const long long wholeA = *a.precision - a.scale.value_or(0);
    const long long wholeB = *b.precision - b.scale.value_or(0);
    if (wholeB < wholeA || b.scale.value_or(0) < a.scale.value_or(0)) {
      return change + ", which has less precision or scale";
    }
  } else if (b.precision && !a.precision && (after.typeCode == 13)) {
    return change + ", which has less precision or scale";
  }
  if (a.isUnsigned != b.isUnsigned) return change + ", which has another range";
  if (!a.values.empty() && !b.values.empty() && a.values != b.values) {
    return change + ", whose values are others";
  }
  return {};
}

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

  void RenameTable(const db::Table& t1, const db::Table& t2) {
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

  // PostgreSQL keeps the names it made up from the old table name (the
  // primary key's "<table>_pkey", "<table>_<column>_key", ..._fkey, ..._check,
  // an identity's sequence) when the table is renamed; DB 1 made fresh would
  // have them from the new name. Those that stay are renamed along.
  void FollowTableName(const db::Table& t1, const db::Table& t2,
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

  void ChangeSqlite(const db::Table& t1, const db::Table& t2) {
    Add("rename columns of " + t1.name, RenameColumns(t1, t2));
    for (const db::Column& c : t1.columns) {
      if (Partner(t1, t2, c)) continue;
      Add("add the column " + c.name + " to " + t1.name,
          {"ALTER TABLE " + Q(t1.name) + " ADD COLUMN " + ColumnDefinition(t_, t1, c)});
    }
  }

  // SQLite's documented way to change what ALTER TABLE cannot: a new table
  // of the wanted shape, the rows of the common columns copied, the old
  // table dropped and the new one renamed, its indexes made again; its
  // triggers and the views come back in their own steps. The whole script
  // runs with foreign keys off, in one transaction.
  void Rebuild(const db::Table& t1, const db::Table& t2) {
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

  void ChangeMysql(const db::Table& t1, const db::Table& t2) {
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

  void ChangePostgres(const db::Table& t1, const db::Table& t2) {
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

  const db::Schema& db1_;
  const db::Schema& db2_;
  const ScriptOptions& options_;
  Script script_;
  Translation t_;
  Translation own_;
  std::vector<Pairing> pairs_;
};

std::string Commented(const std::string& text) {
  std::string out;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = text.find('\n', start);
    out += "-- " + text.substr(start, end == std::string::npos ? std::string::npos : end - start) +
           "\n";
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return out;
}

std::vector<std::string> Opening(Dialect d) {
  // A table made again is renamed into place while triggers on other
  // tables still name it: the legacy rename leaves them be.
  if (d == Dialect::kSqlite) {
    return {"PRAGMA foreign_keys = OFF", "PRAGMA legacy_alter_table = ON", "BEGIN"};
  }
  if (d == Dialect::kPostgres) return {"BEGIN"};
  return {};
}

std::vector<std::string> Closing(Dialect d) {
  if (d == Dialect::kSqlite) {
    return {"PRAGMA foreign_key_check", "COMMIT", "PRAGMA legacy_alter_table = OFF",
            "PRAGMA foreign_keys = ON"};
  }
  if (d == Dialect::kPostgres) return {"COMMIT"};
  return {};
}

}  // namespace

int Script::Unsafe() const {
  return static_cast<int>(std::count_if(steps.begin(), steps.end(),
                                        [](const Step& s) { return s.unsafe; }));
}

Script PlanScript(const db::Schema& db1, const db::Schema& db2, const ScriptOptions& options) {
  return Planner(db1, db2, options).Run();
}

std::vector<std::string> Statements(const Script& script, bool allowUnsafe) {
  std::vector<std::string> out;
  if (script.steps.empty()) return out;
  for (const std::string& s : Opening(script.dialect)) out.push_back(s);
  for (const Step& step : script.steps) {
    if (step.unsafe && !allowUnsafe) continue;
    out.insert(out.end(), step.statements.begin(), step.statements.end());
  }
  for (const std::string& s : Closing(script.dialect)) out.push_back(s);
  return out;
}

void WriteScript(std::ostream& out, const Script& script, const ScriptHeader& header,
                 bool allowUnsafe) {
  const int held = allowUnsafe ? 0 : script.Unsafe();
  out << "-- The SQL that makes DB 2's structure like DB 1's, written by vantrix-diff "
      << header.version << "\n"
      << Commented("DB 1: " + header.db1) << Commented("DB 2: " + header.db2)
      << "-- " << header.generatedAt << "\n";
  if (script.steps.empty()) {
    out << "-- Nothing to change: DB 2's structure is already DB 1's.\n";
  } else if (held > 0) {
    out << "-- " << held << (held == 1 ? " step" : " steps")
        << " held back as unsafe (they can lose data; --allow-unsafe writes them)\n";
  } else {
    out << "-- No step held back.\n";
  }
  for (const std::string& note : script.notes) out << Commented("not written: " + note);
  for (const std::string& outside : script.outside) {
    out << Commented("needed and not made here: " + outside);
  }
  if (script.steps.empty()) return;
  out << "\n";
  for (const std::string& s : Opening(script.dialect)) out << s << ";\n";
  for (const Step& step : script.steps) {
    out << "\n-- " << step.what << "\n";
    const bool back = step.unsafe && !allowUnsafe;
    if (step.unsafe) out << "-- unsafe: " << step.reason << "\n";
    for (const std::string& statement : step.statements) {
      out << (back ? Commented(statement + ";") : statement + ";\n");
    }
  }
  out << "\n";
  for (const std::string& s : Closing(script.dialect)) out << s << ";\n";
}

}  // namespace vantrix::migrate
