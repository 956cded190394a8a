// The JSON report and the JSON error document. The schema of both is
// report/vantrix-diff.schema.json; kFormatVersion changes whenever a
// consumer could be surprised by a change.
#include <nlohmann/json.hpp>

#include "report/Report.h"
#include "report/Text.h"

namespace vantrix::report {
namespace {

using Json = nlohmann::ordered_json;

constexpr int kFormatVersion = 2;

Json Header(const std::optional<std::string>& generatedAt) {
  Json doc;
  doc["format_version"] = kFormatVersion;
  doc["tool"] = {{"name", "vantrix-diff"}, {"version", ToolVersion()}};
  if (generatedAt) doc["generated_at"] = *generatedAt;
  return doc;
}

Json Side(const SideDescription& side) {
  Json json;
  json["engine"] = side.engine;
  if (!side.host.empty()) json["host"] = side.host;
  if (side.port > 0) json["port"] = side.port;
  json["database"] = side.database;
  if (!side.schema.empty()) json["schema"] = side.schema;
  json["tables"] = side.tableCount;
  return json;
}

Json Facts(const compare::FieldFacts& facts) {
  return {{"declared_type", facts.declaredType},
          {"type_code", facts.typeCode},
          {"type_label", facts.typeLabel},
          {"not_null", facts.notNull},
          {"primary_key", facts.primaryKey}};
}

Json Field(const compare::FieldFinding& field, bool oneWay) {
  Json json;
  json["name"] = field.name;
  json["kind"] = compare::KindName(field.kind);
  json["counts"] = field.counts;
  if (oneWay) json["note"] = field.note;
  if (!field.detail.empty()) json["detail"] = field.detail;
  if (field.db1) json["db1"] = Facts(*field.db1);
  if (field.db2) json["db2"] = Facts(*field.db2);
  return json;
}

Json Table(const compare::TableFinding& table, bool oneWay) {
  Json json;
  json["name"] = table.Name();
  if (table.db1Name) json["db1_name"] = *table.db1Name;
  if (table.db2Name) json["db2_name"] = *table.db2Name;
  json["status"] = compare::StatusName(table.status);
  if (oneWay) json["note"] = table.note;
  json["name_case_differs"] = table.nameCaseDiffers;
  if (!table.db1Reason.empty()) json["db1_reason"] = table.db1Reason;
  if (!table.db2Reason.empty()) json["db2_reason"] = table.db2Reason;
  if (!table.notice.empty()) json["notice"] = table.notice;
  json["fields"] = Json::array();
  for (const compare::FieldFinding& field : table.fields) {
    json["fields"].push_back(Field(field, oneWay));
  }
  if (!oneWay) {
    json["structure"] = Json::array();
    for (const compare::StructureFinding& finding : table.structure) {
      Json object;
      object["object"] = compare::ObjectName(finding.object);
      object["name"] = finding.name;
      object["change"] = compare::ChangeName(finding.change);
      object["counts"] = finding.counts;
      object["db1"] = finding.db1 ? Json(*finding.db1) : Json(nullptr);
      object["db2"] = finding.db2 ? Json(*finding.db2) : Json(nullptr);
      json["structure"].push_back(std::move(object));
    }
  }
  return json;
}

void Dump(std::ostream& out, const Json& doc) {
  // Names are the databases' bytes: anything that is not UTF-8 is shown as
  // U+FFFD instead of failing the report, and bidirectional formatting
  // characters are escaped, so that the document reads safely as text.
  out << text::JsonBidiEscaped(doc.dump(2, ' ', false, Json::error_handler_t::replace)) << '\n';
}

}  // namespace

void WriteJson(std::ostream& out, const Report& report) {
  const compare::Findings& findings = report.findings;
  const compare::FindingsCounts& c = findings.counts;
  Json doc = Header(report.generatedAt);
  doc["status"] = findings.HasDifferences() ? "differences" : "same";
  doc["mode"] = findings.oneWay ? "one-way" : "symmetric";
  Json ignored = Json::array();
  for (const compare::Ignorable kind : report.options.ignore) {
    for (const char* name : {"defaults", "indexes", "foreign-keys", "checks", "views", "triggers",
                             "collations"}) {
      if (compare::IgnorableNamed(name) == kind) ignored.push_back(name);
    }
  }
  doc["options"] = {{"one_way", findings.oneWay},
                    {"strict", findings.strict},
                    {"structure", !findings.oneWay && report.options.structure},
                    {"ignore", ignored},
                    {"tables", report.options.scope.Include()},
                    {"exclude", report.options.scope.Exclude()}};
  doc["db1"] = Side(report.db1);
  doc["db2"] = Side(report.db2);
  doc["summary"] = {{"db1_tables", c.db1Tables},
                    {"db2_tables", c.db2Tables},
                    {"same", c.same},
                    {"differ", c.differ},
                    {"only_in_db1", c.onlyInDb1},
                    {"only_in_db2", c.onlyInDb2},
                    {"not_checked", c.notChecked},
                    {"differing_tables", findings.DifferingTables()},
                    {"field_differences", c.fieldDifferences},
                    {"structure_differences", c.structureDifferences},
                    {"notes", c.notes}};
  doc["tables"] = Json::array();
  for (const compare::TableFinding& table : findings.tables) {
    doc["tables"].push_back(Table(table, findings.oneWay));
  }
  Dump(out, doc);
}

void WriteJsonError(std::ostream& out, std::string_view message,
                    const std::optional<std::string>& generatedAt) {
  Json doc = Header(generatedAt);
  doc["status"] = "error";
  doc["error"] = {{"message", std::string(message)}};
  Dump(out, doc);
}

}  // namespace vantrix::report
