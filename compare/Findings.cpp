#include "compare/Findings.h"

#include <algorithm>

#include <re2/re2.h>

#include <unordered_map>
#include <unordered_set>

#include "compare/Rules.h"
#include "compare/Structure.h"
#include "db/TypeCodes.h"
#include "db/TypeDetails.h"

namespace vantrix::compare {
namespace {

bool CompileAll(const std::vector<std::string>& patterns, const char* option,
                std::vector<std::shared_ptr<const re2::RE2>>& out, std::string& error) {
  re2::RE2::Options options;
  options.set_case_sensitive(false);
  options.set_log_errors(false);
  for (const std::string& pattern : patterns) {
    auto compiled = std::make_shared<const re2::RE2>(pattern, options);
    if (!compiled->ok()) {
      error = std::string(option) + " \"" + pattern + "\": " + compiled->error();
      return false;
    }
    out.push_back(std::move(compiled));
  }
  return true;
}

bool MatchesAny(const std::vector<std::shared_ptr<const re2::RE2>>& patterns,
                std::string_view text) {
  for (const auto& pattern : patterns) {
    if (re2::RE2::FullMatch(text, *pattern)) return true;
  }
  return false;
}

FieldFacts FactsOf(const db::Column& column) {
  return {column.declaredType, column.typeCode, db::ConvertFieldType(column.typeCode),
          column.notNull, column.primaryKey};
}

// The first field of each name decides, as in the window.
std::unordered_map<std::string_view, const db::Column*> FirstByName(
    const std::vector<db::Column>& columns) {
  std::unordered_map<std::string_view, const db::Column*> first;
  first.reserve(columns.size());
  for (const db::Column& c : columns) first.emplace(c.name, &c);
  return first;
}

std::string ReasonOf(const db::Table& table) {
  if (table.state == db::TableState::kUnknown) return "the engine does not know the table";
  return table.error.empty() ? "its fields cannot be read" : table.error;
}

class Counter {
public:
  explicit Counter(Findings& findings) : findings_(findings) {}

  void Add(TableFinding table) {
    FindingsCounts& c = findings_.counts;
    switch (table.status) {
      case TableStatus::kSame:
        ++c.same;
        break;
      case TableStatus::kDiffers:
        ++c.differ;
        break;
      case TableStatus::kOnlyInDb1:
        ++c.onlyInDb1;
        break;
      case TableStatus::kOnlyInDb2:
        ++c.onlyInDb2;
        break;
      case TableStatus::kNotChecked:
        ++c.notChecked;
        break;
    }
    // One-way asks the window's question, where letter case is no note.
    if (table.nameCaseDiffers && !findings_.strict && !findings_.oneWay) ++c.notes;
    for (const FieldFinding& field : table.fields) {
      if (field.counts) {
        ++c.fieldDifferences;
      } else if (field.kind != FieldKind::kSame) {
        ++c.notes;
      }
    }
    for (const StructureFinding& finding : table.structure) {
      ++(finding.counts ? c.structureDifferences : c.notes);
    }
    findings_.tables.push_back(std::move(table));
  }

private:
  Findings& findings_;
};

// A detail of two declared types, for `detail`: "length 30 vs 60", or
// "length 30 in DB 1 only"; whether both declare it.
template <typename T>
void CompareDetail(const char* what, const std::optional<T>& a, const std::optional<T>& b,
                   std::vector<std::string>& differences, bool& counts, bool crossEngine) {
  if (a == b) return;
  if (a && b) {
    differences.push_back(std::string(what) + " " + std::to_string(*a) + " vs " +
                          std::to_string(*b));
    counts = true;
  } else {
    differences.push_back(std::string(what) + " " + std::to_string(a ? *a : *b) + " in DB " +
                          (a ? "1" : "2") + " only");
    counts = counts || !crossEngine;
  }
}

void CompareFlag(const char* what, bool a, bool b, std::vector<std::string>& differences) {
  if (a != b) differences.push_back(std::string(what) + " in DB " + (a ? "1" : "2") + " only");
}

// The finding on two fields of one type code whose declarations differ, if
// they do (see FieldKind::kDeclaredTypeDiffers).
std::optional<FieldFinding> DeclaredTypeFinding(const db::Column& c, db::Dialect dialect1,
                                                const db::Column& d, db::Dialect dialect2) {
  // The same words give the same details: nothing to tell, whatever the
  // engines (most fields of two schemas compared).
  if (c.declaredType == d.declaredType && c.enumValues == d.enumValues) return std::nullopt;
  const db::TypeDetails a = db::ParseTypeDetails(c.declaredType, c.enumValues);
  const db::TypeDetails b = db::ParseTypeDetails(d.declaredType, d.enumValues);
  const bool crossEngine = dialect1 != dialect2;
  std::vector<std::string> differences;
  bool counts = false;
  if (!crossEngine && a.normalized != b.normalized) {
    counts = true;
    if (a.base != b.base) differences.push_back(a.base + " vs " + b.base);
  }
  CompareDetail("length", a.length, b.length, differences, counts, crossEngine);
  CompareDetail("precision", a.precision, b.precision, differences, counts, crossEngine);
  CompareDetail("scale", a.scale, b.scale, differences, counts, crossEngine);
  CompareFlag("unsigned", a.isUnsigned, b.isUnsigned, differences);
  CompareFlag("with time zone", a.withTimeZone, b.withTimeZone, differences);
  CompareFlag("array", a.array, b.array, differences);
  if (a.values != b.values && !a.values.empty() && !b.values.empty()) {
    differences.push_back("values " + a.values + " vs " + b.values);
  }
  if (differences.empty()) {
    if (!counts) return std::nullopt;
    differences.push_back(a.normalized + " vs " + b.normalized);
  }
  std::string detail;
  for (const std::string& difference : differences) {
    detail += (detail.empty() ? "" : "; ") + difference;
  }
  return FieldFinding{FieldKind::kDeclaredTypeDiffers, c.name, FactsOf(c), FactsOf(d), counts, {},
                      detail};
}

// A field without a declared type: SQLite's for a view's computed column.
bool Undeclared(const db::Column& column) {
  return column.typeCode == 0 && column.declaredType.empty();
}

// Symmetric: every field finding of two readable tables.
std::vector<FieldFinding> FieldFindings(const db::Table& db1, const db::Table& db2, bool strict,
                                        db::Dialect dialect1, db::Dialect dialect2) {
  std::vector<FieldFinding> found;
  const auto first2 = FirstByName(db2.columns);
  std::unordered_set<std::string_view> names1;
  for (const db::Column& c : db1.columns) {
    names1.insert(c.name);
    const auto it = first2.find(c.name);
    if (it == first2.end()) {
      found.push_back({FieldKind::kMissingInDb2, c.name, FactsOf(c), std::nullopt, true, {}});
      continue;
    }
    const db::Column& d = *it->second;
    if (!SameType(c, d)) {
      const bool comparable = !Undeclared(c) && !Undeclared(d);
      found.push_back({comparable ? FieldKind::kTypeDiffers : FieldKind::kTypeNotComparable,
                       c.name, FactsOf(c), FactsOf(d), comparable, {}});
    } else if (auto declared = DeclaredTypeFinding(c, dialect1, d, dialect2)) {
      found.push_back(std::move(*declared));
    }
    if (c.notNull != d.notNull) {
      found.push_back({FieldKind::kNotNullDiffers, c.name, FactsOf(c), FactsOf(d), strict, {}});
    }
    if (c.primaryKey != d.primaryKey) {
      found.push_back({FieldKind::kPrimaryKeyDiffers, c.name, FactsOf(c), FactsOf(d), strict, {}});
    }
  }
  for (const db::Column& d : db2.columns) {
    if (!names1.contains(d.name)) {
      found.push_back({FieldKind::kOnlyInDb2, d.name, std::nullopt, FactsOf(d), true, {}});
    }
  }
  return found;
}

std::vector<const db::Table*> InScope(const db::Schema& schema, const TableScope& scope) {
  std::vector<const db::Table*> tables;
  tables.reserve(schema.tables.size());
  for (const db::Table& t : schema.tables) {
    if (scope.Contains(t.name)) tables.push_back(&t);
  }
  return tables;
}

void Symmetric(const std::vector<const db::Table*>& db1, const std::vector<const db::Table*>& db2,
               const db::Schema& schema1, const db::Schema& schema2,
               const FindingsOptions& options, Findings& findings) {
  const db::Dialect dialect1 = db::DialectOf(schema1.engine);
  const db::Dialect dialect2 = db::DialectOf(schema2.engine);
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::vector<std::size_t> partner(db1.size(), kNone);
  std::vector<bool> taken(db2.size(), false);

  // Exact names first, then letter case ignored among the tables left; in
  // each pass DB 1's tables in order take DB 2's first free table.
  const auto pair = [&](auto keyOf) {
    std::unordered_map<std::string, std::vector<std::size_t>> free2;
    for (std::size_t j = 0; j < db2.size(); ++j) {
      if (!taken[j]) free2[keyOf(db2[j]->name)].push_back(j);
    }
    std::unordered_map<std::string, std::size_t> used;
    for (std::size_t i = 0; i < db1.size(); ++i) {
      if (partner[i] != kNone) continue;
      const auto it = free2.find(keyOf(db1[i]->name));
      if (it == free2.end()) continue;
      std::size_t& next = used[it->first];
      if (next >= it->second.size()) continue;
      partner[i] = it->second[next++];
      taken[partner[i]] = true;
    }
  };
  pair([](const std::string& name) { return name; });
  pair([](const std::string& name) { return FoldCase(name); });

  Counter counter(findings);
  for (std::size_t i = 0; i < db1.size(); ++i) {
    const db::Table& t1 = *db1[i];
    TableFinding table;
    table.db1Name = t1.name;
    if (t1.state != db::TableState::kRead) table.db1Reason = ReasonOf(t1);
    if (partner[i] == kNone) {
      table.status = TableStatus::kOnlyInDb1;
      counter.Add(std::move(table));
      continue;
    }
    const db::Table& t2 = *db2[partner[i]];
    table.db2Name = t2.name;
    table.nameCaseDiffers = t1.name != t2.name;
    if (t2.state != db::TableState::kRead) table.db2Reason = ReasonOf(t2);
    if (t1.state != db::TableState::kRead || t2.state != db::TableState::kRead) {
      table.status = TableStatus::kNotChecked;
    } else {
      table.fields = FieldFindings(t1, t2, findings.strict, dialect1, dialect2);
      if (options.structure) {
        table.structure = CompareStructure({t1, dialect1, schema1.qualifier},
                                           {t2, dialect2, schema2.qualifier}, options);
      }
      bool counts = findings.strict && table.nameCaseDiffers;
      for (const FieldFinding& f : table.fields) counts = counts || f.counts;
      for (const StructureFinding& f : table.structure) counts = counts || f.counts;
      table.status = counts ? TableStatus::kDiffers : TableStatus::kSame;
    }
    counter.Add(std::move(table));
  }
  for (std::size_t j = 0; j < db2.size(); ++j) {
    if (taken[j]) continue;
    TableFinding table;
    table.db2Name = db2[j]->name;
    if (db2[j]->state != db::TableState::kRead) table.db2Reason = ReasonOf(*db2[j]);
    table.status = TableStatus::kOnlyInDb2;
    counter.Add(std::move(table));
  }
}

// The window's Compare, and its field comparison for the tables it does not
// find ok.
void OneWay(const std::vector<const db::Table*>& db1, const std::vector<const db::Table*>& db2,
            Findings& findings) {
  std::vector<std::string> names2;
  names2.reserve(db2.size());
  for (const db::Table* t : db2) names2.push_back(t->name);
  const TableIndex index2(names2);
  // The window asks each side for a table by its exact name, and a side
  // answers with the first table it lists under that name.
  std::unordered_map<std::string_view, const db::Table*> first1;
  for (const db::Table* t : db1) first1.emplace(t->name, t);

  Counter counter(findings);
  for (const db::Table* listed : db1) {
    TableFinding table;
    table.db1Name = listed->name;
    const auto found = index2.Find(listed->name);
    if (!found) {
      table.status = TableStatus::kOnlyInDb1;
      table.note = NoteFor(TableOutcome::Missing);
      counter.Add(std::move(table));
      continue;
    }
    const db::Table& t1 = *first1.at(listed->name);
    const db::Table& t2 = *db2[*found];
    table.db2Name = t2.name;
    table.nameCaseDiffers = t1.name != t2.name;
    if (t1.state != db::TableState::kRead || t2.state != db::TableState::kRead) {
      table.status = TableStatus::kNotChecked;
      table.note = NoteFor(TableOutcome::NotChecked);
      if (t1.state != db::TableState::kRead) table.db1Reason = ReasonOf(t1);
      if (t2.state != db::TableState::kRead) table.db2Reason = ReasonOf(t2);
      table.notice = t1.state != db::TableState::kRead ? kDb1HasNoFields : kDb2HasNoFields;
      counter.Add(std::move(table));
      continue;
    }
    if (!FieldsDiffer(t1.columns, t2.columns)) {
      table.status = TableStatus::kSame;
      table.note = NoteFor(TableOutcome::Ok);
      counter.Add(std::move(table));
      continue;
    }
    table.status = TableStatus::kDiffers;
    table.note = NoteFor(TableOutcome::FieldsDiffer);
    const auto first2 = FirstByName(t2.columns);
    const auto verdicts = CompareFields(t1.columns, t2.columns);
    for (std::size_t k = 0; k < verdicts.size(); ++k) {
      const FieldVerdict& v = verdicts[k];
      FieldFinding field;
      field.name = v.name;
      field.db1 = FactsOf(t1.columns[k]);
      if (v.nameFound) field.db2 = FactsOf(*first2.at(v.name));
      field.kind = !v.nameFound  ? FieldKind::kMissingInDb2
                   : v.typeEqual ? FieldKind::kSame
                                 : FieldKind::kTypeDiffers;
      field.counts = field.kind != FieldKind::kSame;
      field.note = FieldNote(v);
      table.fields.push_back(std::move(field));
    }
    counter.Add(std::move(table));
  }
}

}  // namespace

std::optional<TableScope> TableScope::Make(std::vector<std::string> include,
                                           std::vector<std::string> exclude, std::string& error) {
  TableScope scope;
  if (!CompileAll(include, "--tables", scope.includeRegex_, error) ||
      !CompileAll(exclude, "--exclude", scope.excludeRegex_, error)) {
    return std::nullopt;
  }
  scope.include_ = std::move(include);
  scope.exclude_ = std::move(exclude);
  return scope;
}

bool TableScope::Contains(std::string_view table) const {
  if (includeRegex_.empty() && excludeRegex_.empty()) return true;
  if (!includeRegex_.empty() && !MatchesAny(includeRegex_, table)) return false;
  return !MatchesAny(excludeRegex_, table);
}

Findings FindDifferences(const db::Schema& db1, const db::Schema& db2,
                         const FindingsOptions& options) {
  Findings findings;
  findings.oneWay = options.oneWay;
  findings.strict = options.strict;
  const auto tables1 = InScope(db1, options.scope);
  const auto tables2 = InScope(db2, options.scope);
  findings.counts.db1Tables = static_cast<int>(tables1.size());
  findings.counts.db2Tables = static_cast<int>(tables2.size());
  if (options.oneWay) {
    OneWay(tables1, tables2, findings);
  } else {
    Symmetric(tables1, tables2, db1, db2, options, findings);
  }
  return findings;
}

const char* StatusName(TableStatus status) {
  switch (status) {
    case TableStatus::kSame:
      return "same";
    case TableStatus::kDiffers:
      return "differs";
    case TableStatus::kOnlyInDb1:
      return "only_in_db1";
    case TableStatus::kOnlyInDb2:
      return "only_in_db2";
    case TableStatus::kNotChecked:
      return "not_checked";
  }
  return "not_checked";
}

const char* KindName(FieldKind kind) {
  switch (kind) {
    case FieldKind::kSame:
      return "same";
    case FieldKind::kMissingInDb2:
      return "missing_in_db2";
    case FieldKind::kOnlyInDb2:
      return "only_in_db2";
    case FieldKind::kTypeDiffers:
      return "type_differs";
    case FieldKind::kNotNullDiffers:
      return "not_null_differs";
    case FieldKind::kPrimaryKeyDiffers:
      return "primary_key_differs";
    case FieldKind::kDeclaredTypeDiffers:
      return "declared_type_differs";
    case FieldKind::kTypeNotComparable:
      return "type_not_comparable";
  }
  return "same";
}

bool FindingsOptions::Ignores(Ignorable kind) const {
  return std::find(ignore.begin(), ignore.end(), kind) != ignore.end();
}

const char* ObjectName(ObjectKind object) {
  switch (object) {
    case ObjectKind::kPrimaryKey:
      return "primary_key";
    case ObjectKind::kIndex:
      return "index";
    case ObjectKind::kUnique:
      return "unique";
    case ObjectKind::kForeignKey:
      return "foreign_key";
    case ObjectKind::kCheck:
      return "check";
    case ObjectKind::kDefault:
      return "default";
    case ObjectKind::kAutoIncrement:
      return "auto_increment";
    case ObjectKind::kGenerated:
      return "generated";
    case ObjectKind::kCollation:
      return "collation";
    case ObjectKind::kViewDefinition:
      return "view_definition";
    case ObjectKind::kTrigger:
      return "trigger";
    case ObjectKind::kColumnOrder:
      return "column_order";
  }
  return "index";
}

const char* ChangeName(Change change) {
  switch (change) {
    case Change::kOnlyInDb1:
      return "only_in_db1";
    case Change::kOnlyInDb2:
      return "only_in_db2";
    case Change::kDiffers:
      return "differs";
    case Change::kNotComparable:
      return "not_comparable";
  }
  return "differs";
}

std::optional<Ignorable> IgnorableNamed(std::string_view name) {
  static constexpr std::pair<std::string_view, Ignorable> kNames[] = {
      {"defaults", Ignorable::kDefaults},       {"indexes", Ignorable::kIndexes},
      {"foreign-keys", Ignorable::kForeignKeys}, {"checks", Ignorable::kChecks},
      {"views", Ignorable::kViews},             {"triggers", Ignorable::kTriggers},
      {"collations", Ignorable::kCollations},
  };
  for (const auto& [known, kind] : kNames) {
    if (name == known) return kind;
  }
  return std::nullopt;
}

}  // namespace vantrix::compare
