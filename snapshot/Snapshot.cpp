#include "snapshot/Snapshot.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <optional>

#include "report/Version.h"

namespace vantrix::snapshot {
namespace {
using Json = nlohmann::ordered_json;
}  // namespace

const char* DefaultKindName(db::Default::Kind kind) {
  switch (kind) {
    case db::Default::Kind::kNone:
      return "none";
    case db::Default::Kind::kNull:
      return "null";
    case db::Default::Kind::kNumber:
      return "number";
    case db::Default::Kind::kString:
      return "string";
    case db::Default::Kind::kBoolean:
      return "boolean";
    case db::Default::Kind::kCurrentTime:
      return "current_time";
    case db::Default::Kind::kExpression:
      return "expression";
  }
  return "none";
}

namespace {

const char* StateName(db::TableState state) {
  switch (state) {
    case db::TableState::kRead:
      return "read";
    case db::TableState::kUnreadable:
      return "unreadable";
    case db::TableState::kUnknown:
      return "unknown";
  }
  return "read";
}

// Members are written only when they hold something, so that a snapshot
// says what a schema has and no more; reading gives the rest their default.
Json ColumnJson(const db::Column& c) {
  Json j;
  j["name"] = c.name;
  j["type"] = c.declaredType;
  j["code"] = c.typeCode;
  if (c.notNull) j["not_null"] = true;
  if (c.primaryKey) j["primary_key"] = true;
  if (!c.enumValues.empty()) j["enum_values"] = c.enumValues;
  if (c.defaultValue.kind != db::Default::Kind::kNone) {
    j["default"] = {{"kind", DefaultKindName(c.defaultValue.kind)},
                    {"value", c.defaultValue.value},
                    {"declared", c.defaultValue.declared}};
  }
  if (c.autoIncrement) j["auto_increment"] = true;
  if (!c.generated.empty()) {
    j["generated"] = c.generated;
    j["generated_stored"] = c.generatedStored;
  }
  if (c.onUpdateCurrentTime) j["on_update_current_time"] = true;
  if (!c.collation.empty()) j["collation"] = c.collation;
  if (!c.charset.empty()) j["charset"] = c.charset;
  return j;
}

Json IndexJson(const db::Index& index) {
  Json j;
  j["name"] = index.name;
  if (index.unique) j["unique"] = true;
  if (index.constraint) j["constraint"] = true;
  if (index.engineNamed) j["engine_named"] = true;
  if (index.backsForeignKey) j["backs_foreign_key"] = true;
  Json parts = Json::array();
  for (const db::IndexPart& p : index.parts) {
    Json part = Json::object();  // {} when it has nothing, never null
    if (!p.column.empty()) part["column"] = p.column;
    if (!p.expression.empty()) part["expression"] = p.expression;
    if (p.descending) part["descending"] = true;
    if (p.prefixLength > 0) part["prefix_length"] = p.prefixLength;
    parts.push_back(std::move(part));
  }
  j["parts"] = std::move(parts);
  if (!index.predicate.empty()) j["predicate"] = index.predicate;
  if (!index.method.empty()) j["method"] = index.method;
  if (!index.declared.empty()) j["declared"] = index.declared;
  return j;
}

Json ForeignKeyJson(const db::ForeignKey& k) {
  Json j;
  j["name"] = k.name;
  if (k.engineNamed) j["engine_named"] = true;
  j["columns"] = k.columns;
  j["referenced_table"] = k.referencedTable;
  j["referenced_columns"] = k.referencedColumns;
  j["on_delete"] = k.onDelete;
  j["on_update"] = k.onUpdate;
  if (!k.declared.empty()) j["declared"] = k.declared;
  return j;
}

Json CheckJson(const db::Check& c) {
  Json j;
  j["name"] = c.name;
  if (c.engineNamed) j["engine_named"] = true;
  j["expression"] = c.expression;
  return j;
}

Json TriggerJson(const db::Trigger& t) {
  return {{"name", t.name},
          {"timing", t.timing},
          {"event", t.event},
          {"body", t.body},
          {"declared", t.declared}};
}

std::string Dump(const Json& j) { return j.dump(-1, ' ', false, Json::error_handler_t::replace); }

// A list of objects, one per line, at `indent`.
void WriteList(std::ostream& out, const char* key, const std::vector<Json>& items,
               const std::string& indent, bool last) {
  out << indent << '"' << key << "\": [";
  for (std::size_t i = 0; i < items.size(); ++i) {
    out << (i ? ",\n" : "\n") << indent << "  " << Dump(items[i]);
  }
  out << (items.empty() ? "]" : "\n" + indent + "]") << (last ? "\n" : ",\n");
}

template <typename T>
std::vector<const T*> ByName(const std::vector<T>& items) {
  std::vector<const T*> sorted;
  for (const T& item : items) sorted.push_back(&item);
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const T* a, const T* b) { return a->name < b->name; });
  return sorted;
}

}  // namespace

void WriteSnapshot(std::ostream& out, const db::Schema& schema,
                   const std::optional<std::string>& generatedAt) {
  out << "{\n  \"snapshot_version\": " << kSnapshotVersion << ",\n"
      << "  \"tool\": " << Dump(Json{{"name", "vantrix-diff"}, {"version", report::kVersion}})
      << ",\n";
  if (generatedAt) out << "  \"generated_at\": " << Dump(Json(*generatedAt)) << ",\n";
  out << "  \"engine\": " << Dump(Json(schema.engine)) << ",\n"
      << "  \"qualifier\": " << Dump(Json(schema.qualifier)) << ",\n"
      << "  \"tables\": [";
  const auto tables = ByName(schema.tables);
  for (std::size_t i = 0; i < tables.size(); ++i) {
    const db::Table& t = *tables[i];
    out << (i ? ",\n" : "\n") << "    {\n";
    const std::string indent = "      ";
    out << indent << "\"name\": " << Dump(Json(t.name)) << ",\n"
        << indent << "\"kind\": \"" << (t.view ? "view" : "table") << "\",\n";
    if (t.state != db::TableState::kRead) {
      out << indent << "\"state\": \"" << StateName(t.state) << "\",\n"
          << indent << "\"error\": " << Dump(Json(t.error)) << ",\n";
    }
    if (!t.collation.empty()) out << indent << "\"collation\": " << Dump(Json(t.collation)) << ",\n";
    if (!t.charset.empty()) out << indent << "\"charset\": " << Dump(Json(t.charset)) << ",\n";
    if (t.view) {
      out << indent << "\"view_definition\": " << Dump(Json(t.viewDefinition)) << ",\n";
    }
    if (!t.primaryKey.empty()) {
      out << indent << "\"primary_key\": " << Dump(Json(t.primaryKey)) << ",\n";
    }
    if (!t.primaryKeyName.empty()) {
      out << indent << "\"primary_key_name\": " << Dump(Json(t.primaryKeyName)) << ",\n";
    }
    std::vector<Json> items;
    for (const db::Index* index : ByName(t.indexes)) items.push_back(IndexJson(*index));
    if (!items.empty()) WriteList(out, "indexes", items, indent, false);
    items.clear();
    for (const db::ForeignKey* k : ByName(t.foreignKeys)) items.push_back(ForeignKeyJson(*k));
    if (!items.empty()) WriteList(out, "foreign_keys", items, indent, false);
    items.clear();
    for (const db::Check* c : ByName(t.checks)) items.push_back(CheckJson(*c));
    if (!items.empty()) WriteList(out, "checks", items, indent, false);
    items.clear();
    for (const db::Trigger* tr : ByName(t.triggers)) items.push_back(TriggerJson(*tr));
    if (!items.empty()) WriteList(out, "triggers", items, indent, false);
    items.clear();
    for (const db::Column& c : t.columns) items.push_back(ColumnJson(c));
    WriteList(out, "columns", items, indent, true);
    out << "    }";
  }
  out << (tables.empty() ? "]\n}\n" : "\n  ]\n}\n");
}

}  // namespace vantrix::snapshot
