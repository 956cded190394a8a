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

std::string Dump(const Json& j) { return j.dump(-1, ' ', false, Json::error_handler_t::replace); }

// One object on one line, byte for byte as nlohmann's dump(-1) writes it,
// without building it first: members in the order given; a text is
// escaped by nlohmann itself unless it is plain printable ASCII.
class Line {
public:
  Line& Text(const char* key, const std::string& value) {
    Key(key);
    Quoted(value);
    return *this;
  }
  Line& Flag(const char* key, bool value) {
    Key(key);
    out_ += value ? "true" : "false";
    return *this;
  }
  Line& Number(const char* key, long long value) {
    Key(key);
    out_ += std::to_string(value);
    return *this;
  }
  Line& Texts(const char* key, const std::vector<std::string>& values) {
    Key(key);
    out_ += '[';
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (i) out_ += ',';
      Quoted(values[i]);
    }
    out_ += ']';
    return *this;
  }
  // A member whose value is JSON written already.
  Line& Written(const char* key, const std::string& json) {
    Key(key);
    out_ += json;
    return *this;
  }
  std::string Done() {
    out_ += first_ ? "{}" : "}";
    return std::move(out_);
  }

private:
  void Key(const char* key) {
    out_ += first_ ? "{\"" : ",\"";
    first_ = false;
    out_ += key;
    out_ += "\":";
  }
  void Quoted(const std::string& text) {
    const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
      return c >= 0x20 && c < 0x7F && c != '"' && c != '\\';
    });
    if (plain) {
      out_ += '"';
      out_ += text;
      out_ += '"';
    } else {
      out_ += Dump(Json(text));
    }
  }

  std::string out_;
  bool first_ = true;
};

// Members are written only when they hold something, so that a snapshot
// says what a schema has and no more; reading gives the rest their default.
std::string ColumnJson(const db::Column& c) {
  Line j;
  j.Text("name", c.name).Text("type", c.declaredType).Number("code", c.typeCode);
  if (c.notNull) j.Flag("not_null", true);
  if (c.primaryKey) j.Flag("primary_key", true);
  if (!c.enumValues.empty()) j.Text("enum_values", c.enumValues);
  if (c.defaultValue.kind != db::Default::Kind::kNone) {
    j.Written("default", Line()
                             .Text("kind", DefaultKindName(c.defaultValue.kind))
                             .Text("value", c.defaultValue.value)
                             .Text("declared", c.defaultValue.declared)
                             .Done());
  }
  if (c.autoIncrement) j.Flag("auto_increment", true);
  if (!c.generated.empty()) {
    j.Text("generated", c.generated).Flag("generated_stored", c.generatedStored);
  }
  if (c.onUpdateCurrentTime) j.Flag("on_update_current_time", true);
  if (!c.collation.empty()) j.Text("collation", c.collation);
  if (!c.charset.empty()) j.Text("charset", c.charset);
  return j.Done();
}

std::string IndexJson(const db::Index& index) {
  Line j;
  j.Text("name", index.name);
  if (index.unique) j.Flag("unique", true);
  if (index.constraint) j.Flag("constraint", true);
  if (index.engineNamed) j.Flag("engine_named", true);
  if (index.backsForeignKey) j.Flag("backs_foreign_key", true);
  std::string parts = "[";
  for (const db::IndexPart& p : index.parts) {
    Line part;  // {} when it has nothing, never null
    if (!p.column.empty()) part.Text("column", p.column);
    if (!p.expression.empty()) part.Text("expression", p.expression);
    if (p.descending) part.Flag("descending", true);
    if (p.prefixLength > 0) part.Number("prefix_length", p.prefixLength);
    parts += (parts.size() > 1 ? "," : "") + part.Done();
  }
  j.Written("parts", parts + "]");
  if (!index.predicate.empty()) j.Text("predicate", index.predicate);
  if (!index.method.empty()) j.Text("method", index.method);
  if (!index.declared.empty()) j.Text("declared", index.declared);
  return j.Done();
}

std::string ForeignKeyJson(const db::ForeignKey& k) {
  Line j;
  j.Text("name", k.name);
  if (k.engineNamed) j.Flag("engine_named", true);
  j.Texts("columns", k.columns)
      .Text("referenced_table", k.referencedTable)
      .Texts("referenced_columns", k.referencedColumns)
      .Text("on_delete", k.onDelete)
      .Text("on_update", k.onUpdate);
  if (!k.declared.empty()) j.Text("declared", k.declared);
  return j.Done();
}

std::string CheckJson(const db::Check& c) {
  Line j;
  j.Text("name", c.name);
  if (c.engineNamed) j.Flag("engine_named", true);
  return j.Text("expression", c.expression).Done();
}

std::string TriggerJson(const db::Trigger& t) {
  return Line()
      .Text("name", t.name)
      .Text("timing", t.timing)
      .Text("event", t.event)
      .Text("body", t.body)
      .Text("declared", t.declared)
      .Done();
}

// A list of objects, one per line, at `indent`.
void WriteList(std::ostream& out, const char* key, const std::vector<std::string>& items,
               const std::string& indent, bool last) {
  out << indent << '"' << key << "\": [";
  for (std::size_t i = 0; i < items.size(); ++i) {
    out << (i ? ",\n" : "\n") << indent << "  " << items[i];
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
    std::vector<std::string> items;
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
