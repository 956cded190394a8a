#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/Database.h"

// Reading a schema the long way, for comparing with the whole-schema read.
namespace vantrix::test {

// The schema as the table list and one read per table give it.
inline db::Schema TableByTable(db::Database& db, db::Detail detail = db::Detail::kColumns) {
  db::Schema schema;
  auto names = db.TableSchema();
  EXPECT_NE(names, nullptr) << db.ErrorMessage();
  if (!names) return schema;
  for (const db::Row& row : names->Rows()) {
    const std::string name = row[0].StringValue();
    auto table = db.ReadTable(name, detail);
    EXPECT_TRUE(table.has_value()) << name << ": " << db.ErrorMessage();
    if (table) schema.tables.push_back(std::move(*table));
  }
  return schema;
}

// The tables' names, in the schema's order.
inline std::vector<std::string> NamesOf(const db::Schema& schema) {
  std::vector<std::string> names;
  for (const db::Table& table : schema.tables) names.push_back(table.name);
  return names;
}

// A table's structure in lines a person can read and a test can state:
//   pk order_id, line_no
//   default name: string anon
//   auto-increment id
//   generated total_with_tax stored: total * 2
//   unique uq_customers_email (email)
//   index idx_orders_placed (placed desc, status)
//   fk fk_orders_customer (customer_id) -> customers (id) on delete CASCADE on update NO ACTION
//   check ck_customers_score: score >= 0
//   trigger trg_orders_score AFTER INSERT
//   view: SELECT ...
// Names the engine made up show as "*".
inline std::string Structure(const db::Table& table) {
  std::string out;
  const auto list = [](const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& n : names) text += (text.empty() ? "" : ", ") + n;
    return text;
  };
  if (!table.primaryKey.empty()) out += "pk " + list(table.primaryKey) + "\n";
  static const char* const kKinds[] = {"none", "null", "number", "string", "boolean", "now",
                                       "expression"};
  for (const db::Column& c : table.columns) {
    if (c.defaultValue.kind != db::Default::Kind::kNone) {
      out += "default " + c.name + ": " + kKinds[static_cast<int>(c.defaultValue.kind)] +
             (c.defaultValue.value.empty() ? "" : " " + c.defaultValue.value) + "\n";
    }
    if (c.autoIncrement) out += "auto-increment " + c.name + "\n";
    if (!c.generated.empty()) {
      out += "generated " + c.name + (c.generatedStored ? " stored: " : ": ") + c.generated + "\n";
    }
  }
  for (const db::Index& index : table.indexes) {
    if (index.backsForeignKey) continue;
    std::vector<std::string> parts;
    for (const db::IndexPart& p : index.parts) {
      parts.push_back((p.column.empty() ? "(" + p.expression + ")" : p.column) +
                      (p.descending ? " desc" : ""));
    }
    out += std::string(index.unique ? "unique " : "index ") +
           (index.engineNamed ? std::string("*") : index.name) + " (" + list(parts) + ")" +
           (index.method.empty() ? "" : " using " + index.method) +
           (index.predicate.empty() ? "" : " where " + index.predicate) + "\n";
  }
  for (const db::ForeignKey& k : table.foreignKeys) {
    out += "fk " + (k.engineNamed ? std::string("*") : k.name) + " (" + list(k.columns) + ") -> " +
           k.referencedTable + " (" + list(k.referencedColumns) + ") on delete " + k.onDelete +
           " on update " + k.onUpdate + "\n";
  }
  for (const db::Check& c : table.checks) {
    out += "check " + (c.engineNamed ? std::string("*") : c.name) + ": " + c.expression + "\n";
  }
  for (const db::Trigger& t : table.triggers) {
    out += "trigger " + t.name + " " + t.timing + " " + t.event + "\n";
  }
  if (table.view) out += "view: " + table.viewDefinition + "\n";
  return out;
}

}  // namespace vantrix::test
