#include "snapshot/Snapshot.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "report/Version.h"

namespace vantrix::snapshot {
namespace {

using Json = nlohmann::ordered_json;

constexpr std::size_t kMaxBytes = 256u * 1024 * 1024;
constexpr int kMaxDepth = 32;  // a snapshot is 6 deep; anything far deeper is hostile

const char* KindName(db::Default::Kind kind) {
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
    j["default"] = {{"kind", KindName(c.defaultValue.kind)},
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
    Json part;
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

// ----- reading -----

struct Refusal {
  std::string reason;
};

// The deepest nesting of a JSON text, brackets inside strings set aside:
// checked before parsing, so that no parser ever walks a hostile depth.
int Depth(std::string_view text) {
  int depth = 0;
  int deepest = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
      if (deepest > kMaxDepth) return deepest;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return deepest;
}

const Json& Member(const Json& object, const char* key, const std::string& where) {
  if (!object.is_object()) throw Refusal{where + " is not an object"};
  const auto it = object.find(key);
  if (it == object.end()) throw Refusal{where + " has no \"" + key + "\""};
  return *it;
}

std::string String(const Json& object, const char* key, const std::string& where,
                   bool required = true) {
  if (!required && (!object.is_object() || !object.contains(key))) return {};
  const Json& value = Member(object, key, where);
  if (!value.is_string()) throw Refusal{where + ": \"" + key + "\" is not a string"};
  return value.get<std::string>();
}

bool Bool(const Json& object, const char* key, const std::string& where) {
  if (!object.contains(key)) return false;
  const Json& value = object.at(key);
  if (!value.is_boolean()) throw Refusal{where + ": \"" + key + "\" is not true or false"};
  return value.get<bool>();
}

long long Integer(const Json& object, const char* key, const std::string& where, bool required) {
  if (!required && !object.contains(key)) return 0;
  const Json& value = Member(object, key, where);
  if (!value.is_number_integer()) throw Refusal{where + ": \"" + key + "\" is not an integer"};
  return value.get<long long>();
}

const Json& Array(const Json& object, const char* key, const std::string& where) {
  static const Json kEmpty = Json::array();
  if (!object.contains(key)) return kEmpty;
  const Json& value = object.at(key);
  if (!value.is_array()) throw Refusal{where + ": \"" + key + "\" is not a list"};
  return value;
}

std::vector<std::string> Strings(const Json& object, const char* key, const std::string& where) {
  std::vector<std::string> out;
  for (const Json& item : Array(object, key, where)) {
    if (!item.is_string()) throw Refusal{where + ": \"" + key + "\" holds something not a string"};
    out.push_back(item.get<std::string>());
  }
  return out;
}

db::Default::Kind KindNamed(const std::string& name, const std::string& where) {
  for (const auto kind :
       {db::Default::Kind::kNone, db::Default::Kind::kNull, db::Default::Kind::kNumber,
        db::Default::Kind::kString, db::Default::Kind::kBoolean, db::Default::Kind::kCurrentTime,
        db::Default::Kind::kExpression}) {
    if (name == KindName(kind)) return kind;
  }
  throw Refusal{where + ": the default's kind \"" + name + "\" is not known"};
}

db::Column ColumnOf(const Json& j, const std::string& where) {
  db::Column c;
  c.name = String(j, "name", where);
  const std::string at = where + " field \"" + c.name + "\"";
  c.declaredType = String(j, "type", at);
  const long long code = Integer(j, "code", at, true);
  if (code < -1 || code > 19) throw Refusal{at + ": the type code is not one of -1 to 19"};
  c.typeCode = static_cast<int>(code);
  c.notNull = Bool(j, "not_null", at);
  c.primaryKey = Bool(j, "primary_key", at);
  c.enumValues = String(j, "enum_values", at, false);
  if (j.contains("default")) {
    const Json& d = j.at("default");
    c.defaultValue.kind = KindNamed(String(d, "kind", at + " default"), at);
    c.defaultValue.value = String(d, "value", at + " default");
    c.defaultValue.declared = String(d, "declared", at + " default");
  }
  c.autoIncrement = Bool(j, "auto_increment", at);
  c.generated = String(j, "generated", at, false);
  c.generatedStored = Bool(j, "generated_stored", at);
  c.onUpdateCurrentTime = Bool(j, "on_update_current_time", at);
  c.collation = String(j, "collation", at, false);
  c.charset = String(j, "charset", at, false);
  return c;
}

db::Table TableOf(const Json& j) {
  db::Table t;
  t.name = String(j, "name", "a table");
  const std::string where = "table \"" + t.name + "\"";
  const std::string kind = String(j, "kind", where);
  if (kind != "table" && kind != "view") throw Refusal{where + ": kind is not table or view"};
  t.view = kind == "view";
  const std::string state = String(j, "state", where, false);
  if (state.empty() || state == "read") {
    t.state = db::TableState::kRead;
  } else if (state == "unreadable") {
    t.state = db::TableState::kUnreadable;
  } else if (state == "unknown") {
    t.state = db::TableState::kUnknown;
  } else {
    throw Refusal{where + ": the state \"" + state + "\" is not known"};
  }
  t.error = String(j, "error", where, false);
  for (const Json& c : Array(j, "columns", where)) t.columns.push_back(ColumnOf(c, where));
  t.viewDefinition = String(j, "view_definition", where, false);
  t.primaryKey = Strings(j, "primary_key", where);
  t.primaryKeyName = String(j, "primary_key_name", where, false);
  for (const Json& i : Array(j, "indexes", where)) {
    db::Index index;
    index.name = String(i, "name", where + " index");
    const std::string at = where + " index \"" + index.name + "\"";
    index.unique = Bool(i, "unique", at);
    index.constraint = Bool(i, "constraint", at);
    index.engineNamed = Bool(i, "engine_named", at);
    index.backsForeignKey = Bool(i, "backs_foreign_key", at);
    for (const Json& p : Array(i, "parts", at)) {
      db::IndexPart part;
      part.column = String(p, "column", at, false);
      part.expression = String(p, "expression", at, false);
      part.descending = Bool(p, "descending", at);
      const long long prefix = Integer(p, "prefix_length", at, false);
      if (prefix < 0 || prefix > 1'000'000) throw Refusal{at + ": the prefix length is not sane"};
      part.prefixLength = static_cast<int>(prefix);
      index.parts.push_back(std::move(part));
    }
    index.predicate = String(i, "predicate", at, false);
    index.method = String(i, "method", at, false);
    index.declared = String(i, "declared", at, false);
    t.indexes.push_back(std::move(index));
  }
  for (const Json& k : Array(j, "foreign_keys", where)) {
    db::ForeignKey key;
    key.name = String(k, "name", where + " foreign key");
    const std::string at = where + " foreign key \"" + key.name + "\"";
    key.engineNamed = Bool(k, "engine_named", at);
    key.columns = Strings(k, "columns", at);
    key.referencedTable = String(k, "referenced_table", at);
    key.referencedColumns = Strings(k, "referenced_columns", at);
    key.onDelete = String(k, "on_delete", at);
    key.onUpdate = String(k, "on_update", at);
    key.declared = String(k, "declared", at, false);
    t.foreignKeys.push_back(std::move(key));
  }
  for (const Json& c : Array(j, "checks", where)) {
    db::Check check;
    check.name = String(c, "name", where + " check");
    check.engineNamed = Bool(c, "engine_named", where + " check");
    check.expression = String(c, "expression", where + " check");
    t.checks.push_back(std::move(check));
  }
  for (const Json& tr : Array(j, "triggers", where)) {
    db::Trigger trigger;
    trigger.name = String(tr, "name", where + " trigger");
    trigger.timing = String(tr, "timing", where + " trigger");
    trigger.event = String(tr, "event", where + " trigger");
    trigger.body = String(tr, "body", where + " trigger");
    trigger.declared = String(tr, "declared", where + " trigger", false);
    t.triggers.push_back(std::move(trigger));
  }
  t.collation = String(j, "collation", where, false);
  t.charset = String(j, "charset", where, false);
  return t;
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

ReadResult ReadSnapshot(std::string_view text) {
  try {
    if (text.size() > kMaxBytes) throw Refusal{"it is larger than a snapshot can be (256 MiB)"};
    if (Depth(text) > kMaxDepth) throw Refusal{"it is nested deeper than a snapshot is"};
    // Each table is made into the schema's as soon as it is parsed and
    // dropped from the document, so that a large snapshot is never held
    // twice (its JSON tree alone takes ten times the file).
    std::vector<db::Table> tables;
    std::optional<Refusal> refused;
    std::string key;
    const Json::parser_callback_t keep = [&](int depth, Json::parse_event_t event, Json& parsed) {
      if (event == Json::parse_event_t::key && depth == 1) key = parsed.get<std::string>();
      if (event != Json::parse_event_t::object_end || depth != 2 || key != "tables") return true;
      if (refused) return false;
      try {
        tables.push_back(TableOf(parsed));
      } catch (const Refusal& refusal) {
        refused = refusal;
      }
      return false;
    };
    Json doc = Json::parse(text, keep, false);
    if (doc.is_discarded()) throw Refusal{"it is not JSON"};
    if (refused) throw *refused;
    if (!doc.is_object() || !doc.contains("snapshot_version")) {
      throw Refusal{"it is no vantrix-diff snapshot (it has no \"snapshot_version\")"};
    }
    const Json& version = doc.at("snapshot_version");
    if (!version.is_number_integer() || version.get<long long>() != kSnapshotVersion) {
      throw Refusal{"its snapshot_version is " + Dump(version) + "; this program reads version " +
                    std::to_string(kSnapshotVersion)};
    }
    db::Schema schema;
    schema.engine = String(doc, "engine", "the snapshot");
    if (schema.engine != "SQLite" && schema.engine != "Mysql" && schema.engine != "PostgreSQL" &&
        schema.engine != "CubeSQLserver") {
      throw Refusal{"its engine \"" + schema.engine + "\" is not one this program knows"};
    }
    schema.qualifier = String(doc, "qualifier", "the snapshot", false);
    // What is left of the tables is what was not an object.
    for (const Json& t : Array(doc, "tables", "the snapshot")) schema.tables.push_back(TableOf(t));
    if (!schema.tables.empty()) throw Refusal{"a table of the snapshot is not an object"};
    schema.tables = std::move(tables);
    return {std::move(schema), {}};
  } catch (const Refusal& refusal) {
    return {std::nullopt, refusal.reason};
  } catch (const std::exception& e) {
    return {std::nullopt, std::string("it cannot be read: ") + e.what()};
  }
}

ReadResult ReadSnapshotFile(const std::string& path) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (!std::filesystem::exists(status)) return {std::nullopt, "no such file"};
  if (!std::filesystem::is_regular_file(status)) return {std::nullopt, "it is not a regular file"};
  const auto size = std::filesystem::file_size(path, ec);
  if (ec) return {std::nullopt, ec.message()};
  if (size > kMaxBytes) return {std::nullopt, "it is larger than a snapshot can be (256 MiB)"};
  std::ifstream in(path, std::ios::binary);
  if (!in) return {std::nullopt, "it cannot be opened"};
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return ReadSnapshot(text);
}

}  // namespace vantrix::snapshot
