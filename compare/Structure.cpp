#include "compare/Structure.h"

#include <algorithm>
#include <map>

#include "compare/Rules.h"
#include "db/Defaults.h"

namespace vantrix::compare {
namespace {

using db::Dialect;

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return out;
}

std::string Joined(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& name : names) out += (out.empty() ? "" : ", ") + name;
  return out;
}

// Column names are compared without letter case: every engine here finds a
// column whatever the case it is written in.
std::string NamesKey(const std::vector<std::string>& names) {
  std::string key;
  for (const std::string& name : names) key += Lower(name) + '\x1f';
  return key;
}

class Finder {
public:
  Finder(const StructureSide& a, const StructureSide& b, const FindingsOptions& options)
      : a_(a), b_(b), options_(options), sameEngine_(a.dialect == b.dialect) {}

  std::vector<StructureFinding> Run() {
    if (!a_.table.view && !b_.table.view) PrimaryKey();
    Columns();
    if (!options_.Ignores(Ignorable::kIndexes)) Indexes();
    if (!options_.Ignores(Ignorable::kForeignKeys)) ForeignKeys();
    if (!options_.Ignores(Ignorable::kChecks)) Checks();
    if (!options_.Ignores(Ignorable::kTriggers)) Triggers();
    if (!options_.Ignores(Ignorable::kViews)) ViewDefinition();
    if (options_.strict) ColumnOrder();
    return std::move(found_);
  }

private:
  void Add(ObjectKind object, std::string name, Change change, bool counts,
           std::optional<std::string> db1, std::optional<std::string> db2) {
    found_.push_back({object, std::move(name), change, counts, std::move(db1), std::move(db2)});
  }

  // A name counts only with --strict, on one engine, when both sides chose it.
  [[nodiscard]] bool NamesCount(bool engineNamed1, bool engineNamed2) const {
    return options_.strict && sameEngine_ && !engineNamed1 && !engineNamed2;
  }

  // An expression of each side, comparable on one engine.
  [[nodiscard]] std::string Expression1(std::string_view text) const {
    return db::NormalizedExpression(text, a_.qualifier);
  }
  [[nodiscard]] std::string Expression2(std::string_view text) const {
    return db::NormalizedExpression(text, b_.qualifier);
  }

  void PrimaryKey() {
    const auto& k1 = a_.table.primaryKey;
    const auto& k2 = b_.table.primaryKey;
    const auto shown = [](const std::vector<std::string>& key) {
      return key.empty() ? std::optional<std::string>() : "PRIMARY KEY (" + Joined(key) + ")";
    };
    if (NamesKey(k1) != NamesKey(k2)) {
      const Change change = k1.empty()   ? Change::kOnlyInDb2
                            : k2.empty() ? Change::kOnlyInDb1
                                         : Change::kDiffers;
      Add(ObjectKind::kPrimaryKey, a_.table.primaryKeyName, change, true, shown(k1), shown(k2));
    } else if (!k1.empty() && a_.table.primaryKeyName != b_.table.primaryKeyName &&
               NamesCount(a_.table.primaryKeyName.empty(), b_.table.primaryKeyName.empty())) {
      Add(ObjectKind::kPrimaryKey, a_.table.primaryKeyName, Change::kDiffers, true,
          "CONSTRAINT " + a_.table.primaryKeyName + " " + *shown(k1),
          "CONSTRAINT " + b_.table.primaryKeyName + " " + *shown(k2));
    }
  }

  void Columns() {
    std::map<std::string, const db::Column*> second;
    for (const db::Column& c : b_.table.columns) second.emplace(c.name, &c);
    const bool views = a_.table.view || b_.table.view;
    for (const db::Column& c : a_.table.columns) {
      const auto it = second.find(c.name);
      if (it == second.end()) continue;
      const db::Column& d = *it->second;
      if (!views && !options_.Ignores(Ignorable::kDefaults)) Default(c, d);
      if (!views && c.autoIncrement != d.autoIncrement) {
        Add(ObjectKind::kAutoIncrement, c.name,
            c.autoIncrement ? Change::kOnlyInDb1 : Change::kOnlyInDb2, true,
            c.autoIncrement ? std::optional<std::string>("auto-increment") : std::nullopt,
            d.autoIncrement ? std::optional<std::string>("auto-increment") : std::nullopt);
      }
      Generated(c, d);
      if (options_.strict && sameEngine_ && !options_.Ignores(Ignorable::kCollations) &&
          (Lower(c.collation) != Lower(d.collation) || Lower(c.charset) != Lower(d.charset))) {
        Add(ObjectKind::kCollation, c.name, Change::kDiffers, true, Collation(c), Collation(d));
      }
    }
    if (options_.strict && sameEngine_ && !options_.Ignores(Ignorable::kCollations) &&
        Lower(a_.table.collation) != Lower(b_.table.collation)) {
      Add(ObjectKind::kCollation, "", Change::kDiffers, true, a_.table.collation,
          b_.table.collation);
    }
  }

  static std::optional<std::string> Collation(const db::Column& c) {
    if (c.collation.empty() && c.charset.empty()) return std::nullopt;
    std::string text = c.charset.empty() ? "" : "CHARACTER SET " + c.charset;
    if (!c.collation.empty()) text += (text.empty() ? "" : " ") + ("COLLATE " + c.collation);
    return text;
  }

  static std::optional<std::string> Declared(const db::Default& d) {
    if (d.kind == db::Default::Kind::kNone) return std::nullopt;
    return "DEFAULT " + d.declared;
  }

  void Default(const db::Column& c, const db::Column& d) {
    const db::Default& a = c.defaultValue;
    const db::Default& b = d.defaultValue;
    if (db::SameDefault(a, b)) return;
    // An expression written by two engines cannot be compared by its text,
    // unless the texts are the same.
    const bool expression =
        a.kind == db::Default::Kind::kExpression || b.kind == db::Default::Kind::kExpression;
    if (expression && !sameEngine_) {
      Add(ObjectKind::kDefault, c.name, Change::kNotComparable, false, Declared(a), Declared(b));
      return;
    }
    const bool none1 = a.kind == db::Default::Kind::kNone || a.kind == db::Default::Kind::kNull;
    const bool none2 = b.kind == db::Default::Kind::kNone || b.kind == db::Default::Kind::kNull;
    Add(ObjectKind::kDefault, c.name,
        none1 ? Change::kOnlyInDb2 : none2 ? Change::kOnlyInDb1 : Change::kDiffers, true,
        Declared(a), Declared(b));
  }

  void Generated(const db::Column& c, const db::Column& d) {
    if (c.generated.empty() && d.generated.empty()) return;
    const auto shown = [](const db::Column& column) -> std::optional<std::string> {
      if (column.generated.empty()) return std::nullopt;
      return "AS (" + column.generated + ")" + (column.generatedStored ? " STORED" : " VIRTUAL");
    };
    if (c.generated.empty() || d.generated.empty()) {
      Add(ObjectKind::kGenerated, c.name,
          c.generated.empty() ? Change::kOnlyInDb2 : Change::kOnlyInDb1, true, shown(c), shown(d));
      return;
    }
    const bool sameText = Expression1(c.generated) == Expression2(d.generated);
    if (sameText && c.generatedStored == d.generatedStored) return;
    if (!sameText && !sameEngine_) {
      Add(ObjectKind::kGenerated, c.name, Change::kNotComparable, false, shown(c), shown(d));
    } else {
      Add(ObjectKind::kGenerated, c.name, Change::kDiffers, true, shown(c), shown(d));
    }
  }

  // What an index is, whatever it is called: unique or not, method, parts
  // in order with their direction, condition.
  [[nodiscard]] std::string IndexKey(const db::Index& index, bool first) const {
    std::string key = index.unique ? "u|" : "i|";
    key += Lower(index.method) + "|";
    for (const db::IndexPart& part : index.parts) {
      key += part.column.empty() ? "(" + (first ? Expression1(part.expression)
                                                : Expression2(part.expression)) + ")"
                                 : Lower(part.column);
      if (part.descending) key += " desc";
      if (sameEngine_ && part.prefixLength > 0) key += "(" + std::to_string(part.prefixLength) + ")";
      key += ",";
    }
    key += "|" + (first ? Expression1(index.predicate) : Expression2(index.predicate));
    return key;
  }

  static std::string Shown(const db::Index& index) {
    if (!index.declared.empty()) return index.declared;
    std::vector<std::string> parts;
    for (const db::IndexPart& p : index.parts) {
      parts.push_back((p.column.empty() ? "(" + p.expression + ")" : p.column) +
                      (p.descending ? " DESC" : ""));
    }
    return std::string(index.unique ? "UNIQUE INDEX " : "INDEX ") + index.name + " (" +
           Joined(parts) + ")";
  }

  void Indexes() {
    std::multimap<std::string, const db::Index*> second;
    for (const db::Index& index : b_.table.indexes) {
      if (!index.backsForeignKey) second.emplace(IndexKey(index, false), &index);
    }
    for (const db::Index& index : a_.table.indexes) {
      if (index.backsForeignKey) continue;
      const ObjectKind kind = index.unique ? ObjectKind::kUnique : ObjectKind::kIndex;
      const auto it = second.find(IndexKey(index, true));
      if (it == second.end()) {
        Add(kind, index.name, Change::kOnlyInDb1, true, Shown(index), std::nullopt);
        continue;
      }
      const db::Index& other = *it->second;
      if (index.name != other.name && NamesCount(index.engineNamed, other.engineNamed)) {
        Add(kind, index.name, Change::kDiffers, true, Shown(index), Shown(other));
      }
      second.erase(it);
    }
    for (const db::Index& index : b_.table.indexes) {
      if (index.backsForeignKey) continue;
      bool left = false;
      for (const auto& [key, remaining] : second) left = left || remaining == &index;
      if (left) {
        Add(index.unique ? ObjectKind::kUnique : ObjectKind::kIndex, index.name,
            Change::kOnlyInDb2, true, std::nullopt, Shown(index));
      }
    }
  }

  // RESTRICT and NO ACTION mean the same on MySQL and MariaDB.
  [[nodiscard]] std::string Action(const std::string& action) const {
    const bool mysql = a_.dialect == Dialect::kMysql || b_.dialect == Dialect::kMysql;
    return mysql && action == "RESTRICT" ? "NO ACTION" : action;
  }

  void ForeignKeys() {
    const auto key = [](const db::ForeignKey& k) {
      return NamesKey(k.columns) + "|" + Lower(k.referencedTable) + "|" +
             NamesKey(k.referencedColumns);
    };
    std::multimap<std::string, const db::ForeignKey*> second;
    for (const db::ForeignKey& k : b_.table.foreignKeys) second.emplace(key(k), &k);
    for (const db::ForeignKey& k : a_.table.foreignKeys) {
      const auto it = second.find(key(k));
      if (it == second.end()) {
        Add(ObjectKind::kForeignKey, k.name, Change::kOnlyInDb1, true, k.declared, std::nullopt);
        continue;
      }
      const db::ForeignKey& other = *it->second;
      const bool actions = Action(k.onDelete) != Action(other.onDelete) ||
                           Action(k.onUpdate) != Action(other.onUpdate);
      const bool names = k.name != other.name && NamesCount(k.engineNamed, other.engineNamed);
      if (actions || names) {
        Add(ObjectKind::kForeignKey, k.name.empty() ? other.name : k.name, Change::kDiffers, true,
            k.declared, other.declared);
      }
      second.erase(it);
    }
    for (const auto& [unused, k] : second) {
      Add(ObjectKind::kForeignKey, k->name, Change::kOnlyInDb2, true, std::nullopt, k->declared);
    }
  }

  void Checks() {
    std::multimap<std::string, const db::Check*> second;
    for (const db::Check& c : b_.table.checks) second.emplace(Expression2(c.expression), &c);
    std::vector<const db::Check*> unmatched;
    for (const db::Check& c : a_.table.checks) {
      const auto it = second.find(Expression1(c.expression));
      if (it == second.end()) {
        unmatched.push_back(&c);
        continue;
      }
      const db::Check& other = *it->second;
      if (c.name != other.name && NamesCount(c.engineNamed, other.engineNamed)) {
        Add(ObjectKind::kCheck, c.name, Change::kDiffers, true, "CHECK (" + c.expression + ")",
            "CHECK (" + other.expression + ")");
      }
      second.erase(it);
    }
    // Across engines a condition's text cannot tell whether two checks
    // mean the same: what is left over is a note.
    const bool counts = sameEngine_;
    for (const db::Check* c : unmatched) {
      Add(ObjectKind::kCheck, c->name, counts ? Change::kOnlyInDb1 : Change::kNotComparable,
          counts, "CHECK (" + c->expression + ")", std::nullopt);
    }
    for (const auto& [unused, c] : second) {
      Add(ObjectKind::kCheck, c->name, counts ? Change::kOnlyInDb2 : Change::kNotComparable,
          counts, std::nullopt, "CHECK (" + c->expression + ")");
    }
  }

  // A trigger's statements whether or not they are wrapped in BEGIN ... END
  // (SQLite always wraps them, MariaDB only several), without the last
  // semicolon.
  static std::string Statements(std::string body) {
    if (body.starts_with("begin ") && body.ends_with("end")) {
      const std::size_t before = body.size() - 3;
      const bool word = before > 0 && (body[before - 1] == ' ' || body[before - 1] == ';');
      if (word) body = body.substr(6, before - 6);
    }
    while (!body.empty() && (body.back() == ';' || body.back() == ' ')) body.pop_back();
    return body;
  }
  [[nodiscard]] std::string Body1(const db::Trigger& t) const {
    return Statements(Expression1(t.body));
  }
  [[nodiscard]] std::string Body2(const db::Trigger& t) const {
    return Statements(Expression2(t.body));
  }

  void Triggers() {
    std::map<std::string, const db::Trigger*> second;
    for (const db::Trigger& t : b_.table.triggers) second.emplace(Lower(t.name), &t);
    for (const db::Trigger& t : a_.table.triggers) {
      const auto it = second.find(Lower(t.name));
      if (it == second.end()) {
        Add(ObjectKind::kTrigger, t.name, Change::kOnlyInDb1, true, t.declared, std::nullopt);
        continue;
      }
      const db::Trigger& other = *it->second;
      second.erase(it);
      if (t.timing != other.timing || t.event != other.event ||
          (sameEngine_ && Body1(t) != Body2(other))) {
        Add(ObjectKind::kTrigger, t.name, Change::kDiffers, true, t.declared, other.declared);
      } else if (!sameEngine_ && Body1(t) != Body2(other)) {
        Add(ObjectKind::kTrigger, t.name, Change::kNotComparable, false, t.declared,
            other.declared);
      }
    }
    for (const auto& [unused, t] : second) {
      Add(ObjectKind::kTrigger, t->name, Change::kOnlyInDb2, true, std::nullopt, t->declared);
    }
  }

  void ViewDefinition() {
    if (!a_.table.view || !b_.table.view) return;
    // Every view has a query; one read empty was kept from the account
    // (MariaDB and MySQL show it only with SHOW VIEW): nothing to compare,
    // and no difference either.
    const std::string& query1 = a_.table.viewDefinition;
    const std::string& query2 = b_.table.viewDefinition;
    if (query1.empty() || query2.empty()) {
      const auto shown = [](const std::string& query) {
        return query.empty() ? std::nullopt : std::optional<std::string>(query);
      };
      Add(ObjectKind::kViewDefinition, "", Change::kNotComparable, false, shown(query1),
          shown(query2));
      return;
    }
    if (Expression1(query1) == Expression2(query2)) return;
    Add(ObjectKind::kViewDefinition, "", sameEngine_ ? Change::kDiffers : Change::kNotComparable,
        sameEngine_, query1, query2);
  }

  void ColumnOrder() {
    std::vector<std::string> common1;
    std::vector<std::string> common2;
    std::map<std::string, int> in2;
    for (const db::Column& c : b_.table.columns) in2[c.name] = 1;
    std::map<std::string, int> in1;
    for (const db::Column& c : a_.table.columns) {
      in1[c.name] = 1;
      if (in2.contains(c.name)) common1.push_back(c.name);
    }
    for (const db::Column& c : b_.table.columns) {
      if (in1.contains(c.name)) common2.push_back(c.name);
    }
    if (common1 != common2) {
      Add(ObjectKind::kColumnOrder, "", Change::kDiffers, false, Joined(common1),
          Joined(common2));
    }
  }

  const StructureSide& a_;
  const StructureSide& b_;
  const FindingsOptions& options_;
  const bool sameEngine_;
  std::vector<StructureFinding> found_;
};

}  // namespace

std::vector<StructureFinding> CompareStructure(const StructureSide& db1, const StructureSide& db2,
                                               const FindingsOptions& options) {
  return Finder(db1, db2, options).Run();
}

}  // namespace vantrix::compare
